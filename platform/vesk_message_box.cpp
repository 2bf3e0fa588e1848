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
    // Standard error always: a script or a terminal sees why the program
    // stopped even when a box was shown and clicked away.
    fprintf(stderr, "%s: %s%s", caption, text, end);
    fflush(stderr);
    // "[msgbox:off]" keeps headless runs from waiting on a box nobody can
    // click. SDL can show a box before (or without) its video subsystem; with
    // no display at all it fails, and standard error has the text already.
    if (vesk_option_bool("msgbox", 1)) SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr);
}

void vesk_close_for_fatal()
{
    // A full-screen window would hide the box and keep the display mode.
    if (vesk_current_audio) vesk_audio_close(vesk_current_audio);
    if (vesk_current_window) vesk_gl_window_close(vesk_current_window);
}
