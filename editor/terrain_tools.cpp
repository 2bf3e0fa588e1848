// The ground tools: brushes, Snap, tile painting and decals.
#include "editor/terrain_tools.h"

#include <cmath>
#include <cstring>

#include "core/rng.h"
#include "editor/editor_state.h"
#include "editor/gradients.h"
#include "gfx/imm.h"
#include "gfx/ztgl.h"
#include "gfx/ztgl_queue.h"
#include "terrain/decals.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"
#include "terrain/terrain_render.h"

namespace {

constexpr float pi = 3.1415927f;
constexpr int32_t smooth_radius_max = 1024;

int32_t clamp_index(int32_t i, int32_t n) { return i < 0 ? 0 : (i >= n ? n - 1 : i); }

// A cell coordinate as an index, clamped to the grid; non-finite counts as 0.
int32_t cell_index(double c, int32_t n)
{
    if (!(c > 0)) return 0;
    if (c >= double(n - 1)) return n - 1;
    return int32_t(c);
}

bool is_brush_tool(int32_t tool) { return tool <= tool_smudge || (tool >= tool_gradient_linear_paint && tool <= tool_gradient_radial_add); }

// Stores a new height unless the ground is frozen for a network race.
void store_height(terrain* t, int32_t index, float v)
{
    if (t->deform_lock || !std::isfinite(v)) return;
    if (v > t->height_max) t->height_max = v;
    if (v < t->height_min) t->height_min = v;
    t->change_flags = 7;
    t->heights[index] = v;
}

// What every height edit ends with: pending commit, dirty blocks, new counter.
void after_height_edit(terrain* t, int32_t c0, int32_t r0, int32_t c1, int32_t r1)
{
    int32_t n = t->size;
    editor_set_status("Update needed!");
    editor.pending = 1;
    terrain_mark_dirty(t, clamp_index(c0, n), clamp_index(r0, n), clamp_index(c1, n), clamp_index(r1, n));
    t->change_counter++;
}

// ---- Smooth: the mean of the snapshot over a disc, carried along a row ----

struct disc_sum {
    int32_t radius;  // rho
    int32_t half_width[2 * smooth_radius_max];  // h_k for k = -(rho-1)..rho-1
    int64_t count;
    double sum;
    int32_t row, col;  // the point the sum belongs to; row -1: none
};
disc_sum disc;

void disc_setup(int32_t rho)
{
    disc.radius = rho;
    disc.count = 0;
    for (int32_t k = -(rho - 1); k <= rho - 1; k++) {
        int32_t h = int32_t(std::sqrt(double(rho) * rho - double(k) * k));
        // Guard the square root's rounding so h is the exact integer part.
        while (int64_t(h + 1) * (h + 1) + int64_t(k) * k <= int64_t(rho) * rho) h++;
        while (int64_t(h) * h + int64_t(k) * k > int64_t(rho) * rho) h--;
        disc.half_width[k + rho - 1] = h;
        disc.count += 2 * h + 1;
    }
    disc.row = -1;
}

double disc_full(const float* grid, int32_t n, int32_t i, int32_t j)
{
    double sum = 0;
    int32_t rho = disc.radius;
    for (int32_t k = -(rho - 1); k <= rho - 1; k++) {
        const float* row = grid + size_t(clamp_index(i + k, n)) * n;
        int32_t h = disc.half_width[k + rho - 1];
        for (int32_t c = j - h; c <= j + h; c++) sum += row[clamp_index(c, n)];
    }
    return sum;
}

// The disc mean at (i, j): carried over from (i, j - 1) when that was the
// last point averaged, else summed in full.
float disc_mean(const float* grid, int32_t n, int32_t i, int32_t j)
{
    if (disc.row == i && disc.col == j - 1) {
        int32_t rho = disc.radius;
        for (int32_t k = -(rho - 1); k <= rho - 1; k++) {
            const float* row = grid + size_t(clamp_index(i + k, n)) * n;
            int32_t h = disc.half_width[k + rho - 1];
            disc.sum += double(row[clamp_index(j + h, n)]) - double(row[clamp_index(j - 1 - h, n)]);
        }
    } else {
        disc.sum = disc_full(grid, n, i, j);
    }
    disc.row = i, disc.col = j;
    return float(disc.sum / double(disc.count));
}

float random_angle()
{
    // 15 random bits spread over -pi..pi.
    float a = float(mt_next() & 0x7FFF) * 0.00019175345f - pi;
    return a < -pi ? -pi : (a > pi ? pi : a);
}

} // namespace

