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
// rider leans to the lean his bars ask for, at most 35 degrees, which at
// 30 ft/s is a circle of v^2 / (g tan 35) = 40 ft: on the paddock he turns
// in nearer its middle so the circle stays on it. The arcade lean motor sets the lean within the first three seconds;
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
                                           circle_ride{"paddock_realistic", "practice", 0, 0.5f, 35, 370, 2, 5, 55}),
                         [](const ::testing::TestParamInfo<circle_ride>& info) { return std::string(info.param.name); });

// A jump ridden at the speed its shape asks for: a kicker on the flat, and
// each jump of the generated tracks at the design speed the generator wrote
// for it (tracks/<name>/jumps: worked out there as the take-off speed whose
// arc from the lip comes down on the middle of the straight downslope; the
// shapes' own test, test_ride_jumps.cpp, flies that arc over the loaded
// terrain again). The kicker runs onto flat ground, so any speed lands; its
// rider holds 45 ft/s.
struct jump_ride {
    const char* name;  // a jump in the track's list; null: the flat kicker
    const char* track;
    const char* bike;
    int arcade;
    double run_in;   // ft of level run-in before the face (or through the jumps before it)
    double run_out;  // ft ridden on past the landing's foot
};

float kicker(float, float z)
{
    // A kicker rising toward -z: 3.5 ft over 10 ft, its lip at z = 70, flat
    // ground again beyond it.
    if (z > 80.0f || z < 70.0f)
        return 0.0f;
    return 3.5f * (80.0f - z) / 10.0f;
}

struct Jump : Ride, ::testing::WithParamInterface<jump_ride> {};

TEST_P(Jump, ClearsTheJumpAndLandsUpright)
{
    const jump_ride& ride_row = GetParam();
    ASSERT_TRUE(load(ride_row.track)) << "the generator writes it to build/data";
    // The ride's line: from the run-in up to the jump and past its foot.
    track_jump jump{};
    if (ride_row.name) {
        ASSERT_TRUE(track_jump_find(ride_row.track, ride_row.name, &jump)) << ride_row.name;
    } else {
        world.set_height(kicker);
        jump = {"kicker", 64, 80, 0, -1, 10, 10, 10, 60, 3.5, 19.3, 0};
    }
    const double run_in = ride_row.run_in, x0 = jump.x - run_in * jump.dx, z0 = jump.z - run_in * jump.dz;
    const double length = run_in + jump.end + ride_row.run_out;
    const double design = jump.design_speed;
    double heading = std::atan2(-jump.dx, -jump.dz);
    rider* r = world.add_rider(ride_row.bike, 0, x0, z0, heading);
    // Along the jump from its start (where the face leaves the level).
    auto along_point = [&](double x, double z) { return (x - jump.x) * jump.dx + (z - jump.z) * jump.dz; };
    auto along = [&] {
        const dReal* p = dBodyGetPosition(r->frame_body);
        return along_point(p[0], p[2]);
    };
    struct outcome {
        double takeoff_speed = 0, takeoff_angle = 0, landed_at = -1, landing_pitch = 0, most_nose_down = 0;
        int longest = 0, ruts = 0;
        bool crashed = false;
    };
    // One ride from the start at an approach speed, held with the throttle;
    // the flight measured is the first that leaves from the jump's face.
    auto ride = [&](double speed, bool ruts) {
        world.drop(r, x0, z0, heading);
        rider_reset_controls(r);
        r->arcade = ride_row.arcade;
        world.run(64);
        outcome o;
        int air = 0;
        double last_contact_speed = 0, last_contact_angle = 0;
        for (int i = 0; i < 128 * 8 && along() + run_in < length; i++) {
            cruise(r, speed);
            world.tic();
            if (ruts) {
                wheel_effects_tic(world.w, r);
                o.ruts = std::max(o.ruts, rider_rut_tracker(r, 1)->point_count + erode_queue.count);
            }
            bool flying = r->front_contact.depth <= 0 && r->rear_contact.depth <= 0;
            bool ours = along() > 0;
            const dReal* R = dBodyGetRotation(r->frame_body);
            double pitch = std::asin(std::clamp((double)R[6], -1.0, 1.0));  // nose down > 0
            if (flying && ours && o.landed_at < 0) {
                if (air == 0)
                    o.takeoff_speed = last_contact_speed, o.takeoff_angle = last_contact_angle;
                o.most_nose_down = std::max(o.most_nose_down, pitch);
            }
            if (!flying && ours && air > 25 && o.landed_at < 0) {
                // Where the bike's weight came down: the frame's centre (a
                // foot or so from the centre of mass of bike and rider) as
                // the first wheel touches. The first wheel itself touches
                // half a wheelbase behind it landing nose-up, ahead of it
                // nose-down.
                o.landed_at = along();
                o.landing_pitch = pitch;
            }
            if (!flying) {
                const dReal* v = dBodyGetLinearVel(r->frame_body);
                last_contact_speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
                last_contact_angle = std::atan2(v[1], std::hypot(v[0], v[2])) * 180 / phys::pi;
            }
            air = flying ? air + 1 : 0;
            if (ours && o.landed_at < 0)
                o.longest = std::max(o.longest, air);
            o.crashed = o.crashed || r->crash_tics > 0;
        }
        return o;
    };
    double approach = 45;
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
    SCOPED_TRACE(::testing::Message() << "design " << design << " ft/s, approach " << approach << ", took off at "
                                      << o.takeoff_speed << " ft/s " << o.takeoff_angle << " degrees up, came down at " << o.landed_at << " ft pitched "
                                      << o.landing_pitch * 180 / phys::pi << " degrees nose-down (most in the air "
                                      << o.most_nose_down * 180 / phys::pi << ")");
    EXPECT_FALSE(o.crashed);
    // A 3.5-ft lip at 19 degrees and 45 ft/s flies 0.5 s; a 4-ft lip at
    // 30 degrees and 21 ft/s about 0.8 s: 0.2 s (25 tics) is well short of
    // either and longer than any hop on the run-in.
    EXPECT_GT(o.longest, 25) << "in the air";
    ASSERT_GE(o.landed_at, 0.0) << "came down";
    if (design > 0) {
        // Taken at the jump's speed, it comes down on the landing: its
        // centre is between the crest and the run-out's foot as the first
        // wheel touches.
        // The take-off speed is held to 1 ft/s, which moves the arc's end
        // by about 2 v sin(2a) / g = 1.4 ft at 26 ft/s and 30 degrees; the
        // straight downslope and the run-out are 15 ft and more.
        EXPECT_NEAR(o.takeoff_speed, design, 1.0);
        EXPECT_GE(o.landed_at, jump.crest) << "not short on the top or in the gap";
        EXPECT_LE(o.landed_at, jump.end) << "not past the landing on the flat";
    }
    // Riding on, upright and straight (under the lean that a 2.5 ft/s^2
    // drift off its line would balance, as for a released turn), both
    // wheels down, at the speed the rider holds within 10 %: a landing
    // along the downslope keeps its speed, and the second of throttle
    // since makes up the rest.
    const double lean_max = std::atan(2.5 / phys::gravity);
    EXPECT_TRUE(on_ground);
    EXPECT_LT(std::fabs(final_lean), lean_max);
    // On the outdoor track the ground past the run-out goes back to the
    // hills, up or down, which changes the speed the throttle can hold.
    if (!ride_row.track || std::string(ride_row.track) == "stadium") {
        EXPECT_NEAR(final_speed, approach, 0.1 * approach);
    }
    // On a track's terrain the wheels left ruts: points went into the
    // trackers or on to the queue on the way (on the rides that roll on
    // 30 ft or more after the landing; the rhythm lane's tables, cut short
    // by the next jump or the lane's end, may not).
    if (track && ride_row.run_out >= 30) {
        EXPECT_GT(o.ruts, 0);
    }
}

