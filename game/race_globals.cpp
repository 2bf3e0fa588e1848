#include "game/race_globals.h"

int32_t tic_counter;
int32_t race_start_tic;
double tic_length = 0.0078125;
int32_t erosion_amount;
timing_gates_record timing_gates;
int32_t gate_drop_tic;
int32_t lap_limit;
int32_t leader_slot = 160;
