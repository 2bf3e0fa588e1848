// The Timing Gate, Billboards and Statues tools. The searches cover only the
// track's own objects (from the first file billboard and statue on): the
// flying pool's hidden billboards, the flaggers' and the start gates' objects
// are made by the program and never saved, so picking or copying them would
// put program-made objects into the track's files.
#include "editor/object_tools.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "core/game_state.h"
#include "editor/editor_state.h"
#include "game/track_objects.h"
#include "gfx/imm.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"

namespace {

constexpr int32_t edited = 7;  // the flags word after every object change
constexpr float min_reach = 0.5f;  // feet; a gate shorter than this could not be passed

void mark_changed() { editor.ground->change_flags = edited; }
bool locked() { return !editor.ground || editor.ground->deform_lock; }

float dist2(float ax, float az, float bx, float bz) { return (ax - bx) * (ax - bx) + (az - bz) * (az - bz); }

checkpoint* selected_checkpoint()
{
    int32_t g = editor.selected_gate;
    return g >= 0 && g < timing_gates.checkpoint_count ? &timing_gates.checkpoints[g] : nullptr;
}

bool valid_billboard(int32_t i) { return i >= track_objects.first_file_billboard && i < track_objects.billboards.count; }
bool valid_statue(int32_t i) { return i >= track_objects.first_file_statue && i < track_objects.statues.count; }

int32_t lap_entry_count() { return timing_gates.first_lap_entries + timing_gates.normal_lap_entries; }

// Counted entries of a lap sequence after replacing `from` by `to`.
int32_t counted_after(const int32_t* entries, int32_t n, int32_t from, int32_t to)
{
    int32_t counted = 0;
    for (int32_t i = 0; i < n; i++) counted += (entries[i] == from ? to : entries[i]) < lap_entry_marked;
    return counted;
}

// The first file billboard within r of (x, z), searching from after the
// selected one round to it; -1 when none.
int32_t billboard_near(float x, float z)
{
    int32_t first = track_objects.first_file_billboard, n = track_objects.billboards.count - first;
    if (n <= 0) return -1;
    float r = editor_pick_radius();
    int32_t start = valid_billboard(editor.selected_billboard) ? editor.selected_billboard + 1 - first : 1;
    for (int32_t k = 0; k < n; k++) {
        int32_t i = first + (start + k) % n;
        const billboard* b = billboard_at(i);
        if (dist2(b->x, b->z, x, z) <= r * r) return i;
    }
    return -1;
}

int32_t statue_near(float x, float z)
{
    float r = editor_pick_radius();
    for (int32_t i = track_objects.first_file_statue; i < track_objects.statues.count; i++)
        if (dist2(statue_at(i)->x, statue_at(i)->z, x, z) <= r * r) return i;
    return -1;
}

// A new heading for a statue, unless it stands upright; a heading kept below
// -2 pi (no ground tilt) keeps its offset.
void turn_statue(statue* s, float angle)
{
    if (s->angle >= statue_upright_angle) return;
    float a = std::atan2(std::sin(angle), std::cos(angle));
    if (s->angle <= float(-2 * M_PI)) a -= float(4 * M_PI);
    s->angle = a;
}

bool same_name(const char* a, const char* b) { return (!a && !b) || (a && b && !strcmp(a, b)); }

void circle(float x, float y, float z, float radius, float r, float g, float b)
{
    imm_begin(IMM_LINE_LOOP);
    imm_color(r, g, b, 1);
    for (int a = 0; a < 24; a++) {
        float t = float(a) * float(M_PI) / 12;
        imm_vertex3(x + radius * std::sin(t), y, z + radius * std::cos(t));
    }
    imm_end();
}

}  // namespace

int32_t editor_object_sections_changed;

// ---- Timing gates -------------------------------------------------------------

