// Rider state records against real riders: poses rebuilt from a record sit
// where the joints put them, a recorded ride replays along its own path with
// matching velocities, and a simulated rider follows a record without
// blowing up.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/game_state.h"
#include "physics/bike_info.h"
#include "physics/physics_tic.h"
#include "physics/rider_build.h"
#include "physics/rider_collide.h"
#include "physics/rider_state.h"
#include "ride_fixture.h"

namespace {

constexpr double tic = 1.0 / 128.0;
constexpr float spacing = 16.0f;  // 65 samples: a 1024 ft square

float flat_ground(float, float) { return 0.0f; }
float ramp_ground(float x, float) { return 0.05f * x; }

const rider_state_ground ground = {64 * spacing, -64.0f, flat_ground};

double distance(const double a[3], const dReal* b)
{
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

// The angle between two body orientations.
double turn_between(const dReal* a, const dReal* b)
{
    double dot = std::fabs(a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3]);
    return 2.0 * std::acos(std::min(1.0, dot));
}

// A hand-built pose with every joint away from rest.
rider_state_values posed_values()
{
    rider_state_values v{};
    v.frame_position[0] = 300.0;
    v.frame_position[1] = 3.0;
    v.frame_position[2] = 400.0;
    double yaw = 0.7, roll = 0.2;  // yaw about y, then roll about the forward axis
    dQuaternion qy, qr, q;
    dQFromAxisAndAngle(qy, 0, 1, 0, yaw);
    dQFromAxisAndAngle(qr, 0, 0, 1, roll);
    dQMultiply0(q, qy, qr);
    for (int i = 0; i < 4; i++) v.frame_quaternion[i] = v.rider_quaternion[i] = q[i];
    v.steering_angle = 0.3;
    v.swingarm_angle = -0.2;
    v.fork_position = -0.3;
    // The rider body on its seat, where the rider joint holds it.
    const bike_main_values& m = bike_info_lookup("crf450(2011)")->main;
    double seat[3] = {m.rider_centre[0] - m.frame_centre[0], m.rider_centre[1] - m.frame_centre[1],
                      m.rider_centre[2] - m.frame_centre[2]};
    dMatrix3 R;
    dRfromQ(R, q);
    for (int k = 0; k < 3; k++) v.rider_offset[k] = R[4 * k] * seat[0] + R[4 * k + 1] * seat[1] + R[4 * k + 2] * seat[2];
    v.front_wheel_angle = 1.2;
    v.rear_wheel_angle = -2.5;
    v.drive.gear = 2;
    v.drive.throttle = 0.4f;
    v.engine_rpm = 6000.0;
    return v;
}

TEST(rider_state_ride, unpacked_pose_is_one_the_joints_accept)
{
    ride_test_world world(spacing);
    rider* r = world.add_rider("crf450(2011)", 0, 500.0, 500.0);
    const bike_info& row = bike_info_table()[r->bike_index];
    rider_state_values v = posed_values();
    rider_state_record rec;
    rider_state_encode(v, {ground.extent, ground.height_min, row.main.swingarm_travel, row.main.fork_travel}, &rec);
    ASSERT_EQ(rider_state_unpack(r, rec, 5, ground), 1);

    // The joints read back the packed angles...
    EXPECT_NEAR(dJointGetHingeAngle(r->steering_joint), 0.3, 0.01);
    EXPECT_NEAR(dJointGetHingeAngle(r->swingarm_joint), -0.2, 0.01);
    EXPECT_NEAR(dJointGetSliderPosition(r->fork_joint), -0.3, 0.01);
    EXPECT_NEAR(dJointGetHingeAngle(r->front_axle_joint), 1.2, 0.02);
    EXPECT_NEAR(dJointGetHingeAngle(r->rear_axle_joint), -2.5, 0.02);
    EXPECT_EQ(r->gear, 2);
    EXPECT_NEAR(r->engine_speed, 6000.0 * M_PI / 30.0, 1.0);

    // ...packing again gives the same bytes...
    rider_state_record again;
    rider_state_pack(r, ground, &again);
    for (int i = 0; i < 39; i++) EXPECT_NEAR(again.bytes[i], rec.bytes[i], i == 19 ? 2 : 1) << "byte " << i;

    // ...and the joints hold the pose as it is: one weightless step with no
    // velocity moves no body (a joint left out of line would snap back).
    dBodyID bodies[7];
    rider_bodies(r, bodies);
    double before[7][3];
    for (int i = 0; i < 7; i++) {
        std::memcpy(before[i], dBodyGetPosition(bodies[i]), sizeof before[i]);
        dBodySetLinearVel(bodies[i], 0, 0, 0);
        dBodySetAngularVel(bodies[i], 0, 0, 0);
        dBodySetForce(bodies[i], 0, 0, 0);
        dBodySetTorque(bodies[i], 0, 0, 0);
    }
    dWorldSetGravity(world.w.world, 0, 0, 0);
    dWorldStep(world.w.world, tic);
    for (int i = 0; i < 7; i++) EXPECT_LT(distance(before[i], dBodyGetPosition(bodies[i])), 1e-3) << "body " << i;
}

// Puts the rider at rest at `at`, packs it, moves it away and unpacks the
// record: every body comes back within the record's quanta (the fork byte's
// reserved bit costs one step of the fork travel). Gives the rest positions
// and the record.
void expect_rest_round_trip(rider* r, const double at[3], double rest[7][3], rider_state_record* rec)
{
    const bike_info& row = bike_info_table()[r->bike_index];
    rider_reset_pose(r);
    rider_translate(r, at[0], at[1], at[2]);
    dBodyID bodies[7];
    rider_bodies(r, bodies);
    for (int i = 0; i < 7; i++) std::memcpy(rest[i], dBodyGetPosition(bodies[i]), sizeof rest[i]);
    rider_state_pack(r, ground, rec);
    rider_translate(r, 5.0, 1.0, -3.0);
    ASSERT_EQ(rider_state_unpack(r, *rec, 5, ground), 1);
    for (int i = 0; i < 7; i++) {
        double tolerance = (i == 1 || i == 4) ? row.main.fork_travel / 255 + 5e-4 : i == 2 || i == 5 ? 3e-3 : 5e-4;
        EXPECT_LT(distance(rest[i], dBodyGetPosition(bodies[i])), tolerance) << row.name << " body " << i;
    }
}

TEST(rider_state_ride, rest_pose_round_trips_and_old_records_place_the_rider_on_its_lean_line)
{
    ride_test_world world(spacing);
    rider* r = world.add_rider("cr125", 0, 200.0, 200.0);
    const bike_main_values& m = bike_info_table()[r->bike_index].main;
    const double at[3] = {200.0, 0.0, 200.0};
    double rest[7][3];
    rider_state_record rec;
    expect_rest_round_trip(r, at, rest, &rec);

    // Version 4: the same first 20 bytes, then the lean byte at its top.
    rider_state_record old{};
    std::memcpy(old.bytes, rec.bytes, 20);
    old.bytes[20] = 255;
    old.bytes[23] = 0x01;  // gear 1
    ASSERT_EQ(rider_state_unpack(r, old, 4, ground), 1);
    double want[3];
    for (int k = 0; k < 3; k++) want[k] = rest[6][k] + m.rider_direction[k] * m.rider_limits[1];
    EXPECT_LT(distance(want, dBodyGetPosition(r->rider_body)), 1e-3);
    EXPECT_EQ(r->gear, 1);

    EXPECT_EQ(rider_state_unpack(r, rec, 3, ground), 0);
}

TEST(rider_state_ride, crashed_record_lets_the_rider_go_and_a_riding_one_takes_it_back_in_place)
{
    ride_test_world world(spacing);
    rider* r = world.add_rider("crf450(2011)", 0, 500.0, 500.0);
    rider_state_values v = posed_values();
    const bike_info& row = bike_info_table()[r->bike_index];
    rider_state_scales s = {ground.extent, ground.height_min, row.main.swingarm_travel, row.main.fork_travel};
    v.drive.crashed = 1;
    v.drive.crash_tics = 600;
    v.rider_offset[0] = 4.0;  // thrown off to the side
    rider_state_record rec;
    rider_state_encode(v, s, &rec);
    ASSERT_EQ(rider_state_unpack(r, rec, 5, ground), 1);
    EXPECT_EQ(r->crash_tics, 128);
    EXPECT_EQ(r->throttle, 0.0f);
    EXPECT_EQ(dJointGetBody(r->rider_joint, 0), nullptr);

    v.drive = {};
    v.drive.gear = 1;
    rider_state_encode(v, s, &rec);
    ASSERT_EQ(rider_state_unpack(r, rec, 5, ground), 1);
    EXPECT_EQ(r->crash_tics, 0);
    EXPECT_EQ(dJointGetBody(r->rider_joint, 0), r->rider_body);
    const dReal* f = dBodyGetPosition(r->frame_body);
    const dReal* b = dBodyGetPosition(r->rider_body);
    EXPECT_NEAR(b[0] - f[0], 4.0, 1e-3);  // kept where the record put it

    // Shown from its history, a rider that goes down holds its grips and
    // pegs where the crash happened, and its foot comes out over 16 tics.
    rider_recover(r);
    ride_state* st = ride_state_of(r);
    std::memset(st->target_points, 0, sizeof st->target_points);
    st->dab_amount = 0.0f;
    v.drive.crashed = 1;
    v.drive.crash_tics = 300;
    rider_state_encode(v, s, &rec);
    ASSERT_EQ(rider_state_apply(r, ground, rec, rec, rec, 1, 5), 1);
    EXPECT_GT(r->crash_tics, 0);
    float riding[4][3];
    double grip_gap = 0.0;
    r->crash_tics = 0;
    rider_target_points(r, riding);  // the grips and pegs of the pose now
    for (int k = 0; k < 3; k++) grip_gap += std::fabs(riding[0][k] - st->target_points[0][k]);
    EXPECT_LT(grip_gap, 1e-3);
    EXPECT_NEAR(st->dab_amount, 1.0f / 16.0f, 1e-6f);
    for (int i = 0; i < 20; i++) rider_state_apply(r, ground, rec, rec, rec, 1, 5);
    EXPECT_EQ(r->dab_effective, 1.0f);
}

// A scripted ride: throttle on in second gear with a slow weave, recorded
// every tic along with the frame's true path.
struct recorded_ride {
    std::vector<rider_state_record> records;
    std::vector<std::array<double, 3>> position, velocity, spin;
    std::vector<std::array<double, 4>> orientation;
};

const recorded_ride& scripted_ride()
{
    static recorded_ride ride;
    if (!ride.records.empty()) return ride;
    ride_test_world world(spacing);
    rider* r = world.add_rider("crf450(2011)", 0, 500.0, 900.0);
    world.run(64);
    for (int t = 0; t < 1000; t++) {
        r->arcade = 0;
        r->gear = 2;
        r->clutch = 1.0f;
        r->front_brake = r->rear_brake = 0.0f;
        r->dab = 0.0f;
        r->throttle = t < 600 ? 0.7f : 0.2f;
        r->steer = float(0.3 * std::sin(t * 2.0 * M_PI / 400.0));
        world.tic();
        rider_state_record rec;
        rider_state_pack(r, ground, &rec);
        ride.records.push_back(rec);
        const dReal* p = dBodyGetPosition(r->frame_body);
        const dReal* v = dBodyGetLinearVel(r->frame_body);
        const dReal* w = dBodyGetAngularVel(r->frame_body);
        const dReal* q = dBodyGetQuaternion(r->frame_body);
        ride.position.push_back({p[0], p[1], p[2]});
        ride.velocity.push_back({v[0], v[1], v[2]});
        ride.spin.push_back({w[0], w[1], w[2]});
        ride.orientation.push_back({q[0], q[1], q[2], q[3]});
    }
    return ride;
}

struct replay_error {
    double position = 0, turn = 0, velocity = 0, spin = 0;
};

// Replays the ride on a shown (not simulated) rider from every step-th
// record, blending in between as the history does, and measures the worst
// distance from the original frame.
replay_error replay(int step)
{
    const recorded_ride& ride = scripted_ride();
    ride_test_world world(spacing);
    rider* r = world.add_rider("crf450(2011)", 0, 100.0, 100.0);
    rider_recover(r);  // shown from its records
    replay_error e;
    for (int t = step; t < 1000; t++) {
        int lo = t / step * step, hi = lo + step;
        if (hi >= 1000) break;
        rider_state_record shown;
        rider_state_blend(ride.records[lo], ride.records[hi], float(t - lo) / float(step), &shown);
        if (!rider_state_apply(r, ground, shown, ride.records[lo], ride.records[hi], step, 5)) {
            ADD_FAILURE() << "apply refused tic " << t;
            break;
        }
        const dReal* p = dBodyGetPosition(r->frame_body);
        const dReal* q = dBodyGetQuaternion(r->frame_body);
        double want[3] = {ride.position[t][0], ride.position[t][1], ride.position[t][2]};
        dReal want_q[4] = {ride.orientation[t][0], ride.orientation[t][1], ride.orientation[t][2], ride.orientation[t][3]};
        e.position = std::max(e.position, distance(want, p));
        e.turn = std::max(e.turn, turn_between(q, want_q));
        // The records' velocity stands for the middle of their span: compare
        // with the true velocity there.
        int mid = lo + step / 2 + (step == 1 ? 1 : 0);
        double v_mid[3], w_mid[3];
        for (int k = 0; k < 3; k++) {
            v_mid[k] = step == 1 ? ride.velocity[hi][k] : 0.5 * (ride.velocity[mid][k] + ride.velocity[mid + 1][k]);
            w_mid[k] = step == 1 ? ride.spin[hi][k] : 0.5 * (ride.spin[mid][k] + ride.spin[mid + 1][k]);
        }
        e.velocity = std::max(e.velocity, distance(v_mid, dBodyGetLinearVel(r->frame_body)));
        e.spin = std::max(e.spin, distance(w_mid, dBodyGetAngularVel(r->frame_body)));
    }
    return e;
}

TEST(rider_state_ride, the_scripted_ride_moves)
{
    const recorded_ride& ride = scripted_ride();
    double dx = ride.position[999][0] - ride.position[0][0], dz = ride.position[999][2] - ride.position[0][2];
    EXPECT_GT(std::sqrt(dx * dx + dz * dz), 100.0);
    EXPECT_LT(std::sqrt(dx * dx + dz * dz), 600.0);
    // It turns, so a replay's angular velocity has something to get right.
    double top_spin = 0.0;
    for (const auto& w : ride.spin) top_spin = std::max(top_spin, std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]));
    EXPECT_GT(top_spin, 0.5);
}

