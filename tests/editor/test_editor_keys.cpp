// The editor's input routing on a 17 x 17 grid with no window: which keys it
// takes, the zoom and strength keys, panning, tool choice with its commit,
// the left button's press and release, and keys that go to a focused panel
// widget instead of the tools.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "editor/editor.h"
#include "editor/editor_state.h"
#include "game/control_input.h"
#include "terrain/terrain.h"
#include "ui/widgets.h"

namespace {

// Named key codes as the platform would resolve them (any distinct values
// above the character range).
constexpr uint32_t key_left = 0x150, key_right = 0x14f, key_up = 0x152, key_down = 0x151;
constexpr uint32_t key_enter = 0x128, mouse_left = 0x2000, mouse_right = 0x2002;

struct editor_keys : ::testing::Test {
    terrain t{};
    std::vector<float> heights;
    void SetUp() override
    {
        menu_keys = {};
        menu_keys.left = key_left, menu_keys.right = key_right, menu_keys.up = key_up, menu_keys.down = key_down;
        menu_keys.enter = key_enter, menu_keys.cursor_left = mouse_left, menu_keys.cursor_right = mouse_right;
        menu_keys.keypad_enter = 0x158;
        t.size = 17;
        t.extent = 64;
        t.spacing = 4;
        t.inv_spacing = 0.25f;
        heights.assign(17 * 17, 0.0f);
        t.heights = heights.data();
        editor_state_begin(&t);
        menu_drawable_w = 400, menu_drawable_h = 200;
        cursor_x = 300, cursor_y = 100;  // over the view, right of any panel
        for (int i = 0; i < editor_panel_count; i++) rect_clear(editor_panel_rect(i));
    }
    void TearDown() override { editor_state_end(); }
    int type(uint32_t code)
    {
        int used = editor_key(code, 1);
        editor_key(code, 0);
        return used;
    }
};

TEST_F(editor_keys, tab_and_unused_keys_are_left_to_the_main_loop)
{
    for (uint32_t code : {9u, uint32_t('q'), uint32_t('z'), uint32_t('Q'), 0x200u, key_enter})
        EXPECT_EQ(editor_key(code, 1), 0) << code;
    // Tab is never taken, not even over a widget.
    *editor_panel_rect(panel_zoom) = {0, 0, 100, 100};
    cursor_x = 50, cursor_y = 50;
    EXPECT_EQ(editor_key(9, 1), 0);
}

TEST_F(editor_keys, a_typed_key_shows_in_the_status_line)
{
    editor_key('q', 1);
    EXPECT_STREQ(editor.status, "Pressed 0x71 ('q')");
    editor_key(7, 1);
    EXPECT_STREQ(editor.status, "Pressed 0x07");
}

TEST_F(editor_keys, equals_zooms_past_the_slider_maximum_and_minus_stops_at_its_minimum)
{
    for (int i = 0; i < 20; i++) EXPECT_EQ(type('='), 1);
    EXPECT_DOUBLE_EQ(editor.settings.zoom, 1 + 20 * 0.5);
    for (int i = 0; i < 40; i++) type('-');
    EXPECT_DOUBLE_EQ(editor.settings.zoom, -3);
    // The span follows: V = 64 / 2^-3.
    EXPECT_FLOAT_EQ(editor_view_span(), 512);
}

TEST_F(editor_keys, strength_keys_step_a_quarter_within_plus_minus_five)
{
    const struct {
        char key;
        int presses;
        double strength;
    } cases[] = {{']', 1, 3.25}, {']', 20, 5}, {'[', 1, 4.75}, {'[', 100, -5}};
    for (const auto& c : cases) {
        for (int i = 0; i < c.presses; i++) type(uint32_t(c.key));
        EXPECT_DOUBLE_EQ(editor.settings.strength, c.strength) << c.key << " x" << c.presses;
    }
}

TEST_F(editor_keys, arrows_pan_a_quarter_of_the_span)
{
    // Zoom 1: V = 32 ft, a step of 8 ft.
    const struct {
        uint32_t key;
        float x, z;
    } cases[] = {{key_left, 24, 32}, {key_right, 32, 32}, {key_up, 32, 24}, {key_down, 32, 32}};
    for (const auto& c : cases) {
        EXPECT_EQ(type(c.key), 1);
        EXPECT_FLOAT_EQ(editor.view_centre[0], c.x);
        EXPECT_FLOAT_EQ(editor.view_centre[1], c.z);
    }
}

TEST_F(editor_keys, number_keys_choose_tools_and_commit_a_pending_change)
{
    const int32_t expected[9] = {tool_smooth, tool_snap, tool_gradient_linear_paint, tool_gradient_linear_add,
                                 tool_gradient_radial_paint, tool_gradient_radial_add, tool_gradient_placement,
                                 tool_gradient_edit, tool_timing_gate};
    for (int k = 0; k < 9; k++) {
        heights[0] += 1;
        editor.pending = 1;
        int levels = editor.undo_count;
        EXPECT_EQ(type(uint32_t('1' + k)), 1);
        EXPECT_EQ(editor.tool, expected[k]);
        EXPECT_EQ(editor.undo_count, std::min(levels + 1, 8)) << "a change of tool commits";
        EXPECT_EQ(editor.snapshot[0], heights[0]);
    }
    // The same tool again commits nothing.
    heights[0] += 1;
    editor.pending = 1;
    type('9');
    EXPECT_EQ(editor.pending, 1);
}

TEST_F(editor_keys, backspace_undoes_a_stroke_then_runs_out)
{
    float loaded = heights[8 * 17 + 8];
    heights[8 * 17 + 8] += 5;
    editor.pending = 1;
    EXPECT_EQ(type(8), 1);
    EXPECT_EQ(heights[8 * 17 + 8], loaded);
    type(8);
    EXPECT_STREQ(editor.status, "No more undo levels!");
}

TEST_F(editor_keys, raise_commits_on_press_and_release_of_the_left_button)
{
    editor.tool = tool_raise;
    heights[3] = 2;
    editor.pending = 1;
    EXPECT_EQ(editor_key(mouse_left, 1), 1);
    EXPECT_EQ(editor.drag, 1);
    EXPECT_EQ(editor.undo_count, 2);
    heights[3] = 4;  // the drag's strokes
    editor.pending = 1;
    editor.line_anchor[0] = editor.line_anchor[1] = 10;
    EXPECT_EQ(editor_key(mouse_left, 0), 1);
    EXPECT_EQ(editor.drag, 0);
    EXPECT_EQ(editor.undo_count, 3);
    EXPECT_EQ(editor.line_anchor[0], -1);
    EXPECT_EQ(editor.line_anchor[1], -1);
}

TEST_F(editor_keys, smudge_press_takes_the_cursor_world_point_as_its_origin)
{
    editor.tool = tool_smudge;
    editor_key(mouse_left, 1);
    // x = 32 + (300 - 200) / 200 x 32, z = 32 + (100 - 100) / 200 x 32.
    EXPECT_FLOAT_EQ(editor.smudge_origin[0], 48);
    EXPECT_FLOAT_EQ(editor.smudge_origin[1], 32);
}

TEST_F(editor_keys, l_sets_then_clears_the_line_anchor_for_the_painting_tools_only)
{
    editor.tool = tool_raise;
    type('l');
    EXPECT_FLOAT_EQ(editor.line_anchor[0], 48);
    type('l');
    EXPECT_FLOAT_EQ(editor.line_anchor[0], -1);
    editor.tool = tool_statues;
    EXPECT_EQ(type('l'), 0);
    EXPECT_FLOAT_EQ(editor.line_anchor[0], -1);
}

TEST_F(editor_keys, right_button_drag_keeps_the_grabbed_world_point_under_the_cursor)
{
    float x0, z0;
    editor_update();  // takes the cursor
    editor_cursor_world(&x0, &z0);
    editor_key(mouse_right, 1);
    cursor_x = 250, cursor_y = 60;
    editor_update();
    float x1, z1;
    editor_cursor_world(&x1, &z1);
    EXPECT_FLOAT_EQ(x1, x0);
    EXPECT_FLOAT_EQ(z1, z0);
    editor_key(mouse_right, 0);
    cursor_x = 0;
    editor_update();
    EXPECT_FLOAT_EQ(editor.view_centre[0], 32 + 50.0f / 200 * 32);
}

TEST_F(editor_keys, keys_over_a_panel_widget_go_to_the_widget)
{
    *editor_panel_rect(panel_zoom) = {0, 0, 100, 20};
    cursor_x = 50, cursor_y = 10;
    // The arrow steps the slider instead of panning the view.
    EXPECT_EQ(type(key_right), 1);
    EXPECT_DOUBLE_EQ(editor.settings.zoom, 1.125);
    EXPECT_FLOAT_EQ(editor.view_centre[0], 32);
    // "s" and Backspace reach the widget too, not save and undo.
    type('s');
    EXPECT_STRNE(editor.status, "Saved!");
    EXPECT_EQ(editor.focus_item, panel_zoom);
    // Away from the widget the same key pans.
    cursor_x = 300;
    type(key_right);
    EXPECT_DOUBLE_EQ(editor.settings.zoom, 1.125);
    EXPECT_GT(editor.view_centre[0], 32);
}

TEST_F(editor_keys, a_click_on_a_tool_item_chooses_it_and_is_left_to_the_loop)
{
    *editor_panel_rect(tool_statues) = {0, 0, 100, 20};
    cursor_x = 50, cursor_y = 10;
    EXPECT_EQ(editor_key(mouse_left, 1), 0);
    EXPECT_EQ(editor.tool, tool_statues);
    EXPECT_EQ(editor.drag, tool_statues | editor_drag_panel);
    EXPECT_EQ(editor_key(mouse_left, 0), 1);
    EXPECT_EQ(editor.drag, 0);
}

TEST_F(editor_keys, a_slider_follows_a_held_button_only_while_the_cursor_stays_on_it)
{
    // Radius slider: its bar from x 100 to 300; a press at 200 is the middle.
    *editor_panel_rect(panel_radius) = {0, 0, 400, 20};
    cursor_x = 200, cursor_y = 10;
    editor_key(mouse_left, 1);
    EXPECT_EQ(editor.drag, panel_radius | editor_drag_panel);
    // Leaving the widget: the drag does nothing.
    double before = editor.settings.radius;
    cursor_y = 100;
    editor_update();
    EXPECT_DOUBLE_EQ(editor.settings.radius, before);
}

}  // namespace
