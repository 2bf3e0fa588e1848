// The object tools on a small flat track with no window: timing gates and
// their switch points, billboards (copies, rows, deletion that spares the
// program's own), and statues (drag, turn, duplicate, delete, interpolate,
// snap to a gradient).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "core/game_state.h"
#include "editor/editor.h"
#include "editor/editor_state.h"
#include "editor/object_tools.h"
#include "game/control_input.h"
#include "game/timing_gates.h"
#include "game/track_objects.h"
#include "terrain/terrain.h"
#include "track_fixture.h"
#include "ui/widgets.h"

namespace {

struct object_tools : track_fixture {
    void SetUp() override
    {
        track_fixture::SetUp();
        // 33 x 33 samples, 4 ft apart: 128 ft across, flat at 10 ft.
        make_terrain(4, 4, [](float, float) { return 10.0f; });
        editor_state_begin(&track_terrain);
        // Window 200 x 200 and zoom 0: V = 128 ft, one pixel 0.64 ft, the
        // pick radius max(1.28, 1) / 2 = 0.64 ft.
        editor.settings.zoom = 0;
        menu_drawable_w = 200, menu_drawable_h = 200;
        editor.window_w = editor.window_h = 200;
        track_terrain.change_flags = 0;
    }
    void TearDown() override
    {
        editor_state_end();
        track_fixture::TearDown();
    }
    // Puts the cursor over world (x, z): pixel = 100 + (x - 64) / 0.64.
    void cursor_at(float x, float z)
    {
        editor.cursor[0] = int32_t(std::lround(100 + (x - 64) / 0.64f));
        editor.cursor[1] = int32_t(std::lround(100 + (z - 64) / 0.64f));
    }
    // Three gates in a row along x, each facing +x with a reach of 10 ft, and
    // the laps given.
    void three_gates(std::initializer_list<int32_t> first, std::initializer_list<int32_t> normal)
    {
        timing_gates.checkpoint_count = 4;
        for (int i = 0; i < 4; i++) timing_gates.checkpoints[i] = {20.0f + 20 * i, 0, 64, 1, 0, 0, 10, 0};
        int32_t k = 0;
        for (int32_t e : first) timing_gates.lap_entries[k++] = e;
        timing_gates.first_lap_entries = k;
        for (int32_t e : normal) timing_gates.lap_entries[k++] = e;
        timing_gates.normal_lap_entries = k - timing_gates.first_lap_entries;
    }
};

TEST_F(object_tools, switch_point_text_and_changes)
{
    three_gates({0, 1, 100001, 2, 3}, {0, 1, 2, 3});
    const struct {
        int32_t gate;
        int32_t action;  // 1 set, 0 clear, -1 none
        const char* text;
        int32_t flags;
    } steps[] = {
        {1, -1, "Switch Point: Mixed", 0},
        {1, 1, "Switch Point: Yes", 7},
        {1, 0, "Switch Point: No", 7},
        {5, -1, "Gate not referenced", 7},  // out of range counts as none
    };
    for (const auto& s : steps) {
        editor.selected_gate = s.gate;
        track_terrain.change_flags = 0;
        if (s.action >= 0) gate_set_switch_point(s.action);
        EXPECT_STREQ(gate_switch_point_text(), s.text) << s.gate << " " << s.action;
        EXPECT_EQ(track_terrain.change_flags, s.action >= 0 ? s.flags : 0);
    }
    // After the clear, gate 1 is marked everywhere and the laps were counted again.
    EXPECT_EQ(timing_gates.lap_entries[1], 100001);
    EXPECT_EQ(timing_gates.lap_entries[2], 100001);
    EXPECT_EQ(timing_gates.counted_first_lap, 3);
    EXPECT_EQ(timing_gates.counted_normal_lap, 3);
    EXPECT_EQ(timing_gates.line_set_count, 6);
    EXPECT_EQ(editor_object_sections_changed, 1);
    editor_object_sections_changed = 0;
}

TEST_F(object_tools, a_clear_that_leaves_a_lap_under_three_counted_gates_is_refused)
{
    three_gates({0, 1, 2}, {0, 1, 2, 3});
    editor.selected_gate = 2;
    gate_set_switch_point(0);
    EXPECT_STREQ(editor.status, "A lap needs at least 3 switch points!");
    EXPECT_EQ(timing_gates.lap_entries[2], 2);
    EXPECT_EQ(timing_gates.counted_first_lap, 0) << "left as loaded";
    EXPECT_EQ(track_terrain.change_flags, 0);
    // Gate 3 appears only in the normal lap, which keeps 3.
    editor.selected_gate = 3;
    gate_set_switch_point(0);
    EXPECT_STREQ(gate_switch_point_text(), "Switch Point: No");
}

TEST_F(object_tools, gate_press_picks_position_handle_or_the_area_in_front)
{
    three_gates({0, 1, 2}, {0, 1, 2});
    const struct {
        float x, z;
        int32_t gate, grab;
    } cases[] = {
        {40, 64, 1, 1},     // on gate 1's position
        {50, 64, 1, 2},     // its handle: 10 ft along +x
        {25, 66, 0, 0},     // within gate 0's reach, in front of it (+x side)
        {15, 64, -1, 0},    // behind gate 0 and beyond every other reach
        {100, 100, -1, 0},  // nowhere
    };
    for (const auto& c : cases) {
        editor.grab_mode = 0;
        cursor_at(c.x, c.z);
        gate_press();
        EXPECT_EQ(editor.selected_gate, c.gate) << c.x << " " << c.z;
        if (c.gate >= 0) {
            EXPECT_EQ(editor.grab_mode, c.grab) << c.x << " " << c.z;
        }
    }
}

TEST_F(object_tools, gate_drags_move_and_aim_but_never_shrink_the_reach_below_half_a_foot)
{
    three_gates({0, 1, 2}, {0, 1, 2});
    cursor_at(40, 64);
    gate_press();
    cursor_at(44.8f, 70.4f);
    gate_drag();
    const checkpoint& c = timing_gates.checkpoints[1];
    EXPECT_NEAR(c.x, 44.8f, 0.32f);
    EXPECT_NEAR(c.z, 70.4f, 0.32f);
    EXPECT_EQ(track_terrain.change_flags, 7);
    // Aim: handle dragged to 3-4-5 ft off the position.
    editor.grab_mode = 2;
    float x = c.x, z = c.z;
    editor.cursor[0] += 5, editor.cursor[1] += 0;  // 3.2 ft along x
    gate_drag();
    EXPECT_NEAR(c.width, 3.2f, 0.33f);
    EXPECT_NEAR(c.dx / c.width, 1, 1e-5);
    // The cursor on the position itself: ignored.
    cursor_at(x, z);
    editor.cursor[0] = int32_t(std::lround(100 + (x - 64) / 0.64f));
    float kept = c.width;
    gate_drag();
    EXPECT_FLOAT_EQ(c.width, kept);
    // Locked for a network race: nothing moves.
    track_terrain.deform_lock = 1;
    editor.grab_mode = 1;
    cursor_at(10, 10);
    gate_drag();
    EXPECT_NEAR(c.x, x, 1e-6);
}

struct billboard_tools : object_tools {
    int32_t flagger = -1, first = -1;
    void SetUp() override
    {
        object_tools::SetUp();
        // A program-made billboard (the flaggers') before the file's own.
        flagger = create_billboard(30, 0, 30, 4, 1, "@flagger.png");
        track_objects.first_file_billboard = track_objects.billboards.count;
        first = create_billboard(64, 2, 64, 4, 0.5f, "#ff8000#@banner.png");
        editor.selected_billboard = first;
    }
};

TEST_F(billboard_tools, a_click_on_empty_ground_places_one_copy_and_a_drag_lays_a_row)
{
    cursor_at(80, 64);
    billboard_press();
    ASSERT_EQ(track_objects.billboards.count, 3);
    const billboard* copy = billboard_at(2);
    EXPECT_NEAR(copy->x, 80, 0.32f);
    EXPECT_FLOAT_EQ(copy->relative_height, 2);
    EXPECT_FLOAT_EQ(copy->y, 12);
    EXPECT_FLOAT_EQ(copy->size, 4);
    EXPECT_EQ(copy->colour[1], 0x80);
    EXPECT_STREQ(copy->name, "@banner.png");
    EXPECT_EQ(copy->origin, origin_editor);
    EXPECT_EQ(editor.last_billboard, 2);
    EXPECT_EQ(track_terrain.change_flags, 7);
    // Width 2 ft, Spacing 1: a drag along x in steps of 0.64 ft places a
    // copy only where it is more than 2 ft from every billboard.
    float x0 = billboard_at(2)->x;
    for (int px = 0; px < 40; px++) {
        editor.cursor[0]++;
        billboard_drag();
    }
    int32_t n = track_objects.billboards.count;
    EXPECT_GE(n, 2 + 1 + int32_t(40 * 0.64f / 2.64f));
    for (int32_t i = 2; i < n; i++)
        for (int32_t j = i + 1; j < n; j++) {
            float d = std::fabs(billboard_at(i)->x - billboard_at(j)->x);
            EXPECT_GT(d, 2.0f) << i << " " << j;
        }
    EXPECT_GT(billboard_at(n - 1)->x, x0 + 20);
}

TEST_F(billboard_tools, a_press_on_a_billboard_selects_it_and_takes_its_height)
{
    int32_t other = create_billboard(90, 5, 90, 4, 1, "@other.png");
    cursor_at(90, 90);
    billboard_press();
    EXPECT_EQ(editor.selected_billboard, other);
    EXPECT_EQ(editor.last_billboard, -1);
    EXPECT_DOUBLE_EQ(editor.settings.billboard_height, 5);
    EXPECT_EQ(track_objects.billboards.count, 3) << "no copy";
    billboard_set_height(-1.5);
    EXPECT_FLOAT_EQ(billboard_at(other)->y, 8.5f);
}

TEST_F(billboard_tools, deleting_spares_the_flaggers_billboards)
{
    cursor_at(30, 30);
    billboard_delete_near();
    EXPECT_EQ(track_objects.billboards.count, 2);
    EXPECT_STREQ(billboard_at(flagger)->name, "@flagger.png");
    cursor_at(64, 64);
    billboard_delete_near();
    EXPECT_EQ(track_objects.billboards.count, 1);
    EXPECT_EQ(editor.selected_billboard, -1);
    EXPECT_EQ(track_objects.draw_list.count, 2);
    // With no billboard of the file left, presses do nothing.
    cursor_at(50, 50);
    billboard_press();
    EXPECT_EQ(track_objects.billboards.count, 1);
}

struct statue_tools : object_tools {
    void SetUp() override
    {
        object_tools::SetUp();
        create_statue(10, 0, 10, 0, "@gate.qm", "@gate.png", nullptr);  // a start gate's
        track_objects.first_file_statue = track_objects.statues.count;
    }
    int32_t add(float x, float z, float angle, const char* model = "@rock.qm", const char* texture = "@rock.png")
    {
        return create_statue(x, 1, z, angle, model, texture, nullptr);
    }
};

TEST_F(statue_tools, interpolating_two_after_the_selected_moves_the_middle_one_to_the_midpoint)
{
    int32_t k = add(20, 20, 0);
    add(100, 7, 0);
    add(60, 100, 0);
    editor.selected_statue = k;
    statues_interpolate();
    EXPECT_FLOAT_EQ(statue_at(k + 1)->x, 40);
    EXPECT_FLOAT_EQ(statue_at(k + 1)->z, 60);
    EXPECT_FLOAT_EQ(statue_at(k + 1)->y, 11);
    EXPECT_FLOAT_EQ(statue_at(k + 2)->x, 60) << "the last stays";
    EXPECT_EQ(track_terrain.change_flags, 7);
}

TEST_F(statue_tools, interpolation_spaces_evenly_and_refuses_a_different_model)
{
    int32_t k = add(0, 0, 0);
    for (int i = 0; i < 3; i++) add(99, 99, 0);
    add(40, 80, 0);
    editor.selected_statue = k;
    statues_interpolate();
    for (int j = 1; j < 4; j++) {
        EXPECT_FLOAT_EQ(statue_at(k + j)->x, 10.0f * j);
        EXPECT_FLOAT_EQ(statue_at(k + j)->z, 20.0f * j);
    }
    add(1, 1, 0, "@tree.qm");
    track_terrain.change_flags = 0;
    statues_interpolate();
    EXPECT_STREQ(editor.status, "Bad match for interpolate!");
    EXPECT_FLOAT_EQ(statue_at(k + 1)->x, 10);
    EXPECT_EQ(track_terrain.change_flags, 0);
}

TEST_F(statue_tools, press_drag_and_turn)
{
    int32_t s = add(64, 64, 0);
    // Handle 4m = 5.12 ft behind: at (64, 64 - 5.12).
    cursor_at(64, 64 - 5.12f);
    statue_press();
    EXPECT_EQ(editor.selected_statue, s);
    EXPECT_EQ(editor.grab_mode, 2);
    // Dragging the handle to the statue's -x side turns it to face +x.
    cursor_at(54, 64);
    statue_drag();
    EXPECT_NEAR(statue_at(s)->angle, M_PI / 2, 1e-6);
    // Upright statues keep their angle.
    statue_at(s)->angle = 3.25f;
    cursor_at(64, 74);
    statue_drag();
    EXPECT_FLOAT_EQ(statue_at(s)->angle, 3.25f);
    // An angle kept below -2 pi keeps its offset.
    statue_at(s)->angle = float(-2 * M_PI - 0.1);
    cursor_at(54, 64);
    statue_drag();
    EXPECT_NEAR(statue_at(s)->angle, M_PI / 2 - 4 * M_PI, 1e-5);
    // The body: moved onto the cursor.
    cursor_at(64, 64);
    statue_press();
    EXPECT_EQ(editor.grab_mode, 1);
    cursor_at(70.4f, 76.8f);
    statue_drag();
    EXPECT_NEAR(statue_at(s)->x, 70.4f, 0.33f);
    EXPECT_NEAR(statue_at(s)->z, 76.8f, 0.33f);
    // The start gate's statue cannot be picked.
    cursor_at(10, 10);
    statue_press();
    EXPECT_EQ(editor.selected_statue, -1);
}

TEST_F(statue_tools, duplicate_and_delete)
{
    int32_t s = add(64, 64, 1.0f);
    editor.selected_statue = s;
    cursor_at(32, 32);
    statue_duplicate();
    ASSERT_EQ(track_objects.statues.count, 3);
    EXPECT_STREQ(statue_at(2)->model_name, "@rock.qm");
    EXPECT_FLOAT_EQ(statue_at(2)->angle, 1.0f);
    EXPECT_EQ(statue_at(2)->origin, origin_editor);
    statue_delete_near();
    EXPECT_EQ(track_objects.statues.count, 2);
    cursor_at(10, 10);
    statue_delete_near();
    EXPECT_EQ(track_objects.statues.count, 2) << "the start gate's statue stays";
    track_terrain.deform_lock = 1;
    cursor_at(64, 64);
    statue_delete_near();
    statue_duplicate();
    EXPECT_EQ(track_objects.statues.count, 2) << "locked";
}

TEST_F(statue_tools, snap_to_gradient_onto_the_axis_or_the_nearest_profile_circle)
{
    gradient g{};
    g.start_x = 0, g.start_z = 64, g.end_x = 128, g.end_z = 64;
    array_init(&g.points, sizeof(gradient_point));
    array_init(&g.types, sizeof(uint8_t));
    gradient_point p = {50, 0};
    array_push(&g.points, &p);
    array_push(&editor.gradients, &g);
    editor.selected_gradient = 0;
    // 20 ft from the start along a line 3 ft off the axis: the nearest point
    // (the start, 20 ft away) is farther than the axis, so onto the axis,
    // facing back to the start (-x).
    int32_t s = add(20, 67, 0);
    editor.selected_statue = s;
    statue_snap_to_gradient();
    EXPECT_NEAR(statue_at(s)->x, 20, 1e-4);
    EXPECT_NEAR(statue_at(s)->z, 64, 1e-4);
    EXPECT_NEAR(statue_at(s)->angle, -M_PI / 2, 1e-6);
    // 30 ft off the axis at 40 along: 50 ft from the start, on the point's
    // circle already; it faces along the circle.
    statue_at(s)->x = 40, statue_at(s)->z = 94;
    statue_snap_to_gradient();
    EXPECT_NEAR(statue_at(s)->x, 40, 1e-4);
    EXPECT_NEAR(statue_at(s)->z, 94, 1e-4);
    EXPECT_NEAR(statue_at(s)->angle, std::atan2(64 - 94, 40 - 0), 1e-6);
}

}  // namespace

