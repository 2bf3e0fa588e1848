#pragma once
// Race order, results and the start-gate line-up. The race order (shared in
// core/game_state.h) is rebuilt while the race runs; once every rider is
// done the results table takes each rider's penalty for skipped track, is
// written to "@results.txt" and goes to the running points series.
#include <cstdint>

#include "core/game_state.h"
#include "physics/rider.h"

// The results table: the race order after penalties, best first.
extern race_order_entry race_results[rider_slot_count];
extern int32_t race_results_count;
// 1 once the results of the race are written; the race reset clears it.
extern int32_t results_final;

// The start-gate line-up the race menu keeps: a slot kind per gate.
extern int32_t gate_lineup[rider_slot_count];

// Sorts entries best first: more gates, then the earlier last-gate tic, then
// the lower slot.
void race_order_sort(race_order_entry* entries, int32_t count);
// Rebuilds race_order from every present rider, in slot order, and sorts it.
void race_order_build();

// Settles a timed race's laps, and once every rider is done, works out the
// results with penalties, writes "@results.txt" when the winner has finished,
// marks the results final and records them into the running series.
void results_finish();

// Tics of penalty for gates the rider skipped: for each passed gate that
// follows missed ones, what the rider gained on the field's average time over
// that stretch plus a second (a minute plus a second when no rider has a
// time for it).
int32_t rider_penalty(const rider* r);

// The rider's best lap: its number (0 with fewer than two laps done; the
// first lap never counts) and its time in seconds.
int32_t rider_best_lap(const rider* r, float* seconds);

// Writes "@results.txt" from the results table; 0 when it can't be opened.
int results_write();

// Rotates gate_lineup by n places (any n, negative too): the entry at i
// moves to (i + n) mod 160.
void lineup_rotate(int32_t n);
