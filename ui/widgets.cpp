#include "ui/widgets.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "core/game_state.h"
#include "game/control_input.h"
#include "gfx/imm.h"
#include "gfx/text.h"
#include "gfx/ztgl.h"
#include "gfx/ztgl_queue.h"

const menu_colours menu_button_colours = {{0.5f, 0.5f, 0.5f, 0.25f}, {0.9f, 0.9f, 0.9f, 0.8f}};
const menu_colours menu_button_selected_colours = {{0.9f, 0.9f, 0.9f, 0.8f}, {0, 0, 0, 1}};
const menu_colours menu_label_colours = {{0, 0, 0, 0.25f}, {0.9f, 0.9f, 0.9f, 1}};
const menu_colours menu_list_odd_colours = {{0.2f, 0.2f, 0.2f, 0.25f}, {0.9f, 0.9f, 0.9f, 0.8f}};
const menu_colours menu_list_even_colours = {{0.3f, 0.3f, 0.3f, 0.25f}, {0.9f, 0.9f, 0.9f, 0.8f}};
const menu_colours menu_go_colours = {{0, 1, 0, 0.3f}, {0.9f, 0.9f, 0.9f, 0.8f}};
const menu_colours menu_go_selected_colours = {{0, 1, 0, 0.8f}, {0.9f, 0.9f, 0.9f, 1}};

int32_t menu_drawable_w = 640, menu_drawable_h = 480;
int32_t menu_quads_on = 1;
int32_t menu_flat_quads = 0;
char choice_typeahead[choice_typeahead_max + 1];
const menu_choice* choice_typeahead_owner;

