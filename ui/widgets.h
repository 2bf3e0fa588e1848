#pragma once
// The menu widget kit. Menus are immediate mode: every frame the open page
// walks its lines from top to bottom, moving a pen and drawing each widget at
// it. The widget records are static: each holds a setting and the hit
// rectangle its last drawing left, which the key rules then test. The
// settings file reads and writes the values here.
//
// Units: one menu unit is one text line high; x grows to the right, y
// upwards, and a widget fills the band from the pen's y to y + 1.
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
    int32_t bar_x0, bar_x1;  // pixel x of the bar's ends, written by drawing
};

struct menu_text {
    const char* label;
    int32_t max_length;  // characters, the terminator not counted
    char* text;          // max_length + 1 bytes
    int32_t cursor;
    int32_t insert;      // 1 insert mode, anything else overwrite
    menu_rect rect;
};

// The pen: position in units from the window's top-left corner (y negative
// downwards) and pixels per unit (sy negated), for the hit rectangles.
struct menu_pen {
    float x, y, sx, sy;
};

struct menu_colour {
    float r, g, b, a;
};
// A widget's box and text colours.
struct menu_colours {
    menu_colour box, text;
};
extern const menu_colours menu_button_colours, menu_button_selected_colours, menu_label_colours,
    menu_list_odd_colours, menu_list_even_colours, menu_go_colours, menu_go_selected_colours;

constexpr float menu_margin = 0.125f;
constexpr float menu_item_width = 15;
constexpr int32_t slider_grab_pixels = 15;   // a click this far past a bar's end still lands on it
constexpr int32_t choice_typeahead_max = 255;
constexpr int32_t choice_shown_max = 1023;

// Character codes the widgets read besides the named menu keys.
constexpr uint32_t menu_code_backspace = 8;
constexpr uint32_t menu_code_tab = 9;
constexpr uint32_t menu_code_space = 32;
constexpr uint32_t menu_code_delete = 127;
// Sent by the main loop when the mouse moves with the left button held.
constexpr uint32_t menu_code_drag = 16;

// ---- Projection and pen --------------------------------------------------------

// The drawable size in pixels of the frame being drawn (the main loop sets it).
extern int32_t menu_drawable_w, menu_drawable_h;
// 0 while the page's text is drawn on its own, over quads drawn before.
extern int32_t menu_quads_on;
// 1 while the page's quads are drawn on their own in the flat program, with
// blending on: each quad then takes only its colour, so quads that follow
// one another under the same matrix go to GL as one draw.
extern int32_t menu_flat_quads;

// The fitted projection of a page `lines` units tall: a 4:3 box inside the
// overlay space (half extents view_half_w, view_half_h), full height when the
// view is wider than 4:3, else full width. Translation and scale of the box's
// top-left corner, and the pen at (x, y) from the window's top-left corner.
struct menu_fit {
    float tx, ty, tz, scale;
    menu_pen pen;
};
menu_fit menu_fitted(float lines, float x, float y, float view_half_w, float view_half_h, int32_t drawable_w,
                     int32_t drawable_h);
// Pushes the matrix and sets up menu_fitted over the frame's view, translated to (x, y).
void menu_begin_fitted(float lines, float x, float y, menu_pen* pen);
// Pushes a plain full-window projection `lines` units tall, origin one unit
// below the top-left corner.
void menu_begin(float lines);
void menu_end();
// Moves the drawing origin and the pen together.
void menu_advance(menu_pen* pen, float dx, float dy);
// The rectangle a widget `width` units wide at the pen covers.
menu_rect menu_rect_at(const menu_pen* pen, float width);

// ---- Drawing (at the current origin, the line's band 0..1) ---------------------

// One blended quad; blending is left on for the text drawn after it.
void menu_fill_rect(float r, float g, float b, float a, float x0, float y0, float x1, float y1);
void menu_fill_rect_coloured(const menu_colour& c, float x0, float y0, float x1, float y1);
// A box whose border band of menu_margin shows at double opacity.
void menu_box(const menu_colour& c, float x0, float y0, float x1, float y1);
// Align: 0 text at the left of its box, 0.5 centred, 1 right.
void menu_draw_label(const char* text, const menu_colours& colours, float width, float align);
void menu_draw_label_item(menu_item* item, const menu_pen* pen, float width, float align,
                          const menu_colours& colours);
void menu_draw_item(menu_item* item, bool selected, const menu_pen* pen, float width, float align);
// The index's parity picks the grey.
void menu_draw_list_entry(menu_item* item, bool selected, const menu_pen* pen, float width, float align, int index);
// label_fraction: the share of the width given to the label.
void menu_draw_choice(menu_choice* choice, bool selected, const menu_pen* pen, float width, float align,
                      float label_fraction);
void menu_draw_slider(menu_slider* slider, bool selected, const menu_pen* pen, float width, float align,
                      float label_fraction);
void menu_draw_text(menu_text* field, bool selected, const menu_pen* pen, float width, float align,
                    float label_fraction);
// The cursor block under character i (a space's width at the end).
void menu_text_cursor(const menu_text* field, float r, float g, float b, int i);

// The choice's shown value into out: the selected entry cut at 1023
// characters, with the type-ahead letters marked red when this choice owns
// a non-empty buffer that matches. "" for an empty list.
void menu_choice_shown(const menu_choice* choice, char* out, int size);

// ---- Values ----------------------------------------------------------------

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
// "%.2f" of number.
void menu_slider_format(char* out, int size, double number);

// ---- Hit tests and keys ----------------------------------------------------------

void rect_clear(menu_rect* rect);
// Strictly inside on all four sides.
bool rect_contains(const menu_rect* rect, int32_t x, int32_t y);
// rect_contains at the cursor axes.
bool rect_contains_mouse(const menu_rect* rect);
// Index of the first rectangle of the null-terminated list holding the mouse; -1 if none.
int rect_list_hit(const menu_rect* const* list);
// "enter", "keypad enter" or space, or "cursor-left" inside the rectangle.
bool widget_activated(const menu_rect* rect, uint32_t key);

// The type-ahead buffer and the choice that owns it.
extern char choice_typeahead[choice_typeahead_max + 1];
extern const menu_choice* choice_typeahead_owner;
// Position in text of the rightmost case-insensitive match of the buffer;
// -1 when none. An empty buffer matches at the text's end.
int choice_match(const char* text);

// The key rules of each kind; an empty choice list ignores every key.
void menu_choice_key(menu_choice* choice, uint32_t key);
void menu_slider_key(menu_slider* slider, uint32_t key);
void menu_text_key(menu_text* field, uint32_t key);