void gate_press()
{
    float cx, cz;
    editor_cursor_world(&cx, &cz);
    float r = editor_pick_radius();
    for (int32_t i = 0; i < timing_gates.checkpoint_count; i++) {
        const checkpoint& c = timing_gates.checkpoints[i];
        if (dist2(c.x, c.z, cx, cz) <= r * r) {
            editor.selected_gate = i, editor.grab_mode = 1;
            return;
        }
        float l = std::sqrt(c.dx * c.dx + c.dz * c.dz);
        if (l > 0 && dist2(c.x + c.dx / l * c.width, c.z + c.dz / l * c.width, cx, cz) <= r * r) {
            editor.selected_gate = i, editor.grab_mode = 2;
            return;
        }
    }
    for (int32_t i = 0; i < timing_gates.checkpoint_count; i++) {
        const checkpoint& c = timing_gates.checkpoints[i];
        bool in_reach = dist2(c.x, c.z, cx, cz) <= c.width * c.width;
        if (in_reach && (c.x - cx) * c.dx + (c.z - cz) * c.dz < 0) {
            editor.selected_gate = i, editor.grab_mode = 0;
            return;
        }
    }
    editor.selected_gate = -1;
}

void gate_drag()
{
    checkpoint* c = selected_checkpoint();
    if (!c || locked()) return;
    float cx, cz;
    editor_cursor_world(&cx, &cz);
    if (editor.grab_mode == 1) {
        c->x = cx, c->y = 0, c->z = cz;
    } else if (editor.grab_mode == 2) {
        float dx = cx - c->x, dz = cz - c->z, reach = std::sqrt(dx * dx + dz * dz);
        // A gate with no reach has no direction and can never be passed.
        if (reach < min_reach) return;
        c->dx = dx, c->dy = 0, c->dz = dz, c->width = reach;
    } else {
        return;
    }
    mark_changed();
}

void gate_set_switch_point(int32_t on)
{
    if (!selected_checkpoint()) return;
    int32_t gate = editor.selected_gate;
    int32_t from = on ? gate + lap_entry_marked : gate, to = on ? gate : gate + lap_entry_marked;
    int32_t* entries = timing_gates.lap_entries;
    int32_t first_n = timing_gates.first_lap_entries, normal_n = timing_gates.normal_lap_entries;
    int32_t first = counted_after(entries, first_n, from, to);
    int32_t normal = counted_after(entries + first_n, normal_n, from, to);
    // The loader refuses a lap of fewer than 3 counted gates and would drop
    // every gate of the track once saved.
    if (!on && (first < 3 || normal < 3)) {
        editor_set_status("A lap needs at least 3 switch points!");
        return;
    }
    for (int32_t i = 0; i < first_n + normal_n; i++)
        if (entries[i] == from) entries[i] = to;
    // The sections are cut at the counted gates: count them again, and let
    // the save drop the racing lines filed under the old sections.
    timing_gates.counted_first_lap = first;
    timing_gates.counted_normal_lap = normal;
    timing_gates.line_set_count = first + normal;
    editor_object_sections_changed = 1;
    mark_changed();
}

const char* gate_switch_point_text()
{
    int32_t gate = editor.selected_gate, plain = 0, marked = 0;
    for (int32_t i = 0; i < lap_entry_count(); i++) {
        plain += timing_gates.lap_entries[i] == gate;
        marked += timing_gates.lap_entries[i] == gate + lap_entry_marked;
    }
    if (!selected_checkpoint() || (!plain && !marked)) return "Gate not referenced";
    if (plain && marked) return "Switch Point: Mixed";
    return plain ? "Switch Point: Yes" : "Switch Point: No";
}

// ---- Billboards -----------------------------------------------------------------

void billboard_press()
{
    float cx, cz;
    editor_cursor_world(&cx, &cz);
    int32_t hit = billboard_near(cx, cz);
    if (hit >= 0) {
        editor.selected_billboard = hit;
        editor.last_billboard = -1;
        editor.settings.billboard_height = billboard_at(hit)->relative_height;
        return;
    }
    if (valid_billboard(editor.selected_billboard)) billboard_place_copy(cx, cz);
}

void billboard_place_copy(float x, float z)
{
    if (!valid_billboard(editor.selected_billboard)) return;
    billboard source = *billboard_at(editor.selected_billboard);
    int32_t i = create_billboard(x, source.relative_height, z, source.size, source.aspect, source.name, origin_editor);
    if (i < 0) return;
    std::memcpy(billboard_at(i)->colour, source.colour, sizeof source.colour);
    editor.last_billboard = i;
    mark_changed();
}

