// Gradients: profile maths, the Placement and Edit tools, "Set From Terrain",
// the overlay and the "edinfo" file.
#include "editor/gradients.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/vfs.h"
#include "editor/editor_state.h"
#include "editor/terrain_tools.h"
#include "gfx/imm.h"
#include "gfx/ztgl.h"
#include "gfx/ztgl_queue.h"
#include "terrain/terrain.h"
#include "ui/console.h"

namespace {

gradient* selected()
{
    int32_t i = editor.selected_gradient;
    if (i < 0 || i >= editor.gradients.count) return nullptr;
    return array_items<gradient>(&editor.gradients) + i;
}

gradient_point* points_of(gradient* g) { return array_items<gradient_point>(&g->points); }
uint8_t* types_of(gradient* g) { return array_items<uint8_t>(&g->types); }

float axis_length(const gradient* g) { return std::hypot(g->end_x - g->start_x, g->end_z - g->start_z); }

bool is_flat(gradient* g)
{
    if (g->points.count > 2) return false;
    for (int32_t i = 0; i < g->points.count; i++)
        if (points_of(g)[i].height != 0) return false;
    return true;
}

void mark_modified()
{
    if (editor.ground) editor.ground->change_flags = 7;
}

// Appends a point and its type; both or neither.
bool append_point(gradient* g, float distance, float height, uint8_t type)
{
    gradient_point p = {distance, height};
    if (!array_push(&g->points, &p)) return false;
    if (!array_push(&g->types, &type)) {
        g->points.count--;
        return false;
    }
    return true;
}

void remove_point(gradient* g, int32_t i)
{
    array_remove_at(&g->points, i);
    array_remove_at(&g->types, i);
}

float segment_slope(gradient* g, int32_t j)
{
    const gradient_point* p = points_of(g);
    return (p[j + 1].height - p[j].height) / (p[j + 1].distance - p[j].distance);
}

float point_slope_of(gradient* g, int32_t i)
{
    int32_t n = g->points.count;
    if (n < 2) return 0;
    if (i < 1) return segment_slope(g, 0);
    if (i >= n - 1) return segment_slope(g, n - 2);
    const uint8_t* type = types_of(g);
    if (type[i - 1] == segment_curve) {
        if (type[i] == segment_curve) return (segment_slope(g, i - 1) + segment_slope(g, i)) * 0.5f;
        return segment_slope(g, i);
    }
    return segment_slope(g, i - 1);
}

// The cubic Hermite segment from point i to i + 1 at fraction t.
float curve_of(gradient* g, int32_t i, float t)
{
    if (i < 0 || i + 1 >= g->points.count) return 0;
    const gradient_point* p = points_of(g);
    float delta = p[i + 1].distance - p[i].distance;
    float y0 = p[i].height, y1 = p[i + 1].height;
    float m0 = point_slope_of(g, i) * delta, m1 = point_slope_of(g, i + 1) * delta;
    return y0 + m0 * t + (3 * (y1 - y0) - 2 * m0 - m1) * t * t + (2 * (y0 - y1) + m0 + m1) * t * t * t;
}

float profile_of(gradient* g, float d)
{
    int32_t n = g->points.count;
    if (n == 0) return 0;
    const gradient_point* p = points_of(g);
    if (d < p[0].distance) return p[0].height;
    for (int32_t i = 0; i + 1 < n; i++) {
        if (p[i].distance <= d && d < p[i + 1].distance) {
            float t = (d - p[i].distance) / (p[i + 1].distance - p[i].distance);
            if (types_of(g)[i] == segment_curve) return curve_of(g, i, t);
            return p[i].height + t * (p[i + 1].height - p[i].height);
        }
    }
    return p[n - 1].height;
}

} // namespace

// ---- Maths -------------------------------------------------------------------

float gradient_profile_at(float distance)
{
    gradient* g = selected();
    return g ? profile_of(g, distance) : 0;
}

float gradient_linear_at(float x, float z)
{
    gradient* g = selected();
    if (!g || g->points.count == 0) return 0;
    float ex = g->end_x - g->start_x, ez = g->end_z - g->start_z;
    float L = axis_length(g);
    // A zero-length axis has no direction: every point lies at its start.
    float d = L > 1e-6f ? ((x - g->start_x) * ex + (z - g->start_z) * ez) / L : 0.0f;
    return profile_of(g, d);
}

