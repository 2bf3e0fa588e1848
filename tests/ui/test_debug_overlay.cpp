// The world view's debug drawing: which markers take part and in what order
// their bubbles are drawn (recorded through a stand-in GL, no pixels), the
// bubble's shape, and the racing lines drawn as fading strips.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "ai/racing_lines.h"
#include "game/sim_tic.h"
#include "gfx/test_ztgl_fake_gl.h"
#include "physics/rider.h"
#include "ui/debug_overlay.h"

namespace {

// The camera at the origin looks along -z: x right, y up.
const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

marker make_marker(float z, const char* text = "")
{
    marker m{};
    m.z = z;
    snprintf(m.text, sizeof m.text, "%s", text);
    return m;
}

TEST(marker_key_list, markers_closer_than_two_feet_or_behind_are_left_out)
{
    const float camera[3] = {0, 0, 0}, z[3] = {0, 0, 1};
    struct row {
        float depth;
        bool listed;
    } rows[] = {
        {-10, true},     // well in front
        {-2.01f, true},  // just past the 2-ft limit
        {-2, false},     // on it: its key equals the lowered camera key
        {-1.5f, false},  // too close to read
        {0, false},      // at the eye
        {5, false},      // behind
    };
    std::vector<marker> table;
    for (const row& r : rows) table.push_back(make_marker(r.depth));
    std::vector<int32_t> list(2 * table.size());
    int n = marker_key_list(table.data(), int(table.size()), camera, z, list.data());
    std::vector<int32_t> want;
    for (int i = 0; i < int(std::size(rows)); i++)
        if (rows[i].listed) want.push_back(i);
    EXPECT_EQ(std::vector<int32_t>(list.begin(), list.begin() + n), want);
    // Keys are the billboards' feet x 1024 above 2^24.
    EXPECT_EQ(table[0].sort_key, 16777216 - 10240);
}

TEST(marker_bubble, box_holds_every_text_line_and_the_tail_reaches_the_point)
{
    for (int n : {1, 2, 5}) {
        const float u = 3;
        float p[9][2];
        marker_bubble(u, n, p);
        float top = -1e9f, bottom = 1e9f, left = 1e9f, right = -1e9f;
        for (int i = 1; i < 9; i++) {
            if (i == 4) continue;  // the tail's point
            top = std::max(top, p[i][1]), bottom = std::min(bottom, p[i][1]);
            left = std::min(left, p[i][0]), right = std::max(right, p[i][0]);
        }
        // Text lines of height 1 stand from y = 1 up to y = n + 1, 2u wide.
        EXPECT_FLOAT_EQ(bottom, 1) << n;
        EXPECT_FLOAT_EQ(top, float(n) + 1) << n;
        EXPECT_FLOAT_EQ(left, -u) << n;
        EXPECT_FLOAT_EQ(right, u) << n;
        EXPECT_FLOAT_EQ(p[4][0], 0);
        EXPECT_FLOAT_EQ(p[4][1], 0);
        // A fan from a centre inside the box: every triangle turns the same
        // way (counter-clockwise, facing the camera), none folds over.
        EXPECT_GT(p[0][1], 1) << n;
        EXPECT_LT(p[0][1], float(n) + 1) << n;
        for (int i = 1; i + 1 < 9; i++) {
            float ax = p[i][0] - p[0][0], ay = p[i][1] - p[0][1];
            float bx = p[i + 1][0] - p[0][0], by = p[i + 1][1] - p[0][1];
            EXPECT_GE(ax * by - ay * bx, 0) << "n " << n << " triangle " << i;
        }
    }
}

TEST(marker_text_lines, newlines_plus_one)
{
    struct row {
        std::string text;
        int lines;
    } rows[] = {{"", 1}, {"front:", 1}, {"a\n", 2}, {"front:\nspeed=1.00\nrear:\n", 4},
                {std::string(1023, 'x'), 1}, {std::string(1023, '\n'), 1024}};
    for (const row& r : rows) EXPECT_EQ(marker_text_lines(r.text.c_str()), r.lines) << r.text.size();
}

// The fans drawn after a flush, each as the y of its first vertex (the
// bubble's centre, n/2 + 1 for n lines), in drawing order.
std::vector<float> drawn_bubbles()
{
    ztgl_flush();
    std::vector<float> out;
    for (const fake_gl_call& c : fake_calls("DrawArrays"))
        if (c.a == GL_TRIANGLE_FAN) {
            EXPECT_EQ(c.c, 9u);
            out.push_back(fake_gl.vertex_upload.at(c.b).position[1]);
        }
    return out;
}

TEST(draw_markers, farthest_first_and_only_those_in_front)
{
    fake_gl_layer_setup();
    marker_list_clear();
    // One, two and three lines tell the bubbles apart (centres 1.5, 2, 2.5).
    add_marker(0, 0, -20, "mid\nmid");
    add_marker(0, 0, 30, "behind");
    add_marker(0, 0, -40, "far\nfar\nfar");
    add_marker(0, 0, -5, "near");
    add_marker(0, 0, -1, "too close");
    const float camera[3] = {0, 0, 0};
    EXPECT_EQ(draw_markers(camera, identity), 3);
    EXPECT_EQ(drawn_bubbles(), (std::vector<float>{2.5f, 2, 1.5f}));
    // Depth test off for each bubble and on again after it.
    int off = 0, on = 0;
    for (const fake_gl_call& c : fake_gl.calls) {
        off += !strcmp(c.name, "Disable") && c.a == GL_DEPTH_TEST;
        on += !strcmp(c.name, "Enable") && c.a == GL_DEPTH_TEST;
    }
    EXPECT_EQ(off, 3);
    EXPECT_EQ(on, 3);

    // Turned round, the camera sees the one that was behind.
    fake_gl.calls.clear();
    const float turned[9] = {-1, 0, 0, 0, 1, 0, 0, 0, -1};
    EXPECT_EQ(draw_markers(camera, turned), 1);
    EXPECT_EQ(drawn_bubbles(), (std::vector<float>{1.5f}));
    marker_list_clear();
}

TEST(draw_markers, none_draws_nothing)
{
    fake_gl_layer_setup();
    marker_list_clear();
    const float camera[3] = {0, 0, 0};
    EXPECT_EQ(draw_markers(camera, identity), 0);
    ztgl_flush();
    EXPECT_TRUE(fake_gl.drawn_x.empty());
}

TEST(racing_line_alpha, solid_near_fading_to_a_sixteenth)
{
    // 1 - d^2/1000 until it reaches 1/16 at d = sqrt(937.5) = 30.6 ft.
    struct row {
        float d, alpha;
    } rows[] = {{0, 1}, {10, 0.9f}, {20, 0.6f}, {30, 0.1f}, {30.62f, 0.0625f}, {40, 0.0625f}, {1e6f, 0.0625f}};
    for (const row& r : rows) EXPECT_NEAR(racing_line_alpha(r.d), r.alpha, 1e-4f) << r.d;
}

TEST(draw_racing_lines, every_segment_of_every_line_once_as_strips)
{
    fake_gl_layer_setup();
    // A long line (more points than one strip holds), a two-point line, an
    // empty one; a second set.
    std::vector<line_point> long_line(3000), short_line(2);
    for (int i = 0; i < 3000; i++) long_line[i] = {float(i), 0, 0, 10, 0};
    short_line[0] = {-1, 0, 0, 10, 0};
    short_line[1] = {-2, 0, 0, 10, 0};
    std::vector<line_set> sets(2);
    for (line_set& s : sets)
        for (racing_line& l : s.lines) l = racing_line{};
    sets[0].lines[3].points = long_line.data();
    sets[0].lines[3].point_count = 3000;
    sets[1].lines[44].points = short_line.data();
    sets[1].lines[44].point_count = 2;
    racing_line_store saved = racing_line_sets;
    racing_line_sets = racing_line_store{};
    racing_line_sets.sets = sets.data();
    racing_line_sets.first_lap_sections = 1;
    racing_line_sets.normal_lap_sections = 1;
    const float camera[3] = {0, 0, 0};
    EXPECT_EQ(draw_racing_lines(camera), 3002);
    ztgl_flush();
    racing_line_sets = saved;

    // Count the segments drawn between neighbouring points: each one of
    // the 2999 + 1 exactly once, whatever the strips' cuts.
    std::vector<int> seen(3001, 0);
    size_t v = 0;
    for (const fake_gl_call& c : fake_calls("DrawArrays")) {
        ASSERT_EQ(c.a, (unsigned)GL_LINE_STRIP);
        for (unsigned i = 1; i < c.c; i++) {
            float a = fake_gl.drawn_x[v + i - 1], b = fake_gl.drawn_x[v + i];
            if (a < 0) seen[3000]++;
            else if (b == a + 1) seen[size_t(a)]++;
            else ADD_FAILURE() << "segment " << a << " to " << b;
        }
        v += c.c;
    }
    for (int i = 0; i < 2999; i++) EXPECT_EQ(seen[i], 1) << i;
    EXPECT_EQ(seen[3000], 1);
}

TEST(draw_racing_lines, nothing_without_loaded_lines)
{
    fake_gl_layer_setup();
    racing_line_store saved = racing_line_sets;
    racing_line_sets = racing_line_store{};
    const float camera[3] = {0, 0, 0};
    EXPECT_EQ(draw_racing_lines(camera), 0);
    racing_line_sets = saved;
}

}  // namespace

