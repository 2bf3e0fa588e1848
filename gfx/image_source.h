#pragma once
// A read cursor over an image file held in memory. The loaders read a whole
// file (plain or gzip member) into memory first, then every decoder works on
// this cursor, so the decoders need no file system and are easy to feed with
// hostile bytes.
#include <cstddef>
#include <cstdint>

struct image_source {
    const uint8_t* data;
    size_t size;
    size_t pos;
    const char* name;  // for messages; may be null
};

image_source image_source_make(const void* data, size_t size, const char* name);
// The first token (at most max_len - 1 characters) after white space; 0 at the end.
int image_source_token(image_source* src, char* out, int max_len);
// Skips white space and "#" comment lines, then reads a decimal integer; 0 when
// none is there or it does not fit in 31 bits.
int image_source_int(image_source* src, int* value);
// Skips white space only, then reads a decimal integer (text samples).
int image_source_sample(image_source* src, int* value);
// Exactly one byte (the separator after a header); 0 at the end.
int image_source_skip_byte(image_source* src);
size_t image_source_left(const image_source* src);
