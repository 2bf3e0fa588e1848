// Rides on the generated sample tracks: many riders let go on the outdoor
// track, a wall crash and a head-on meeting on the stadium. The start
// straight, the paddock circle and the stadium's table are ridden beside
// their flat-ground twins (test_ride_scripted.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "physics/body_helpers.h"
#include "physics/physics_constants.h"
#include "physics/physics_ground.h"
#include "physics/physics_world.h"
#include "physics/rider_access.h"
#include "ride_fixture.h"
#include "terrain/erode.h"
#include "terrain/terrain_load.h"

namespace {

// Heading along +x (forward is -z at heading 0).
constexpr double east = -phys::pi / 2;

struct TrackRide : ::testing::Test {
    ride_test_world world;
    bool load(const char* name) { return ride_load_track(world, name); }
    void TearDown() override { ride_unload_track(); }
};

// Forty riders let go on the outdoor track at part throttle: they run off
// its turns over banks and hills, land big jumps and crash, and nothing in
// the world blows up.
TEST_F(TrackRide, FortyRidersOffTheTrackStayFinite)
{
    ASSERT_TRUE(load("practice")) << "the generator writes it to build/data";
    const char* bikes[4] = {"crf250(2013)", "crf450(2011)", "cr125", "kx250f(2013)"};
    for (int n = 0; n < 40; n++) {
        rider* r = world.add_rider(bikes[n % 4], n, 140.0 + (n % 10) * 45.0, 108.0 + (n / 10) * 8.0, east);
        rider_reset_controls(r);
        r->throttle = 0.6f;
        r->clutch = 1.0f;
        r->front_brake = r->rear_brake = 0.0f;
    }
    for (int i = 0; i < 128 * 20; i++) {
        world.tic();
        if (i % 16)
            continue;
        for (rider* r : world.riders) {
            const dReal* p = dBodyGetPosition(r->frame_body);
            const dReal* v = dBodyGetLinearVel(r->frame_body);
            ASSERT_TRUE(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2])) << "rider " << r->slot;
            ASSERT_LT(std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]), 200.0) << "rider " << r->slot << " tic " << i;
        }
    }
}


TEST_F(TrackRide, NoseIntoTheStadiumWallCrashesRecoversAndRidesOn)
{
    ASSERT_TRUE(load("stadium")) << "the generator writes it to build/data";
    // West along the start lane, a little off square, into the barrier.
    rider* r = world.add_rider("crf450(2011)", 0, 90, 40, -east - 0.3);
    rider_reset_controls(r);
    r->arcade = 0;
    world.run(64);
    int i = 0;
    for (; i < 128 * 6 && r->crash_tics == 0; i++) {
        cruise(r, 40.0);
        world.tic();
    }
    ASSERT_GT(r->crash_tics, 0) << "the wall crashes the rider";
    EXPECT_EQ(r->crash_count, 1);
    EXPECT_GE(r->crash_tics, 512);
    EXPECT_LT(dBodyGetPosition(r->frame_body)[0], 20.0) << "at the wall";
    for (i = 0; i < 128 * 12 && r->crash_tics > 0; i++)
        world.tic();
    EXPECT_EQ(r->crash_tics, 0);
    EXPECT_EQ(dJointGetBody(r->rider_joint, 0), r->rider_body);
    world.run(128);
    EXPECT_LT(std::fabs(body_lean_angle(r->frame_body)), 0.2);
    // Rides on: turn away from the wall (toward +x) and go.
    const dReal* p0 = dBodyGetPosition(r->frame_body);
    double x0 = p0[0], z0 = p0[2];
    for (i = 0; i < 128 * 5; i++) {
        cruise(r, 12.0);
        const dReal* R = dBodyGetRotation(r->frame_body);
        r->steer = -R[2] > 0.9 ? 0.0f : (R[10] > 0.0 ? 1.0f : -1.0f);
        world.tic();
    }
    const dReal* p1 = dBodyGetPosition(r->frame_body);
    EXPECT_GT(std::hypot(p1[0] - x0, p1[2] - z0), 10.0);
    EXPECT_GT(p1[0], x0 + 5.0) << "away from the wall";
    EXPECT_EQ(r->crash_count, 1) << "no second crash";
}

TEST_F(TrackRide, TwoRidersHeadOnOnTheStartLaneDoNotPassThroughEachOther)
{
    ASSERT_TRUE(load("stadium")) << "the generator writes it to build/data";
    rider* a = world.add_rider("crf250(2013)", 0, 60, 40, east);
    rider* b = world.add_rider("crf250(2013)", 1, 130, 40, -east);
    for (rider* r : {a, b}) {
        rider_reset_controls(r);
        r->arcade = 0;
    }
    world.run(64);
    bool met = false;
    for (int i = 0; i < 128 * 6; i++) {
        for (rider* r : {a, b})
            cruise(r, 20.0);
        world.tic();
        double xa = dBodyGetPosition(a->frame_body)[0], xb = dBodyGetPosition(b->frame_body)[0];
        ASSERT_LT(xa, xb) << "tic " << i;
        if (xb - xa < 8.0)
            met = true;
    }
    EXPECT_TRUE(met);
    EXPECT_EQ(a->is_down, 1);
    EXPECT_EQ(b->is_down, 1);
}

}  // namespace
