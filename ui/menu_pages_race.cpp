// The pages that start races: New Race, Time Trial, the list chooser, the
// demo list, the series list and standings, and the series line-up.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/game_state.h"
#include "core/util.h"
#include "core/vfs.h"
#include "game/control_input.h"
#include "game/race_reset.h"
#include "game/series.h"
#include "game/startup.h"
#include "game/track_list.h"
#include "gfx/text.h"
#include "gfx/ztgl_queue.h"
#include "net/client.h"
#include "physics/setup.h"
#include "ui/console.h"
#include "ui/menu.h"
#include "ui/menu_pages.h"
#include "ui/settings.h"

menu_choice track_choice = {"Track", nullptr, 0, 0, {-1, -1, -1, -1}};

namespace {

constexpr int list_rows = 20;
const float list_entry_step = -(2 * menu_margin + 1);
// From the back button to "Prev Page": one standard line, so that "Next
// Page" ends above the build text in the window's bottom-right corner.
const float list_top_step = menu_line_step;

menu_item back_item[page_multiplayer + 1];
menu_item go_item = {"Start", {}};
menu_item time_trial_go = {"Start", {}};
menu_item chooser_cancel = {"Cancel", {}}, chooser_prev = {"Prev Page", {}}, chooser_next = {"Next Page", {}};
menu_item demos_prev = {"Prev Page", {}}, demos_next = {"Next Page", {}};
menu_item series_prev = {"Prev Page", {}}, series_next = {"Next Page", {}};
menu_item enter_event = {"Enter Next Event", {}}, practice_event = {"Practice Next Event", {}},
          reset_points = {"Reset Points", {}};

// A list page: 20 entries (null text when empty) and its page index.
struct list_page {
    menu_item rows[list_rows];
    int32_t page;
};
list_page chooser_list, demo_list, series_list;

// The chooser's opener, title, choice and pick routine.
int32_t chooser_opener;
const char* chooser_title = "";
menu_choice* chooser_choice;
void (*chooser_pick)(int);

// The demo list's shown names ("demos/" and ".ztdemo" left off).
char demo_labels[list_rows][128];
// The series picked on the series list.
int32_t selected_series;

const char* demo_file(int i)
{
    return i >= 0 && i < demo_count ? demo_names[i] : nullptr;
}

void fill_chooser()
{
    for (int i = 0; i < list_rows; i++) {
        int at = chooser_list.page * list_rows + i;
        chooser_list.rows[i].label = chooser_choice && at < chooser_choice->count ? chooser_choice->choices[at] : nullptr;
    }
}

void fill_demos()
{
    for (int i = 0; i < list_rows; i++) {
        const char* name = demo_file(demo_list.page * list_rows + i);
        demo_list.rows[i].label = nullptr;
        if (!name) continue;
        const char* base = strrchr(name, '/') ? strrchr(name, '/') + 1 : name;
        const char* dot = strrchr(base, '.');
        snprintf(demo_labels[i], sizeof demo_labels[i], "%.*s", int(dot ? dot - base : int(strlen(base))), base);
        demo_list.rows[i].label = demo_labels[i];
    }
}

void fill_series()
{
    series_list.page = std::min(series_list.page, list_last_page(series_count));
    for (int i = 0; i < list_rows; i++) {
        int at = series_list.page * list_rows + i;
        series_list.rows[i].label = at < series_count ? series_table[at].title : nullptr;
    }
}

// Draws a list page's 20 rows below the pen (an empty row's rectangle is
// cleared), entry style or button style.
void draw_list_rows(list_page* list, menu_pen* pen, int first_line, bool entries)
{
    menu_advance(pen, 0, -menu_margin);
    for (int i = 0; i < list_rows; i++) {
        menu_advance(pen, 0, list_entry_step);
        menu_item* row = &list->rows[i];
        if (!row->label) {
            rect_clear(&row->rect);
            continue;
        }
        if (entries) menu_draw_list_entry(row, line_selected(first_line + i), pen, menu_wide_width, 0, i);
        else menu_draw_item(row, line_selected(first_line + i), pen, menu_wide_width, 0);
    }
    menu_advance(pen, 0, -(3 * menu_margin + 1));
}

// Up/down over a list page: hidden lines (empty rows, and the paging lines
// when `hidden` says so) are skipped in the direction of travel.
void list_line_move(uint32_t key, int last, bool (*hidden)(int line))
{
    int dir = key == menu_keys.down ? 1 : key == menu_keys.up ? -1 : 0;
    if (!dir) return;
    int line = menu_line + dir;
    while (line > 0 && line < last && hidden(line)) line += dir;
    if (line < 0 || line > last || hidden(line)) return;
    menu_line = line;
}

// Previous or next list page of a list of count entries.
void list_turn(list_page* list, int count, int by, void (*fill)())
{
    list->page = std::clamp(list->page + by, 0, list_last_page(count));
    fill();
}

// ---- New Race ----------------------------------------------------------------

void new_race_draw()
{
    track_choice_sync();
    menu_pen pen;
    page_begin(&pen, "New Race", &back_item[page_new_race], "Back to Main Menu");
    menu_advance(&pen, 0, menu_line_step);
    menu_draw_label_item(&go_item, &pen, menu_item_width, 0, line_selected(1) ? menu_go_selected_colours : menu_go_colours);
    // The settings column starts right of the back button.
    menu_advance(&pen, 15.5f, -menu_line_step);
    // To the box's right edge, less the page's left inset on both sides and
    // the border band.
    const float width = 42.666668f - 15.5f - 2 * menu_page_left - menu_margin, f = 0.375f;
    menu_draw_choice(&track_choice, line_selected(2), &pen, width, 0, f);
    menu_advance(&pen, 0, menu_line_step);
    menu_draw_choice(&settings.record, line_selected(3), &pen, width, 0, f);
    menu_advance(&pen, 0, menu_line_step);
    menu_draw_choice(&settings.skill, line_selected(4), &pen, width, 0, f);
    menu_advance(&pen, 0, menu_line_step);
    menu_draw_slider(&settings.minutes, line_selected(5), &pen, width, 0, f);
    menu_advance(&pen, 0, menu_line_step);
    menu_draw_slider(&settings.laps, line_selected(6), &pen, width, 0, f);
    menu_end();
    // 1.5 units higher than flush with the bottom, clear of the build text.
    menu_begin_fitted(42, 4.6666665f, 1.375f * 20 - 41 + 1.5f, &pen);
    for (int gate = 0; gate < gate_slot_count; gate++) {
        if (gate == 20) menu_advance(&pen, 28, 27.5f);
        menu_advance(&pen, 0, menu_line_step);
        menu_draw_choice(&settings.slot[gate], line_selected(7 + gate), &pen, 18.666666f, 0, 0.33f);
    }
    menu_end();
}

void new_race_key(uint32_t code)
{
    line_move(code, 46);
    int line = menu_line;
    if (line == 0 && line_activated(&back_item[page_new_race].rect, code)) menu_open(page_main);
    else if (line == 1 && line_activated(&go_item.rect, code)) menu_start_race();
    else if (line == 2) choose_track_key(code);
    else if (line == 3) menu_choice_key(&settings.record, code);
    else if (line == 4) menu_choice_key(&settings.skill, code);
    else if (line == 5) menu_slider_key(&settings.minutes, code);
    else if (line == 6) menu_slider_key(&settings.laps, code);
    else if (line >= 7) menu_choice_key(&settings.slot[line - 7], code);
}

const menu_rect* new_race_rect(int line)
{
    if (line == 0) return &back_item[page_new_race].rect;
    if (line == 1) return &go_item.rect;
    if (line == 2) return &track_choice.rect;
    const menu_rect* fixed[] = {&settings.record.rect, &settings.skill.rect, &settings.minutes.rect,
                                &settings.laps.rect};
    if (line <= 6) return fixed[line - 3];
    return &settings.slot[line - 7].rect;
}

// ---- Time Trial ---------------------------------------------------------------

void time_trial_draw()
{
    track_choice_sync();
    menu_pen pen;
    page_begin(&pen, "Time Trial", &back_item[page_time_trial], "Back to Main Menu");
    menu_advance(&pen, 0, menu_line_step);
    menu_draw_label_item(&time_trial_go, &pen, menu_item_width, 0,
                         line_selected(1) ? menu_go_selected_colours : menu_go_colours);
    menu_advance(&pen, 0.33f, menu_line_step - 1);
    menu_draw_choice(&track_choice, line_selected(2), &pen, menu_wide_width, 0, 0.4f);
    menu_advance(&pen, 0, menu_line_step);
    menu_draw_slider(&settings.ghost_fade_distance, line_selected(3), &pen, menu_wide_width, 0, 0.4f);
    menu_advance(&pen, 0, menu_line_step);
    menu_draw_choice(&settings.time_trial_abort, line_selected(4), &pen, menu_wide_width, 0, 0.4f);
    menu_end();
}

void time_trial_key(uint32_t code)
{
    line_move(code, 4);
    int line = menu_line;
    if (line == 0 && line_activated(&back_item[page_time_trial].rect, code)) {
        menu_open(page_main);
    } else if (line == 1 && line_activated(&time_trial_go.rect, code)) {
        menu_network_reset();
        menu_page = page_none;
        reset_session(nullptr, 0, 0, 0, 1000, settings.skill.selected);
    } else if (line == 2) {
        choose_track_key(code);
    } else if (line == 3) {
        menu_slider_key(&settings.ghost_fade_distance, code);
    } else if (line == 4) {
        menu_choice_key(&settings.time_trial_abort, code);
    }
}

const menu_rect* time_trial_rect(int line)
{
    const menu_rect* rects[] = {&back_item[page_time_trial].rect, &time_trial_go.rect, &track_choice.rect,
                                &settings.ghost_fade_distance.rect, &settings.time_trial_abort.rect};
    return rects[line];
}

// ---- List chooser ----------------------------------------------------------------

void chooser_draw()
{
    menu_pen pen;
    page_begin(&pen, chooser_title, &chooser_cancel, "Cancel");
    menu_advance(&pen, 0.33f, list_top_step);
    menu_draw_item(&chooser_prev, line_selected(1), &pen, menu_wide_width, 0);
    draw_list_rows(&chooser_list, &pen, 2, true);
    menu_draw_item(&chooser_next, line_selected(22), &pen, menu_wide_width, 0);
    menu_end();
}

bool chooser_hidden(int line)
{
    return line >= 2 && line <= 21 && !chooser_list.rows[line - 2].label;
}

void chooser_key(uint32_t code)
{
    list_line_move(code, 22, chooser_hidden);
    int line = menu_line;
    int count = chooser_choice ? chooser_choice->count : 0;
    if (line == 0) {
        if (line_activated(&chooser_cancel.rect, code)) menu_open(chooser_opener);
    } else if (line == 1) {
        if (line_activated(&chooser_prev.rect, code)) list_turn(&chooser_list, count, -1, fill_chooser);
    } else if (line == 22) {
        if (line_activated(&chooser_next.rect, code)) list_turn(&chooser_list, count, 1, fill_chooser);
    } else if (!chooser_hidden(line) && line_activated(&chooser_list.rows[line - 2].rect, code)) {
        menu_open(chooser_opener);
        if (chooser_pick) chooser_pick(chooser_list.page * list_rows + line - 2);
    }
}

const menu_rect* chooser_rect(int line)
{
    if (line == 0) return &chooser_cancel.rect;
    if (line == 1) return &chooser_prev.rect;
    if (line == 22) return &chooser_next.rect;
    return chooser_hidden(line) ? nullptr : &chooser_list.rows[line - 2].rect;
}

// ---- Demo list -----------------------------------------------------------------------

void demos_draw()
{
    fill_demos();
    menu_pen pen;
    page_begin(&pen, "Playback Race", &back_item[page_demos], "Back to Main Menu");
    menu_advance(&pen, 21.993334f, 0);
    menu_draw_choice(&settings.playback_mode, line_selected(1), &pen, 20.333334f, 0, 0.5f);
    menu_advance(&pen, -21.663334f, list_top_step);
    menu_draw_item(&demos_prev, line_selected(2), &pen, menu_wide_width, 0);
    draw_list_rows(&demo_list, &pen, 3, true);
    menu_draw_item(&demos_next, line_selected(23), &pen, menu_wide_width, 0);
    menu_end();
}

bool demos_hidden(int line)
{
    return line >= 3 && line <= 22 && !demo_list.rows[line - 3].label;
}

// Plays demo i: alone, or with the player on the first Human gate.
void demo_start(int i)
{
    const char* file = demo_file(i);
    if (!file) return;
    int32_t kinds[menu_slot_kind_count] = {};
    int record = 0;
    if (settings.playback_mode.selected == 1) {
        int gate = 0;
        for (int k = gate_slot_count - 1; k >= 0; k--)
            if (settings.slot[k].selected == 1) gate = k;
        kinds[gate] = 1;
        if (strcmp(file, "demos/default.ztdemo") == 0) {
            if (settings.record.selected) console_print("Can't record and play from same file - recording disabled");
        } else {
            record = settings.record.selected;
        }
    }
    static char open_name[vfs_path_max + 1];
    snprintf(open_name, sizeof open_name, "@%s", file);
    options.file = open_name;
    menu_page = page_none;
    menu_network_reset();
    reset_session(kinds, 1, record, 0, 10, settings.skill.selected);
    options.file = nullptr;
}

void demos_key(uint32_t code)
{
    list_line_move(code, 23, demos_hidden);
    int line = menu_line;
    if (line == 0) {
        if (line_activated(&back_item[page_demos].rect, code)) menu_open(page_main);
    } else if (line == 1) {
        menu_choice_key(&settings.playback_mode, code);
    } else if (line == 2) {
        if (line_activated(&demos_prev.rect, code)) list_turn(&demo_list, demo_count, -1, fill_demos);
    } else if (line == 23) {
        if (line_activated(&demos_next.rect, code)) list_turn(&demo_list, demo_count, 1, fill_demos);
    } else if (!demos_hidden(line) && line_activated(&demo_list.rows[line - 3].rect, code)) {
        demo_start(demo_list.page * list_rows + line - 3);
    }
}

const menu_rect* demos_rect(int line)
{
    if (line == 0) return &back_item[page_demos].rect;
    if (line == 1) return &settings.playback_mode.rect;
    if (line == 2) return &demos_prev.rect;
    if (line == 23) return &demos_next.rect;
    return demos_hidden(line) ? nullptr : &demo_list.rows[line - 3].rect;
}

// ---- Series list ---------------------------------------------------------------------

bool series_on_last_page()
{
    return list_last_page(series_count) == series_list.page;
}

void series_list_draw()
{
    fill_series();
    menu_pen pen;
    page_begin(&pen, "Points Series", &back_item[page_series_list], "Back to Main Menu");
    menu_advance(&pen, 0.33f, list_top_step);
    if (series_list.page > 0) menu_draw_item(&series_prev, line_selected(1), &pen, menu_wide_width, 0);
    else rect_clear(&series_prev.rect);
    draw_list_rows(&series_list, &pen, 2, false);
    if (!series_on_last_page()) menu_draw_item(&series_next, line_selected(22), &pen, menu_wide_width, 0);
    else rect_clear(&series_next.rect);
    menu_end();
}

bool series_hidden(int line)
{
    if (line == 1) return series_list.page == 0;
    if (line == 22) return series_on_last_page();
    return line >= 2 && line <= 21 && !series_list.rows[line - 2].label;
}

void series_list_key(uint32_t code)
{
    fill_series();
    list_line_move(code, 22, series_hidden);
    int line = menu_line;
    if (line == 0) {
        if (line_activated(&back_item[page_series_list].rect, code)) menu_open(page_main);
    } else if (series_hidden(line)) {
        return;
    } else if (line == 1) {
        if (line_activated(&series_prev.rect, code)) list_turn(&series_list, series_count, -1, fill_series);
    } else if (line == 22) {
        if (line_activated(&series_next.rect, code)) list_turn(&series_list, series_count, 1, fill_series);
    } else if (line_activated(&series_list.rows[line - 2].rect, code)) {
        selected_series = series_list.page * list_rows + line - 2;
        menu_open(page_standings);
    }
}

const menu_rect* series_list_rect(int line)
{
    if (line == 0) return &back_item[page_series_list].rect;
    if (series_hidden(line)) return nullptr;
    if (line == 1) return &series_prev.rect;
    if (line == 22) return &series_next.rect;
    return &series_list.rows[line - 2].rect;
}

// ---- Series standings -------------------------------------------------------------------

points_series* picked_series()
{
    return selected_series >= 0 && selected_series < series_count ? &series_table[selected_series] : nullptr;
}

void standings_panel(const points_series* s)
{
    char text[1024];
    if (s->events_done < s->event_count) snprintf(text, sizeof text, "Next Event: %.900s", s->events[s->events_done].name);
    else snprintf(text, sizeof text, "%.900s Final Standings", s->title);
    int32_t order[rider_slot_count], totals[rider_slot_count];
    int rows = series_standings(s, order, totals);
    // What fits below the buttons at 2/3 scale.
    rows = std::min(rows, 26);
    int first_event = std::max(0, std::min(s->events_done, s->event_count) - 7);
    int columns = std::min(7, s->event_count - first_event);
    const float scale = 2.0f / 3;
    menu_fill_rect(0, 0, 0, 0.5f, 0, 1, 38, -(rows + 1) * scale - 0.5f);
    draw_text_shadowed(0.9f, 0.9f, 0.9f, 1, text);
    ztglPushMatrix();
    ztglTranslatef(0, -scale, 0);
    ztglScalef(scale, scale, 1);
    draw_text_centred(0.9f, 0.9f, 0.9f, 1, 0, 4, "No.");
    draw_text_centred(0.9f, 0.9f, 0.9f, 1, 4, 10, "Total");
    for (int c = 0; c < columns; c++) {
        snprintf(text, sizeof text, "Rd %d", first_event + c + 1);
        draw_text_centred(0.9f, 0.9f, 0.9f, 1, 10 + 7.5f * float(c), 17.5f + 7.5f * float(c), text);
    }
    for (int row = 0; row < rows; row++) {
        ztglTranslatef(0, -1, 0);
        int32_t k = order[row];
        if (row & 1) menu_fill_rect(1, 1, 1, 0.1f, 0, 0, 57, 1);
        bool player = k == s->lineup_size;
        float g = player ? 0.75f : 0.9f;
        if (player) snprintf(text, sizeof text, "%.7s", player_setup.number);
        else snprintf(text, sizeof text, "%d", s->numbers[k]);
        draw_text_centred(g, g, player ? 1 : 0.9f, 1, 0, 4, text);
        snprintf(text, sizeof text, "%d", totals[k]);
        draw_text_centred(g, g, player ? 1 : 0.9f, 1, 4, 10, text);
        for (int c = 0; c < columns; c++) {
            int e = first_event + c;
            if (e >= s->events_done) continue;
            snprintf(text, sizeof text, "%d (%d)", series_place_points(&s->events[e], k), s->events[e].places[k] + 1);
            draw_text_centred(g, g, player ? 1 : 0.9f, 1, 10 + 7.5f * float(c), 17.5f + 7.5f * float(c), text);
        }
    }
    ztglPopMatrix();
}

void standings_draw()
{
    points_series* s = picked_series();
    menu_pen pen;
    page_begin(&pen, s ? s->title : "", &back_item[page_standings], "Back to Points Series List");
    menu_advance(&pen, 0, menu_line_step);
    menu_draw_label_item(&enter_event, &pen, menu_item_width, 0,
                         line_selected(1) ? menu_go_selected_colours : menu_go_colours);
    menu_advance(&pen, 0, menu_line_step);
    menu_draw_item(&practice_event, line_selected(2), &pen, menu_item_width, 0);
    menu_advance(&pen, 0, menu_line_step);
    menu_draw_item(&reset_points, line_selected(3), &pen, menu_item_width, 0);
    if (s) {
        menu_advance(&pen, 2.333334f, -2);
        standings_panel(s);
    }
    menu_end();
}

void standings_key(uint32_t code)
{
    line_move(code, 3);
    points_series* s = picked_series();
    int line = menu_line;
    if (line == 0 && line_activated(&back_item[page_standings].rect, code)) {
        menu_open(page_series_list);
    } else if (line == 1 && s && line_activated(&enter_event.rect, code)) {
        if (running_series == selected_series) return;
        menu_page = page_none;
        int32_t event = s->events_done;
        if (series_event_start()) running_series = selected_series, running_event = event;
    } else if (line == 2 && s && line_activated(&practice_event.rect, code)) {
        menu_page = page_none;
        series_event_start();
    } else if (line == 3 && s && line_activated(&reset_points.rect, code)) {
        s->events_done = 0;
    }
}

const menu_rect* standings_rect(int line)
{
    const menu_rect* rects[] = {&back_item[page_standings].rect, &enter_event.rect, &practice_event.rect,
                                &reset_points.rect};
    return rects[line];
}

// Gate orders of later series events: the middle gates first for big
// fields, every second gate for small ones.
const int32_t big_field_gates[40] = {10, 9,  11, 8,  12, 7,  13, 6,  14, 5,  15, 4,  16, 3,
                                     17, 2,  18, 1,  19, 0,  20, 21, 22, 23, 24, 25, 26, 27,
                                     28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39};
const int32_t small_field_gates[15] = {6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30, 32, 34};

}  // namespace

