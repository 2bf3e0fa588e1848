#pragma once
// The menu pages: a page machine over the widget records. menu_page names
// the open page (-1 none) and menu_line the selected line (core/game_state.h);
// menu_draw draws the open page over the view every frame and
// handle_menu_key moves between lines and pages.
#include <cstdint>

#include "ui/widgets.h"

// menu_page values.
enum menu_page_id : int32_t {
    page_none = -1,
    page_main = 0,
    page_new_race = 1,
    page_chooser = 2,
    page_demos = 3,
    page_series_list = 4,
    page_standings = 5,
    page_time_trial = 6,
    page_bike_setup = 7,
    page_suspension = 8,
    page_stability = 9,
    page_controls = 10,
    page_graphics = 11,
    page_advanced_graphics = 12,
    page_multiplayer = 13,
    page_console = 16,
    page_exit = 18,
};

// Draws the open page, nothing when none is open.
void menu_draw();
// 2 (the default): the page's quads, then its text; 1: all in drawing order
// (what the two passes must look like).
extern int32_t menu_draw_passes;
// One pressed key (or character, or the drag code 16) while a menu is open.
void handle_menu_key(uint32_t code);
// The mouse moved without the button held: the line under it is selected.
void menu_hover();
// The last line of a page (-1 for pages without lines).
int menu_last_line(int page);

// The whole window dimmed, with the build text in its bottom-right corner.
void menu_page_background();
// The disclaimer's alpha at a game clock (seconds): 1 until 9 s, 0 from 10 s.
float menu_disclaimer_alpha(double clock);

// Set when page 7 changes a text or choice; the settings file is written from it.
extern int32_t menu_settings_changed;
// The "--rotate-lineup" count applied after each New Race start.
extern int32_t menu_lineup_rotation;

// ---- Starting races (also for tests) ------------------------------------------

constexpr int menu_slot_kind_count = 160;  // what reset_session reads
// The New Race gates as slot kinds: entry k the selected index of gate k + 1;
// entries 40..159 Empty.
void menu_slot_kinds(int32_t* kinds);
// Turns the 40 gates' line-up by n places (any n): gate k's kind moves to
// gate (k + n) mod 40.
void menu_gates_rotate(int32_t* kinds, int32_t n);
// Starts the New Race page's race.
void menu_start_race();

// The gate a series entry takes when it is the j-th handed out, for a field
// of `riders` listed riders: the middle gates first for big fields, every
// second gate for small ones, then gate j from 40 on.
int32_t series_gate(int32_t riders, int32_t j);
// The slot kinds of a series event's line-up. places[k] is entrant k's
// 0-based place in the previous event (the player is entrant n), null for
// the first event; ids[k] the listed riders' numbers.
void series_lineup(int32_t n, const int32_t* ids, const int32_t* places, int32_t* kinds);
// Starts the selected series' next event; 0 when none remains.
int series_event_start();
struct points_series;
// The standings' rows: order[i] the entrant (the player is entrant n) on
// row i and totals[k] entrant k's points over the completed events; most
// points first, equal totals by the better place in the latest completed
// event. Returns n + 1.
int series_standings(const points_series* series, int32_t* order, int32_t* totals);
