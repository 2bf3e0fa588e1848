// The auto pilot riding the real physics on flat ground: it follows a
// straight line and a bend of synthetic racing lines, without NaN controls.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "ai/autopilot.h"
#include "core/alloc.h"
#include "core/game_state.h"
#include "physics/rider_build.h"
#include "ride_fixture.h"

namespace {

// Two sets (one first-lap section, one normal-lap section) each holding one
// line of points a quarter second apart at 20 ft/s, given by a function of
// the distance along the way.
struct line_world {
    line_set sets[2];
    racing_line_store saved;
    explicit line_world(void (*way)(double s, float* x, float* z))
    {
        saved = racing_line_sets;
        memset(sets, 0, sizeof sets);
        for (int k = 0; k < 2; k++) {
            racing_line& l = sets[k].lines[0];
            l.point_count = 60;
            l.points = static_cast<line_point*>(xmalloc(sizeof(line_point) * 60));
            for (int i = 0; i < 60; i++) {
                float x, z;
                way((k * 60 + i) * 5.0, &x, &z);
                l.points[i] = {x, 0.0f, z, 20.0f, 0.0f};
            }
            l.id = 900 + k;
            l.last_picked = -1000000;
        }
        racing_line_sets = racing_line_store{};
        racing_line_sets.sets = sets;
        racing_line_sets.first_lap_sections = 1;
        racing_line_sets.normal_lap_sections = 1;
    }
    ~line_world()
    {
        for (line_set& s : sets) racing_line_empty(&s.lines[0]);
        racing_line_sets = saved;
    }
};

void straight_way(double s, float* x, float* z) { *x = 0.0f, *z = float(-s); }
// Straight for 100 ft, then a right-hand arc of radius 80 ft.
void bend_way(double s, float* x, float* z)
{
    if (s < 100.0) {
        *x = 0.0f, *z = float(-s);
        return;
    }
    double a = (s - 100.0) / 80.0;
    *x = float(80.0 - 80.0 * std::cos(a));
    *z = float(-100.0 - 80.0 * std::sin(a));
}

struct ride_result {
    double worst_off = 0.0;  // greatest distance from the way
    double travelled = 0.0;
    double gap = 0.0;  // to the parked rider, centre to centre
    int finite = 1;
};

// parked_at: a second, held rider that far along the way (0: none).
ride_result ride(void (*way)(double, float*, float*), int seconds, double parked_at = 0.0)
{
    line_world lines(way);
    ride_test_world world;
    rider* r = world.add_rider("crf250(2013)", 0, 0.0, 0.0);
    EXPECT_NE(r, nullptr);
    ride_result out;
    if (!r) return out;
    r->line_path.count = 0;  // the rider starts with no path
    rider* parked = nullptr;
    if (parked_at > 0.0) {
        float x, z;
        way(parked_at, &x, &z);
        parked = world.add_rider("crf250(2013)", 1, x, z);
        rider_table[0] = r, rider_table[1] = parked;
    }
    r->autopilot_personality = 3;
    gate_drop_tic = 0;
    start_sequence_tic = 0;
    tic_counter = 128 * 10;  // the start is over
    const dReal* p0 = dBodyGetPosition(r->frame_body);
    double start[3] = {p0[0], p0[1], p0[2]};
    for (int t = 0; t < 128 * seconds; t++, tic_counter++) {
        autopilot_tic(r);
        for (float v : {r->throttle, r->clutch, r->steer, r->front_brake, r->rear_brake, r->dab})
            out.finite &= std::isfinite(v);
        if (parked) parked->front_brake = parked->rear_brake = parked->dab = 1.0f, parked->throttle = 0.0f;
        world.tic();
        const dReal* p = dBodyGetPosition(r->frame_body);
        double best = 1e9;
        for (double s = 0; s < 600.0; s += 1.0) {
            float x, z;
            way(s, &x, &z);
            best = std::min(best, std::hypot(p[0] - x, p[2] - z));
        }
        out.worst_off = std::max(out.worst_off, best);
    }
    const dReal* p = dBodyGetPosition(r->frame_body);
    out.travelled = std::hypot(p[0] - start[0], p[2] - start[2]);
    if (parked) {
        const dReal* q = dBodyGetPosition(parked->frame_body);
        out.gap = std::hypot(p[0] - q[0], p[2] - q[2]);
        rider_table[0] = rider_table[1] = nullptr;
    }
    return out;
}

TEST(autopilot_ride, follows_a_straight_line)
{
    ride_result r = ride(straight_way, 10);
    EXPECT_TRUE(r.finite);
    // Up to 20 ft/s from rest over 10 s covers well over 100 ft.
    EXPECT_GT(r.travelled, 100.0);
    // A bike is about 7 ft long: a rider on its line stays within that.
    EXPECT_LT(r.worst_off, 7.0);
}

TEST(autopilot_ride, follows_a_bend)
{
    ride_result r = ride(bend_way, 15);
    EXPECT_TRUE(r.finite);
    EXPECT_GT(r.travelled, 150.0);
    EXPECT_LT(r.worst_off, 7.0);
}

TEST(autopilot_ride, stops_behind_a_rider_standing_on_its_line)
{
    ride_result r = ride(straight_way, 12, 80.0);
    EXPECT_TRUE(r.finite);
    // It rides up (the parked rider is 80 ft on) and stops short of it.
    // It sees the rider once the boxes meet (its box reaches speed + 4 ft
    // ahead, 24 ft at 20 ft/s), which leaves it a few feet after braking:
    // the frames' centres stay more than a wheelbase (about 5 ft) apart,
    // so the bikes never overlap, and it does not ride through.
    EXPECT_GT(r.travelled, 40.0);
    EXPECT_LT(r.travelled, 80.0);
    EXPECT_GT(r.gap, 5.0);
    EXPECT_LT(r.gap, 25.0);
}

TEST(autopilot_ride, a_stuck_rider_recovers_and_is_dragged_after_19_seconds)
{
    line_world lines(straight_way);
    ride_test_world world;
    rider* r = world.add_rider("crf250(2013)", 0, 0.0, 0.0);
    ASSERT_NE(r, nullptr);
    r->line_path.count = 0;  // the rider starts with no path
    r->autopilot_personality = 1;
    gate_drop_tic = 0;
    start_sequence_tic = 0;
    tic_counter = 128 * 100;
    autopilot_tic(r);  // the first pick
    ASSERT_GT(r->line_path.count, 0);
    // Standing still, the target moves out to the carrot's 60 ft and stays.
    for (int t = 0; t < 64; t++, tic_counter++) autopilot_tic(r);
    const line_point* target = static_cast<const line_point*>(r->line_path.items) + r->path_target;
    EXPECT_NEAR(-target->z, 60.0, 5.0);
    EXPECT_EQ(r->recovery_counter, 0);
    // No target advance for more than 3 s: recovery.
    r->progress_stamp = tic_counter - 128 * 3 - 1;
    autopilot_tic(r);
    EXPECT_EQ(r->recovery_counter, 3);
    // 20 s without progress: dragged, the rider's own inputs at rest.
    r->progress_stamp = tic_counter - 128 * 20;
    const dReal* p = dBodyGetPosition(r->front_wheel_body);
    double z0 = p[2];
    for (int t = 0; t < 128 * 2; t++, tic_counter++) {
        autopilot_tic(r);
        EXPECT_FLOAT_EQ(r->throttle, 0.0f);
        EXPECT_FLOAT_EQ(r->dab, 1.0f);
        world.tic();
    }
    // Pulled toward the target ahead (along -z) at up to 5 ft/s.
    double moved = z0 - dBodyGetPosition(r->front_wheel_body)[2];
    EXPECT_GT(moved, 1.0);
    EXPECT_LT(moved, 2 * 5.0 + 1.0);
}

TEST(autopilot_ride, in_the_air_the_bars_turn_toward_the_front_wheels_travel)
{
    line_world lines(straight_way);
    ride_test_world world;
    rider* r = world.add_rider("crf250(2013)", 0, 0.0, 0.0);
    ASSERT_NE(r, nullptr);
    r->line_path.count = 0;
    r->autopilot_personality = 3;
    gate_drop_tic = 0;
    start_sequence_tic = 0;
    tic_counter = 128 * 10;
    autopilot_tic(r);  // the first pick
    // 8 ft up (below the 16 ft above which the bars are only centred), the
    // bars straight, moving at 30 ft/s along its way (-z) and 6 ft/s to the
    // side: the front wheel travels atan(6 / 30) = 11.3 degrees off where it
    // points. Falling 8 ft takes 0.7 s; a quarter second is well in the air.
    rider_translate(r, 0.0, 8.0, 0.0);
    dBodyID bodies[7] = {r->frame_body,     r->front_wheel_body, r->rear_wheel_body, r->fork_upper_body,
                         r->fork_lower_body, r->swingarm_body,    r->rider_body};
    for (dBodyID b : bodies) {
        dBodySetLinearVel(b, 6.0, 0.0, -30.0);
        dBodySetAngularVel(b, 0.0, 0.0, 0.0);
    }
    const double off = std::atan(6.0 / 30.0);
    double start = dJointGetHingeAngle(r->steering_joint);
    ASSERT_LT(std::fabs(start), 0.02);
    double travel = front_wheel_spin_angle(r);
    // Seen from the raked fork (its steering axis's share of the velocity
    // taken out) the forward part is shorter and the angle a little larger.
    ASSERT_GT(std::fabs(travel), off);
    ASSERT_LT(std::fabs(travel), 1.5 * off);
    for (int t = 0; t < 32; t++, tic_counter++) {
        autopilot_tic(r);
        world.tic();
        ASSERT_LE(r->front_contact.depth, 0.0f) << "landed at tic " << t;
    }
    // The bars have turned the way the wheel travels, and no further than
    // that travel (they would run on to full lock the other way if the
    // steering pushed them away from it).
    double hinge = dJointGetHingeAngle(r->steering_joint);
    EXPECT_GT(hinge * travel, 0.0) << "hinge " << hinge << ", travel " << travel;
    EXPECT_GT(std::fabs(hinge), 0.25 * off);
    EXPECT_LT(std::fabs(hinge), std::fabs(travel) + 0.05);
}

}  // namespace
