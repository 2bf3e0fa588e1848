// The auto pilot's pure rules: pedals, the start behind the gate, the turn
// radius, how lines are matched, picked and joined onto the path, and when
// the target moves on. Worked out by hand; no physics.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "ai/autopilot.h"
#include "core/alloc.h"
#include "core/array.h"
#include "core/game_state.h"

namespace {

constexpr double pi = 3.14159265358979323846;

// ---- Pedals ---------------------------------------------------------------------

struct pedal_case {
    const char* name;
    int airborne, crashed;
    double pitch, front_y, rear_y;
    int gear;
    double rpm, engage, speed, target;
    float throttle, clutch, front_brake, rear_brake;
};

TEST(autopilot_pedals, table)
{
    const pedal_case cases[] = {
        // On the ground: full throttle well below the target, a linear
        // fade over the last 1 ft/s, then braking by the excess up to 1.
        {"well below", 0, 0, 0, 0, 0, 2, 0, 5000, 10, 20, 1, 1, 0, 0},
        {"fading in", 0, 0, 0, 0, 0, 2, 0, 5000, 19.5, 20, 0.5f, 1, 0, 0},
        {"at target", 0, 0, 0, 0, 0, 2, 0, 5000, 20, 20, 0, 1, 0, 0},
        {"a little fast", 0, 0, 0, 0, 0, 2, 0, 5000, 20.25, 20, 0, 1, 0.25f, 0.25f},
        {"far too fast", 0, 0, 0, 0, 0, 2, 0, 5000, 40, 20, 0, 1, 1, 1},
        {"crashed", 1 - 1, 1, 0, 0, 0, 2, 0, 5000, 10, 20, 0, 1, 0, 0},
        // Neutral: the clutch follows the engine over the last 1000 rpm
        // below the engagement speed.
        {"neutral half way", 0, 0, 0, 0, 0, 0, 4500, 5000, 10, 20, 1, 0.5f, 0, 0},
        {"neutral idle", 0, 0, 0, 0, 0, 0, 3000, 5000, 10, 20, 1, 0, 0, 0},
        {"neutral revving", 0, 0, 0, 0, 0, 0, 7000, 5000, 10, 20, 1, 1, 0, 0},
        // In the air: throttle lifts a dropping front, the rear brake drops
        // a front more than a foot high.
        {"nose low, pitching down", 1, 0, -0.1, 1.0, 1.5, 2, 0, 5000, 10, 20, 1, 0.125f, 0, 0},
        {"pitching down hard", 1, 0, -1.0, 2.0, 1.0, 2, 0, 5000, 10, 20, 1, 0.125f, 0, 0},
        {"nose high", 1, 0, 0.0, 3.0, 1.5, 2, 0, 5000, 10, 20, 0, 0, 0, 1},
        {"nose a little high", 1, 0, 0.0, 2.0, 1.5, 2, 0, 5000, 10, 20, 0, 0.125f, 0, 0},
        {"nose high, dropping", 1, 0, -0.5, 3.0, 1.5, 2, 0, 5000, 10, 20, 0, 0.125f, 0, 0},
        {"crashed in the air", 1, 1, -1.0, 2.0, 1.0, 2, 0, 5000, 10, 20, 0, 0.125f, 0, 0},
    };
    for (const pedal_case& c : cases) {
        pedal_state s{};
        s.airborne = c.airborne, s.crashed = c.crashed, s.pitch_rate = c.pitch;
        s.front_height = c.front_y, s.rear_height = c.rear_y, s.gear = c.gear;
        s.engine_rpm = c.rpm, s.clutch_engage_rpm = c.engage;
        pedal_inputs o = autopilot_pedal_rule(s, c.speed, c.target);
        EXPECT_FLOAT_EQ(o.throttle, c.throttle) << c.name;
        EXPECT_FLOAT_EQ(o.clutch, c.clutch) << c.name;
        EXPECT_FLOAT_EQ(o.front_brake, c.front_brake) << c.name;
        EXPECT_FLOAT_EQ(o.rear_brake, c.rear_brake) << c.name;
    }
}

// ---- The start ---------------------------------------------------------------------

double fixed_value = 0.5;
double fixed_random() { return fixed_value; }

struct start_trace {
    std::vector<std::pair<double, double>> blips;  // throttle-on intervals before the launch
    double launch_at = -1, launch_end = -1, full_clutch_at = -1;
};

start_trace run_start(const autopilot_personality_row& p, double u)
{
    fixed_value = u;
    start_trace t;
    float start_time = 0.0f;
    double on_since = -1;
    for (int tic = 0; tic < 128 * 20; tic++) {
        double now = tic / 128.0;
        start_controls c{};
        int active = autopilot_start_step(&start_time, now, 5.0, 8.0, p, fixed_random, &c);
        if (!active) {
            if (t.launch_at >= 0 && t.launch_end < 0) t.launch_end = now;
            continue;
        }
        if (c.launching) {
            if (t.launch_at < 0) t.launch_at = now;
            if (c.ramp >= 1.0f && t.full_clutch_at < 0) t.full_clutch_at = now;
            continue;
        }
        if (now >= 5.0) continue;
        if (c.throttle > 0 && on_since < 0) on_since = now;
        if (c.throttle == 0 && on_since >= 0) t.blips.push_back({on_since, now}), on_since = -1;
    }
    return t;
}

TEST(autopilot_start, timeline_with_fixed_random_values)
{
    // With every random value 0.5: first blip at 2 x 0.5 = 1 s lasting
    // 0.25 + 0.25 s, a pause of 2 + 0.25 s, a second blip at 3.75 s; the
    // next would be at 6.5 s, capped at the sequence start of 5 s.
    start_trace t = run_start(autopilot_personalities[3], 0.5);
    ASSERT_EQ(t.blips.size(), 2u);
    EXPECT_DOUBLE_EQ(t.blips[0].first, 1.0);
    EXPECT_DOUBLE_EQ(t.blips[0].second, 1.5);
    EXPECT_DOUBLE_EQ(t.blips[1].first, 3.75);
    EXPECT_DOUBLE_EQ(t.blips[1].second, 4.25);
    // "dorn" launches 0.0 + 0.1 x 0.5 s after the drop at 8 s, lets the
    // clutch in over 0.25 s and hands over 2 s after the launch.
    EXPECT_NEAR(t.launch_at, 8.05, 1.0 / 128);
    EXPECT_NEAR(t.full_clutch_at - t.launch_at, 0.25, 1.0 / 128);
    EXPECT_NEAR(t.launch_end - t.launch_at, 2.0, 1.0 / 128);
}

TEST(autopilot_start, launch_delay_within_the_personality_range)
{
    for (int row = 1; row < autopilot_personality_count; row++) {
        const autopilot_personality_row& p = autopilot_personalities[row];
        for (double u : {0.0, 0.3, 0.999}) {
            start_trace t = run_start(p, u);
            SCOPED_TRACE(p.name);
            EXPECT_GE(t.launch_at, 8.0 + p.start_delay_min - 1e-6);
            EXPECT_LE(t.launch_at, 8.0 + p.start_delay_max + 1.0 / 128);
            EXPECT_GT(t.launch_end, t.launch_at);
        }
    }
}

TEST(autopilot_start, over_after_the_drop_plus_five_seconds)
{
    float start_time = 9.0f;  // a launch that would still run
    start_controls c{};
    EXPECT_EQ(autopilot_start_step(&start_time, 13.0, 5.0, 8.0, autopilot_personalities[1], fixed_random, &c), 0);
}

// ---- Turning ------------------------------------------------------------------------

TEST(autopilot_turn, offset_is_the_steady_turn_radius)
{
    // A steady turn at lean t needs v^2 / r = g tan t: at 32 ft/s and
    // lean 0.3 the centre lies 1024 / (32 tan 0.3) ft to the side.
    int straight = -1;
    double m = turn_offset(32.0, 0.3, 1.0, &straight);
    EXPECT_EQ(straight, 0);
    EXPECT_NEAR(std::fabs(m), 1024.0 / (32.0 * std::tan(0.3)), 1e-9);
    // Upright (and at rest) there is no circle: no division, no NaN.
    for (double speed : {0.0, 30.0}) {
        m = turn_offset(speed, 0.0, 1.0, &straight);
        EXPECT_EQ(straight, 1);
        EXPECT_TRUE(std::isfinite(m));
    }
}

TEST(autopilot_turn, radius_rule_table)
{
    struct rcase {
        const char* name;
        double p, f0, m;
        int straight;
        double radius;
    } cases[] = {
        // Upright: the circle through the rider, tangent to its way, and
        // the aim: (3 - R)^2 + 4^2 = R^2 gives R = 25/6.
        {"upright, aim ahead right", 3, 4, 0, 1, 25.0 / 6.0},
        {"upright, aim ahead left", -3, 4, 0, 1, -25.0 / 6.0},
        // An aim on the current turning circle (centre 10 to the side,
        // (4 - 10)^2 + 8^2 = 10^2) keeps that circle.
        {"aim on the turn", 4, 8, 10, 0, 10.0},
        {"aim on the left turn", -4, 8, -10, 0, -10.0},
        // Behind: a tight turn toward its side.
        {"behind left", -1, -5, 0, 1, -10.0},
        {"behind right", 1, -5, 0, 1, 10.0},
        {"beside", 0, 0, 5, 0, 10.0},
    };
    for (const rcase& c : cases) EXPECT_NEAR(turn_radius_rule(c.p, c.f0, c.m, c.straight), c.radius, 1e-9) << c.name;
    // Dead ahead the radius is huge but finite, whatever the lean.
    int straight = 0;
    double m = turn_offset(0.0, 0.0, 1.0, &straight);
    double r = turn_radius_rule(0.0, 20.0, m, straight);
    EXPECT_TRUE(std::isfinite(r));
    EXPECT_GT(std::fabs(r), 1e6);
    for (double p : {-5.0, 0.0, 5.0})
        for (double mm : {-20.0, 0.0, 1e-9, 20.0}) EXPECT_TRUE(std::isfinite(turn_radius_rule(p, 10.0, mm, 0)));
}

// ---- Lines and the path -------------------------------------------------------------

struct owned_line {
    racing_line l{};
    owned_line(std::vector<line_point> pts, int32_t id = 1)
    {
        l.point_count = int32_t(pts.size());
        if (!pts.empty()) {
            l.points = static_cast<line_point*>(xmalloc(sizeof(line_point) * pts.size()));
            memcpy(l.points, pts.data(), sizeof(line_point) * pts.size());
        }
        l.id = pts.empty() ? 0 : id;
    }
    ~owned_line() { racing_line_empty(&l); }
};

std::vector<line_point> straight(float x0, float z, int n, float speed = 20.0f)
{
    std::vector<line_point> v;
    for (int i = 0; i < n; i++) v.push_back({x0 + float(i), 0.0f, z, speed, 0.0f});
    return v;
}

std::vector<line_point> arc(double radius, double a0, int n, double step, float speed = 20.0f)
{
    std::vector<line_point> v;
    for (int i = 0; i < n; i++) {
        double a = a0 + i * step;
        v.push_back({float(radius * std::cos(a)), 0.0f, float(radius * std::sin(a)), speed, 0.0f});
    }
    return v;
}

TEST(autopilot_lines, match_scores)
{
    const double body[3] = {0, 0, 0};
    // Few path points: by the distance from the rider to the line's start,
    // full within 4 ft, nothing from 100 ft; 52 ft gives (48/96)^3 x 10.
    owned_line near_line({{4, 0, 0, 20, 0}, {5, 0, 0, 20, 0}});
    owned_line mid_line({{52, 0, 0, 20, 0}, {53, 0, 0, 20, 0}});
    owned_line far_line({{100, 0, 0, 20, 0}, {101, 0, 0, 20, 0}});
    EXPECT_DOUBLE_EQ(line_match_score(nullptr, 0, body, &near_line.l), 10.0);
    EXPECT_DOUBLE_EQ(line_match_score(nullptr, 0, body, &mid_line.l), 1.25);
    EXPECT_DOUBLE_EQ(line_match_score(nullptr, 0, body, &far_line.l), 0.0);

    // A circular path of radius 20: the same circle continues fully, one
    // 5 ft outside not at all, and a line 20 ft/s slower not at all.
    auto path = arc(20.0, 0.0, 3, 0.05);
    owned_line same(arc(20.0, 0.15, 4, 0.05));
    owned_line outside(arc(25.0, 0.15, 4, 0.05));
    owned_line slow(arc(20.0, 0.15, 4, 0.05, 0.0f));
    owned_line one_point(arc(20.0, 0.15, 1, 0.05));
    EXPECT_NEAR(line_match_score(path.data(), 3, body, &same.l), 1.0, 1e-3);
    EXPECT_NEAR(line_match_score(path.data(), 3, body, &outside.l), 0.0, 1e-3);
    EXPECT_DOUBLE_EQ(line_match_score(path.data(), 3, body, &slow.l), 0.0);
    EXPECT_DOUBLE_EQ(line_match_score(path.data(), 3, body, &one_point.l), 0.0);
    // A straight path end needs a straight continuation.
    auto sp = straight(0, 0, 3);
    owned_line ahead(straight(3, 0, 4));
    owned_line beside(straight(3, 6, 4));
    EXPECT_NEAR(line_match_score(sp.data(), 3, body, &ahead.l), 1.0, 1e-6);
    EXPECT_NEAR(line_match_score(sp.data(), 3, body, &beside.l), 0.0, 1e-6);
}

struct path_fixture {
    rider r{};
    path_fixture()
    {
        array_init(&r.line_path, sizeof(line_point));
        r.autopilot_personality = 1;
    }
    ~path_fixture() { array_free(&r.line_path); }
    void set(const std::vector<line_point>& pts)
    {
        r.line_path.count = 0;
        for (const line_point& p : pts) array_push(&r.line_path, &p);
    }
    line_point* pts() { return static_cast<line_point*>(r.line_path.items); }
};

TEST(autopilot_lines, pick_never_takes_an_empty_slot)
{
    path_fixture f;
    f.set(straight(0, 0, 3));
    static line_set set;
    memset(&set, 0, sizeof set);
    EXPECT_EQ(line_pick(&f.r, &set), nullptr);  // nothing to take
    // Only slot 7 holds a line, matching nothing and just picked: no total
    // is above 0, yet the line with points is taken, not empty slot 0.
    owned_line only(straight(500, 500, 3), 77);
    tic_counter = 1000;
    only.l.last_picked = tic_counter;
    set.lines[7] = only.l;
    const racing_line* got = line_pick(&f.r, &set);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->id, 77);
    set.lines[7] = racing_line{};
    // A finished rider picks nothing.
    f.r.finished = 1;
    set.lines[7] = only.l;
    EXPECT_EQ(line_pick(&f.r, &set), nullptr);
    set.lines[7] = racing_line{};
}

