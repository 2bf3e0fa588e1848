#include "terrain/heightfield.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/alloc.h"
#include "core/ripemd160.h"
#include "platform/vesk_log.h"
#include "terrain/terrain_lod.h"
#include "terrain/terrain_services.h"

int heightfield_parse_header(const uint8_t* bytes, size_t length, heightfield_header* header)
{
    char text[256];
    size_t n = length < sizeof text - 1 ? length : sizeof text - 1;
    memcpy(text, bytes, n);
    text[n] = 0;
    int exponent = 0, used = 0;
    float spacing = 0, low = 0, high = 0;
    if (sscanf(text, "%d %f %f %f %n", &exponent, &spacing, &low, &high, &used) < 4) return 0;
    if (used == 0) return 0;  // %n not reached: the header was cut short
    size_t offset = size_t(used);
    while (offset < length && isspace(bytes[offset])) offset++;
    if (exponent < 0 || exponent > terrain_max_exponent) return 0;
    if (!std::isfinite(spacing) || !(spacing > 0.0f) || !std::isfinite(low) || !std::isfinite(high)) return 0;
    // The extent and its inverse must stay finite and non-zero.
    float extent = spacing * float(1 << (exponent + 1));
    if (!std::isfinite(extent) || !std::isfinite(1.0f / spacing) || 1.0f / spacing == 0.0f) return 0;
    header->exponent = exponent;
    header->spacing = spacing;
    header->height_min = low;
    header->height_max = high;
    header->data_offset = offset;
    return 1;
}

int heightfield_has_inline_samples(const uint8_t* bytes, size_t length)
{
    heightfield_header header;
    if (!heightfield_parse_header(bytes, length, &header)) return 0;
    return header.data_offset < length && bytes[header.data_offset] == ':';
}

void heightfield_digest_samples(const uint16_t* samples, size_t count, uint8_t digest[20])
{
    ripemd160_ctx ctx;
    ripemd160_init(&ctx);
    for (size_t i = 0; i < count; i++) {
        uint8_t pair[2] = {uint8_t(samples[i] & 0xff), uint8_t(samples[i] >> 8)};
        ripemd160_update(&ctx, pair, 2);
    }
    ripemd160_final(&ctx);
    memcpy(digest, ctx.digest, 20);
}

