// The sample tracks' ground textures (one per surface), the treadmark, the
// default roost clod and the line decals: small tileable images from noise.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/datagen/datagen.h"

namespace {

// Tileable value noise over a period of `cells` lattice cells.
struct noise {
    uint32_t seed;
    float lattice(int x, int y, int cells) const
    {
        x = ((x % cells) + cells) % cells;
        y = ((y % cells) + cells) % cells;
        uint32_t h = seed ^ uint32_t(x) * 374761393u ^ uint32_t(y) * 668265263u;
        h = (h ^ (h >> 13)) * 1274126177u;
        return float((h ^ (h >> 16)) & 0xffff) / 65535.0f;
    }
    float at(float u, float v, int cells) const
    {
        float x = u * float(cells), y = v * float(cells);
        int ix = int(floorf(x)), iy = int(floorf(y));
        float fx = x - float(ix), fy = y - float(iy);
        fx = fx * fx * (3 - 2 * fx), fy = fy * fy * (3 - 2 * fy);
        float a = lattice(ix, iy, cells), b = lattice(ix + 1, iy, cells);
        float c = lattice(ix, iy + 1, cells), d = lattice(ix + 1, iy + 1, cells);
        return (a + (b - a) * fx) * (1 - fy) + (c + (d - c) * fx) * fy;
    }
    // Octaves from coarse to fine, 0..1.
    float fractal(float u, float v) const
    {
        return 0.45f * at(u, v, 4) + 0.3f * at(u, v, 8) + 0.15f * at(u, v, 16) + 0.1f * at(u, v, 32);
    }
};

// A ground texture: a base colour varied by noise, with small stones.
int ground(const std::string& root, const char* name, uint32_t seed, const float base[3], const float dark[3],
           float stones)
{
    const int n = 128;
    noise nz{seed};
    noise grain{seed * 7 + 1};
    std::vector<uint8_t> px(size_t(n) * n * 3);
    for (int y = 0; y < n; y++) {
        for (int x = 0; x < n; x++) {
            float u = float(x) / n, v = float(y) / n;
            float f = nz.fractal(u, v);
            float g = grain.at(u, v, 64);
            float stone = g > 1.0f - stones ? 0.25f : 0.0f;
            for (int c = 0; c < 3; c++) {
                float col = dark[c] + (base[c] - dark[c]) * (0.55f + 0.45f * f) + stone * 0.6f - 0.08f * g;
                px[(size_t(y) * n + x) * 3 + c] = uint8_t(fminf(255.0f, fmaxf(0.0f, col * 255.0f)));
            }
        }
    }
    return datagen_write_png(root, name, px.data(), n, n, 3);
}

// RGBA images drawn by a function of (u, v) returning colour and coverage.
template <class F> int sprite(const std::string& root, const char* name, int w, int h, F fn)
{
    std::vector<uint8_t> px(size_t(w) * h * 4);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            float rgba[4];
            fn((float(x) + 0.5f) / float(w), (float(y) + 0.5f) / float(h), rgba);
            for (int c = 0; c < 4; c++) px[(size_t(y) * w + x) * 4 + c] = uint8_t(fminf(255.0f, fmaxf(0.0f, rgba[c] * 255.0f)));
        }
    }
    return datagen_write_png(root, name, px.data(), w, h, 4);
}

int write_track_textures(const std::string& root)
{
    const float hardpack[3] = {0.62f, 0.52f, 0.40f}, hardpack_dark[3] = {0.40f, 0.33f, 0.26f};
    const float loam[3] = {0.50f, 0.36f, 0.22f}, loam_dark[3] = {0.28f, 0.19f, 0.11f};
    const float mud[3] = {0.33f, 0.25f, 0.17f}, mud_dark[3] = {0.16f, 0.12f, 0.08f};
    const float grass[3] = {0.36f, 0.52f, 0.22f}, grass_dark[3] = {0.16f, 0.30f, 0.10f};
    if (!ground(root, "hardpack.png", 11, hardpack, hardpack_dark, 0.06f) ||
        !ground(root, "loam.png", 23, loam, loam_dark, 0.03f) || !ground(root, "mud.png", 37, mud, mud_dark, 0.0f) ||
        !ground(root, "grass.png", 51, grass, grass_dark, 0.0f))
        return 0;
    noise clod{99};
    // Treadmark: knobby tyre print along v, dark and half transparent.
    int ok = sprite(root, "tread.png", 32, 64, [](float u, float v, float* o) {
        float knob = (fmodf(v * 8.0f, 1.0f) < 0.5f) == (u < 0.5f) ? 1.0f : 0.55f;
        float edge = fminf(u, 1 - u) * 6.0f;
        o[0] = o[1] = o[2] = 0.12f;
        o[3] = 0.55f * knob * fminf(1.0f, edge);
    });
    ok = ok && sprite(root, "roost.png", 32, 32, [&](float u, float v, float* o) {
        float r = hypotf(u - 0.5f, v - 0.5f) * 2 + 0.3f * clod.at(u, v, 4);
        o[0] = 0.45f, o[1] = 0.33f, o[2] = 0.22f;
        o[3] = r < 0.8f ? 1.0f : fmaxf(0.0f, 1 - (r - 0.8f) * 5);
    });
    ok = ok && sprite(root, "startline.png", 32, 32, [](float, float v, float* o) {
        o[0] = o[1] = o[2] = 0.95f;
        o[3] = fabsf(v - 0.5f) < 0.18f ? 0.9f : 0.0f;
    });
    ok = ok && sprite(root, "finish.png", 32, 32, [](float u, float v, float* o) {
        bool white = (int(u * 4) + int(v * 4)) % 2 == 0;
        o[0] = o[1] = o[2] = white ? 0.95f : 0.05f;
        o[3] = 0.85f;
    });
    return ok;
}

} // namespace

DATAGEN_STEP("39_track_textures", write_track_textures);
