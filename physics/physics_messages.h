#pragma once
// Status and error lines of the bike and rider code. They go to the message
// log once it exists; until then, and in tests, a sink set here takes them.

// Formats one line (cut at 255 characters) and hands it to the sink.
void physics_message(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The sink for every line; null restores the default, the platform log.
using physics_message_sink = void (*)(const char* line);
void physics_set_message_sink(physics_message_sink sink);
