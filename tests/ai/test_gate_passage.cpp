// The gate passage: a rider's front wheel carried through a track's
// checkpoints moves its timing position on, records gate tics (-1 for a
// skipped gate), refuses to count a lap round an unpassed lap end, and
// finishes the rider at the right lap.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include <ode/ode.h>

#include "ai/line_recorder.h"
#include "ai/racing_lines.h"
#include "core/game_state.h"
#include "core/vfs.h"
#include "game/race_reset.h"
#include "game/results.h"
#include "physics/lap_timing.h"
#include "physics/physics_world.h"
#include "physics/rider.h"
#include "physics/rider_build.h"
#include "support/straight_gates.h"

namespace {

// The straight gates: checkpoints at x = 10, 20, 30; F = N = 3.
struct gate_passage : ::testing::Test {
    rider* r = nullptr;
    std::string home;
    void SetUp() override
    {
        // A finished race writes its results into the player's folder.
        char pattern[] = "/tmp/zt_gates_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        home = pattern;
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        vfs_shutdown();
        physics_world_create();
        straight_gates_load();
        lap_limit = 2;
        race_order_count = 0;
        r = rider_create("kx250f(2008)", 0, 0, "1", nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(r, nullptr);
        rider_table[0] = r;
        slot_status[0] = slot_driven_by_autopilot;
        results_final = 0;
    }
    void TearDown() override
    {
        rider_destroy(r);
        rider_table[0] = nullptr;
        memset(&timing_gates, 0, sizeof timing_gates);
        physics_world_destroy();
        vfs_shutdown();
        unsetenv("XDG_DATA_HOME");
        std::filesystem::remove_all(home);
    }
    // Puts the front wheel at (x, z) and runs the passage at tic.
    void wheel_at(double x, double z, int32_t tic)
    {
        rider_reset_pose(r);
        const dReal* p = dBodyGetPosition(r->front_wheel_body);
        rider_translate(r, x - p[0], 0, z - p[2]);
        tic_counter = tic;
        line_recorder_tic(r);
    }
};

TEST_F(gate_passage, gates_in_order_and_a_skipped_gate)
{
    struct step {
        double x, z;
        int32_t tic;
        int32_t position_after;
    };
    const step steps[] = {
        {5, 0, 100, 0},    // short of the first gate
        {10, 6, 110, 0},   // beside it, out of its reach
        {11, 0, 120, 1},   // through gate 0
        {11, 0, 121, 1},   // still there: passed already
        {31, 1, 300, 3},   // gate 1 skipped, gate 2 passed: the lap ends
        {9, 0, 310, 3},    // just before gate 0 of lap 2: not yet
        {10, 0, 320, 4},   // on its line
    };
    for (const step& s : steps) {
        wheel_at(s.x, s.z, s.tic);
        EXPECT_EQ(r->gate_count, s.position_after) << "at x " << s.x << " tic " << s.tic;
    }
    const int32_t tics[4] = {120, -1, 300, 320};
    for (int q = 0; q < 4; q++) EXPECT_EQ(rider_gate_tic(r, q), tics[q]) << q;
    EXPECT_FALSE(r->finished);
}

// Back at gate 0 without passing gate 2, the end of lap 1: the lap end stops
// the passage, so no lap is counted round it.
TEST_F(gate_passage, an_unpassed_lap_end_blocks_the_next_lap)
{
    wheel_at(11, 0, 100);
    wheel_at(21, 0, 200);
    ASSERT_EQ(r->gate_count, 2);
    wheel_at(11, 0, 300);
    EXPECT_EQ(r->gate_count, 2);
    EXPECT_EQ(rider_gate_tic(r, 3), -1);
}

// Two laps: the finish is passing position 5 (F + N - 1 = 5). A rider a lap
// down finishes at its own lap end once the leader has passed the finish.
TEST_F(gate_passage, the_finish_comes_after_the_last_lap_or_behind_a_finished_leader)
{
    const double xs[6] = {11, 21, 31, 11, 21, 31};
    for (int q = 0; q < 6; q++) {
        EXPECT_FALSE(r->finished) << q;
        wheel_at(xs[q], 0, 100 * (q + 1));
    }
    EXPECT_TRUE(r->finished);
    EXPECT_EQ(r->gate_count, 6);
    wheel_at(11, 0, 800);  // a finished rider's gates stay
    EXPECT_EQ(r->gate_count, 6);

    EXPECT_EQ(results_final, 1);  // alone and finished: the results are written
    rider_truncate_gates(r, 0);
    results_final = 0;
    // The leader, in slot 1, has passed the finish (gates only, no bodies).
    rider& leader = rider_records[1];
    memset(&leader, 0, sizeof leader);
    rider_gates_init(&leader);
    for (int q = 0; q < 6; q++) rider_record_gate(&leader, q, 100 * (q + 1));
    leader.gate_count = 6;
    leader.slot = 1;
    rider_table[1] = &leader;
    slot_status[1] = slot_driven_by_autopilot;
    wheel_at(11, 0, 900);
    wheel_at(21, 0, 1000);
    EXPECT_FALSE(r->finished);
    wheel_at(31, 0, 1100);
    EXPECT_TRUE(r->finished);
    EXPECT_EQ(race_order[0].slot, 1);
    array_free(&leader.gate_tics);
    rider_table[1] = nullptr;
}

} // namespace