TEST(autopilot_lines, pick_prefers_the_continuation_and_stamps_lines_ending_together)
{
    path_fixture f;
    f.set(straight(0, 0, 3));
    static line_set set;
    memset(&set, 0, sizeof set);
    owned_line side(straight(3, 6, 10), 1);   // ends at (12, 6)
    owned_line ahead(straight(3, 0, 10), 2);  // ends at (12, 0)
    owned_line near_end({{3, 0, 30, 20, 0}, {12, 0, 2, 20, 0}}, 3);  // ends 2 ft from it
    tic_counter = 100000;
    for (owned_line* o : {&side, &ahead, &near_end}) o->l.last_picked = -1000000;
    set.lines[0] = side.l, set.lines[1] = ahead.l, set.lines[2] = near_end.l;
    const racing_line* got = line_pick(&f.r, &set);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->id, 2);
    EXPECT_EQ(set.lines[1].last_picked, tic_counter);
    EXPECT_EQ(set.lines[2].last_picked, tic_counter);  // ends within 3 ft
    EXPECT_EQ(set.lines[0].last_picked, -1000000);     // 6 ft off
    memset(&set, 0, sizeof set);
}

TEST(autopilot_lines, plan_mode_follows_the_lead)
{
    path_fixture a, b;
    a.r.slot = 0, b.r.slot = 1;
    a.r.autopilot_personality = 2;  // "corwen": mode 2, mode 1 leading by over 10 s
    for (rider* r : {&a.r, &b.r}) array_init(&r->gate_tics, sizeof(int32_t));
    // Both passed gates 0 and 1; the leader passed gate 1 at tic 1000.
    int32_t mine[2] = {100, 1000};
    for (int32_t t : mine) array_push(&a.r.gate_tics, &t);
    a.r.gate_count = b.r.gate_count = 2;
    rider_table[0] = &a.r, rider_table[1] = &b.r;
    race_order_count = 2;
    race_order[0] = {0, 2, 1000};
    race_order[1] = {1, 2, 0};
    struct mcase {
        int32_t their_tic;
        int32_t mode;
    } cases[] = {
        {1000 + 10 * 128 + 1, 1},  // just over 10 s behind
        {1000 + 10 * 128, 2},      // exactly 10 s: not above the threshold
        {900, 2},                  // passed it first: no lead
        {0, 2},                    // no tic recorded
    };
    for (const mcase& c : cases) {
        b.r.gate_tics.count = 0;
        int32_t theirs[2] = {100, c.their_tic};
        for (int32_t t : theirs) array_push(&b.r.gate_tics, &t);
        EXPECT_EQ(autopilot_plan_mode(&a.r), c.mode) << c.their_tic;
    }
    // The second rider itself plans in its normal mode.
    b.r.autopilot_personality = 3;
    EXPECT_EQ(autopilot_plan_mode(&b.r), 1);
    race_order_count = 1;
    EXPECT_EQ(autopilot_plan_mode(&a.r), 2);  // alone: never leading
    race_order_count = 0;
    rider_table[0] = rider_table[1] = nullptr;
    for (rider* r : {&a.r, &b.r}) array_free(&r->gate_tics);
}

