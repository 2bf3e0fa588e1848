// The crash test's limits, the crashed rider's count and the presence value.
#include <gtest/gtest.h>

#include <cmath>

#include "physics/physics_constants.h"
#include "physics/physics_tic.h"
#include "physics/rider_access.h"
#include "physics/rider_build.h"
#include "ride_fixture.h"

namespace {

TEST(CrashLimits, Table)
{
    struct row {
        int takeoff, landing, tic;
        double accel, speed;
    } rows[] = {
        {100, 50, 120, 2064, 46.5},                  // in the air
        {0, 3, 1000, 2064, 46.5},                    // ordinary riding
        {0, 90, 90 + 13, 1376, 31},                  // 0.7 s of air, 0.1 s after landing
        {0, 90, 90 + 64, 2064, 46.5},                // 0.5 s after landing: back to normal
        {0, 77, 77 + 13, 1831.6, 41.264},            // 0.6 s of air: part way
    };
    for (const row& r : rows) {
        double a, s;
        crash_limits(r.takeoff, r.landing, r.tic, &a, &s);
        EXPECT_NEAR(a, r.accel, 0.5) << r.takeoff << " " << r.landing << " " << r.tic;
        EXPECT_NEAR(s, r.speed, 0.02);
    }
}

struct Crashed : ::testing::Test {
    ride_test_world world;
    rider* r = nullptr;
    void SetUp() override
    {
        r = world.add_rider("crf250(2013)", 0, 64, 64);
        rider_reset_controls(r);
        r->arcade = 0;
        world.run(128);
    }
};

TEST_F(Crashed, ASlidingBikeNeverCountsDown)
{
    rider_crash(r);
    // Keep the bike moving at 3 ft/s (a squared speed of 9) every tic.
    for (int i = 0; i < 256; i++) {
        dBodyID bodies[7] = {r->frame_body, r->front_wheel_body, r->rear_wheel_body, r->fork_upper_body,
                             r->fork_lower_body, r->swingarm_body, r->rider_body};
        for (dBodyID b : bodies) {
            const dReal* v = dBodyGetLinearVel(b);
            dBodySetLinearVel(b, v[0], v[1], -3.0);
        }
        world.tic();
    }
    EXPECT_EQ(r->crash_tics, 512);
    // Let it lie still: it counts.
    world.run(128);
    EXPECT_LT(r->crash_tics, 512);
    EXPECT_GT(r->crash_tics, 0);
}

TEST_F(Crashed, TheRiderLetsGoAndComesBackOnTheSeat)
{
    rider_crash(r);
    EXPECT_EQ(dJointGetBody(r->rider_joint, 0), nullptr);
    EXPECT_EQ(r->throttle, 0.0f);
    for (int i = 0; i < 1024 && r->crash_tics > 0; i++)
        world.tic();
    EXPECT_EQ(r->crash_tics, 0);
    EXPECT_EQ(dJointGetBody(r->rider_joint, 0), r->rider_body);
    // The reattached joint's feedback starts from zero, not from before.
    world.run(128);
    double rel[3];
    rider_body_relative_velocity(r, rel);
    EXPECT_LT(std::fabs(rel[0]) + std::fabs(rel[1]) + std::fabs(rel[2]), 0.05);
}

TEST_F(Crashed, TheReattachedJointCarriesNoForceFromBeforeTheCrash)
{
    // Pulling away, the rider joint holds the rider's body level with the
    // seat (the seat springs carry its weight, the joint its push): the
    // step leaves that force in the joint's feedback record. Full throttle
    // in first pushes the bike at a good part of a g, some 20 lbf or more
    // on the third of the rider's mass that rides on the joint.
    r->throttle = 1.0f;
    r->clutch = 1.0f;
    r->gear = 1;
    r->front_brake = r->rear_brake = 0.0f;
    world.run(32);
    const dJointFeedback& fb = r->joint_feedback[5];
    auto magnitude = [&fb]() {
        double sum = 0.0;
        for (int k = 0; k < 3; k++)
            sum += std::fabs(fb.f1[k]) + std::fabs(fb.f2[k]) + std::fabs(fb.t1[k]) + std::fabs(fb.t2[k]);
        return sum;
    };
    ASSERT_GT(magnitude(), 10.0) << "a rider pulling away loads its joint";
    rider_crash(r);
    // A detached joint is in no island: the world step leaves its feedback
    // as the last step before the crash wrote it, all through the crash.
    int i = 0;
    for (; i < 2048 && r->crash_tics > 0; i++)
        world.tic();
    ASSERT_EQ(r->crash_tics, 0) << "put back within " << i << " tics";
    // The tic that reattached the joint ran no step since: whatever the
    // record holds now is what the net-force correction would read.
    EXPECT_EQ(magnitude(), 0.0);
}

TEST_F(Crashed, AResetPosePutsTheRiderBackOnTheSeat)
{
    rider_crash(r);
    world.run(64);
    rider_reset_pose(r);
    EXPECT_EQ(r->crash_tics, 0);
    EXPECT_EQ(r->crash_count, 1);
    EXPECT_EQ(dJointGetBody(r->rider_joint, 0), r->rider_body);
    EXPECT_NEAR(dJointGetHinge2Angle2(r->rider_joint), 0.0, 1e-9);
    world.drop(r, 64, 64, 0);
    world.run(256);
    EXPECT_EQ(r->crash_tics, 0);
    EXPECT_GT(r->front_contact.depth, 0.0f);
}

TEST_F(Crashed, AnAbsentRiderOnlyKeepsItsVelocityRing)
{
    rider_recover(r);  // presence 0: shown from its history, not driven
    r->throttle = 1.0f;
    r->clutch = 1.0f;
    r->front_brake = r->rear_brake = 0.0f;
    float rpm = rider_engine_rpm(r);
    world.tic();
    EXPECT_EQ(rider_engine_rpm(r), rpm) << "no engine step";
    const ride_state* s = ride_state_of(r);
    const dReal* v = dBodyGetLinearVel(r->rider_body);
    EXPECT_EQ(s->velocity_ring[(world.w.tic - 1) & 3][1], (float)v[1]);
}

}  // namespace