float gradient_radial_at(float x, float z)
{
    gradient* g = selected();
    if (!g || g->points.count == 0) return 0;
    float px = x - g->start_x, pz = z - g->start_z;
    float ex = g->end_x - g->start_x, ez = g->end_z - g->start_z;
    float along = px * ex + pz * ez, e2 = ex * ex + ez * ez;
    if (along < 0 && e2 > 0) {
        // Behind the start: the distance from the axis line.
        px -= ex * along / e2;
        pz -= ez * along / e2;
    }
    return profile_of(g, std::hypot(px, pz));
}

float gradient_point_slope(int32_t i)
{
    gradient* g = selected();
    return g ? point_slope_of(g, i) : 0;
}

float gradient_segment_curve(int32_t i, float t)
{
    gradient* g = selected();
    return g ? curve_of(g, i, t) : 0;
}

float gradient_selected_length()
{
    gradient* g = selected();
    return g ? axis_length(g) : 0;
}

// ---- Creation ----------------------------------------------------------------

void gradient_new()
{
    gradient g{};
    g.start_x = editor.view_centre[0];
    g.start_z = editor.view_centre[1];
    g.end_x = g.start_x + 50;
    g.end_z = g.start_z;
    array_init(&g.points, sizeof(gradient_point));
    array_init(&g.types, sizeof(uint8_t));
    if (!array_push(&editor.gradients, &g)) {
        array_free(&g.points);
        array_free(&g.types);
        return;
    }
    editor.selected_gradient = editor.gradients.count - 1;
    gradient_flatten();
}

void gradient_flatten()
{
    gradient* g = selected();
    if (!g) return;
    g->points.count = g->types.count = 0;
    append_point(g, 0, 0, segment_line);
    append_point(g, axis_length(g), 0, segment_line);
    editor.selected_point = -1;
    mark_modified();
}

void gradient_copy()
{
    gradient* source = selected();
    if (!source) {
        editor_set_status("No gradient selected");
        return;
    }
    gradient from = *source;  // the array may move when it grows
    float ex = from.end_x - from.start_x, ez = from.end_z - from.start_z;
    float L = axis_length(&from);
    // A zero-length axis has no side: shift the copy along x instead.
    float ox = 10, oz = 0;
    if (L >= 1e-6f) ox = ez * 10 / L, oz = -ex * 10 / L;
    gradient g{};
    g.start_x = from.start_x + ox, g.start_z = from.start_z + oz;
    g.end_x = from.end_x + ox, g.end_z = from.end_z + oz;
    array_init(&g.points, sizeof(gradient_point));
    array_init(&g.types, sizeof(uint8_t));
    for (int32_t i = 0; i < from.points.count; i++) {
        const gradient_point& p = array_items<gradient_point>(&from.points)[i];
        if (!append_point(&g, p.distance, p.height, array_items<uint8_t>(&from.types)[i])) break;
    }
    if (!array_push(&editor.gradients, &g)) {
        array_free(&g.points);
        array_free(&g.types);
        return;
    }
    editor.selected_gradient = editor.gradients.count - 1;
    editor.selected_point = -1;
    mark_modified();
}

// ---- Gradient Placement --------------------------------------------------------

namespace {

bool within(float ax, float az, float bx, float bz, float r) { return (ax - bx) * (ax - bx) + (az - bz) * (az - bz) < r * r; }

} // namespace

void gradient_placement_press()
{
    gradient* g = selected();
    if (!g) return;
    float cx, cz;
    editor_cursor_world(&cx, &cz);
    float r = editor_pick_radius();
    if (within(cx, cz, g->start_x, g->start_z, r)) {
        editor.grab_mode = 1;
        return;
    }
    if (within(cx, cz, g->end_x, g->end_z, r)) {
        editor.grab_mode = 2;
        return;
    }
    editor.grab_mode = 0;
    int32_t hit = -1;
    for (int32_t i = 0; i < editor.gradients.count; i++) {
        const gradient& c = array_items<gradient>(&editor.gradients)[i];
        if (within(cx, cz, c.start_x, c.start_z, r) || within(cx, cz, c.end_x, c.end_z, r)) hit = i;
    }
    if (hit >= 0) {
        editor.selected_gradient = hit;
        editor.selected_point = -1;
    }
}

