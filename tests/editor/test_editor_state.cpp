// The editor's commit and undo ring on a 17 x 17 grid, with no window.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "editor/editor_state.h"
#include "terrain/terrain.h"

namespace {

struct small_grid : ::testing::Test {
    terrain t{};
    std::vector<float> heights;
    void SetUp() override
    {
        t.size = 17;
        t.extent = 16 * 4.0f;
        t.spacing = 4;
        t.inv_spacing = 0.25f;
        heights.assign(size_t(t.size) * t.size, 0.0f);
        for (size_t i = 0; i < heights.size(); i++) heights[i] = float(i % 7);
        t.heights = heights.data();
        editor_state_begin(&t);
    }
    void TearDown() override { editor_state_end(); }
    // Stands in for a brush stroke: changes a height and leaves it pending.
    void stroke(float amount)
    {
        t.heights[8 * 17 + 8] += amount;
        editor.pending = 1;
    }
    float centre() const { return t.heights[8 * 17 + 8]; }
};

TEST_F(small_grid, begin_keeps_the_loaded_heights_as_the_one_undo_level)
{
    EXPECT_EQ(editor.undo_count, 1);
    EXPECT_STREQ(editor.status, "OK");
    EXPECT_EQ(0, std::memcmp(editor.snapshot, t.heights, heights.size() * sizeof(float)));
}

TEST_F(small_grid, a_stroke_and_two_undos_restore_once_then_refuse)
{
    float loaded = centre();
    stroke(5);
    editor_undo();
    EXPECT_STREQ(editor.status, "Undo!");
    EXPECT_EQ(centre(), loaded);
    EXPECT_EQ(editor.snapshot[8 * 17 + 8], loaded);
    editor_undo();
    EXPECT_STREQ(editor.status, "No more undo levels!");
    EXPECT_EQ(centre(), loaded);
}

TEST_F(small_grid, nine_strokes_keep_eight_states_and_seven_undos_reach_the_oldest)
{
    float loaded = centre();
    for (int i = 1; i <= 9; i++) {
        stroke(1);
        editor_commit();
    }
    EXPECT_EQ(editor.undo_count, 8);
    for (int i = 0; i < 7; i++) editor_undo();
    // The ring kept the states after strokes 2..9; the oldest is after stroke 2.
    EXPECT_EQ(centre(), loaded + 2);
    editor_undo();
    EXPECT_STREQ(editor.status, "No more undo levels!");
    EXPECT_EQ(centre(), loaded + 2);
}

TEST_F(small_grid, undo_is_refused_while_the_ground_is_locked)
{
    stroke(3);
    t.deform_lock = 1;
    editor_undo();
    EXPECT_EQ(centre(), float((8 * 17 + 8) % 7) + 3);
}

TEST_F(small_grid, derived_quantities_follow_zoom_and_window)
{
    editor.window_w = 800, editor.window_h = 600;
    editor.settings.zoom = 1;  // V = 64 / 2 = 32 ft over 600 px
    EXPECT_FLOAT_EQ(editor_view_span(), 32);
    editor.cursor[0] = 400 + 300, editor.cursor[1] = 300;  // half a window height right of centre
    float x, z;
    editor_cursor_world(&x, &z);
    EXPECT_FLOAT_EQ(x, 32 + 16);
    EXPECT_FLOAT_EQ(z, 32);
    EXPECT_FLOAT_EQ(editor_pick_radius(), 0.5f);  // max(0.32, 1) / 2
    editor.settings.radius = 60, editor.settings.focus = 0.5, editor.settings.strength = -1;
    EXPECT_FLOAT_EQ(editor_brush_radius(), 60 * 32 / 600.0f);
    EXPECT_FLOAT_EQ(editor_brush_inner_radius(), 30 * 32 / 600.0f);
    EXPECT_FLOAT_EQ(editor_brush_strength(), 0.5f);
}

}  // namespace
