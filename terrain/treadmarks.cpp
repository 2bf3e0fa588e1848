#include "terrain/treadmarks.h"

#include <cmath>
#include <cstring>

#include "core/alloc.h"
#include "gfx/image_file.h"
#include "gfx/pixel_buffer.h"
#include "gfx/ztgl.h"
#include "terrain/heightfield.h"
#include "terrain/terrain_services.h"

treadmark_layer track_treadmarks;
int32_t treadmark_limit = 100000;

namespace {

// Sizes, spacings and offsets of a treadmark type are in inches: a print is
// a tyre's width across and a few inches long.
constexpr float feet_per_inch = 1.0f / 12.0f;
// Hostile numbers from a tileinfo stay drawable: a print is at most 4 ft
// long or wide, stamps come at least a quarter inch apart and at most this
// many a wheel a tic (a wheel covers about 1.5 ft a tic at 200 ft/s).
constexpr float longest_print = 48.0f, smallest_spacing = 0.25f;
constexpr int32_t stamps_per_tic = 8;
// A wheel that "moved" farther than this in one tic was put somewhere (a
// reset): no print spans the jump. 4 ft a tic is 512 ft/s.
constexpr float largest_step = 4.0f;
// Cell margin in pixels, transparent, so the smaller mip levels do not bleed
// a neighbour's print in.
constexpr int32_t cell_margin = 4;

bool wheel_matches(const treadmark_type& m, int front)
{
    if (m.front == 0) return front == 0;
    if (m.front == 1) return front != 0;
    return true;  // -1, and any other value, serves both wheels
}

// A type that can lay prints at all: active, with a size and aspect that make a
// quad.
bool drawable(const treadmark_type& m)
{
    return m.active && std::isfinite(m.size) && m.size > 0.0f && std::isfinite(m.aspect) && m.aspect > 0.0f;
}

float spacing_feet(const treadmark_type& m)
{
    float s = std::isfinite(m.spacing) ? m.spacing : smallest_spacing;
    return (s < smallest_spacing ? smallest_spacing : s) * feet_per_inch;
}

float clamp_print(float inches) { return (inches > longest_print ? longest_print : inches) * feet_per_inch; }

void stamp(terrain* t, treadmark_layer* layer, const treadmark_type& m, float cx, float cz, float fx, float fz)
{
    float half_length = clamp_print(m.size) * 0.5f;
    float half_width = clamp_print(m.size * m.aspect) * 0.5f;
    float offset = std::isfinite(m.offset) ? std::fmax(-longest_print, std::fmin(m.offset, longest_print)) : 0.0f;
    offset *= feet_per_inch;
    // Right of the way the wheel goes, looking down on x right and z forward.
    float rx = fz, rz = -fx;
    cx += rx * offset, cz += rz * offset;
    const float along[4] = {-half_length, -half_length, half_length, half_length};
    const float across[4] = {-half_width, half_width, half_width, -half_width};
    treadmark_vertex* out = layer->vertices + size_t(layer->next) * 4;
    for (int k = 0; k < 4; k++) {
        float x = cx + fx * along[k] + rx * across[k];
        float z = cz + fz * along[k] + rz * across[k];
        out[k] = {x, terrain_height_at(t, x, z), z, m.corners[2 * k], m.corners[2 * k + 1]};
    }
    // Starting a block over: its bounds are this print's and, once the ring
    // wraps, those of the older prints still in the rest of the block.
    float* b = layer->block_bounds[layer->next / treadmark_block];
    int32_t end = layer->next;
    if (layer->next % treadmark_block == 0) {
        b[0] = b[3] = out[0].x, b[1] = b[4] = out[0].y, b[2] = b[5] = out[0].z;
        if (layer->count == layer->capacity) end = layer->next + treadmark_block;
        if (end > layer->capacity) end = layer->capacity;
    }
    for (int32_t slot = layer->next; slot < end || slot == layer->next; slot++)
        for (int k = 0; k < 4; k++) {
            const treadmark_vertex& v = layer->vertices[size_t(slot) * 4 + size_t(k)];
            const float p[3] = {v.x, v.y, v.z};
            for (int a = 0; a < 3; a++) {
                b[a] = p[a] < b[a] ? p[a] : b[a];
                b[a + 3] = p[a] > b[a + 3] ? p[a] : b[a + 3];
            }
        }
    layer->next = layer->next + 1 == layer->capacity ? 0 : layer->next + 1;
    if (layer->count < layer->capacity) layer->count++;
    layer->laid++;
}

// The atlas pixels: each cell's image scaled into it inside a transparent
// margin; the stand-in cell is a plain dark print.
void fill_cell(uint8_t* atlas, int32_t atlas_w, int32_t col, int32_t row, const char* name)
{
    int32_t inner_w = treadmark_atlas_cell_w - 2 * cell_margin, inner_h = treadmark_atlas_cell_h - 2 * cell_margin;
    uint8_t* pixels = nullptr;
    char* text = nullptr;
    int w = 0, h = 0, bpp = 0;
    uint8_t* scaled = nullptr;
    if (name) {
        if (png_read(name, &pixels, &w, &h, &bpp, &text)) {
            scaled = image_resample_nearest(pixels, w, h, bpp, inner_w, inner_h);
            alloc_check_free(pixels);
            if (text) alloc_check_free(text);
        } else {
            terrain_console("Can't load treadmark texture '%.200s'", name);
        }
    }
    for (int32_t y = 0; y < inner_h; y++) {
        uint8_t* line = atlas + (size_t(row * treadmark_atlas_cell_h + cell_margin + y) * atlas_w +
                                 size_t(col * treadmark_atlas_cell_w + cell_margin)) * 4;
        for (int32_t x = 0; x < inner_w; x++) {
            uint8_t* o = line + x * 4;
            if (scaled) {
                const uint8_t* in = scaled + (size_t(y) * inner_w + x) * size_t(bpp);
                o[0] = in[0], o[1] = in[bpp >= 3 ? 1 : 0], o[2] = in[bpp >= 3 ? 2 : 0];
                o[3] = bpp == 4 ? in[3] : (bpp == 2 ? in[1] : 255);
            } else {
                o[0] = o[1] = o[2] = 30, o[3] = 128;
            }
        }
    }
    if (scaled) alloc_check_free(scaled);
}

void make_atlas_texture(treadmark_layer* layer, const treadmark_atlas_layout& layout)
{
    // Without a GL layer (tools, tests of the ground alone) nothing is drawn.
    if (!ztgl_fn.GenTextures || layout.cells == 0) return;
    size_t bytes = size_t(layout.width) * size_t(layout.height) * 4;
    uint8_t* atlas = static_cast<uint8_t*>(xmalloc(bytes));
    memset(atlas, 0, bytes);
    for (int32_t k = 0; k < layout.cells; k++)
        fill_cell(atlas, layout.width, k % layout.columns, k / layout.columns, layout.names[k]);
    ztglGenTextures(1, &layer->atlas_texture);
    ztglBindTexture(GL_TEXTURE_2D, layer->atlas_texture);
    ztglPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    ztglTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, layout.width, layout.height, 0, GL_RGBA, GL_UNSIGNED_BYTE, atlas);
    ztglGenerateMipmap(GL_TEXTURE_2D);
    ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    ztglBindTexture(GL_TEXTURE_2D, 0);
    ztgl_flush();
    alloc_check_free(atlas);
}

