#pragma once
// What the menu's page files share: the page layout helpers and each page's
// drawing, keys and line rectangles. Only the menu's own files include it.
#include <cstdint>

#include "ui/widgets.h"

// The standard line step of a page.
constexpr float menu_line_step = -(3 * menu_margin + 1);
// The width of the wide lines of a page: 42.666668 less the margins.
constexpr float menu_wide_width = 41.99667f;

// The pages' left edge: one margin in, so that the boxes' border bands stay
// on the window.
constexpr float menu_page_left = menu_margin;

// Opens a page (line 0).
void menu_open(int page);
// A titled page's start: background, the fitted 32-line projection, the
// title and the back button (line 0), whose label is set here. The pen is
// left at the back button.
void page_begin(menu_pen* pen, const char* title, menu_item* back, const char* back_label);
// A widget drawn on line `line` is selected when menu_line is it.
bool line_selected(int line);
// Up/down on a page whose every line is shown: no wrap.
void line_move(uint32_t key, int last);
// Activation of line `line` (its rectangle rect).
bool line_activated(const menu_rect* rect, uint32_t key);

// Each page: drawing, keys and the rectangle of a line (null when none).
struct menu_page_entry {
    void (*draw)();
    void (*key)(uint32_t code);
    const menu_rect* (*line_rect)(int line);
    int32_t last_line;
};
// The entry of a page, null for values without one.
const menu_page_entry* menu_page_for(int page);

// The pages in each file.
extern const menu_page_entry new_race_page, chooser_page, demos_page, series_list_page, standings_page,
    time_trial_page;
extern const menu_page_entry bike_setup_page, suspension_page, stability_page, controls_page;
extern const menu_page_entry graphics_page, advanced_graphics_page, multiplayer_page;

// The list chooser over a choice: opens page 2 titled `title`; pick is
// called with the picked entry's index.
void list_chooser_open(const char* title, menu_choice* choice, void (*pick)(int index));
void list_chooser_pick_choice(int index);
// The chooser's list page for a count of entries: never below 0.
int list_last_page(int count);

// The "Track" choice of New Race and Time Trial, kept in step with the
// settings' track folder; choose_track_key is its line's key rule.
extern menu_choice track_choice;
void track_choice_sync();
void choose_track_key(uint32_t key);
// Disconnects when connected and resets the network client.
void menu_network_reset();
