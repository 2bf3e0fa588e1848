// The orbit and track-camera controls, tic by tic: the orbit's nearest
// distance and its turn, the free camera's flight and the automatic camera
// switching. Expected values are worked out here from the rates (per tic:
// 1/64 ft, 2 pi / 1024 rad, 80/128 and 60/128 ft/s).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "core/game_state.h"
#include "game/cameras.h"
#include "game/startup.h"
#include "game/track_cameras.h"
#include "ui/settings.h"

namespace {

struct channels {
    float v[control_channel_count] = {};
};

TEST(orbit_controls, the_distance_stops_at_a_quarter_foot)
{
    const struct {
        float start;
        int tics;
        float throttle, brake;
        float distance;
    } rows[] = {
        {1.0f, 100, 1, 0, 0.25f},            // 48 steps reach 0.25; it stays there
        {0.3f, 1, 1, 0, 0.284375f},          // 0.3 - 1/64, still above 0.265625
        {0.28f, 1, 1, 0, 0.25f},             // 0.264375 is below 0.265625: 0.25
        {0.25f, 5, 1, 0, 0.25f},             // never nearer
        {0.25f, 64, 0, 1, 1.25f},            // 64 steps back: one foot
        {10.0f, 10, 0.5f, 0, 10.0f},         // half throttle is not above 0.5
        {10.0f, 10, 0.51f, 0.51f, 10.0f},    // both: nearer and back again
    };
    for (const auto& r : rows) {
        options.orbit_distance = r.start;
        channels c;
        c.v[channel_throttle] = r.throttle;
        c.v[channel_front_brake] = r.brake;
        for (int t = 0; t < r.tics; t++) orbit_controls_step(c.v);
        EXPECT_NEAR(options.orbit_distance, r.distance, 1e-5) << r.start << " " << r.tics;
        EXPECT_GE(options.orbit_distance, 0.25f);
    }
}

TEST(orbit_controls, full_steer_turns_once_round_in_1024_tics)
{
    options.orbit_angle = 0;
    options.orbit_height = 5;
    channels c;
    c.v[channel_steer] = 1;
    for (int t = 0; t < 256; t++) orbit_controls_step(c.v);
    EXPECT_NEAR(options.orbit_angle, M_PI / 2, 1e-3);  // a quarter turn in 2 s
    for (int t = 256; t < 1024; t++) {
        orbit_controls_step(c.v);
        ASSERT_LE(std::fabs(options.orbit_angle), float(M_PI) + 1e-5f) << t;
    }
    EXPECT_NEAR(options.orbit_angle, 0.0, 1e-3);  // back where it began
    // Half steer the other way: a quarter turn takes 4 s.
    c.v[channel_steer] = -0.5f;
    for (int t = 0; t < 512; t++) orbit_controls_step(c.v);
    EXPECT_NEAR(options.orbit_angle, -M_PI / 2, 1e-3);
    // The shift channel raises the camera by its value per second.
    c.v[channel_steer] = 0;
    c.v[channel_shift] = 1;
    for (int t = 0; t < 128; t++) orbit_controls_step(c.v);
    EXPECT_NEAR(options.orbit_height, 6.0, 1e-4);
}

TEST(free_camera, released_at_full_speed_it_stops_after_five_thirds_of_a_second)
{
    settings.fov.value = 75;
    aimed_camera cam = {0, 1000, 0, 0, 0, 0, 0, 90, 0};  // high above any ground, looking along +z
    float speed = 0;
    channels c;
    c.v[channel_throttle] = 1;
    // Pushing gains 80 and loses 60 ft/s per second: 20 net, so 100 is
    // reached in 5 s (640 tics) and held.
    for (int t = 0; t < 700; t++) free_camera_flight(&cam, &speed, c.v);
    EXPECT_FLOAT_EQ(speed, 100.0f - 60.0f / 128.0f);
    EXPECT_FLOAT_EQ(cam.fov, 75.0f);
    // Released: 60 ft/s per second takes 100 ft/s to rest in 100 / 60 s,
    // 213 1/3 tics: still moving after 213, stopped at 214.
    c.v[channel_throttle] = 0;
    speed = 100;
    float z = cam.z;
    for (int t = 0; t < 213; t++) free_camera_flight(&cam, &speed, c.v);
    EXPECT_GT(speed, 0.0f);
    free_camera_flight(&cam, &speed, c.v);
    EXPECT_EQ(speed, 0.0f);
    // It covered the area under the falling speed: the sum over the tics of
    // (100 - 60 k / 128) / 128 for k = 1..213 is about v^2 / (2 a) = 83.3 ft.
    double covered = 0;
    for (int k = 1; k <= 213; k++) covered += (100.0 - 60.0 * k / 128.0) / 128.0;
    EXPECT_NEAR(cam.z - z, covered, 1e-2);
    EXPECT_NEAR(covered, 100.0 * 100.0 / 120.0, 0.5);
    float at = cam.z;
    free_camera_flight(&cam, &speed, c.v);
    EXPECT_EQ(cam.z, at);
    // Backwards the speed stops at -100.
    c.v[channel_front_brake] = 1;
    for (int t = 0; t < 2000; t++) free_camera_flight(&cam, &speed, c.v);
    EXPECT_GE(speed, -100.0f);
    EXPECT_LT(speed, -99.0f);
}

TEST(auto_camera, switches_only_to_mapped_cameras)
{
    timing_gates_record& g = timing_gates;
    g = timing_gates_record{};
    g.checkpoint_count = 6;
    // First lap: checkpoints 0, 1; normal lap: 2, 3 (marked), 4.
    g.first_lap_entries = 2;
    g.normal_lap_entries = 3;
    const int32_t entries[] = {0, 1, 2, lap_entry_marked + 3, 4};
    memcpy(g.lap_entries, entries, sizeof entries);
    for (int32_t& c : gate_camera) c = -1;
    gate_camera[0] = 5;
    gate_camera[2] = 7;
    gate_camera[3] = 8;  // checkpoint 1 and 4 have none
    const struct {
        int32_t gates, current, picked;
    } rows[] = {
        {0, 2, 2},    // no gate passed: no switch
        {1, 2, 5},    // entry 0: checkpoint 0 -> camera 5
        {2, 2, 2},    // checkpoint 1 maps to -1: keep
        {3, 2, 7},    // entry 2: checkpoint 2
        {4, 2, 8},    // entry 3, a marked checkpoint 3
        {5, 2, 2},    // folds: 2 + 3 mod 3 = 2 -> entry 1, checkpoint 1: -1
        {6, 2, 7},    // second lap folds: 2 + (6 - 2) mod 3 = 3 -> entry 2
        {7, 9, 8},    // -> entry 3
        {1, -1, -1},  // the free camera is never left
    };
    for (const auto& r : rows) EXPECT_EQ(auto_camera_pick(r.gates, r.current), r.picked) << r.gates;
    g.normal_lap_entries = 0;
    EXPECT_EQ(auto_camera_pick(1, 2), 2) << "no normal lap: no switching";
    g = timing_gates_record{};
}

}  // namespace
