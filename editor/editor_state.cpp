// The editor record, its derived quantities and the commit/undo ring.
#include "editor/editor_state.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/alloc.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"

editor_record editor;

editor_settings editor_default_settings()
{
    editor_settings s{};
    s.zoom = 1;
    s.strength = 3;
    s.focus = 0.5;
    s.radius = 64;
    s.billboard_spacing = 1;
    s.billboard_height = 0;
    s.granularity = 0;
    s.tile = 0;
    s.decal_spacing = 0.75;
    s.submode = submode_assign;
    s.segment_type = segment_line;
    s.decal_orientation = orient_flow;
    s.decal_level = level_over_current;
    return s;
}

float editor_view_span()
{
    if (!editor.ground) return 0;
    return float(editor.ground->extent / std::pow(2.0, editor.settings.zoom));
}

void editor_screen_to_world(int32_t px, int32_t py, float* x, float* z)
{
    // The window's half sizes are taken in integer pixels.
    float h = float(editor.window_h > 0 ? editor.window_h : 1);
    float v = editor_view_span();
    *x = editor.view_centre[0] + float(px - editor.window_w / 2) / h * v;
    *z = editor.view_centre[1] + float(py - editor.window_h / 2) / h * v;
}

void editor_cursor_world(float* x, float* z) { editor_screen_to_world(editor.cursor[0], editor.cursor[1], x, z); }

float editor_marker_size() { return std::fmax(editor_view_span() * 0.01f, 1.0f); }
float editor_pick_radius() { return editor_marker_size() * 0.5f; }

float editor_brush_radius()
{
    float h = float(editor.window_h > 0 ? editor.window_h : 1);
    return float(editor.settings.radius) * editor_view_span() / h;
}

float editor_brush_inner_radius() { return float(editor.settings.focus) * editor_brush_radius(); }
float editor_brush_strength() { return float(std::pow(2.0, editor.settings.strength)); }

void editor_set_status(const char* text) { editor.status = text; }

static size_t grid_bytes()
{
    size_t n = size_t(editor.ground->size);
    return n * n * sizeof(float);
}

void editor_state_begin(terrain* t)
{
    editor_state_end();
    editor.ground = t;
    editor.tool = tool_raise;
    editor.focus_item = -1;
    editor.last_cursor[0] = editor.last_cursor[1] = -1;
    editor.drag = 0;
    editor.grab_mode = 0;
    editor.pan_active = 0;
    editor.tic_count = 0;
    editor.line_anchor[0] = editor.line_anchor[1] = -1;
    editor.view_centre[0] = editor.view_centre[1] = t->extent * 0.5f;
    editor.smudge_origin[0] = editor.smudge_origin[1] = 0;
    array_init(&editor.gradients, sizeof(gradient));
    editor.selected_gradient = editor.selected_point = -1;
    editor.selected_gate = -1;
    editor.selected_billboard = 0;
    editor.last_billboard = -1;
    editor.selected_statue = 0;
    editor.selected_decal = 0;
    array_init(&editor.decal_group, sizeof(int32_t));
    editor.snapshot = static_cast<float*>(xmalloc(grid_bytes()));
    for (float*& u : editor.undo) u = static_cast<float*>(xmalloc(grid_bytes()));
    editor.undo_write = 0;
    editor.undo_count = 0;
    editor.pending = 1;
    editor.settings = editor_default_settings();
    editor_commit();
}

void editor_state_end()
{
    if (!editor.ground) return;
    std::free(editor.snapshot);
    editor.snapshot = nullptr;
    for (float*& u : editor.undo) {
        std::free(u);
        u = nullptr;
    }
    editor.undo_write = editor.undo_count = 0;
    for (int32_t i = 0; i < editor.gradients.count; i++) {
        gradient* g = array_items<gradient>(&editor.gradients) + i;
        array_free(&g->points);
        array_free(&g->types);
    }
    array_free(&editor.gradients);
    array_free(&editor.decal_group);
    editor.ground = nullptr;
}

void editor_commit()
{
    editor.status = "OK";
    if (!editor.pending || !editor.ground) return;
    editor.pending = 0;
    std::memcpy(editor.snapshot, editor.ground->heights, grid_bytes());
    editor.ground->change_flags &= ~4;
    std::memcpy(editor.undo[editor.undo_write], editor.ground->heights, grid_bytes());
    editor.undo_write = (editor.undo_write + 1) % editor_undo_levels;
    if (editor.undo_count < editor_undo_levels) editor.undo_count++;
}

void editor_undo()
{
    if (!editor.ground || editor.ground->deform_lock) return;
    editor_commit();
    if (editor.undo_count < 2) {
        editor.status = "No more undo levels!";
        return;
    }
    editor.pending = 0;
    editor.undo_count--;
    // A non-negative modulo: the ring index must never go below 0.
    editor.undo_write = (editor.undo_write + editor_undo_levels - 1) % editor_undo_levels;
    const float* level = editor.undo[(editor.undo_write + editor_undo_levels - 1) % editor_undo_levels];
    std::memcpy(editor.snapshot, level, grid_bytes());
    std::memcpy(editor.ground->heights, level, grid_bytes());
    editor.ground->change_counter++;
    int32_t n = editor.ground->size;
    terrain_mark_dirty(editor.ground, 0, 0, n, n);
    editor.status = "Undo!";
}