float snapshot_height_at(float x, float z)
{
    if (!editor.ground || !editor.snapshot) return 0;
    return terrain_grid_height_at(editor.ground, editor.snapshot, x, z);
}

// ---- Brushes -------------------------------------------------------------------

void brush_stroke(float x0, float z0, float x1, float z1, float R, float Ri, float s)
{
    terrain* t = editor.ground;
    if (!t || !t->heights || !editor.snapshot || t->size <= 0) return;
    if (!std::isfinite(x0) || !std::isfinite(z0) || !std::isfinite(x1) || !std::isfinite(z1) || !std::isfinite(R) ||
        !std::isfinite(Ri) || !std::isfinite(s) || !(R > 0))
        return;
    int32_t n = t->size;
    double inv = double(t->inv_spacing), cell = double(t->spacing);
    int32_t c0 = cell_index(std::floor((std::fmin(x0, x1) - R) * inv), n);
    int32_t c1 = cell_index(std::ceil((std::fmax(x0, x1) + R) * inv), n);
    int32_t r0 = cell_index(std::floor((std::fmin(z0, z1) - R) * inv), n);
    int32_t r1 = cell_index(std::ceil((std::fmax(z0, z1) + R) * inv), n);

    int32_t tool = editor.tool;
    int32_t submode = editor.settings.submode;
    float ux = 0, uz = 0;  // Smudge: from the cursor towards the trailing point
    if (tool == tool_smudge) {
        float dx = editor.smudge_origin[0] - x1, dz = editor.smudge_origin[1] - z1, d = std::hypot(dx, dz);
        if (d > 0) ux = dx / d, uz = dz / d;
    }
    if (tool == tool_smooth) {
        double rho = std::trunc(double(s));
        disc_setup(rho < 1 ? 1 : (rho > smooth_radius_max ? smooth_radius_max : int32_t(rho)));
    }
    float sx = x1 - x0, sz = z1 - z0, seg2 = sx * sx + sz * sz;
    float step_fraction = s < 0 ? 0 : (s > 1 ? 1 : s);

    for (int32_t i = r0; i <= r1; i++) {
        float pz = float(double(i) * cell);
        for (int32_t j = c0; j <= c1; j++) {
            float px = float(double(j) * cell);
            // Distance to the segment, its ends rounded.
            float u = seg2 > 0 ? ((px - x0) * sx + (pz - z0) * sz) / seg2 : 0;
            u = u < 0 ? 0 : (u > 1 ? 1 : u);
            float D = std::hypot(px - (x0 + u * sx), pz - (z0 + u * sz));
            if (D >= R) continue;
            float K = 1;
            if (D >= Ri) {
                float tt = (D - Ri) / (R - Ri);
                K = (2 * tt - 3) * tt * tt + 1;
            }
            int32_t index = i * n + j;
            float L = editor.snapshot[index], Q = t->heights[index];
            float v;
            if (is_brush_tool(tool) && tool <= tool_smudge) {
                float M = 0;
                if (tool == tool_raise) M = s;
                else if (tool == tool_lower) M = -s;
                else if (tool == tool_smooth) M = disc_mean(editor.snapshot, n, i, j) - L;
                else {
                    double sum = 0;
                    int32_t count = 0;
                    for (float d = 0; d < s * float(cell); d += float(cell) * 0.5f, count++)
                        sum += snapshot_height_at(px + d * ux, pz + d * uz);
                    M = count ? float(sum / count) - L : 0;
                }
                if (!(std::fabs(K * M) > std::fabs(Q - L))) continue;
                v = L + K * M;
            } else if (is_brush_tool(tool)) {
                float N = 0;
                if (tool == tool_gradient_linear_paint) N = gradient_linear_at(px, pz) - L;
                else if (tool == tool_gradient_linear_add) N = gradient_linear_at(px, pz);
                else if (tool == tool_gradient_radial_paint) N = gradient_radial_at(px, pz) - L;
                else N = gradient_radial_at(px, pz);
                if (!(std::fabs(K * N) > std::fabs(Q - L))) continue;
                float step = K * N * step_fraction, target = L + K * N;
                v = Q + step;
                v = step < 0 ? std::fmax(v, target) : std::fmin(v, target);
            } else {
                continue;
            }
            if (submode == submode_raise_only) v = std::fmax(v, L);
            else if (submode == submode_lower_only) v = std::fmin(v, L);
            store_height(t, index, v);
        }
    }
    after_height_edit(t, c0, r0, c1, r1);
}

