#pragma once
// The program's predictive images: "Q6" (RGB) and "Q7" (RGBA). A text header
// "Q6" or "Q7", width and height (comment lines allowed as in PPM), one
// separator byte, then one byte per channel per pixel, rows top to bottom:
// each byte is added modulo 256 to a prediction from the pixels already
// decoded (0 for the first pixel, the left pixel along the first row, the
// pixel above down the first column, else left + above - above-left clamped
// to 0..255).
#include <cstddef>
#include <cstdint>

#include "gfx/image_source.h"

// The magic has been read by the caller. 1 with a full chain in *pixels
// (RGB mean for Q6, alpha-weighted for Q7); 0 with image_last_error set.
int q6_read(const char* magic, image_source* src, uint8_t** pixels, int* width, int* height);
int q7_read(const char* magic, image_source* src, uint8_t** pixels, int* width, int* height);

// Reads width, height and the separator byte, then decodes into level 0 of a
// fresh chain of out_channels (3 or 4) per pixel; coded_channels (3 or 4)
// bytes per pixel come from the file. A 3-channel image decoded into 4
// channels is opaque. The chain is not built. 1 on success.
int q_decode(image_source* src, int coded_channels, int out_channels, uint8_t** pixels, int* width, int* height);

// The encoder (used by the data generator): the whole file, header included,
// in a buffer from the allocator.
uint8_t* q_encode(const uint8_t* pixels, int width, int height, int channels, size_t* size);
