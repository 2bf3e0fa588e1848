// The line learner's own way round a track: reading the centre line and the
// jumps, rounding the corners, the speeds and the quarter-second samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tools/linegen/tool_path.h"

namespace {

// A square of side 100 ft, ridden anticlockwise seen from above (+x, then +z).
const char* const square = "# x z\n0 0\n100 0\n100 100\n0 100\n";

double distance_to_segment(double px, double pz, const tool_point& a, const tool_point& b)
{
    double dx = b.x - a.x, dz = b.z - a.z, l2 = dx * dx + dz * dz;
    double t = std::clamp(((px - a.x) * dx + (pz - a.z) * dz) / l2, 0.0, 1.0);
    return std::hypot(px - (a.x + t * dx), pz - (a.z + t * dz));
}

tool_pace test_pace()
{
    tool_pace p;
    p.top_speed = 50.0f;
    p.side_accel = 16.0f;
    p.braking = 10.0f;
    p.corner_margin = 7.0f;
    p.rough_speed = 10.0f;
    return p;
}

TEST(tool_path, reading_refuses_bad_centre_lines_and_jumps)
{
    std::string error;
    EXPECT_EQ(read_centre_line(square, &error).size(), 4u);
    struct {
        const char* text;
        const char* says;
    } bad[] = {
        {"0 0\n1 1\n", "fewer than 3"},
        {"0 0\n1 1\n2 x\n", "point 3"},
        {"0 0\n1 1\n2 2 junk\n", "point 3"},
        {"0 0\nnan 1\n2 2\n", "point 2"},
        {"0 0\n1e39 1\n2 2\n", "point 2"},
        {"", "fewer than 3"},
    };
    for (const auto& b : bad) {
        error.clear();
        EXPECT_TRUE(read_centre_line(b.text, &error).empty()) << b.text;
        EXPECT_NE(error.find(b.says), std::string::npos) << b.text << ": " << error;
    }
    error.clear();
    std::vector<tool_jump> j =
        read_jumps("# name ...\nt 1 2 1 0 17.39 35.39 41.14 51.14 6.00 30.0 27.2\n", &error);
    ASSERT_EQ(j.size(), 1u);
    EXPECT_TRUE(error.empty());
    EXPECT_FLOAT_EQ(j[0].design_speed, 27.2f);
    EXPECT_FLOAT_EQ(j[0].end, 51.14f);
    for (const char* text : {"t 1 2 1 0 17 35 41 51 6 30\n", "t 1 2 1 0 17 35 41 51 6 30 -3\n",
                             "t 1 2 1 0 17 35 41 inf 6 30 27\n"}) {
        error.clear();
        EXPECT_TRUE(read_jumps(text, &error).empty()) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(tool_path, rounded_corners_stay_within_the_margin_of_the_sides)
{
    std::vector<tool_point> c = read_centre_line(square, nullptr);
    std::vector<dense_point> d = round_corners(c, 7.0f);
    ASSERT_GT(d.size(), 300u);
    // A right angle: the arc's middle lies r (1 - cos 45) from both sides,
    // so the margin gives r = 7 / (1 - cos 45) = 23.9 ft, less than half a
    // side (50 ft / tan 45).
    double r = 7.0 / (1.0 - std::cos(M_PI / 4));
    double perimeter = 0.0, worst = 0.0;
    int on_arcs = 0;
    for (size_t i = 0; i < d.size(); i++) {
        const dense_point &p = d[i], &q = d[(i + 1) % d.size()];
        double step = std::hypot(q.x - p.x, q.z - p.z);
        EXPECT_LE(step, 1.01) << i;
        perimeter += step;
        double best = 1e9;
        for (size_t k = 0; k < c.size(); k++) best = std::min(best, distance_to_segment(p.x, p.z, c[k], c[(k + 1) % 4]));
        worst = std::max(worst, best);
        if (p.radius > 0.0f) {
            on_arcs++;
            EXPECT_NEAR(p.radius, r, 1e-3);
        }
    }
    EXPECT_LE(worst, 7.0 + 1e-3);
    EXPECT_GT(worst, 6.5);
    // Four quarter circles replace four corners: 400 - 8 r + 2 pi r.
    EXPECT_NEAR(perimeter, 400.0 - 8.0 * r + 2.0 * M_PI * r, 1.0);
    EXPECT_NEAR(on_arcs, 2.0 * M_PI * r, 8.0);
}

TEST(tool_path, speeds_follow_the_bends_the_braking_and_the_jumps)
{
    std::vector<dense_point> d = round_corners(read_centre_line(square, nullptr), 7.0f);
    tool_pace pace = test_pace();
    std::vector<float> v = loop_speeds(d, {}, pace);
    ASSERT_EQ(v.size(), d.size());
    double r = 7.0 / (1.0 - std::cos(M_PI / 4));
    double bend = std::sqrt(16.0 * r);  // 19.6 ft/s
    float fastest = 0.0f;
    for (size_t i = 0; i < d.size(); i++) {
        if (d[i].radius > 0.0f) {
            EXPECT_NEAR(v[i], bend, 1e-3);
        }
        fastest = std::max(fastest, v[i]);
        // Never faster than braking at 10 ft/s^2 allows into the next point.
        const dense_point &p = d[i], &q = d[(i + 1) % d.size()];
        double ds = std::hypot(q.x - p.x, q.z - p.z);
        EXPECT_LE(double(v[i]) * v[i], double(v[(i + 1) % v.size()]) * v[(i + 1) % v.size()] + 20.0 * ds + 1e-2);
    }
    // The straights between the arcs are 100 - 2 r = 52 ft; the speeds ask
    // no acceleration (the bike has its own), only braking: at the start of
    // a straight the rider may go as fast as it can still brake from to
    // 19.6 ft/s over 52 ft at 10 ft/s^2, below the top speed.
    EXPECT_NEAR(fastest, std::sqrt(bend * bend + 2 * 10.0 * (100.0 - 2 * r)), 1.0);

    // A jump on the first side, 30 ft past the corner: its run-up from 60 ft
    // before the face reaches back over the corner, which keeps its own
    // speed; on the straight the rider is held at the design speed, and the
    // flight from the lip to the landing's middle is airborne.
    tool_jump j = {float(r) + 30.0f, 0.0f, 1.0f, 0.0f, 5.0f, 10.0f, 12.0f, 16.0f, 25.0f};
    v = loop_speeds(d, {j}, pace);
    int flying = 0;
    for (size_t i = 0; i < d.size(); i++) {
        if (d[i].radius > 0.0f && d[i].x < 30.0f) {
            EXPECT_NEAR(v[i], bend, 1e-3);
        }
        if (std::fabs(d[i].z) > 0.5f) continue;
        double s = d[i].x - j.x;
        if (s >= -30.0 && s < 0.0) {
            EXPECT_FLOAT_EQ(v[i], 25.0f) << s;
        }
        if (s >= j.lip && s < 0.5 * (j.crest + j.end)) {
            EXPECT_FLOAT_EQ(v[i], -25.0f) << s;
            flying++;
        }
    }
    EXPECT_EQ(flying, 8);  // 5 .. 12 ft past the face, a point a foot
}

TEST(tool_path, bumpy_ground_is_ridden_at_the_rough_speed)
{
    // A straight of 400 ft with whoops from 150 to 250 (2-ft bumps every
    // 8 ft) and a roller 5 ft high and 20 ft long at 300.
    std::vector<tool_point> c = read_centre_line("0 0\n400 0\n400 200\n0 200\n", nullptr);
    std::vector<dense_point> d = round_corners(c, 7.0f);
    tool_pace pace = test_pace();
    auto ground = [](float x, float z) {
        if (z != 0.0f) return 0.0f;
        if (x >= 300 && x <= 320) {
            float s = std::sin(float(M_PI) * (x - 300) / 20.0f);
            return 5.0f * s * s;
        }
        if (x < 150 || x > 250) return 0.0f;
        float s = std::sin(float(M_PI) * (x - 150) / 8.0f);
        return 2.0f * s * s;
    };
    std::vector<float> v = loop_speeds(d, {}, pace, ground);
    for (size_t i = 0; i < d.size(); i++)
        if (std::fabs(d[i].z) < 0.5f && d[i].x > 160 && d[i].x < 240) {
            EXPECT_FLOAT_EQ(v[i], 10.0f) << d[i].x;
        }
    // Far from the whoops and the corners the straight is ridden fast, the
    // roller too (its bend over 6 ft strays about a foot).
    for (size_t i = 0; i < d.size(); i++)
        if (std::fabs(d[i].z) < 0.5f && ((d[i].x > 60 && d[i].x < 80) || (d[i].x > 300 && d[i].x < 320))) {
            EXPECT_GT(v[i], 20.0f) << d[i].x;
        }
}

TEST(tool_path, samples_lie_a_quarter_second_apart_moved_to_the_left)
{
    std::vector<dense_point> d = round_corners(read_centre_line(square, nullptr), 7.0f);
    std::vector<float> v(d.size(), 20.0f);
    std::vector<tool_point> t = timed_loop(d, v, 2.0f);
    ASSERT_GT(t.size(), 10u);
    // 20 ft/s for a quarter second: 5 ft apart along the way.
    size_t straight = 0;
    for (size_t i = 0; i + 1 < t.size(); i++) {
        EXPECT_FLOAT_EQ(t[i].speed, 20.0f);
        if (std::fabs(t[i].z + 2.0f) < 1e-3 && std::fabs(t[i + 1].z + 2.0f) < 1e-3) {
            // On the first side, ridden toward +x: left is -z.
            EXPECT_NEAR(t[i + 1].x - t[i].x, 5.0, 1e-3);
            straight++;
        }
    }
    EXPECT_GE(straight, 8u);
    // The samples are spaced along the centre line, then moved aside.
    double r = 7.0 / (1.0 - std::cos(M_PI / 4));
    double perimeter = 400.0 - 8.0 * r + 2.0 * M_PI * r;
    EXPECT_NEAR(double(t.size()), perimeter / 5.0, 1.0);
    // Slow stretches still move on a foot at a time.
    std::vector<float> crawl(d.size(), 0.5f);
    EXPECT_NEAR(double(timed_loop(d, crawl, 0.0f).size()), perimeter, 4.0);
}

}  // namespace