void gradient_placement_drag()
{
    gradient* g = selected();
    if (!g || editor.grab_mode == 0) return;
    float cx, cz;
    editor_cursor_world(&cx, &cz);
    bool flat = is_flat(g);
    if (editor.grab_mode == 1) {
        if (!flat) {
            g->end_x += cx - g->start_x;
            g->end_z += cz - g->start_z;
        }
        g->start_x = cx, g->start_z = cz;
    } else if (editor.grab_mode == 2) {
        if (flat) {
            g->end_x = cx, g->end_z = cz;
        } else {
            float dx = cx - g->start_x, dz = cz - g->start_z, d = std::hypot(dx, dz);
            // On the start the cursor gives no direction: keep the old end.
            if (d > 1e-6f) {
                float length = points_of(g)[g->points.count - 1].distance;
                g->end_x = g->start_x + dx / d * length;
                g->end_z = g->start_z + dz / d * length;
            }
        }
    }
    mark_modified();
}

void gradient_placement_release()
{
    gradient* g = selected();
    if (g && editor.grab_mode != 0 && is_flat(g)) gradient_flatten();
}

// ---- Gradient Edit -------------------------------------------------------------

namespace {

// The cursor in profile coordinates: (distance, height).
void cursor_profile(const gradient* g, float* d, float* y)
{
    float cx, cz;
    editor_cursor_world(&cx, &cz);
    *d = cx - g->start_x;
    *y = g->start_z - cz;
}

} // namespace

void gradient_edit_press()
{
    gradient* g = selected();
    if (!g) return;
    float d, y;
    cursor_profile(g, &d, &y);
    float r = editor_pick_radius();
    gradient_point* p = points_of(g);
    for (int32_t i = 0; i < g->points.count; i++) {
        if (within(d, y, p[i].distance, p[i].height, r)) {
            editor.selected_point = i;
            editor.grab_mode = 1;
            editor.settings.segment_type = types_of(g)[i];
            return;
        }
    }
    for (int32_t i = 0; i + 1 < g->points.count; i++) {
        if (p[i].distance < d && d < p[i + 1].distance) {
            gradient_point q = {d, y};
            uint8_t type = types_of(g)[i];
            if (!array_insert_at(&g->points, i + 1, &q)) break;
            if (!array_insert_at(&g->types, i + 1, &type)) {
                array_remove_at(&g->points, i + 1);
                break;
            }
            editor.selected_point = i + 1;
            editor.grab_mode = 1;
            mark_modified();
            return;
        }
    }
    editor.grab_mode = 0;
}

void gradient_edit_drag()
{
    gradient* g = selected();
    int32_t i = editor.selected_point;
    if (!g || editor.grab_mode != 1 || i < 0 || i >= g->points.count) return;
    float d, y;
    cursor_profile(g, &d, &y);
    float step = float(editor.settings.granularity);
    if (step != 0) {
        d = std::floor(d / step + 0.5f) * step;
        y = std::floor(y / step + 0.5f) * step;
    }
    gradient_point* p = points_of(g);
    int32_t n = g->points.count;
    if (i > 0 && i < n - 1) {
        if (!(p[i - 1].distance < d && d < p[i + 1].distance)) {
            // Dragged onto or past a neighbour: the point goes.
            remove_point(g, i);
            editor.selected_point = -1;
            editor.grab_mode = 0;
            mark_modified();
            return;
        }
        p[i].distance = d;
    }
    if (std::isfinite(y)) p[i].height = y;
    mark_modified();
}

void gradient_set_segment_type(int32_t type)
{
    gradient* g = selected();
    int32_t i = editor.selected_point;
    if (!g || i < 0 || i >= g->types.count) return;
    types_of(g)[i] = type == segment_curve ? segment_curve : segment_line;
    mark_modified();
}

// ---- Set From Terrain ------------------------------------------------------------

