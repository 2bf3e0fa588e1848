// Axes, joint signs and the body helpers: the conventions every formula of the
// physics tic relies on, checked on a real build.
#include <gtest/gtest.h>

#include <cmath>

#include "physics/bike_info.h"
#include "physics/body_helpers.h"
#include "physics/physics_constants.h"
#include "physics/physics_tic.h"
#include "physics/rider_build.h"
#include "ride_fixture.h"

namespace {

struct BodyHelpers : ::testing::Test {
    dWorldID world;
    dBodyID body;
    void SetUp() override
    {
        dInitODE2(0);
        world = dWorldCreate();
        body = dBodyCreate(world);
    }
    void TearDown() override
    {
        dWorldDestroy(world);
        dCloseODE();
    }
    void turn(double ax, double ay, double az, double angle)
    {
        dMatrix3 R;
        dRFromAxisAndAngle(R, ax, ay, az, angle);
        dBodySetRotation(body, R);
    }
};

TEST_F(BodyHelpers, LeanAngleTable)
{
    const double deg30 = phys::pi / 6;
    struct row {
        double axis[3], angle, lean;
    } rows[] = {
        {{0, 0, 1}, 0.0, 0.0},
        {{0, 0, 1}, deg30, 0.5235987756},             // right side up: leaning left
        {{0, 0, 1}, -deg30, -0.5235987756},
        {{0, 0, 1}, phys::pi / 2, phys::pi / 2},      // on its side
        {{0, 0, 1}, -phys::pi / 2, -phys::pi / 2},
        {{1, 0, 0}, 0.7, 0.0},                        // pure pitch
        {{0, 1, 0}, 1.2, 0.0},                        // pure yaw
    };
    for (const row& r : rows) {
        turn(r.axis[0], r.axis[1], r.axis[2], r.angle);
        EXPECT_NEAR(body_lean_angle(body), r.lean, 1e-9) << r.angle;
    }
}

TEST_F(BodyHelpers, PoseMatrixIsColumnMajorWithTheTranslationLast)
{
    turn(0, 1, 0, phys::pi / 2);
    dBodySetPosition(body, 1, 2, 3);
    float m[16];
    body_pose_matrix(body, m);
    // The body's x axis (first column) turned about y by 90 degrees is -z.
    EXPECT_NEAR(m[0], 0.0f, 1e-6);
    EXPECT_NEAR(m[2], -1.0f, 1e-6);
    EXPECT_EQ(m[12], 1.0f);
    EXPECT_EQ(m[13], 2.0f);
    EXPECT_EQ(m[14], 3.0f);
    EXPECT_EQ(m[15], 1.0f);
}

TEST_F(BodyHelpers, PullTowardHasADeadBandAndIsHorizontal)
{
    const float still[3] = {0, 0, 0};
    dBodySetLinearVel(body, 0.2, 0.0, 0.1);  // |dv| below 0.25
    body_pull_toward(body, 1000.0, still);
    const dReal* f = dBodyGetForce(body);
    EXPECT_EQ(f[0], 0.0);
    EXPECT_EQ(f[2], 0.0);
    dBodySetLinearVel(body, 3.0, 0.0, 4.0);  // |dv| 5: full strength
    body_pull_toward(body, 1000.0, still);
    EXPECT_NEAR(f[0], -600.0, 1e-9);
    EXPECT_EQ(f[1], 0.0);
    EXPECT_NEAR(f[2], -800.0, 1e-9);
}

TEST(Tether, ErpAndCfmOfTheTetherSpring)
{
    double erp, cfm;
    tether_erp_cfm(phys::tic_seconds, &erp, &cfm);
    // kp 5000, kd 500, h 1/128: h kp = 39.0625.
    EXPECT_NEAR(cfm, 1.0 / 539.0625, 1e-15);
    EXPECT_NEAR(erp, 39.0625 / 539.0625, 1e-15);
}

TEST(Tether, PullsTwoBodiesTogetherOnlyBeyondTheSlack)
{
    ride_test_world world;
    dBodyID a = dBodyCreate(world.w.world), b = dBodyCreate(world.w.world);
    dMass m;
    dMassSetSphereTotal(&m, 1.0, 0.5);
    dBodySetMass(a, &m);
    dBodySetMass(b, &m);
    dWorldSetGravity(world.w.world, 0, 0, 0);
    dBodySetPosition(a, 0, 10, 0);
    dBodySetPosition(b, 3, 10, 0);
    double pa[3] = {0, 10, 0}, pb[3] = {3, 10, 0};
    EXPECT_EQ(body_tether(world.w.world, world.w.group, a, pa, b, pb, 3.5), 0);
    ASSERT_EQ(body_tether(world.w.world, world.w.group, a, pa, b, pb, 1.0), 1);
    dWorldStep(world.w.world, phys::tic_seconds);
    dJointGroupEmpty(world.w.group);
    EXPECT_GT(dBodyGetLinearVel(a)[0], 0.0);
    EXPECT_LT(dBodyGetLinearVel(b)[0], 0.0);
}

// The joint signs on a built 250f, driven by hand.
struct JointSigns : ::testing::Test {
    ride_test_world world;
    rider* r = nullptr;
    void SetUp() override { r = world.add_rider("crf250(2013)", 3, 64, 64); }
};

TEST_F(JointSigns, RestPoseReadsZeroEverywhere)
{
    rider_reset_pose(r);
    EXPECT_NEAR(dJointGetHingeAngle(r->front_axle_joint), 0.0, 1e-12);
    EXPECT_NEAR(dJointGetHingeAngle(r->steering_joint), 0.0, 1e-12);
    EXPECT_NEAR(dJointGetSliderPosition(r->fork_joint), 0.0, 1e-12);
    EXPECT_NEAR(dJointGetHingeAngle(r->swingarm_joint), 0.0, 1e-12);
    EXPECT_NEAR(r->total_mass, 11.69, 0.5);  // a 250f and a 150-lb rider, in slugs
}

TEST_F(JointSigns, RollingForwardGivesAPositiveAxleRate)
{
    // Spin the rear wheel as it would roll forward (-z): top moving forward.
    dBodySetAngularVel(r->rear_wheel_body, -10.0, 0, 0);
    EXPECT_GT(dJointGetHingeAngleRate(r->rear_axle_joint), 0.0);
    EXPECT_GT(dJointGetHingeAngleRate(r->rear_axle_joint) * 1.0, 9.9);
}

TEST_F(JointSigns, CompressionIsNegativeAndTheMotorExtends)
{
    world.run(256);  // settled under its own weight
    EXPECT_LT(dJointGetSliderPosition(r->fork_joint), -0.05);
    EXPECT_LT(dJointGetHingeAngle(r->swingarm_joint), -0.05);
    EXPECT_GE(dJointGetSliderPosition(r->fork_joint), -bike_info_table()[r->bike_index].main.fork_travel - 1e-3);
}

TEST_F(JointSigns, PositiveSteeringAngleTurnsLeft)
{
    // Turning the fork about its axis by hand: positive is counter-clockwise
    // from above, so the front wheel's forward direction gains -x.
    dBodySetAngularVel(r->fork_upper_body, 0, 1.0, 0);
    EXPECT_GT(dJointGetHingeAngleRate(r->steering_joint), 0.0);
}

TEST_F(JointSigns, OrientationAndTranslationMoveTheWholeRider)
{
    rider_reset_pose(r);
    double before[3];
    rider_rest_centre(r, 1, before);  // front axle
    rider_set_orientation(r, 0, 1, 0, phys::pi / 2);
    rider_translate(r, 10, 1, 20);
    const dReal* p = dBodyGetPosition(r->front_wheel_body);
    // (x, y, z) turned 90 degrees about y is (z, y, -x).
    EXPECT_NEAR(p[0], before[2] + 10, 1e-9);
    EXPECT_NEAR(p[1], before[1] + 1, 1e-9);
    EXPECT_NEAR(p[2], -before[0] + 20, 1e-9);
    // The joints still read their rest values.
    EXPECT_NEAR(dJointGetSliderPosition(r->fork_joint), 0.0, 1e-9);
    EXPECT_NEAR(dJointGetHingeAngle(r->swingarm_joint), 0.0, 1e-9);
}

TEST_F(JointSigns, RiderBodyPitchIsHeldOnTheSecondAxis)
{
    world.run(128);
    // Tip the rider body forward on the frame and let the second-axis servo
    // bring it back.
    dMatrix3 R;
    dRFromAxisAndAngle(R, 1, 0, 0, 0.2);
    dBodySetRotation(r->rider_body, R);
    double disturbed = std::fabs(dJointGetHinge2Angle2(r->rider_joint));
    EXPECT_GT(disturbed, 0.1);
    world.run(256);
    EXPECT_LT(std::fabs(dJointGetHinge2Angle2(r->rider_joint)), 0.1 * disturbed);
}

}  // namespace
