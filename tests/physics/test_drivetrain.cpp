#include <gtest/gtest.h>

#include <cmath>

#include "physics/drivetrain.h"
#include "physics/physics_constants.h"

namespace {

struct curves {
    float closed[50], open[50];
    curves()
    {
        for (int i = 0; i < 50; i++) {
            closed[i] = -1.0f - 0.1f * i;
            open[i] = 10.0f + i;
        }
    }
};

TEST(EngineCurve, InterpolatesMixesAndClampsTheIndex)
{
    curves c;
    struct row {
        float rpm, throttle, expected;
    } rows[] = {
        {0.0f, 0.0f, -1.0f},        // entry 0, closed
        {0.0f, 1.0f, 10.0f},        // entry 0, open
        {-3000.0f, 1.0f, 10.0f},    // negative rpm reads entry 0
        {750.0f, 1.0f, 11.5f},      // half way between entries 1 and 2
        {750.0f, 0.0f, -1.15f},
        {750.0f, 0.5f, 0.5f * (-1.15f + 11.5f)},
        {24500.0f, 1.0f, 59.0f},    // entry 49
        {40000.0f, 1.0f, 59.0f},    // beyond the table
        {NAN, 1.0f, 10.0f},
    };
    for (const row& r : rows)
        EXPECT_NEAR(engine_curve_torque(c.closed, c.open, r.rpm, r.throttle), r.expected, 1e-4)
            << "rpm " << r.rpm << " throttle " << r.throttle;
}

TEST(Gearbox, ShiftsSkipsMissingGearsAndNeverPicksNeutral)
{
    const float full[6] = {0, 3, 2, 1.5f, 1.2f, 1};
    const float gap[6] = {0, 3, 0, 1.5f, 0, 1};       // gears 2 and 4 missing
    const float no_first[6] = {0, 0, 2, 1.5f, 1.2f, 1};
    struct row {
        const float* ratios;
        int gear;
        double rpm;
        int expected;
    } rows[] = {
        {full, 3, 9000, 3},       // between the speeds: unchanged
        {full, 3, 12000, 4},      // up
        {full, 5, 12000, 5},      // top gear stays
        {full, 3, 4000, 2},       // down
        {full, 1, 4000, 1},       // the floor is first gear, not neutral
        {full, 0, 0, 1},          // neutral with no drive: first gear
        {gap, 3, 4000, 1},        // skips the missing second gear
        {gap, 3, 12000, 3},       // next gear missing: stays
        {gap, 5, 4000, 3},
        {no_first, 2, 4000, 0},   // no first gear: neutral is all that is left
    };
    for (const row& r : rows)
        EXPECT_EQ(gearbox_auto_gear(r.ratios, r.gear, r.rpm, 5000, 11000), r.expected)
            << "gear " << r.gear << " rpm " << r.rpm;
}

TEST(AntiStall, OpensAtIdleAndClosesOverTwoThousandRpm)
{
    const double idle = 5000;
    EXPECT_DOUBLE_EQ(anti_stall_clutch(1.0, idle, idle), 0.0);
    EXPECT_DOUBLE_EQ(anti_stall_clutch(1.0, idle + 1000, idle), 0.5);
    EXPECT_DOUBLE_EQ(anti_stall_clutch(0.3, idle + 1000, idle), 0.3);  // min(c, 0.5)
    EXPECT_DOUBLE_EQ(anti_stall_clutch(0.8, idle + 2001, idle), 0.8);
    EXPECT_DOUBLE_EQ(anti_stall_clutch(1.0, 100, idle), 0.0);
}

clutch_inputs base_inputs()
{
    clutch_inputs in{};
    in.ratio = 10.0;
    in.clutch = 1.0;
    in.clutch_used = 1.0;
    in.stiffness = 200.0;
    in.damping = 2.0;
    in.inertia = 0.01;
    in.dt = phys::tic_seconds;
    return in;
}

TEST(Clutch, SlippingClutchDrivesTheWheelAndSlowsTheEngine)
{
    engine_state e{800.0f, 0.0f};  // engine far ahead of the wheel
    clutch_inputs in = base_inputs();
    double t = clutch_step(&e, in);
    EXPECT_DOUBLE_EQ(t, 500.0);  // damping term at its clamp
    EXPECT_LT(e.omega, 800.0f);
    // With the anti-stall limit at 0.5 the drive is a quarter.
    e = {800.0f, 0.0f};
    in.clutch_used = 0.5;
    EXPECT_DOUBLE_EQ(clutch_step(&e, in), 125.0);
    // Engine braking ignores the limit.
    e = {0.0f, 0.0f};
    in.wheel_rate = 100.0;
    EXPECT_DOUBLE_EQ(clutch_step(&e, in), -500.0);
}

TEST(Clutch, NeutralLeavesTheEngineFreeAndFinite)
{
    engine_state e{100.0f, 2.0f};
    clutch_inputs in = base_inputs();
    in.ratio = 0.0;
    in.wheel_angle = 0.25;
    in.engine_torque = 5.0;
    EXPECT_EQ(clutch_step(&e, in), 0.0);
    EXPECT_NEAR(e.omega, 100.0 + 5.0 / 0.01 * phys::tic_seconds, 1e-3);
    EXPECT_FLOAT_EQ(e.theta, 0.25f);
}

TEST(Clutch, SlackLimitsTheWindUpAndTheAngleWraps)
{
    engine_state e{0.0f, 3.0f};
    clutch_inputs in = base_inputs();
    in.clutch = in.clutch_used = 0.5;
    in.wheel_angle = 0.0;
    clutch_step(&e, in);
    // The wind-up was held to pi/4 * 0.5 before the step moved it.
    EXPECT_LE(std::fabs(e.theta), phys::pi / 8 + 1e-6);
    EXPECT_NEAR(wrap_angle(3.5), 3.5 - 2 * phys::pi, 1e-12);
    EXPECT_NEAR(wrap_angle(-3.5), -3.5 + 2 * phys::pi, 1e-12);
}

// A flywheel geared to a free wheel of inertia J: the clutch must settle the
// two to one speed without a growing oscillation in any gear.
TEST(Clutch, CouplingToAFreeWheelSettlesInEveryGear)
{
    for (double ratio : {40.0, 25.0, 18.0, 14.0, 11.0}) {
        engine_state e{1000.0f, 0.0f};
        clutch_inputs in = base_inputs();
        in.ratio = ratio;
        in.stiffness = 300.0;
        in.damping = 0.6;
        in.inertia = 0.004;
        double wheel_inertia = 0.6, phi = 0.0, rate = 0.0, last_gap = 1e9;
        for (int i = 0; i < 1280; i++) {
            in.wheel_angle = std::remainder(phi, 2 * phys::pi);
            in.wheel_rate = rate;
            double t = clutch_step(&e, in);
            rate += t / wheel_inertia * in.dt;
            phi += rate * in.dt;
            if (i > 1000) {
                double gap = std::fabs(e.omega - rate * ratio);
                EXPECT_LE(gap, std::max(last_gap, 1.0)) << "ratio " << ratio;
                last_gap = gap;
            }
        }
        EXPECT_NEAR(e.omega, rate * ratio, 1.0) << "ratio " << ratio;
        EXPECT_TRUE(std::isfinite(e.omega));
    }
}

}  // namespace
