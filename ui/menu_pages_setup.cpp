// The bike pages: Bike Setup, Suspension and Gearing, Advanced Stability
// Setup, and Customize Controls. The bike values live in player_setup; the
// widget records here mirror them for drawing and keys.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/game_state.h"
#include "game/control_input.h"
#include "game/race_reset.h"
#include "gfx/text.h"
#include "gfx/ztgl_queue.h"
#include "physics/bike_info.h"
#include "physics/paint_lists.h"
#include "physics/rider.h"
#include "physics/setup.h"
#include "ui/bindings.h"
#include "ui/menu.h"
#include "ui/menu_pages.h"

namespace {

// A slider line over a number of the setup, with its derived text (null
// for none) from the bike's row and the value.
using derived_text = void (*)(const bike_info* row, double value, char* out, int size);
struct setup_slider_line {
    const char* label;
    double bike_setup::*field;
    double min, max, step;
    derived_text derived;
};

// The setup conversions take the slider as a fraction 0..1.
void fork_spring(const bike_info* r, double v, char* out, int size)
{
    snprintf(out, size_t(size), "%.3f kg/mm", double(settings_fork_spring_rate(r, float(v * 0.01))));
}
void fork_preload(const bike_info* r, double v, char* out, int size)
{
    snprintf(out, size_t(size), "%.2f mm", double(settings_fork_preload(r, float(v * 0.01))));
}
void fork_oil(const bike_info* r, double v, char* out, int size)
{
    snprintf(out, size_t(size), "%.2f mm", double(settings_fork_oil_level(r, float(v * 0.01))));
}
void shock_spring(const bike_info* r, double v, char* out, int size)
{
    snprintf(out, size_t(size), "%.2f kg/mm", double(settings_shock_spring_rate(r, float(v * 0.01))));
}
void shock_preload(const bike_info* r, double v, char* out, int size)
{
    snprintf(out, size_t(size), "%.2f mm", double(settings_shock_preload(r, float(v * 0.01))));
}
void front_teeth(const bike_info* r, double v, char* out, int size)
{
    snprintf(out, size_t(size), "%.2f teeth", double(settings_front_sprocket(r)) + v);
}
void rear_teeth(const bike_info* r, double v, char* out, int size)
{
    snprintf(out, size_t(size), "%.2f teeth", double(settings_rear_sprocket(r)) + v);
}

const setup_slider_line bike_lines[] = {
    {"Stability", &bike_setup::stability, 0, 100, 1, nullptr},
    {"Auto Clutch RPMs", &bike_setup::auto_clutch_rpms, 0, 5000, 100, nullptr},
    {"Braking Torque (Front)", &bike_setup::brake_torque, 0, 500, 10, nullptr},
    {"Braking Torque (Rear)", &bike_setup::rear_brake_torque, 0, 500, 10, nullptr},
    {"Max Dab Speed (MPH)", &bike_setup::max_dab_speed, 5, 60, 1, nullptr},
};

const setup_slider_line suspension_lines[] = {
    {"Fork High Speed Compression Damping", &bike_setup::fork_compression_adjustment, 0, 100, 1, nullptr},
    {"Fork Low Speed Compression Damping", &bike_setup::fork_slow_compression_adjustment, 0, 100, 1, nullptr},
    {"Fork High Speed Rebound Damping", &bike_setup::fork_rebound_adjustment, 0, 100, 1, nullptr},
    {"Fork Low Speed Rebound Damping", &bike_setup::fork_slow_rebound_adjustment, 0, 100, 1, nullptr},
    {"Fork Spring Rate", &bike_setup::fork_spring_rate_adjustment, 0, 100, 1, fork_spring},
    {"Fork Preload", &bike_setup::fork_preload_adjustment, 0, 100, 1, fork_preload},
    {"Fork Oil Level", &bike_setup::fork_oil_level_adjustment, 0, 100, 1, fork_oil},
    {"Shock High Speed Compression Damping", &bike_setup::shock_compression_adjustment, 0, 100, 1, nullptr},
    {"Shock Low Speed Compression Damping", &bike_setup::shock_slow_compression_adjustment, 0, 100, 1, nullptr},
    {"Shock High Speed Rebound Damping", &bike_setup::shock_rebound_adjustment, 0, 100, 1, nullptr},
    {"Shock Low Speed Rebound Damping", &bike_setup::shock_slow_rebound_adjustment, 0, 100, 1, nullptr},
    {"Shock Spring Rate", &bike_setup::shock_spring_rate_adjustment, 0, 100, 1, shock_spring},
    {"Shock Preload", &bike_setup::shock_preload_adjustment, 0, 100, 1, shock_preload},
    {"Countershaft Sprocket", &bike_setup::front_sprocket_adjustment, -2, 2, 1, front_teeth},
    {"Rear Sprocket", &bike_setup::rear_sprocket_adjustment, -2, 2, 1, rear_teeth},
    {"Rider Vertical Spring", &bike_setup::rider_yspring, 0, 100, 1, nullptr},
    {"Rider Vertical Damping", &bike_setup::rider_ydamping, 0, 100, 1, nullptr},
    {"Rider Forward Spring", &bike_setup::rider_zspring, 0, 100, 1, nullptr},
    {"Rider Forward Damping", &bike_setup::rider_zdamping, 0, 100, 1, nullptr},
    {"Rider Mass Distribution", &bike_setup::rider_mass_distribution, 0.33, 0.5, 0.01, nullptr},
};

const setup_slider_line stability_lines[] = {
    {"Restricted Lock Angle", &bike_setup::restricted_lock, 0, 45, 0.125, nullptr},
    {"Restricted Lock Speed", &bike_setup::restricted_lock_speed, 1, 100, 1, nullptr},
    {"Full Lock Speed", &bike_setup::full_lock_speed, 1, 100, 1, nullptr},
    {"Landing Damping Factor", &bike_setup::land_damping_factor, 1, 3, 0.25, nullptr},
    {"Landing Damping Falloff", &bike_setup::land_damping_falloff, 0, 0.5, 0.0625, nullptr},
    {"Landing Damping Ramp Up", &bike_setup::land_damping_rampup, 0, 0.5, 0.0078125, nullptr},
    {"Slow Damping Factor", &bike_setup::slow_damping_factor, 1, 10, 0.25, nullptr},
    {"Slow Damping Speed", &bike_setup::slow_damping_speed, 0, 100, 1, nullptr},
    {"Direct Steering", &bike_setup::direct_steering, 0, 1, 0.125, nullptr},
    {"Max Steering Force", &bike_setup::max_steering_force, 0, 1000, 5, nullptr},
    {"Steering Strength", &bike_setup::steering_strength, 0, 100, 1, nullptr},
    {"Steering Damping", &bike_setup::steering_damping, 0, 100, 1, nullptr},
    {"Roll Limit Factor", &bike_setup::roll_limit_factor, 0, 64, 1, nullptr},
    {"Roll Limit Angle", &bike_setup::roll_limit_angle, 0, 180, 1, nullptr},
    {"Roll Damping", &bike_setup::roll_damping, 0, 100, 1, nullptr},
    {"Leveling", &bike_setup::leveling, 0, 100, 1, nullptr},
};

constexpr int bike_slider_count = int(sizeof bike_lines / sizeof *bike_lines);
constexpr int suspension_count = int(sizeof suspension_lines / sizeof *suspension_lines);
constexpr int stability_count = int(sizeof stability_lines / sizeof *stability_lines);

// The ten riding choices of page 7 (lines 15..24): label, setup key, field,
// and whether a change is pushed into the rider.
struct setup_choice_line {
    const char* label;
    const char* key;
    int32_t bike_setup::*field;
    bool applies;
};
const setup_choice_line riding_lines[] = {
    {"Arcade Physics", "arcade", &bike_setup::arcade, true},
    {"Front Brake", "front_brake", &bike_setup::front_brake, true},
    {"Rear Brake", "rear_brake", &bike_setup::rear_brake, true},
    {"Stop Wheelies", "stop_wheelies", &bike_setup::stop_wheelies, true},
    {"Automatic Shifting", "auto_shift", &bike_setup::auto_shift, true},
    {"Dab When Stopped", "auto_dab", &bike_setup::auto_dab, true},
    {"Sticky Sit/Dab", "sticky_dab", &bike_setup::sticky_dab, false},
    {"Realign After Fall", "auto_align", &bike_setup::auto_align, true},
    {"Reversed Steering", "reverse_steering", &bike_setup::reverse_steering, false},
    {"Lean Indicator", "lean_indicator", &bike_setup::lean_indicator, true},
};
constexpr int riding_count = int(sizeof riding_lines / sizeof *riding_lines);

// The four paint lines (lines 6..9): label, chooser title, list; the
// setup's file name is paint_text.
struct paint_line {
    const char* label;
    const char* title;
    paint_list* list;
};
const paint_line paint_lines[] = {
    {"Riding Gear", "Choose Riding Gear", &rider_body_paints},
    {"Helmet", "Choose Helmet", &rider_head_paints},
    {"Bike Graphics", "Choose Bike Graphics", &bike_paints},
    {"Wheel Graphics", "Choose Wheel Graphics", &wheel_paints},
};
char* paint_text(int i)
{
    char* texts[] = {player_setup.rider_texture, player_setup.head_texture, player_setup.bike_texture,
                     player_setup.wheel_texture};
    return texts[i];
}
int paint_size(int i)
{
    const int sizes[] = {int(sizeof player_setup.rider_texture), int(sizeof player_setup.head_texture),
                         int(sizeof player_setup.bike_texture), int(sizeof player_setup.wheel_texture)};
    return sizes[i];
}

menu_item back_items[4];  // pages 7..10
menu_item suspension_item = {"Suspension and Gearing", {}}, stability_item = {"Advanced Stability Setup", {}};
menu_choice bike_choice = {"Bike", nullptr, 0, 0, {-1, -1, -1, -1}};
const char* bike_names[bike_info_count];
menu_text name_field = {"Name", 63, player_setup.name, 0, 1, {-1, -1, -1, -1}};
menu_text number_field = {"Number", 3, player_setup.number, 0, 0, {-1, -1, -1, -1}};
menu_choice paint_choices[4];
menu_slider bike_sliders[bike_slider_count];
menu_choice riding_choices[riding_count];
menu_slider suspension_sliders[suspension_count];
menu_slider stability_sliders[stability_count];

void sliders_init(menu_slider* sliders, const setup_slider_line* lines, int count)
{
    for (int i = 0; i < count; i++)
        sliders[i] = {lines[i].label, 0, lines[i].step, lines[i].min, lines[i].max, {-1, -1, -1, -1}, 0, 0};
}

void sliders_load(menu_slider* sliders, const setup_slider_line* lines, int count)
{
    for (int i = 0; i < count; i++) sliders[i].value = player_setup.*lines[i].field;
}

// Mirrors player_setup into the records (the lists may have been rebuilt).
void records_load()
{
    static bool ready;
    if (!ready) {
        ready = true;
        sliders_init(bike_sliders, bike_lines, bike_slider_count);
        sliders_init(suspension_sliders, suspension_lines, suspension_count);
        sliders_init(stability_sliders, stability_lines, stability_count);
        for (int i = 0; i < riding_count; i++) {
            int n = 0;
            const char* const* entries = setup_choice_entries(riding_lines[i].key, &n);
            riding_choices[i] = {riding_lines[i].label, entries, entries ? n : 0, 0, {-1, -1, -1, -1}};
        }
        for (int i = 0; i < 4; i++) paint_choices[i] = {paint_lines[i].label, nullptr, 0, 0, {-1, -1, -1, -1}};
        int n = 0;
        for (const bike_info* row = bike_info_table(); n < bike_info_count; n++)
            bike_names[n] = row[n].name;
        bike_choice.choices = bike_names;
        bike_choice.count = n;
    }
    menu_choice_select(&bike_choice, player_setup.bike);
    for (int i = 0; i < 4; i++) {
        paint_choices[i].choices = array_items<const char*>(paint_lines[i].list);
        paint_choices[i].count = paint_lines[i].list->count;
        if (!menu_choice_select(&paint_choices[i], paint_text(i))) paint_choices[i].selected = 0;
    }
    sliders_load(bike_sliders, bike_lines, bike_slider_count);
    sliders_load(suspension_sliders, suspension_lines, suspension_count);
    sliders_load(stability_sliders, stability_lines, stability_count);
    for (int i = 0; i < riding_count; i++) riding_choices[i].selected = player_setup.*riding_lines[i].field;
}

// Pushes the setup into the player's own rider when it stands still.
void setup_apply()
{
    int slot = watched_slot;
    if (slot < 0 || slot >= rider_slot_count || slot_status[slot] != slot_driven_by_player) return;
    rider* r = rider_table[slot];
    if (r) setup_apply_if_stopped(r, &player_setup, game_clock);
}

void slider_line_key(menu_slider* slider, double bike_setup::*field, uint32_t code)
{
    double before = slider->value;
    menu_slider_key(slider, code);
    player_setup.*field = slider->value;
    if (slider->value != before) setup_apply();
}

void bike_pick(int index)
{
    if (index < 0 || index >= bike_choice.count || index == bike_choice.selected) return;
    bike_choice.selected = index;
    snprintf(player_setup.bike, sizeof player_setup.bike, "%s", bike_names[index]);
    graphics_lists_build(player_setup.bike);
    // The rebuilt bike graphics list: its first entry.
    if (bike_paints.count > 0)
        snprintf(player_setup.bike_texture, sizeof player_setup.bike_texture, "%s",
                 array_items<const char*>(&bike_paints)[0]);
    menu_settings_changed = 1;
}

// The chooser picked a paint: the choice and the setup's file name.
int paint_chooser_line;
void paint_pick(int index)
{
    list_chooser_pick_choice(index);
    const menu_choice* c = &paint_choices[paint_chooser_line];
    if (c->count > 0) snprintf(paint_text(paint_chooser_line), size_t(paint_size(paint_chooser_line)), "%s", menu_choice_text(c));
    menu_settings_changed = 1;
}

bool opens_chooser(uint32_t code)
{
    return code == menu_keys.enter || code == menu_keys.keypad_enter || code == menu_keys.cursor_left;
}

// ---- Bike Setup ----------------------------------------------------------------

void bike_setup_draw()
{
    records_load();
    menu_pen pen;
    page_begin(&pen, "Bike Setup", &back_items[0], "Back to Main Menu");
    menu_advance(&pen, 0, menu_line_step);
    menu_draw_item(&suspension_item, line_selected(1), &pen, menu_item_width, 0);
    menu_advance(&pen, 0, menu_line_step);
    menu_draw_item(&stability_item, line_selected(2), &pen, menu_item_width, 0);
    menu_advance(&pen, 21.993334f, -menu_line_step - 0.5f);
    menu_draw_choice(&bike_choice, line_selected(3), &pen, 20.333334f, 0, 0.33f);
    menu_advance(&pen, 0, menu_line_step);
    menu_draw_text(&name_field, line_selected(4), &pen, 20.333334f, 0, 0.33f);
    menu_advance(&pen, 0, menu_line_step);
    menu_draw_text(&number_field, line_selected(5), &pen, 20.333334f, 0, 0.33f);
    menu_advance(&pen, -21.663334f, -1.875f);
    for (int i = 0; i < 4; i++) {
        if (i) menu_advance(&pen, 0, menu_line_step);
        menu_draw_choice(&paint_choices[i], line_selected(6 + i), &pen, menu_wide_width, 0, 0.33f);
    }
    for (int i = 0; i < bike_slider_count; i++) {
        menu_advance(&pen, 0, menu_line_step);
        menu_draw_slider(&bike_sliders[i], line_selected(10 + i), &pen, menu_wide_width, 0, 0.5f);
    }
    menu_advance(&pen, 0, -0.5f);
    for (int i = 0; i < riding_count; i++) {
        if (i == 5) menu_advance(&pen, 21.663334f, 4 * -menu_line_step);
        else menu_advance(&pen, 0, menu_line_step);
        menu_draw_choice(&riding_choices[i], line_selected(15 + i), &pen, 20.333334f, 0, 0.67f);
    }
    menu_end();
}

void bike_setup_key(uint32_t code)
{
    records_load();
    line_move(code, 24);
    int line = menu_line;
    if (line == 0) {
        if (line_activated(&back_items[0].rect, code)) menu_open(page_main);
    } else if (line == 1) {
        if (line_activated(&suspension_item.rect, code)) menu_open(page_suspension);
    } else if (line == 2) {
        if (line_activated(&stability_item.rect, code)) menu_open(page_stability);
    } else if (line == 3) {
        if (opens_chooser(code)) {
            list_chooser_open("Choose Bike", &bike_choice, bike_pick);
            return;
        }
        int before = bike_choice.selected;
        menu_choice_key(&bike_choice, code);
        int after = bike_choice.selected;
        bike_choice.selected = before;
        bike_pick(after);
    } else if (line == 4 || line == 5) {
        menu_text_key(line == 4 ? &name_field : &number_field, code);
        menu_settings_changed = 1;
    } else if (line <= 9) {
        int i = line - 6;
        if (opens_chooser(code)) {
            paint_chooser_line = i;
            list_chooser_open(paint_lines[i].title, &paint_choices[i], paint_pick);
            return;
        }
        menu_choice_key(&paint_choices[i], code);
        if (paint_choices[i].count > 0)
            snprintf(paint_text(i), size_t(paint_size(i)), "%s", menu_choice_text(&paint_choices[i]));
        menu_settings_changed = 1;
    } else if (line == 10) {
        if (code == '*') {
            menu_open(page_stability);
            return;
        }
        double before = player_setup.stability;
        menu_slider_key(&bike_sliders[0], code);
        player_setup.stability = bike_sliders[0].value;
        if (std::floor(before) != std::floor(player_setup.stability)) stability_apply(&player_setup, player_setup.stability);
        if (before != player_setup.stability) setup_apply();
    } else if (line <= 14) {
        slider_line_key(&bike_sliders[line - 10], bike_lines[line - 10].field, code);
    } else {
        int i = line - 15;
        int before = riding_choices[i].selected;
        menu_choice_key(&riding_choices[i], code);
        player_setup.*riding_lines[i].field = riding_choices[i].selected;
        if (riding_lines[i].applies && before != riding_choices[i].selected) setup_apply();
        // These two act on the player's input, not on the bike.
        reversed_steering = player_setup.reverse_steering;
        sticky_dab = player_setup.sticky_dab;
    }
}

const menu_rect* bike_setup_rect(int line)
{
    if (line == 0) return &back_items[0].rect;
    if (line == 1) return &suspension_item.rect;
    if (line == 2) return &stability_item.rect;
    if (line == 3) return &bike_choice.rect;
    if (line == 4) return &name_field.rect;
    if (line == 5) return &number_field.rect;
    if (line <= 9) return &paint_choices[line - 6].rect;
    if (line <= 14) return &bike_sliders[line - 10].rect;
    return &riding_choices[line - 15].rect;
}

// ---- Suspension and Gearing, Advanced Stability -----------------------------------------

void suspension_draw()
{
    records_load();
    menu_pen pen;
    page_begin(&pen, "Suspension and Gearing", &back_items[1], "Back to Bike Setup Menu");
    menu_end();
    menu_begin_fitted(40, menu_page_left, -1 - menu_margin, &pen);
    menu_advance(&pen, 0, (menu_line_step - 3.5f) * 1.25f);
    const bike_info* row = bike_info_lookup(player_setup.bike);
    for (int i = 0; i < suspension_count; i++) {
        if (i) menu_advance(&pen, 0, menu_line_step);
        menu_draw_slider(&suspension_sliders[i], line_selected(1 + i), &pen, 52.663334f, 0, 0.5f);
        const setup_slider_line& l = suspension_lines[i];
        if (!row || !l.derived) continue;
        char text[64];
        l.derived(row, suspension_sliders[i].value, text, sizeof text);
        // Shadowed: the text sits over the bar and must read on its light fill.
        draw_text_centred_shadowed(0.5f, 0.5f, 0.5f, 0.8f, 20.998335f, 52.663334f, text);
    }
    menu_end();
}

void stability_draw()
{
    records_load();
    menu_pen pen;
    page_begin(&pen, "Advanced Stability Setup", &back_items[2], "Back to Bike Setup Menu");
    menu_advance(&pen, 0, menu_line_step - 1.5f);
    for (int i = 0; i < stability_count; i++) {
        if (i) menu_advance(&pen, 0, menu_line_step);
        menu_draw_slider(&stability_sliders[i], line_selected(1 + i), &pen, menu_wide_width, 0, 0.5f);
    }
    menu_end();
}

void slider_page_key(uint32_t code, menu_item* back, menu_slider* sliders, const setup_slider_line* lines, int count)
{
    records_load();
    line_move(code, count);
    int line = menu_line;
    if (line == 0) {
        if (line_activated(&back->rect, code)) menu_open(page_bike_setup);
        return;
    }
    slider_line_key(&sliders[line - 1], lines[line - 1].field, code);
}

void suspension_key(uint32_t code)
{
    slider_page_key(code, &back_items[1], suspension_sliders, suspension_lines, suspension_count);
}

void stability_key(uint32_t code)
{
    slider_page_key(code, &back_items[2], stability_sliders, stability_lines, stability_count);
}

const menu_rect* suspension_rect(int line)
{
    return line == 0 ? &back_items[1].rect : &suspension_sliders[line - 1].rect;
}

const menu_rect* stability_rect(int line)
{
    return line == 0 ? &back_items[2].rect : &stability_sliders[line - 1].rect;
}

// ---- Customize Controls ------------------------------------------------------------

void controls_draw()
{
    menu_pen pen;
    page_begin(&pen, "Customize Controls", &back_items[3], "Back to Main Menu");
    menu_advance(&pen, 0, menu_line_step - 0.5f);
    for (int i = 0; i < binding_count; i++) {
        if (i) menu_advance(&pen, 0, menu_line_step);
        menu_binding* b = &bindings[i];
        char text[128];
        binding_text(b, text, sizeof text);
        // A binding line is a choice whose one entry is the bound input.
        const char* entries[] = {text};
        menu_choice line = {b->label, entries, 1, 0, b->rect};
        menu_draw_choice(&line, line_selected(1 + i), &pen, menu_wide_width, 0, 0.5f);
        b->rect = line.rect;
    }
    menu_end();
}

void controls_key(uint32_t code)
{
    line_move(code, binding_count);
    int line = menu_line;
    if (line == 0) {
        if (line_activated(&back_items[3].rect, code)) menu_open(page_main);
    } else if (line_activated(&bindings[line - 1].rect, code)) {
        binding_learn_start(&bindings[line - 1], game_clock);
    }
}

const menu_rect* controls_rect(int line)
{
    return line == 0 ? &back_items[3].rect : &bindings[line - 1].rect;
}

}  // namespace

const menu_page_entry bike_setup_page = {bike_setup_draw, bike_setup_key, bike_setup_rect, 24};
const menu_page_entry suspension_page = {suspension_draw, suspension_key, suspension_rect, suspension_count};
const menu_page_entry stability_page = {stability_draw, stability_key, stability_rect, stability_count};
const menu_page_entry controls_page = {controls_draw, controls_key, controls_rect, binding_count};
