#pragma once
// The platform layer as the rest of the game sees it: window and GL context,
// timed input, sound voices, the clock, the log and message boxes. Only the
// back end files (vesk_sdl_*.cpp, vesk_message_box.cpp) see SDL; everything
// here is plain C++.
#include <cstdint>

#include "platform/vesk_clock.h"
#include "platform/vesk_log.h"
#include "platform/vesk_window.h"
#include "platform/vesk_input.h"
#include "platform/vesk_audio.h"

// A modal box with one OK button and no owner window (at most 1023
// characters), not shown with the option "[msgbox:off]" or without a display.
// Always logged and written to standard error too.
void vesk_message_box(const char* caption, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Closes audio and the window if they are open; used on the way out of a
// fatal error.
void vesk_close_for_fatal();

