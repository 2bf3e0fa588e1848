#pragma once
// The platform layer as the rest of the game sees it.
#include "platform/vesk_clock.h"
#include "platform/vesk_log.h"

// A modal box with no parent window; falls back to standard error when no
// display can show it.
void vesk_message_box(const char* caption, const char* text);
// Closes audio and the GL window if they are open; used on the way out of a
// fatal error.
void vesk_close_for_fatal();
