#include "physics/physics_messages.h"

#include <cstdarg>
#include <cstdio>

#include "ui/console.h"

namespace {
physics_message_sink current_sink;

void log_sink(const char* line) { console_print(line); }
} // namespace

void physics_set_message_sink(physics_message_sink sink) { current_sink = sink; }

void physics_message(const char* format, ...)
{
    char line[256];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    // Names and values quoted from files and the network may carry control
    // characters: they must not break the line or reach a terminal.
    for (char* c = line; *c; c++)
        if (static_cast<unsigned char>(*c) < 32 || *c == 127) *c = '?';
    (current_sink ? current_sink : log_sink)(line);
}
