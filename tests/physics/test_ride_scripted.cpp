// Scripted rides on flat test ground: launches, turns, a jump and a hard
// turn, driven by the inputs a rider would give.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>

#include "physics/bike_info.h"
#include "physics/body_helpers.h"
#include "physics/physics_constants.h"
#include "physics/physics_tic.h"
#include "physics/rider_access.h"
#include "physics/rider_build.h"
#include "ride_fixture.h"

namespace {

void go(rider* r)
{
    r->throttle = 1.0f;
    r->clutch = 1.0f;
    r->front_brake = r->rear_brake = 0.0f;
    r->dab = 0.0f;
}

double yaw_rate(const rider* r)
{
    return dBodyGetAngularVel(r->frame_body)[1];
}

struct StartStraight : ::testing::TestWithParam<const char*> {};

TEST_P(StartStraight, FullThrottleShiftsUpAndReachesSpeed)
{
    ride_test_world world;
    rider* r = world.add_rider(GetParam(), 0, 64, 120);
    rider_reset_controls(r);
    r->throttle = 0.0f;
    world.run(128);
    go(r);
    bool fifty = std::string(GetParam()) == "rs50cr";
    world.run(128 * 8);
    EXPECT_EQ(r->crash_tics, 0);
    EXPECT_LT(std::fabs(body_lean_angle(r->frame_body)), 0.05);
    if (fifty) {
        EXPECT_GT(rider_forward_speed(r), 25.0);
    } else {
        EXPECT_GE(r->gear, 3);
        EXPECT_GT(rider_forward_speed(r), 70.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Classes, StartStraight, ::testing::Values("rs50cr", "cr125", "crf250(2013)", "crf450(2011)"), bike_test_name);

struct SteadySteering : ::testing::TestWithParam<int> {};

TEST_P(SteadySteering, HoldsACircleAndReleasingStraightens)
{
    ride_test_world world;
    rider* r = world.add_rider("crf250(2013)", 0, 64, 64);
    rider_reset_controls(r);
    r->arcade = GetParam();
    world.run(64);
    for (int i = 0; i < 128 * 3; i++) {
        cruise(r, 30.0);
        world.tic();
    }
    // Steady right steering for 8 s: after the turn-in, each second's path
    // has the same radius.
    double lo, hi;
    ride_steady_circle(world, r, 0.35f, 8, &lo, &hi);
    EXPECT_LT(yaw_rate(r), -0.2);  // turning right
    EXPECT_LT(hi, 1.15 * lo) << "radius " << lo << " .. " << hi;
    EXPECT_EQ(r->crash_tics, 0);
    // Let go: the bike straightens and stands up.
    for (int i = 0; i < 128 * 4; i++) {
        cruise(r, 30.0);
        r->steer = 0.0f;
        world.tic();
    }
    // The arcade lean motor stands the bike up at once; the realistic bike
    // rights itself through its steering and the slower righting torque.
    bool arcade = GetParam() != 0;
    EXPECT_LT(std::fabs(yaw_rate(r)), arcade ? 0.03 : 0.08);
    EXPECT_LT(std::fabs(body_lean_angle(r->frame_body)), arcade ? 0.05 : 0.1);
    EXPECT_GT(rider_forward_speed(r), 25.0);
}

INSTANTIATE_TEST_SUITE_P(Models, SteadySteering, ::testing::Values(1, 0),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param ? "arcade" : "realistic");
                         });

float kicker(float, float z)
{
    // A kicker rising toward -z: 3.5 ft over 10 ft, its lip at z = 70, flat
    // ground again beyond it.
    if (z > 80.0f || z < 70.0f)
        return 0.0f;
    return 3.5f * (80.0f - z) / 10.0f;
}

TEST(ScriptedRide, ClearsAJumpAndLandsUpright)
{
    ride_test_world world;
    world.set_height(kicker);
    rider* r = world.add_rider("crf250(2013)", 0, 64, 125);
    rider_reset_controls(r);
    world.run(64);
    int air = 0, longest = 0;
    bool landed_after_air = false;
    for (int i = 0; i < 128 * 6; i++) {
        cruise(r, 45.0);
        world.tic();
        bool flying = r->front_contact.depth <= 0 && r->rear_contact.depth <= 0;
        if (flying) {
            air++;
        } else {
            if (air > 38)
                landed_after_air = true;
            longest = std::max(longest, air);
            air = 0;
        }
    }
    EXPECT_GT(longest, 38) << "airborne for 0.3 s or more";
    EXPECT_TRUE(landed_after_air);
    EXPECT_EQ(r->crash_tics, 0);
    EXPECT_LT(std::fabs(body_lean_angle(r->frame_body)), 0.1);
    EXPECT_GT(r->front_contact.depth, 0.0f);
    EXPECT_GT(r->rear_contact.depth, 0.0f);
    EXPECT_GT(rider_forward_speed(r), 30.0);
}

// Nose-first into a wall and two riders head-on: ridden on the generated
// stadium (test_ride_tracks.cpp).

}  // namespace

namespace {

// A hard turn held at 25 ft/s: the fork settles into the turn's load. A
// ringing front end shows as the fork's speed reversing from tic to tic.
struct HardTurnFork : ::testing::TestWithParam<std::tuple<const char*, int>> {};

TEST_P(HardTurnFork, DoesNotChatter)
{
    ride_test_world world;
    rider* r = world.add_rider(std::get<0>(GetParam()), 0, 64, 120);
    rider_reset_controls(r);
    r->arcade = std::get<1>(GetParam());
    world.run(64);
    for (int i = 0; i < 128 * 2; i++) {
        cruise(r, 25.0);
        world.tic();
    }
    int reversals = 0, tics = 0;
    double previous = 0, lean = 0;
    for (int i = 0; i < 128 * 3; i++) {
        cruise(r, 25.0);
        r->steer = 0.3f;
        world.tic();
        // After a second's turn-in: reversals between speeds of 0.25 ft/s or
        // more either way (the chatter swung about 1 ft/s every tic).
        double v = dJointGetSliderPositionRate(r->fork_joint);
        if (i >= 128) {
            reversals += (v > 0.25 && previous < -0.25) || (v < -0.25 && previous > 0.25);
            tics++;
        }
        previous = v;
        lean = body_lean_angle(r->frame_body);
    }
    EXPECT_EQ(r->crash_tics, 0);
    EXPECT_LT(lean, -0.2) << "leaned into a hard right turn";
    EXPECT_LE(reversals, tics / 64) << "the fork's speed reversed " << reversals << " times in " << tics << " tics";
}

INSTANTIATE_TEST_SUITE_P(Classes, HardTurnFork,
                         ::testing::Combine(::testing::Values("rs50cr", "cr125", "crf450(2011)"), ::testing::Values(1, 0)),
                         [](const ::testing::TestParamInfo<std::tuple<const char*, int>>& info) {
                             std::string s = std::get<0>(info.param);
                             for (char& c : s)
                                 if (!isalnum((unsigned char)c))
                                     c = '_';
                             return s + (std::get<1>(info.param) ? "_arcade" : "_realistic");
                         });

}  // namespace