TEST(rider_state_ride, replay_from_every_record_follows_the_original_path)
{
    replay_error e = replay(1);
    // The position quantum is 1024 ft / 2^24 = 0.00006 ft; the velocity of a
    // one-tic span is then exact to two quanta over a tic.
    EXPECT_LT(e.position, 1e-4);
    EXPECT_LT(e.turn, 1e-3);
    EXPECT_LT(e.velocity, 0.03);
    EXPECT_LT(e.spin, 0.05);
}

TEST(rider_state_ride, replay_from_every_fourth_record_with_blending_stays_near_the_path)
{
    replay_error e = replay(4);
    // Between records the path is a chord of the true curve: at most a few
    // hundredths of a foot at riding speed over four tics.
    EXPECT_LT(e.position, 0.02);
    EXPECT_LT(e.turn, 0.01);
    EXPECT_LT(e.velocity, 0.25);
    EXPECT_LT(e.spin, 0.25);
}

TEST(rider_state_ride, apply_lifts_a_rider_whose_rear_wheel_would_be_under_the_ground)
{
    const recorded_ride& ride = scripted_ride();
    ride_test_world world(spacing);
    rider* r = world.add_rider("crf450(2011)", 0, 100.0, 100.0);
    rider_recover(r);
    const bike_main_values& m = bike_info_table()[r->bike_index].main;
    rider_state_ground hill = {ground.extent, ground.height_min, ramp_ground};
    const rider_state_record& rec = ride.records[500];
    ASSERT_EQ(rider_state_apply(r, hill, rec, rec, rec, 1, 5), 1);
    dVector3 low;
    dBodyGetRelPointPos(r->rear_wheel_body, 0, 0, 0, low);
    dVector3 down;
    dBodyVectorToWorld(r->frame_body, 0, -m.rear_tyre_radius, 0, down);
    for (int k = 0; k < 3; k++) low[k] += down[k];
    EXPECT_NEAR(low[1], ramp_ground(float(low[0]), float(low[2])), 1e-3);
    // On flat ground nothing is lifted: the frame sits where it was recorded.
    ASSERT_EQ(rider_state_apply(r, ground, rec, rec, rec, 0, 5), 1);
    EXPECT_NEAR(dBodyGetPosition(r->frame_body)[1], ride.position[500][1], 1e-3);
    EXPECT_EQ(rider_state_apply(r, ground, rec, rec, rec, 1, 7), 0);

    // A span of 0 or fewer tics counts as one.
    const rider_state_record& before = ride.records[499];
    ASSERT_EQ(rider_state_apply(r, ground, rec, before, rec, 1, 5), 1);
    dVector3 one;
    std::memcpy(one, dBodyGetLinearVel(r->frame_body), sizeof one);
    EXPECT_GT(std::fabs(one[0]) + std::fabs(one[2]), 1.0);
    for (int tics : {0, -5}) {
        ASSERT_EQ(rider_state_apply(r, ground, rec, before, rec, tics, 5), 1);
        for (int k = 0; k < 3; k++) EXPECT_EQ(dBodyGetLinearVel(r->frame_body)[k], one[k]) << tics;
    }
}