void stroke_driver_tic()
{
    editor.tic_count++;
    float cx, cz;
    editor_cursor_world(&cx, &cz);
    if (editor.tool == tool_smudge) {
        float dx = editor.smudge_origin[0] - cx, dz = editor.smudge_origin[1] - cz;
        float d2 = dx * dx + dz * dz;
        if (!(d2 >= 1)) return;
        float d = std::sqrt(d2);
        editor.smudge_origin[0] = cx + dx / d;
        editor.smudge_origin[1] = cz + dz / d;
    }
    float x0 = cx, z0 = cz;
    if (editor.line_anchor[0] >= 0) x0 = editor.line_anchor[0], z0 = editor.line_anchor[1];
    editor.line_anchor[0] = cx, editor.line_anchor[1] = cz;
    brush_stroke(x0, z0, cx, cz, editor_brush_radius(), editor_brush_inner_radius(), editor_brush_strength());
}

// ---- Snap ----------------------------------------------------------------------

namespace {

// The coarse step: cells doubled from 2 until they span the strength.
int32_t snap_step(float cell, float s, int32_t n)
{
    if (!(cell < s)) return 1;
    int32_t g = 2;
    while (float(g) * cell < s && g < n) g *= 2;
    return g;
}

// The first index of the coarse square under a world coordinate.
int32_t snap_origin(float world, float inv_spacing, int32_t g, int32_t n)
{
    double c = std::floor(double(world) * inv_spacing);
    if (!(c > 0)) return 0;
    if (c > double(n)) c = double(n);
    int32_t a = int32_t(c);
    return a - a % g;
}

} // namespace

void snap_tic()
{
    int32_t k = editor.tic_count++;
    terrain* t = editor.ground;
    if (k % 16 != 0 || !t || !t->heights || !editor.snapshot) return;
    int32_t n = t->size;
    int32_t g = snap_step(t->spacing, editor_brush_strength(), n);
    float cx, cz;
    editor_cursor_world(&cx, &cz);
    int32_t a = snap_origin(cx, t->inv_spacing, g, n), b = snap_origin(cz, t->inv_spacing, g, n);
    const float* snap = editor.snapshot;
    auto corner = [&](int32_t col, int32_t row) { return snap[size_t(clamp_index(row, n)) * n + clamp_index(col, n)]; };
    float h00 = corner(a, b), h10 = corner(a + g, b), h01 = corner(a, b + g), h11 = corner(a + g, b + g);
    // The diagonal alternates with the coarse square's parity, as the
    // terrain's own triangles do.
    bool even = (((a / g) ^ (b / g)) & 1) == 0;
    int32_t c1 = clamp_index(a + g, n), r1 = clamp_index(b + g, n);
    for (int32_t row = clamp_index(b, n); row <= r1; row++) {
        float fv = float(row - b) / float(g);
        for (int32_t col = clamp_index(a, n); col <= c1; col++) {
            float fu = float(col - a) / float(g);
            float v;
            if (even) {
                v = fv <= fu ? h00 + fu * (h10 - h00) + fv * (h11 - h10) : h00 + fv * (h01 - h00) + fu * (h11 - h01);
            } else {
                v = fu + fv <= 1 ? h00 + fu * (h10 - h00) + fv * (h01 - h00)
                                 : h11 + (1 - fu) * (h01 - h11) + (1 - fv) * (h10 - h11);
            }
            store_height(t, row * n + col, v);
        }
    }
    after_height_edit(t, a - 1, b - 1, c1 + 1, r1 + 1);
}

// ---- Tilemap Edit -------------------------------------------------------------------

