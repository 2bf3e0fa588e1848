// The HUD's arithmetic as tables: the race gap, the lapping warning, laps
// with and without timing gates, the rev needle, lap times and the frame
// rate after a frame of no length.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "core/game_state.h"
#include "ui/hud.h"

namespace {

// Gate tics per (slot, gate).
std::map<std::pair<int, int>, int32_t> gate_tics;
int32_t fake_gate_tic(int slot, int gate)
{
    auto it = gate_tics.find({slot, gate});
    return it == gate_tics.end() ? -1 : it->second;
}

struct hud_fixture : testing::Test {
    void SetUp() override
    {
        gate_tics.clear();
        hud_gate_tic = fake_gate_tic;
    }
    void TearDown() override { hud_gate_tic = saved; }
    int32_t (*saved)(int, int) = hud_gate_tic;
};

TEST_F(hud_fixture, race_gap_between_rows_of_the_order)
{
    // slot, gates passed, tic of the last gate.
    race_order_entry order[3] = {{0, 10, 5000}, {1, 10, 5128}, {2, 8, 4000}};
    gate_tics[{0, 7}] = 3000;  // gate index 7 is the 8th gate: the last both 0 and 2 passed
    gate_tics[{2, 7}] = 4000;
    struct row {
        int count, row, other;
        int32_t want;
    } rows[] = {
        {1, 0, 1, 0},       // one rider: no gap
        {3, 1, 0, -128},    // same gates: one second behind the leader
        {3, 0, 1, 128},     // the leader's lead over the second
        {3, 2, 0, -1000},   // fewer gates: compared where both were
        {3, 0, 2, 1000},
    };
    for (const row& r : rows) EXPECT_EQ(race_gap_tics(order, r.count, r.row, r.other), r.want) << r.row << " " << r.other;
    // An unknown or non-positive tic gives no gap.
    race_order_entry unknown[2] = {{0, 10, 0}, {1, 10, 300}};
    EXPECT_EQ(race_gap_tics(unknown, 2, 1, 0), 0);
}

TEST(laps_done, with_and_without_normal_lap_gates)
{
    struct row {
        int32_t gates, first, per_lap, want;
    } rows[] = {
        {0, 4, 3, 0}, {3, 4, 3, 0}, {4, 4, 3, 1}, {6, 4, 3, 1}, {7, 4, 3, 2}, {10, 4, 3, 3},
        {0, 0, 0, 0}, {12, 0, 0, 0},  // no timing gates: no laps, no division by zero
        {5, 4, -1, 0},
    };
    for (const row& r : rows) EXPECT_EQ(laps_done(r.gates, r.first, r.per_lap), r.want) << r.gates;
}

TEST_F(hud_fixture, lapping_warning_counts_riders_about_to_lap_the_watched_one)
{
    // Laps of 3 gates after a first lap of 3. The watched rider (slot 9,
    // row 2) passed 4 gates, the last at tic 2000; it passed gate index 3
    // at tic 1800.
    const int32_t L = 3, F = 3;
    gate_tics[{9, 3}] = 1800;
    race_order_entry order[3] = {{0, 7, 1800 + 2 * 128}, {1, 7, 1800 + 5 * 128}, {9, 4, 2000}};
    char text[1024];
    // Rider 0 (7 gates) last passed gate index 6, a lap (3 gates) on from
    // index 3, 2 s after the watched rider was there: counted.
    // Rider 1 5 s after: outside the 3 s window.
    EXPECT_EQ(lapping_warning(order, 3, 2, F, L, text, sizeof text), 1);
    EXPECT_NE(strstr(text, "(2.0)"), nullptr) << text;
    // The leader itself never gets a warning; nor without laps.
    EXPECT_EQ(lapping_warning(order, 3, 0, F, L, text, sizeof text), 0);
    EXPECT_EQ(lapping_warning(order, 3, 2, F, 0, text, sizeof text), 0);
    EXPECT_EQ(text[0], 0);
    // Before the first lap is done there is nothing to warn of.
    order[2].gates_passed = 2;
    EXPECT_EQ(lapping_warning(order, 3, 2, F, L, text, sizeof text), 0);
    // The watched rider passed that point more than 15 s before its last
    // gate: the rider behind is too far back to matter.
    order[2] = {9, 4, 1800 + 16 * 128};
    EXPECT_EQ(lapping_warning(order, 3, 2, F, L, text, sizeof text), 0);
    // An unknown passage (v < 0) counts no one.
    gate_tics.clear();
    order[2] = {9, 4, 2000};
    EXPECT_EQ(lapping_warning(order, 3, 2, F, L, text, sizeof text), 0);
}

TEST(needle_degrees, zero_eight_and_sixteen_thousand_rpm)
{
    EXPECT_FLOAT_EQ(needle_degrees(0), -135);
    EXPECT_NEAR(needle_degrees(8000), 0, 1e-3);
    EXPECT_NEAR(needle_degrees(16000), 135, 1e-3);
}

TEST(rider_lap_times, best_ignores_the_first_lap_and_empty_laps)
{
    struct row {
        std::vector<int32_t> ends;
        lap_times want;
    } rows[] = {
        {{}, {0, 0, 0}},
        {{1000}, {900, 0, 0}},                      // one lap: no best lap
        {{1000, 2500, 3700}, {1200, 1200, 3}},      // lap 1 (900) is never the best
        {{1000, 2500, 2500}, {0, 1500, 2}},         // a lap of 0 tics is neither last nor best
        {{5000, 6000, 7500}, {1500, 1000, 2}},
    };
    for (const row& r : rows) {
        lap_times t = rider_lap_times(100, r.ends.data(), int(r.ends.size()));
        EXPECT_EQ(t.last, r.want.last);
        EXPECT_EQ(t.best, r.want.best);
        EXPECT_EQ(t.best_lap, r.want.best_lap);
    }
}

TEST(frames_per_second, of_the_longest_frame_and_zero_for_a_frame_of_no_length)
{
    EXPECT_EQ(frames_per_second(0), 0);
    EXPECT_EQ(frames_per_second(-1), 0);
    EXPECT_EQ(frames_per_second(1.0 / 60), 60);
    EXPECT_EQ(frames_per_second(0.5), 2);
}

TEST(ticker_scroll, one_entry_every_two_seconds_sliding_21_5_units)
{
    // Half-way through a 2-s step the strip has slid half an entry.
    struct row {
        double clock;
        int entries, first;
        float offset;
    } rows[] = {
        {0, 5, 0, 0},     {1, 5, 0, 10.75f}, {2, 5, 1, 0},     {3.5, 5, 1, 16.125f},
        {7, 3, 0, 10.75f},  // step 3 wraps round 3 entries
        {10, 1, 0, 0},    {1, 0, 0, 10.75f},  // no entries: the first is 0
        {-4, 5, 0, 0},    // a clock before its start shows the start
    };
    for (const row& r : rows) {
        int first = -1;
        float offset = -1;
        ticker_scroll(r.clock, r.entries, &first, &offset);
        EXPECT_EQ(first, r.first) << r.clock;
        EXPECT_NEAR(offset, r.offset, 1e-4f) << r.clock;
    }
}

TEST(ticker_lap_box, green_while_laps_remain_white_on_the_last_chequered_when_done)
{
    struct row {
        int32_t laps, limit, lap, state;
    } rows[] = {
        {0, 3, 1, 0}, {1, 3, 2, 0}, {2, 3, 3, 1}, {3, 3, 3, 2}, {4, 3, 3, 2},
        {0, 1, 1, 1},              // a one-lap race starts on its last lap
        {5, 1000000, 6, 0},        // a timed race before its time is up
    };
    for (const row& r : rows) {
        int32_t lap = -1;
        EXPECT_EQ(ticker_lap_box(r.laps, r.limit, &lap), r.state) << r.laps << " of " << r.limit;
        EXPECT_EQ(lap, r.lap) << r.laps << " of " << r.limit;
    }
}

}  // namespace
