// Gradients with no window: profile values worked by hand, the Placement and
// Edit tools driven through the cursor, "Set From Terrain", and "edinfo"
// written by hand, read, written again and attacked.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "editor/editor_state.h"
#include "editor/gradients.h"
#include "support/temp_dir.h"
#include "terrain/terrain.h"

namespace {

constexpr int32_t n = 65;

// A 65 x 65 grid of 1-ft cells; the view shows 64 ft over 640 pixels
// (10 px per ft) centred on (32, 32).
struct profile : ::testing::Test {
    terrain t{};
    std::vector<float> heights;
    void SetUp() override
    {
        t.size = n;
        t.exponent = 5;
        t.extent = float(n - 1);
        t.spacing = 1;
        t.inv_spacing = 1;
        heights.assign(size_t(n) * n, 0.0f);
        t.heights = heights.data();
        editor_state_begin(&t);
        editor.window_w = editor.window_h = 640;
        editor.settings.zoom = 0;
    }
    void TearDown() override { editor_state_end(); }
    void aim(float x, float z)
    {
        editor.cursor[0] = int32_t(std::lround(320 + (x - 32) * 10));
        editor.cursor[1] = int32_t(std::lround(320 + (z - 32) * 10));
    }
    gradient* g() { return array_items<gradient>(&editor.gradients) + editor.selected_gradient; }
    // A new gradient along +x from (sx, sz) with the given points.
    void make(float sx, float sz, float length, std::initializer_list<std::tuple<float, float, int>> pts)
    {
        gradient_new();
        g()->start_x = sx, g()->start_z = sz, g()->end_x = sx + length, g()->end_z = sz;
        g()->points.count = g()->types.count = 0;
        for (auto [d, y, type] : pts) {
            gradient_point p = {d, y};
            uint8_t k = uint8_t(type);
            array_push(&g()->points, &p);
            array_push(&g()->types, &k);
        }
    }
    int32_t count() { return g()->points.count; }
    gradient_point point(int32_t i) { return array_items<gradient_point>(&g()->points)[i]; }
    uint8_t type(int32_t i) { return array_items<uint8_t>(&g()->types)[i]; }
};

TEST_F(profile, queries_answer_0_without_a_gradient)
{
    EXPECT_EQ(gradient_profile_at(3), 0.0f);
    EXPECT_EQ(gradient_linear_at(1, 2), 0.0f);
    EXPECT_EQ(gradient_radial_at(1, 2), 0.0f);
    EXPECT_EQ(gradient_selected_length(), 0.0f);
    make(0, 0, 10, {});
    EXPECT_EQ(gradient_linear_at(1, 2), 0.0f);
}

TEST_F(profile, one_point_is_constant_and_values_at_points_are_exact)
{
    make(0, 0, 10, {{4, 2.5f, 1}});
    for (float d : {-100.0f, 0.0f, 4.0f, 9.0f, 1e6f}) EXPECT_EQ(gradient_profile_at(d), 2.5f) << d;
    make(10, 0, 40, {{0, 1, 0}, {10, 3, 1}, {25, -2, 0}, {40, 7, 0}});
    struct row {
        float d, y;
    } rows[] = {
        {-5, 1}, {0, 1}, {10, 3}, {25, -2}, {40, 7}, {99, 7},  // before, at every point, past the end
        {5, 2},                                                   // Line halfway: (1 + 3) / 2
        {32.5f, 2.5f},                                            // Line halfway: (-2 + 7) / 2
    };
    for (const row& r : rows) {
        EXPECT_EQ(gradient_profile_at(r.d), r.y) << r.d;
        EXPECT_EQ(gradient_linear_at(10 + r.d, 123), r.y) << r.d;  // sideways without limit
    }
}

TEST_F(profile, a_curve_between_lines_meets_their_slopes_and_between_curves_takes_mean_slopes)
{
    // Slope +1 up to (10, 10), the curve to (20, 10), then slope -1.
    make(0, 0, 30, {{0, 0, 0}, {10, 10, 1}, {20, 10, 0}, {30, 0, 0}});
    EXPECT_FLOAT_EQ(gradient_point_slope(1), 1);
    EXPECT_FLOAT_EQ(gradient_point_slope(2), -1);
    // Difference quotients over 1/64 ft: the curve bends by at most 0.2 per
    // ft^2 here, so they miss the slope by about 0.2 x e / 2 = 0.0016.
    const float e = 1.0f / 64;
    EXPECT_NEAR((gradient_profile_at(10 + e) - gradient_profile_at(10)) / e, 1, 0.01f);
    EXPECT_NEAR((gradient_profile_at(20) - gradient_profile_at(20 - e)) / e, -1, 0.01f);
    // A cubic with end slopes m0 and m1 over the segment has its midpoint at
    // (y0 + y1) / 2 + (m0 - m1) / 8: 10 + (10 + 10) / 8.
    EXPECT_FLOAT_EQ(gradient_profile_at(15), 12.5f);
    // All Curves: the inner points take the mean of the slopes beside them.
    make(0, 0, 30, {{0, 0, 1}, {10, 10, 1}, {20, 10, 1}, {30, 0, 1}});
    EXPECT_FLOAT_EQ(gradient_point_slope(0), 1);
    EXPECT_FLOAT_EQ(gradient_point_slope(1), 0.5f);
    EXPECT_FLOAT_EQ(gradient_point_slope(2), -0.5f);
    EXPECT_FLOAT_EQ(gradient_point_slope(3), -1);
    EXPECT_FLOAT_EQ(gradient_segment_curve(1, 0.5f), 10 + (5 + 5) / 8.0f);
    // A Curve after a Line and before a Curve leaves with the line's slope.
    make(0, 0, 30, {{0, 0, 0}, {10, 10, 1}, {20, 10, 1}, {30, 0, 1}});
    EXPECT_FLOAT_EQ(gradient_point_slope(1), 1);
}

TEST_F(profile, radial_values_are_circles_in_front_and_a_band_behind)
{
    make(20, 20, 20, {{0, 0, 0}, {20, 10, 0}});
    EXPECT_FLOAT_EQ(gradient_radial_at(20, 30), 5);     // 10 ft to the side, in front (on the line)
    EXPECT_FLOAT_EQ(gradient_radial_at(26, 28), 5);     // |(6, 8)| = 10
    EXPECT_FLOAT_EQ(gradient_radial_at(0, 30), 5);      // behind: 10 ft from the axis line
    EXPECT_FLOAT_EQ(gradient_radial_at(-500, 20), 0);   // on the line behind the start
}

TEST_F(profile, placement_moves_a_flat_start_then_release_refits_the_length)
{
    make(10, 20, 20, {{0, 0, 0}, {20, 0, 0}});
    editor.tool = tool_gradient_placement;
    aim(10, 20);
    gradient_placement_press();
    EXPECT_EQ(editor.grab_mode, 1);
    aim(15, 20);
    gradient_placement_drag();
    EXPECT_EQ(g()->start_x, 15.0f);
    EXPECT_EQ(g()->end_x, 30.0f);  // a flat gradient moves only its start
    EXPECT_EQ(point(1).distance, 20.0f);
    gradient_placement_release();
    ASSERT_EQ(count(), 2);
    EXPECT_EQ(point(1).distance, 15.0f);
    // A shaped one moves whole.
    make(10, 40, 20, {{0, 0, 0}, {20, 3, 0}});
    aim(10, 40);
    gradient_placement_press();
    aim(12, 44);
    gradient_placement_drag();
    EXPECT_EQ(g()->start_x, 12.0f);
    EXPECT_EQ(g()->end_x, 32.0f);
    EXPECT_EQ(g()->end_z, 44.0f);
    // Its end turns and keeps the profile's length; on the start it stays put.
    aim(32, 44);
    gradient_placement_press();
    EXPECT_EQ(editor.grab_mode, 2);
    aim(12, 54);
    gradient_placement_drag();
    EXPECT_FLOAT_EQ(g()->end_x, 12);
    EXPECT_FLOAT_EQ(g()->end_z, 64);
    aim(12, 44);
    gradient_placement_drag();
    EXPECT_FLOAT_EQ(g()->end_z, 64);
    // A press on another gradient's end selects it.
    aim(30, 20);
    gradient_placement_press();
    EXPECT_EQ(editor.selected_gradient, 0);
    EXPECT_EQ(editor.grab_mode, 0);
}

TEST_F(profile, copy_shifts_ten_feet_aside_even_for_a_zero_length_axis)
{
    gradient_copy();
    EXPECT_STREQ(editor.status, "No gradient selected");
    make(10, 10, 20, {{0, 0, 0}, {5, 2, 1}, {20, 0, 0}});
    gradient_copy();
    ASSERT_EQ(editor.gradients.count, 2);
    EXPECT_EQ(editor.selected_gradient, 1);
    // Axis (20, 0): the side is (0, -20) x 10 / 20 = (0, -10).
    EXPECT_FLOAT_EQ(g()->start_z, 0);
    EXPECT_FLOAT_EQ(g()->end_x, 30);
    ASSERT_EQ(count(), 3);
    EXPECT_EQ(type(1), segment_curve);
    make(5, 5, 0, {{0, 0, 0}});
    gradient_copy();
    EXPECT_FLOAT_EQ(g()->start_x, 15);
    EXPECT_FLOAT_EQ(g()->start_z, 5);
}

TEST_F(profile, edit_inserts_drags_and_deletes_points_past_their_neighbours)
{
    // The graph is drawn at (start_x + d, start_z - y).
    make(10, 40, 30, {{0, 0, 0}, {10, 5, 1}, {30, 0, 0}});
    editor.tool = tool_gradient_edit;
    aim(20, 35);  // point 1 at d 10, y 5
    gradient_edit_press();
    EXPECT_EQ(editor.selected_point, 1);
    EXPECT_EQ(editor.settings.segment_type, segment_curve);
    aim(25, 32);  // d 15, y 8
    gradient_edit_drag();
    EXPECT_EQ(point(1).distance, 15.0f);
    EXPECT_EQ(point(1).height, 8.0f);
    aim(45, 32);  // d 35: past its neighbour at 30
    gradient_edit_drag();
    EXPECT_EQ(count(), 2);
    EXPECT_EQ(editor.selected_point, -1);
    EXPECT_EQ(editor.grab_mode, 0);
    // A press between two points inserts one with the type of the one before.
    aim(22, 37);
    gradient_edit_press();
    ASSERT_EQ(count(), 3);
    EXPECT_EQ(editor.selected_point, 1);
    EXPECT_EQ(point(1).distance, 12.0f);
    EXPECT_EQ(point(1).height, 3.0f);
    EXPECT_EQ(type(1), segment_line);
    // Granularity rounds; the end points keep their distances.
    editor.settings.granularity = 0.5;
    aim(23.2f, 36.1f);
    gradient_edit_drag();
    EXPECT_EQ(point(1).distance, 13.0f);
    EXPECT_EQ(point(1).height, 4.0f);
    gradient_set_segment_type(1);
    EXPECT_EQ(type(1), segment_curve);
    aim(10, 40);
    gradient_edit_press();
    EXPECT_EQ(editor.selected_point, 0);
    aim(14, 30);
    gradient_edit_drag();
    EXPECT_EQ(point(0).distance, 0.0f);
    EXPECT_EQ(point(0).height, 10.0f);
}

TEST_F(profile, set_from_terrain_on_flat_ground_gives_two_points_and_one_line)
{
    make(5, 30, 40, {{0, 3, 1}, {40, 3, 1}});
    gradient_set_from_terrain();
    ASSERT_EQ(count(), 2);
    EXPECT_EQ(point(0).distance, 0.0f);
    EXPECT_EQ(point(1).distance, 40.0f);
    EXPECT_EQ(point(0).height, 0.0f);
    EXPECT_EQ(type(0), segment_line);
    EXPECT_EQ(t.change_flags, 7);
}

TEST_F(profile, set_from_terrain_keeps_a_ramp_then_a_table_as_two_lines)
{
    // Up at 1/4 from x = 10 to x = 30, flat after: the profile along z = 30
    // from x = 0 is three straight runs (flat, ramp, flat).
    for (int32_t z = 0; z < n; z++)
        for (int32_t x = 0; x < n; x++) heights[size_t(z) * n + x] = x < 10 ? 0.0f : (x < 30 ? (x - 10) / 4.0f : 5.0f);
    editor.pending = 1;
    editor_commit();
    make(0, 30, 50, {});
    gradient_set_from_terrain();
    ASSERT_EQ(count(), 4);
    float d[] = {0, 10, 30, 50}, y[] = {0, 0, 5, 5};
    for (int i = 0; i < 4; i++) {
        EXPECT_FLOAT_EQ(point(i).distance, d[i]) << i;
        EXPECT_FLOAT_EQ(point(i).height, y[i]) << i;
    }
    for (int i = 0; i < 3; i++) EXPECT_EQ(type(i), segment_line) << i;
}

// ---- edinfo ------------------------------------------------------------------------

TEST_F(profile, edinfo_round_trip_gives_the_same_bytes)
{
    temp_dir dir;
    // Written as the format says, with %f's six decimals.
    const std::string text =
        "add_gradient 10.000000 20.000000 60.000000 20.000000\n"
        "add_point 0 0.000000 0.000000\n"
        "add_point 1 12.500000 3.250000\n"
        "add_point 0 50.000000 -1.125000\n"
        "add_gradient -5.500000 0.000000 -5.500000 30.000000\n"
        "add_point 0 0.000000 0.000000\n"
        "add_point 0 30.000000 0.000000\n";
    write_whole_file(dir.file("edinfo"), text);
    edinfo_load(dir.path.c_str());
    ASSERT_EQ(editor.gradients.count, 2);
    EXPECT_EQ(editor.selected_gradient, 1);
    editor.selected_gradient = 0;
    EXPECT_EQ(count(), 3);
    EXPECT_EQ(type(1), segment_curve);
    EXPECT_EQ(point(2).height, -1.125f);
    ASSERT_EQ(edinfo_write(dir.path.c_str()), 1);
    EXPECT_EQ(read_whole_file(dir.file("edinfo")), text);
    // Loaded again on top, the two gradients come twice over.
    edinfo_load(dir.path.c_str());
    EXPECT_EQ(editor.gradients.count, 4);
    // A missing file is no error and changes nothing.
    temp_dir empty;
    edinfo_load(empty.path.c_str());
    EXPECT_EQ(editor.gradients.count, 4);
}

TEST_F(profile, hostile_edinfo_lines_are_skipped_and_never_crash)
{
    temp_dir dir;
    std::string text;
    text += "add_point 1 1 1\n";                                   // before any gradient
    text += "add_gradient 1 2 3\n";                                // too few numbers
    text += "add_gradient 1 2 x 4\n";                              // junk
    text += "add_gradient nan 0 10 0\n";                           // not finite
    text += "add_gradient 1e999 0 10 0\n";                         // overflows
    text += "add_gradientx 0 0 10 0\n";                            // another keyword
    text += "add_gradient 0 0 " + std::string(1200, '7') + "\n";   // a line over 1000 characters
    text += std::string(5000, 'z') + " add_gradient 1 1 1 1\n";     // its tail is no new line
    text += "   add_gradient 0 0 10 0 \n";                         // the one good axis
    text += "add_point 2 0 0\n";                                   // type 2: Line
    text += "add_point 1 5 1\n";
    text += "add_point 1 5 2\n";                                   // same distance: skipped
    text += "add_point 1 4 2\n";                                   // going back: skipped
    text += "add_point 1 inf 2\n";
    text += "add_point 1 6 nan\n";
    text += "add_point 1.5 7 1\n";                                 // type not a whole number
    text += "add_point 99999999999999999999 8 1\n";                // huge type: Line
    text += "add_point 1 9 1 1\n";                                 // too many numbers
    text += "\n\n#comment\n";
    write_whole_file(dir.file("edinfo"), text);
    edinfo_load(dir.path.c_str());
    ASSERT_EQ(editor.gradients.count, 1);
    EXPECT_EQ(g()->end_x, 10.0f);
    ASSERT_EQ(count(), 3);
    EXPECT_EQ(type(0), segment_line);
    EXPECT_EQ(point(1).distance, 5.0f);
    EXPECT_EQ(point(1).height, 1.0f);
    EXPECT_EQ(type(1), segment_curve);
    EXPECT_EQ(point(2).distance, 8.0f);
    EXPECT_EQ(type(2), segment_line);
    for (float d = -5; d < 20; d += 0.25f) ASSERT_TRUE(std::isfinite(gradient_profile_at(d))) << d;
}

TEST_F(profile, a_huge_edinfo_loads_every_point)
{
    temp_dir dir;
    std::string text = "add_gradient 0 0 100 0\n";
    const int points = 200000;
    for (int i = 0; i < points; i++) text += "add_point 1 " + std::to_string(i) + " 1\n";
    write_whole_file(dir.file("edinfo"), text);
    edinfo_load(dir.path.c_str());
    ASSERT_EQ(editor.gradients.count, 1);
    EXPECT_EQ(count(), points);
    EXPECT_EQ(g()->types.count, points);
}

TEST_F(profile, edinfo_write_reports_a_folder_it_cannot_write)
{
    temp_dir dir;
    write_whole_file(dir.file("plain"), "x");
    make(0, 0, 10, {{0, 0, 0}});
    // A file where the folder should be: nothing can be created under it.
    EXPECT_EQ(edinfo_write(dir.file("plain").c_str()), 0);
    EXPECT_EQ(read_whole_file(dir.file("plain")), "x");
}

}  // namespace