// A simulated rider handed over from its records (presence between 0.25 and
// 0.5) starts 3 ft off and turned, follows the ride, then the last record
// for the rest of 10,000 tics.
TEST(rider_state_ride, a_following_rider_converges_and_stays_stable)
{
    const recorded_ride& ride = scripted_ride();
    ride_test_world world(spacing);
    rider* r = world.add_rider("crf450(2011)", 0, ride.position[0][0] + 3.0, ride.position[0][2]);
    double worst_late = 0.0, worst_speed = 0.0;
    int converged_at = -1;
    for (int t = 0; t < 10000; t++) {
        r->crash_blend = 0.4f;
        r->front_brake = r->rear_brake = 0.0f;
        // Along the ride the span is one tic; after it the last record alone.
        int i = std::min(t, 999), lo = t > 999 ? 999 : std::max(i - 1, 0);
        ASSERT_EQ(rider_state_follow(r, ground, ride.records[i], ride.records[lo], ride.records[i], 1, 5), 1);
        world.tic();
        const dReal* p = dBodyGetPosition(r->frame_body);
        double want[3] = {ride.position[i][0], ride.position[i][1], ride.position[i][2]};
        double err = distance(want, p);
        ASSERT_TRUE(std::isfinite(err)) << "tic " << t;
        if (converged_at < 0 && err < 0.25) converged_at = t;
        if (t > 2000) {
            worst_late = std::max(worst_late, err);
            const dReal* v = dBodyGetLinearVel(r->frame_body);
            worst_speed = std::max(worst_speed, std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
        }
    }
    EXPECT_GE(converged_at, 0);
    EXPECT_LT(converged_at, 256);
    EXPECT_LT(worst_late, 0.25);
    EXPECT_LT(worst_speed, 2.0);  // holding a still record: no growing oscillation
}

// Records arrive from the network and from demo files: any bytes at all, in
// either version, must pose, show and steer a rider without a NaN reaching
// the bodies, and the world must keep stepping.
TEST(rider_state_ride, any_bytes_in_a_record_leave_the_rider_finite)
{
    ride_test_world world(spacing);
    rider* r = world.add_rider("crf450(2011)", 0, 500.0, 500.0);
    uint32_t seed = 12345u;
    auto next_byte = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return uint8_t(seed >> 24);
    };
    auto finite = [r] {
        dBodyID bodies[7];
        rider_bodies(r, bodies);
        for (dBodyID b : bodies) {
            const dReal* p = dBodyGetPosition(b);
            const dReal* q = dBodyGetQuaternion(b);
            const dReal* v = dBodyGetLinearVel(b);
            for (int k = 0; k < 3; k++)
                if (!std::isfinite(p[k]) || !std::isfinite(v[k])) return false;
            for (int k = 0; k < 4; k++)
                if (!std::isfinite(q[k])) return false;
        }
        return std::isfinite(r->engine_speed) && std::isfinite(r->throttle) && std::isfinite(r->steer);
    };
    for (int round = 0; round < 64; round++) {
        rider_state_record rec[3];
        for (auto& one : rec)
            for (uint8_t& b : one.bytes) b = round == 0 ? 0x00 : round == 1 ? 0xFF : next_byte();
        int version = round % 2 ? 4 : 5;
        SCOPED_TRACE(round);
        ASSERT_EQ(rider_state_unpack(r, rec[0], version, ground), 1);
        ASSERT_TRUE(finite());
        r->crash_blend = 0.0f;
        ASSERT_EQ(rider_state_apply(r, ground, rec[0], rec[1], rec[2], round % 5 - 1, version), 1);
        ASSERT_TRUE(finite());
        r->crash_blend = 0.4f;
        ASSERT_EQ(rider_state_follow(r, ground, rec[0], rec[1], rec[2], 1, version), 1);
        world.run(2);
        ASSERT_TRUE(finite());
    }
}