namespace {

// Straight runs of at least three points over at least two diagonal cells
// become one Line segment.
void simplify_straight_runs(gradient* g, float cell)
{
    const float same_slope = 1.0f / 8192;
    int32_t w = g->points.count - 1;
    while (w >= 2) {
        gradient_point* p = points_of(g);
        int32_t a = w - 2;
        while (a >= 0) {
            float k0 = (p[a + 1].height - p[a].height) / (p[a + 1].distance - p[a].distance);
            float k1 = (p[w].height - p[a + 1].height) / (p[w].distance - p[a + 1].distance);
            if (!(std::fabs(k0 - k1) < same_slope)) break;
            a--;
        }
        int32_t first = a + 1;
        if (w - first + 1 >= 3 && p[w].distance - p[first].distance >= 2.8284271f * cell) {
            for (int32_t k = w - 1; k > first; k--) remove_point(g, k);
            types_of(g)[first] = segment_line;
            w = first;
        } else {
            w--;
        }
    }
}

// Curve points that lie within the tolerance of their neighbours' chord go.
void simplify_curve_points(gradient* g)
{
    for (int32_t round = 0; round < 6; round++) {
        float tolerance = float(1 << round) / 128;
        for (int32_t v = g->points.count - 2; v >= 1; v--) {
            const uint8_t* type = types_of(g);
            if (type[v - 1] != segment_curve || type[v] != segment_curve) continue;
            const gradient_point* p = points_of(g);
            float t = (p[v].distance - p[v - 1].distance) / (p[v + 1].distance - p[v - 1].distance);
            float chord = p[v - 1].height + t * (p[v + 1].height - p[v - 1].height);
            if (std::fabs(p[v].height - chord) < tolerance) remove_point(g, v);
        }
    }
}

} // namespace

void gradient_set_from_terrain()
{
    gradient* g = selected();
    if (!g || !editor.ground || !editor.snapshot) return;
    mark_modified();
    float L = axis_length(g);
    float ux = 0, uz = 0;
    if (L > 1e-6f) ux = (g->end_x - g->start_x) / L, uz = (g->end_z - g->start_z) / L;
    float cell = editor.ground->spacing;
    // A point per cell, but never more than a million along an absurdly long axis.
    float step = std::fmax(cell, L / 1048576.0f);
    g->points.count = g->types.count = 0;
    for (int64_t k = 0;; k++) {
        float d = float(double(k) * step);
        if (!(d < L)) break;
        if (!append_point(g, d, snapshot_height_at(g->start_x + ux * d, g->start_z + uz * d), segment_curve)) break;
    }
    append_point(g, L, snapshot_height_at(g->end_x, g->end_z), segment_curve);
    simplify_straight_runs(g, cell);
    simplify_curve_points(g);
    editor.selected_point = -1;
}

// ---- Drawing --------------------------------------------------------------------