int32_t cell_of(treadmark_atlas_layout* layout, const char* name, int32_t* plain)
{
    if (name) {
        for (int32_t k = 0; k < layout->cells; k++)
            if (layout->names[k] && strcmp(layout->names[k], name) == 0) return k;
        if (layout->cells < treadmark_atlas_max_cells) {
            layout->names[layout->cells] = name;
            return layout->cells++;
        }
        terrain_console("Too many treadmark textures: '%.200s' is drawn plain", name);
    }
    if (*plain < 0) {
        layout->names[layout->cells] = nullptr;
        *plain = layout->cells++;
    }
    return *plain;
}

} // namespace

int32_t treadmark_atlas_build_layout(terrain* t, treadmark_atlas_layout* layout)
{
    memset(layout, 0, sizeof *layout);
    int32_t plain = -1;
    int32_t cell[terrain_max_tiles][terrain_treadmark_types];
    for (int32_t tile = 0; tile < t->tile_count; tile++)
        for (int32_t k = 0; k < terrain_treadmark_types; k++)
            cell[tile][k] = t->treadmark_types[tile][k].active ? cell_of(layout, t->treadmark_textures[tile][k], &plain)
                                                               : -1;
    layout->columns = 1;
    while (layout->columns * layout->columns < layout->cells) layout->columns++;
    layout->rows = layout->cells ? (layout->cells + layout->columns - 1) / layout->columns : 0;
    layout->width = layout->columns * treadmark_atlas_cell_w;
    layout->height = layout->rows * treadmark_atlas_cell_h;
    for (int32_t tile = 0; tile < t->tile_count; tile++)
        for (int32_t k = 0; k < terrain_treadmark_types; k++) {
            if (cell[tile][k] < 0) continue;
            int32_t col = cell[tile][k] % layout->columns, row = cell[tile][k] / layout->columns;
            float u0 = float(col * treadmark_atlas_cell_w + cell_margin) / float(layout->width);
            float u1 = float((col + 1) * treadmark_atlas_cell_w - cell_margin) / float(layout->width);
            float v0 = float(row * treadmark_atlas_cell_h + cell_margin) / float(layout->height);
            float v1 = float((row + 1) * treadmark_atlas_cell_h - cell_margin) / float(layout->height);
            // Rear left, rear right, front right, front left: v runs along the way.
            const float corners[8] = {u0, v0, u1, v0, u1, v1, u0, v1};
            memcpy(t->treadmark_types[tile][k].corners, corners, sizeof corners);
        }
    return layout->cells;
}

