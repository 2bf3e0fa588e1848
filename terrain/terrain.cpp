#include "terrain/terrain.h"

#include <cmath>
#include <cstring>

#include "core/alloc.h"
#include "terrain/decals.h"
#include "terrain/terrain_render.h"

terrain track_terrain;
void (*terrain_blocks_changed_hook)(const terrain* t);

void terrain_reset(terrain* t)
{
    memset(t, 0, sizeof *t);
    t->upkeep_budget = 2147483647;
}

namespace {
template <class T> void release(T*& block)
{
    if (block) alloc_check_free(block);
    block = nullptr;
}
} // namespace

void terrain_free(terrain* t)
{
    // GL objects first: they may read the grid while being released.
    terrain_render_free(t);
    decals_free(t);
    release(t->shadow);
    release(t->tile_map);
    release(t->heights);  // pristine_heights lives in the same block
    t->pristine_heights = nullptr;
    release(t->node_bits);
    release(t->lod_error[0]);
    release(t->lod_error[1]);
    terrain_reset(t);
    if (terrain_blocks_changed_hook) terrain_blocks_changed_hook(t);
}

int32_t terrain_erode_limit_rows(const float* erosion)
{
    int32_t rows;
    memcpy(&rows, &erosion[erode_limit_count], sizeof rows);
    return rows;
}

void terrain_set_erode_limit_rows(float* erosion, int32_t rows)
{
    memcpy(&erosion[erode_limit_count], &rows, sizeof rows);
}

namespace {
int32_t tile_index(float cell, int32_t last)
{
    // Non-finite and negative positions take tile 0; far ones the last tile.
    if (!(cell > 0.0f)) return 0;
    if (cell >= float(last)) return last;
    return int32_t(cell);
}
} // namespace

int32_t terrain_tile_at(const terrain* t, float x, float z)
{
    if (!t->tile_map) return 0;
    int32_t last = (1 << t->exponent) - 1;
    int32_t col = tile_index(x * t->inv_spacing * 0.5f, last);
    int32_t row = tile_index(z * t->inv_spacing * 0.5f, last);
    return t->tile_map[row * (last + 1) + col];
}
