// Rides on the generated sample tracks: the outdoor track's long start
// straight and the stadium's finish jump, with their ruts.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "physics/body_helpers.h"
#include "physics/physics_constants.h"
#include "physics/physics_ground.h"
#include "physics/rider_access.h"
#include "ride_fixture.h"
#include "terrain/erode.h"
#include "terrain/terrain_load.h"

namespace {

// Tests run in build/tests; the generator writes build/data.
const std::string tracks = "../data/tracks/";

// Heading along +x (forward is -z at heading 0).
constexpr double east = -phys::pi / 2;

struct TrackRide : ::testing::Test {
    ride_test_world world;
    bool load(const char* name)
    {
        if (!terrain_load(&track_terrain, (tracks + name).c_str()))
            return false;
        world.w.ground = ground_view_of(&track_terrain);
        return true;
    }
    void TearDown() override { terrain_free(&track_terrain); }
};

struct StartStraightTrack : TrackRide, ::testing::WithParamInterface<const char*> {};

TEST_P(StartStraightTrack, FullThrottleReachesThirdGearOnTheOutdoorStart)
{
    if (!load("practice"))
        GTEST_SKIP() << "no generated practice track";
    rider* r = world.add_rider(GetParam(), 0, 130, 120, east);
    rider_reset_controls(r);
    r->throttle = 0.0f;
    world.run(128);
    r->throttle = 1.0f;
    r->clutch = 1.0f;
    r->front_brake = r->rear_brake = 0.0f;
    r->dab = 0.0f;
    double top = 0;
    // Seven seconds, or until the straight's end comes up.
    for (int i = 0; i < 128 * 7 && dBodyGetPosition(r->frame_body)[0] < 600.0; i++) {
        world.tic();
        top = std::max(top, rider_forward_speed(r));
    }
    EXPECT_EQ(r->crash_tics, 0);
    EXPECT_GE(r->gear, 3);
    EXPECT_GT(top, 65.0);
    EXPECT_NEAR(dBodyGetPosition(r->frame_body)[2], 120.0, 6.0) << "kept its line";
}

INSTANTIATE_TEST_SUITE_P(Classes, StartStraightTrack, ::testing::Values("cr125", "crf250(2013)", "crf450(2011)"), bike_test_name);

TEST_F(TrackRide, ClearsTheStadiumFinishJumpAndLandsUpright)
{
    if (!load("stadium"))
        GTEST_SKIP() << "no generated stadium track";
    rider* r = world.add_rider("crf450(2011)", 0, 45, 205, east);
    rider_reset_controls(r);
    world.run(64);
    int air = 0, longest = 0;
    for (int i = 0; i < 128 * 5 && dBodyGetPosition(r->frame_body)[0] < 200; i++) {
        r->throttle = (float)std::clamp((42.0 - rider_forward_speed(r)) * 0.3, 0.0, 1.0);
        r->clutch = 1.0f;
        r->front_brake = r->rear_brake = 0.0f;
        r->dab = 0.0f;
        world.tic();
        wheel_effects_tic(world.w, r);
        bool flying = r->front_contact.depth <= 0 && r->rear_contact.depth <= 0;
        air = flying ? air + 1 : 0;
        longest = std::max(longest, air);
    }
    EXPECT_GT(longest, 38) << "in the air for 0.3 s or more";
    EXPECT_GT(dBodyGetPosition(r->frame_body)[0], 150.0) << "past the jump";
    EXPECT_EQ(r->crash_tics, 0);
    EXPECT_LT(std::fabs(body_lean_angle(r->frame_body)), 0.15);
    EXPECT_GT(rider_forward_speed(r), 20.0);
    // The wheels left ruts: points went into the trackers or on to the queue.
    const rut_tracker* front = rider_rut_tracker(r, 1);
    EXPECT_GT(front->point_count + erode_queue.count, 0);
}

// Forty riders let go on the outdoor track at part throttle: they run off
// its turns over banks and hills, land big jumps and crash, and nothing in
// the world blows up.
TEST_F(TrackRide, FortyRidersOffTheTrackStayFinite)
{
    if (!load("practice"))
        GTEST_SKIP() << "no generated practice track";
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

}  // namespace
