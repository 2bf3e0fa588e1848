#include "terrain/terrain_lod.h"
#include "terrain/terrain_render.h"

namespace {

void upkeep(terrain* t, int32_t budget)
{
    if (t->size <= 0) return;
    int32_t cells = t->size - 1;
    int32_t blocks = (cells + terrain_block_cells - 1) / terrain_block_cells;
    for (int32_t r = 0; r < blocks; r++) {
        for (int32_t c = 0; c < blocks; c++) {
            uint8_t& mark = t->dirty_blocks[r * 32 + c];
            if (!mark) continue;
            if (budget <= 0) return;
            budget--;
            int32_t x0 = c * terrain_block_cells, z0 = r * terrain_block_cells;
            terrain_lod_update(t, x0, z0, x0 + terrain_block_cells, z0 + terrain_block_cells);
            terrain_render_upload_block(t, c, r);
            mark = 0;
        }
    }
}

} // namespace

void terrain_upkeep(terrain* t) { upkeep(t, t->upkeep_budget); }

void terrain_upkeep_full(terrain* t) { upkeep(t, 2147483647); }