namespace {

const float ring_steps = 24;

void ring(float x, float z, float radius)
{
    imm_begin(IMM_LINE_LOOP);
    for (int k = 0; k < int(ring_steps); k++) {
        float a = float(k) * 6.2831853f / ring_steps;
        imm_vertex3(x + radius * std::cos(a), 0, z + radius * std::sin(a));
    }
    imm_end();
}

void line(float x0, float z0, float x1, float z1)
{
    imm_begin(IMM_LINES);
    imm_vertex3(x0, 0, z0);
    imm_vertex3(x1, 0, z1);
    imm_end();
}

void draw_profile_graph(gradient* g, float m)
{
    const gradient_point* p = points_of(g);
    int32_t n = g->points.count;
    float sx = g->start_x, sz = g->start_z;
    float lo = 0, hi = 0, d0 = 0, d1 = 0;
    for (int32_t i = 0; i < n; i++) {
        lo = std::fmin(lo, p[i].height), hi = std::fmax(hi, p[i].height);
        d0 = std::fmin(d0, p[i].distance), d1 = std::fmax(d1, p[i].distance);
    }
    float y0 = std::fmin(0.0f, 10 * std::floor(lo / 10)), y1 = std::fmax(100.0f, 10 * std::ceil(hi / 10));
    imm_color(0, 0, 0, 0.25f);
    imm_begin(IMM_QUADS);
    imm_vertex3(sx + d0, 0, sz - y0);
    imm_vertex3(sx + d1, 0, sz - y0);
    imm_vertex3(sx + d1, 0, sz - y1);
    imm_vertex3(sx + d0, 0, sz - y1);
    imm_end();
    // Grid: every 2.5 ft faint, every 10 ft stronger; bounded so a huge
    // profile cannot overfill the batch.
    for (float y = y0; y <= y1 && (y - y0) <= 2000; y += 2.5f) {
        imm_color(1, 1, 1, std::fmod(y, 10.0f) == 0 ? 0.25f : 0.0625f);
        line(sx + d0, sz - y, sx + d1, sz - y);
    }
    for (float d = d0; d <= d1 && (d - d0) <= 4000; d += 2.5f) {
        imm_color(1, 1, 1, std::fmod(d, 10.0f) == 0 ? 0.25f : 0.0625f);
        line(sx + d, sz - y0, sx + d, sz - y1);
    }
    if (n == 0) return;
    imm_color(0, 0, 0, 1);
    imm_begin(IMM_LINE_STRIP);
    imm_vertex3(sx + p[0].distance, 0, sz);
    int32_t emitted = 1;
    for (int32_t i = 0; i < n && emitted < IMM_MAX_VERTICES / 2; i++) {
        imm_vertex3(sx + p[i].distance, 0, sz - p[i].height);
        emitted++;
        if (i + 1 < n && types_of(g)[i] == segment_curve) {
            float span = p[i + 1].distance - p[i].distance;
            for (float s = 0.25f; s < span && emitted < IMM_MAX_VERTICES / 2; s += 0.25f, emitted++)
                imm_vertex3(sx + p[i].distance + s, 0, sz - curve_of(g, i, s / span));
        }
    }
    imm_vertex3(sx + p[n - 1].distance, 0, sz);
    imm_end();
    for (int32_t i = 0; i < n; i++) {
        float c = i == editor.selected_point ? 1.0f : 0.5f;
        imm_color(c, c, c, 1);
        ring(sx + p[i].distance, sz - p[i].height, m * 0.5f);
    }
}

} // namespace

void gradients_draw_overlay()
{
    // Plain colours: the marks sample the white texture.
    ztglBindTexture(GL_TEXTURE_2D, ztgl_state.white_texture);
    float m = editor_marker_size();
    ztglEnable(GL_BLEND);
    ztglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (int32_t i = 0; i < editor.gradients.count; i++) {
        const gradient& g = array_items<gradient>(&editor.gradients)[i];
        bool bright = i == editor.selected_gradient && editor.tool == tool_gradient_placement;
        imm_color(1, 1, 1, bright ? 1.0f : 0.25f);
        line(g.start_x, g.start_z, g.end_x, g.end_z);
        line(g.start_x - m, g.start_z, g.start_x + m, g.start_z);
        line(g.start_x, g.start_z - m, g.start_x, g.start_z + m);
        ring(g.start_x, g.start_z, m);
        ring(g.end_x, g.end_z, m);
    }
    gradient* g = selected();
    if (g) {
        float radius = axis_length(g);
        if (editor.tool == tool_gradient_edit && editor.selected_point >= 0 && editor.selected_point < g->points.count)
            radius = points_of(g)[editor.selected_point].distance;
        imm_color(1, 1, 1, 0.25f);
        ring(g->start_x, g->start_z, std::fabs(radius));
        if (editor.tool == tool_gradient_edit) draw_profile_graph(g, m);
    }
    ztglDisable(GL_BLEND);
}

// ---- "edinfo" -------------------------------------------------------------------