void treadmarks_make(terrain* t, treadmark_layer* layer, int32_t limit)
{
    treadmarks_free(layer);
    treadmark_atlas_layout layout;
    treadmark_atlas_build_layout(t, &layout);
    make_atlas_texture(layer, layout);
    int32_t capacity = limit < 0 ? 0 : (limit > treadmark_ring_max ? treadmark_ring_max : limit);
    if (limit > treadmark_ring_max)
        terrain_console("Treadmark limit %d is more than %d: %d prints kept", limit, treadmark_ring_max, capacity);
    layer->seen_changes = t->change_counter;
    if (capacity > 0) {
        layer->vertices = static_cast<treadmark_vertex*>(xmalloc(sizeof(treadmark_vertex) * 4 * size_t(capacity)));
        layer->capacity = capacity;
        size_t blocks = size_t(capacity + treadmark_block - 1) / treadmark_block;
        layer->block_bounds = static_cast<float(*)[6]>(xmalloc(sizeof(float[6]) * blocks));
        memset(layer->block_bounds, 0, sizeof(float[6]) * blocks);
    }
}

void treadmarks_clear(treadmark_layer* layer)
{
    layer->next = layer->count = 0;
    layer->settle_left = 0;
    layer->laid = 0;
    layer->generation++;
}

void treadmarks_free(treadmark_layer* layer)
{
    if (layer->vertices) alloc_check_free(layer->vertices);
    if (layer->block_bounds) alloc_check_free(layer->block_bounds);
    if (layer->atlas_texture) ztglDeleteTextures(1, &layer->atlas_texture);
    uint32_t generation = layer->generation + 1;
    memset(layer, 0, sizeof *layer);
    layer->generation = generation;
}

