#pragma once
// The line planner: which lines of each set chain into the fastest lap.
#include <cstdint>

// Plan modes: 0..2 score by time and failures, 3 explores untested lines.
constexpr int32_t plan_mode_count = 4;

// Scores in [0, 1] of the 45 lines of a set looking a few sections ahead
// under a mode (1 for the line of the best chain, less for slower ones, 0
// for empty or unreachable lines).
void plan_ahead(int32_t set_index, float scores[45], int32_t mode);
// The line id the whole-lap plan takes in a set under a mode (0..2), 0 for
// none.
int32_t line_plan_entry(int32_t set_index, int32_t mode);

// The circle in the x-z plane through three points: its centre (x, z) and
// radius. 0 when the points are collinear (or coincide): no circle.
int circle_through_points(const float a[2], const float b[2], const float c[2], double centre[2], double* radius);
