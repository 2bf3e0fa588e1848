// The page machine: drawing and key dispatch, the main menu, the console
// page and the exit screen. The other pages live in the menu_pages_* files.
#include "ui/menu.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/game_state.h"
#include "game/control_input.h"
#include "game/startup.h"
#include "gfx/text.h"
#include "gfx/ztgl.h"
#include "gfx/ztgl_queue.h"
#include "terrain/terrain.h"
#include "ui/console.h"
#include "ui/loading.h"
#include "ui/menu_pages.h"

int32_t menu_settings_changed;
int32_t menu_lineup_rotation;
int32_t menu_draw_passes = 2;

namespace {

menu_item main_items[] = {
    {"New Race", {}},           {"Playback Race", {}},        {"Points Series", {}},
    {"Time Trial", {}},         {"Multiplayer", {}},          {"Bike Setup", {}},
    {"Graphics/Sound Setup", {}}, {"Customize Controls", {}}, {"Quit", {}},
};
constexpr int main_count = int(sizeof main_items / sizeof *main_items);
const int main_targets[main_count] = {page_new_race,    page_demos,    page_series_list,
                                      page_time_trial,  page_multiplayer, page_bike_setup,
                                      page_graphics,    page_controls, page_exit};

// The exit screen's notice lines.
const char* const exit_notice[] = {"Thanks for riding.", "Settings are saved when you exit."};

void main_draw()
{
    menu_page_background();
    menu_pen pen;
    menu_begin_fitted(32, menu_page_left, -4.5f, &pen);
    for (int i = 0; i < main_count; i++) {
        if (i) menu_advance(&pen, 0, menu_line_step);
        menu_draw_item(&main_items[i], line_selected(i), &pen, menu_item_width, 0);
    }
    menu_end();
    float alpha = menu_disclaimer_alpha(game_clock);
    if (alpha <= 0) return;
    menu_begin(40);
    float across = 40 * view_extent_w / view_extent_h;
    ztglTranslatef(0, -37, 0);
    draw_text_centred_shadowed(1, 1, 1, alpha, 0, across,
                               "Although this software depicts real objects and places, it is not");
    ztglTranslatef(0, -1, 0);
    draw_text_centred_shadowed(1, 1, 1, alpha, 0, across,
                               "endorsed by or affiliated with any of the subjects depicted.");
    menu_end();
}

void main_key(uint32_t code)
{
    line_move(code, main_count - 1);
    if (line_activated(&main_items[menu_line].rect, code)) menu_open(main_targets[menu_line]);
}

const menu_rect* main_rect(int line)
{
    return &main_items[line].rect;
}

const menu_page_entry main_page = {main_draw, main_key, main_rect, main_count - 1};

void console_page_draw()
{
    ztglPushMatrix();
    ztglTranslatef(0, 0, -1);
    menu_fill_rect(0, 0, 0, 0.75f, -view_extent_w, -view_extent_h, view_extent_w, view_extent_h);
    ztglPopMatrix();
    menu_pen pen;
    menu_begin_fitted(53, 0.67f, -1, &pen);
    for (int row = 0; row < console_page_rows; row++) {
        const char* line = console_page_row(row);
        if (line == console_scroll_marker) draw_text_centred_shadowed(0.75f, 0.75f, 0.75f, 1, 0, 70, line);
        else if (line) draw_text_shadowed(0.75f, 0.75f, 0.75f, 1, line);
        menu_advance(&pen, 0, -1);
    }
    menu_advance(&pen, -0.67f, -3 * menu_margin);
    menu_draw_text(&chat_line, menu_line == 0, &pen, 70.666664f, 1, 0.0094811320f);
    menu_end();
}

void console_page_key_rule(uint32_t code)
{
    if (!console_page_key(code, game_clock)) menu_text_key(&chat_line, code);
}

const menu_rect* console_rect(int line)
{
    return line == 0 ? &chat_line.rect : nullptr;
}

const menu_page_entry console_page = {console_page_draw, console_page_key_rule, console_rect, 0};

void exit_draw()
{
    menu_page_background();
    menu_pen pen;
    menu_begin_fitted(25, 16.666666f, -10, &pen);
    draw_text_centred_shadowed(1, 1, 1, 1, -12.5f, 12.5f, "Zentrik");
    for (const char* line : exit_notice) {
        ztglTranslatef(0, -1.5f, 0);
        draw_text_centred_shadowed(0.9f, 0.9f, 0.9f, 1, -12.5f, 12.5f, line);
    }
    ztglTranslatef(0, -1.5f, 0);
    draw_text_centred_shadowed(1, 1, 1, 1, -12.5f, 12.5f, "Press any key to exit or ESC to keep playing");
    // The editor's unsaved changes, blinking.
    if (options.editor && (track_terrain.change_flags & 2) && game_clock * 2 - std::floor(game_clock * 2) > 0.5) {
        ztglTranslatef(0, -1.5f, 0);
        draw_text_centred_shadowed(1, 0, 0, 1, -12.5f, 12.5f, "Track has been modified since last save!  Think about it!!!");
    }
    menu_end();
}

void exit_key(uint32_t code)
{
    // A drag is no key press: it must not end the program.
    if (code != menu_code_drag) quit_requested = 1;
}

const menu_rect* no_rect(int)
{
    return nullptr;
}

const menu_page_entry exit_page = {exit_draw, exit_key, no_rect, -1};

}  // namespace