TEST(rider_state_ride, pose_restore_carries_each_body_back_in_one_tic)
{
    ride_test_world world(spacing);
    rider* r = world.add_rider("cr125", 0, 200.0, 200.0);
    r->throttle = 0.5f;
    r->engine_speed = float(7000.0 * M_PI / 30.0);
    rider_pose_snapshot snap;
    rider_pose_save(r, &snap);
    EXPECT_NEAR(snap.engine_rpm, 7000.0f, 0.1f);

    // Move the whole rider 0.1 ft along x and turn it 0.01 rad about y.
    rider_translate(r, 0.1, 0.0, 0.0);
    dBodyID bodies[7];
    rider_bodies(r, bodies);
    dQuaternion turn, q;
    dQFromAxisAndAngle(turn, 0, 1, 0, 0.01);
    for (dBodyID b : bodies) {
        dQMultiply0(q, turn, dBodyGetQuaternion(b));
        dBodySetQuaternion(b, q);
    }
    int32_t saved_tic = tic_counter;
    tic_counter = 5;
    snap.throttle = 1.5f;
    rider_pose_restore(r, snap);
    tic_counter = saved_tic;
    for (int i = 0; i < 7; i++) {
        const dReal* v = dBodyGetLinearVel(bodies[i]);
        const dReal* w = dBodyGetAngularVel(bodies[i]);
        EXPECT_NEAR(v[0], -12.8, 1e-3) << i;  // 0.1 ft back in 1/128 s
        EXPECT_NEAR(w[1], -1.28, 1e-3) << i;  // 0.01 rad back, per second
        EXPECT_NEAR(dBodyGetPosition(bodies[i])[0], snap.position[i][0], 1e-5) << i;
    }
    EXPECT_EQ(r->throttle, 1.0f);
    r->crash_tics = 300;
    rider_pose_restore(r, snap);
    EXPECT_EQ(r->throttle, 0.0f);
}