std::vector<jump_ride> jump_rides()
{
    // 50 ft of run-in: the slowest class (a 125 at 0.4 g or so) reaches the
    // fastest design speed (36 ft/s) in 45 ft. The stadium's second table
    // follows the first 60 ft on: it is ridden from before the first, at the
    // same speed, as the rhythm lane is.
    // Past the landing the rider rides on 60 ft (two seconds: the throttle
    // makes up what the landing took), 20 ft where the next jump's face
    // comes 22 ft on or the lane turns 30 ft on, and 30 ft on the outdoor
    // track, which turns 40 ft on or more.
    std::vector<jump_ride> rows = {{nullptr, nullptr, "crf450(2011)", 1, 50, 60}};
    const struct {
        const char* name;
        const char* track;
        double run_in, run_out;
    } jumps[] = {{"stadium_table_1", "stadium", 50, 20}, {"stadium_table_2", "stadium", 112, 20},
                 {"stadium_tabletop", "stadium", 50, 60}, {"stadium_finish_table", "stadium", 50, 60},
                 {"practice_tabletop", "practice", 50, 30}, {"practice_double", "practice", 50, 30}};
    for (const char* bike : {"cr125", "crf450(2011)"})
        for (int arcade : {1, 0})
            for (const auto& j : jumps)
                rows.push_back({j.name, j.track, bike, arcade, j.run_in, j.run_out});
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Rides, Jump, ::testing::ValuesIn(jump_rides()), [](const ::testing::TestParamInfo<jump_ride>& info) {
    std::string s = std::string(info.param.name ? info.param.name : "kicker") + "_" + info.param.bike +
                    (info.param.arcade ? "_arcade" : "_realistic");
    for (char& c : s)
        if (!isalnum((unsigned char)c))
            c = '_';
    return s;
});

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
                         bike_model_test_name);

}  // namespace