void tilemap_paint_tic()
{
    int32_t k = editor.tic_count++;
    terrain* t = editor.ground;
    if (k % 32 != 0 || !t) return;
    float cx, cz;
    editor_cursor_world(&cx, &cz);
    float x0 = cx, z0 = cz;
    if (editor.line_anchor[0] >= 0) x0 = editor.line_anchor[0], z0 = editor.line_anchor[1];
    editor.line_anchor[0] = cx, editor.line_anchor[1] = cz;
    if (!t->tile_map || t->deform_lock) return;
    float R = editor_brush_radius();
    if (!std::isfinite(R) || !std::isfinite(x0 + z0 + cx + cz)) return;
    int32_t tiles = 1 << t->exponent;
    double tile_side = 2.0 * t->spacing;
    // Tiles whose centre (odd cell) can lie within R of the segment.
    auto first = [&](float lo) { return cell_index(std::floor((lo - R) / tile_side - 1), tiles); };
    auto last = [&](float hi) { return cell_index(std::ceil((hi + R) / tile_side), tiles); };
    int32_t tx0 = first(std::fmin(x0, cx)), tx1 = last(std::fmax(x0, cx));
    int32_t tz0 = first(std::fmin(z0, cz)), tz1 = last(std::fmax(z0, cz));
    double tv = editor.settings.tile;
    uint8_t value = uint8_t(!(tv > 0) ? 0 : (tv > 255 ? 255 : int32_t(tv)));
    float sx = cx - x0, sz = cz - z0, seg2 = sx * sx + sz * sz;
    int32_t p0 = tiles, p1 = -1, q0 = tiles, q1 = -1;  // painted tile rectangle
    for (int32_t tz = tz0; tz <= tz1; tz++) {
        float pz = float((2 * tz + 1) * double(t->spacing));
        for (int32_t tx = tx0; tx <= tx1; tx++) {
            float px = float((2 * tx + 1) * double(t->spacing));
            float u = seg2 > 0 ? ((px - x0) * sx + (pz - z0) * sz) / seg2 : 0;
            u = u < 0 ? 0 : (u > 1 ? 1 : u);
            if (std::hypot(px - (x0 + u * sx), pz - (z0 + u * sz)) > R) continue;
            t->tile_map[size_t(tz) * tiles + tx] = value;
            p0 = tx < p0 ? tx : p0, p1 = tx > p1 ? tx : p1;
            q0 = tz < q0 ? tz : q0, q1 = tz > q1 ? tz : q1;
        }
    }
    if (p1 < 0) return;
    t->change_flags = 7;
    // The terrain sends the painted tiles to its tile-map texture through the
    // GL queue, in order with the drawing, and repaints the levels over them.
    terrain_invalidate_levels(t, 2 * p0, 2 * q0, 2 * p1 + 1, 2 * q1 + 1);
}

void tile_atlas_cell(int32_t tile, float uv[4])
{
    int32_t count = editor.ground ? editor.ground->tile_count : 0;
    if (count < 2) {
        uv[0] = uv[1] = 0.0625f;
        uv[2] = uv[3] = 0.9375f;
        return;
    }
    int32_t o = 1;
    while (o * o < count) o *= 2;
    tile = tile < 0 ? 0 : (tile >= count ? count - 1 : tile);
    float cell = 1.0f / float(o);
    float u = float(tile % o) * cell, v = float(tile / o) * cell;
    uv[0] = u + 0.0625f * cell, uv[1] = v + 0.0625f * cell;
    uv[2] = u + 0.9375f * cell, uv[3] = v + 0.9375f * cell;
}

// ---- Decals ----------------------------------------------------------------------

