#pragma once
// Results, points series and the start-gate line-up.

// Records the finished race into the running points series.
void series_update();
// Moves line-up entry i to (i + n) mod 160.
void lineup_rotate(int n);
