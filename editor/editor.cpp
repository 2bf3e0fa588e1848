// The editor view: the side panel bound to editor.settings, the routing of
// input events to the panel and the tools, the per-tic drag and the top-down
// drawing of the ground with the tools' overlays.
#include "editor/editor.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

#include "core/game_state.h"
#include "game/timing_gates.h"
#include "editor/editor_save.h"
#include "editor/editor_state.h"
#include "editor/gradients.h"
#include "editor/object_tools.h"
#include "editor/terrain_tools.h"
#include "game/control_input.h"
#include "game/lighting.h"
#include "game/track_objects.h"
#include "gfx/imm.h"
#include "gfx/model.h"
#include "gfx/text.h"
#include "gfx/ztgl.h"
#include "gfx/ztgl_queue.h"
#include "physics/collision_shape.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"
#include "terrain/terrain_render.h"
#include "ui/settings.h"
#include "ui/statue_draw.h"
#include "ui/view.h"
#include "ui/widgets.h"

namespace {

const char* const tool_names[editor_tool_count] = {
    "Raise", "Lower", "Smooth", "Smudge", "Snap", "Gradient Linear Paint", "Gradient Linear Add",
    "Gradient Radial Paint", "Gradient Radial Add", "Gradient Placement", "Gradient Edit", "Timing Gate",
    "Billboards", "Statues", "Tilemap Edit", "Decals"};
const char* const submode_entries[] = {"Assign", "Raise Only", "Lower Only"};
const char* const segment_entries[] = {"Line", "Curve"};
const char* const no_yes[] = {"No", "Yes"};
const char* const orientation_entries[] = {"Copy", "Random", "Flow", "Flow2", "Uphill"};
const char* const level_entries[] = {"Top", "Under Current", "Over Current", "Bottom"};

menu_item tool_items[editor_tool_count];
menu_choice submode_choice = {"SubMode", submode_entries, 3, 0, {}};
menu_item save_item = {"Save", {}};
menu_slider zoom_slider = {"Zoom", 1, 0.125, -3, 8, {}, 0, 0};
menu_slider strength_slider = {"Strength", 3, 0.25, -5, 5, {}, 0, 0};
menu_slider focus_slider = {"Focus", 0.5, 0.03125, 0, 1, {}, 0, 0};
menu_slider radius_slider = {"Radius", 64, 1, 1, 128, {}, 0, 0};
menu_slider billboard_spacing_slider = {"Spacing", 1, 0.25, 0.25, 1000, {}, 0, 0};
menu_slider billboard_height_slider = {"Height", 0, 0.25, -50, 50, {}, 0, 0};
menu_item new_gradient_item = {"New Gradient", {}};
menu_item copy_gradient_item = {"Copy Gradient", {}};
menu_choice segment_choice = {"Segment Type", segment_entries, 2, 0, {}};
menu_slider granularity_slider = {"Granularity", 0, 0.0625, 0, 1, {}, 0, 0};
menu_item set_from_terrain_item = {"Set From Terrain", {}};
menu_item flatten_item = {"Flatten", {}};
menu_item set_switch_item = {"Set AI Switch Point", {}};
menu_item clear_switch_item = {"Clear AI Switch Point", {}};
menu_slider tile_slider = {"Tile", 0, 1, 0, 255, {}, 0, 0};
menu_choice wireframe_choice = {"Show Wireframe", no_yes, 2, 0, {}};
menu_choice collidable_choice = {"Show Collidable", no_yes, 2, 0, {}};
menu_item snap_to_gradient_item = {"Snap to Gradient", {}};
menu_slider decal_spacing_slider = {"Spacing", 0.75, 0.0625, 0.25, 4, {}, 0, 0};
menu_choice orientation_choice = {"Orientation", orientation_entries, 5, orient_flow, {}};
menu_choice hide_different_choice = {"Hide different", no_yes, 2, 0, {}};
menu_choice level_choice = {"Level", level_entries, 4, level_over_current, {}};

// One panel index: its widget (exactly one pointer set) and the tool that
// shows it (-1: every tool).
struct panel_entry {
    menu_item* item;
    menu_choice* choice;
    menu_slider* slider;
    int32_t tool;
};

panel_entry panel_entry_of(int32_t index)
{
    if (index >= 0 && index < editor_tool_count) return {&tool_items[index], nullptr, nullptr, -1};
    switch (index) {
    case panel_submode: return {nullptr, &submode_choice, nullptr, -1};
    case panel_save: return {&save_item, nullptr, nullptr, -1};
    case panel_zoom: return {nullptr, nullptr, &zoom_slider, -1};
    case panel_strength: return {nullptr, nullptr, &strength_slider, -1};
    case panel_focus: return {nullptr, nullptr, &focus_slider, -1};
    case panel_radius: return {nullptr, nullptr, &radius_slider, -1};
    case panel_billboard_spacing: return {nullptr, nullptr, &billboard_spacing_slider, tool_billboards};
    case panel_billboard_height: return {nullptr, nullptr, &billboard_height_slider, tool_billboards};
    case panel_new_gradient: return {&new_gradient_item, nullptr, nullptr, tool_gradient_placement};
    case panel_copy_gradient: return {&copy_gradient_item, nullptr, nullptr, tool_gradient_placement};
    case panel_segment_type: return {nullptr, &segment_choice, nullptr, tool_gradient_edit};
    case panel_granularity: return {nullptr, nullptr, &granularity_slider, tool_gradient_edit};
    case panel_set_from_terrain: return {&set_from_terrain_item, nullptr, nullptr, tool_gradient_edit};
    case panel_flatten: return {&flatten_item, nullptr, nullptr, tool_gradient_edit};
    case panel_set_switch_point: return {&set_switch_item, nullptr, nullptr, tool_timing_gate};
    case panel_clear_switch_point: return {&clear_switch_item, nullptr, nullptr, tool_timing_gate};
    case panel_tile: return {nullptr, nullptr, &tile_slider, tool_tilemap_edit};
    case panel_show_wireframe: return {nullptr, &wireframe_choice, nullptr, tool_statues};
    case panel_show_collidable: return {nullptr, &collidable_choice, nullptr, tool_statues};
    case panel_snap_to_gradient: return {&snap_to_gradient_item, nullptr, nullptr, tool_statues};
    case panel_decal_spacing: return {nullptr, nullptr, &decal_spacing_slider, tool_decals};
    case panel_decal_orientation: return {nullptr, &orientation_choice, nullptr, tool_decals};
    case panel_decal_hide_different: return {nullptr, &hide_different_choice, nullptr, tool_decals};
    case panel_decal_level: return {nullptr, &level_choice, nullptr, tool_decals};
    default: return {nullptr, nullptr, nullptr, -1};
    }
}

// The widgets show the settings; the keys ("=", "[", ...) and the tools
// change the settings, the widgets change them back.
void widgets_from_settings()
{
    const editor_settings& s = editor.settings;
    zoom_slider.value = s.zoom;
    strength_slider.value = s.strength;
    focus_slider.value = s.focus;
    radius_slider.value = s.radius;
    billboard_spacing_slider.value = s.billboard_spacing;
    billboard_height_slider.value = s.billboard_height;
    granularity_slider.value = s.granularity;
    tile_slider.value = s.tile;
    decal_spacing_slider.value = s.decal_spacing;
    submode_choice.selected = s.submode;
    segment_choice.selected = s.segment_type;
    wireframe_choice.selected = s.show_wireframe;
    collidable_choice.selected = s.show_collidable;
    orientation_choice.selected = s.decal_orientation;
    hide_different_choice.selected = s.decal_hide_different;
    level_choice.selected = s.decal_level;
}

void settings_from_widgets()
{
    editor_settings& s = editor.settings;
    s.zoom = zoom_slider.value;
    s.strength = strength_slider.value;
    s.focus = focus_slider.value;
    s.radius = radius_slider.value;
    s.billboard_spacing = billboard_spacing_slider.value;
    s.billboard_height = billboard_height_slider.value;
    s.granularity = granularity_slider.value;
    s.tile = tile_slider.value;
    s.decal_spacing = decal_spacing_slider.value;
    s.submode = submode_choice.selected;
    s.segment_type = segment_choice.selected;
    s.show_wireframe = wireframe_choice.selected;
    s.show_collidable = collidable_choice.selected;
    s.decal_orientation = orientation_choice.selected;
    s.decal_hide_different = hide_different_choice.selected;
    s.decal_level = level_choice.selected;
}

// The cursor and the window as the frame and the input axes see them.
void take_input_state()
{
    editor.cursor[0] = cursor_x;
    editor.cursor[1] = cursor_y;
    editor.window_w = menu_drawable_w;
    editor.window_h = menu_drawable_h;
}

int32_t panel_widget_at(int32_t x, int32_t y)
{
    for (int32_t i = 0; i < editor_panel_count; i++)
        if (rect_contains(editor_panel_rect(i), x, y)) return i;
    return -1;
}

void refresh_focus()
{
    if (editor.cursor[0] == editor.last_cursor[0] && editor.cursor[1] == editor.last_cursor[1]) return;
    editor.last_cursor[0] = editor.cursor[0];
    editor.last_cursor[1] = editor.cursor[1];
    editor.focus_item = panel_widget_at(editor.cursor[0], editor.cursor[1]);
}

bool is_brush_tool(int32_t tool) { return tool >= tool_raise && tool <= tool_smudge; }
bool joins_lines(int32_t tool)
{
    return is_brush_tool(tool) || (tool >= tool_gradient_linear_paint && tool <= tool_gradient_edit) ||
           tool == tool_tilemap_edit;
}

void tool_press()
{
    switch (editor.tool) {
    case tool_raise:
    case tool_lower:
    case tool_smooth:
    case tool_snap: editor_commit(); break;
    case tool_smudge:
        editor_cursor_world(&editor.smudge_origin[0], &editor.smudge_origin[1]);
        editor_commit();
        break;
    case tool_gradient_placement: gradient_placement_press(); break;
    case tool_gradient_edit: gradient_edit_press(); break;
    case tool_timing_gate: gate_press(); break;
    case tool_billboards: billboard_press(); break;
    case tool_statues: statue_press(); break;
    case tool_decals: decal_press(); break;
    default: break;
    }
}

void tool_release()
{
    int32_t t = editor.tool;
    if (joins_lines(t)) editor.line_anchor[0] = editor.line_anchor[1] = -1;
    if (is_brush_tool(t) || t == tool_snap) editor_commit();
    if (t == tool_gradient_placement) gradient_placement_release();
}

// The keys of the table that stand alone; 1 when used.
int tool_key(uint32_t code)
{
    float span = editor_view_span();
    if (code == menu_keys.left) editor.view_centre[0] -= span / 4;
    else if (code == menu_keys.right) editor.view_centre[0] += span / 4;
    else if (code == menu_keys.up) editor.view_centre[1] -= span / 4;
    else if (code == menu_keys.down) editor.view_centre[1] += span / 4;
    else if (code >= 256) return 0;
    else if (code == menu_code_backspace) editor_undo();
    else if (code == '-') editor.settings.zoom = std::fmax(editor.settings.zoom - 0.5, zoom_slider.min);
    else if (code == '=') editor.settings.zoom += 0.5;  // no upper bound on this key
    else if (code == '[') editor.settings.strength = std::fmax(editor.settings.strength - 0.25, -5.0);
    else if (code == ']') editor.settings.strength = std::fmin(editor.settings.strength + 0.25, 5.0);
    else if (code == 'f') gradient_flatten();
    else if (code == 'i' && editor.tool == tool_statues) statues_interpolate();
    else if (code == 'l' && joins_lines(editor.tool)) {
        if (editor.line_anchor[0] < 0 && editor.line_anchor[1] < 0)
            editor_cursor_world(&editor.line_anchor[0], &editor.line_anchor[1]);
        else
            editor.line_anchor[0] = editor.line_anchor[1] = -1;
    } else if (code == 'p') {
        export_pov_scene();
        editor_set_status("Pov!");
    } else if (code == 's') editor_save();
    else if (code == 'u') editor_commit();
    else if (code >= '1' && code <= '9') {
        const int32_t tools[9] = {tool_smooth, tool_snap, tool_gradient_linear_paint, tool_gradient_linear_add,
                                  tool_gradient_radial_paint, tool_gradient_radial_add, tool_gradient_placement,
                                  tool_gradient_edit, tool_timing_gate};
        editor_choose_tool(tools[code - '1']);
    } else if (editor.tool == tool_billboards && (code == 'x' || code == menu_code_delete)) billboard_delete_near();
    else if (editor.tool == tool_statues && code == 'd') statue_duplicate();
    else if (editor.tool == tool_statues && (code == 'x' || code == menu_code_delete)) statue_delete_near();
    else if (editor.tool == tool_decals) return decal_key(code);
    else return 0;
    return 1;
}

// ---- Drawing ----------------------------------------------------------------

void draw_statue_wireframes()
{
    for (int32_t i = 0; i < track_objects.statues.count; i++) {
        const statue* s = statue_at(i);
        if (!s->model) continue;
        const float* o = s->orientation;  // row-major; GL takes columns
        const float m[16] = {o[0], o[3], o[6], 0, o[1], o[4], o[7], 0, o[2], o[5], o[8], 0, s->x, s->y, s->z, 1};
        ztglPushMatrix();
        ztglMultMatrixf(m);
        model_draw_outline(s->model);
        ztglPopMatrix();
    }
}

void draw_collision_circles()
{
    ztglDisable(GL_BLEND);
    ztglBindTexture(GL_TEXTURE_2D, ztgl_state.white_texture);
    for (int32_t i = 0; i < track_objects.statues.count; i++) {
        const statue* s = statue_at(i);
        if (!s->shape) continue;
        const float* o = s->orientation;
        for (int32_t k = 0; k < s->shape->count; k++) {
            const collision_sphere& c = s->shape->spheres[k];
            float x = s->x + o[0] * c.x + o[1] * c.y + o[2] * c.z;
            float y = s->y + o[3] * c.x + o[4] * c.y + o[5] * c.z;
            float z = s->z + o[6] * c.x + o[7] * c.y + o[8] * c.z;
            imm_begin(IMM_LINE_LOOP);
            imm_color(0, 0, 0, 1);
            for (int a = 0; a < 24; a++) {
                float t = float(a) * float(M_PI) / 12;
                imm_vertex3(x + c.radius * std::sin(t), y, z + c.radius * std::cos(t));
            }
            imm_end();
        }
    }
}

void panel_line(menu_pen* pen, const char* text)
{
    menu_draw_label(text, menu_label_colours, 21, 0);
    menu_advance(pen, 0, -1);
}

void draw_panel_widget(int32_t index, menu_pen* pen)
{
    panel_entry e = panel_entry_of(index);
    bool focused = editor.focus_item == index;
    if (e.item) menu_draw_item(e.item, focused || index == editor.tool, pen, 21, 0);
    else if (e.choice) menu_draw_choice(e.choice, focused, pen, 21, 0, 0.5f);
    else if (e.slider) menu_draw_slider(e.slider, focused, pen, 21, 0, 0.5f);
    menu_advance(pen, 0, -1);
}

void draw_tile_preview(menu_pen* pen)
{
    const terrain* t = editor.ground;
    int32_t tile = int32_t(editor.settings.tile);
    tile = tile < 0 ? 0 : tile > 255 ? 255 : tile;
    panel_line(pen, t->tile_names[tile]);
    if (!t->tile_atlas_texture) return;
    float uv[4];
    tile_atlas_cell(tile, uv);
    ztgl_use_program(ZTGL_UNLIT);
    ztglBindTexture(GL_TEXTURE_2D, t->tile_atlas_texture);
    imm_begin(IMM_QUADS);
    imm_color(1, 1, 1, 1);
    imm_texcoord(uv[0], uv[1]), imm_vertex2(0, 1);
    imm_texcoord(uv[2], uv[1]), imm_vertex2(4, 1);
    imm_texcoord(uv[2], uv[3]), imm_vertex2(4, -3);
    imm_texcoord(uv[0], uv[3]), imm_vertex2(0, -3);
    imm_end();
    ztglBindTexture(GL_TEXTURE_2D, 0);
    menu_advance(pen, 0, -4);
}

// The gates' numbers, written in window units over their positions.
void draw_gate_numbers(float unit)
{
    float v = editor_view_span(), h = float(editor.window_h > 0 ? editor.window_h : 1);
    char number[16];
    for (int32_t i = 0; i < timing_gates.checkpoint_count; i++) {
        const checkpoint& c = timing_gates.checkpoints[i];
        float px = float(editor.window_w / 2) + (c.x - editor.view_centre[0]) / v * h;
        float py = float(editor.window_h / 2) + (c.z - editor.view_centre[1]) / v * h;
        snprintf(number, sizeof number, "%d", i);
        ztglPushMatrix();
        ztglTranslatef(px / unit, 0.5f - py / unit, 0);
        float shade = i == editor.selected_gate ? 1.0f : 0.0f;
        draw_text(shade, shade, shade, 1, number);
        ztglPopMatrix();
    }
}

void draw_panel()
{
    widgets_from_settings();
    for (int32_t i = 0; i < editor_panel_count; i++) rect_clear(editor_panel_rect(i));
    const float lines = 48;
    menu_begin(lines);
    float unit = float(editor.window_h > 0 ? editor.window_h : 1) / lines;
    menu_pen pen = {0, -1, unit, -unit};
    if (editor.tool == tool_timing_gate) draw_gate_numbers(unit);
    menu_fill_rect(0, 0, 0, 0.5f, 0, 1, 21.25f, -lines);
    char text[128];
    for (int32_t i = 0; i <= panel_radius; i++) draw_panel_widget(i, &pen);
    snprintf(text, sizeof text, "Actual Radius: %.2f (%.2f)", double(editor_brush_radius()),
             double(editor_brush_inner_radius()));
    panel_line(&pen, text);
    snprintf(text, sizeof text, "Actual Strength: %.3f", double(editor_brush_strength()));
    panel_line(&pen, text);
    for (int32_t i = panel_billboard_spacing; i < editor_panel_count; i++)
        if (panel_entry_of(i).tool == editor.tool) draw_panel_widget(i, &pen);
    switch (editor.tool) {
    case tool_billboards: {
        int32_t b = editor.selected_billboard;
        bool ok = b >= track_objects.first_file_billboard && b < track_objects.billboards.count;
        panel_line(&pen, ok && billboard_at(b)->name ? billboard_at(b)->name : "[none]");
        break;
    }
    case tool_gradient_placement:
        snprintf(text, sizeof text, "Length: %.2f", double(gradient_selected_length()));
        panel_line(&pen, text);
        break;
    case tool_gradient_edit: {
        int32_t g = editor.selected_gradient, p = editor.selected_point;
        if (g >= 0 && g < editor.gradients.count) {
            gradient* gr = array_items<gradient>(&editor.gradients) + g;
            if (p >= 0 && p < gr->points.count) {
                snprintf(text, sizeof text, "Slope: %.3f", double(gradient_point_slope(p)));
                panel_line(&pen, text);
                snprintf(text, sizeof text, "Height: %.2f", double(array_items<gradient_point>(&gr->points)[p].height));
                panel_line(&pen, text);
            }
        }
        break;
    }
    case tool_timing_gate: panel_line(&pen, gate_switch_point_text()); break;
    case tool_tilemap_edit: draw_tile_preview(&pen); break;
    default: break;
    }
    float x, z;
    editor_cursor_world(&x, &z);
    snprintf(text, sizeof text, "%.2f %.2f %.2f", double(x), double(terrain_height_at(editor.ground, x, z)), double(z));
    panel_line(&pen, text);
    panel_line(&pen, editor.status ? editor.status : "");
    menu_end();
}

}  // namespace

