#pragma once
// Status and error lines of the bike and rider code. They go to the message
// log; tests set a sink of their own to see them.

// Formats one line (cut at 255 characters, control characters shown as
// '?') and hands it to the sink.
void physics_message(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The sink for every line; null restores the default, the message log.
using physics_message_sink = void (*)(const char* line);
void physics_set_message_sink(physics_message_sink sink);