namespace {

decal* decals_of(terrain* t) { return array_items<decal>(&t->decals); }
int32_t decal_count() { return editor.ground && editor.ground->decals.items ? editor.ground->decals.count : 0; }
bool decal_valid(int32_t i) { return i >= 0 && i < decal_count(); }
int32_t* group_of() { return array_items<int32_t>(&editor.decal_group); }

// With "Hide different", only decals of the selected decal's kind count.
bool decal_considered(int32_t i)
{
    if (!editor.settings.decal_hide_different || !decal_valid(editor.selected_decal)) return true;
    decal* d = decals_of(editor.ground);
    return d[i].textures[0] == d[editor.selected_decal].textures[0];
}

float wrap_angle(float a)
{
    if (a >= -pi && a <= pi) return a;
    float turns = (a + pi) / (2 * pi);
    return (turns - std::floor(turns)) * 2 * pi - pi;
}

void set_angle(decal* d, float a)
{
    d->angle = a;
    d->sine = std::sin(a);
    d->cosine = std::cos(a);
}

// Every group decal keeps its place relative to the reference decal as it
// goes from `from` to `to`, turned by the change of angle and scaled by f.
void follow(const decal& from, const decal& to, float f)
{
    terrain* t = editor.ground;
    float delta = to.angle - from.angle, c = std::cos(delta), s = std::sin(delta);
    for (int32_t k = 0; k < editor.decal_group.count; k++) {
        int32_t gi = group_of()[k];
        if (!decal_valid(gi)) continue;
        decal d = decals_of(t)[gi];
        float dx = d.x - from.x, dz = d.z - from.z;
        d.x = to.x + f * (dx * c + dz * s);
        d.z = to.z + f * (dz * c - dx * s);
        set_angle(&d, wrap_angle(d.angle + delta));
        decal_replace(t, gi, &d);
    }
}

int32_t group_find(int32_t index)
{
    for (int32_t k = 0; k < editor.decal_group.count; k++)
        if (group_of()[k] == index) return k;
    return -1;
}

// Makes room at index: the selection and the group move up with the table.
void shift_for_insert(int32_t index)
{
    if (editor.selected_decal >= index) editor.selected_decal++;
    for (int32_t k = 0; k < editor.decal_group.count; k++)
        if (group_of()[k] >= index) group_of()[k]++;
    decal_shift_indices(editor.ground, index, 1);
}

void unshift_after_failed_insert(int32_t index)
{
    decal_shift_indices(editor.ground, index, -1);
    if (editor.selected_decal > index) editor.selected_decal--;
    for (int32_t k = 0; k < editor.decal_group.count; k++)
        if (group_of()[k] > index) group_of()[k]--;
}

// Inserts a copy at its level index; the index, or -1 when it failed.
int32_t insert_decal(int32_t level_of, const decal& d)
{
    int32_t at = decal_level_index(level_of);
    shift_for_insert(at);
    if (!decal_insert(editor.ground, at, &d)) {
        unshift_after_failed_insert(at);
        return -1;
    }
    return at;
}

float decal_step(const decal& d) { return d.size * float(editor.settings.decal_spacing); }

} // namespace

int32_t decal_level_index(int32_t index)
{
    int32_t count = decal_count();
    if (!decal_valid(index)) return count;
    const decal* d = decals_of(editor.ground);
    uint32_t kind = d[index].textures[0];
    switch (editor.settings.decal_level) {
    case level_bottom:
        return 0;
    case level_under_current: {
        int32_t k = index;
        while (k > 0 && d[k - 1].textures[0] == kind) k--;
        return k;
    }
    case level_over_current: {
        int32_t k = index;
        while (k + 1 < count && d[k + 1].textures[0] == kind) k++;
        return k + 1;
    }
    default:
        return count;
    }
}

void decal_group_follow(int32_t old_decal, int32_t new_decal, float factor)
{
    if (!decal_valid(old_decal) || !decal_valid(new_decal)) return;
    decal from = decals_of(editor.ground)[old_decal], to = decals_of(editor.ground)[new_decal];
    follow(from, to, factor);
}

void decal_group_scale(float factor) { decal_group_follow(editor.selected_decal, editor.selected_decal, factor); }

