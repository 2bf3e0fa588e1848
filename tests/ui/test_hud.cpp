// The HUD's arithmetic as tables: the race gap, the lapping warning, laps
// with and without timing gates, the rev needle, lap times and the frame
// rate after a frame of no length.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "core/game_state.h"
#include "gfx/test_ztgl_fake_gl.h"
#include "physics/rider.h"
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
        {4, 0, 5, 0},              // no lap count: laps go on
    };
    for (const row& r : rows) {
        int32_t lap = -1;
        EXPECT_EQ(ticker_lap_box(r.laps, r.limit, &lap), r.state) << r.laps << " of " << r.limit;
        EXPECT_EQ(lap, r.lap) << r.laps << " of " << r.limit;
    }
}

}  // namespace

// ---- The scoreboard ticker through a stand-in GL ---------------------------

namespace {

struct drawn_quad {
    float x0, x1, y0, y1;
    float colour[4];
};

// Every quad (two triangles of indexed draws) after a flush, with its
// extent and the colour of its first corner.
std::vector<drawn_quad> drawn_quads()
{
    ztgl_flush();
    std::vector<drawn_quad> out;
    for (const fake_gl_call& c : fake_calls("DrawRangeElements")) {
        for (unsigned q = 0; q + 6 <= c.c; q += 6) {
            drawn_quad d{1e9f, -1e9f, 1e9f, -1e9f, {}};
            for (unsigned k = 0; k < 6; k++) {
                const imm_vertex& v = fake_gl.vertex_upload.at(fake_gl.index_upload.at(c.d / 2 + q + k));
                d.x0 = std::min(d.x0, v.position[0]), d.x1 = std::max(d.x1, v.position[0]);
                d.y0 = std::min(d.y0, v.position[1]), d.y1 = std::max(d.y1, v.position[1]);
                if (k == 0) std::copy(v.color, v.color + 4, d.colour);
            }
            out.push_back(d);
        }
    }
    return out;
}

bool colour_is(const drawn_quad& q, float r, float g, float b)
{
    return std::fabs(q.colour[0] - r) < 1e-3f && std::fabs(q.colour[1] - g) < 1e-3f && std::fabs(q.colour[2] - b) < 1e-3f;
}

struct ticker_fixture : testing::Test {
    rider riders[3];
    void SetUp() override
    {
        fake_gl_layer_setup();
        view_extent_w = 4.0f / 3, view_extent_h = 1;
        game_clock = 0;
        lap_limit = 3;
        timing_gates.first_lap_entries = 4, timing_gates.normal_lap_entries = 3;
        for (int i = 0; i < 3; i++) {
            riders[i] = rider{};
            snprintf(riders[i].number, sizeof riders[i].number, "%d", 10 + i);
            rider_table[i] = &riders[i];
            race_order[i] = {i, 0, 0};
        }
        race_order_count = 3;
    }
    void TearDown() override
    {
        for (int i = 0; i < 3; i++) rider_table[i] = nullptr;
        race_order_count = 0;
        timing_gates.first_lap_entries = timing_gates.normal_lap_entries = 0;
    }
};

// Units of the 50-row view at a half-height of 1.
constexpr float unit = 2.0f / 50;

TEST_F(ticker_fixture, entries_fill_the_strip_up_to_the_lap_box)
{
    scoreboard_ticker_draw();
    std::vector<drawn_quad> quads = drawn_quads();
    // Position boxes: black, 2.5 units wide. The strip is 2 x 4/3 wide less
    // the 7-unit lap box: entries of 21.5 units start at 0, 21.5 and 43 units
    // from the left edge, the fourth (64.5) would start past the lap box
    // (66.67 - 7 = 59.67).
    std::vector<float> starts;
    for (const drawn_quad& q : quads)
        if (colour_is(q, 0, 0, 0) && q.colour[3] == 1 && std::fabs(q.x1 - q.x0 - 2.5f * unit) < 1e-4f)
            starts.push_back((q.x0 + view_extent_w) / unit);
    ASSERT_EQ(starts.size(), 3u);
    for (int i = 0; i < 3; i++) EXPECT_NEAR(starts[i], 21.5f * float(i), 1e-3f);
    // The lap box: green at the right end, 7 units wide, on lap 1 of 3.
    int green = 0;
    for (const drawn_quad& q : quads)
        if (colour_is(q, 0, 0.75f, 0)) {
            green++;
            EXPECT_NEAR(q.x1, view_extent_w, 1e-4f);
            EXPECT_NEAR(q.x1 - q.x0, 7 * unit, 1e-4f);
        }
    EXPECT_EQ(green, 1);
}

TEST_F(ticker_fixture, after_one_second_the_strip_has_slid_half_an_entry)
{
    game_clock = 1;
    scoreboard_ticker_draw();
    std::vector<float> starts;
    for (const drawn_quad& q : drawn_quads())
        if (colour_is(q, 0, 0, 0) && q.colour[3] == 1 && std::fabs(q.x1 - q.x0 - 2.5f * unit) < 1e-4f)
            starts.push_back((q.x0 + view_extent_w) / unit);
    // Half of 21.5 to the left: -10.75, 10.75, 32.25, 53.75.
    ASSERT_EQ(starts.size(), 4u);
    for (int i = 0; i < 4; i++) EXPECT_NEAR(starts[i], 21.5f * float(i) - 10.75f, 1e-3f);
}

TEST_F(ticker_fixture, the_lap_box_is_white_on_the_last_lap_and_chequered_once_done)
{
    // Leader past 4 + 3 gates: two laps done of three, the last lap.
    race_order[0].gates_passed = 7;
    scoreboard_ticker_draw();
    int white_box = 0;
    for (const drawn_quad& q : drawn_quads())
        white_box += colour_is(q, 1, 1, 1) && std::fabs(q.x1 - view_extent_w) < 1e-4f &&
                     std::fabs(q.x1 - q.x0 - 7 * unit) < 1e-4f;
    EXPECT_EQ(white_box, 1);

    fake_gl.calls.clear();
    riders[0].finished = 1;
    scoreboard_ticker_draw();
    int squares = 0, green = 0;
    for (const drawn_quad& q : drawn_quads()) {
        squares += colour_is(q, 0, 0, 0) && q.x0 >= view_extent_w - 7 * unit - 1e-4f &&
                   std::fabs(q.x1 - q.x0 - 0.5f * unit) < 1e-4f;
        green += colour_is(q, 0, 0.75f, 0);
    }
    // Cells of a third of the 1.5-unit strip across 7 units: 14 columns,
    // 3 rows, every other one black.
    EXPECT_EQ(squares, 21);
    EXPECT_EQ(green, 0);
}

TEST_F(ticker_fixture, no_riders_no_ticker)
{
    race_order_count = 0;
    scoreboard_ticker_draw();
    EXPECT_TRUE(drawn_quads().empty());
}

}  // namespace
