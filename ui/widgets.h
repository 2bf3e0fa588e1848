#pragma once
// The menu widget records: each holds a setting and the hit rectangle its
// last drawing left. The settings file reads and writes the values here; the
// menu pages draw them and change them with keys.
#include <cstdint>

// Window pixels, y downwards; all -1 when not drawn this frame.
struct menu_rect {
    int32_t x0, y0, x1, y1;
};

struct menu_item {
    const char* label;
    menu_rect rect;
};

struct menu_choice {
    const char* label;
    const char* const* choices;
    int32_t count;
    int32_t selected;  // index into choices
    menu_rect rect;
};

struct menu_slider {
    const char* label;
    double value;
    double step;
    double min;
    double max;
    menu_rect rect;
    int32_t bar_x0, bar_x1;
};

struct menu_text {
    const char* label;
    int32_t max_length;  // characters, the terminator not counted
    char* text;          // max_length + 1 bytes
    int32_t cursor;
    int32_t insert;
    menu_rect rect;
};

// 1 and selects the first entry equal to text (exact, case-sensitive); 0 and
// unchanged when none is.
int menu_choice_select(menu_choice* choice, const char* text);
// The selected entry's text ("" when the selection is out of the list).
const char* menu_choice_text(const menu_choice* choice);
// 1 and the value read with "%f" clamped to [min, max]; 0 and unchanged
// unless the text is exactly one number (a non-finite one is refused too).
int menu_slider_parse(menu_slider* slider, const char* text);
// Copies at most max_length characters.
void menu_text_set(menu_text* field, const char* text);