int heightfield_read(terrain* t, const uint8_t* bytes, size_t length, const gray16_image* png)
{
    heightfield_header header;
    terrain_hooks.show_progress("Loading heights");
    if (!heightfield_parse_header(bytes, length, &header)) {
        terrain_hooks.console_print("Bad height field parameters");
        return 0;
    }
    // A record read again drops its old grid first.
    if (t->heights) alloc_check_free(t->heights);
    if (t->node_bits) alloc_check_free(t->node_bits);
    t->heights = t->pristine_heights = nullptr;
    t->node_bits = nullptr;
    int32_t n = header.exponent;
    int32_t size = (1 << (n + 1)) + 1;
    t->exponent = n;
    t->size = size;
    t->spacing = header.spacing;
    t->inv_spacing = 1.0f / header.spacing;
    t->tile_size = 2.0f * header.spacing;
    t->extent = header.spacing * float(1 << (n + 1));
    t->height_min = header.height_min;
    t->height_max = header.height_max;
    size_t cells = size_t(size) * size_t(size);
    t->heights = static_cast<float*>(xmalloc(2 * cells * sizeof(float)));
    t->pristine_heights = t->heights + cells;
    t->node_count = int32_t(((int64_t(1) << (2 * (n + 1))) - 1) / 3);
    t->node_bits = static_cast<uint8_t*>(xmalloc(size_t(t->node_count + 7) / 8));
    memset(t->node_bits, 0, size_t(t->node_count + 7) / 8);

    // Height of sample v: the range in single precision, the rest in double.
    float range = header.height_max - header.height_min;
    double step = double(range) * (1.0 / 65535.0);
    bool inline_samples = header.data_offset < length && bytes[header.data_offset] == ':';
    const uint8_t* block = bytes + header.data_offset + 1;
    size_t available = inline_samples ? (length - header.data_offset - 1) / 2 : 0;
    bool from_png = !inline_samples && png && png->samples && png->width > 0 && png->height > 0;
    uint16_t* samples = static_cast<uint16_t*>(xmalloc(cells * sizeof(uint16_t)));
    for (int32_t j = 0; j < size; j++) {
        for (int32_t i = 0; i < size; i++) {
            size_t index = size_t(j) * size + i;
            uint16_t v = 0;
            if (inline_samples) {
                // A block that ends early leaves the rest at the lowest height.
                if (index < available) v = uint16_t(block[2 * index] | block[2 * index + 1] << 8);
            } else if (from_png) {
                int32_t col = i < png->width - 1 ? i : png->width - 1;
                int32_t row = j < png->height - 1 ? j : png->height - 1;
                v = png->samples[size_t(row) * png->width + col];
            }
            samples[index] = v;
            t->heights[index] = float(double(header.height_min) + step * double(v));
        }
    }
    if (terrain_hooks.verbose >= 2 && (inline_samples || from_png)) {
        uint8_t digest[20];
        heightfield_digest_samples(samples, cells, digest);
        char hex[41];
        for (int k = 0; k < 20; k++) snprintf(hex + 2 * k, 3, "%02x", digest[k]);
        vesk_log("%s\n", hex);
    }
    alloc_check_free(samples);
    memcpy(t->pristine_heights, t->heights, cells * sizeof(float));
    terrain_hooks.show_progress("Loading heights");
    terrain_lod_allocate(t);
    terrain_lod_update(t, 0, 0, size - 1, size - 1);
    terrain_hooks.show_done("Loading heights");
    if (terrain_blocks_changed_hook) terrain_blocks_changed_hook(t);
    return 1;
}

namespace {

// The triangle under (x, z): its corner, the corner's neighbours along x and
// along z (as flat indices), and the weights toward them.
struct triangle_pick {
    int32_t corner, along_x, along_z;
    float a, b;
    int32_t kind;  // 0 A, 1 B, 2 C, 3 D
    int32_t row_index;  // the corner on the right-angle corner's row
};

// Non-finite coordinates count as 0; huge ones are pulled in so the cell
// index stays an int (both corners clamp to the edge anyway).
float cell_coordinate(float world, float inv_spacing, int32_t size)
{
    float c = world * inv_spacing;
    if (!std::isfinite(c)) return 0.0f;
    if (c < -2.0f) return -2.0f;
    if (c > float(size) + 1.0f) return float(size) + 1.0f;
    return c;
}

int32_t clamp_index(int32_t i, int32_t size) { return i < 0 ? 0 : (i >= size ? size - 1 : i); }

triangle_pick pick_triangle(const terrain* t, float x, float z)
{
    int32_t size = t->size;
    float u = cell_coordinate(x, t->inv_spacing, size);
    float v = cell_coordinate(z, t->inv_spacing, size);
    float fi = floorf(u), fj = floorf(v);
    int32_t i = int32_t(fi), j = int32_t(fj);
    float fu = u - fi, fv = v - fj;
    int32_t i0 = clamp_index(i, size), i1 = clamp_index(i + 1, size);
    int32_t j0 = clamp_index(j, size) * size, j1 = clamp_index(j + 1, size) * size;
    triangle_pick p;
    if (((i ^ j) & 1) == 0) {
        if (fv <= fu) {  // A: right angle at (i+1, j)
            p = {i1 + j0, i0 + j0, i1 + j1, 1.0f - fu, fv, 0, i0 + j0};
        } else {  // B: right angle at (i, j+1)
            p = {i0 + j1, i1 + j1, i0 + j0, fu, 1.0f - fv, 1, i1 + j1};
        }
    } else {
        if (fu + fv <= 1.0f) {  // C: right angle at (i, j)
            p = {i0 + j0, i1 + j0, i0 + j1, fu, fv, 2, i1 + j0};
        } else {  // D: right angle at (i+1, j+1)
            p = {i1 + j1, i0 + j1, i1 + j0, 1.0f - fu, 1.0f - fv, 3, i0 + j1};
        }
    }
    return p;
}

float height_over(const terrain* t, const float* grid, float x, float z)
{
    if (!grid) return 0.0f;
    triangle_pick p = pick_triangle(t, x, z);
    float h0 = grid[p.corner];
    return h0 + p.a * (grid[p.along_x] - h0) + p.b * (grid[p.along_z] - h0);
}

} // namespace

