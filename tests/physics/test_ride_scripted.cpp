// Scripted rides, each on flat test ground and on the generated tracks:
// launches, held circles and a hard turn; a jump on the flat, driven by the inputs a
// rider would give.
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

// A ride on flat test ground or on a generated track.
struct Ride : ::testing::Test {
    ride_test_world world;
    bool track = false;
    bool load(const char* name)
    {
        track = name && ride_load_track(world, name);
        return !name || track;
    }
    void TearDown() override
    {
        if (track)
            ride_unload_track();
    }
};

// Full throttle from a standstill with the automatic gearbox, on the flat and
// on the outdoor track's long start straight (heading east from (130, 120)).
struct straight_ride {
    const char* name;
    const char* track;  // null: flat test ground
    const char* bike;
    double x, z, heading;
    int seconds;
    double x_end;  // the ride ends early past this x (the straight's end)
    int gear;      // at least this gear at the end
    double top;    // and at least this speed, ft/s
};

struct StartStraight : Ride, ::testing::WithParamInterface<straight_ride> {};

TEST_P(StartStraight, FullThrottleShiftsUpAndReachesSpeed)
{
    const straight_ride& ride = GetParam();
    ASSERT_TRUE(load(ride.track)) << "the generator writes it to build/data";
    rider* r = world.add_rider(ride.bike, 0, ride.x, ride.z, ride.heading);
    rider_reset_controls(r);
    r->throttle = 0.0f;
    world.run(128);
    go(r);
    double top = 0;
    for (int i = 0; i < 128 * ride.seconds && dBodyGetPosition(r->frame_body)[0] < ride.x_end; i++) {
        world.tic();
        top = std::max(top, rider_forward_speed(r));
    }
    EXPECT_EQ(r->crash_tics, 0);
    EXPECT_GE(r->gear, ride.gear);
    EXPECT_GT(top, ride.top);
    EXPECT_LT(std::fabs(body_lean_angle(r->frame_body)), 0.05);
    // Kept its line: within 6 ft of the line it started on.
    const dReal* p = dBodyGetPosition(r->frame_body);
    EXPECT_LT(std::fabs((p[0] - ride.x) * std::cos(ride.heading) - (p[2] - ride.z) * std::sin(ride.heading)), 6.0);
}

// Heading east along the outdoor track's start straight.
constexpr double east = -phys::pi / 2;

INSTANTIATE_TEST_SUITE_P(Rides, StartStraight,
                         ::testing::Values(straight_ride{"flat_rs50cr", nullptr, "rs50cr", 64, 120, 0, 8, 1e9, 1, 25},
                                           straight_ride{"flat_cr125", nullptr, "cr125", 64, 120, 0, 8, 1e9, 3, 70},
                                           straight_ride{"flat_crf250", nullptr, "crf250(2013)", 64, 120, 0, 8, 1e9, 3, 70},
                                           straight_ride{"flat_crf450", nullptr, "crf450(2011)", 64, 120, 0, 8, 1e9, 3, 70},
                                           straight_ride{"outdoor_cr125", "practice", "cr125", 130, 120, east, 7, 600, 3, 65},
                                           straight_ride{"outdoor_crf250", "practice", "crf250(2013)", 130, 120, east, 7, 600, 3, 65},
                                           straight_ride{"outdoor_crf450", "practice", "crf450(2011)", 130, 120, east, 7, 600, 3, 65}),
                         [](const ::testing::TestParamInfo<straight_ride>& info) { return std::string(info.param.name); });

// A steady steer input held at 30 ft/s, then let go, on the flat and in the
// outdoor track's paddock (level hardpack within 55 ft of (75, 330)). At a
// third of the bars the arcade bike circles in about 29 ft; the realistic
// bike, turned in by its lean, circles in about 51 ft at a third and needs
// half the bars for a circle the paddock holds. The arcade lean motor sets the lean within the first three seconds;
// the realistic bike's lean settles over some five.
struct circle_ride {
    const char* name;
    const char* track;
    int arcade;
    float steer;
    double x, z;      // start of the run-up along -z
    int run_up;       // seconds
    int turn_in;      // seconds the lean takes to settle, not measured
    double paddock;   // keep within this of (75, 330); 0: open ground
};