namespace {

constexpr int edinfo_line_max = 1000;

// Whitespace-separated numbers after the keyword: every one must parse whole
// and be finite; 1 when exactly `count` were found.
int scan_numbers(const char* text, double* out, int count)
{
    int found = 0;
    while (true) {
        while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n') text++;
        if (!*text) break;
        if (found == count) return 0;
        char* end = nullptr;
        errno = 0;
        double v = strtod(text, &end);
        if (end == text || errno == ERANGE || !std::isfinite(v)) return 0;
        if (*end && *end != ' ' && *end != '\t' && *end != '\r' && *end != '\n') return 0;
        out[found++] = v;
        text = end;
    }
    return found == count;
}

// The keyword, then white space or the end of the line.
const char* after_keyword(const char* line, const char* keyword)
{
    size_t n = strlen(keyword);
    if (strncmp(line, keyword, n) != 0) return nullptr;
    char c = line[n];
    if (c && c != ' ' && c != '\t' && c != '\r' && c != '\n') return nullptr;
    return line + n;
}

} // namespace

void edinfo_load(const char* track_folder)
{
    if (!track_folder) return;
    vfs_stream* in = open_in_dir(track_folder, "edinfo", "r");
    if (!in) return;
    char line[edinfo_line_max + 2];
    int32_t line_number = 0, current = -1;
    bool skipping = false;  // the rest of an over-long line
    while (vfs_gets(in, line, sizeof line)) {
        size_t length = strlen(line);
        bool whole = length > 0 && line[length - 1] == '\n';
        if (skipping) {
            skipping = !whole;
            continue;
        }
        line_number++;
        if (!whole && length > edinfo_line_max) {
            console_printf("edinfo: line %d is longer than %d characters; ignored", line_number, edinfo_line_max);
            skipping = true;
            continue;
        }
        const char* text = line;
        while (*text == ' ' || *text == '\t') text++;
        double v[4];
        if (const char* rest = after_keyword(text, "add_gradient")) {
            if (!scan_numbers(rest, v, 4)) {
                console_printf("edinfo: line %d: bad add_gradient; ignored", line_number);
                continue;
            }
            int32_t before = editor.gradients.count;
            gradient_new();
            if (editor.gradients.count == before) continue;
            current = editor.gradients.count - 1;
            gradient* g = array_items<gradient>(&editor.gradients) + current;
            g->start_x = float(v[0]), g->start_z = float(v[1]), g->end_x = float(v[2]), g->end_z = float(v[3]);
            g->points.count = g->types.count = 0;
        } else if (const char* rest = after_keyword(text, "add_point")) {
            if (current < 0) {
                console_printf("edinfo: line %d: add_point before any add_gradient; ignored", line_number);
                continue;
            }
            // The type must be a whole number; 1 means Curve, anything else Line.
            if (!scan_numbers(rest, v, 3) || v[0] != std::floor(v[0])) {
                console_printf("edinfo: line %d: bad add_point; ignored", line_number);
                continue;
            }
            gradient* g = array_items<gradient>(&editor.gradients) + current;
            // Distances must increase, or the slopes divide by zero.
            if (g->points.count > 0 && !(float(v[1]) > points_of(g)[g->points.count - 1].distance)) {
                console_printf("edinfo: line %d: point not beyond the previous one; ignored", line_number);
                continue;
            }
            append_point(g, float(v[1]), float(v[2]), v[0] == 1 ? segment_curve : segment_line);
        }
    }
    vfs_close(in);
    editor.selected_point = -1;
}

int edinfo_write(const char* track_folder)
{
    // Replaced whole, so a save that dies half-way leaves the old file.
    char name[1100];
    snprintf(name, sizeof name, "%s/edinfo", track_folder ? track_folder : "");
    vfs_stream* out = track_folder ? vfs_open_replacement(name) : nullptr;
    if (!out) {
        console_print("Can't open 'edinfo'");
        return 0;
    }
    // A failed write leaves the stream's error set, and the commit then
    // keeps the old file.
    for (int32_t i = 0; i < editor.gradients.count; i++) {
        gradient* g = array_items<gradient>(&editor.gradients) + i;
        vfs_printf(out, "add_gradient %f %f %f %f\n", double(g->start_x), double(g->start_z), double(g->end_x),
                   double(g->end_z));
        for (int32_t k = 0; k < g->points.count; k++)
            vfs_printf(out, "add_point %d %f %f\n", int(types_of(g)[k]), double(points_of(g)[k].distance),
                       double(points_of(g)[k].height));
    }
    if (!vfs_commit_replacement(out, name)) {
        console_print("Can't write 'edinfo'");
        return 0;
    }
    return 1;
}
