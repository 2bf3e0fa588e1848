// Physical plausibility of a riding bike, each against a reference worked out
// independently of the physics code: statics, the gearing, the roll
// resistance, energy, friction and the balance of a turning bike.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "physics/bike_info.h"
#include "physics/body_helpers.h"
#include "physics/drivetrain.h"
#include "physics/physics_constants.h"
#include "physics/physics_tic.h"
#include "physics/rider_access.h"
#include "physics/rider_build.h"
#include "ride_fixture.h"

namespace {

const bike_info& row(const rider* r)
{
    return bike_info_table()[r->bike_index];
}

void rest_controls(rider* r)
{
    rider_reset_controls(r);
    r->throttle = 0.0f;
}

// Riding controls: realistic model (no arcade drag), manual gear, clutch in.
void ride_controls(rider* r, int gear)
{
    r->arcade = 0;
    r->option_flags &= (uint8_t)~rider_option_auto_shift;
    r->gear = gear;
    r->clutch = 1.0f;
    r->throttle = 1.0f;
    r->front_brake = r->rear_brake = 0.0f;
    r->dab = 0.0f;
}

double body_mass(dBodyID b)
{
    dMass m;
    dBodyGetMass(b, &m);
    return m.mass;
}

// The forward speed of the seven bodies' common centre of mass (along the
// frame's forward axis): what the ground's forces change, whatever the
// bodies do among themselves.
double centre_forward_speed(const rider* r)
{
    dBodyID bodies[7];
    rider_bodies(r, bodies);
    double p[3] = {0, 0, 0}, mass = 0;
    for (dBodyID b : bodies) {
        const dReal* v = dBodyGetLinearVel(b);
        for (int k = 0; k < 3; k++)
            p[k] += body_mass(b) * v[k];
        mass += body_mass(b);
    }
    const dReal* R = dBodyGetRotation(r->frame_body);
    return -(p[0] * R[2] + p[1] * R[6] + p[2] * R[10]) / mass;
}

// Kinetic plus potential energy of the seven bodies.
double body_energy(const rider* r)
{
    dBodyID bodies[7];
    rider_bodies(r, bodies);
    double e = 0.0;
    for (dBodyID b : bodies) {
        dMass m;
        dBodyGetMass(b, &m);
        const dReal* v = dBodyGetLinearVel(b);
        const dReal* w = dBodyGetAngularVel(b);
        const dReal* R = dBodyGetRotation(b);
        dVector3 lw;  // angular velocity in the body frame
        dBodyVectorFromWorld(b, w[0], w[1], w[2], lw);
        double iw[3];
        for (int i = 0; i < 3; i++)
            iw[i] = m.I[i * 4 + 0] * lw[0] + m.I[i * 4 + 1] * lw[1] + m.I[i * 4 + 2] * lw[2];
        (void)R;
        e += 0.5 * m.mass * (v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        e += 0.5 * (lw[0] * iw[0] + lw[1] * iw[1] + lw[2] * iw[2]);
        e += m.mass * phys::gravity * dBodyGetPosition(b)[1];
    }
    return e;
}

// Where a torque curve crosses zero going up in rpm (linear between entries).
double curve_zero(const float* curve)
{
    for (int i = 0; i + 1 < bike_torque_entries; i++)
        if (curve[i] > 0.0f && curve[i + 1] <= 0.0f)
            return (i + curve[i] / (curve[i] - curve[i + 1])) * bike_torque_rpm_step;
    return -1.0;
}

// The ground's loads on the two tyres of a bike at rest, by the moment
// balance of the bodies' weights about the contact points (front, rear).
void rest_loads(const rider* r, double load[2])
{
    dBodyID bodies[7];
    rider_bodies(r, bodies);
    double mass = 0, moment = 0;
    for (dBodyID b : bodies) {
        mass += body_mass(b);
        moment += body_mass(b) * dBodyGetPosition(b)[2];
    }
    double cg = moment / mass;
    double zf = r->front_contact.contact_point[2], zr = r->rear_contact.contact_point[2];
    load[0] = mass * phys::gravity * (zr - cg) / (zr - zf);
    load[1] = mass * phys::gravity - load[0];
}

// The tyre's depth ratio q under a load: the contact is a spring of
// 24000 q^3 + 1000 lbf/ft, so at rest depth * spring = load.
double tyre_depth_ratio(double section, double load)
{
    double lo = 0.0, hi = 1.0;
    for (int i = 0; i < 60; i++) {
        double q = 0.5 * (lo + hi);
        ((24000 * q * q * q + 1000) * q * section < load ? lo : hi) = q;
    }
    return lo;
}

// Rolling resistance of one tyre on the test ground: its one roll pair
// (r0, r1) blended by the depth ratio, r0 + q (r1 - r0), lbf.
double roll_lbf(const ride_test_world& world, double q)
{
    const float* pair = world.roll_pairs[0][0];
    return pair[0] + std::min(q, 1.0) * (pair[1] - pair[0]);
}

// Open-throttle crank torque at rpm: the row's table, one entry per 500 rpm,
// read linearly between entries (the index clamped to 0..49).
double open_torque_lbf_ft(const bike_main_values& m, double rpm)
{
    double x = std::clamp(rpm * 0.002, 0.0, 49.0);
    int i = (int)x;
    int j = std::min(i + 1, 49);
    return m.torque_open[i] + (x - i) * (m.torque_open[j] - m.torque_open[i]);
}

// Crank turns per rear-wheel turn in a gear: the primary drive, the gearbox
// and the chain (rear teeth over front teeth), stock sprockets.
double crank_per_wheel(const bike_main_values& m, int gear)
{
    return m.primary_ratio * m.gear_ratio[gear] * m.rear_sprocket / m.front_sprocket;
}

// The class rows' published drivetrain and tyres (docs/bike_table.md); each
// model varies its gears by up to 1.2 %, its rev limit by up to 1.5 % and
// may carry one more rear sprocket tooth.
struct published_drivetrain {
    const char* row;
    int top_gear;
    double first, top, primary, front_teeth, rear_teeth, rev_limit, front_outer, rear_outer;
};
const published_drivetrain published[] = {
    {"rs50cr", 1, 1.00, 1.00, 4.2, 10, 40, 12000, 0.78, 0.74},
    {"cr125", 5, 2.27, 1.13, 3.30, 13, 50, 12500, 1.14, 1.12},
    {"crf250(2013)", 5, 2.14, 1.09, 3.29, 13, 49, 13800, 1.14, 1.12},
    {"crf450(2011)", 5, 2.10, 1.07, 2.70, 13, 49, 11000, 1.14, 1.12},
};

const char* const class_rows[] = {"rs50cr", "cr125", "crf250(2013)", "crf450(2011)"};

struct Plausibility : ::testing::TestWithParam<const char*> {
    ride_test_world world;
    rider* r = nullptr;
    void SetUp() override
    {
        r = world.add_rider(GetParam(), 0, 64, 64);
        rest_controls(r);
    }
    // Rides on in gear until the forward speed is steady; returns it.
    double steady_speed(int gear, int max_tics)
    {
        ride_controls(r, gear);
        double last = rider_forward_speed(r);
        for (int t = 0; t < max_tics; t += 128) {
            world.run(128);
            double v = rider_forward_speed(r);
            if (std::fabs(v - last) < 0.02)
                return v;
            last = v;
        }
        return last;
    }
};

// The fork's spring law: coil from its preload plus the air spring over the
// oil (gap a over travel t), lbf, at compression x (ft).
double fork_spring_lbf(double rate, double preload, double a, double t, double x)
{
    return (preload + x) * rate + (std::pow((a + t) / (a + t - std::min(x, t)), 1.4) - 1.0) * 82.46169;
}

// The shock linkage: two cubic Hermite pieces through (0, 0), (b, knee) and
// (1, full) with slopes m0, mb, m1; shock position and d(position)/dx.
void linkage(const bike_tuning_values& t, double x, double* p, double* slope)
{
    double b = t.linkage_knee, p0, p1, m0, m1, u, len;
    if (x <= b) {
        p0 = 0, p1 = t.linkage_knee_position, m0 = t.linkage_slope[0], m1 = t.linkage_slope[1], u = x / b, len = b;
    } else {
        p0 = t.linkage_knee_position, p1 = t.linkage_full_position, m0 = t.linkage_slope[1], m1 = t.linkage_slope[2];
        len = 1.0 - b, u = (x - b) / len;
    }
    m0 *= len;
    m1 *= len;
    double u2 = u * u, u3 = u2 * u;
    *p = (2 * u3 - 3 * u2 + 1) * p0 + (u3 - 2 * u2 + u) * m0 + (-2 * u3 + 3 * u2) * p1 + (u3 - u2) * m1;
    *slope = ((6 * u2 - 6 * u) * p0 + (3 * u2 - 4 * u + 1) * m0 + (-6 * u2 + 6 * u) * p1 + (3 * u2 - 2 * u) * m1) / len;
}

// The travel fraction 0..1 at which a rising spring law f carries the load.
template <class F>
double solve_travel(F f, double load)
{
    double lo = 0.0, hi = 1.0;
    for (int i = 0; i < 60; i++) {
        double mid = 0.5 * (lo + hi);
        (f(mid) < load ? lo : hi) = mid;
    }
    return lo;
}

// At rest on free-rolling wheels: the weight splits by the moment balance
// and each end sinks to where its spring carries its share (the sag). The
// brakes stay off: locked wheels cannot roll apart as the bike squats, and
// the tyres then squeeze the wheelbase with tens of pounds, which pushes the
// fork out and the rear down and hides the springs' own sag.
TEST_P(Plausibility, RestSagIsWhereTheSpringsCarryTheMomentBalance)
{
    r->option_flags &= (uint8_t)~rider_option_auto_dab;
    r->gear = 0;
    r->front_brake = r->rear_brake = 0.0f;
    r->dab = 0.0f;
    world.run(512);
    ASSERT_GT(r->front_contact.depth, 0.0f);
    ASSERT_GT(r->rear_contact.depth, 0.0f);
    const dReal* p0 = dBodyGetPosition(r->frame_body);
    double start[3] = {p0[0], p0[1], p0[2]};
    double fork_sum = 0, fork_sq = 0, front = 0, rear = 0;
    const int n = 256;
    world.run(1280 - n);
    for (int i = 0; i < n; i++) {
        world.tic();
        double f = dJointGetSliderPosition(r->fork_joint);
        fork_sum += f;
        fork_sq += f * f;
        front += r->front_contact.feedback.f1[1];
        rear += r->rear_contact.feedback.f1[1];
    }
    front /= n;
    rear /= n;
    const dReal* p1 = dBodyGetPosition(r->frame_body);
    double drift = std::sqrt((p1[0] - start[0]) * (p1[0] - start[0]) + (p1[1] - start[1]) * (p1[1] - start[1]) +
                             (p1[2] - start[2]) * (p1[2] - start[2]));
    EXPECT_LT(drift, 0.05);
    const dReal* w = dBodyGetAngularVel(r->frame_body);
    EXPECT_LT(std::fabs(w[0]) + std::fabs(w[1]) + std::fabs(w[2]), 1e-3);
    EXPECT_LT(std::fabs(body_lean_angle(r->frame_body)), 1e-3);

    double weight = r->total_mass * phys::gravity;
    EXPECT_NEAR(front + rear, weight, 0.02 * weight);

    // Statics: the centre of mass between the two contact points.
    double load[2];
    rest_loads(r, load);
    const double expected_front = load[0], expected_rear = load[1];
    EXPECT_NEAR(front, expected_front, 0.03 * expected_front);

    // Tyres: the contact spring holds the wheel's load at rest. The soft
    // contact holds that balance exactly at rest; 3 % leaves room for the
    // averaging over the tics.
    for (const wheel_contact* c : {&r->front_contact, &r->rear_contact}) {
        double q = tyre_depth_ratio(c->tyre_section_radius, c == &r->front_contact ? expected_front : expected_rear);
        EXPECT_NEAR(c->depth / c->tyre_section_radius, q, 0.03 * q) << (c == &r->front_contact ? "front" : "rear");
    }

    // The fork: along its axis it carries the front load less the wheel and
    // lower leg below it.
    const bike_info& b = row(r);
    dVector3 axis;
    dJointGetSliderAxis(r->fork_joint, axis);
    double fork_load = (expected_front - (body_mass(r->fork_lower_body) + body_mass(r->front_wheel_body)) * phys::gravity) *
                       std::fabs(axis[1]);
    auto fork_at = [&](double k) {
        return solve_travel(
            [&](double x) {
                return fork_spring_lbf(k * r->fork_spring_rate, r->fork_preload, r->fork_oil_level, b.main.fork_travel,
                                       x * b.main.fork_travel);
            },
            fork_load);
    };
    // The shock: about the swingarm's pivot it holds the rear load's moment
    // less the moments of the rear wheel's and the swingarm's weights.
    dVector3 pivot;
    dJointGetHingeAnchor(r->swingarm_joint, pivot);
    double shock_moment = expected_rear * std::fabs(r->rear_contact.contact_point[2] - pivot[2]) -
                          body_mass(r->rear_wheel_body) * phys::gravity *
                              std::fabs(dBodyGetPosition(r->rear_wheel_body)[2] - pivot[2]) -
                          body_mass(r->swingarm_body) * phys::gravity *
                              std::fabs(dBodyGetPosition(r->swingarm_body)[2] - pivot[2]);
    auto shock_at = [&](double k) {
        return solve_travel(
            [&](double x) {
                double p, slope;
                linkage(b.tuning, x, &p, &slope);
                return slope * (r->shock_preload + p) * k * r->shock_spring_rate;
            },
            shock_moment);
    };
    const double fork_static = fork_at(1.0), shock_static = shock_at(1.0);
    double fork_sag = -fork_sum / n / b.main.fork_travel;
    double shock_sag = -dJointGetHingeAngle(r->swingarm_joint) / b.main.swingarm_travel;
    // Windows: the ride's sag is the hand calculation's, both from the same
    // loads, within 0.005 of travel (the bike's pitch at sag turns the fork
    // axis and the swingarm's levers by under half a degree, which moves
    // the springs' loads by well under 1 %, 0.002 of travel at the ends'
    // 470 lbf/ft); and the springs are the ones the table sets for its
    // design sag at mid settings, 28 % at the fork and 33 % at the shock,
    // within 0.015 (the table works from the rest pose, and as the bike
    // squats its centre of mass moves forward a few hundredths of a foot:
    // up to 3 % of the front load, 0.009 of travel).
    const double same = 0.005, design = 0.015;
    EXPECT_NEAR(fork_sag, fork_static, same) << "fork";
    EXPECT_NEAR(shock_sag, shock_static, same) << "shock";
    EXPECT_NEAR(fork_sag, 0.28, design) << "fork";
    EXPECT_NEAR(shock_sag, 0.33, design) << "shock";
    // A spring 20 % off its rate moves the sag out of both windows.
    for (double k : {0.8, 1.2}) {
        EXPECT_GT(std::fabs(fork_at(k) - fork_static), same + design) << k;
        EXPECT_GT(std::fabs(shock_at(k) - shock_static), same + design) << k;
    }
    double mean = fork_sum / n;
    EXPECT_LT(std::sqrt(std::max(0.0, fork_sq / n - mean * mean)), 1e-4);  // no chatter
}

// In each gear at full throttle the bike runs up to where the rear tyre's
// thrust, crank torque times the gearing over the rolling radius, meets the
// two tyres' rolling resistance; the realistic model has no air drag. The
// engine and the wheel turn together through the engaged clutch, and the
// tyre rolls without slip on its contact at the ground, so the speed is the
// wheel's spin times the wheel centre's height over the ground (the outer
// radius less the tyre's depth).
TEST_P(Plausibility, TopSpeedInEachGearIsWhereTheThrustMeetsTheRollingResistance)
{
    const bike_main_values& m = row(r).main;
    const published_drivetrain* pub = nullptr;
    for (const published_drivetrain& p : published)
        if (std::string(p.row) == GetParam())
            pub = &p;
    ASSERT_TRUE(pub);
    // The row carries its class's published numbers.
    EXPECT_NEAR(m.gear_ratio[1], pub->first, 0.012 * pub->first);
    EXPECT_NEAR(m.gear_ratio[pub->top_gear], pub->top, 0.012 * pub->top);
    for (int g = pub->top_gear + 1; g <= 5; g++)
        EXPECT_LE(m.gear_ratio[g], 0.0f) << "no gear " << g;
    EXPECT_FLOAT_EQ(m.primary_ratio, pub->primary);
    EXPECT_FLOAT_EQ(m.front_sprocket, pub->front_teeth);
    EXPECT_TRUE(m.rear_sprocket == pub->rear_teeth || m.rear_sprocket == pub->rear_teeth + 1);
    EXPECT_NEAR(row(r).tuning.rev_limit_rpm, pub->rev_limit, 0.015 * pub->rev_limit);
    EXPECT_NEAR(m.front_tyre_radius + m.front_tyre_section, pub->front_outer, 1e-5);
    EXPECT_NEAR(m.rear_tyre_radius + m.rear_tyre_section, pub->rear_outer, 1e-5);

    world.run(256);
    double load[2];
    rest_loads(r, load);
    const double q_front = tyre_depth_ratio(m.front_tyre_section, load[0]);
    const double q_rear = tyre_depth_ratio(m.rear_tyre_section, load[1]);
    const double roll = roll_lbf(world, q_front) + roll_lbf(world, q_rear);
    const double radius = pub->rear_outer - q_rear * m.rear_tyre_section;
    for (int gear = 1; gear <= pub->top_gear; gear++) {
        double v = steady_speed(gear, 128 * 40);
        double n = crank_per_wheel(m, gear);
        double lo = 0, hi = 25000;  // rpm; the thrust only falls past the peak
        for (int i = 0; i < 60; i++) {
            double mid = 0.5 * (lo + hi);
            (open_torque_lbf_ft(m, mid) * n / radius > roll ? lo : hi) = mid;
        }
        EXPECT_GT(lo, 0.95 * pub->rev_limit) << "the rolling resistance takes little of the torque";
        double expected = lo * (2.0 * phys::pi / 60.0) * radius / n;
        // 2 %: the load moving rearward under the thrust (20 lbf at the
        // ground, 3 ft below the centre of mass, over a 5 ft wheelbase: 12
        // lbf) changes the rear tyre's depth and so the rolling radius by
        // under 0.2 %, and the thrust's change near the rev limit (a few
        // lbf per ft/s) settles the last 0.02 ft/s of the steady test
        // within half a second. A wrong gear is 15-25 % away, a wrong unit
        // (rpm for rad/s) a factor of 9.5, and an air drag of a bike and
        // rider (half of 0.0024 slug/ft^3 times 6 ft^2 times v^2, 40 lbf at
        // 80 ft/s) would hold the upper gears well short.
        EXPECT_NEAR(v, expected, 0.02 * expected) << GetParam() << " gear " << gear;
        EXPECT_EQ(r->crash_tics, 0);
    }
}

// Rolling on in neutral, only the tyres' rolling resistance slows the bike,
// which also spins down the wheels: decel = roll / (m + I_front / R_front^2
// + I_rear / R_rear^2), no air drag.
TEST_P(Plausibility, CoastDownInNeutralMatchesTheRollingResistance)
{
    world.run(256);
    const bike_main_values& m = row(r).main;
    double load[2];
    rest_loads(r, load);
    ride_controls(r, 1);
    for (int i = 0; i < 128 * 20 && rider_forward_speed(r) < 30.0; i++)
        world.tic();
    ASSERT_GE(rider_forward_speed(r), 25.0);
    r->gear = 0;
    r->throttle = 0.0f;
    world.run(64);
    double v0 = rider_forward_speed(r);
    world.run(256);
    double decel = (v0 - rider_forward_speed(r)) / (256 * phys::tic_seconds);
    double roll = 0, inertia = 0;
    for (int w = 0; w < 2; w++) {
        double section = w ? m.rear_tyre_section : m.front_tyre_section;
        double q = tyre_depth_ratio(section, load[w]);
        roll += roll_lbf(world, q);
        double radius = (w ? m.rear_tyre_radius : m.front_tyre_radius) + section * (1.0 - q);
        dMass wheel;
        dBodyGetMass(w ? r->rear_wheel_body : r->front_wheel_body, &wheel);
        inertia += wheel.I[0] / (radius * radius);  // spin about the axle
    }
    double expected = roll / (r->total_mass + inertia);
    // 5 %: braking by 1.5 ft/s^2 moves 1.5/32 of the weight times the centre
    // of mass's height over the wheelbase (about 3 %) to the front, which
    // changes the two tyres' summed depth, and so the resistance, by under
    // 1 %. An air drag (about 6 lbf at 30 ft/s, 30 % of the rolling
    // resistance) or a lost wheel inertia (8 %) falls outside.
    EXPECT_NEAR(decel, expected, 0.05 * expected);
}

TEST_P(Plausibility, DropFromTwoFeetGainsNoEnergy)
{
    r->gear = 0;
    r->front_brake = r->rear_brake = 0.0f;
    r->option_flags &= (uint8_t)~rider_option_auto_dab;
    r->arcade = 0;
    rider_translate(r, 0, 2.0, 0);
    const double start_y = dBodyGetPosition(r->frame_body)[1];
    // Nothing drives the bike: engine in neutral, brakes off, no assist. The
    // bodies' kinetic and potential energy can only fall below what they had
    // when let go: the springs store what they take (never below zero, as
    // each pushes its end out over its whole travel) and the dampers, tyre
    // contacts and joints' mixing take energy out.
    const double released = body_energy(r);
    const double drop = r->total_mass * phys::gravity * 2.0;
    bool landed = false;
    double worst = -1e30, e = released;
    for (int i = 0; i < 384; i++) {
        world.tic();
        ASSERT_LE(dBodyGetPosition(r->frame_body)[1], start_y + 1e-6);
        e = body_energy(r);
        landed = landed || r->front_contact.depth > 0 || r->rear_contact.depth > 0;
        worst = std::max(worst, e - released);
    }
    EXPECT_TRUE(landed);
    // Tolerance: ODE pulls drifting joints back together (its ERP), which
    // can hand a body a little energy; a joint drifts well under 1e-3 ft a
    // tic, so that stays far below 0.5 % of the drop's energy. Anything that
    // drives the bike (a motor chasing a target, an assist, a spring force
    // applied explicitly over a tic, which at the 11 ft/s touchdown gives
    // about 1/2 k (v dt)^2 = 2 ft lbf a tic with the shock's 600 lbf/ft at
    // the axle) adds its work every tic and passes that.
    EXPECT_LT(worst, 0.005 * drop);
    // Three seconds on it stands still 2 ft lower (lower still by its sag):
    // the dampers and tyres took out at least the whole drop.
    EXPECT_LT(e, released - drop);
}

TEST_P(Plausibility, BrakingStaysWithinFrictionAndAntilockKeepsTheTyresRolling)
{
    const bool fifty = std::string(GetParam()) == "rs50cr";
    const double v_target = fifty ? 20.0 : 44.0;
    double mu = world.friction_values[0][0];
    double mean_slip[2] = {0, 0};
    for (int antilock = 0; antilock < 2; antilock++) {
        rider_reset_pose(r);
        world.drop(r, 64, 64 + 300 * antilock, 0);
        rest_controls(r);
        world.run(128);
        ride_controls(r, fifty ? 1 : 2);
        for (int i = 0; i < 128 * 20 && rider_forward_speed(r) < v_target; i++)
            world.tic();
        r->throttle = 0.0f;
        world.run(64);  // settle from the pull before braking
        double v_start = centre_forward_speed(r);
        ASSERT_GE(v_start, v_target - 4.0) << GetParam();
        r->clutch = 0.0f;
        r->front_brake = r->rear_brake = 1.0f;
        if (antilock)
            r->option_flags |= rider_option_front_antilock | rider_option_rear_antilock;
        else
            r->option_flags &= (uint8_t)~(rider_option_front_antilock | rider_option_rear_antilock);
        int tics = 0, touching = 0;
        double slip_sum = 0, normal_sum = 0;
        for (; tics < 128 * 6 && rider_forward_speed(r) > 5.0; tics++) {
            world.tic();
            ASSERT_TRUE(std::isfinite(rider_forward_speed(r)));
            for (const wheel_contact* c : {&r->front_contact, &r->rear_contact}) {
                if (!(c->depth > 0))
                    continue;
                touching++;
                slip_sum += std::hypot(c->slip_velocity[0], c->slip_velocity[2]);
                normal_sum += c->feedback.f1[1];
            }
        }
        double v_end = centre_forward_speed(r);
        EXPECT_LT(v_end, 5.5) << "stops within 6 s";
        // Friction bounds the braking force by mu times the ground's push on
        // the tyres, tic by tic; over the stop the mean deceleration is at
        // most mu times the mean push over the mass. The push itself passes
        // the weight while the bike pitches onto its fork (and falls short
        // of it as the bike rocks back), so it is measured, not taken as mg.
        // The tyres' rolling drag adds to friction: at most the test
        // ground's larger roll figure on each tyre touching. 1 % for the
        // rider's sway on the seat against the ends of the stop.
        // The speeds are the centre of mass's: the frame's own would count
        // the rider's lurch forward on the seat springs as braking.
        double decel = (v_start - v_end) / (tics * phys::tic_seconds);
        double push = normal_sum / tics;
        double roll = world.roll_pairs[0][0][1] * touching / tics;
        EXPECT_LE(decel, 1.01 * (mu * push + roll) / r->total_mass) << "antilock " << antilock;
        EXPECT_LE(decel, 1.15 * mu * phys::gravity) << "antilock " << antilock << ": no more than a pitching bike's push";
        EXPECT_GT(decel, 0.25 * mu * phys::gravity) << "antilock " << antilock;
        mean_slip[antilock] = touching ? slip_sum / touching : 0.0;
    }
    // Locked wheels slide at the bike's speed; the antilock lets them roll
    // again as soon as they slide (a tic late, so they still slip at times).
    EXPECT_GT(mean_slip[0], 0.3 * v_target) << GetParam();
    EXPECT_LT(mean_slip[1], 0.75 * mean_slip[0]) << GetParam();
}

TEST_P(Plausibility, FreeRevSettlesWhereTheCurvesCrossZero)
{
    world.run(64);
    r->gear = 0;
    r->throttle = 1.0f;
    world.run(128 * 6);
    double open_zero = curve_zero(row(r).main.torque_open);
    EXPECT_NEAR(rider_engine_rpm(r), open_zero, 0.03 * open_zero);
    r->throttle = 0.0f;
    world.run(128 * 20);
    double closed_zero = curve_zero(row(r).main.torque_closed);
    EXPECT_NEAR(rider_engine_rpm(r), closed_zero, 0.05 * closed_zero);
}

// A steady turn in the realistic model with its upright assist off: the
// rider holds a lean of about 0.4 rad with the bars (his steer input asks for
// a lean, and he trims it by the lean he sees), and the bike's path follows
// from the tyres. The lean of the centre of mass over the line through the two
// contacts must then balance the turn: gravity's moment about that line
// against the centrifugal one plus the wheels' gyroscopic moment (their spin
// v/R turned at the yaw rate), tan(lean) = (a/g) (1 + sum(I/R) cos(lean) / (m
// h)), a = v^2/r the centre of mass's lateral acceleration and h its height
// over the contact line.
TEST_P(Plausibility, SteadyTurnLeansByTheBalanceOfForces)
{
    world.run(128);
    ride_controls(r, 1);
    // No upright assist torque; its roll damping acts only while the lean
    // changes, so not in a steady turn.
    rider_set_leveling(r, 0.0f);
    const double speed = std::string(GetParam()) == "rs50cr" ? 20.0 : 30.0;
    dBodyID bodies[7];
    rider_bodies(r, bodies);
    double mass = 0;
    for (dBodyID b : bodies)
        mass += body_mass(b);
    double heading_before = 0, sum_tan = 0, sum_expected = 0, trim = 0;
    int samples = 0;
    for (int i = 0; i < 128 * 12; i++) {
        cruise(r, speed);
        const dReal* R = dBodyGetRotation(r->frame_body);
        const dReal* w = dBodyGetAngularVel(r->frame_body);
        double roll_rate = w[0] * R[2] + w[1] * R[6] + w[2] * R[10];
        double target = i > 128 * 2 ? -0.4 : 0.0;  // right
        trim = std::clamp(trim + phys::tic_seconds * (body_lean_angle(r->frame_body) - target - 0.1 * roll_rate), -1.0, 1.0);
        r->steer = (float)trim;
        world.tic();
        // The centre of mass: place and velocity.
        double p[3] = {0, 0, 0}, v[3] = {0, 0, 0};
        for (dBodyID b : bodies) {
            for (int k = 0; k < 3; k++) {
                p[k] += body_mass(b) * dBodyGetPosition(b)[k] / mass;
                v[k] += body_mass(b) * dBodyGetLinearVel(b)[k] / mass;
            }
        }
        double heading = std::atan2(v[0], v[2]);
        double yaw = std::remainder(heading - heading_before, 2 * phys::pi) / phys::tic_seconds;
        heading_before = heading;
        if (i < 128 * 6)
            continue;
        // The wheels' spin about their axles over the speed: I / R, R the
        // rolling radius (the wheel centre's height over the ground).
        double spin_share = 0;
        for (const wheel_contact* c : {&r->front_contact, &r->rear_contact}) {
            dMass m;
            dBodyGetMass(c->body, &m);
            spin_share += m.I[0] / (c->tyre_radius + c->tyre_section_radius - c->depth);
        }
        // Its lean over the contact line: sideways offset over height.
        const float* f = r->front_contact.contact_point;
        const float* b = r->rear_contact.contact_point;
        double line[3] = {b[0] - f[0], b[1] - f[1], b[2] - f[2]};
        double len = std::sqrt(line[0] * line[0] + line[1] * line[1] + line[2] * line[2]);
        double c[3] = {p[0] - f[0], p[1] - f[1], p[2] - f[2]};
        double along = (c[0] * line[0] + c[1] * line[1] + c[2] * line[2]) / (len * len);
        for (int k = 0; k < 3; k++)
            c[k] -= along * line[k];
        // The centre of mass's acceleration in the turn is yaw x v, toward
        // the turn's centre: (yaw v_z, 0, -yaw v_x); lean is taken toward it.
        double a = std::fabs(yaw) * std::hypot(v[0], v[2]);
        double inward[2] = {yaw * v[2] / a, -yaw * v[0] / a};
        double h = c[1];
        double lean = std::atan2(c[0] * inward[0] + c[2] * inward[1], h);
        sum_tan += std::tan(lean);
        sum_expected += a / phys::gravity * (1.0 + spin_share * std::cos(lean) / (mass * h));
        samples++;
    }
    EXPECT_EQ(r->crash_tics, 0);
    double lean_tan = sum_tan / samples, expected = sum_expected / samples;
    EXPECT_GT(std::fabs(expected), 0.3) << "a turn of 0.3 g or more";
    // 3 %: the balance leaves out the tyres' rolling resistance (some 20 lbf
    // acting at the wheel centres, a foot up the leaning wheels, the front
    // one steered across the line) and the frame's and rider's own turning
    // inertia (moments differing by about 5 slug ft^2 at a yaw rate of 0.5
    // rad/s), each a few ft lbf against the turn's 100-300 ft lbf. Left out,
    // the wheels' gyroscopic share (3-4 %) would fail it, and so would a lean
    // held by an assist toward a turn formula rather than by the balance
    // (measured 6-10 % short of it at 30 ft/s).
    EXPECT_NEAR(lean_tan, expected, 0.03 * std::fabs(expected)) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Classes, Plausibility, ::testing::ValuesIn(class_rows), bike_test_name);

// Two runs of the same inputs give the same bits.
TEST(Determinism, TenThousandTicsAreBitIdentical)
{
    auto run = [](std::string* out) {
        ride_test_world world;
        rider* a = world.add_rider("crf450(2011)", 0, 64, 64);
        rider* b = world.add_rider("cr125", 1, 80, 64);
        for (int i = 0; i < 10000; i++) {
            for (rider* r : {a, b}) {
                rider_set_throttle(r, (float)(0.5 + 0.5 * std::sin(i * 0.01 + r->slot)));
                rider_set_steer(r, (float)(0.4 * std::sin(i * 0.003 + r->slot)));
                rider_set_front_brake(r, (i / 700) % 5 == 4 ? 1.0f : 0.0f);
            }
            world.tic();
        }
        for (rider* r : {a, b}) {
            dBodyID bodies[7];
            rider_bodies(r, bodies);
            for (dBodyID body : bodies) {
                out->append((const char*)dBodyGetPosition(body), 3 * sizeof(dReal));
                out->append((const char*)dBodyGetRotation(body), 12 * sizeof(dReal));
                out->append((const char*)dBodyGetLinearVel(body), 3 * sizeof(dReal));
                out->append((const char*)dBodyGetAngularVel(body), 3 * sizeof(dReal));
            }
            out->append((const char*)&r->engine_speed, sizeof r->engine_speed);
            out->append((const char*)&r->gear, sizeof r->gear);
        }
    };
    std::string first, second;
    run(&first);
    run(&second);
    ASSERT_EQ(first.size(), second.size());
    EXPECT_TRUE(first == second);
}

}  // namespace

namespace {

// On a stand, the rear wheel in the air: in every gear the clutch couples
// engine and wheel without a growing oscillation, under throttle and off it.
TEST(Clutch, RearWheelInTheAirStaysCoupledInEveryGear)
{
    ride_test_world world;
    rider* r = world.add_rider("crf250(2013)", 0, 64, 64);
    rider_translate(r, 0, 3.0, 0);  // well clear of the ground
    dJointID stand = dJointCreateFixed(world.w.world, nullptr);
    dJointAttach(stand, r->frame_body, nullptr);
    dJointSetFixed(stand);
    r->option_flags &= (uint8_t)~rider_option_auto_shift;
    r->arcade = 0;
    r->clutch = 1.0f;
    r->front_brake = r->rear_brake = 0.0f;
    for (int gear = 1; gear <= 5; gear++) {
        r->gear = gear;
        double n = rider_total_ratio(r);
        for (float throttle : {1.0f, 0.0f}) {
            r->throttle = throttle;
            double early = 0, late = 0;
            // Four seconds: the wheel spins up (or down) and settles.
            for (int i = 0; i < 512; i++) {
                world.tic();
                double gap = std::fabs(r->engine_speed - dJointGetHingeAngleRate(r->rear_axle_joint) * n);
                ASSERT_TRUE(std::isfinite(gap)) << "gear " << gear;
                if (i >= 384 && i < 448)
                    early = std::max(early, gap);
                if (i >= 448)
                    late = std::max(late, gap);
            }
            EXPECT_LE(late, early + 1.0) << "gear " << gear << " throttle " << throttle;
            EXPECT_LT(late, 0.05 * std::max(100.0, (double)std::fabs(r->engine_speed)))
                << "gear " << gear << " throttle " << throttle;
        }
    }
    dJointDestroy(stand);
}

}  // namespace