TEST(autopilot_lines, joint_of_a_straight_continuation_stays_straight)
{
    path_fixture f;
    f.set(straight(0, 0, 10));
    owned_line next(straight(10, 0, 5));
    int32_t target = 6;
    double body[3] = {6, 0, 0}, fwd[3] = {1, 0, 0};
    path_append_line(&f.r.line_path, &target, &next.l, body, fwd);
    ASSERT_EQ(f.r.line_path.count, 15);
    // Evenly spaced collinear points with matching tangents: the Hermite
    // curve is the line itself.
    for (int i = 0; i < 15; i++) {
        EXPECT_NEAR(f.pts()[i].x, float(i), 1e-5) << i;
        EXPECT_NEAR(f.pts()[i].z, 0.0f, 1e-5) << i;
    }
}

TEST(autopilot_lines, joint_bends_between_its_ends_and_keeps_slower_speeds)
{
    path_fixture f;
    f.set(straight(0, 0, 10, 20.0f));
    owned_line next(straight(10, 2, 5, 40.0f));
    int32_t target = 6;
    double body[3] = {6, 0, 0}, fwd[3] = {1, 0, 0};
    path_append_line(&f.r.line_path, &target, &next.l, body, fwd);
    // The joint runs from point 6 (kept) to the first new point (kept).
    EXPECT_FLOAT_EQ(f.pts()[6].z, 0.0f);
    EXPECT_FLOAT_EQ(f.pts()[10].z, 2.0f);
    float last = 0.0f;
    for (int i = 7; i < 10; i++) {
        EXPECT_GT(f.pts()[i].z, last) << i;  // moves over steadily
        EXPECT_LT(f.pts()[i].z, 2.0f) << i;
        EXPECT_LE(f.pts()[i].speed, 20.0f) << i;  // never sped up
        last = f.pts()[i].z;
    }
}

