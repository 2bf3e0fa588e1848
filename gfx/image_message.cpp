#include "gfx/image_message.h"

#include <cstdarg>
#include <cstdio>

namespace {
char last_error[512];
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
