// Track sections from the gate sequences, the sets behind them, and the
// point a line assist aims at.
#include <gtest/gtest.h>

#include "ai/racing_lines.h"

namespace {

struct RacingLines : ::testing::Test {
    // First lap: gates 1, 2 (no switch point), 3; normal lap: 4, 5, 6 (no
    // switch point), 7. S1 = 2 sections in the first lap, S2 = 3 a lap after.
    int32_t first[3] = {1, gate_no_section + 2, 3};
    int32_t normal[4] = {4, 5, gate_no_section + 6, 7};
    line_set sets[5] = {};
    void SetUp() override
    {
        racing_line_sets = {sets, 2, 3, first, 3, normal, 4};
    }
    void TearDown() override { racing_line_sets = {}; }
};

TEST_F(RacingLines, SectionsCountTheSwitchPointsPassed)
{
    // Worked by hand: the section after p entries is the number of entries
    // below 100000 among the first p; laps after the first add 3 each.
    struct row {
        int32_t position, section;
    } rows[] = {
        {-5, 0}, {0, 0},
        {1, 1},  // passed gate 1
        {2, 1},  // gate 2 starts no section
        {3, 2},  // gate 3
        {4, 3},  // first lap done, then gate 4
        {5, 4}, {6, 4}, {7, 5},
        {8, 6},                 // a lap later, gate 4 again
        {3 + 4 * 1000, 2 + 3 * 1000},
    };
    for (const row& r : rows)
        EXPECT_EQ(gate_section_index(r.position), r.section) << "position " << r.position;
}

TEST_F(RacingLines, LaterLapsReuseTheNormalLapsSets)
{
    EXPECT_EQ(line_set_of_section(0), &sets[0]);
    EXPECT_EQ(line_set_of_section(1), &sets[1]);
    EXPECT_EQ(line_set_of_section(2), &sets[2]);
    EXPECT_EQ(line_set_of_section(4), &sets[4]);
    EXPECT_EQ(line_set_of_section(5), &sets[2]);  // second normal lap
    EXPECT_EQ(line_set_of_section(3002), &sets[2]);
    EXPECT_EQ(line_set_of_section(-1), nullptr);
}

TEST(RacingLinesNone, NothingLoadedFindsNothing)
{
    racing_line_sets = {};
    EXPECT_EQ(gate_section_index(7), 0);
    EXPECT_EQ(line_set_of_section(0), nullptr);
    EXPECT_EQ(racing_line_find(nullptr, 3), nullptr);
    EXPECT_EQ(racing_line_point_ahead(nullptr, 0, 0, 4), nullptr);
}

TEST(RacingLinesPoints, TheAimIsFourPointsPastTheNearest)
{
    // A straight line along -z, a point every 5 ft from z = 0 to z = -45.
    line_point points[10];
    for (int i = 0; i < 10; i++)
        points[i] = {0.0f, 0.0f, -5.0f * i, 30.0f, 0.1f * i};
    line_set set = {};
    set.lines[7] = {points, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 42};
    const racing_line* line = racing_line_find(&set, 42);
    ASSERT_EQ(line, &set.lines[7]);
    EXPECT_EQ(racing_line_find(&set, 0), nullptr) << "id 0 is no line";
    EXPECT_EQ(racing_line_find(&set, 41), nullptr);
    // At (3, 0, -11) the nearest point is z = -10 (index 2); four on is 6.
    EXPECT_EQ(racing_line_point_ahead(line, 3.0, -11.0, 4), &points[6]);
    // Near the end the aim stops at the last point.
    EXPECT_EQ(racing_line_point_ahead(line, 0.0, -44.0, 4), &points[9]);
    // Before the start the first point is the nearest.
    EXPECT_EQ(racing_line_point_ahead(line, 0.0, 30.0, 4), &points[4]);
}

}  // namespace
