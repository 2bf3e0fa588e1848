// Control channels into the player's rider, and the fixed keys.
#include "game/control_input.h"

#include <algorithm>

#include "core/game_state.h"
#include "physics/rider.h"
#include "physics/rider_access.h"
#include "platform/vesk.h"

menu_key_codes menu_keys;
int32_t reversed_steering = 1;
int32_t sticky_dab;
int32_t dab_toggle;
int32_t cursor_x, cursor_y;

namespace {

vesk_axis* cursor_axes[2];
// The dab channel's previous reading, for the toggle's rising edge.
float last_dab_channel;

uint32_t code_of(const char* name)
{
    uint32_t code = 0;
    if (!vesk_key_by_name(game_window, &code, name)) return 0;
    return code;
}

}  // namespace

void menu_keys_resolve()
{
    menu_keys.up = code_of("up");
    menu_keys.down = code_of("down");
    menu_keys.left = code_of("left");
    menu_keys.right = code_of("right");
    menu_keys.enter = code_of("enter");
    menu_keys.keypad_enter = code_of("keypad enter");
    menu_keys.esc = code_of("esc");
    menu_keys.pause = code_of("pause");
    menu_keys.cursor_left = code_of("cursor-left");
    menu_keys.cursor_right = code_of("cursor-right");
    menu_keys.page_up = code_of("page up");
    menu_keys.page_down = code_of("page down");
    menu_keys.close = code_of("close");
}

void cursor_axes_open()
{
    cursor_axes[0] = vesk_axis_open(game_window, "cursor-x");
    cursor_axes[1] = vesk_axis_open(game_window, "cursor-y");
}

void cursor_axes_read()
{
    if (cursor_axes[0]) cursor_x = vesk_axis_read(cursor_axes[0]);
    if (cursor_axes[1]) cursor_y = vesk_axis_read(cursor_axes[1]);
}

void cursor_axes_close()
{
    for (vesk_axis*& a : cursor_axes) {
        if (a) vesk_axis_close(a);
        a = nullptr;
    }
}

void player_inputs_apply(rider* r, const float* channels)
{
    rider_set_steer(r, reversed_steering ? -channels[channel_steer] : channels[channel_steer]);
    rider_set_front_brake(r, channels[channel_front_brake]);
    rider_set_rear_brake(r, channels[channel_rear_brake]);
    rider_set_throttle(r, channels[channel_throttle]);
    float dab = channels[channel_dab];
    if (sticky_dab) {
        if (dab > 0.5f && last_dab_channel <= 0.5f) dab_toggle = !dab_toggle;
        rider_set_dab(r, dab_toggle ? 1.0f : 0.0f);
    } else {
        rider_set_dab(r, dab);
    }
    last_dab_channel = dab;
    rider_set_control_b(r, channels[channel_back_up]);
    rider_set_control_c(r, channels[channel_lean]);
    // Full clutch lever (channel 1) is 8/7 of the way past disengaged.
    float target = std::clamp(1.0f - channels[channel_clutch] * 1.1428571428571428f, 0.0f, 1.0f);
    float clutch = rider_get_clutch(r);
    rider_set_clutch(r, clutch < target ? clutch + float(4 * tic_length) : target);
    float shift = channels[channel_shift];
    rider_shift(r, shift > 0.5f ? 1 : shift < -0.5f ? -1 : 0);
}
