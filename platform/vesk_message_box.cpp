// Message boxes for fatal errors, and the tidy-up before one.
#include <SDL.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/vesk_window_record.h"

vesk_window* vesk_current_window;
vesk_audio* vesk_current_audio;

void vesk_message_box(const char* caption, const char* format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    size_t length = strlen(text);
    const char* end = length && text[length - 1] == '\n' ? "" : "\n";
    vesk_log("%s: %s%s", caption, text, end);
    // SDL can show a box before (or without) its video subsystem; with no
    // display at all it fails and standard error is what is left.
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr) != 0) {
        fprintf(stderr, "%s: %s%s", caption, text, end);
    }
}

void vesk_close_for_fatal()
{
    // A full-screen window would hide the box and keep the display mode.
    if (vesk_current_audio) vesk_audio_close(vesk_current_audio);
    if (vesk_current_window) vesk_gl_window_close(vesk_current_window);
}
