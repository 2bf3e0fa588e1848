#include "gfx/image_message.h"

#include <cstdarg>
#include <cstdio>

#include "platform/vesk_log.h"

namespace {
char last_error[512];
char last_message[512];
int message_count;
} // namespace

void image_set_error(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(last_error, sizeof last_error, format, args);
    va_end(args);
}

const char* image_last_error() { return last_error; }
void image_clear_error() { last_error[0] = 0; }

void gfx_message(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(last_message, sizeof last_message, format, args);
    va_end(args);
    message_count++;
    vesk_log("%s", last_message);
}

const char* gfx_last_message() { return last_message; }
int gfx_message_count() { return message_count; }