void billboard_drag()
{
    if (!valid_billboard(editor.selected_billboard) || !valid_billboard(editor.last_billboard)) return;
    const billboard* last = billboard_at(editor.last_billboard);
    float spacing = last->size * last->aspect * float(editor.settings.billboard_spacing);
    float cx, cz;
    editor_cursor_world(&cx, &cz);
    for (int32_t i = track_objects.first_file_billboard; i < track_objects.billboards.count; i++)
        if (dist2(billboard_at(i)->x, billboard_at(i)->z, cx, cz) <= spacing * spacing) return;
    billboard_place_copy(cx, cz);
}

void billboard_set_height(double height)
{
    if (!valid_billboard(editor.selected_billboard)) return;
    billboard* b = billboard_at(editor.selected_billboard);
    b->relative_height = float(height);
    b->y = float(height) + terrain_height_at(editor.ground, b->x, b->z);
    mark_changed();
}

void billboard_delete_near()
{
    float cx, cz;
    editor_cursor_world(&cx, &cz);
    int32_t i = billboard_near(cx, cz);
    if (i < 0) return;
    billboard_remove(i);
    for (int32_t* s : {&editor.selected_billboard, &editor.last_billboard}) {
        if (*s == i) *s = -1;
        else if (*s > i) --*s;
    }
}

// ---- Statues --------------------------------------------------------------------

void statue_press()
{
    float cx, cz;
    editor_cursor_world(&cx, &cz);
    float r = editor_pick_radius(), m = editor_marker_size();
    editor.grab_mode = 0;
    int32_t hit = statue_near(cx, cz);
    if (hit >= 0) {
        editor.selected_statue = hit, editor.grab_mode = 1;
        return;
    }
    for (int32_t i = track_objects.first_file_statue; i < track_objects.statues.count; i++) {
        const statue* s = statue_at(i);
        float hx = s->x - 4 * m * std::sin(s->angle), hz = s->z - 4 * m * std::cos(s->angle);
        if (dist2(hx, hz, cx, cz) <= r * r) {
            editor.selected_statue = i, editor.grab_mode = 2;
            return;
        }
    }
    editor.selected_statue = -1;
}

void statue_drag()
{
    if (locked() || !valid_statue(editor.selected_statue)) return;
    statue* s = statue_at(editor.selected_statue);
    float cx, cz;
    editor_cursor_world(&cx, &cz);
    if (editor.grab_mode == 1) {
        s->x = cx, s->z = cz;
        place_statue_on_ground(s);
        mark_changed();
        rebuild_statue_grid();
    } else if (editor.grab_mode == 2) {
        if (s->angle >= statue_upright_angle) return;
        turn_statue(s, std::atan2(s->x - cx, s->z - cz));
        place_statue_on_ground(s);
        mark_changed();
    }
}

void statue_duplicate()
{
    if (locked() || !valid_statue(editor.selected_statue)) return;
    float cx, cz;
    editor_cursor_world(&cx, &cz);
    const statue* s = statue_at(editor.selected_statue);
    if (create_statue(cx, s->relative_height, cz, s->angle, s->model_name, s->texture_name, s->shape_name,
                      origin_editor) < 0)
        return;
    rebuild_statue_grid();
    mark_changed();
}

void statue_delete_near()
{
    if (locked()) return;
    float cx, cz;
    editor_cursor_world(&cx, &cz);
    int32_t i = statue_near(cx, cz);
    if (i < 0) return;
    statue_remove(i);
    if (editor.selected_statue == i) editor.selected_statue = -1;
    else if (editor.selected_statue > i) editor.selected_statue--;
    rebuild_statue_grid();
    mark_changed();
}

void statues_interpolate()
{
    int32_t k = editor.selected_statue, last = track_objects.statues.count - 1;
    if (locked() || !valid_statue(k) || last - k < 2) return;
    const statue* a = statue_at(k);
    for (int32_t j = k + 1; j <= last; j++) {
        const statue* s = statue_at(j);
        if (!same_name(s->model_name, a->model_name) || !same_name(s->texture_name, a->texture_name)) {
            editor_set_status("Bad match for interpolate!");
            return;
        }
    }
    const statue* b = statue_at(last);
    for (int32_t j = k + 1; j < last; j++) {
        statue* s = statue_at(j);
        float f = float(j - k) / float(last - k);
        s->x = a->x + (b->x - a->x) * f;
        s->z = a->z + (b->z - a->z) * f;
        place_statue_on_ground(s);
        mark_changed();
    }
    rebuild_statue_grid();
}

