#pragma once
// PNG through libpng, on files held in memory. Every colour type and depth is
// read into 8-bit RGB or RGBA (4 bytes when the image has alpha or a
// transparency chunk); sides are limited to IMAGE_MAX_SIDE. The image's text
// is the text of every tEXt, zTXt and iTXt chunk, before and after the image
// data, joined in order.
#include <cstddef>
#include <cstdint>

// 1 with level 0 in a buffer that has room for the whole chain (chain not yet
// built) and the text (from the allocator, null when there is none); 0 with
// image_last_error set and nothing allocated.
int png_decode(const char* name, const void* data, size_t size, uint8_t** pixels, int* width, int* height,
               int* bytes_per_pixel, char** text);

// Turns a decoded level 0 into a chain as the image's text asks: "[mip_custom]"
// relays hand-drawn levels, "[mip_max_alpha]" keeps the largest alpha.
void png_build_chain(const char* name, const char* text, uint8_t** pixels, int* width, int* height,
                     int bytes_per_pixel);

// 16-bit grey samples in host order (any grey PNG; 8-bit samples are widened).
int png_decode_gray16(const char* name, const void* data, size_t size, uint16_t** samples, int* width,
                      int* height);

// Encoders: the whole file in a buffer from the allocator, null on failure.
// The RGB input runs bottom-up (as read back from the window), so the rows are
// flipped; the grey input runs top-down.
uint8_t* png_encode_rgb(const uint8_t* bottom_up_rgb, int width, int height, size_t* size);
uint8_t* png_encode_gray16(const uint16_t* samples, int width, int height, size_t* size);
// Test and generator helper: top-down RGB or RGBA (channels 3 or 4), with an
// optional tEXt chunk before the image data.
uint8_t* png_encode(const uint8_t* pixels, int width, int height, int channels, const char* text, size_t* size);