const menu_page_entry new_race_page = {new_race_draw, new_race_key, new_race_rect, 46};
const menu_page_entry time_trial_page = {time_trial_draw, time_trial_key, time_trial_rect, 4};
const menu_page_entry chooser_page = {chooser_draw, chooser_key, chooser_rect, 22};
const menu_page_entry demos_page = {demos_draw, demos_key, demos_rect, 23};
const menu_page_entry series_list_page = {series_list_draw, series_list_key, series_list_rect, 22};
const menu_page_entry standings_page = {standings_draw, standings_key, standings_rect, 3};

// ---- Shared with the other pages ---------------------------------------------------

int list_last_page(int count)
{
    return std::max(0, (count + list_rows - 1) / list_rows - 1);
}

void list_chooser_open(const char* title, menu_choice* choice, void (*pick)(int index))
{
    chooser_opener = menu_page;
    chooser_title = title;
    chooser_choice = choice;
    chooser_pick = pick;
    chooser_list.page = 0;
    fill_chooser();
    menu_open(page_chooser);
}

void list_chooser_pick_choice(int index)
{
    if (!chooser_choice || index < 0 || index >= chooser_choice->count) return;
    chooser_choice->selected = index;
    if (chooser_choice == &track_choice) copy_bounded(settings.track, track_list.folders[index], sizeof settings.track);
}

