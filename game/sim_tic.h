#pragma once
// The simulation tic: everything that moves in a race moves here, once per
// 1/128 s, in one fixed order (scripts, history-driven riders, contacts,
// roost and treadmarks, the world step, wheel effects, per-slot driving,
// flying billboards, the start gates, the clock, the history and the demo,
// the lap mode's ghost, the suspension telemetry). Also the replay seek, the
// visibility test of a slot, and the debug marker list.
#include <cstdint>

#include "core/array.h"

// Advances the race by one tic.
void run_tic();
// Moves a replay by a signed number of seconds (Rewind and Skip keys). Only
// while a demo is replayed, none is written and every present rider is
// history-driven; otherwise nothing happens.
void seek_demo(float seconds);
// 1 when the slot's rider must not be drawn or heard: no rider, another
// rider's view while spectating, or a history-driven rider without a current
// state around this tic.
int slot_is_hidden(int slot);
// The results-written flag when set, else whatever results_finish leaves it.
int ensure_results_written();

// The lap mode's best lap and the player's last lap, in tics (0 = none).
extern int32_t best_lap_tics;
extern int32_t last_lap_tics;

// The online false-start rule of the local player: tics it is still held
// (0 = none) and where the race reset placed it.
extern int32_t false_start_hold;
extern float false_start_position[3];

// The suspension graph: when switched on, the watched rider's three fork and
// three shock readouts (travel, speed, valve) go into six rings; the index
// 1024 means that the rings start again.
constexpr int32_t telemetry_length = 1024;
extern int32_t suspension_graph_on;
extern float suspension_rings[6][telemetry_length];
extern int32_t suspension_ring_index;

// Debug markers that the wheel effects lay and the world view draws.
struct marker {
    float x, y, z;
    int32_t sort_key;  // the world view's depth order
    char text[1024];
};
extern growable_array marker_list;  // of marker
// Stores a marker (text cut at 1023 characters); null when the list can't
// grow, and nothing is added.
marker* add_marker(float x, float y, float z, const char* text);
// Distance to the newest marker; 1000000 when there is none.
float distance_to_last_marker(float x, float y, float z);
void marker_list_clear();

// ---- Steps of the tic, open for tests ---------------------------------------

// The slots with riders in the order roost and treadmarks serve them at tic:
// slot order, rotated by the tic so that the first served moves on by one
// each tic. Returns the count.
int roost_serving_order(int32_t tic, int32_t out[160]);
// The start-gate animation of one tic: gates held up until the delayed drop,
// then falling unless a rider leans on them, and their statues turned.
void start_gates_animate();
// Each start gate's fall speed (ft of drop per second, as a fraction).
extern float start_gate_fall_speed[160];
