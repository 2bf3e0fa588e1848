// The SDL back end of the input devices: joysticks (the "dinput" kind),
// game controllers (the "xinput" kind) and the cursor.
#include <SDL.h>

#include <cstdio>

#include "platform/vesk_window_record.h"

namespace {

int index_of_instance(SDL_JoystickID instance)
{
    int count = SDL_NumJoysticks();
    for (int i = 0; i < count; i++) {
        if (SDL_JoystickGetDeviceInstanceID(i) == instance) return i;
    }
    return -1;
}

int joystick_open(vesk_device* device)
{
    int index = index_of_instance(device->instance);
    SDL_Joystick* joystick = index >= 0 ? SDL_JoystickOpen(index) : nullptr;
    if (!joystick) {
        vesk_log("Can't open %s: %s\n", device->name, SDL_GetError());
        return 0;
    }
    device->handle = joystick;
    return 1;
}

void joystick_close(vesk_device* device)
{
    SDL_JoystickClose(static_cast<SDL_Joystick*>(device->handle));
    device->handle = nullptr;
}

int joystick_axis(vesk_window*, vesk_device* device, int axis)
{
    return device->handle ? SDL_JoystickGetAxis(static_cast<SDL_Joystick*>(device->handle), axis) : 0;
}

int controller_open(vesk_device* device)
{
    int index = index_of_instance(device->instance);
    SDL_GameController* pad = index >= 0 ? SDL_GameControllerOpen(index) : nullptr;
    if (!pad) {
        vesk_log("Can't open %s: %s\n", device->name, SDL_GetError());
        return 0;
    }
    device->handle = pad;
    return 1;
}

void controller_close(vesk_device* device)
{
    SDL_GameControllerClose(static_cast<SDL_GameController*>(device->handle));
    device->handle = nullptr;
}

int controller_axis(vesk_window*, vesk_device* device, int axis)
{
    if (!device->handle) return 0;
    return SDL_GameControllerGetAxis(static_cast<SDL_GameController*>(device->handle), SDL_GameControllerAxis(axis));
}

int cursor_axis(vesk_window* window, vesk_device*, int axis)
{
    // Client pixels of the window that has the mouse; the window's own size
    // is in the same units.
    int x = 0, y = 0;
    SDL_GetMouseState(&x, &y);
    (void)window;
    return axis == 0 ? x : y;
}

const vesk_device_ops joystick_ops = {joystick_open, joystick_close, joystick_axis};
const vesk_device_ops controller_ops = {controller_open, controller_close, controller_axis};
const vesk_device_ops cursor_ops = {nullptr, nullptr, cursor_axis};

void add_joysticks(vesk_window* window, bool controllers)
{
    int count = SDL_NumJoysticks();
    for (int i = 0; i < count; i++) {
        bool is_pad = SDL_IsGameController(i);
        if (is_pad != controllers) continue;
        SDL_JoystickID instance = SDL_JoystickGetDeviceInstanceID(i);
        const char* name = is_pad ? SDL_GameControllerNameForIndex(i) : SDL_JoystickNameForIndex(i);
        int axes = SDL_CONTROLLER_AXIS_MAX, buttons = SDL_CONTROLLER_BUTTON_MAX;
        if (!is_pad) {
            // A joystick's counts are known only while it is open.
            SDL_Joystick* joystick = SDL_JoystickOpen(i);
            if (!joystick) continue;
            axes = SDL_JoystickNumAxes(joystick);
            buttons = SDL_JoystickNumButtons(joystick);
            SDL_JoystickClose(joystick);
        }
        vesk_device* device = vesk_device_add(window, name, axes < 0 ? 0 : axes, buttons < 0 ? 0 : buttons,
                                              is_pad ? &controller_ops : &joystick_ops, nullptr);
        if (!device) return;
        device->instance = instance;
        device->is_controller = is_pad;
        vesk_log("Input device \"%s\" (%04x:%04x): %d axes, %d buttons\n", device->name,
                 SDL_JoystickGetDeviceVendor(i), SDL_JoystickGetDeviceProduct(i), device->axis_count,
                 device->button_count);
    }
}

}  // namespace

void vesk_input_devices_open(vesk_window* window)
{
    int dinput = vesk_option_bool("dinput", 1);
    int xinput = vesk_option_bool("xinput", 1);
    // Every joystick SDL lists is a game device, so "sticks only" holds anyway.
    vesk_option_bool("dinputsticksonly", 1);
    if ((dinput || xinput) && SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) != 0) {
        vesk_log("Can't initialise controllers: %s\n", SDL_GetError());
        dinput = xinput = 0;
    } else if (dinput || xinput) {
        window->controllers_started = 1;
    }
    if (dinput) add_joysticks(window, false);
    if (xinput) add_joysticks(window, true);
    vesk_device_add(window, "cursor", 2, 0, &cursor_ops, nullptr);
    const char* aliases[][2] = {{"cursor-x", "cursor.axis[0]"}, {"cursor-y", "cursor.axis[1]"}};
    for (auto& a : aliases) {
        if (vesk_alias_lookup(a[0]) == a[0]) vesk_alias_add(a[0], a[1]);
    }
}

void vesk_input_devices_close(vesk_window* window)
{
    vesk_devices_free(window);
    if (window->controllers_started) SDL_QuitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
    window->controllers_started = 0;
}
