#pragma once
// What every editor tool shares: the one editor record, the derived
// quantities of the view (span, pick radius, brush radii, strength) and the
// commit step that turns live heights into a snapshot and an undo level.
//
// The record lives here, below the tools, so the terrain tools, gradients,
// object tools and the save can be built and tested on a small grid without
// a window: tests fill window_w/h and cursor and call the tools directly.
#include <cstdint>

#include "core/array.h"

struct terrain;

// Tools, in the order of the panel's first 16 items.
enum editor_tool : int32_t {
    tool_raise = 0,
    tool_lower,
    tool_smooth,
    tool_smudge,
    tool_snap,
    tool_gradient_linear_paint,
    tool_gradient_linear_add,
    tool_gradient_radial_paint,
    tool_gradient_radial_add,
    tool_gradient_placement,
    tool_gradient_edit,
    tool_timing_gate,
    tool_billboards,
    tool_statues,
    tool_tilemap_edit,
    tool_decals,
    editor_tool_count
};

// Panel indexes of the side panel's widgets (the tool items are 0..15).
enum editor_panel_index : int32_t {
    panel_submode = 16,
    panel_save,
    panel_zoom,
    panel_strength,
    panel_focus,
    panel_radius,
    panel_billboard_spacing,
    panel_billboard_height,
    panel_new_gradient,
    panel_copy_gradient,
    panel_segment_type,
    panel_granularity,
    panel_set_from_terrain,
    panel_flatten,
    panel_set_switch_point,
    panel_clear_switch_point,
    panel_tile,
    panel_show_wireframe,
    panel_show_collidable,
    panel_snap_to_gradient,
    panel_decal_spacing,
    panel_decal_orientation,
    panel_decal_hide_different,
    panel_decal_level,
    editor_panel_count
};

enum editor_submode : int32_t { submode_assign = 0, submode_raise_only, submode_lower_only };
enum decal_orientation : int32_t { orient_copy = 0, orient_random, orient_flow, orient_flow2, orient_uphill };
enum decal_level : int32_t { level_top = 0, level_under_current, level_over_current, level_bottom };

constexpr int32_t editor_drag_panel = 0x10000;  // or-ed into drag for a panel drag
constexpr int32_t editor_undo_levels = 8;

struct gradient_point {
    float distance;  // feet from the axis start
    float height;    // feet
};

// One byte per profile point: the segment from it to the next.
enum segment_type : uint8_t { segment_line = 0, segment_curve = 1 };

struct gradient {
    float start_x, start_z;
    float end_x, end_z;
    growable_array points;  // of gradient_point, by increasing distance
    growable_array types;   // of uint8_t (segment_type), one per point
};

// The values of the panel's sliders and choices, which the tools read. The
// panel's widgets write them (a choice as its entry index).
struct editor_settings {
    double zoom;              // 1, step 0.125, -3..8 (the "=" key may pass 8)
    double strength;          // 3, step 0.25, -5..5
    double focus;             // 0.5, step 1/32, 0..1
    double radius;            // 64 pixels, step 1, 1..128
    double billboard_spacing; // 1, step 0.25, 0.25..1000
    double billboard_height;  // 0, step 0.25, -50..50
    double granularity;       // 0, step 1/16, 0..1
    double tile;              // 0, step 1, 0..tile count - 1
    double decal_spacing;     // 0.75, step 1/16, 0.25..4
    int32_t submode;          // editor_submode
    int32_t segment_type;     // segment_type of the selected point
    int32_t show_wireframe;   // 0 "No", 1 "Yes"
    int32_t show_collidable;
    int32_t decal_orientation;  // decal_orientation, default orient_flow
    int32_t decal_hide_different;
    int32_t decal_level;        // decal_level, default level_over_current
};

struct editor_record {
    int32_t tool;
    int32_t focus_item;       // panel widget under the cursor, -1 none
    int32_t last_cursor[2];
    int32_t drag;             // 0 idle, 1 tool drag, index | editor_drag_panel
    int32_t grab_mode;        // 0, 1, 2: per tool
    int32_t pan_active;
    float pan_last[2];
    int32_t tic_count;
    float view_centre[2];     // world x, z
    float line_anchor[2];     // (-1, -1) when unset
    float smudge_origin[2];
    growable_array gradients; // of gradient
    int32_t selected_gradient, selected_point;
    int32_t selected_gate;
    int32_t selected_billboard, last_billboard;
    int32_t selected_statue;
    int32_t selected_decal;
    growable_array decal_group;  // of int32_t decal indexes
    float* snapshot;             // n x n heights of the last commit
    float* undo[editor_undo_levels];
    int32_t undo_write, undo_count;
    int32_t pending;             // heights changed since the last commit
    const char* status;
    char status_text[64];        // backing for formatted status lines

    editor_settings settings;

    // Input state the derived quantities read: the window in pixels and the
    // cursor in window pixels (y down). The main loop's handlers refresh them.
    int32_t window_w, window_h;
    int32_t cursor[2];

    terrain* ground;  // the terrain being edited (null: no editor)
};

extern editor_record editor;

// The settings' defaults, as the panel starts.
editor_settings editor_default_settings();

// ---- Derived quantities --------------------------------------------------------

// View span V = terrain size / 2^Zoom: the world distance the window's height shows.
float editor_view_span();
// World x and z under the window pixel (px, py).
void editor_screen_to_world(int32_t px, int32_t py, float* x, float* z);
// The cursor's world point.
void editor_cursor_world(float* x, float* z);
// Pick radius r = max(0.01 V, 1) / 2.
float editor_pick_radius();
// Marker size m = max(0.01 V, 1).
float editor_marker_size();
// Brush radius R = Radius V / h and inner radius Ri = Focus R.
float editor_brush_radius();
float editor_brush_inner_radius();
// Strength s = 2^Strength.
float editor_brush_strength();

// ---- Commit --------------------------------------------------------------------

// Takes up the terrain (allocating snapshot and undo ring) and resets the
// record to its state after init, with the loaded heights as undo level 1.
// Tests use it on a small terrain; editor_init adds gradients, edinfo and
// the panel on top of it.
void editor_state_begin(terrain* t);
// Frees everything editor_state_begin and the tools allocated.
void editor_state_end();
// When heights changed since the last commit, they become the snapshot and a
// new undo level. Sets the status "OK".
void editor_commit();
// Backspace: steps back one undo level ("No more undo levels!" below two).
void editor_undo();
// Sets the status line to a fixed text.
void editor_set_status(const char* text);
