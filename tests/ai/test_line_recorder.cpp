// The gate passage: which gate a rider's front wheel has crossed, the lap
// timing it records, the runs of a person offered to the line sets, and the
// finish. A straight test track: checkpoint k stands at x = 100 k, z = 0,
// facing +x with a reach of 20 ft; the rider is moved along x.
#include <gtest/gtest.h>

#include <cstring>

#include "ai/autopilot.h"
#include "ai/line_recorder.h"
#include "ai/racing_lines.h"
#include "core/alloc.h"
#include "core/game_state.h"
#include "game/results.h"
#include "game/startup.h"
#include "physics/lap_timing.h"
#include "physics/physics_world.h"
#include "physics/rider.h"
#include "physics/rider_build.h"

namespace {

struct LineRecorder : ::testing::Test {
    rider* r = nullptr;
    // First lap: gates 0, 1, 2 (F = 3); every later lap: 3, 4 (marked: no
    // section), 5 (N = 3). Sections: S1 = 3, S2 = 2.
    int32_t first[3] = {0, 1, 2};
    int32_t normal[3] = {3, gate_no_section + 4, 5};
    line_set sets[5] = {};

    void SetUp() override
    {
        timing_gates = {};
        timing_gates.checkpoint_count = 6;
        timing_gates.first_lap_entries = 3;
        timing_gates.normal_lap_entries = 3;
        for (int k = 0; k < 6; k++) timing_gates.checkpoints[k] = {100.0f * k, 0, 0, 1, 0, 0, 20.0f, 0};
        memcpy(timing_gates.lap_entries, first, sizeof first);
        memcpy(timing_gates.lap_entries + 3, normal, sizeof normal);
        for (line_set& s : sets)
            for (racing_line& l : s.lines) racing_line_empty(&l);
        racing_line_sets = {sets, 3, 2, first, 3, normal, 3};
        tic_length = 1.0 / 128.0;
        tic_counter = 1000;
        lap_limit = 3;
        race_order_count = 0;
        results_final = 1;  // the results step is not under test here
        options.verbose = 0;
        riders_init_all();
        physics_world_create();
        physics_ground_flat();
        r = rider_create("yz250f(2017)", 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(r, nullptr);
    }
    void TearDown() override
    {
        line_sets_empty();
        racing_line_sets = {};
        if (r) rider_destroy(r);
        physics_world_destroy();
        timing_gates = {};
        results_final = 0;
    }
    // Puts the front wheel at (x, z).
    void front_wheel_at(double x, double z = 0.0)
    {
        rider_reset_pose(r);
        const dReal* w = dBodyGetPosition(r->front_wheel_body);
        rider_translate(r, x - w[0], 0.0, z - w[2]);
    }
    // Rides to x at this tic and runs the passage.
    void tic_at_x(double x, int32_t tic)
    {
        tic_counter = tic;
        front_wheel_at(x);
        line_recorder_tic(r);
    }
};

TEST_F(LineRecorder, gates_are_taken_in_their_order_and_skipped_ones_stay_unrecorded)
{
    struct row {
        const char* what;
        int32_t position;  // gates passed before
        double x, z;       // the front wheel
        int32_t position_after;
        int32_t recorded;  // gate index that got the tic, -1 none
    } rows[] = {
        {"at the first gate from position 0 (no gate before it is read)", 0, 5, 0, 1, 0},
        {"short of the gate", 0, -5, 0, 0, -1},
        {"beside the gate, beyond its reach", 0, 5, 25, 0, -1},
        {"the next gate but one: the one between is skipped", 1, 205, 0, 3, 2},
        {"three ahead is not a candidate", 0, 305, 0, 0, -1},
    };
    for (const row& c : rows) {
        rider_truncate_gates(r, 0);
        for (int32_t k = 0; k < c.position; k++) rider_record_gate(r, k, 500 + k);
        r->gate_count = c.position;
        tic_counter = 1000;
        front_wheel_at(c.x, c.z);
        line_recorder_tic(r);
        EXPECT_EQ(r->gate_count, c.position_after) << c.what;
        if (c.recorded >= 0) {
            EXPECT_EQ(rider_gate_tic(r, c.recorded), 1000) << c.what;
        }
        if (c.recorded == 2) {
            EXPECT_EQ(rider_gate_tic(r, 1), -1) << c.what;
        }
    }
}

TEST_F(LineRecorder, a_gate_behind_is_taken_only_when_it_was_missed)
{
    // Position 3 (first lap done); gate 1 behind (j = -2) is crossed again.
    rider_truncate_gates(r, 0);
    for (int32_t k = 0; k < 3; k++) rider_record_gate(r, k, 500 + k);
    r->gate_count = 3;
    tic_at_x(105, 1000);
    EXPECT_EQ(r->gate_count, 3) << "recorded already: not taken";
    // With gate 1 missed, riding back through it takes it.
    rider_truncate_gates(r, 0);
    rider_record_gate(r, 0, 500);
    rider_record_gate(r, 2, 502);
    r->gate_count = 3;
    tic_at_x(105, 1001);
    EXPECT_EQ(r->gate_count, 2);
    EXPECT_EQ(rider_gate_tic(r, 1), 1001);
}

TEST_F(LineRecorder, the_end_of_a_lap_cannot_be_skipped)
{
    // Position 4 (in lap 2: gates 3, 4, 5): the lap ends at position 5; the
    // first gate of lap 3 (position 6, gate 3) is out of order until 5 has a tic.
    rider_truncate_gates(r, 0);
    for (int32_t k = 0; k < 4; k++) rider_record_gate(r, k, 500 + k);
    r->gate_count = 4;
    tic_at_x(305, 1000);  // gate 3 again = position 6 (j = 2)
    EXPECT_EQ(r->gate_count, 4);
}

// Samples go in every 32 tics; each real gate offers the run of the section
// before the one it ends, with its time to that gate and on to this one.
// Section 0 runs from the race start (tic 0) to gate 0.
struct PersonRuns : LineRecorder {
    // Rides from x = 5 to x = 205 in steps, a tic sample every 32 tics.
    void ride_first_lap(int32_t t0, double step)
    {
        rider_truncate_gates(r, 0);
        r->gate_count = 0;
        r->line_runs[0].count = r->line_runs[1].count = 0;
        int32_t t = t0;
        for (double x = 5; x <= 205; x += step, t += 32) {
            if (down_at == x) r->is_down = 1;
            tic_at_x(x, t);
        }
        ASSERT_EQ(r->gate_count, 3);
    }
    double down_at = -1;
};

TEST_F(PersonRuns, a_run_becomes_a_line_and_copies_do_not)
{
    ride_first_lap(1024, 25.0);
    // Gate 0 at x 5 (tic 1024), gate 1 at x 105 (4 steps on), gate 2 at x 205.
    const racing_line& start = sets[0].lines[0];
    ASSERT_EQ(start.point_count, 1) << "the one sample before gate 0";
    EXPECT_EQ(start.recorded_time_mid, 1024);
    EXPECT_EQ(start.recorded_time, 1024 + 4 * 32);
    const racing_line& line = sets[1].lines[0];
    ASSERT_EQ(line.point_count, 4) << "samples at x 30, 55, 80 and 105";
    EXPECT_FLOAT_EQ(line.points[3].x - line.points[0].x, 75.0f);
    EXPECT_EQ(line.recorded_time_mid, 4 * 32);
    EXPECT_EQ(line.recorded_time, 8 * 32);
    EXPECT_EQ(line.tested, 0);
    EXPECT_GT(line.id, start.id);
    int32_t id = line.id;

    ride_first_lap(2048, 25.0);
    EXPECT_EQ(sets[1].lines[1].point_count, 0) << "a duplicate is turned away";
    EXPECT_EQ(sets[1].lines[0].id, id);

    // A slower run of other points still fills an empty slot.
    ride_first_lap(4096, 12.5);
    EXPECT_EQ(sets[1].lines[1].point_count, 8) << "samples at x 17.5 .. 105";
    EXPECT_EQ(sets[1].lines[1].recorded_time, 16 * 32);
}

TEST_F(PersonRuns, a_slow_run_cannot_replace_a_proven_line)
{
    // Set 1 full of proven lines averaging 100 tics (estimate 100).
    for (racing_line& l : sets[1].lines) {
        l.points = static_cast<line_point*>(xmalloc(sizeof(line_point)));
        l.points[0] = {float(&l - sets[1].lines), 0, 50, 10, 0};
        l.point_count = 1;
        l.tested = 10;
        l.sum_time = 1000;
        l.recorded_time = 100;
        l.id = ++line_id_counter;
    }
    ride_first_lap(1024, 25.0);  // 256 tics x 5/4 > 100
    for (const racing_line& l : sets[1].lines) EXPECT_EQ(l.point_count, 1);
}

TEST_F(PersonRuns, a_collision_in_a_section_cancels_its_run)
{
    down_at = 55;  // in section 1
    ride_first_lap(1024, 25.0);
    EXPECT_EQ(sets[1].lines[0].point_count, 0);
    EXPECT_EQ(sets[0].lines[0].point_count, 1) << "the section before is untouched";
    EXPECT_EQ(r->is_down, 0);
}

TEST_F(LineRecorder, a_marked_gate_empties_both_runs)
{
    rider_truncate_gates(r, 0);
    for (int32_t k = 0; k < 4; k++) rider_record_gate(r, k, 500 + k);
    r->gate_count = 4;  // next: gate 4, marked
    line_point p = {1, 2, 3, 4, 0};
    array_push(&r->line_runs[0], &p);
    array_push(&r->line_runs[1], &p);
    tic_at_x(405, 1001);
    EXPECT_EQ(r->gate_count, 5);
    EXPECT_EQ(r->line_runs[0].count, 0);
    EXPECT_EQ(r->line_runs[1].count, 0);
}

TEST_F(LineRecorder, the_finish_counts_the_final_lap_not_the_laps_asked_for)
{
    // A timed race: lap_limit stays large until the time is up, so the end of
    // lap 1 (position 3) is no finish.
    race_laps = 0;
    lap_limit = 1000000;
    rider_truncate_gates(r, 0);
    for (int32_t k = 0; k < 2; k++) rider_record_gate(r, k, 500 + k);
    r->gate_count = 2;
    tic_at_x(205, 1000);
    EXPECT_EQ(r->gate_count, 3);
    EXPECT_EQ(r->finished, 0);
    // A one-lap race ends there.
    lap_limit = 1;
    rider_truncate_gates(r, 2);
    tic_at_x(205, 1001);
    EXPECT_EQ(r->finished, 1);
}

TEST_F(LineRecorder, personalities_are_found_by_name)
{
    EXPECT_EQ(rider_set_autopilot_personality(r, "corwen"), 2);
    EXPECT_EQ(rider_set_autopilot_personality(r, "tester"), 4);
    EXPECT_EQ(rider_set_autopilot_personality(r, "empty"), 1) << "row 0 is never taken by name";
    EXPECT_EQ(rider_set_autopilot_personality(r, "nobody"), 1);
    EXPECT_EQ(r->autopilot_personality, 1);
}

}  // namespace
