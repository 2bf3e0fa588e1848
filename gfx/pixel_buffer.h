#pragma once
// Pixel buffers: level 0 (rows top to bottom, 3 or 4 bytes per pixel, no row
// gaps) followed directly by every smaller level down to 1x1, each level
// max(1, w/2) x max(1, h/2) of the one before. One allocation, freed with
// alloc_check_free. Everything here is pure: the GL upload lives in texture.h.
#include <cstddef>
#include <cstdint>

// Texture flags.
enum : uint32_t {
    TEXTURE_REPEAT_S = 1,
    TEXTURE_REPEAT_T = 2,
    TEXTURE_COMPRESSED = 4,
    TEXTURE_NO_MIPS = 8,
};

// Flag of the RGBA reduction: alpha is the largest of the block, not the mean.
enum : uint32_t { MIP_MAX_ALPHA = 1 };

// The largest side any image reader accepts; keeps w x h x 4 x 4/3 in range.
constexpr int IMAGE_MAX_SIDE = 16384;

size_t mip_chain_bytes(int width, int height, int bytes_per_pixel);
// A buffer with room for the whole chain (ends the program when out of memory).
uint8_t* pixel_buffer_alloc(int width, int height, int bytes_per_pixel);
// The start of a level and its size; level 0 is the buffer itself.
uint8_t* mip_level(uint8_t* pixels, int width, int height, int bytes_per_pixel, int level, int* level_width,
                   int* level_height);
// Number of levels in a full chain (1 for 1x1).
int mip_level_count(int width, int height);

// One reduction step: reads the level at pixels, writes the next right behind it.
void mip_reduce_mean(uint8_t* pixels, int width, int height, int channels);
void mip_reduce_rgb(uint8_t* pixels, int width, int height);
void mip_reduce_rgba(uint8_t* pixels, int width, int height, uint32_t flags);

// Fills every level after level 0 in place.
void mip_chain_build(uint8_t* pixels, int width, int height, int bytes_per_pixel);
void mip_chain_build_rgb(uint8_t* pixels, int width, int height);
void mip_chain_build_rgba(uint8_t* pixels, int width, int height, uint32_t flags);

bool is_power_of_two(int v);
// Largest power of two strictly below v (1 for v <= 2), and not above v.
int pot_strictly_below(int v);
int pot_not_above(int v);
// A new full-chain buffer of new_w x new_h sampled by nearest pixel from level 0.
uint8_t* image_resample_nearest(const uint8_t* pixels, int width, int height, int bytes_per_pixel, int new_w,
                                int new_h);

// The size policy's choice for a power-of-two chain: the level to upload from,
// and whether the detail test dropped any level (which the policy reports).
struct fitted_choice {
    int level;
    int width, height;
    int dropped_by_detail;
};
fitted_choice texture_fit_choose(uint8_t* pixels, int width, int height, int bytes_per_pixel, int drop_levels);

// Makes an in-memory image power-of-two sized and drops top levels while the
// drop count lasts or a level exceeds max_pixels, never below 16385 pixels.
// Replaces *pixels (the old buffer is freed) when anything changed.
void image_fit_pot(uint8_t** pixels, int* width, int* height, int bytes_per_pixel, int max_pixels, int drop_levels);

// Turns an image holding its own hand-drawn levels (level 0 on top, smaller
// levels below it in columns) into a chain. 1 on success (the source is freed
// and replaced); 0 with a warning and the buffer unchanged when the layout
// cannot hold the levels.
int mip_custom_relayout(const char* name, uint8_t** pixels, int* width, int* height, int bytes_per_pixel);

// The border colour of a texture: the fullest bin of a 512-bin histogram of the
// edge pixels of an RGB level 0; all zero for other formats.
void texture_border_colour(const uint8_t* pixels, int width, int height, int bytes_per_pixel, float out[4]);