menu_rect* editor_panel_rect(int32_t index)
{
    panel_entry e = panel_entry_of(index);
    if (e.item) return &e.item->rect;
    if (e.choice) return &e.choice->rect;
    if (e.slider) return &e.slider->rect;
    static menu_rect none = {-1, -1, -1, -1};
    none = {-1, -1, -1, -1};
    return &none;
}

void editor_choose_tool(int32_t tool)
{
    if (tool < 0 || tool >= editor_tool_count) return;
    if (tool != editor.tool) editor_commit();
    editor.tool = tool;
}

void editor_panel_activate(int32_t index, uint32_t code)
{
    panel_entry e = panel_entry_of(index);
    menu_rect* rect = editor_panel_rect(index);
    widgets_from_settings();
    if (index >= 0 && index < editor_tool_count) {
        if (widget_activated(rect, code)) editor_choose_tool(index);
        return;
    }
    if (e.choice) {
        menu_choice_key(e.choice, code);
        settings_from_widgets();
        if (index == panel_segment_type) gradient_set_segment_type(e.choice->selected);
        return;
    }
    if (e.slider) {
        double before = e.slider->value;
        menu_slider_key(e.slider, code);
        settings_from_widgets();
        if (index == panel_billboard_height && e.slider->value != before) billboard_set_height(e.slider->value);
        return;
    }
    if (!e.item || !widget_activated(rect, code)) return;
    switch (index) {
    case panel_save: editor_save(); break;
    case panel_new_gradient: gradient_new(); break;
    case panel_copy_gradient: gradient_copy(); break;
    case panel_set_from_terrain: gradient_set_from_terrain(); break;
    case panel_flatten: gradient_flatten(); break;
    case panel_set_switch_point: gate_set_switch_point(1); break;
    case panel_clear_switch_point: gate_set_switch_point(0); break;
    case panel_snap_to_gradient: statue_snap_to_gradient(); break;
    default: break;
    }
}

