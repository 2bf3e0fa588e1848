#pragma once
// Text drawing with the three bitmap fonts (docs/font.md). Text units: one
// line is 1; the string starts at the current origin with the line's bottom
// at y = 0. "\033[31m" switches to red, "\033[0m" back to the given colour.
// Drawing goes through the immediate-mode batch with the current program.
#include "gfx/font.h"

extern font fonts[FONT_COUNT];

// Reads the metrics and atlases of the three fonts; 1 when all loaded.
int load_fonts();
void free_fonts();

float text_width(const char* text);
void draw_text(float r, float g, float b, float a, const char* text);
// 0 while a caller lays out a screen without its text (the text follows in a
// second pass); 1 otherwise.
extern int32_t text_drawing_on;
void draw_text_white(const char* text);
void draw_text_shadowed(float r, float g, float b, float a, const char* text);
void draw_text_centred(float r, float g, float b, float a, float x0, float x1, const char* text);
void draw_text_centred_shadowed(float r, float g, float b, float a, float x0, float x1, const char* text);
void draw_text_right_shadowed(float r, float g, float b, float a, float x, const char* text);
// Any font, at an offset from the current origin.
void draw_text_font(const font* f, float x, float y, float r, float g, float b, float a, const char* text);