namespace {

TEST(draw_rider_path, a_box_round_every_path_point_the_target_twice_the_size)
{
    fake_gl_layer_setup();
    line_point path[3] = {{0, 1, 0, 10, 0}, {10, 1, 0, 10, 0}, {20, 1, 0, 10, 0}};
    static rider r;  // large: not on the stack
    r = rider{};
    r.line_path.items = path;
    r.line_path.count = 3;
    r.line_path.element_size = sizeof(line_point);
    r.path_target = 1;
    EXPECT_EQ(draw_rider_path(&r), 3);
    ztgl_flush();
    // Six quads a box, two triangles a quad.
    ASSERT_EQ(fake_gl.drawn_x.size(), 3u * 36u);
    const float half[3] = {0.125f, 0.25f, 0.125f};
    for (int b = 0; b < 3; b++) {
        auto first = fake_gl.drawn_x.begin() + 36 * b;
        auto [lo, hi] = std::minmax_element(first, first + 36);
        EXPECT_FLOAT_EQ(*lo, 10.0f * float(b) - half[b]) << b;
        EXPECT_FLOAT_EQ(*hi, 10.0f * float(b) + half[b]) << b;
    }
    r.line_path = growable_array{};
    // No path: nothing.
    fake_gl.drawn_x.clear();
    EXPECT_EQ(draw_rider_path(&r), 0);
}

}  // namespace
