#include "core/game_state.h"

int32_t tic_counter;
int32_t race_start_tic;
double tic_length = 0.0078125;
int32_t erosion_amount;
timing_gates_record timing_gates;
int32_t gate_drop_tic;
int32_t start_sequence_tic = 640;
int32_t race_time_tics;
int32_t race_laps;
int32_t halfway_lap;
int32_t lap_limit;
int32_t history_delay;
int32_t lap_mode;
int32_t watched_slot;
int32_t leader_slot = 160;
int32_t lines_skill = -1;
double game_clock;
float control_channels[control_channel_count];
char track_dir[track_dir_size];
char track_title[track_dir_size];
uint8_t track_digest[20];
race_order_entry race_order[160];
int32_t race_order_count;
float view_extent_w = 1.0f;
float view_extent_h = 0.75f;
int32_t menu_page = -1;
int32_t menu_line;