int editor_key(uint32_t code, int pressed)
{
    if (!editor.ground) return 0;
    take_input_state();
    if (code < 256 && pressed) {
        if (code >= 32 && code < 127)
            snprintf(editor.status_text, sizeof editor.status_text, "Pressed 0x%02x ('%c')", code, int(code));
        else
            snprintf(editor.status_text, sizeof editor.status_text, "Pressed 0x%02x", code);
        editor.status = editor.status_text;
    }
    refresh_focus();
    if (code == menu_code_tab) return 0;
    if (code == menu_keys.cursor_left) {
        if (pressed) {
            if (editor.focus_item >= 0) {
                editor.drag = editor.focus_item | editor_drag_panel;
                editor_panel_activate(editor.focus_item, code);
                return 0;
            }
            editor.tic_count = 0;
            editor.drag = 1;
            tool_press();
            return 1;
        }
        if (editor.drag == 1) tool_release();
        editor.drag = 0;
        return 1;
    }
    if (code == menu_keys.cursor_right) {
        editor.pan_active = pressed;
        if (pressed) editor.pan_last[0] = float(editor.cursor[0]), editor.pan_last[1] = float(editor.cursor[1]);
        return 1;
    }
    if (editor.focus_item >= 0) {
        if (!pressed) return 0;
        editor_panel_activate(editor.focus_item, code);
        return 1;
    }
    if (!pressed) return 0;
    return tool_key(code);
}