// ---- Shared helpers -----------------------------------------------------------

void menu_open(int page)
{
    menu_page = page;
    menu_line = 0;
}

void page_begin(menu_pen* pen, const char* title, menu_item* back, const char* back_label)
{
    menu_page_background();
    menu_begin_fitted(32, menu_page_left, -1 - menu_margin, pen);
    menu_draw_label(title, menu_label_colours, menu_item_width, 0);
    menu_advance(pen, 0, -2);
    back->label = back_label;
    menu_draw_item(back, line_selected(0), pen, menu_item_width, 0);
}

bool line_selected(int line)
{
    return menu_line == line;
}

void line_move(uint32_t key, int last)
{
    if (key == menu_keys.down) menu_line = std::min(menu_line + 1, last);
    else if (key == menu_keys.up) menu_line = std::max(menu_line - 1, 0);
    menu_line = std::clamp(menu_line, 0, std::max(last, 0));
}

bool line_activated(const menu_rect* rect, uint32_t key)
{
    return widget_activated(rect, key);
}

const menu_page_entry* menu_page_for(int page)
{
    switch (page) {
    case page_main: return &main_page;
    case page_new_race: return &new_race_page;
    case page_chooser: return &chooser_page;
    case page_demos: return &demos_page;
    case page_series_list: return &series_list_page;
    case page_standings: return &standings_page;
    case page_time_trial: return &time_trial_page;
    case page_bike_setup: return &bike_setup_page;
    case page_suspension: return &suspension_page;
    case page_stability: return &stability_page;
    case page_controls: return &controls_page;
    case page_graphics: return &graphics_page;
    case page_advanced_graphics: return &advanced_graphics_page;
    case page_multiplayer: return &multiplayer_page;
    case page_console: return &console_page;
    case page_exit: return &exit_page;
    default: return nullptr;
    }
}

// ---- The surface ------------------------------------------------------------------

void menu_page_background()
{
    float w = view_extent_w, h = view_extent_h;
    ztglPushMatrix();
    ztglLoadIdentity();
    ztglTranslatef(0, 0, -1);
    menu_fill_rect(0.2f, 0.2f, 0.2f, 0.5f, -w, -h, w, h);
    ztglLoadIdentity();
    ztglTranslatef(w, -h, -1);
    ztglScalef(h / 16, h / 16, 1);
    draw_text_right_shadowed(0.75f, 0.75f, 0.75f, 1, 0, loading_build_text);
    ztglPopMatrix();
}

float menu_disclaimer_alpha(double clock)
{
    double a = 10 - clock;
    return float(a < 0 ? 0 : a > 1 ? 1 : a);
}

int menu_last_line(int page)
{
    const menu_page_entry* p = menu_page_for(page);
    return p ? p->last_line : -1;
}

void menu_draw()
{
    const menu_page_entry* p = menu_page_for(menu_page);
    if (!p) return;
    ztglMatrixMode(ZTGL_MODELVIEW);
    ztglPushMatrix();
    ztglLoadIdentity();
    ztglDisable(GL_DEPTH_TEST);
    ztglEnable(GL_BLEND);
    ztglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    // Customize Controls packs its lines closer than a line's border band:
    // each band covers the descenders of the line above, so it draws in
    // order.
    if (menu_draw_passes == 2 && menu_page != page_controls) {
        // The plain quads of the page first, all in the flat program, then
        // its text over them: the page's many shaded pixels skip the texture
        // read and the fog, and the texture changes but twice a frame. No
        // other page puts a quad over text drawn before it, so this is the
        // picture one pass gives.
        int32_t program = ztgl_state.slot;
        ztgl_use_program(ZTGL_FLAT);
        text_drawing_on = 0;
        menu_flat_quads = 1;
        p->draw();
        menu_flat_quads = 0;
        text_drawing_on = 1;
        ztgl_use_program(ZTGL_UNLIT);
        menu_quads_on = 0;
        p->draw();
        menu_quads_on = 1;
        ztgl_use_program(program);
    } else {
        p->draw();
    }
    ztglDisable(GL_BLEND);
    ztglEnable(GL_DEPTH_TEST);
    ztglPopMatrix();
}

void handle_menu_key(uint32_t code)
{
    if (const menu_page_entry* p = menu_page_for(menu_page)) p->key(code);
}

void menu_hover()
{
    const menu_page_entry* p = menu_page_for(menu_page);
    if (!p) return;
    for (int line = 0; line <= p->last_line; line++) {
        const menu_rect* r = p->line_rect(line);
        if (r && rect_contains_mouse(r)) {
            menu_line = line;
            return;
        }
    }
}
