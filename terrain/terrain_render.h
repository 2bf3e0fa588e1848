#pragma once
// The terrain renderer: the height field drawn with level of detail around
// the record's camera point, textured from the tile map, with shading and
// shadows; deformed blocks are re-uploaded by the upkeep within its budget.
#include <cstdint>

#include "terrain/terrain.h"

// Creates the GL objects of a loaded record (height, shadow and tile-map
// textures, ground tiles, meshes). 0 with a console message on failure.
int terrain_render_create(terrain* t);
// Releases them; nothing when none were made.
void terrain_render_free(terrain* t);

// Draws the terrain for t->camera; adds to the ground polygon count.
void terrain_draw(terrain* t);
// Makes the terrain program current with the terrain's textures and uniforms
// (what terrain_draw does before its patches).
void terrain_render_bind(terrain* t);
// Per-frame upkeep of the ground texture pyramid around the camera.
void terrain_update_pyramid(terrain* t);
// After tile-map edits (or decal changes) over the cell rectangle: sends the
// tile map of that rectangle to the tile-map texture and marks the ground
// colour over it for repainting; heights show through the lighting without it.
void terrain_invalidate_levels(terrain* t, int32_t x0, int32_t z0, int32_t x1, int32_t z1);
// Re-computes detail errors and re-uploads dirty blocks, at most
// upkeep_budget blocks; the full form takes every dirty block.
void terrain_upkeep(terrain* t);
void terrain_upkeep_full(terrain* t);
// Sends one 128 x 128-cell block of heights to the GL height texture.
void terrain_render_upload_block(terrain* t, int32_t block_col, int32_t block_row);