void editor_update()
{
    if (!editor.ground) return;
    take_input_state();
    if ((editor.ground->change_flags & 4) && !editor.pending) {
        editor.pending = 1;
        editor_set_status("Update needed!");
    }
    refresh_focus();
    if (editor.pan_active) {
        float k = editor_view_span() / float(editor.window_h > 0 ? editor.window_h : 1);
        editor.view_centre[0] += (editor.pan_last[0] - float(editor.cursor[0])) * k;
        editor.view_centre[1] += (editor.pan_last[1] - float(editor.cursor[1])) * k;
        editor.pan_last[0] = float(editor.cursor[0]);
        editor.pan_last[1] = float(editor.cursor[1]);
    }
    if (editor.drag == 0) return;
    if (editor.drag & editor_drag_panel) {
        int32_t index = editor.drag & ~editor_drag_panel;
        if (index == editor.focus_item) editor_panel_activate(index, menu_code_drag);
        return;
    }
    switch (editor.tool) {
    case tool_snap: snap_tic(); break;
    case tool_gradient_placement: gradient_placement_drag(); break;
    case tool_gradient_edit: gradient_edit_drag(); break;
    case tool_timing_gate: gate_drag(); break;
    case tool_billboards: billboard_drag(); break;
    case tool_statues: statue_drag(); break;
    case tool_tilemap_edit: tilemap_paint_tic(); break;
    case tool_decals: decal_drag_tic(); break;
    default: stroke_driver_tic(); break;
    }
}

