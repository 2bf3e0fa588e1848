#pragma once
// The line planner: which line of each section's set a computer rider
// should ride so that consecutive lines join and the lap is fast. The whole
// lap is planned once after the lines load (three plan tables, modes 0..2);
// the auto pilot asks for a look-ahead plan of 8 sections at every pick.
#include <cstdint>

#include "ai/racing_lines.h"

// Plan modes: 0..2 score by measured time with growing weight on failures,
// 3 explores (prefers the lines ridden least).
constexpr int32_t plan_mode_count = 4;
// The cost of a chain that cannot be ridden.
constexpr int64_t plan_unreachable = 100000000;
// How many sections the look-ahead plan spans.
constexpr int32_t plan_ahead_sections = 8;

// The circle centre (x, z) in the x-z plane through three points; for
// (nearly) collinear points a centre far off to the side, as for a straight.
void circle_through_points(const line_point& a, const line_point& b, const line_point& c, double centre[2]);
// The cost of riding a line in tics under a mode.
int64_t line_cost(const racing_line* line, int32_t mode);
// Whether line k can follow line j: k starts within 2.5 ft of the circle
// continuing j's last curve, heads along it, and asks for no speed drop of
// more than 15 ft/s. Lines of fewer than 3 (j) or 2 (k) points never join.
int line_reaches(const racing_line* j, const racing_line* k);
// The cheapest chained costs over count sections from first (sets mapped as
// the sections are): cost[start line][arrival line in section first +
// count]; back holds (count - 1) x 45 x 45 bytes of back pointers (the line
// chosen in each section between, 45 for none).
void line_dp(uint8_t* back, int64_t cost[45][45], int32_t first, int32_t count, int32_t mode);
// Writes the ids of the chain from start to arrival into table[first ..
// first + count - 1] (0 for lines of fewer than 5 tests). A section without
// a predecessor ends the trace: the earlier entries stay 0.
void line_trace(int32_t* table, const uint8_t* back, int32_t first, int32_t count, int32_t start, int32_t arrival);

// The whole-lap plan of a mode into its table (S1 + S2 entries); the
// estimates in tics (plan_unreachable when no lap joins up).
struct lap_estimate {
    int64_t first_lap, normal_lap;
};
lap_estimate ai_estimate_laps(int32_t* table, int32_t mode);
// Scores in [0, 1] of the 45 lines of a set for the next 8 sections: the
// line starting the cheapest chain scores 1, others in proportion.
void plan_ahead(int32_t set_index, float scores[45], int32_t mode);
// The line id the whole-lap plan took in a set under a mode (0..2), 0 for
// none.
int32_t line_plan_entry(int32_t set_index, int32_t mode);
// Plans the whole lap of the loaded line sets under modes 0, 1 and 2.
void line_sets_plan();
