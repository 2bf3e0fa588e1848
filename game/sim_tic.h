#pragma once
// The simulation tic: everything that moves in a race moves here, once per
// 1/128 s, in one fixed order.

// Advances the race by one tic.
void run_tic();
// Moves a replay by a signed number of seconds (Rewind and Skip keys).
void seek_demo(float seconds);
// The results: 1 once written; otherwise runs the results step
// (results_finish) and gives what it leaves.
int ensure_results_written();
