#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/alloc.h"
#include "gfx/image_png.h"
#include "terrain/decals.h"
#include "terrain/heightfield.h"
#include "terrain/terrain_load.h"
#include "terrain/terrain_services.h"

namespace {
// Grey sun shading over an m x m grid of points 1 / inv feet apart whose
// heights come from h(i, j) (clamped to the grid by the caller).
template <class Height>
void shade_grid(int32_t m, float inv, const float light[3], uint8_t* rgb, Height h)
{
    float l = sqrtf(light[0] * light[0] + light[1] * light[1] + light[2] * light[2]);
    float lx = light[0] / l, ly = light[1] / l, lz = light[2] / l;
    for (int32_t j = 0; j < m; j++) {
        for (int32_t i = 0; i < m; i++) {
            // Central differences: the normal is (-dh/dx, 1, -dh/dz).
            float gx = (h(i + 1, j) - h(i - 1, j)) * 0.5f * inv;
            float gz = (h(i, j + 1) - h(i, j - 1)) * 0.5f * inv;
            float len = sqrtf(gx * gx + 1.0f + gz * gz);
            float lit = (-gx * lx + ly - gz * lz) / len;
            float v = 0.35f + 0.65f * (lit > 0.0f ? lit : 0.0f);
            uint8_t g = uint8_t(v >= 1.0f ? 255 : int(v * 255.0f));
            uint8_t* p = rgb + 3 * (size_t(j) * m + i);
            p[0] = p[1] = p[2] = g;
        }
    }
}
} // namespace

void terrain_compute_shading(const terrain* t, const float light[3], uint8_t* rgb)
{
    int32_t n = t->size;
    shade_grid(n, t->inv_spacing, light, rgb, [&](int32_t i, int32_t j) {
        i = i < 0 ? 0 : (i >= n ? n - 1 : i);
        j = j < 0 ? 0 : (j >= n ? n - 1 : j);
        return t->heights[size_t(j) * n + i];
    });
}

void terrain_compute_shading_x2(const terrain* t, const float light[3], uint8_t* rgb)
{
    int32_t n = t->size, m = 2 * n - 1;
    // Half-cell points: the mean of the two or four samples around them.
    shade_grid(m, t->inv_spacing * 2, light, rgb, [&](int32_t i, int32_t j) {
        i = i < 0 ? 0 : (i >= m ? m - 1 : i);
        j = j < 0 ? 0 : (j >= m ? m - 1 : j);
        int32_t i0 = i / 2, j0 = j / 2, i1 = (i + 1) / 2, j1 = (j + 1) / 2;
        const float* h = t->heights;
        return 0.25f * (h[size_t(j0) * n + i0] + h[size_t(j0) * n + i1] + h[size_t(j1) * n + i0] +
                        h[size_t(j1) * n + i1]);
    });
}

namespace {
// A height as its 16-bit sample between the lowest and highest height.
uint16_t height_sample(const terrain* t, float h)
{
    double range = double(t->height_max) - double(t->height_min);
    double v = range > 0.0 ? (double(h) - t->height_min) / range * 65535.0 + 0.5 : 0.0;
    return v <= 0.0 || !(v == v) ? 0 : (v >= 65535.0 ? 65535 : uint16_t(v));
}
} // namespace

uint8_t* terrain_format_heights(const terrain* t, size_t* length)
{
    char header[128];
    int head = snprintf(header, sizeof header, "%d %.9g %.9g %.9g\n:", t->exponent, t->spacing, t->height_min,
                        t->height_max);
    size_t count = size_t(t->size) * size_t(t->size);
    uint8_t* out = static_cast<uint8_t*>(xmalloc(size_t(head) + 2 * count));
    memcpy(out, header, size_t(head));
    for (size_t k = 0; k < count; k++) {
        uint16_t q = height_sample(t, t->heights[k]);
        out[head + 2 * k] = uint8_t(q);
        out[head + 2 * k + 1] = uint8_t(q >> 8);
    }
    *length = size_t(head) + 2 * count;
    return out;
}

namespace {
int write(const terrain* t, const char* name, const void* bytes, size_t length)
{
    if (terrain_hooks.write_file(t->folder, name, bytes, length)) return 1;
    terrain_console("Can't write '%.900s/%.64s'", t->folder, name);
    return 0;
}
} // namespace

int terrain_save(terrain* t)
{
    if (!t->heights) return 0;
    int ok = 1;
    size_t length = 0;
    uint8_t* hf = terrain_format_heights(t, &length);
    ok &= write(t, "terrain.hf", hf, length);
    alloc_check_free(hf);

    // The same samples as a grey PNG, for scene exports.
    size_t samples = size_t(t->size) * size_t(t->size);
    uint16_t* grey = static_cast<uint16_t*>(xmalloc(samples * sizeof(uint16_t)));
    for (size_t k = 0; k < samples; k++) grey[k] = height_sample(t, t->heights[k]);
    uint8_t* png = png_encode_gray16(grey, t->size, t->size, &length);
    alloc_check_free(grey);
    ok &= png && write(t, "terrain.png", png, length);
    if (png) alloc_check_free(png);

    int32_t tiles = 1 << t->exponent;
    if (t->tile_map) ok &= write(t, "tilemap", t->tile_map, size_t(tiles) * tiles);

    char* decals = decals_format(t, &length);
    ok &= write(t, "decals", decals, length);
    alloc_check_free(decals);

    size_t count = size_t(t->size) * size_t(t->size);
    char header[64];
    int head = snprintf(header, sizeof header, "P6\n%d %d\n255\n", t->size, t->size);
    uint8_t* ppm = static_cast<uint8_t*>(xmalloc(size_t(head) + 3 * count));
    memcpy(ppm, header, size_t(head));
    const float sun[3] = {0.4f, 1.0f, 0.3f};
    terrain_compute_shading(t, sun, ppm + head);
    ok &= write(t, "shading.ppm", ppm, size_t(head) + 3 * count);
    alloc_check_free(ppm);

    int32_t m = 2 * t->size - 1;
    count = size_t(m) * size_t(m);
    head = snprintf(header, sizeof header, "P6\n%d %d\n255\n", m, m);
    ppm = static_cast<uint8_t*>(xmalloc(size_t(head) + 3 * count));
    memcpy(ppm, header, size_t(head));
    terrain_compute_shading_x2(t, sun, ppm + head);
    ok &= write(t, "shadingx2.ppm", ppm, size_t(head) + 3 * count);
    alloc_check_free(ppm);
    return ok;
}
