#pragma once
// The height field: reading "terrain.hf" (and its grey PNG fallback), the
// triangle rule every height and normal query shares, and the change marks
// that tell the renderer which blocks to re-upload.
#include <cstddef>
#include <cstdint>

#include "terrain/terrain.h"

// The parsed header of "terrain.hf": "%d %f %f %f " then one byte.
struct heightfield_header {
    int32_t exponent;
    float spacing, height_min, height_max;
    size_t data_offset;  // offset of the byte after the header's white space
};

// 1 with the header filled; 0 when fewer than four numbers scan or a value is
// out of bounds (exponent 0..11, spacing positive and finite, finite heights).
int heightfield_parse_header(const uint8_t* bytes, size_t length, heightfield_header* header);

// 16-bit grey samples of an image, row-major; heightfield_read_heights repeats
// the last row and column when the image is smaller than the grid.
struct gray16_image {
    const uint16_t* samples;
    int32_t width, height;
};

// Sets up the record's grid from the header and fills the heights: from the
// ':' block of bytes, or otherwise from png (flat at height_min when png is
// null or empty). Logs the digest of the sample words at verbose level 2.
// 0 with "Bad height field parameters" on the console for a bad header.
int heightfield_read(terrain* t, const uint8_t* bytes, size_t length, const gray16_image* png);
// True when the bytes after the header are the ':' block marker.
int heightfield_has_inline_samples(const uint8_t* bytes, size_t length);

// The height of the ground at (x, z) by the triangle rule; edge heights
// outside the grid; non-finite coordinates count as 0.
float terrain_height_at(const terrain* t, float x, float z);
// The same over pristine_heights.
float terrain_pristine_height_at(const terrain* t, float x, float z);
// The same over any grid of the record's layout (the editor's snapshot).
float terrain_grid_height_at(const terrain* t, const float* grid, float x, float z);
// The ground's mean height round (x, z) for cameras kept above it: samples
// within 10 ft weigh 1, fading to 0 one cell further out.
float terrain_height_smoothed(const terrain* t, float x, float z);
// Writes (-spacing dx, spacing^2, -spacing dz) of the triangle under (x, z)
// and returns the flat index of its corner on the right-angle corner's row.
int32_t terrain_normal_at(const terrain* t, float x, float z, float normal[3]);

// Marks the 128 x 128-cell blocks that cover the inclusive cell rectangle.
void terrain_mark_dirty(terrain* t, int32_t col0, int32_t row0, int32_t col1, int32_t row1);

// Digest of the samples as the file stores them (two bytes each, low first).
void heightfield_digest_samples(const uint16_t* samples, size_t count, uint8_t digest[20]);
