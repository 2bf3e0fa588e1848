#pragma once
// Level-of-detail errors over a quadtree of the height field: level 0 is the
// whole grid, level `exponent` has nodes of 2 x 2 cells. lod_error[0] holds
// the largest height error of drawing a node by its corners only (its
// children's errors included), lod_error[1] the highest height inside it.
#include <cstdint>

#include "terrain/terrain.h"

void terrain_lod_allocate(terrain* t);
// Recomputes every node that overlaps the inclusive cell rectangle.
void terrain_lod_update(terrain* t, int32_t col0, int32_t row0, int32_t col1, int32_t row1);
// Index of node (col, row) of a level in the error arrays.
int32_t terrain_lod_node(int32_t level, int32_t col, int32_t row);