namespace {

// What the editor starts with on a loaded track: the loaded heights as the one
// undo level, the flags word cleared, and selections on the track's own
// objects (the program's hidden and flaggers' ones before them are never
// picked, copied or saved).
TEST_F(object_tools, init_starts_on_the_first_objects_of_the_track_files)
{
    const struct {
        bool file_objects;
        int32_t billboard, statue;
    } cases[] = {{true, 2, 1}, {false, -1, -1}};
    for (const auto& c : cases) {
        editor_state_end();
        track_objects_free();
        track_objects_init();
        create_billboard(1, 0, 1, 1, 1, "@pool.png");
        create_billboard(2, 0, 2, 1, 1, "@flagger.png");
        create_statue(3, 0, 3, 0, "@gate.qm", "@gate.png", nullptr);
        track_objects.first_file_billboard = track_objects.billboards.count;
        track_objects.first_file_statue = track_objects.statues.count;
        if (c.file_objects) {
            create_billboard(4, 0, 4, 1, 1, "@banner.png");
            create_statue(5, 0, 5, 0, "@rock.qm", "@rock.png", nullptr);
        }
        track_terrain.change_flags = 7;
        editor_init();
        EXPECT_EQ(editor.selected_billboard, c.billboard);
        EXPECT_EQ(editor.selected_statue, c.statue);
        EXPECT_EQ(editor.undo_count, 1);
        EXPECT_EQ(track_terrain.change_flags, 0);
        EXPECT_STREQ(editor.status, "OK");
        // A click on empty ground copies nothing when no file billboard is selected.
        cursor_at(60, 60);
        int32_t before = track_objects.billboards.count;
        billboard_press();
        EXPECT_EQ(track_objects.billboards.count, before + (c.file_objects ? 1 : 0));
    }
}

}  // namespace