void decal_place(int32_t step_mode)
{
    terrain* t = editor.ground;
    if (!decal_valid(editor.selected_decal)) return;
    decal old = decals_of(t)[editor.selected_decal];
    float cx, cz;
    editor_cursor_world(&cx, &cz);
    float step = decal_step(old);
    decal d = old;
    if (step_mode == 0) {
        d.x = cx, d.z = cz;
    } else {
        float dx = cx - old.x, dz = cz - old.z, len = std::hypot(dx, dz);
        if (len > 0) dx /= len, dz /= len;
        d.x = old.x + dx * step, d.z = old.z + dz * step;
    }
    float angle = old.angle;
    switch (editor.settings.decal_orientation) {
    case orient_random:
        angle = random_angle();
        break;
    case orient_flow:
        angle = std::atan2(old.x - d.x, old.z - d.z);
        break;
    case orient_flow2: {
        float bx = old.x - old.sine * step / 2, bz = old.z - old.cosine * step / 2;
        angle = std::atan2(bx - d.x, bz - d.z);
        float ox = std::sin(angle) * step / 2, oz = std::cos(angle) * step / 2;
        if (step_mode == 0) d.x += ox, d.z += oz;
        else d.x = bx - ox, d.z = bz - oz;
        break;
    }
    case orient_uphill: {
        float nrm[3];
        terrain_normal_at(t, d.x, d.z, nrm);
        float len = std::sqrt(nrm[0] * nrm[0] + nrm[1] * nrm[1] + nrm[2] * nrm[2]);
        float nx = len > 0 ? nrm[0] / len : 0, nz = len > 0 ? nrm[2] / len : 0;
        angle = nx * nx + nz * nz < 1.0f / 1024 ? random_angle() : std::atan2(nx, nz);
        break;
    }
    default:
        break;
    }
    if (!std::isfinite(d.x) || !std::isfinite(d.z) || !std::isfinite(angle)) return;
    set_angle(&d, angle);
    int32_t at = insert_decal(editor.selected_decal, d);
    if (at < 0) return;
    editor.selected_decal = at;
    // The group is copied too, each copy at its own level; the copies then
    // stand to the new decal as the originals stood to the old one.
    for (int32_t k = 0; k < editor.decal_group.count; k++) {
        int32_t source = group_of()[k];
        if (!decal_valid(source)) continue;
        decal copy = decals_of(t)[source];
        int32_t copy_at = insert_decal(source, copy);
        if (copy_at >= 0) group_of()[k] = copy_at;
    }
    follow(old, decals_of(t)[editor.selected_decal], 1);
    t->change_flags = 7;
}

void decal_delete_near(float radius)
{
    terrain* t = editor.ground;
    if (!t || decal_count() == 0) return;
    if (radius == 0) radius = editor_pick_radius();
    float cx, cz;
    editor_cursor_world(&cx, &cz);
    bool had_selection = decal_valid(editor.selected_decal);
    uint32_t selected_kind = had_selection ? decals_of(t)[editor.selected_decal].textures[0] : 0;
    bool hide = editor.settings.decal_hide_different && had_selection;
    bool deleted_any = false;
    // From the top down, so the indexes still to visit do not move.
    for (int32_t i = decal_count() - 1; i >= 0; i--) {
        const decal& d = decals_of(t)[i];
        if (hide && d.textures[0] != selected_kind) continue;
        float dx = d.x - cx, dz = d.z - cz;
        if (!(dx * dx + dz * dz <= radius * radius)) continue;
        int32_t k = group_find(i);
        if (k >= 0) array_remove_at(&editor.decal_group, k);
        if (!decal_delete(t, i)) continue;
        deleted_any = true;
        decal_shift_indices(t, i, -1);
        for (int32_t g = 0; g < editor.decal_group.count; g++)
            if (group_of()[g] > i) group_of()[g]--;
        if (editor.selected_decal > i) editor.selected_decal--;
        else if (editor.selected_decal == i) editor.selected_decal = -1;
    }
    if (deleted_any) t->change_flags = 7;
    if (had_selection && editor.selected_decal < 0) {
        editor.decal_group.count = 0;
        for (int32_t i = decal_count() - 1; i >= 0; i--) {
            if (decals_of(t)[i].textures[0] == selected_kind) {
                editor.selected_decal = i;
                break;
            }
        }
    }
}

void decal_select_near(float radius, int32_t toggle)
{
    terrain* t = editor.ground;
    if (!t) return;
    float rad = std::fmax(editor_pick_radius(), radius);
    float m = editor_marker_size();
    float cx, cz;
    editor_cursor_world(&cx, &cz);
    for (int32_t i = 0; i < decal_count(); i++) {
        if (i == editor.selected_decal || !decal_considered(i)) continue;
        const decal& d = decals_of(t)[i];
        float hx = d.x - 4 * m * d.sine, hz = d.z - 4 * m * d.cosine;
        bool near = (d.x - cx) * (d.x - cx) + (d.z - cz) * (d.z - cz) <= rad * rad ||
                    (hx - cx) * (hx - cx) + (hz - cz) * (hz - cz) <= rad * rad;
        if (!near) continue;
        int32_t k = group_find(i);
        if (k >= 0) {
            if (toggle) array_remove_at(&editor.decal_group, k);
        } else {
            array_push(&editor.decal_group, &i);  // a failed growth leaves the group as it was
        }
    }
}

