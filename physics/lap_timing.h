#pragma once
// A rider's gate list and what follows from it: laps done, lap times and
// the finish. The gate passage that decides when a gate is passed belongs to
// the race; it sets gate_count (the rider's timing position) and records the
// tic here.
#include <cstdint>

#include "physics/rider.h"

// Gate indices above this are refused: no lap sequence reaches it, and an
// index from the network must not grow the list without bound.
constexpr int32_t rider_gate_index_limit = 65535;

// Gates a list holds before it has to grow: a race's whole sequence (first
// lap plus laps times the gates of a lap) fits, so a gate passed in the tic
// does not allocate.
constexpr int32_t rider_gate_room = 1024;

// An empty gate list with room for rider_gate_room gates (fatal when out of
// memory, as the rider's other lists are).
void rider_gates_init(rider* r);
// Stores tic at gate index i, filling skipped indices with -1. An index
// below 0 or above the limit, or a list that can't grow, changes nothing.
void rider_record_gate(rider* r, int32_t i, int32_t tic);
// The tic at gate index i, -1 when outside the list.
int32_t rider_gate_tic(const rider* r, int32_t i);
int32_t rider_gate_count(const rider* r);
// Cuts the list to at most i entries and sets gate_count to i (clearing
// finished when i is below it); is_down is cleared.
void rider_truncate_gates(rider* r, int32_t i);

// Laps completed: 0 without timing gates or normal-lap gates.
int32_t rider_laps_done(const rider* r);
// The gate within the current lap, 1-based once the first lap is done.
int32_t rider_lap_gate(const rider* r);
// Seconds of lap n (1..laps done; a negative n is the last completed lap);
// 0 when a tic is missing or the lap is not done.
float rider_lap_time(const rider* r, int32_t n);
// 1 once the rider crossed the end of its lap no earlier than the leader
// crossed the finish; sets finished then.
int rider_has_finished(rider* r);
