#pragma once
// The number-plate image: up to three characters of the rider's number (digits;
// anything else is left blank) in the digit colour, centred on a plate of the
// background colour with a thin border in the digit colour. Drawn on the CPU
// from a built-in 8x12 digit face scaled four times, 128x64 pixels, RGB with
// its full chain. number_plate_texture (texture.h) uploads it.
#include <cstdint>

constexpr int NUMBER_PLATE_WIDTH = 128;
constexpr int NUMBER_PLATE_HEIGHT = 64;

// A fresh pixel buffer (free with alloc_check_free).
uint8_t* number_plate_build(const char* number, const uint8_t background[3], const uint8_t digit[3]);
