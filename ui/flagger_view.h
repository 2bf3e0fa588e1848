#pragma once
// The flaggers as the world view shows them: the start flagger walking on and
// showing the start sequence, the lap board (halfway, last lap, finished) and
// the track flaggers waving a warning over a checkpoint where a rider is
// down. The timelines are plain functions; flaggers_animate applies them to
// the flaggers' billboards once a frame.
#include <cstdint>

// The start flagger's texture (0..4) at time T (seconds) for a start
// sequence at S seconds and a walk of D seconds; walk gets the fraction of
// the walk done (D <= 0: 0 before the walk's start, 1 after).
int start_flagger_frame(double T, double S, double D, float* walk);

// Laps the leader has done by the lap board's count: c gates passed, the
// first lap f gates long and every later one p (0 without laps).
int32_t lap_board_laps(int32_t c, int32_t f, int32_t p);
// The lap board's texture (0 normal, 1 halfway, 2 last lap, 3 finished)
// after laps of a race of race_laps with its halfway lap.
int lap_board_frame(int32_t laps, int32_t race_laps, int32_t halfway);

// The checkpoint a rider last passed after c gates (-1 for none): the first
// lap's entries, then the normal lap's over and over; marked entries name
// their checkpoint too.
int32_t last_checkpoint(int32_t c);

// Sets the flaggers' billboards for this frame (starting and pausing their
// animated textures at the current tic when they change).
void flaggers_animate();