TEST(autopilot_lines, no_smoothing_for_flights_or_one_point_lines)
{
    double body[3] = {0, 0, 0}, fwd[3] = {1, 0, 0};
    {
        path_fixture f;
        f.set(straight(0, 0, 10));
        owned_line flight(straight(10, 2, 5, -30.0f));
        int32_t target = 6;
        path_append_line(&f.r.line_path, &target, &flight.l, body, fwd);
        for (int i = 0; i < 10; i++) EXPECT_FLOAT_EQ(f.pts()[i].z, 0.0f) << i;
    }
    {
        path_fixture f;
        f.set(straight(0, 0, 10));
        owned_line dot(straight(10, 2, 1));
        int32_t target = 6;
        path_append_line(&f.r.line_path, &target, &dot.l, body, fwd);
        ASSERT_EQ(f.r.line_path.count, 11);
        for (int i = 0; i < 10; i++) EXPECT_FLOAT_EQ(f.pts()[i].z, 0.0f) << i;
    }
    {
        // An empty path takes 5 seeds, even for a line of one point.
        path_fixture f;
        owned_line dot(straight(3, 4, 1));
        int32_t target = 0;
        path_append_line(&f.r.line_path, &target, &dot.l, body, fwd);
        ASSERT_EQ(f.r.line_path.count, 6);
        for (int i = 0; i < 6; i++) EXPECT_FLOAT_EQ(f.pts()[i].x, 3.0f) << i;
    }
}

