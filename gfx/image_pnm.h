#pragma once
// Netpbm images: PPM (P6 raw, P3 text) as RGB chains, PGM (P5 raw, P2 text) as
// plain grey bytes. Comment lines may precede every header field; maxval runs
// from 1 to 65535, with two big-endian bytes per raw sample above 255.
#include <cstdint>

#include "gfx/image_source.h"

// The magic ("P6" or "P3") has been read by the caller. 1 with a full RGB
// chain in *pixels; 0 with image_last_error set.
int ppm_read(const char* magic, image_source* src, uint8_t** pixels, int* width, int* height);
// Reads the whole file: magic "P5" or "P2"; 1 with width x height grey bytes.
int pgm_decode(image_source* src, uint8_t** pixels, int* width, int* height);