void track_choice_sync()
{
    track_choice.choices = track_list.descriptions;
    track_choice.count = track_list.count;
    int i = track_list_find(settings.track);
    track_choice.selected = i >= 0 ? i : 0;
}

void choose_track_key(uint32_t key)
{
    track_choice_sync();
    if (key == menu_keys.enter || key == menu_keys.keypad_enter || key == menu_keys.cursor_left) {
        list_chooser_open("Choose Track", &track_choice, list_chooser_pick_choice);
        return;
    }
    menu_choice_key(&track_choice, key);
    if (track_choice.count > 0)
        copy_bounded(settings.track, track_list.folders[track_choice.selected], sizeof settings.track);
}

void menu_network_reset()
{
    if (net_connected()) net_send_disconnect();
    net_reset();
}

// ---- Starting races ------------------------------------------------------------------

void menu_slot_kinds(int32_t* kinds)
{
    for (int k = 0; k < menu_slot_kind_count; k++) kinds[k] = k < gate_slot_count ? settings.slot[k].selected : 0;
}

void menu_gates_rotate(int32_t* kinds, int32_t n)
{
    int32_t shift = ((n % gate_slot_count) + gate_slot_count) % gate_slot_count;
    int32_t before[gate_slot_count];
    std::copy(kinds, kinds + gate_slot_count, before);
    for (int k = 0; k < gate_slot_count; k++) kinds[(k + shift) % gate_slot_count] = before[k];
}