TEST(autopilot_lines, points_far_behind_the_target_are_dropped)
{
    path_fixture f;
    f.set(straight(0, 0, 50));
    owned_line next(straight(50, 0, 5));
    int32_t target = 40;
    double body[3] = {40, 0, 0}, fwd[3] = {1, 0, 0};
    path_append_line(&f.r.line_path, &target, &next.l, body, fwd);
    EXPECT_EQ(target, 30);
    EXPECT_EQ(f.r.line_path.count, 45);
    EXPECT_FLOAT_EQ(f.pts()[target].x, 40.0f);  // still the same point
}

TEST(autopilot_lines, target_advance_table)
{
    // Points 2 ft apart along +x: target 5 is at x = 10.
    auto path = straight(0, 0, 10);
    for (line_point& p : path) p.x *= 2.0f;
    const double back[3] = {-1, 0, 0};  // the rider heads along +x
    struct tcase {
        const char* name;
        double x, z;
        int32_t target;
        double reach_sq;
        int advances;
    } cases[] = {
        {"near", 7, 0, 5, 3600, 1},
        {"59 ft off", 10, 59, 5, 3600, 1},
        {"61 ft off", 10, 61, 5, 3600, 0},
        {"40 ft off, recovering", 10, 40, 5, 900, 0},
        {"past the end", 0, 0, 10, 3600, 0},
        {"negative", 0, 0, -1, 3600, 0},
        {"passed, the path running on", 20, 0, 5, 3600, 1},
    };
    for (const tcase& c : cases) {
        double pos[3] = {c.x, 0, c.z};
        EXPECT_EQ(path_target_advances(path.data(), 10, c.target, pos, back, c.reach_sq), c.advances) << c.name;
    }
    // Heading along -x, the path runs back at the rider: a target more than
    // 4 ft off is still to come, within 4 ft it is taken.
    const double reversed[3] = {1, 0, 0};
    double pos[3] = {20, 0, 0};
    EXPECT_EQ(path_target_advances(path.data(), 10, 5, pos, reversed, 3600), 0);
    pos[0] = 13;
    EXPECT_EQ(path_target_advances(path.data(), 10, 5, pos, reversed, 3600), 1);
    EXPECT_EQ(path_target_advances(nullptr, 0, 0, pos, reversed, 3600), 0);
}

TEST(autopilot_tic, idles_without_a_bike_or_lines)
{
    path_fixture f;
    f.r.throttle = 0.7f;
    f.r.autopilot_personality = 0;
    autopilot_tic(&f.r);  // a person's rider: untouched
    EXPECT_FLOAT_EQ(f.r.throttle, 0.7f);
    f.r.autopilot_personality = 2;
    autopilot_tic(&f.r);
    EXPECT_FLOAT_EQ(f.r.throttle, 0.0f);
    EXPECT_FLOAT_EQ(f.r.front_brake, 1.0f);
    EXPECT_FLOAT_EQ(f.r.rear_brake, 1.0f);
    EXPECT_FLOAT_EQ(f.r.dab, 1.0f);
    EXPECT_FLOAT_EQ(f.r.steer, 0.0f);
}

}  // namespace
