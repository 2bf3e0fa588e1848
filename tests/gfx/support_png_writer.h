#pragma once
// A PNG writer written straight from the PNG format's definition with zlib
// alone (no libpng), so the decoder under test is checked against an
// independent encoder: every colour type and bit depth, palette and
// transparency chunks, Adam7 interlacing and text chunks on either side of
// the image data.
#include <cstdint>
#include <string>
#include <vector>

struct test_png {
    int width = 1, height = 1;
    int colour_type = 2;  // 0 grey, 2 RGB, 3 palette, 4 grey+alpha, 6 RGBA
    int depth = 8;
    bool interlaced = false;
    // Samples per pixel in channel order (palette: the index), unscaled.
    std::vector<uint16_t> samples;
    std::vector<uint8_t> palette;  // RGB triples
    std::vector<uint8_t> trns;     // the raw tRNS chunk body, empty for none
    std::vector<std::string> text_before, ztext_before, text_after, ztext_after;
};

std::vector<uint8_t> test_png_encode(const test_png& png);
// The chunk with the given type and body, with its length and CRC.
std::vector<uint8_t> test_png_chunk(const char* type, const std::vector<uint8_t>& body);
int test_png_channels(int colour_type);
