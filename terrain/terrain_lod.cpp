#include "terrain/terrain_lod.h"

#include <cmath>
#include <cstring>

#include "core/alloc.h"

int32_t terrain_lod_node(int32_t level, int32_t col, int32_t row)
{
    int32_t first = int32_t(((int64_t(1) << (2 * level)) - 1) / 3);
    return first + (row << level) + col;
}

void terrain_lod_allocate(terrain* t)
{
    for (float*& errors : t->lod_error) {
        if (errors) alloc_check_free(errors);
        errors = static_cast<float*>(xmalloc(size_t(t->node_count) * sizeof(float)));
        memset(errors, 0, size_t(t->node_count) * sizeof(float));
    }
}

void terrain_lod_update(terrain* t, int32_t col0, int32_t row0, int32_t col1, int32_t row1)
{
    if (!t->heights || !t->lod_error[0]) return;
    const float* h = t->heights;
    int32_t size = t->size;
    auto at = [&](int32_t i, int32_t j) { return h[size_t(j) * size + i]; };
    // Bottom-up, so every parent sees its children's fresh errors.
    for (int32_t level = t->exponent; level >= 0; level--) {
        int32_t span = (size - 1) >> level;  // cells a node covers
        int32_t half = span / 2;
        int32_t nodes = 1 << level;
        int32_t c0 = col0 / span - 1, c1 = col1 / span + 1;
        int32_t r0 = row0 / span - 1, r1 = row1 / span + 1;
        if (c0 < 0) c0 = 0;
        if (r0 < 0) r0 = 0;
        if (c1 >= nodes) c1 = nodes - 1;
        if (r1 >= nodes) r1 = nodes - 1;
        for (int32_t r = r0; r <= r1; r++) {
            for (int32_t c = c0; c <= c1; c++) {
                int32_t x0 = c * span, z0 = r * span, x1 = x0 + span, z1 = z0 + span;
                float h00 = at(x0, z0), h10 = at(x1, z0), h01 = at(x0, z1), h11 = at(x1, z1);
                float top = fmaxf(fmaxf(h00, h10), fmaxf(h01, h11));
                float error = 0.0f;
                // Deviation of the edge midpoints and the centre from the
                // corners' interpolation.
                const int32_t mid[5][2] = {{half, 0}, {0, half}, {span, half}, {half, span}, {half, half}};
                for (const auto& m : mid) {
                    float u = float(m[0]) / float(span), v = float(m[1]) / float(span);
                    float guess = (h00 * (1 - u) + h10 * u) * (1 - v) + (h01 * (1 - u) + h11 * u) * v;
                    float real = at(x0 + m[0], z0 + m[1]);
                    error = fmaxf(error, fabsf(real - guess));
                    top = fmaxf(top, real);
                }
                if (level < t->exponent) {
                    for (int32_t k = 0; k < 4; k++) {
                        int32_t child = terrain_lod_node(level + 1, 2 * c + (k & 1), 2 * r + (k >> 1));
                        error = fmaxf(error, t->lod_error[0][child]);
                        top = fmaxf(top, t->lod_error[1][child]);
                    }
                }
                int32_t node = terrain_lod_node(level, c, r);
                t->lod_error[0][node] = error;
                t->lod_error[1][node] = top;
            }
        }
    }
}