namespace {

// Blended, untextured quads in one colour follow; blending stays on for
// the text drawn over them.
void quads_begin(float r, float g, float b, float a)
{
    // The flat program reads no texture, and its pass keeps blending on.
    if (!menu_flat_quads) {
        ztglBindTexture(GL_TEXTURE_2D, ztgl_state.white_texture);
        ztglEnable(GL_BLEND);
        ztglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    imm_color(r, g, b, a);
    imm_begin(IMM_QUADS);
}

void quad(float x0, float y0, float x1, float y1)
{
    imm_vertex2(x0, y0);
    imm_vertex2(x0, y1);
    imm_vertex2(x1, y1);
    imm_vertex2(x1, y0);
}

const menu_colours& button_colours(bool selected)
{
    return selected ? menu_button_selected_colours : menu_button_colours;
}

void text_at(const menu_colour& c, float x, const char* text)
{
    // Without text a moved origin draws nothing; left out, it leaves the
    // quads around it free to join one draw.
    if (!text_drawing_on) return;
    ztglPushMatrix();
    ztglTranslatef(x, 0, 0);
    draw_text(c.r, c.g, c.b, c.a, text);
    ztglPopMatrix();
}

// A text in a box at least `width` wide; returns the box's width.
float boxed_text(const char* text, const menu_colours& colours, float width, float align)
{
    float tw = text_width(text);
    float l = std::max(width, tw);
    menu_box(colours.box, 0, 1, l, 0);
    text_at(colours.text, (l - tw) * align, text);
    return l;
}

// The label part of a choice, slider or text field, `width` wide at least.
void label_part(const char* label, float width, float align)
{
    boxed_text(label ? label : "", menu_label_colours, width, align);
}

// A choice's or text field's line: records the rectangle, draws the label
// part and leaves the origin pushed at the value part.
void value_part_begin(const char* label, menu_rect* rect, const menu_pen* pen, float width, float align, float f)
{
    *rect = menu_rect_at(pen, width);
    label_part(label, width * f - menu_margin, align);
    ztglPushMatrix();
    ztglTranslatef(width * f + menu_margin, 0, 0);
}

int wrap(int i, int count)
{
    return i < 0 ? count - 1 : i >= count ? 0 : i;
}

bool typeahead_printable(uint32_t key)
{
    return key < 256 && (key == menu_code_space || (key > 32 && key != menu_code_delete && (key >= 160 || key < 128)));
}

}  // namespace

// ---- Projection and pen --------------------------------------------------------

menu_fit menu_fitted(float lines, float x, float y, float view_half_w, float view_half_h, int32_t drawable_w,
                     int32_t drawable_h)
{
    float w = view_half_w, h = view_half_h;
    menu_fit f{};
    if (w / h > 1.3333333333333333f) {
        // Wider than 4:3: full height, centred across.
        f.tx = -h * 4 / 3, f.ty = h, f.tz = -1;
        f.scale = 2 * h / lines;
        f.pen.x = (lines * 0.5f / h) * (w - 4.0f / 3.0f * h) + x;
        f.pen.y = y;
        f.pen.sx = float(drawable_h) / lines;
    } else {
        // 4:3 or narrower: full width, centred vertically.
        f.tx = -w, f.ty = 0.75f * w, f.tz = -1;
        f.scale = 1.5f * w / lines;
        f.pen.x = x;
        f.pen.y = y + (lines * (2.0f / 3.0f) / w) * (0.75f * w - h);
        f.pen.sx = 0.75f * float(drawable_w) / lines;
    }
    f.pen.sy = -f.pen.sx;
    return f;
}

void menu_begin_fitted(float lines, float x, float y, menu_pen* pen)
{
    menu_fit f = menu_fitted(lines, x, y, view_extent_w, view_extent_h, menu_drawable_w, menu_drawable_h);
    ztglPushMatrix();
    ztglLoadIdentity();
    ztglTranslatef(f.tx, f.ty, f.tz);
    ztglScalef(f.scale, f.scale, 1);
    ztglTranslatef(x, y, 0);
    *pen = f.pen;
}

void menu_begin(float lines)
{
    float h = view_extent_h, s = 2 * h / lines;
    ztglPushMatrix();
    ztglLoadIdentity();
    ztglTranslatef(-view_extent_w, h - s, -1);
    ztglScalef(s, s, 1);
}

void menu_end()
{
    ztglPopMatrix();
}

void menu_advance(menu_pen* pen, float dx, float dy)
{
    ztglTranslatef(dx, dy, 0);
    pen->x += dx;
    pen->y += dy;
}

menu_rect menu_rect_at(const menu_pen* pen, float width)
{
    return {int32_t(pen->x * pen->sx), int32_t((pen->y + 1) * pen->sy), int32_t((pen->x + width) * pen->sx),
            int32_t(pen->y * pen->sy)};
}

// ---- Drawing -----------------------------------------------------------------

void menu_fill_rect(float r, float g, float b, float a, float x0, float y0, float x1, float y1)
{
    if (!menu_quads_on) return;
    quads_begin(r, g, b, a);
    quad(x0, y0, x1, y1);
    imm_end();
}

void menu_fill_rect_coloured(const menu_colour& c, float x0, float y0, float x1, float y1)
{
    menu_fill_rect(c.r, c.g, c.b, c.a, x0, y0, x1, y1);
}

void menu_box(const menu_colour& c, float x0, float y0, float x1, float y1)
{
    // The four border strips and the whole enlarged box in one primitive.
    if (!menu_quads_on) return;
    const float m = menu_margin;
    quads_begin(c.r, c.g, c.b, c.a);
    quad(x0 - m, y0 + m, x1 + m, y0);
    quad(x0 - m, y1, x1 + m, y1 - m);
    quad(x0 - m, y0, x0, y1);
    quad(x1, y0, x1 + m, y1);
    quad(x0 - m, y0 + m, x1 + m, y1 - m);
    imm_end();
}

void menu_draw_label(const char* text, const menu_colours& colours, float width, float align)
{
    boxed_text(text, colours, width, align);
}

void menu_draw_label_item(menu_item* item, const menu_pen* pen, float width, float align,
                          const menu_colours& colours)
{
    item->rect = menu_rect_at(pen, width);
    boxed_text(item->label ? item->label : "", colours, width, align);
}

void menu_draw_item(menu_item* item, bool selected, const menu_pen* pen, float width, float align)
{
    menu_draw_label_item(item, pen, width, align, button_colours(selected));
}

void menu_draw_list_entry(menu_item* item, bool selected, const menu_pen* pen, float width, float align, int index)
{
    const menu_colours& c = selected ? menu_button_selected_colours
                            : index & 1 ? menu_list_odd_colours
                                        : menu_list_even_colours;
    menu_draw_label_item(item, pen, width, align, c);
}

void menu_choice_shown(const menu_choice* choice, char* out, int size)
{
    const char* value = menu_choice_text(choice);
    char cut[choice_shown_max + 1];
    snprintf(cut, sizeof cut, "%s", value);
    int at = choice_typeahead_owner == choice && choice_typeahead[0] ? choice_match(cut) : -1;
    if (at < 0) {
        snprintf(out, size_t(size), "%s", cut);
        return;
    }
    size_t n = strlen(choice_typeahead);
    snprintf(out, size_t(size), "%.*s\033[31m%s\033[0m%s", at, cut, choice_typeahead, cut + at + n);
}

void menu_draw_choice(menu_choice* choice, bool selected, const menu_pen* pen, float width, float align,
                      float label_fraction)
{
    value_part_begin(choice->label, &choice->rect, pen, width, align, label_fraction);
    char shown[choice_shown_max + choice_typeahead_max + 16];
    menu_choice_shown(choice, shown, sizeof shown);
    boxed_text(shown, button_colours(selected), width * (1 - label_fraction) - menu_margin, align);
    ztglPopMatrix();
}

void menu_draw_slider(menu_slider* slider, bool selected, const menu_pen* pen, float width, float align,
                      float label_fraction)
{
    const float m = menu_margin;
    char text[64];
    // The widest value the slider can show sets the value column, so that
    // the column does not jump as the value changes.
    menu_slider_format(text, sizeof text, std::max(slider->max, 1000.0));
    float reference = text_width(text);
    menu_slider_format(text, sizeof text, slider->value);
    double span = slider->max - slider->min;
    double fraction = span > 0 ? (slider->value - slider->min) / span : 0;
    fraction = fraction < 0 ? 0 : fraction > 1 ? 1 : fraction;
    slider->rect = menu_rect_at(pen, width);
    label_part(slider->label, width * label_fraction - reference - 3 * m, align);
    float value_x = width * label_fraction - reference - m;
    float value_w = text_width(text);
    float box_w = std::max(reference, value_w);
    ztglPushMatrix();
    ztglTranslatef(value_x, 0, 0);
    menu_box(menu_label_colours.box, 0, 1, box_w, 0);
    text_at(menu_label_colours.text, box_w - value_w, text);
    ztglPopMatrix();
    const menu_colours& c = button_colours(selected);
    float bar0 = width * label_fraction + m;
    menu_box(c.box, bar0, 1, width, 0);
    menu_fill_rect_coloured(c.text, bar0, 1, bar0 + (width - bar0) * float(fraction), 0);
    slider->bar_x0 = int32_t((pen->x + bar0) * pen->sx);
    slider->bar_x1 = int32_t((pen->x + width) * pen->sx);
}

void menu_draw_text(menu_text* field, bool selected, const menu_pen* pen, float width, float align,
                    float label_fraction)
{
    const float m = menu_margin;
    value_part_begin(field->label, &field->rect, pen, width, align, label_fraction);
    const menu_colours& c = button_colours(selected);
    float box_w = std::max((1 - label_fraction) * width - m, text_width(field->text) + text_width(" "));
    menu_box(c.box, 0, 1, box_w, 0);
    if (selected) menu_text_cursor(field, 0.5f, 0.5f, 0.5f, field->cursor);
    draw_text(c.text.r, c.text.g, c.text.b, c.text.a, field->text);
    ztglPopMatrix();
}

void menu_text_cursor(const menu_text* field, float r, float g, float b, int i)
{
    int len = int(strlen(field->text));
    if (i < 0 || i > len) return;
    char part[1024];
    snprintf(part, sizeof part, "%.*s", i, field->text);
    float x0 = text_width(part);
    char under[2] = {i < len ? field->text[i] : ' ', 0};
    float x1 = x0 + text_width(under);
    if (!menu_quads_on) return;
    ztglDisable(GL_BLEND);
    ztglBindTexture(GL_TEXTURE_2D, ztgl_state.white_texture);
    imm_color(r, g, b, 1);
    imm_begin(IMM_QUADS);
    quad(x0, 0, x1, 1);
    imm_end();
    ztglEnable(GL_BLEND);
}

// ---- Values ----------------------------------------------------------------------

int menu_choice_select(menu_choice* choice, const char* text)
{
    for (int i = 0; i < choice->count; i++)
        if (!strcmp(choice->choices[i], text)) {
            choice->selected = i;
            return 1;
        }
    return 0;
}

const char* menu_choice_text(const menu_choice* choice)
{
    if (choice->selected < 0 || choice->selected >= choice->count) return "";
    return choice->choices[choice->selected];
}

int menu_slider_parse(menu_slider* slider, const char* text)
{
    double v;
    char rest;
    // One number and nothing but blanks after it.
    if (sscanf(text, "%lf %c", &v, &rest) != 1 || !std::isfinite(v)) return 0;
    slider->value = v < slider->min ? slider->min : v > slider->max ? slider->max : v;
    return 1;
}

void menu_text_set(menu_text* field, const char* text)
{
    int n = 0;
    while (n < field->max_length && text[n]) n++;
    memcpy(field->text, text, size_t(n));
    field->text[n] = 0;
    if (field->cursor > n) field->cursor = n;
}

void menu_slider_format(char* out, int size, double number)
{
    snprintf(out, size_t(size), "%.2f", number);
}

// ---- Hit tests and keys ---------------------------------------------------------

void rect_clear(menu_rect* rect)
{
    *rect = {-1, -1, -1, -1};
}

bool rect_contains(const menu_rect* rect, int32_t x, int32_t y)
{
    return rect->x0 < x && x < rect->x1 && rect->y0 < y && y < rect->y1;
}

bool rect_contains_mouse(const menu_rect* rect)
{
    return rect_contains(rect, cursor_x, cursor_y);
}

int rect_list_hit(const menu_rect* const* list)
{
    for (int i = 0; list[i]; i++)
        if (rect_contains_mouse(list[i])) return i;
    return -1;
}

bool widget_activated(const menu_rect* rect, uint32_t key)
{
    if (key == menu_keys.enter || key == menu_keys.keypad_enter || key == menu_code_space) return true;
    return key == menu_keys.cursor_left && rect_contains_mouse(rect);
}

int choice_match(const char* text)
{
    int n = int(strlen(choice_typeahead)), t = int(strlen(text));
    for (int p = t - n; p >= 0; p--)
        if (!strncasecmp(text + p, choice_typeahead, size_t(n))) return p;
    return -1;
}

void menu_choice_key(menu_choice* choice, uint32_t key)
{
    // An empty list (a data root without paints) has nothing to select.
    if (choice->count <= 0) return;
    if (choice_typeahead_owner != choice) {
        choice_typeahead_owner = choice;
        choice_typeahead[0] = 0;
    }
    int count = choice->count;
    int selected = choice->selected >= 0 && choice->selected < count ? choice->selected : 0;
    if (key == menu_code_backspace) {
        choice_typeahead[0] = 0;
        return;
    }
    if (key == menu_code_tab) {
        for (int tries = 0, s = selected; tries < count; tries++) {
            s = (s + 1) % count;
            if (choice_match(choice->choices[s]) >= 0) {
                choice->selected = s;
                return;
            }
        }
        return;
    }
    if (typeahead_printable(key)) {
        size_t n = strlen(choice_typeahead);
        if (n >= size_t(choice_typeahead_max)) return;
        choice_typeahead[n] = char(key);
        choice_typeahead[n + 1] = 0;
        for (int tries = 0, s = selected; tries < count; tries++, s = (s + 1) % count)
            if (choice_match(choice->choices[s]) >= 0) {
                choice->selected = s;
                return;
            }
        choice_typeahead[n] = 0;
        return;
    }
    bool forward = key == menu_keys.enter || key == menu_keys.keypad_enter || key == menu_keys.right ||
                   (key == menu_keys.cursor_left && rect_contains_mouse(&choice->rect));
    if (forward) selected++;
    else if (key == menu_keys.left) selected--;
    else return;
    choice_typeahead[0] = 0;
    choice->selected = wrap(selected, count);
}

void menu_slider_key(menu_slider* slider, uint32_t key)
{
    double v;
    if (key == menu_keys.left) {
        v = slider->value - slider->step;
    } else if (key == menu_keys.right) {
        v = slider->value + slider->step;
    } else {
        if (key != menu_keys.cursor_left && key != menu_code_drag) return;
        if (!rect_contains_mouse(&slider->rect)) return;
        int32_t x = cursor_x;
        if (x < slider->bar_x0 - slider_grab_pixels || x > slider->bar_x1 + slider_grab_pixels) return;
        // A bar of no width (a tiny window) or a zero step has no grid to snap to.
        if (slider->bar_x1 <= slider->bar_x0 || !(slider->step > 0)) return;
        double along = double(x - slider->bar_x0) / double(slider->bar_x1 - slider->bar_x0);
        v = slider->min + slider->step * std::floor((slider->max - slider->min) * along / slider->step + 0.5);
    }
    slider->value = v < slider->min ? slider->min : v > slider->max ? slider->max : v;
}

void menu_text_key(menu_text* field, uint32_t key)
{
    char* t = field->text;
    int len = int(strlen(t));
    int cursor = std::clamp(field->cursor, 0, len);
    if (key == menu_keys.left || key == menu_keys.right) {
        field->cursor = std::clamp(cursor + (key == menu_keys.left ? -1 : 1), 0, len);
        return;
    }
    field->cursor = cursor;
    if (key == menu_code_backspace) {
        if (cursor > 0) {
            memmove(t + cursor - 1, t + cursor, size_t(len - cursor + 1));
            field->cursor = cursor - 1;
        }
        return;
    }
    if (key == menu_code_delete) {
        if (cursor < len) memmove(t + cursor, t + cursor + 1, size_t(len - cursor));
        return;
    }
    if (key > 255 || key < 32) return;
    if (cursor >= field->max_length) return;
    if (field->insert == 1) {
        // The tail moves right; when the text is full its last character falls off.
        int keep = std::min(len, field->max_length - 1);
        memmove(t + cursor + 1, t + cursor, size_t(keep - cursor));
        t[keep + 1] = 0;
    } else if (cursor == len) {
        t[len + 1] = 0;
    }
    t[cursor] = char(key);
    field->cursor = cursor + 1;
}
