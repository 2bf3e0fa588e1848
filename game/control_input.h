#pragma once
// What the tic does with the control channels and the fixed keys: the menu
// key codes, the cursor axes, and the player's rider inputs.
#include <cstdint>

struct rider;

// Codes of the keys the loop and the menus know by name (resolved at
// start-up once the window exists).
struct menu_key_codes {
    uint32_t up, down, left, right, enter, keypad_enter, esc, pause, cursor_left, cursor_right, page_up, page_down,
        close;
};
extern menu_key_codes menu_keys;
// The typed Tab character cycles the views.
constexpr uint32_t tab_key_code = 9;

// "Reversed Steering" (default on) and "Sticky Sit/Dab" (default off).
extern int32_t reversed_steering;
extern int32_t sticky_dab;
// The sticky toggle's state (the HUD shows "Dabbing!" while it is on).
extern int32_t dab_toggle;

void menu_keys_resolve();
// Opens and reads the "cursor-x" and "cursor-y" axes (client pixels).
void cursor_axes_open();
void cursor_axes_read();
void cursor_axes_close();
extern int32_t cursor_x, cursor_y;

// The nine channels into the rider's input setters: steer, brakes, throttle,
// sit/dab (or its toggle), back up, lean; the clutch eases in at 4 per second
// toward its target and drops at once; shift on +-0.5.
void player_inputs_apply(rider* r, const float* channels);
