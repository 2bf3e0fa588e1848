#pragma once
// Surface types: the per-tile tables of the terrain record and the track
// files that fill them ("tileinfo", or the older "texturelist"), the tile map
// ("tilemap") and the shadows ("shadows.pgm"). Every parser reads a buffer in
// memory; bad lines are reported on the console and parsing goes on.
#include <cstddef>
#include <cstdint>

#include "terrain/terrain.h"

// The program-wide factor applied to the roost fade values of tileinfo.
extern double roost_fade_scale;

// Fills tiles from a tileinfo text; tile_count ends at 0..256. The tile
// textures' names go to tile_textures.
void tileinfo_parse(terrain* t, const char* text, size_t length);
// Fills tiles from a texturelist text (at most 256 lines).
void texturelist_parse(terrain* t, const char* text, size_t length);
// When no tile was defined, adds one default surface so the tile map and
// the physics always find a filled tile.
void surfaces_ensure_tile(terrain* t);
// Reads 4^exponent bytes into tile_map, clamped to tile_count - 1; a short
// file leaves the rest at tile 0. 0 when the grid is not set up.
int tilemap_read(terrain* t, const uint8_t* bytes, size_t length);
// Parses a PGM of size x size into shadow, each byte stored as 255 - v. 0 with a console message when unreadable or of the
// wrong dimensions.
int shadows_read(terrain* t, const uint8_t* bytes, size_t length);
