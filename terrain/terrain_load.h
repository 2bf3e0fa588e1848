#pragma once
// Loading a track folder's terrain files into the record and saving it back.
#include <cstddef>
#include <cstdint>

#include "terrain/terrain.h"

// 1 when loaded. 0 when "terrain.hf" is missing or bad, and the record is
// left as it was; 0 when "tileinfo" and "texturelist" are both missing,
// "tilemap" is missing, or "shadows.pgm" is unreadable, and the record is then
// empty.
int terrain_load(terrain* t, const char* folder);
// Writes terrain.hf (':' form), terrain.png, tilemap, decals, shading.ppm and
// shadingx2.ppm into the record's folder, each file whole or not at all. 1 on success; 0 with "Can't write '%s'" on the console.
int terrain_save(terrain* t);

// Grey sun shading of every sample (size x size RGB bytes) for a light
// direction pointing toward the sun, as "shading.ppm" holds it.
void terrain_compute_shading(const terrain* t, const float light[3], uint8_t* rgb);
// The same at half-cell points: (2 size - 1) x (2 size - 1) pixels, each
// from the mean height of the samples around it ("shadingx2.ppm").
void terrain_compute_shading_x2(const terrain* t, const float light[3], uint8_t* rgb);
// The ':' form of terrain.hf for the record's heights, quantised to 16 bits
// between height_min and height_max; the caller frees it (alloc_check_free).
uint8_t* terrain_format_heights(const terrain* t, size_t* length);