void editor_init()
{
    editor_state_begin(&track_terrain);
    for (int32_t i = 0; i < editor_tool_count; i++) tool_items[i] = {tool_names[i], {}};
    tile_slider.max = track_terrain.tile_count > 1 ? double(track_terrain.tile_count - 1) : 0;
    // Selections start at the first object of the track's own files, or none.
    editor.selected_billboard =
        track_objects.first_file_billboard < track_objects.billboards.count ? track_objects.first_file_billboard : -1;
    editor.selected_statue =
        track_objects.first_file_statue < track_objects.statues.count ? track_objects.first_file_statue : -1;
    editor.selected_decal = track_terrain.decals.count > 0 ? 0 : -1;
    char folder[track_dir_size + 2];
    snprintf(folder, sizeof folder, "@%s", track_dir);
    edinfo_load(folder);
    track_terrain.change_flags = 0;
    editor_set_status("OK");
    widgets_from_settings();
}

void editor_free() { editor_state_end(); }

void editor_draw()
{
    terrain* t = editor.ground;
    if (!t) return;
    take_input_state();
    int32_t w = editor.window_w > 0 ? editor.window_w : 1, h = editor.window_h > 0 ? editor.window_h : 1;
    float span = editor_view_span();
    t->camera[0] = editor.view_centre[0];
    t->camera[1] = terrain_height_at(t, editor.view_centre[0], editor.view_centre[1]) + span;
    t->camera[2] = editor.view_centre[1];
    if (t->renderer)
        for (int i = 0; i < 8; i++) terrain_update_pyramid(t);

    ztglViewport(0, 0, w, h);
    ztglMatrixMode(ZTGL_PROJECTION);
    ztglLoadIdentity();
    double aspect = double(w) / double(h);
    ztglOrtho(-aspect, aspect, -1, 1, -1000, 1000);
    ztglMatrixMode(ZTGL_MODELVIEW);
    ztglLoadIdentity();
    float identity[16];
    ztgl_mat4_identity(identity);
    ztgl_set_envmat(identity);
    ztglEnable(GL_DEPTH_TEST);
    ztglDepthFunc(GL_ALWAYS);
    ztglDepthMask(1);
    ztglClearColor(0.196078f, 0.6f, 0.8f, 0);
    ztglClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // Top down: world z runs down the window, V feet fill its height.
    ztglRotatef(90, 1, 0, 0);
    ztglTranslatef(0, -1, 0);
    float scale = 2 / (span > 0 ? span : 1);
    ztglScalef(scale, scale, scale);
    ztglTranslatef(-editor.view_centre[0], 0, -editor.view_centre[1]);
    // The model view's rotation only swaps axes: the sun keeps its world
    // direction carried the same way.
    const float* sun = lighting.sun_vector;
    const float light[3] = {sun[0], -sun[2], sun[1]};
    for (int program : {ZTGL_NORM_SPEC_LIT, ZTGL_TERRAIN}) {
        ztgl_use_program(program);
        ztgl_set_light_position(light);
    }
    ztgl_use_program(ZTGL_UNLIT);
    ztglDisable(GL_CULL_FACE);
    if (t->renderer) terrain_draw(t);

    ztglDepthFunc(GL_LEQUAL);
    if (editor.settings.show_wireframe) draw_statue_wireframes();
    const float camera[3] = {t->camera[0], t->camera[1], t->camera[2]};
    draw_statues(camera);
    ztgl_use_program(ZTGL_UNLIT);
    if (editor.tool == tool_statues && editor.settings.show_collidable) draw_collision_circles();

    ztglDepthFunc(GL_ALWAYS);
    // The unlit program multiplies by the bound texture: white lets the
    // markers' own colours through.
    ztglBindTexture(GL_TEXTURE_2D, ztgl_state.white_texture);
    int32_t tool = editor.tool;
    bool object_tool = tool >= tool_timing_gate && tool <= tool_statues;
    bool gradient_tool = tool >= tool_gradient_linear_paint && tool <= tool_gradient_edit;
    if (object_tool) object_tools_draw_overlay();
    if (gradient_tool) gradients_draw_overlay();
    if (!object_tool && tool != tool_gradient_placement && tool != tool_gradient_edit) terrain_tools_draw_overlay();
    ztglEnable(GL_CULL_FACE);

    // The panel, and what the frame draws after the view, in the overlay
    // space of the riding views.
    set_perspective(w, h, float(settings.fov.value));
    ztglLoadIdentity();
    ztglEnable(GL_BLEND);
    ztglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    draw_panel();
    ztglDisable(GL_BLEND);
}