// The same from a standing record, for the lightest and the heaviest rows: a
// light frame is where a stiff angular damper would go unstable.
TEST(rider_state_ride, following_a_standing_record_settles_for_light_and_heavy_bikes)
{
    for (const char* bike : {"rs50cr", "cr125", "crf450(2011)"}) {
        ride_test_world world(spacing);
        rider* r = world.add_rider(bike, 0, 500.0, 500.0);
        world.run(256);
        rider_state_record rec;
        rider_state_pack(r, ground, &rec);
        double home[3];
        std::memcpy(home, dBodyGetPosition(r->frame_body), sizeof home);
        // Pushed 2 ft aside and turned a little.
        rider_translate(r, 2.0, 0.0, 0.0);
        dBodyAddTorque(r->frame_body, 0.0, 3000.0, 0.0);
        double worst_late = 0.0, worst_spin = 0.0;
        for (int t = 0; t < 10000; t++) {
            r->crash_blend = 0.3f;
            ASSERT_EQ(rider_state_follow(r, ground, rec, rec, rec, 1, 5), 1);
            world.tic();
            double err = distance(home, dBodyGetPosition(r->frame_body));
            ASSERT_TRUE(std::isfinite(err)) << bike << " tic " << t;
            if (t > 1000) {
                worst_late = std::max(worst_late, err);
                const dReal* w = dBodyGetAngularVel(r->frame_body);
                worst_spin = std::max(worst_spin, std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]));
            }
        }
        EXPECT_LT(worst_late, 0.1) << bike;
        EXPECT_LT(worst_spin, 0.5) << bike;
    }
}

// Every bike of the table: both travels usable as divisors, and the rest pose
// comes back from its own record.
TEST(rider_state_ride, every_bike_row_round_trips_its_rest_pose)
{
    ride_test_world world(spacing);
    for (int i = 0; i < bike_info_count; i++) {
        const bike_info& row = bike_info_table()[i];
        EXPECT_GT(row.main.fork_travel, 0.0f) << row.name;
        EXPECT_GT(row.main.swingarm_travel, 0.0f) << row.name;
        rider* r = world.add_rider(row.name, 1, 300.0, 300.0);
        const double at[3] = {300.0, 2.0, 300.0};
        double rest[7][3];
        rider_state_record rec;
        expect_rest_round_trip(r, at, rest, &rec);
        world.riders.pop_back();
        rider_destroy(r);
    }
}

} // namespace