void menu_start_race()
{
    int32_t kinds[menu_slot_kind_count];
    menu_slot_kinds(kinds);
    menu_network_reset();
    auto time_limit = int32_t(settings.minutes.value * 60 / tic_length);
    reset_session(kinds, 0, settings.record.selected, time_limit, int32_t(settings.laps.value), settings.skill.selected);
    menu_page = page_none;
    // The next race's line-up: turned within the 40 gates the page shows.
    menu_gates_rotate(kinds, options.rotate_lineup);
    for (int k = 0; k < gate_slot_count; k++) settings.slot[k].selected = kinds[k];
}

int32_t series_gate(int32_t riders, int32_t j)
{
    if (riders > 14 && j < 40) return big_field_gates[j];
    if (riders <= 14 && j < 15) return small_field_gates[j];
    return j;
}

void series_lineup(int32_t n, const int32_t* ids, const int32_t* places, int32_t* kinds)
{
    std::fill(kinds, kinds + menu_slot_kind_count, 0);
    auto kind_of = [&](int32_t k) { return k < n ? 1000 + ids[k] : 1; };
    if (!places) {
        for (int32_t k = 0; k <= n; k++) kinds[k] = kind_of(k);
        return;
    }
    int32_t j = 0;
    for (int32_t key = n; key >= 0; key--)
        for (int32_t k = 0; k <= n; k++)
            if (std::clamp(places[k], 0, n) == key) kinds[series_gate(n, j++)] = kind_of(k);
}

