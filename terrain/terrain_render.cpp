#include "terrain/terrain_render.h"

// Without a GL layer the renderer keeps no objects; loading, deformation and
// the upkeep's bookkeeping work the same.
int terrain_render_create(terrain*) { return 1; }
void terrain_render_free(terrain* t) { t->renderer = nullptr; }
void terrain_draw(terrain*) {}
void terrain_update_pyramid(terrain*) {}
void terrain_invalidate_levels(terrain*, int32_t, int32_t, int32_t, int32_t) {}
void terrain_render_upload_block(terrain*, int32_t, int32_t) {}
