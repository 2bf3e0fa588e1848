// The rider's aids and the rider body on the seat: the front brake's
// release, the bars in the air, the fore-aft seat spring, the foot put down
// as the bike slows, the standing sway, and the crashed rider put back.
#include <gtest/gtest.h>

#include <cmath>

#include "ai/racing_lines.h"
#include "physics/bike_info.h"
#include "physics/body_helpers.h"
#include "physics/collision_shape.h"
#include "physics/drivetrain.h"
#include "physics/physics_constants.h"
#include "physics/physics_tic.h"
#include "physics/rider_access.h"
#include "physics/rider_build.h"
#include "ride_fixture.h"

namespace {

const bike_info& row_of(const rider* r)
{
    return bike_info_table()[r->bike_index];
}

// Every body of the rider moved by v (ft/s) on top of what it has.
void push_all(rider* r, double vx, double vy, double vz)
{
    dBodyID bodies[7];
    rider_bodies(r, bodies);
    for (dBodyID b : bodies) {
        const dReal* v = dBodyGetLinearVel(b);
        dBodySetLinearVel(b, v[0] + vx, v[1] + vy, v[2] + vz);
    }
}

TEST(FrontBrakeRelease, TheAidsLetGoWhereTheyShould)
{
    // Bit 3 lets go of a sliding front tyre; bit 2 of a front wheel down
    // with the rear one up; both together of any rear wheel off the ground.
    struct row {
        uint8_t flags;
        bool front, slides, rear;
        bool released;
    } rows[] = {
        {0x00, true, true, false, false},   // no aids: the brake holds whatever happens
        {0x08, true, true, true, true},     // sliding front
        {0x08, true, false, false, false},  // rear up alone is not bit 3's business
        {0x04, true, false, false, true},   // stoppie
        {0x04, false, false, false, false}, // both wheels in the air, bit 2 alone: held
        {0x04, true, false, true, false},   // both down
        {0x0C, false, false, false, true},  // both in the air with bits 2 and 3
        {0x0C, true, false, true, false},   // both down, gripping
        {0x0C, true, false, false, true},
    };
    for (const row& c : rows) {
        double t = front_brake_release(c.flags, 500.0, c.front, c.slides, c.rear);
        EXPECT_EQ(t, c.released ? 0.0 : 500.0) << "flags " << int(c.flags) << " front " << c.front << " slides "
                                                << c.slides << " rear " << c.rear;
    }
}

struct Aids : ::testing::Test {
    ride_test_world world;
    rider* r = nullptr;
    void SetUp() override
    {
        r = world.add_rider("crf250(2013)", 0, 64, 64);
        rider_reset_controls(r);
        world.run(128);
    }
    // The rider lifted to height ft above the ground, still.
    void lift(double height)
    {
        rider_translate(r, 0, height, 0);
        dBodyID bodies[7];
        rider_bodies(r, bodies);
        for (dBodyID b : bodies) {
            dBodySetLinearVel(b, 0, 0, 0);
            dBodySetAngularVel(b, 0, 0, 0);
        }
    }
};

TEST_F(Aids, InTheAirTheFrontBrakeLetsGoOnlyWithBothAids)
{
    // 60 ft up the bike falls for about 1.9 s, both wheels free. The front
    // wheel spun up to 40 rad/s against a 500 lbf*ft brake: its inertia is
    // some 0.2 slug*ft^2, so a held brake stops it within 0.02 s, and a
    // released one leaves it spinning (only the wobble damper's axle-free
    // torque and the joint's own rounding act on it).
    for (uint8_t flags : {uint8_t(0x04), uint8_t(0x0C)}) {
        rider_reset_pose(r);
        world.drop(r, 64, 64, 0);
        lift(60.0);
        r->option_flags = flags;
        r->front_brake = 1.0f;
        r->rear_brake = 0.0f;
        r->throttle = 0.0f;
        world.tic();  // the brake motor of the next step is set by this tic
        dBodySetAngularVel(r->front_wheel_body, -40.0, 0, 0);
        world.run(16);  // 0.125 s
        ASSERT_LT(r->front_contact.depth, 0.0f + 1e-9f);
        double spin = std::fabs(dJointGetHingeAngleRate(r->front_axle_joint));
        if (flags == 0x0C)
            EXPECT_GT(spin, 35.0) << "released in the air";
        else
            EXPECT_LT(spin, 1.0) << "held in the air with bit 2 alone";
    }
}

TEST_F(Aids, HighInTheAirTheArcadeRiderTurnsTheBars)
{
    // 60 ft up (more than 16 ft over the ground for the whole 0.75 s) the
    // bars meet a centring spring of 50 lbf*ft/rad; the arcade rider's full
    // steer right adds a torque of steer gain (60 at strength 50, 90 at the
    // default 75) that would balance at 1.8 rad: the lock (pi/4) stops it
    // first. The head turns at up to 2 rad/s and then closes in with a
    // time constant of 1/8 s, so after 0.75 s it is within a few hundredths
    // of the lock. Without steering, and for the realistic rider, the bars
    // stay centred.
    struct row {
        int arcade;
        float steer;
        double lo, hi;
    } rows[] = {
        {1, 1.0f, -phys::pi / 4 - 0.02, -0.6},   // right: a negative head angle
        {1, -1.0f, 0.6, phys::pi / 4 + 0.02},
        {1, 0.0f, -0.05, 0.05},
        {0, 1.0f, -0.05, 0.05},
    };
    for (const row& c : rows) {
        rider_reset_pose(r);
        world.drop(r, 64, 64, 0);
        lift(60.0);
        r->arcade = c.arcade;
        r->steer = c.steer;
        world.run(96);
        double head = dJointGetHingeAngle(r->steering_joint);
        EXPECT_GT(head, c.lo) << "arcade " << c.arcade << " steer " << c.steer;
        EXPECT_LT(head, c.hi) << "arcade " << c.arcade << " steer " << c.steer;
    }
}

// The rider's shoulders ahead of the point above the seat, along the frame's
// forward axis (ft).
double shoulders_ahead(const rider* r)
{
    const bike_main_values& m = row_of(r).main;
    double fc[3];
    rider_rest_centre(r, 0, fc);
    double arm = m.shoulder[0][1];
    dVector3 s, o, fwd;
    dBodyGetRelPointPos(r->rider_body, 0, arm, 0, s);
    dBodyGetRelPointPos(r->frame_body, m.rider_centre[0] - fc[0], m.rider_centre[1] - fc[1] + arm,
                        m.rider_centre[2] - fc[2], o);
    dBodyVectorToWorld(r->frame_body, 0, 0, -1, fwd);
    return (s[0] - o[0]) * fwd[0] + (s[1] - o[1]) * fwd[1] + (s[2] - o[2]) * fwd[2];
}

TEST_F(Aids, TheLeanInputMovesTheShouldersForward)
{
    // The rider body's mass centre is the seat joint's anchor, so neither
    // gravity nor the bike's own pitch at rest turns it: the fore-aft spring
    // alone sets where the shoulders sit. With no lean input they sit over
    // the seat; a full lean input puts them half the seat height (0.25 ft)
    // ahead. A tenth of that is the margin for the frame's own small pitch
    // under the moved weight.
    world.run(256);
    EXPECT_NEAR(shoulders_ahead(r), 0.0, 0.025);
    r->lean_input = 1.0f;
    world.run(256);
    EXPECT_NEAR(shoulders_ahead(r), 0.25, 0.025);
}

// Pitches the rider body forward on the seat by angle (rad) and returns the
// period (s) of the swing back, from the shoulders' first two crossings of
// their rest point, and the share of the first swing left after one period.
void seat_swing(ride_test_world& world, rider* r, double angle, double* period, double* kept)
{
    dMatrix3 R, T;
    dRFromAxisAndAngle(R, 1, 0, 0, -angle);  // about +x, negative: nose down
    dMultiply0(T, dBodyGetRotation(r->frame_body), R, 3, 3, 3);
    dBodySetRotation(r->rider_body, T);
    double start = shoulders_ahead(r);
    double last = start, first_cross = -1, second_cross = -1, peak = 0;
    for (int i = 1; i < 512 && second_cross < 0; i++) {
        world.tic();
        double now = shoulders_ahead(r);
        if ((last > 0) != (now > 0)) {
            double t = (i - 1 + last / (last - now)) * phys::tic_seconds;
            if (first_cross < 0)
                first_cross = t;
            else
                second_cross = t;
        }
        if (first_cross >= 0 && second_cross < 0)
            peak = std::max(peak, std::fabs(now));
        last = now;
    }
    *period = second_cross > 0 ? 2.0 * (second_cross - first_cross) : 1e9;
    *kept = peak / std::fabs(start);
}

TEST_F(Aids, TheForeAftSeatSpringSetsTheRidersSwing)
{
    // Undamped, the rider body swings on its seat like a pendulum held by a
    // spring k at the shoulder height a: stiffness k a^2 against the body's
    // inertia about the seat, I = 2/5 m r^2 (a ball of radius 1 ft), period
    // 2 pi sqrt(I / (k a^2)). The frame is some twenty times heavier in
    // pitch and stands on its wheels, so it barely takes part: 10 % covers
    // its share and the spring's stiffening with the swing (100 lbf/ft per
    // ft, under 4 % at this 0.05-ft swing).
    const bike_info& row = row_of(r);
    double scale = row.main.rider_mass * phys::rider_reference_mass_scale;
    double arm = row.main.shoulder[0][1];
    dMass mass;
    dBodyGetMass(r->rider_body, &mass);
    double inertia = 0.4 * mass.mass * 1.0;
    for (float stiffness : {1.0f, 0.25f}) {
        rider_set_rider_zspring(r, stiffness, 0.0f);
        world.run(64);
        double period, kept;
        seat_swing(world, r, 0.045, &period, &kept);
        double k = row.tuning.rider_zspring_max * stiffness * scale;
        double expected = 2.0 * phys::pi * std::sqrt(inertia / (k * arm * arm));
        EXPECT_NEAR(period, expected, 0.1 * expected) << "spring setting " << stiffness;
        EXPECT_GT(kept, 0.7) << "undamped, the swing keeps most of its size";
    }
    // Full damping: c a^2 against the critical 2 sqrt(k a^2 I) gives a
    // damping ratio near 0.8 at the default spring, so the shoulders come
    // back with at most a small overshoot (e^(-pi z / sqrt(1 - z^2)) < 2 %
    // of the swing; 10 % allows for the frame's share).
    rider_set_rider_zspring(r, 0.5f, 1.0f);
    world.run(64);
    double period, kept;
    seat_swing(world, r, 0.045, &period, &kept);
    EXPECT_LT(kept, 0.1);
}

TEST_F(Aids, TheFootComesDownAsTheBikeSlows)
{
    // Rolling straight on the flat with the stand-up assist, the foot is
    // down in proportion to how far the speed is below the rider's max dab
    // speed: all of it at a stop, none at that speed.
    r->option_flags |= rider_option_auto_dab;
    rider_set_max_dab_speed(r, 40.0f);
    for (double speed : {10.0, 20.0, 30.0}) {
        rider_reset_pose(r);
        world.drop(r, 64, 100, 0);
        world.run(64);
        push_all(r, 0, 0, -speed);
        for (int i = 0; i < 32; i++) {
            cruise(r, speed);
            world.tic();
        }
        double v = rider_forward_speed(r);
        EXPECT_NEAR(r->dab_effective, (40.0 - v) / 40.0, 0.01) << speed << " ft/s";
    }
    // Without the assist the foot stays up.
    r->option_flags &= (uint8_t)~rider_option_auto_dab;
    cruise(r, 20.0);
    world.tic();
    EXPECT_EQ(r->dab_effective, 0.0f);
}

TEST_F(Aids, AStoppedRiderSwaysOnlyAfterTheStart)
{
    // Stopped with the stand-up assist, the rider's weight sways the frame
    // side to side once a second: the frame is pulled toward a sideways
    // speed of 0.375 ft/s at the peaks. The pull has a dead band of 0.25
    // ft/s, so the frame follows with a sideways speed of a few hundredths
    // up to that peak; in the race's first second it stands still.
    r->option_flags |= rider_option_auto_dab;
    r->throttle = 0.0f;
    auto sideways_peak = [this](int tics) {
        double peak = 0.0;
        for (int i = 0; i < tics; i++) {
            world.tic();
            const dReal* v = dBodyGetLinearVel(r->frame_body);
            dVector3 side;
            dBodyVectorToWorld(r->frame_body, 1, 0, 0, side);
            peak = std::max(peak, std::fabs(v[0] * side[0] + v[2] * side[2]));
        }
        return peak;
    };
    world.w.start_tic = world.w.tic;  // a race starts now
    world.run(8);
    EXPECT_LT(sideways_peak(100), 0.01) << "held still in the first second";
    world.run(64);
    double peak = sideways_peak(256);
    EXPECT_GT(peak, 0.02);
    EXPECT_LT(peak, 0.375);
}

TEST_F(Aids, OffTheThrottleTheBikeLeansAsItsLineDid)
{
    // A line recorded leaning 0.2 rad (a 20 ft/s bend of some 100 ft radius,
    // tan 0.2 = v^2 / (g r)) along the rider's path. Coasting on it with the
    // line assist, the lean motor (1 rad/s, 320 lbf*ft against a gravity
    // moment of about 110 lbf*ft at that lean) takes the bike there within
    // a quarter second and holds it; 0.05 rad covers the bike's own sway.
    // Without the line the upright assist keeps it within that of upright.
    line_point points[40];
    const dReal* p0 = dBodyGetPosition(r->frame_body);
    for (int i = 0; i < 40; i++)
        points[i] = {(float)p0[0], 0.0f, (float)(p0[2] - 5.0 * i), 20.0f, 0.2f};
    line_set set = {};
    set.lines[3] = {points, 40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 77};
    int32_t first[1] = {1}, normal[1] = {1};
    for (int loaded = 0; loaded < 2; loaded++) {
        racing_line_sets = {};
        if (loaded)
            racing_line_sets = {&set, 1, 1, first, 1, normal, 1};
        rider_reset_pose(r);
        world.drop(r, 64, 110, 0);
        world.run(64);
        r->arcade = 0;
        r->option_flags |= rider_option_auto_align;
        r->gate_count = 0;
        r->picked_lines[0] = 77;
        push_all(r, 0, 0, -20.0);
        double lean = 0.0;
        for (int i = 0; i < 96; i++) {
            r->throttle = 0.0f;
            r->front_brake = r->rear_brake = 0.0f;
            r->steer = 0.0f;
            world.tic();
            lean = body_lean_angle(r->frame_body);
        }
        if (loaded)
            EXPECT_NEAR(lean, 0.2, 0.05) << "on its line";
        else
            EXPECT_NEAR(lean, 0.0, 0.05) << "no line: held upright";
    }
    racing_line_sets = {};
}

TEST_F(Aids, ACrashedRiderComesBackTurnedAsTheBike)
{
    // Put back by three tethers, 10 ft apart, the rider body comes back
    // turned as the frame: twisted a quarter turn about the vertical while
    // crashed, it is square to the frame again before the joint is made.
    rider_crash(r);
    dMatrix3 R;
    dRFromAxisAndAngle(R, 0, 1, 0, phys::pi / 2);
    dBodySetRotation(r->rider_body, R);
    double twist_at_one = 1.0;
    bool pulled_late = false, pulled_early = false;
    for (int i = 0; i < 2048 && r->crash_tics > 0; i++) {
        world.tic();
        const ride_state* s = ride_state_of(r);
        bool pulled = s->pull[0][0] != 0 || s->pull[0][1] != 0 || s->pull[0][2] != 0 || s->pull[1][0] != 0 ||
                      s->pull[1][1] != 0 || s->pull[1][2] != 0;
        if (r->crash_tics >= 320)
            pulled_early |= pulled;
        else
            pulled_late |= pulled;
        if (r->crash_tics == 1) {
            // Angle between the two bodies' forward axes.
            dVector3 a, b;
            dBodyVectorToWorld(r->rider_body, 0, 0, 1, a);
            dBodyVectorToWorld(r->frame_body, 0, 0, 1, b);
            twist_at_one = std::acos(std::clamp(a[0] * b[0] + a[1] * b[1] + a[2] * b[2], -1.0, 1.0));
        }
    }
    ASSERT_EQ(r->crash_tics, 0);
    // The tethers' slack is gone in the last 128 tics; a 10-ft lever takes
    // the 5000-lbf/ft spring's hold to within a few hundredths of a radian.
    EXPECT_LT(twist_at_one, 0.1);
    // The hands reach for their crash targets only in the count's last 320 tics.
    EXPECT_FALSE(pulled_early);
    EXPECT_TRUE(pulled_late);
    const ride_state* s = ride_state_of(r);
    for (int side = 0; side < 2; side++) {
        double len = std::sqrt(s->pull[side][0] * s->pull[side][0] + s->pull[side][1] * s->pull[side][1] +
                               s->pull[side][2] * s->pull[side][2]);
        EXPECT_LE(len, 4.0 + 1e-6) << "a reach is at most 4";
    }
}

TEST_F(Aids, ASlidingCrashedBikesWheelsMeetTheObjectItLiesAgainst)
{
    // A crashed bike sliding at 6 ft/s toward a 3-ft ball standing on the
    // ground 6 ft ahead of its front wheel: linked to the ball, its wheels
    // meet it and stop short; unlinked, the front wheel runs into it.
    collision_sphere ball{0, 3, 0, 3, {1, 1, 0}};
    collision_shape shape{"ball", 1, &ball, nullptr, 6};
    const dReal* f = dBodyGetPosition(r->front_wheel_body);
    rider_object_link link{&shape, {f[0], 0.0, f[2] - 3.0 - 0.9 - 6.0}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, 1.0};
    double ball_z = link.position[2];
    for (int linked = 0; linked < 2; linked++) {
        rider_reset_pose(r);
        world.drop(r, 64, 64, 0);
        world.run(64);
        r->object_link = linked ? &link : nullptr;
        rider_crash(r);
        double nearest = 1e9;
        for (int i = 0; i < 384; i++) {
            const dReal* v = dBodyGetLinearVel(r->frame_body);
            if (-v[2] < 6.0 && i < 256)
                push_all(r, 0, 0, -(6.0 + v[2]));  // keep it sliding forward at 6 ft/s
            world.tic();
            const dReal* p = dBodyGetPosition(r->front_wheel_body);
            double dx = p[0] - link.position[0], dy = p[1] - 3.0, dz = p[2] - ball_z;
            nearest = std::min(nearest, std::sqrt(dx * dx + dy * dy + dz * dz));
        }
        // The wheel's centre stays a wheel radius (about 0.9 ft) and the
        // ball's 3 ft apart when they meet, less the soft contact's give.
        if (linked)
            EXPECT_GT(nearest, 3.5) << "kept off the ball";
        else
            EXPECT_LT(nearest, 3.0) << "passes into the ball";
        r->object_link = nullptr;
    }
}

}  // namespace
