// The orbit camera's controls and placement, the free camera's flight and
// the track-camera view's automatic switching and aim.
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>
#include <ode/ode.h>

#include "core/game_state.h"
#include "game/cameras.h"
#include "game/main_loop.h"
#include "game/startup.h"
#include "game/track_cameras.h"
#include "physics/rider.h"
#include "terrain/terrain.h"
#include "ui/settings.h"

namespace {

constexpr double pi = M_PI;
constexpr double tic = 1.0 / 128;  // seconds

// A flat ground at height h over a 65 x 65-sample field of 1-ft cells, put in
// place of the track's terrain for the test.
struct flat_ground {
    terrain saved = track_terrain;
    std::vector<float> heights;
    explicit flat_ground(float h = 0)
    {
        track_terrain = terrain{};
        set(h);
    }
    void set(float h)
    {
        heights.assign(65 * 65, h);
        track_terrain.size = 65;
        track_terrain.exponent = 5;
        track_terrain.extent = 64;
        track_terrain.spacing = track_terrain.inv_spacing = 1;
        track_terrain.heights = heights.data();
    }
    ~flat_ground() { track_terrain = saved; }
};

struct camera_controls : ::testing::Test {
    flat_ground ground;
    decltype(options) saved_options = options;
    void SetUp() override
    {
        for (float& c : control_channels) c = 0;
        options.orbit_angle = 0, options.orbit_distance = 10, options.orbit_height = 5;
    }
    void TearDown() override
    {
        for (float& c : control_channels) c = 0;
        options = saved_options;
    }
};

// ---- Orbit camera controls -------------------------------------------------

TEST_F(camera_controls, full_steer_turns_the_orbit_once_round_in_1024_tics)
{
    // 2 pi / 1024 a tic: half a turn (pi) after 512 tics, where the angle
    // wraps once from +pi to -pi, and the start again after 1024 (8 s).
    control_channels[channel_steer] = 1;
    int wraps = 0;
    float previous = options.orbit_angle;
    for (int k = 1; k <= 1024; k++) {
        orbit_camera_controls();
        float a = options.orbit_angle;
        ASSERT_GE(a, -pi) << k;
        ASSERT_LE(a, pi) << k;
        if (a < previous) wraps++;
        previous = a;
        if (k == 256) {
            EXPECT_NEAR(a, pi / 2, 1e-4);
        }
        if (k == 768) {
            EXPECT_NEAR(a, -pi / 2, 1e-4);
        }
    }
    EXPECT_EQ(wraps, 1);
    EXPECT_NEAR(options.orbit_angle, 0, 1e-4);
    EXPECT_NEAR(1024 * tic, 8.0, 1e-12);
    // Full steer the other way turns back through the same angles.
    control_channels[channel_steer] = -0.5f;  // half steer: half as fast
    for (int k = 0; k < 512; k++) orbit_camera_controls();
    EXPECT_NEAR(std::fabs(options.orbit_angle), pi / 2, 1e-4);
}

TEST_F(camera_controls, throttle_brings_the_orbit_in_by_a_64th_foot_a_tic_down_to_a_quarter)
{
    struct row {
        float start;
        int tics_to_minimum;  // worked out: the tic at which 0.25 is first reached
    } rows[] = {
        // 10 - k/64 steps down until 0.265625 (k = 623); the next step would
        // give 0.25 itself.
        {10.0f, 624},
        // 0.3 -> 0.284375 -> 0.26875 -> 0.253125, below 0.265625: 0.25.
        {0.3f, 3},
        // One step from 0.26 lands below 0.25 + 1/64: straight to 0.25.
        {0.26f, 1},
        {0.25f, 0},
    };
    for (const row& r : rows) {
        options.orbit_distance = r.start;
        control_channels[channel_throttle] = 1;
        int reached = r.start == 0.25f ? 0 : -1;
        for (int k = 1; k <= 700; k++) {
            float before = options.orbit_distance;
            orbit_camera_controls();
            float d = options.orbit_distance;
            ASSERT_GE(d, 0.25f) << r.start << " tic " << k;
            if (reached < 0 && d == 0.25f) reached = k;
            if (reached < 0) {
                ASSERT_EQ(d, before - 1.0f / 64) << r.start << " tic " << k;
            }
        }
        EXPECT_EQ(reached, r.tics_to_minimum) << r.start;
        EXPECT_EQ(options.orbit_distance, 0.25f);
    }
    // Exact steps of 1/64 from 10: after 623 tics 10 - 623/64 = 0.265625.
    options.orbit_distance = 10;
    for (int k = 0; k < 623; k++) orbit_camera_controls();
    EXPECT_EQ(options.orbit_distance, 0.265625f);
}

TEST_F(camera_controls, orbit_distance_height_and_the_half_way_threshold)
{
    struct row {
        float throttle, brake, shift;
        int tics;
        float distance, height;  // after the tics, from 10 and 5
    } rows[] = {
        {0.5f, 0, 0, 64, 10, 5},         // exactly one half is not above it
        {0.51f, 0, 0, 64, 9, 5},         // 64 tics of 1/64 ft: one foot
        {0, 1, 0, 128, 12, 5},           // two feet a second outwards
        {1, 1, 0, 128, 10, 5},           // both held: in and out again
        {0, 0, 1, 128, 10, 6},           // one foot a second up
        {0, 0, -0.5f, 256, 10, 4},       // half shift down for two seconds
    };
    for (const row& r : rows) {
        options.orbit_distance = 10, options.orbit_height = 5;
        control_channels[channel_throttle] = r.throttle;
        control_channels[channel_front_brake] = r.brake;
        control_channels[channel_shift] = r.shift;
        for (int k = 0; k < r.tics; k++) orbit_camera_controls();
        EXPECT_FLOAT_EQ(options.orbit_distance, r.distance) << r.throttle << " " << r.brake;
        EXPECT_NEAR(options.orbit_height, r.height, 1e-5) << r.shift;
    }
}

// ---- Orbit camera placement ------------------------------------------------

// The look direction (-z column) of a rotation, normalised.
void look_of(const float m[9], float look[3])
{
    look[0] = -m[2], look[1] = -m[5], look[2] = -m[8];
}

TEST_F(camera_controls, orbit_stands_round_the_centre_and_looks_at_it)
{
    const orbit_subject s = {{30, 20, 40}, {0, 0, 1}, {0, 0, 0}};
    struct row {
        float angle, ground;
        float x, y, z;  // worked out: centre + 10 (sin a, cos a), height max(ground + 5, 20 + 5)
    } rows[] = {
        {0, 0, 30, 25, 50},
        {float(pi / 2), 0, 40, 25, 40},
        {float(-pi / 2), 0, 20, 25, 40},
        {float(pi), 0, 30, 25, 30},
        {0, 22, 30, 27, 50},  // the ground 22 ft up: 5 ft above it
    };
    for (const row& r : rows) {
        ground.set(r.ground);
        options.orbit_angle = r.angle;
        float direction[2] = {0, 1}, p[3], m[9];
        orbit_camera_pose(s, 0, 0, 10, 5, direction, p, m);
        EXPECT_NEAR(p[0], r.x, 1e-4) << r.angle;
        EXPECT_NEAR(p[1], r.y, 1e-4) << r.angle;
        EXPECT_NEAR(p[2], r.z, 1e-4) << r.angle;
        float look[3], want[3] = {s.centre[0] - p[0], s.centre[1] - p[1], s.centre[2] - p[2]};
        float n = std::sqrt(want[0] * want[0] + want[1] * want[1] + want[2] * want[2]);
        look_of(m, look);
        for (int i = 0; i < 3; i++) EXPECT_NEAR(look[i], want[i] / n, 1e-5) << r.angle << " axis " << i;
        EXPECT_NEAR(m[3], 0, 1e-6) << "the right axis stays level";
        EXPECT_GT(m[4], 0) << "up is up";
    }
}

TEST_F(camera_controls, the_own_bike_is_trailed_along_its_heading_turned_towards_its_velocity)
{
    // The bike's backward axis is +z, so it heads along -z; it moves along +x.
    struct row {
        float speed;
        int rigid;
        float dx, dz;  // worked out: the camera's horizontal direction from the centre
    } rows[] = {
        {5, 0, 0, 1},    // below 10 ft/s the heading is the bike's
        {10, 0, 0, 1},
        // 20 ft/s: k = (20 - 10) 0.05 = 1/2, h = (0, -1) + ((20, 0) - (0, -1)) / 2
        // = (10, -0.5); the camera stands along -h.
        {20, 0, float(-10 / std::hypot(10.0, 0.5)), float(0.5 / std::hypot(10.0, 0.5))},
        {30, 0, -1, 0},  // from 30 ft/s the heading is the velocity
        {80, 0, -1, 0},
        {80, 1, 0, 1},   // rigid: the bike's heading at any speed
    };
    for (const row& r : rows) {
        const orbit_subject s = {{30, 20, 40}, {0, 0, 1}, {r.speed, 0, 0}};
        float direction[2] = {0, 1}, p[3], m[9];
        orbit_camera_pose(s, 1, r.rigid, 12, 3, direction, p, m);
        EXPECT_NEAR(p[0], 30 + 12 * r.dx, 1e-4) << r.speed << " rigid " << r.rigid;
        EXPECT_NEAR(p[2], 40 + 12 * r.dz, 1e-4) << r.speed << " rigid " << r.rigid;
        EXPECT_NEAR(p[1], 23, 1e-4);
    }
}

TEST_F(camera_controls, a_bike_standing_on_end_keeps_the_last_direction)
{
    // Forward axis vertical and no speed: the level heading is zero, which
    // has no direction. The camera stays where it trailed last, never NaN.
    float direction[2] = {0, 1}, p[3], m[9];
    const orbit_subject moving = {{0, 10, 0}, {-1, 0, 0}, {0, 0, 0}};  // heading +x
    orbit_camera_pose(moving, 1, 0, 10, 5, direction, p, m);
    EXPECT_NEAR(direction[0], -1, 1e-6);
    EXPECT_NEAR(direction[1], 0, 1e-6);
    const orbit_subject upright[] = {
        {{0, 10, 0}, {0, 1, 0}, {0, 0, 0}},
        {{0, 10, 0}, {0, -1, 0}, {0, 3, 0}},  // falling straight down
        {{0, 10, 0}, {0, 1, 0}, {std::numeric_limits<float>::quiet_NaN(), 0, 0}},
    };
    for (const orbit_subject& s : upright) {
        orbit_camera_pose(s, 1, 0, 10, 5, direction, p, m);
        for (float v : p) ASSERT_TRUE(std::isfinite(v));
        for (float v : m) ASSERT_TRUE(std::isfinite(v));
        EXPECT_NEAR(p[0], -10, 1e-4);
        EXPECT_NEAR(p[2], 0, 1e-4);
        EXPECT_NEAR(direction[0], -1, 1e-6);
    }
}

// ---- Free camera -----------------------------------------------------------

TEST_F(camera_controls, a_released_free_camera_at_100_stops_after_a_second_and_two_thirds)
{
    // It slows by 60 ft/s a second, 60/128 = 15/32 ft/s a tic: from 100 it
    // needs 100 / (15/32) = 213 1/3 tics (1 2/3 s at 128 tics a second), so
    // it still moves at 100 - 213 x 15/32 = 0.15625 after 213 tics and
    // stands from tic 214.
    aimed_camera c = {0, 30, 0, float(pi / 2), 0, 0, 0, 90, 0};  // looks along +x
    float speed = 100;
    const float none[control_channel_count] = {};
    int stopped = 0;
    for (int k = 1; k <= 300 && !stopped; k++) {
        free_camera_flight(&c, &speed, none);
        if (k == 213) {
            EXPECT_FLOAT_EQ(speed, 0.15625f);
        }
        if (speed == 0) stopped = k;
    }
    EXPECT_EQ(stopped, 214);
    EXPECT_NEAR(100.0 / 60.0 * 128, 213.0 + 1.0 / 3, 1e-9);
    // The way it went: the sum of 100 - k 15/32 for k = 1..213, a tic each:
    // (213 x 100 - 15/32 x 213 x 214 / 2) / 128 = 10616.71875 / 128 ft,
    // within a tic's travel of the even deceleration's 100^2 / (2 x 60).
    EXPECT_NEAR(c.x, 10616.71875 / 128, 1e-2);
    EXPECT_NEAR(c.x, 100.0 * 100 / 120, 100.0 / 128);
    EXPECT_NEAR(c.y, 30, 1e-4);
    EXPECT_NEAR(c.z, 0, 1e-3);
}

TEST_F(camera_controls, free_camera_speed_stays_within_100_and_above_the_ground)
{
    float channels[control_channel_count] = {};
    struct row {
        int pedal;       // channel held
        float start, after;  // speed after 1000 tics
    } rows[] = {
        // Held: +80/128 then -60/128 a tic, 20 ft/s a second net, up to the
        // cap of 100 and the slowing after it: 100 - 15/32.
        {channel_throttle, 0, 99.53125f},
        {channel_front_brake, 0, -99.53125f},
        {channel_throttle, -100, 99.53125f},
    };
    for (const row& r : rows) {
        aimed_camera c = {0, 1000, 0, 0, float(pi / 2), 0, 0, 90, 0};  // looking straight up
        channels[channel_throttle] = channels[channel_front_brake] = 0;
        channels[r.pedal] = 1;
        float speed = r.start;
        for (int k = 0; k < 1000; k++) {
            free_camera_flight(&c, &speed, channels);
            ASSERT_LE(std::fabs(speed), 100.0f);
        }
        EXPECT_FLOAT_EQ(speed, r.after) << r.pedal;
    }
    // Diving at the ground 10 ft up: it stops 2 ft above it.
    ground.set(10);
    aimed_camera c = {20, 50, 20, 0, float(-pi / 2), 0, 0, 90, 0};
    float speed = 100;
    channels[channel_throttle] = 1, channels[channel_front_brake] = 0;
    for (int k = 0; k < 256; k++) free_camera_flight(&c, &speed, channels);
    EXPECT_FLOAT_EQ(c.y, 12);
}

// ---- Track cameras ---------------------------------------------------------

// Three cameras round a track of six checkpoints. First lap: 0, 1 (no AI
// switch), 2; every later lap: 3, 4, 5 (no AI switch). Checkpoint 0 and 5
// are watched by camera 0, 1 by camera 1, 3 by camera 2; 2 and 4 by none.
struct track_camera_view : camera_controls {
    decltype(timing_gates) saved_gates = timing_gates;
    int32_t saved_map[gate_camera_count];
    int32_t saved_selected = selected_track_camera, saved_auto = auto_camera, saved_watched = watched_slot;
    int32_t saved_view = view_state, saved_page = menu_page;
    rider* saved_rider = rider_table[0];
    dWorldID world = nullptr;
    rider bike{};
    void SetUp() override
    {
        camera_controls::SetUp();
        std::copy(gate_camera, gate_camera + gate_camera_count, saved_map);
        timing_gates.checkpoint_count = 6;
        timing_gates.first_lap_entries = 3;
        timing_gates.normal_lap_entries = 3;
        const int32_t entries[] = {0, 100001, 2, 3, 4, 100005};
        std::copy(entries, entries + 6, timing_gates.lap_entries);
        if (!track_cameras.element_size) array_init(&track_cameras, sizeof(track_camera));
        track_cameras.count = 0;
        const track_camera cams[] = {{0, 10, 0, 0, 0, 0, 0, 90, 0},
                                     {60, 10, 0, 0, 0, 0, 0, 90, 0},
                                     {60, 10, 60, 0, 0, 0, 0, 90, 0}};
        for (const track_camera& t : cams) array_push(&track_cameras, &t);
        for (int32_t& g : gate_camera) g = -1;
        gate_camera[0] = 0, gate_camera[1] = 1, gate_camera[3] = 2, gate_camera[5] = 0;
    }
    void TearDown() override
    {
        timing_gates = saved_gates;
        std::copy(saved_map, saved_map + gate_camera_count, gate_camera);
        track_cameras.count = 0;
        selected_track_camera = saved_selected, auto_camera = saved_auto, watched_slot = saved_watched;
        view_state = saved_view, menu_page = saved_page;
        rider_table[0] = saved_rider;
        if (world) dWorldDestroy(world);
        camera_controls::TearDown();
    }
    // A bare frame body for the watched rider in slot 0.
    void put_rider(float x, float y, float z, int32_t gates)
    {
        dInitODE2(0);
        world = dWorldCreate();
        bike.frame_body = dBodyCreate(world);
        dBodySetPosition(bike.frame_body, x, y, z);
        bike.gate_count = gates;
        rider_table[0] = &bike;
        watched_slot = 0;
    }
    const track_camera& cam(int i) { return array_items<track_camera>(&track_cameras)[i]; }
};

TEST_F(track_camera_view, checkpoint_cameras_through_both_laps)
{
    struct row {
        int32_t gates, camera;
    } rows[] = {
        {-5, -1}, {0, -1},  // no gate passed yet
        {1, 0},   {2, 1},   // the marked entry 100001 is checkpoint 1
        {3, -1},            // checkpoint 2 has no camera
        {4, 2},   {5, -1},  {6, 0},
        {7, 2},   {9, 0},   // the normal lap again: positions 6 and 8
        {3 + 3 * 1000 + 1, 2},
    };
    for (const row& r : rows) EXPECT_EQ(track_camera_of_gates(r.gates), r.camera) << r.gates;
    // A lap of no gates has nothing to switch by.
    timing_gates.normal_lap_entries = 0;
    EXPECT_EQ(track_camera_of_gates(1), -1);
}

TEST_F(track_camera_view, automatic_switching_goes_only_to_mapped_cameras)
{
    struct row {
        int32_t current, gates, picked;
    } rows[] = {
        {1, 1, 0},    // checkpoint 0's camera
        {0, 1, 0},    // already there
        {1, 3, 1},    // checkpoint 2 maps to -1: keep the current camera
        {2, 5, 2},
        {2, 0, 2},    // no gate passed: no switch
        {-1, 1, -1},  // the free camera is never left automatically
        {-1, 4, -1},
    };
    for (const row& r : rows) EXPECT_EQ(auto_camera_pick(r.gates, r.current), r.picked) << r.current << " " << r.gates;
}

TEST_F(track_camera_view, typed_digits_select_the_cameras_and_zero_the_free_one)
{
    view_state = view_track_cameras;
    menu_page = -1;
    struct row {
        char key;
        int32_t camera;
    } rows[] = {{'1', 0}, {'3', 2}, {'9', 2}, {'2', 1}, {'0', -1}};
    for (const row& r : rows) {
        dispatch_event(uint32_t(r.key), 1);
        EXPECT_EQ(selected_track_camera, r.camera) << r.key;
        selected_track_camera = 5;
        dispatch_event(uint32_t(r.key), 0);  // a release changes nothing
        EXPECT_EQ(selected_track_camera, 5) << r.key;
    }
    track_cameras.count = 0;  // no track cameras: every digit is the free camera
    dispatch_event(uint32_t('4'), 1);
    EXPECT_EQ(selected_track_camera, -1);
}

TEST_F(track_camera_view, a_race_reset_puts_the_free_camera_5_ft_over_the_watched_rider)
{
    free_camera = {1, 2, 3, 0.5f, -0.25f, 0, 0, 75, 0};
    watched_slot = rider_slot_count;
    free_camera_to_watched_rider();  // nobody watched: it stays
    EXPECT_EQ(free_camera.x, 1);
    put_rider(40, 12, -7, 0);
    free_camera_to_watched_rider();
    EXPECT_FLOAT_EQ(free_camera.x, 40);
    EXPECT_FLOAT_EQ(free_camera.y, 17);
    EXPECT_FLOAT_EQ(free_camera.z, -7);
    EXPECT_EQ(free_camera.yaw, 0.5f);
    EXPECT_EQ(free_camera.pitch, -0.25f);
    EXPECT_EQ(free_camera.fov, 75);
}

TEST_F(track_camera_view, dab_rising_through_a_half_flips_auto_camera)
{
    watched_slot = rider_slot_count;  // nobody to watch
    auto_camera = 0;
    const float dab[] = {0, 0.6f, 0.7f, 0.2f, 0.5f, 0.49f, 1};
    const int32_t expected[] = {0, 1, 1, 1, 0, 0, 1};
    for (int k = 0; k < 7; k++) {
        control_channels[channel_dab] = dab[k];
        track_camera_controls();
        EXPECT_EQ(auto_camera, expected[k]) << k;
    }
}

TEST_F(track_camera_view, a_switch_snaps_the_new_camera_onto_the_rider)
{
    // The rider at (0, 10, 40) has passed gate 1 (checkpoint 0, camera 0);
    // camera 1 is current and camera 0 looks the wrong way (yaw pi, along -z).
    put_rider(0, 10, 40, 1);
    array_items<track_camera>(&track_cameras)[0].yaw = float(pi);
    selected_track_camera = 1;
    auto_camera = 1;
    control_channels[channel_dab] = 0;
    track_camera_controls();
    ASSERT_EQ(selected_track_camera, 0);
    // Camera 0 stands at (0, 10, 0): the rider lies straight along +z, yaw 0,
    // pitch 0, taken at once.
    EXPECT_NEAR(cam(0).yaw, 0, 1e-6);
    EXPECT_NEAR(cam(0).pitch, 0, 1e-6);
    // Passing checkpoint 2 (no camera) keeps camera 0; it turns by rate only.
    bike.gate_count = 3;
    dBodySetPosition(bike.frame_body, 40, 10, 0);  // now along +x: yaw pi/2
    track_camera_controls();
    EXPECT_EQ(selected_track_camera, 0);
    // Without a snap the yaw rate grows by at most pi/128 per second a tic,
    // so the heading moves by at most pi/128 x 1/128 rad in the first tic.
    EXPECT_LE(std::fabs(cam(0).yaw), pi / 128 / 128 + 1e-6);
    EXPECT_GT(cam(0).yaw, 0);
}

TEST_F(track_camera_view, by_hand_steer_turns_the_camera_and_camera_indexes_outside_the_table_aim_nothing)
{
    put_rider(0, 10, 40, 0);
    auto_camera = 0;
    selected_track_camera = 2;
    control_channels[channel_steer] = 1;
    // The yaw rate approaches 3 pi / 8 rad/s by pi/128 rad/s a tic: there
    // after 48 tics.
    for (int k = 0; k < 48; k++) track_camera_controls();
    EXPECT_NEAR(cam(2).yaw_rate, 3 * pi / 8, 1e-4);
    EXPECT_NEAR(cam(1).yaw_rate, 0, 0);
    // An index past the table (a digit for a camera that is not there)
    // turns nothing and does not fail.
    selected_track_camera = 7;
    float before[3] = {cam(0).yaw, cam(1).yaw, cam(2).yaw};
    track_camera_controls();
    EXPECT_EQ(cam(0).yaw, before[0]);
    EXPECT_EQ(cam(1).yaw, before[1]);
    EXPECT_EQ(cam(2).yaw, before[2]);
    // The free camera takes the steer and the "fov" setting.
    selected_track_camera = -1;
    free_camera.yaw_rate = 0;
    track_camera_controls();
    EXPECT_NEAR(free_camera.yaw_rate, pi / 128, 1e-6);
    EXPECT_FLOAT_EQ(free_camera.fov, float(settings.fov.value));
}

}  // namespace