void statue_snap_to_gradient()
{
    int32_t g = editor.selected_gradient;
    if (locked() || !valid_statue(editor.selected_statue) || g < 0 || g >= editor.gradients.count) return;
    statue* s = statue_at(editor.selected_statue);
    gradient* gr = array_items<gradient>(&editor.gradients) + g;
    float ux = gr->end_x - gr->start_x, uz = gr->end_z - gr->start_z, length = std::sqrt(ux * ux + uz * uz);
    if (!(length > 1e-6f)) return;  // no axis to snap to
    ux /= length, uz /= length;
    float px = s->x - gr->start_x, pz = s->z - gr->start_z;
    float from_start = std::sqrt(px * px + pz * pz);
    float along = px * ux + pz * uz, off_axis = std::fabs(px * uz - pz * ux);
    float nearest = 0;
    const gradient_point* points = array_items<gradient_point>(&gr->points);
    for (int32_t i = 0; i < gr->points.count; i++)
        if (std::fabs(points[i].distance - from_start) < std::fabs(nearest - from_start)) nearest = points[i].distance;
    if (std::fabs(nearest - from_start) > off_axis) {
        s->x = gr->start_x + ux * along;
        s->z = gr->start_z + uz * along;
        turn_statue(s, std::atan2(-ux, -uz));
    } else {
        if (from_start > 0) {
            s->x = gr->start_x + px / from_start * nearest;
            s->z = gr->start_z + pz / from_start * nearest;
        }
        turn_statue(s, std::atan2(gr->start_z - s->z, s->x - gr->start_x));
    }
    place_statue_on_ground(s);
    mark_changed();
}

// ---- Overlay ----------------------------------------------------------------------

void object_tools_draw_overlay()
{
    float m = editor_marker_size();
    if (editor.tool == tool_timing_gate) {
        for (int32_t i = 0; i < timing_gates.checkpoint_count; i++) {
            const checkpoint& c = timing_gates.checkpoints[i];
            float shade = i == editor.selected_gate ? 1.0f : 0.0f;
            float heading = std::atan2(c.dx, c.dz);
            imm_begin(IMM_LINE_LOOP);
            imm_color(shade, shade, shade, 1);
            imm_vertex3(c.x, 0, c.z);
            for (int a = 0; a <= 12; a++) {
                float t = heading - float(M_PI) / 2 + float(a) * float(M_PI) / 12;
                imm_vertex3(c.x + c.width * std::sin(t), 0, c.z + c.width * std::cos(t));
            }
            imm_end();
            circle(c.x, 0, c.z, m * 0.5f, shade, shade, shade);
            circle(c.x + c.width * std::sin(heading), 0, c.z + c.width * std::cos(heading), m * 0.5f, shade, shade,
                   shade);
        }
    } else if (editor.tool == tool_billboards) {
        for (int32_t i = track_objects.first_file_billboard; i < track_objects.billboards.count; i++) {
            const billboard* b = billboard_at(i);
            float shade = i == editor.selected_billboard ? 1.0f : 0.0f;
            circle(b->x, b->y, b->z, b->size * b->aspect * 0.5f, shade, shade, shade);
            circle(b->x, b->y, b->z, m * 0.5f, shade, shade, shade);
        }
    } else if (editor.tool == tool_statues) {
        for (int32_t i = track_objects.first_file_statue; i < track_objects.statues.count; i++) {
            const statue* s = statue_at(i);
            bool selected = i == editor.selected_statue;
            float sx = std::sin(s->angle), sz = std::cos(s->angle);
            // An arrow along the heading, from the handle to past the statue.
            for (int pass = 0; pass < 2; pass++) {
                float shade = pass == 0 ? (selected ? 0.0f : 0.5f) : (selected ? 1.0f : 0.0f);
                float w = pass == 0 ? 1.3f : 1.0f;
                imm_begin(IMM_LINE_STRIP);
                imm_color(shade, shade, shade, 1);
                imm_vertex3(s->x - 4 * m * sx, s->y, s->z - 4 * m * sz);
                imm_vertex3(s->x + w * m * sx, s->y, s->z + w * m * sz);
                imm_vertex3(s->x + w * m * (sx * 0.3f - sz * 0.7f), s->y, s->z + w * m * (sz * 0.3f + sx * 0.7f));
                imm_end();
            }
        }
    }
}