float terrain_height_at(const terrain* t, float x, float z) { return height_over(t, t->heights, x, z); }

float terrain_pristine_height_at(const terrain* t, float x, float z)
{
    return height_over(t, t->pristine_heights, x, z);
}

float terrain_grid_height_at(const terrain* t, const float* grid, float x, float z) { return height_over(t, grid, x, z); }
float terrain_height_smoothed(const terrain* t, float x, float z)
{
    if (!t->heights || t->size <= 0 || !(t->spacing > 0)) return 0.0f;
    if (!std::isfinite(x)) x = 0;
    if (!std::isfinite(z)) z = 0;
    const float c = t->spacing, reach = 10, outer = c + reach;
    auto clamp_index = [&](double v) { return int32_t(std::clamp(v, 0.0, double(t->size - 1))); };
    // The window is bounded by the grid, so a far-off point costs no more
    // than one at the edge.
    int32_t x0 = clamp_index(std::floor((x - reach) / c)), x1 = clamp_index(std::ceil((x + reach) / c));
    int32_t z0 = clamp_index(std::floor((z - reach) / c)), z1 = clamp_index(std::ceil((z + reach) / c));
    double sum = 0, weights = 0;
    for (int32_t iz = z0; iz <= z1; iz++)
        for (int32_t ix = x0; ix <= x1; ix++) {
            float dx = float(ix) * c - x, dz = float(iz) * c - z, d2 = dx * dx + dz * dz;
            float w = d2 < reach * reach ? 1 : d2 < outer * outer ? (outer - std::sqrt(d2)) / c : 0;
            sum += double(w) * t->heights[ix + t->size * iz];
            weights += w;
        }
    if (weights > 0) return float(sum / weights);
    return t->heights[x0 + t->size * z0];
}

int32_t terrain_normal_at(const terrain* t, float x, float z, float normal[3])
{
    float s = t->spacing;
    if (!t->heights) {
        normal[0] = 0.0f;
        normal[1] = s * s;
        normal[2] = 0.0f;
        return 0;
    }
    triangle_pick p = pick_triangle(t, x, z);
    const float* h = t->heights;
    // The corner's neighbours lie one cell away along x and z; the leg
    // differences point in +x and +z whichever side the corner is on.
    float dx = h[p.along_x] - h[p.corner];
    float dz = h[p.along_z] - h[p.corner];
    if (p.kind == 0 || p.kind == 3) dx = -dx;  // neighbour along x is at -x
    if (p.kind == 1 || p.kind == 3) dz = -dz;  // neighbour along z is at -z
    normal[0] = -s * dx;
    normal[1] = s * s;
    normal[2] = -s * dz;
    return p.row_index;
}

void terrain_mark_dirty(terrain* t, int32_t col0, int32_t row0, int32_t col1, int32_t row1)
{
    if (t->size <= 0) return;
    int32_t cells = t->size - 1;
    int32_t blocks = (cells + terrain_block_cells - 1) / terrain_block_cells;
    auto block = [&](int32_t cell) {
        int32_t b = (cell < 0 ? 0 : cell) / terrain_block_cells;
        return b >= blocks ? blocks - 1 : b;
    };
    if (col1 < col0 || row1 < row0) return;
    for (int32_t r = block(row0); r <= block(row1); r++)
        for (int32_t c = block(col0); c <= block(col1); c++) t->dirty_blocks[r * 32 + c] = 1;
}