void decal_press()
{
    terrain* t = editor.ground;
    if (!t) return;
    float cx, cz;
    editor_cursor_world(&cx, &cz);
    float r = editor_pick_radius(), m = editor_marker_size();
    int32_t hit = -1, mode = 0;
    // The topmost decal (drawn last) wins.
    for (int32_t i = decal_count() - 1; i >= 0 && hit < 0; i--) {
        if (!decal_considered(i)) continue;
        const decal& d = decals_of(t)[i];
        if ((d.x - cx) * (d.x - cx) + (d.z - cz) * (d.z - cz) < r * r) hit = i, mode = 1;
    }
    for (int32_t i = decal_count() - 1; i >= 0 && hit < 0; i--) {
        if (!decal_considered(i)) continue;
        const decal& d = decals_of(t)[i];
        float hx = d.x - 4 * m * d.sine, hz = d.z - 4 * m * d.cosine;
        if ((hx - cx) * (hx - cx) + (hz - cz) * (hz - cz) < r * r) hit = i, mode = 2;
    }
    if (hit >= 0) {
        if (hit != editor.selected_decal) editor.decal_group.count = 0;
        editor.selected_decal = hit;
        editor.grab_mode = mode;
        return;
    }
    editor.grab_mode = 0;
    decal_place(0);
}

void decal_drag_tic()
{
    terrain* t = editor.ground;
    if (!t || !decal_valid(editor.selected_decal)) return;
    float cx, cz;
    editor_cursor_world(&cx, &cz);
    decal old = decals_of(t)[editor.selected_decal];
    if (editor.grab_mode == 1) {
        if (std::fabs(cx - old.x) < 0.001f && std::fabs(cz - old.z) < 0.001f) return;
        decal d = old;
        d.x = cx, d.z = cz;
        if (!decal_replace(t, editor.selected_decal, &d)) return;
        follow(old, d, 1);
        t->change_flags = 7;
    } else if (editor.grab_mode == 2) {
        float angle = std::atan2(old.x - cx, old.z - cz);
        if (std::fabs(angle - old.angle) < 0.001f) return;
        decal d = old;
        set_angle(&d, angle);
        if (!decal_replace(t, editor.selected_decal, &d)) return;
        follow(old, d, 1);
        t->change_flags = 7;
    } else {
        float step = decal_step(old);
        float B = std::hypot(old.x - cx, old.z - cz);
        if (editor.settings.decal_orientation == orient_flow2) {
            float bx = old.x - old.sine * step / 2, bz = old.z - old.cosine * step / 2;
            B = std::fmin(B, std::hypot(bx - cx, bz - cz));
        }
        if (step < B) decal_place(0);
    }
}

int decal_key(uint32_t code)
{
    switch (code) {
    case 'M':
        decal_select_near(editor_brush_radius(), 0);
        return 1;
    case 'm':
        decal_select_near(0, 1);
        return 1;
    case 'X':
        decal_delete_near(editor_brush_radius());
        return 1;
    case 'x':
    case 127:
        decal_delete_near(0);
        return 1;
    case 'd':
        decal_place(1);
        return 1;
    case '{':
        decal_group_scale(0.9375f);
        return 1;
    case '}':
        decal_group_scale(1.0666667f);
        return 1;
    default:
        return 0;
    }
}

// ---- Overlay ----------------------------------------------------------------------

