// The main loop's rules that need no window: the view cycle and the close
// request, the warp restart, the Tab lift's bound, and the player's inputs
// from the control channels.
#include <gtest/gtest.h>

#include <ode/ode.h>

#include "core/game_state.h"
#include "game/control_input.h"
#include "game/main_loop.h"
#include "game/startup.h"
#include "physics/physics_world.h"
#include "physics/rider.h"
#include "physics/rider_access.h"
#include "physics/rider_build.h"
#include "platform/vesk.h"
#include "ui/bindings.h"

namespace {

struct loop_globals : ::testing::Test {
    void SetUp() override
    {
        options = run_options{};
        view_state = view_riding;
        menu_page = -1;
        paused = 0;
        quit_requested = 0;
        race_order_count = 0;
        lap_limit = 0;
        timing_gates = {};
    }
};

TEST_F(loop_globals, tab_cycles_the_views)
{
    struct {
        int editor, from, to;
    } rows[] = {{0, view_riding, view_orbit},         {1, view_riding, view_editor},
                {0, view_orbit, view_track_cameras},  {0, view_track_cameras, view_riding},
                {0, view_no_track, view_no_track},    {1, view_editor, view_orbit}};
    for (auto& r : rows) {
        options.editor = r.editor;
        view_state = r.from;
        dispatch_event(tab_key_code, 1);
        EXPECT_EQ(view_state, r.to) << "from " << r.from << " editor " << r.editor;
        dispatch_event(tab_key_code, 0);
        EXPECT_EQ(view_state, r.to) << "a release does nothing";
    }
}

TEST_F(loop_globals, pause_toggles_offline_and_step_runs_one_tic_while_paused)
{
    // Codes as the bindings resolve them from "pause" and ".".
    special_keys[special_pause]->key_code = 0x1045;
    special_keys[special_step]->key_code = 0x1034;
    tic_counter = 7;
    dispatch_event(0x1034, 1);
    EXPECT_EQ(tic_counter, 7) << "step does nothing while running";
    dispatch_event(0x1045, 1);
    EXPECT_EQ(paused, 1);
    dispatch_event(0x1045, 0);
    EXPECT_EQ(paused, 1) << "the release does nothing";
    dispatch_event(0x1034, 1);
    EXPECT_EQ(tic_counter, 8) << "one tic per step press";
    dispatch_event(0x1045, 1);
    EXPECT_EQ(paused, 0);
    special_keys[special_pause]->key_code = 0;
    special_keys[special_step]->key_code = 0;
}

TEST_F(loop_globals, close_request_ends_the_loop)
{
    dispatch_event(vesk_code_close, 1);
    EXPECT_EQ(quit_requested, 1);
    EXPECT_EQ(main_loop_frame(), 0);
}

TEST_F(loop_globals, warp_restarts_only_a_race_of_laps_its_leader_has_done)
{
    options.warp = 1;
    // Each lap holds one marked entry: it is passed and recorded like the
    // others, so laps run over every entry, not over the counted ones.
    timing_gates.first_lap_entries = 4;
    timing_gates.normal_lap_entries = 6;
    timing_gates.counted_first_lap = 3;
    timing_gates.counted_normal_lap = 5;
    race_order_count = 1;
    struct {
        int32_t laps, gates;
        int due;
    } rows[] = {
        {0, 0, 0},    // no laps: never over by laps (it would restart every frame)
        {1, 3, 0},    // still before the first lap's last entry
        {1, 4, 1},    // first lap done at its 4 entries
        {2, 9, 0},    // 9 = 4 + 5: the second lap not yet
        {2, 10, 1},   // 10 = 4 + 6
        {3, 16, 1},
    };
    for (auto& r : rows) {
        lap_limit = r.laps;
        race_order[0] = {0, r.gates, 100};
        EXPECT_EQ(warp_restart_due(), r.due) << r.laps << " laps, " << r.gates << " gates";
    }
    options.warp = 0;
    lap_limit = 1;
    race_order[0].gates_passed = 4;
    EXPECT_EQ(warp_restart_due(), 0) << "only with --warp";
}

struct rider_fixture : loop_globals {
    rider* r = nullptr;
    void SetUp() override
    {
        loop_globals::SetUp();
        physics_world_create();
        physics_ground_flat();
        r = rider_create("yz250f(2017)", 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(r, nullptr);
        rider_fall(r);
    }
    void TearDown() override
    {
        if (r) rider_destroy(r);
        physics_world_destroy();
    }
};

double frame_height(const rider* r)
{
    return dBodyGetPosition(r->frame_body)[1];
}

TEST_F(rider_fixture, tab_lift_clears_the_ground_and_gives_up_at_its_bound)
{
    // Sunk 10 ft into flat ground: lifted until clear, well within the bound.
    rider_reset_pose(r);
    rider_translate(r, 0, -10, 0);
    int steps = rider_lift_clear(r);
    EXPECT_GT(steps, 30) << "10 ft is 40 quarter-feet";
    EXPECT_LT(steps, lift_step_limit);
    EXPECT_EQ(bike_tyre_forces(r), 0) << "out of the ground";
    dJointGroupEmpty(contact_joint_group);
    // Sunk 2000 ft: the lift stops after 4096 quarter-feet (1024 ft) instead
    // of looping for as long as the ground holds the bike.
    rider_reset_pose(r);
    rider_translate(r, 0, -2000, 0);
    double before = frame_height(r);
    EXPECT_EQ(rider_lift_clear(r), lift_step_limit);
    EXPECT_NEAR(frame_height(r) - before, 1024.0, 1e-6);
}

TEST_F(rider_fixture, channels_reach_the_rider_inputs)
{
    float ch[control_channel_count] = {};
    reversed_steering = 1;
    sticky_dab = 0;
    ch[channel_steer] = 1;  // "Left"
    ch[channel_throttle] = 0.75f;
    ch[channel_front_brake] = 0.5f;
    ch[channel_rear_brake] = 0.25f;
    ch[channel_dab] = 1;
    player_inputs_apply(r, ch);
    EXPECT_FLOAT_EQ(r->steer, -1.0f) << "reversed steering negates the channel";
    EXPECT_FLOAT_EQ(r->throttle, 0.75f);
    EXPECT_FLOAT_EQ(r->front_brake, 0.5f);
    EXPECT_FLOAT_EQ(r->rear_brake, 0.25f);
    EXPECT_FLOAT_EQ(r->dab, 1.0f);
    reversed_steering = 0;
    player_inputs_apply(r, ch);
    EXPECT_FLOAT_EQ(r->steer, 1.0f);
    reversed_steering = 1;
}

TEST_F(rider_fixture, clutch_eases_in_and_drops_at_once)
{
    float ch[control_channel_count] = {};
    rider_set_clutch(r, 0);
    // Lever released (target 1): 4 per second, so 1/32 a tic; 32 tics to full.
    for (int tic = 1; tic <= 16; tic++) player_inputs_apply(r, ch);
    EXPECT_NEAR(rider_get_clutch(r), 0.5, 1e-5);
    for (int tic = 0; tic < 16; tic++) player_inputs_apply(r, ch);
    EXPECT_NEAR(rider_get_clutch(r), 1.0, 1e-5);
    // Lever pulled 7/16 of the way: target 1 - 7/16 x 8/7 = 0.5, taken at once.
    ch[channel_clutch] = 7.0f / 16.0f;
    player_inputs_apply(r, ch);
    EXPECT_NEAR(rider_get_clutch(r), 0.5, 1e-5);
    // Fully pulled: 8/7 past the point of disengaging, clamped to 0.
    ch[channel_clutch] = 1;
    player_inputs_apply(r, ch);
    EXPECT_FLOAT_EQ(rider_get_clutch(r), 0.0f);
}

TEST_F(rider_fixture, sticky_dab_flips_on_each_press)
{
    float ch[control_channel_count] = {};
    sticky_dab = 1;
    dab_toggle = 0;
    float presses[] = {0, 1, 1, 0, 1, 0, 0};
    float expect[] = {0, 1, 1, 1, 0, 0, 0};
    for (int i = 0; i < 7; i++) {
        ch[channel_dab] = presses[i];
        player_inputs_apply(r, ch);
        EXPECT_FLOAT_EQ(r->dab, expect[i]) << "step " << i;
    }
    sticky_dab = 0;
}

}  // namespace