int32_t terrain_treadmark_place(terrain* t, treadmark_layer* layer, float tracker[3], const float point[3],
                                float slip_speed, float wheel_speed, int front)
{
    float dx = point[0] - tracker[0], dz = point[2] - tracker[2];
    float distance = std::sqrt(dx * dx + dz * dz);
    if (!(distance > 0.0f)) return 0;
    auto follow = [&] { tracker[0] = point[0], tracker[2] = point[2]; };
    if (!t->heights || layer->capacity <= 0 || !(distance <= largest_step)) {
        follow();
        return 0;
    }
    const treadmark_type* types = t->treadmark_types[terrain_tile_at(t, point[0], point[2])];
    // The types of the surface under the wheel stamp together, at the
    // smallest of their spacings.
    float step = 0.0f;
    for (int32_t k = 0; k < terrain_treadmark_types; k++)
        if (drawable(types[k]) && wheel_matches(types[k], front)) {
            float s = spacing_feet(types[k]);
            if (step == 0.0f || s < step) step = s;
        }
    if (step == 0.0f) {
        // Nothing prints here: tracking goes on, so a print on the next
        // surface does not reach back over this one.
        follow();
        return 0;
    }
    if (distance < step) return 0;
    float fx = dx / distance, fz = dz / distance;
    int32_t stamps = int32_t(distance / step);
    bool capped = stamps > stamps_per_tic;
    if (capped) stamps = stamps_per_tic;
    int32_t laid = 0;
    for (int32_t n = 1; n <= stamps; n++) {
        float cx = tracker[0] + fx * step * float(n), cz = tracker[2] + fz * step * float(n);
        for (int32_t k = 0; k < terrain_treadmark_types; k++) {
            const treadmark_type& m = types[k];
            if (!drawable(m) || !wheel_matches(m, front)) continue;
            // NaN speeds lay nothing.
            if (!(slip_speed >= m.slip_threshold) || !(wheel_speed >= m.speed_threshold)) continue;
            stamp(t, layer, m, cx, cz, fx, fz);
            laid++;
        }
    }
    if (capped) {
        follow();
    } else {
        tracker[0] += fx * step * float(stamps);
        tracker[2] += fz * step * float(stamps);
    }
    return laid;
}

void treadmark_place_on_track(float tracker[3], const float point[3], float slip_speed, float wheel_speed, int front)
{
    terrain_treadmark_place(&track_terrain, &track_treadmarks, tracker, point, slip_speed, wheel_speed, front);
}

int32_t treadmarks_settle(const terrain* t, treadmark_layer* layer, int32_t budget, int32_t* first)
{
    if (layer->count <= 0 || !t->heights || budget <= 0) return 0;
    if (layer->settle_left <= 0) {
        if (t->change_counter == layer->seen_changes) return 0;
        layer->seen_changes = t->change_counter;
        layer->settle_left = layer->count;
        layer->settle_slot = treadmark_slot_of_age(layer, layer->count - 1);
    }
    int32_t n = layer->settle_left < budget ? layer->settle_left : budget;
    if (n > layer->capacity - layer->settle_slot) n = layer->capacity - layer->settle_slot;
    treadmark_vertex* v = layer->vertices + size_t(layer->settle_slot) * 4;
    for (int32_t k = 0; k < n * 4; k++) {
        v[k].y = terrain_height_at(t, v[k].x, v[k].z);
        float* b = layer->block_bounds[(layer->settle_slot + k / 4) / treadmark_block];
        b[1] = v[k].y < b[1] ? v[k].y : b[1];
        b[4] = v[k].y > b[4] ? v[k].y : b[4];
    }
    *first = layer->settle_slot;
    layer->settle_slot = layer->settle_slot + n == layer->capacity ? 0 : layer->settle_slot + n;
    layer->settle_left -= n;
    return n;
}

int32_t treadmark_slot_of_age(const treadmark_layer* layer, int32_t age)
{
    int32_t slot = layer->next - 1 - age;
    return slot < 0 ? slot + layer->capacity : slot;
}

float treadmark_fade(int32_t age, int32_t capacity)
{
    float start = float(capacity) * 0.75f, span = float(capacity) - start;
    if (float(age) <= start || span <= 0.0f) return 1.0f;
    float a = 1.0f - (float(age) - start) / span;
    return a < 0.0f ? 0.0f : a;
}