namespace {

void circle(float x, float z, float radius)
{
    imm_begin(IMM_LINE_LOOP);
    for (int k = 0; k < 48; k++) {
        float a = float(k) * 2 * pi / 48;
        imm_vertex3(x + radius * std::cos(a), 0, z + radius * std::sin(a));
    }
    imm_end();
}

// Two half circles joined by the two sides: the outline of a capsule.
void capsule(float x0, float z0, float x1, float z1, float radius)
{
    float dx = x1 - x0, dz = z1 - z0, len = std::hypot(dx, dz);
    if (len <= 0) {
        circle(x1, z1, radius);
        return;
    }
    float base = std::atan2(dz, dx);
    imm_begin(IMM_LINE_LOOP);
    for (int k = 0; k <= 24; k++) {
        float a = base - pi / 2 + float(k) * pi / 24;
        imm_vertex3(x1 + radius * std::cos(a), 0, z1 + radius * std::sin(a));
    }
    for (int k = 0; k <= 24; k++) {
        float a = base + pi / 2 + float(k) * pi / 24;
        imm_vertex3(x0 + radius * std::cos(a), 0, z0 + radius * std::sin(a));
    }
    imm_end();
}

// Rings at the decal and 4 units behind it, an arrow between, turned by the
// angle and scaled by m.
void decal_glyph(const decal& d, float m, float width)
{
    float s = d.sine * m, c = d.cosine * m;
    auto at = [&](float along, float side, float* x, float* z) {
        *x = d.x + along * s + side * c;
        *z = d.z + along * c - side * s;
    };
    auto ring = [&](float along) {
        imm_begin(IMM_LINE_LOOP);
        for (int k = 0; k < 12; k++) {
            float a = float(k) * 2 * pi / 12, x, z;
            at(along + width * std::cos(a), width * std::sin(a), &x, &z);
            imm_vertex3(x, 0, z);
        }
        imm_end();
    };
    ring(0);
    ring(-4);
    float x, z;
    imm_begin(IMM_LINES);
    at(-4, 0, &x, &z), imm_vertex3(x, 0, z);
    at(0, 0, &x, &z), imm_vertex3(x, 0, z);
    at(0, 0, &x, &z), imm_vertex3(x, 0, z);
    at(-0.7f, 0.5f, &x, &z), imm_vertex3(x, 0, z);
    at(0, 0, &x, &z), imm_vertex3(x, 0, z);
    at(-0.7f, -0.5f, &x, &z), imm_vertex3(x, 0, z);
    imm_end();
}

void draw_decal_overlay(terrain* t)
{
    float cx, cz;
    editor_cursor_world(&cx, &cz);
    float m = editor_marker_size();
    growable_array* bins[64];
    int32_t count = decal_bin_at(t, cx - 100, cz - 100, cx + 100, cz + 100, bins);
    // A decal that reaches into several bins is drawn once per bin, over itself.
    for (int32_t b = 0; b < count; b++) {
        for (int32_t k = 0; k < bins[b]->count; k++) {
            int32_t i = array_items<int32_t>(bins[b])[k];
            if (!decal_valid(i) || !decal_considered(i)) continue;
            const decal& d = decals_of(t)[i];
            if ((d.x - cx) * (d.x - cx) + (d.z - cz) * (d.z - cz) > 100 * 100) continue;
            float fg = 0, bg = 0.5f;
            if (i == editor.selected_decal) fg = 1, bg = 0;
            else if (group_find(i) >= 0) fg = 0.5f, bg = 0;
            imm_color(bg, bg, bg, 1);
            decal_glyph(d, m, 1.3f);
            imm_color(fg, fg, fg, 1);
            decal_glyph(d, m, 1);
        }
    }
}

} // namespace

void terrain_tools_draw_overlay()
{
    terrain* t = editor.ground;
    if (!t) return;
    float cx, cz;
    editor_cursor_world(&cx, &cz);
    // Plain colours: the marks sample the white texture.
    ztglBindTexture(GL_TEXTURE_2D, ztgl_state.white_texture);
    int32_t tool = editor.tool;
    if (tool == tool_snap) {
        float s = editor_brush_strength(), side = t->spacing;
        for (int k = 0; k < 30 && side < s; k++) side *= 2;
        float a = std::floor(cx / side) * side, b = std::floor(cz / side) * side;
        imm_color(1, 1, 1, 1);
        imm_begin(IMM_LINE_LOOP);
        imm_vertex3(a, 0, b);
        imm_vertex3(a + side, 0, b);
        imm_vertex3(a + side, 0, b + side);
        imm_vertex3(a, 0, b + side);
        imm_end();
    } else if (is_brush_tool(tool) || tool == tool_tilemap_edit) {
        float R = editor_brush_radius(), Ri = editor_brush_inner_radius();
        imm_color(1, 1, 1, 1);
        bool anchored = editor.line_anchor[0] >= 0;
        float ax = anchored ? editor.line_anchor[0] : cx, az = anchored ? editor.line_anchor[1] : cz;
        capsule(ax, az, cx, cz, R);
        if (editor.settings.focus > 0) capsule(ax, az, cx, cz, Ri);
    } else if (tool == tool_decals) {
        draw_decal_overlay(t);
    }
}
