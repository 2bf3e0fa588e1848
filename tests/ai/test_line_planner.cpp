// The line planner over small synthetic sets: line costs, which lines join,
// the chained costs, the whole-lap plan and the look-ahead scores. Lines are
// straights and circular arcs written here; no physics.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "ai/line_planner.h"
#include "core/alloc.h"

namespace {

constexpr double pi = 3.14159265358979323846;

struct line_owner {
    racing_line l{};
    explicit line_owner(const std::vector<line_point>& pts, int32_t id = 1)
    {
        l.point_count = int32_t(pts.size());
        if (!pts.empty()) {
            l.points = static_cast<line_point*>(xmalloc(sizeof(line_point) * pts.size()));
            memcpy(l.points, pts.data(), sizeof(line_point) * pts.size());
        }
        l.id = id;
    }
    ~line_owner() { racing_line_empty(&l); }
};

// n points 5 ft apart from (x, z) along (dx, dz) (unit).
std::vector<line_point> run(float x, float z, float dx, float dz, int n, float speed = 20.0f)
{
    std::vector<line_point> v;
    for (int i = 0; i < n; i++) v.push_back({x + 5.0f * i * dx, 0.0f, z + 5.0f * i * dz, speed, 0.0f});
    return v;
}

// n points on a circle round the origin from angle a0 in steps of da.
std::vector<line_point> arc(double radius, double a0, double da, int n, float speed = 20.0f)
{
    std::vector<line_point> v;
    for (int i = 0; i < n; i++)
        v.push_back({float(radius * std::cos(a0 + i * da)), 0.0f, float(radius * std::sin(a0 + i * da)), speed, 0.0f});
    return v;
}

TEST(line_planner, cost_table)
{
    struct ccase {
        int32_t tested, failures, sum_mid, mode;
        int64_t cost;
    } cases[] = {
        // Fewer than 5 tests: not planned on in modes 0 and 1.
        {4, 0, 400, 0, 1000000},
        {4, 0, 400, 1, 1000000},
        {4, 0, 400, 2, 100},  // mode 2 trusts any test: 400 / 4
        {0, 0, 0, 2, 1000000},
        // 5 s of tics (640) weighted by the failure share, plus the mean.
        {10, 0, 1000, 0, 100},
        {10, 10, 1000, 0, 100 + 320},
        {10, 10, 1000, 1, 100 + 365},  // share 0.5 x 8/7 = 0.571 -> 365.7
        {10, 10, 1000, 2, 100 + 640},  // share 2, capped at 1
        // Exploring: untried lines first, then by the bit length of
        // tested + 4 x failures; lines failing four times as often as
        // they succeed are shunned.
        {0, 0, 0, 3, 0},
        {1, 0, 0, 3, 5000},
        {3, 1, 0, 3, 7000},
        {2, 4, 0, 3, 9000},
        {1, 5, 0, 3, 100000},
    };
    for (const ccase& c : cases) {
        racing_line l{};
        l.tested = c.tested, l.failures = c.failures, l.sum_time_mid = c.sum_mid;
        EXPECT_EQ(line_cost(&l, c.mode), c.cost) << c.tested << " " << c.failures << " mode " << c.mode;
    }
}

TEST(line_planner, circle_through_points)
{
    // Three points of a circle of radius 50 round the origin.
    auto p = arc(50.0, 0.3, 0.1, 3);
    double c[2];
    circle_through_points(p[0], p[1], p[2], c);
    EXPECT_NEAR(c[0], 0.0, 1e-3);
    EXPECT_NEAR(c[1], 0.0, 1e-3);
    // Collinear: far off to the side, on the first two points' bisector.
    auto s = run(0, 0, 0, -1, 3);
    circle_through_points(s[0], s[1], s[2], c);
    EXPECT_GT(std::fabs(c[0]), 1e5);
    EXPECT_NEAR(c[1], -2.5, 1e-6);
}

TEST(line_planner, reachability_table)
{
    line_owner straight(run(0, 0, 0, -1, 3));  // ends at (0, -10)
    line_owner bend(arc(50.0, 0.0, 0.1, 5));
    struct rcase {
        const char* name;
        const racing_line* from;
        std::vector<line_point> to;
        int joins;
    } cases[] = {
        {"straight on", &straight.l, run(0, -15, 0, -1, 3), 1},
        {"2 ft aside", &straight.l, run(2, -15, 0, -1, 3), 1},
        {"3 ft aside", &straight.l, run(3, -15, 0, -1, 3), 0},
        {"turning off", &straight.l, run(0, -15, 0.6f, -0.8f, 3), 0},
        {"one point", &straight.l, run(0, -15, 0, -1, 1), 0},
        {"two points on the way", &straight.l, run(0, -15, 0, -1, 2), 1},
        {"15 ft/s slower", &straight.l, run(0, -15, 0, -1, 3, 5.0f), 1},
        {"16 ft/s slower", &straight.l, run(0, -15, 0, -1, 3, 4.0f), 0},
        {"the same circle", &bend.l, arc(50.0, 0.5, 0.1, 3), 1},
        {"a circle 2 ft out", &bend.l, arc(52.0, 0.5, 0.1, 3), 1},
        {"a circle 4 ft out", &bend.l, arc(54.0, 0.5, 0.1, 3), 0},
        {"straight off the circle", &bend.l, run(float(50 * std::cos(0.5)), float(50 * std::sin(0.5)), 0, 1, 3), 0},
    };
    for (const rcase& c : cases) {
        line_owner to(c.to);
        EXPECT_EQ(line_reaches(c.from, &to.l), c.joins) << c.name;
    }
    line_owner two(run(0, 0, 0, -1, 2));
    line_owner next(run(0, -10, 0, -1, 3));
    EXPECT_EQ(line_reaches(&two.l, &next.l), 0);  // no curve to continue
}

// A round track of radius 50 (lane a) and 56 (lane b, too far to cross
// into): one first-lap section (the quarter before angle 0) and two
// normal-lap halves. Each line's statistics give its cost in mode 0
// (10 tests, no failures: sum_time_mid / 10).
struct round_track {
    line_set sets[3];
    racing_line_store saved;
    round_track(const int32_t cost_a[3], const int32_t cost_b[3])
    {
        saved = racing_line_sets;
        memset(sets, 0, sizeof sets);
        const double a0[3] = {-pi / 2, 0.0, pi};
        const double span[3] = {pi / 2, pi, pi};
        for (int s = 0; s < 3; s++)
            for (int lane = 0; lane < 2; lane++) {
                racing_line& l = sets[s].lines[lane == 0 ? 3 : 8];
                int n = s == 0 ? 10 : 20;
                auto pts = arc(lane == 0 ? 50.0 : 56.0, a0[s], span[s] / n, n);
                l.points = static_cast<line_point*>(xmalloc(sizeof(line_point) * pts.size()));
                memcpy(l.points, pts.data(), sizeof(line_point) * pts.size());
                l.point_count = n;
                l.tested = 10;
                l.sum_time_mid = 10 * (lane == 0 ? cost_a[s] : cost_b[s]);
                l.id = 100 * (s + 1) + (lane == 0 ? 3 : 8);
            }
        racing_line_sets = racing_line_store{};
        racing_line_sets.sets = sets;
        racing_line_sets.first_lap_sections = 1;
        racing_line_sets.normal_lap_sections = 2;
    }
    ~round_track()
    {
        for (line_set& s : sets)
            for (racing_line& l : s.lines) racing_line_empty(&l);
        racing_line_sets = saved;
    }
};

TEST(line_planner, whole_lap_stays_in_the_cheaper_lane)
{
    // Lane a: 100 + 300 a lap; lane b: 200 + 150. The lap keeps to b,
    // although a is quicker in the first half.
    const int32_t a[3] = {50, 100, 300}, b[3] = {70, 200, 150};
    round_track t(a, b);
    int32_t table[3] = {-1, -1, -1};
    lap_estimate e = ai_estimate_laps(table, 0);
    EXPECT_EQ(e.normal_lap, 350);
    EXPECT_EQ(e.first_lap, 70);  // the first lap must end in lane b
    EXPECT_EQ(table[0], 108);
    EXPECT_EQ(table[1], 208);
    EXPECT_EQ(table[2], 308);
}

TEST(line_planner, ties_take_the_first_line_and_few_tests_give_no_entry)
{
    const int32_t a[3] = {50, 100, 200}, b[3] = {50, 200, 100};
    round_track t(a, b);
    t.sets[1].lines[3].tested = 4;  // planned through, but not named
    t.sets[1].lines[3].sum_time_mid = 4 * 100;
    int32_t table[3];
    lap_estimate e = ai_estimate_laps(table, 2);
    EXPECT_EQ(e.normal_lap, 300);
    EXPECT_EQ(table[1], 0);  // lane a (slot 3 before slot 8), under 5 tests
    EXPECT_EQ(table[2], 303);
    EXPECT_EQ(table[0], 103);
}

TEST(line_planner, an_unreachable_section_spoils_every_chain)
{
    const int32_t a[3] = {50, 100, 300}, b[3] = {70, 200, 150};
    round_track t(a, b);
    // The second half's lanes moved 20 ft out: nothing continues into them.
    for (racing_line& l : t.sets[2].lines)
        for (int i = 0; i < l.point_count; i++) l.points[i].x *= 1.4f, l.points[i].z *= 1.4f;
    int32_t table[3] = {-1, -1, -1};
    lap_estimate e = ai_estimate_laps(table, 0);
    EXPECT_EQ(e.normal_lap, plan_unreachable);
    EXPECT_EQ(e.first_lap, plan_unreachable);
    // The trace meets no predecessor and leaves the sections unsettled.
    EXPECT_EQ(table[1], 0);
    EXPECT_EQ(table[2], 0);
}

TEST(line_planner, look_ahead_scores_in_proportion)
{
    const int32_t a[3] = {50, 100, 300}, b[3] = {70, 200, 150};
    round_track t(a, b);
    float scores[45];
    // 8 normal-lap sections from set 1: lane b 4 x 200 + 4 x 150 = 1400,
    // lane a 4 x 100 + 4 x 300 = 1600.
    plan_ahead(1, scores, 0);
    EXPECT_FLOAT_EQ(scores[8], 1.0f);
    EXPECT_FLOAT_EQ(scores[3], 1400.0f / 1600.0f);
    EXPECT_LT(scores[0], 1e-4f);  // an empty slot
    // Exploring, untried lines cost nothing and all score 1.
    for (line_set& s : t.sets)
        for (racing_line& l : s.lines) l.tested = 0, l.sum_time_mid = 0;
    plan_ahead(1, scores, 3);
    EXPECT_FLOAT_EQ(scores[3], 1.0f);
    EXPECT_FLOAT_EQ(scores[8], 1.0f);
}

}  // namespace
