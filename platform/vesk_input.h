#pragma once
// Input: event codes, timed events, key names and axes.
#include <cstdint>

struct vesk_window;
struct vesk_axis;  // an open analogue control

enum : uint32_t {
    vesk_code_key = 0x1000,           // + PC set-1 scan code, + 0x100 when extended
    vesk_code_mouse_left = 0x2000,
    vesk_code_mouse_middle = 0x2001,
    vesk_code_mouse_right = 0x2002,
    vesk_code_close = 0xDEAD,         // the window's close request
    vesk_code_device_shift = 16,      // device id in bits 16..30, button in 0..7
};
// Codes 1..255 are typed characters (Latin-1 code points; 8, 9, 13 and 27 come
// from Backspace, Tab, Enter and Esc).

// The oldest event stamped at or before (seconds, microseconds) of the
// platform clock; 1 with an event, 0 without. A later-stamped event at the head
// holds back the ones behind it.
int vesk_get_event_until(vesk_window* window, uint32_t* code, int* pressed, int32_t seconds, int32_t microseconds);
// The oldest event whatever its stamp; 0 when none waits.
int vesk_get_event(vesk_window* window, uint32_t* code, int* pressed);

// Name to event code (aliases, exact, then relaxed names, "0x1c", device
// buttons "<device> button <n>" or "<device>.key[<n>]"); 1 and the code, or 0.
int vesk_key_by_name(vesk_window* window, uint32_t* code, const char* name);
// The interned display name of a code; null for a button of an unknown device.
const char* vesk_key_name(vesk_window* window, uint32_t code);

// "<device>.axis[<n>]", "<device> axis <n>" or an alias such as "cursor-x";
// null when no such axis. The device opens with its first axis and closes with
// its last.
vesk_axis* vesk_axis_open(vesk_window* window, const char* name);
void vesk_axis_close(vesk_axis* axis);
// Controllers: -32768..32767 (32768 is full scale). Cursor: client pixels.
int vesk_axis_read(vesk_axis* axis);
// Every axis name offered at window opening, interned, ending with null.
const char* const* vesk_axis_names(vesk_window* window);
