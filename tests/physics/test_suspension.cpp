#include <gtest/gtest.h>

#include <cmath>

#include "physics/physics_constants.h"
#include "physics/suspension.h"

namespace {

TEST(Damper, ThreeRegimesInBothDirections)
{
    // k compression 4, rebound 2; knees 10 and 30.
    struct row {
        double v, expected;
    } rows[] = {
        {-0.1, 8 * 4 * 0.1},         // low speed: 8k|v|
        {-1.0, 10 + 4.0},            // past the knee: knee + k|v|
        {0.5, -(8 * 2 * 0.5)},       // rebound low speed
        {10.0, -(30 + 20.0)},        // rebound past the knee
        {0.0, 0.0},
    };
    for (const row& r : rows)
        EXPECT_NEAR(damper_force(r.v, 4, 2, 10, 30), r.expected, 1e-9) << r.v;
    // A negative knee would undercut the floor of k|v|/8.
    EXPECT_NEAR(damper_force(-1.0, 4, 2, -100, 0), 0.5, 1e-12);
}

fork_values test_fork()
{
    fork_values f{};
    f.spring_rate = 300;
    f.preload = 0.1;
    f.air_gap = 0.3;
    f.travel = 1.0;
    f.compression = 8;
    f.rebound = 6;
    f.slow_compression = 20;
    f.slow_rebound = 20;
    return f;
}

TEST(Fork, NoForceFullyExtendedAndFadeOverTheLast32nd)
{
    fork_values f = test_fork();
    EXPECT_EQ(fork_force(f, 0.0, 0.0), 0.0);
    EXPECT_EQ(fork_force(f, 0.05, -1.0), 0.0);
    double at_fade = fork_force(f, -1.0 / 32, 0.0);
    double half = fork_force(f, -1.0 / 64, 0.0);
    EXPECT_GT(at_fade, 0.0);
    double spring = (0.1 + 1.0 / 64) * 300 + fork_air_force(1.0 / 64, 0.3, 1.0);
    EXPECT_NEAR(half, 0.5 * spring, 1e-9);
}

// The motor row pushes with (velocity - v) * (1/cfm): at the speed it was set
// from, that is the fork's force; faster compression meets more damping.
TEST(Fork, MotorRowGivesTheForkForceAtThePresentSpeed)
{
    fork_values f = test_fork();
    const double positions[] = {-0.02, -0.3, -0.9};
    const double speeds[] = {-3.0, -0.4, -0.01, 0.0, 0.2, 2.5};
    for (double x : positions)
        for (double v : speeds) {
            damped_motor_setting m = fork_motor(f, x, v);
            ASSERT_GT(m.cfm, 0.0);
            double force = (m.velocity - v) / m.cfm;
            EXPECT_NEAR(force, fork_force(f, x, v), 1e-9 * (1 + std::fabs(force))) << x << " " << v;
            EXPECT_GE(m.fmax, std::fabs(force) - 1e-9);
            // A step ending 1 ft/s further into compression adds the slope's
            // worth of force: the damper acts on the speed the step ends with.
            EXPECT_GT((m.velocity - (v - 1.0)) / m.cfm, force);
        }
    damped_motor_setting top = fork_motor(f, 0.0, -1.0);
    EXPECT_EQ(top.fmax, 0.0);
    // No damper: the springs as a plain motor force.
    f.compression = f.rebound = 0.0;
    f.slow_compression = f.slow_rebound = 0.0;
    damped_motor_setting bare = fork_motor(f, -0.3, -1.0);
    EXPECT_EQ(bare.cfm, 0.0);
    EXPECT_EQ(bare.velocity, phys::suspension_extend_speed);
    EXPECT_NEAR(bare.fmax, fork_force(f, -0.3, -1.0), 1e-9);
}

TEST(Fork, AirSpringIsFiniteAtFullTravelEvenWithNoGap)
{
    EXPECT_NEAR(fork_air_force(1.0, 0.3, 1.0), (std::pow(1.3 / 0.3, 1.4) - 1) * 82.46169, 1e-6);
    EXPECT_NEAR(fork_air_force(0.0, 0.3, 1.0), 0.0, 1e-12);
    double zero_gap = fork_air_force(1.0, 0.0, 1.0);
    EXPECT_TRUE(std::isfinite(zero_gap));
    EXPECT_NEAR(zero_gap, fork_air_force(1.0, phys::air_gap_minimum, 1.0), 1e-9);
    // Compression past the travel reads as full travel.
    EXPECT_EQ(fork_air_force(2.0, 0.3, 1.0), fork_air_force(1.0, 0.3, 1.0));
    // It grows with compression.
    EXPECT_LT(fork_air_force(0.4, 0.3, 1.0), fork_air_force(0.8, 0.3, 1.0));
}

shock_linkage_curve test_linkage()
{
    return {0.4, 0.12, 0.4, {0.25, 0.35, 0.5}};
}

TEST(Linkage, EndpointsKneeContinuityAndSlopes)
{
    shock_linkage_curve c = test_linkage();
    double p, s;
    shock_linkage(c, 0.0, &p, &s);
    EXPECT_NEAR(p, 0.0, 1e-12);
    EXPECT_NEAR(s, 0.25, 1e-12);
    shock_linkage(c, 1.0, &p, &s);
    EXPECT_NEAR(p, 0.4, 1e-12);
    EXPECT_NEAR(s, 0.5, 1e-12);
    double pl, sl, pr, sr;
    shock_linkage(c, 0.4 - 1e-9, &pl, &sl);
    shock_linkage(c, 0.4 + 1e-9, &pr, &sr);
    EXPECT_NEAR(pl, 0.12, 1e-8);
    EXPECT_NEAR(pr, 0.12, 1e-8);
    EXPECT_NEAR(sl, 0.35, 1e-6);
    EXPECT_NEAR(sr, 0.35, 1e-6);
    // The returned slope is the derivative: compare with a central difference.
    for (double x : {0.05, 0.2, 0.39, 0.41, 0.7, 0.95}) {
        double h = 1e-6, p1, p2, unused;
        shock_linkage(c, x - h, &p1, &unused);
        shock_linkage(c, x + h, &p2, &unused);
        shock_linkage(c, x, &p, &s);
        EXPECT_NEAR(s, (p2 - p1) / (2 * h), 1e-6) << x;
    }
}

shock_values test_shock()
{
    shock_values s{};
    s.spring_rate = 2000;
    s.preload = 0.05;
    s.travel = 0.5;
    s.compression = 50;
    s.rebound = 40;
    s.slow_compression = 100;
    s.slow_rebound = 100;
    s.linkage = test_linkage();
    return s;
}

TEST(Shock, TorqueFadesAtFullExtensionAndGrowsWithCompression)
{
    shock_values s = test_shock();
    EXPECT_EQ(shock_torque(s, 0.0, 0.0), 0.0);
    EXPECT_EQ(shock_torque(s, 0.1, 0.0), 0.0);
    double a = shock_torque(s, -0.1, 0.0), b = shock_torque(s, -0.3, 0.0);
    EXPECT_GT(a, 0.0);
    EXPECT_GT(b, a);
    // Compressing adds damping, extending takes it away.
    EXPECT_GT(shock_torque(s, -0.2, -1.0), shock_torque(s, -0.2, 0.0));
    EXPECT_LT(shock_torque(s, -0.2, 1.0), shock_torque(s, -0.2, 0.0));
}

// The shock's row, like the fork's, pushes with the shock's torque at the
// rate it was set from, and with more against a step that ends compressing
// faster: the damper is solved with the step.
TEST(Shock, MotorRowGivesTheShockTorqueAtThePresentRate)
{
    shock_values s = test_shock();
    for (double a : {-0.02, -0.2, -0.45})
        for (double w : {-3.0, -0.4, -0.01, 0.0, 0.2, 2.5}) {
            damped_motor_setting m = shock_motor(s, a, w);
            ASSERT_GT(m.cfm, 0.0);
            double torque = (m.velocity - w) / m.cfm;
            EXPECT_NEAR(torque, shock_torque(s, a, w), 1e-9 * (1 + std::fabs(torque))) << a << " " << w;
            EXPECT_GE(m.fmax, std::fabs(torque) - 1e-9);
            EXPECT_GT((m.velocity - (w - 1.0)) / m.cfm, torque);
        }
    EXPECT_EQ(shock_motor(s, 0.0, -1.0).fmax, 0.0);
}

TEST(SuspensionMotor, PositiveExtendsNegativeHolds)
{
    motor_setting m = suspension_motor(250.0);
    EXPECT_EQ(m.velocity, 100.0);
    EXPECT_EQ(m.fmax, 250.0);
    m = suspension_motor(-40.0);
    EXPECT_EQ(m.velocity, 0.0);
    EXPECT_EQ(m.fmax, 40.0);
}

TEST(ValveRatio, PicksThePairByDirection)
{
    const float pairs[4] = {2, 10, 4, 20};
    double flow;
    EXPECT_NEAR(valve_ratio(pairs, -5.0, &flow), 10.0 / 20.0, 1e-12);
    EXPECT_NEAR(flow, 20.0, 1e-12);
    EXPECT_NEAR(valve_ratio(pairs, 5.0, &flow), 20.0 / 40.0, 1e-12);
    const float zero[4] = {0, 0, 0, 0};
    EXPECT_EQ(valve_ratio(zero, 1.0, nullptr), 0.0);
}

}  // namespace
