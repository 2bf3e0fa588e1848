// The simulation tic without bodies: the roost order, the start-gate
// animation driven through run_tic, the replay seek's arithmetic, the
// visibility of a slot, the results flag, the markers and the telemetry rings.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "core/game_state.h"
#include "game/race_reset.h"
#include "game/results.h"
#include "game/demo.h"
#include "game/sim_tic.h"
#include "game/state_history.h"
#include "game/track_objects.h"
#include "physics/physics_world.h"
#include "physics/lap_timing.h"
#include "physics/rider.h"
#include "physics/rider_build.h"
#include "support/straight_gates.h"
#include "track_fixture.h"

namespace {

struct sim_tic : track_fixture {
    void SetUp() override
    {
        track_fixture::SetUp();
        for (rider*& r : rider_table) r = nullptr;
        for (int32_t& s : slot_status) s = slot_driven_by_player;
        history_clear_all();
        tic_counter = 0;
        gate_drop_tic = 100;
        history_delay = 0;
        lap_mode = 0;
        timing_gates_clear_all();
        results_final = 0;
    }
    void TearDown() override
    {
        for (rider*& r : rider_table) r = nullptr;
        timing_gates_clear_all();
        tic_counter = 0;
        history_delay = 0;
        track_fixture::TearDown();
    }
    static void timing_gates_clear_all() { memset(&timing_gates, 0, sizeof timing_gates); }
    // Slots that only need to be present (no bodies): the tic runs without a
    // physics world in these tests.
    static void occupy(int slot, int32_t status)
    {
        rider_table[slot] = &rider_records[slot];
        rider_records[slot].slot = slot;
        slot_status[slot] = status;
    }
    // One start gate drawn by a statue standing upright (angle 3.5).
    static start_gate& one_gate()
    {
        make_terrain(3, 4, [](float, float) { return 0.0f; });
        timing_gates.start_gate_count = 1;
        start_gate& g = timing_gates.start_gates[0];
        g.statue = create_statue(8, 0, 8, 3.5f, nullptr, nullptr, nullptr);
        g.drop = 0.0f;  // as a fresh track leaves it: the tic raises it
        return g;
    }
};

TEST_F(sim_tic, roost_and_treadmarks_serve_a_rotating_first_rider)
{
    ASSERT_EQ(physics_world, nullptr);
    occupy(2, 0), occupy(5, 2), occupy(9, 1);
    struct row {
        int32_t tic;
        int32_t order[3];
    };
    const row rows[] = {{0, {2, 5, 9}}, {1, {5, 9, 2}}, {2, {9, 2, 5}}, {3, {2, 5, 9}}, {3001, {5, 9, 2}}};
    for (const row& r : rows) {
        int32_t out[160];
        ASSERT_EQ(roost_serving_order(r.tic, out), 3);
        for (int k = 0; k < 3; k++) EXPECT_EQ(out[k], r.order[k]) << "tic " << r.tic << " position " << k;
    }
    for (rider*& r : rider_table) r = nullptr;
    int32_t out[160];
    EXPECT_EQ(roost_serving_order(7, out), 0);
}

// The gate's speed grows by 32 x 1/128 = 0.25 of its travel per second each
// tic, so after k falling tics it has come down sum(0.25 i / 128) =
// k (k + 1) / 1024: down (clamped at 0) in tic 32, still up by 32/1024 after 31.
TEST_F(sim_tic, the_start_gate_falls_in_32_tics_from_the_drop)
{
    start_gate& g = one_gate();
    for (int32_t tic = 0; tic < 100; tic++) {
        run_tic();
        ASSERT_EQ(g.drop, 1.0f) << "held up before the drop, tic " << tic;
    }
    ASSERT_EQ(tic_counter, 100);
    for (int k = 1; k <= 31; k++) {
        run_tic();
        EXPECT_NEAR(g.drop, 1.0 - k * (k + 1) / 1024.0, 1e-6) << k;
    }
    EXPECT_GT(g.drop, 0.0f);
    run_tic();
    EXPECT_EQ(g.drop, 0.0f);
    EXPECT_EQ(tic_counter, 132);
}

// The upright statue of a gate turns about x by p x 3 pi / 16.
TEST_F(sim_tic, the_gate_statue_turns_with_the_gate)
{
    start_gate& g = one_gate();
    const statue* s = statue_at(g.statue);
    run_tic();
    double a = 3.0 * M_PI / 16.0;
    const float up[9] = {1, 0, 0, 0, float(cos(a)), float(sin(a)), 0, float(-sin(a)), float(cos(a))};
    for (int k = 0; k < 9; k++) EXPECT_NEAR(s->orientation[k], up[k], 1e-6) << k;
    tic_counter = 100;
    for (int k = 0; k < 32; k++) run_tic();
    const float down[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int k = 0; k < 9; k++) EXPECT_NEAR(s->orientation[k], down[k], 1e-6) << k;
}

// A rider leaning on the gate (its statue touched in this tic) stops it for
// the tic; then it starts again from rest.
TEST_F(sim_tic, a_touched_gate_stays_for_that_tic)
{
    start_gate& g = one_gate();
    statue* s = statue_at(g.statue);
    run_tic();  // raised before the drop
    tic_counter = 100;
    for (int k = 0; k < 4; k++) run_tic();
    float before = g.drop;
    EXPECT_NEAR(before, 1.0 - 4 * 5 / 1024.0, 1e-6);
    s->last_touch_tic = tic_counter;
    run_tic();
    EXPECT_EQ(g.drop, before);
    run_tic();
    EXPECT_NEAR(g.drop, before - 0.25 / 128, 1e-6);
}

// A rider pressing on its gate touches it every tic. It holds the gate for
// as long as a free fall takes (32 tics), no longer: then the gate falls as
// if untouched, down 32 tics later, and never stays up for the race.
TEST_F(sim_tic, a_gate_leaned_on_every_tic_is_held_32_tics_then_falls)
{
    start_gate& g = one_gate();
    statue* s = statue_at(g.statue);
    run_tic();
    tic_counter = 100;
    for (int k = 0; k < 32; k++) {
        s->last_touch_tic = tic_counter;
        run_tic();
        ASSERT_EQ(g.drop, 1.0f) << "held, tic " << k;
    }
    for (int k = 1; k <= 32; k++) {
        s->last_touch_tic = tic_counter;
        run_tic();
        EXPECT_NEAR(g.drop, std::max(0.0, 1.0 - k * (k + 1) / 1024.0), 1e-6) << k;
    }
    EXPECT_EQ(g.drop, 0.0f);
    // A new race holds it again.
    tic_counter = 0;
    run_tic();
    tic_counter = 100;
    s->last_touch_tic = tic_counter;
    run_tic();
    EXPECT_EQ(g.drop, 1.0f);
}

// A spectator is shown the race 127 tics late: its gates drop 127 tics late.
// Ten seconds after that the animation has ended and leaves the gate be.
TEST_F(sim_tic, a_spectator_sees_the_drop_127_tics_late)
{
    start_gate& g = one_gate();
    history_delay = 127;
    tic_counter = 100;
    for (int k = 0; k < 127; k++) run_tic();
    EXPECT_EQ(g.drop, 1.0f);
    run_tic();
    EXPECT_NEAR(g.drop, 1.0 - 2 / 1024.0, 1e-6);
    tic_counter = 100 + 127 + 1280 + 1;
    g.drop = 0.5f;
    run_tic();
    EXPECT_EQ(g.drop, 0.5f);
}

TEST_F(sim_tic, a_gate_without_a_valid_statue_is_held_up_but_never_animated)
{
    timing_gates.start_gate_count = 2;
    timing_gates.start_gates[0].statue = -1;
    timing_gates.start_gates[1].statue = 5;  // no statues at all
    run_tic();
    EXPECT_EQ(timing_gates.start_gates[0].drop, 1.0f);
    tic_counter = 120;
    run_tic();
    EXPECT_EQ(timing_gates.start_gates[0].drop, 1.0f);
    EXPECT_EQ(timing_gates.start_gates[1].drop, 1.0f);
}

TEST_F(sim_tic, seeking_without_a_replay_does_nothing)
{
    occupy(0, slot_driven_by_history);
    tic_counter = 50;
    seek_demo(-1);
    EXPECT_EQ(tic_counter, 50);
    seek_demo(1);
    EXPECT_EQ(tic_counter, 50);
}

rider_state_record plain_record()
{
    rider_state_record r;
    memset(&r, 0, sizeof r);
    return r;
}

TEST_F(sim_tic, which_slots_are_hidden)
{
    occupy(1, slot_driven_by_player);
    occupy(2, slot_driven_by_autopilot);
    occupy(3, slot_driven_by_history);  // no history
    occupy(4, slot_driven_by_history);  // entries at 900 and 1000
    occupy(5, slot_driven_by_history);  // entries long past
    add_state_to_history(4, plain_record(), 900);
    add_state_to_history(4, plain_record(), 1000);
    add_state_to_history(5, plain_record(), 100);
    add_state_to_history(5, plain_record(), 200);
    struct row {
        int slot;
        int32_t tic;
        int hidden;
    };
    const row rows[] = {
        {0, 950, 1},    {-1, 950, 1},  {160, 950, 1}, {1, 950, 0},   {2, 950, 0},  {3, 950, 1},
        {4, 950, 0},    {4, 1128, 0},  {4, 1129, 1},  {4, 0, 1},     {5, 950, 1},  {5, 328, 0},
    };
    for (const row& r : rows) {
        tic_counter = r.tic;
        EXPECT_EQ(slot_is_hidden(r.slot), r.hidden) << "slot " << r.slot << " at tic " << r.tic;
    }
    // The physics asks through its hook once a race runs.
    slot_is_hidden_hook = nullptr;
    run_tic();
    EXPECT_EQ(slot_is_hidden_hook, &slot_is_hidden);
    slot_is_hidden_hook = nullptr;
}

TEST_F(sim_tic, results_are_finished_once_and_then_kept)
{
    results_final = 1;
    EXPECT_EQ(ensure_results_written(), 1);
    results_final = 0;
    EXPECT_EQ(ensure_results_written(), 1);  // no riders: everyone is done
    EXPECT_EQ(results_final, 1);
}

TEST_F(sim_tic, markers_keep_the_newest_for_the_distance)
{
    marker_list_clear();
    EXPECT_EQ(distance_to_last_marker(1, 2, 3), 1000000.0f);
    ASSERT_NE(add_marker(10, 0, 0, "first"), nullptr);
    marker* m = add_marker(3, 0, 0, "second");
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(m->text, "second");
    EXPECT_FLOAT_EQ(distance_to_last_marker(0, 4, 0), 5.0f);
    std::string long_text(2000, 'x');
    m = add_marker(0, 0, 0, long_text.c_str());
    EXPECT_EQ(strlen(m->text), 1023u);
    for (int i = 0; i < 40; i++) ASSERT_NE(add_marker(float(i), 0, 0, "grown"), nullptr);
    EXPECT_EQ(marker_list.count, 43);
    EXPECT_FLOAT_EQ(distance_to_last_marker(39, 0, 0), 0.0f);
    marker_list_clear();
    EXPECT_EQ(distance_to_last_marker(1, 2, 3), 1000000.0f);
}

// The index 1024 starts the rings again: the second and third readouts of
// fork and shock are cleared, the travel rings are kept; with nobody watched
// nothing is stored and the index stays at 0.
TEST_F(sim_tic, telemetry_rings_restart_at_1024)
{
    watched_slot = 7;  // empty
    suspension_graph_on = 1;
    for (int ring = 0; ring < 6; ring++) suspension_rings[ring][5] = float(ring + 1);
    suspension_ring_index = telemetry_length;
    run_tic();
    EXPECT_EQ(suspension_ring_index, 0);
    const float kept[6] = {1, 0, 0, 4, 0, 0};
    for (int ring = 0; ring < 6; ring++) EXPECT_EQ(suspension_rings[ring][5], kept[ring]) << ring;
    run_tic();
    EXPECT_EQ(suspension_ring_index, 0);
    suspension_graph_on = 0;
}

// The lap mode on the straight gates (a lap starts and ends at gate 2): the
// player's front wheel is carried through them.
struct lap_mode_tic : sim_tic {
    rider* player = nullptr;
    void SetUp() override
    {
        sim_tic::SetUp();
        physics_world_create();
        straight_gates_load();
        player = rider_create("kx250f(2008)", 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(player, nullptr);
        rider_table[0] = player;
        slot_status[0] = slot_driven_by_player;
        lap_mode = 1;
        lap_limit = 1000000;
        tic_counter = 38400;
        best_lap_tics = last_lap_tics = 0;
    }
    void TearDown() override
    {
        rider_destroy(player);
        rider_table[0] = nullptr;
        lap_mode = 0;
        physics_world_destroy();
        sim_tic::TearDown();
    }
    void ride_to(int c, int tics = 1) { ride_past_checkpoint(player, c, tics); }
    std::string home_file(const std::string& name)
    {
        std::ifstream in(home + name, std::ios::binary);
        if (!in) return "<none>";
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

// Lap 1 ends at gate 2: no whole lap yet, so no time; the player's list is
// cut back to the first two gates and gate 2 taken again at once, after the
// clock moved on (tic start + 1), which starts the timed lap. The lap that
// follows is timed from there to gate 5. Each lap's recording (the track
// folder's "lastlap.ztdemo") becomes the fast lap, copied through a second
// name, and replays as a demo of the one rider.
TEST_F(lap_mode_tic, a_lap_is_timed_from_the_start_line_and_kept_as_the_fast_lap)
{
    std::filesystem::create_directories(home + "tracks/t");
    ride_to(0);
    ride_to(1);
    int32_t start = tic_counter;
    ride_to(2);
    EXPECT_EQ(last_lap_tics, 0);
    EXPECT_EQ(best_lap_tics, 0);
    EXPECT_EQ(player->gate_count, 3);
    EXPECT_EQ(rider_gate_tic(player, 2), start + 1);
    std::string first_copy = home_file("tracks/t/fastlap.ztdemo");
    // The fixture starts riding without a recording: the first lap's end
    // starts one, and there is nothing to copy yet.
    EXPECT_EQ(first_copy, "<none>");

    ride_to(0, 40);
    ride_to(1, 40);
    ride_to(2);
    // Gate 5 is taken in the tic that runs at start + 81: 80 tics of lap.
    EXPECT_EQ(last_lap_tics, 80);
    EXPECT_EQ(best_lap_tics, 80);
    EXPECT_EQ(player->gate_count, 3);
    std::string second_copy = home_file("tracks/t/fastlap.ztdemo");
    EXPECT_EQ(second_copy.compare(0, 4, "ZT06"), 0) << "the timed lap's recording became the fast lap";
    EXPECT_EQ(home_file("tracks/t/fastlap.ztdemo.tmp"), "<none>");
    // The ghost of the fast lap rides in slot 1, replayed from that file.
    EXPECT_EQ(demo_replay_version(), 6);
    EXPECT_EQ(demo_header.rider_count, 1);
    EXPECT_STREQ(demo_track, track_dir);
    EXPECT_NE(rider_table[1], nullptr);
}

} // namespace