struct SteadySteering : Ride, ::testing::WithParamInterface<circle_ride> {};

TEST_P(SteadySteering, HoldsACircleAndReleasingStraightens)
{
    const circle_ride& c = GetParam();
    ASSERT_TRUE(load(c.track)) << "the generator writes it to build/data";
    rider* r = world.add_rider("crf250(2013)", 0, c.x, c.z, 0.0);
    rider_reset_controls(r);
    r->arcade = c.arcade;
    world.run(64);
    for (int i = 0; i < 128 * c.run_up; i++) {
        cruise(r, 30.0);
        world.tic();
    }
    circle_measure m = ride_steady_circle(world, r, c.steer, c.turn_in + 5, c.turn_in, 75.0, 330.0);
    EXPECT_LT(yaw_rate(r), -0.2);  // turning right
    EXPECT_EQ(r->crash_tics, 0);
    // A held circle: with the inputs steady the bike settles at one lean,
    // and at one lean the radius goes with the square of the speed, so each
    // second's radius may differ only as the throttle lets the speed differ
    // (the squared ratio of the seconds' fastest and slowest speeds), and by
    // the measure's own error: a second's turn of the direction of travel,
    // 0.5-1 rad, read to the frame's sway about its path, some 0.01 rad,
    // 2 % at each end. A spiral (falling in, or standing up and running
    // wide) or a weave grows well past that.
    double speed_ratio = m.speed_hi / m.speed_lo;
    EXPECT_LT(m.radius_hi / m.radius_lo, speed_ratio * speed_ratio * 1.04)
        << "radius " << m.radius_lo << " .. " << m.radius_hi << ", speed " << m.speed_lo << " .. " << m.speed_hi;
    EXPECT_GT(m.radius_lo, 20.0);
    if (c.paddock > 0) {
        EXPECT_LT(m.farthest, c.paddock) << "kept to the paddock";
    }
    // Let go: the bike straightens and stands up (the arcade lean motor at
    // once, the realistic bike through its steering and righting torque).
    for (int i = 0; i < 128 * 4; i++) {
        cruise(r, 30.0);
        r->steer = 0.0f;
        world.tic();
    }
    // Straight: its path drifts by less than half a bike's width (1.25 ft)
    // from a straight line over the next second, 1/2 a t^2 < 1.25 ft, a
    // sideways acceleration a = v * yaw rate under 2.5 ft/s^2, and a lean
    // no more than that acceleration balances, atan(a / g).
    const double a_max = 2.5, v = rider_forward_speed(r);
    EXPECT_GT(v, 25.0);
    EXPECT_LT(std::fabs(yaw_rate(r)), a_max / v);
    EXPECT_LT(std::fabs(body_lean_angle(r->frame_body)), std::atan(a_max / phys::gravity));
    EXPECT_EQ(r->crash_tics, 0);
}

INSTANTIATE_TEST_SUITE_P(Rides, SteadySteering,
                         ::testing::Values(circle_ride{"flat_arcade", nullptr, 1, 0.35f, 64, 64, 3, 3, 0},
                                           circle_ride{"flat_realistic", nullptr, 0, 0.35f, 64, 64, 3, 5, 0},
                                           circle_ride{"paddock_arcade", "practice", 1, 0.35f, 50, 375, 2, 3, 55},
                                           circle_ride{"paddock_realistic", "practice", 0, 0.5f, 45, 390, 2, 5, 55}),
                         [](const ::testing::TestParamInfo<circle_ride>& info) { return std::string(info.param.name); });

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
