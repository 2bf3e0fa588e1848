#pragma once
// Bitmap fonts (docs/font.md): the metrics of each glyph in text units (one
// line = 1) with its place in the atlas, and the layout of a string into
// glyph quads. Drawing and loading are in text.h.
#include <cstddef>
#include <cstdint>

struct font_glyph {
    float u0, v0, u1, v1;  // atlas texture coordinates, v0 at the glyph's top
    float x0, y0, x1, y1;  // quad relative to the pen, y = 0 the line's bottom
    float advance;
    int32_t present;
};

struct font {
    font_glyph glyphs[256];
    uint32_t texture;  // 0 until uploaded
};

enum font_index { FONT_MAIN = 0, FONT_BOLD = 1, FONT_MONO = 2, FONT_COUNT = 3 };

// Parses a metrics file held in memory; 1 on success, 0 with
// image_last_error naming the file.
int font_parse(const char* name, const char* text, size_t size, font* out);

// Width of a string in text units; escape sequences take no room. Codes
// without a glyph count as "?" (or nothing when the font has no "?").
float font_text_width(const font* f, const char* text);

// Calls quad once per visible glyph with the pen position of the glyph and
// whether the red escape is in force.
void font_layout(const font* f, const char* text, void (*quad)(void* context, const font_glyph* g, float pen, int red),
                 void* context);