int series_event_start()
{
    points_series* s = picked_series();
    if (!s || s->events_done >= s->event_count) return 0;
    int32_t kinds[menu_slot_kind_count];
    series_lineup(s->lineup_size, s->numbers, s->events_done > 0 ? s->events[s->events_done - 1].places : nullptr,
                  kinds);
    const series_event* e = &s->events[s->events_done];
    if (e->track_index >= 0 && e->track_index < track_list.count)
        copy_bounded(settings.track, track_list.folders[e->track_index], sizeof settings.track);
    menu_network_reset();
    reset_session(kinds, 0, settings.record.selected, int32_t(e->minutes * 60 / tic_length), e->laps, s->skill);
    return 1;
}

// Rows of entrants (the player is entrant n) by total points, most first;
// equal totals put the better place in the latest completed event first.
int series_standings(const points_series* s, int32_t* order, int32_t* totals)
{
    int32_t n = s->lineup_size;
    for (int32_t k = 0; k <= n; k++) {
        order[k] = k;
        totals[k] = 0;
        for (int32_t e = 0; e < s->events_done; e++) totals[k] += series_place_points(&s->events[e], k);
    }
    const series_event* latest = s->events_done > 0 ? &s->events[s->events_done - 1] : nullptr;
    // std::sort, which needs no buffer (no allocation in the frame); rows
    // equal in both keys keep list order.
    std::sort(order, order + n + 1, [&](int32_t a, int32_t b) {
        if (totals[a] != totals[b]) return totals[a] > totals[b];
        int32_t pa = latest ? latest->places[a] : 0, pb = latest ? latest->places[b] : 0;
        return pa != pb ? pa < pb : a < b;
    });
    return n + 1;
}
