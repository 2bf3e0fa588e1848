#include <gtest/gtest.h>

#include <cmath>

#include "physics/physics_constants.h"
#include "physics/tyre.h"

namespace {

const float E = friction_curve_end;

TEST(FrictionWalk, LinearModesTable)
{
    const float keys[8] = {1, 3, 5, E, E, E, E, E};
    const float values[8] = {1.0f, 0.8f, 0.6f, 0, 0, 0, 0, 0};
    struct row {
        double s;
        float expected;
    } rows[] = {
        {0.5, 1.0f},   // below key 0
        {2.0, 0.9f},   // between keys 0 and 1
        {4.0, 0.7f},
        {9.0, 0.6f},   // past the last real key: the sentinel ends the curve
    };
    for (int mode : {1, 2})
        for (const row& r : rows)
            EXPECT_NEAR(friction_walk(keys, values, mode, r.s), r.expected, 1e-6) << r.s;
    const float first_end[8] = {E, 1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(friction_walk(first_end, values, 1, 100.0), 1.0f);
    const float all[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    const float all_values[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    EXPECT_NEAR(friction_walk(all, all_values, 1, 6.5), 6.5f, 1e-6);
    EXPECT_EQ(friction_walk(all, all_values, 1, 70.0), 7.0f);
}

TEST(FrictionWalk, SquaredModeInterpolatesOnSquares)
{
    const float keys[8] = {1, 3, E, E, E, E, E, E};
    const float values[8] = {1.0f, 0.0f, 0, 0, 0, 0, 0, 0};
    // s = 2: t = (4 - 1) / (9 - 1) = 0.375.
    EXPECT_NEAR(friction_walk(keys, values, 0, 2.0), 1.0 - 0.375, 1e-6);
    EXPECT_NEAR(friction_walk(keys, values, 0, -2.0), 1.0 - 0.375, 1e-6);
}

TEST(RollWalk, PairsTable)
{
    const float keys[8] = {2, 6, 0, 0, 0, 0, 0, 0};
    const float pairs[8][2] = {{5, 15}, {9, 31}};
    double r0, r1;
    roll_walk(keys, pairs, 1.0, &r0, &r1);
    EXPECT_EQ(r0, 5);
    EXPECT_EQ(r1, 15);
    roll_walk(keys, pairs, 4.0, &r0, &r1);
    EXPECT_NEAR(r0, 7, 1e-12);
    EXPECT_NEAR(r1, 23, 1e-12);
    roll_walk(keys, pairs, 60.0, &r0, &r1);  // ends at key 2 = 0
    EXPECT_EQ(r0, 9);
    const float zero_first[8] = {0, 6, 7, 8, 9, 10, 11, 12};
    roll_walk(zero_first, pairs, 100.0, &r0, &r1);
    EXPECT_EQ(r0, 5);
    EXPECT_EQ(r1, 15);
}

TEST(TyreSpring, EndsOfTheDepthRange)
{
    EXPECT_EQ(tyre_spring(0.0), 1000.0f);
    EXPECT_EQ(tyre_damper(0.0), 200.0f);
    EXPECT_EQ(tyre_spring(1.0), 25000.0f);
    EXPECT_EQ(tyre_damper(1.0), 2500.0f);
}

// ODE's spring relation: ERP = h kp / (h kp + kd), CFM = 1 / (h kp + kd).
TEST(TyreSpring, ErpCfmOfASpringDamper)
{
    double erp, cfm;
    spring_erp_cfm(5000.0, 500.0, phys::tic_seconds, &erp, &cfm);
    EXPECT_NEAR(erp, 39.0625 / 539.0625, 1e-12);
    EXPECT_NEAR(cfm, 1.0 / 539.0625, 1e-12);
}

// One body resting on a tyre contact: the static depth solves m g = kp(q) d
// and the vertical oscillation runs near sqrt(kp / m).
struct RestingWheel : ::testing::Test {
    dWorldID world;
    dJointGroupID group;
    dBodyID body;
    wheel_contact wheel{};
    float flat[9 * 9] = {};
    ground_view g{};
    void SetUp() override
    {
        dInitODE2(0);
        world = dWorldCreate();
        dWorldSetGravity(world, 0, -phys::gravity, 0);
        group = dJointGroupCreate(0);
        body = dBodyCreate(world);
        dMass m;
        dMassSetSphereTotal(&m, 2.0, 1.0);
        dBodySetMass(body, &m);
        wheel.body = body;
        wheel.axis[0] = 1.0f;
        wheel.tyre_radius = 0.8f;
        wheel.tyre_section_radius = 0.3f;
        g.heights = flat;
        g.size = 9;
        g.spacing = 1.0f;
        g.inv_spacing = 1.0f;
    }
    void TearDown() override
    {
        dJointGroupDestroy(group);
        dWorldDestroy(world);
        dCloseODE();
    }
    void step()
    {
        wheel_tyre_contact(g, &wheel, 1.0f, world, group);
        dWorldStep(world, phys::tic_seconds);
        dJointGroupEmpty(group);
    }
};

TEST_F(RestingWheel, StaticDepthMatchesTheSpring)
{
    dBodySetPosition(body, 4, 1.1, 4);
    for (int i = 0; i < 1024; i++)
        step();
    double depth = wheel.depth;
    double q = depth / 0.3;
    // m g = kp(q) * depth, for the spring at the measured depth.
    EXPECT_NEAR(2.0 * phys::gravity, tyre_spring(q) * depth, 0.02 * 64.0);
    EXPECT_NEAR(wheel.feedback.f1[1], 64.0, 0.02 * 64.0);
    EXPECT_NEAR(dBodyGetLinearVel(body)[1], 0.0, 1e-3);
}

TEST_F(RestingWheel, BounceFrequencyNearTheSpring)
{
    // Heavy enough to ring: a light body is overdamped by the tyre's damper.
    dMass m;
    dMassSetSphereTotal(&m, 8.0, 1.0);
    dBodySetMass(body, &m);
    dBodySetPosition(body, 4, 1.1 - 0.02, 4);
    // Record upward zero crossings of the vertical speed over 2 s.
    double last = 0;
    int first = -1, last_cross = -1, crossings = 0;
    for (int i = 0; i < 256; i++) {
        step();
        double v = dBodyGetLinearVel(body)[1];
        if (last < 0 && v >= 0) {
            if (first < 0)
                first = i;
            last_cross = i;
            crossings++;
        }
        last = v;
    }
    ASSERT_GE(crossings, 3);
    double period = (last_cross - first) * phys::tic_seconds / (crossings - 1);
    double q = wheel.depth / 0.3;
    // The spring stiffens with depth: the small-swing stiffness is
    // d(kp(q) d)/dd = kp + 3 * 24000 q^3.
    double k = tyre_spring(q) + 3 * 24000 * q * q * q;
    double c = tyre_damper(q);
    double expected = 2 * phys::pi / std::sqrt(k / 8.0 - (c / 16.0) * (c / 16.0));
    EXPECT_NEAR(period, expected, 0.25 * expected);
}

TEST_F(RestingWheel, FrictionDirectionFallsBackToTheAxle)
{
    dBodySetPosition(body, 4, 1.05, 4);
    dBodySetLinearVel(body, 0, -1, 0);  // slip along the normal
    ASSERT_EQ(wheel_tyre_contact(g, &wheel, 1.0f, world, group), 1);
    EXPECT_NEAR(wheel.slip_velocity[1], -1.0f, 1e-6);
    dJointGroupEmpty(group);
}

}  // namespace
