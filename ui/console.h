#pragma once
// The message log: every status, warning and error line of the game goes
// through console_print into a ring of the last 1000 lines and out to the
// platform log. The console page and the lines floating over the game view
// read the ring.
#include <cstdint>

constexpr int console_line_count = 1000;
constexpr int console_line_size = 256; // 255 characters and the terminator

struct console_log {
    char lines[console_line_count][console_line_size];
    int32_t write_index;  // the line the next message replaces
    int32_t shown_count;  // newest lines shown over the game view
    double fade_time;     // game-clock time at which the oldest shown line goes
};

extern console_log message_log;
// Largest number of lines shown over the game view ("message_lines").
extern int32_t message_lines;
// While on, lines holding "[SPAM]" are dropped ("Hide spam", on by default).
extern int32_t hide_spam;

void console_print(const char* text);
// console_print of a formatted text (cut at the log's 255 characters).
void console_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Empties the ring (start-up).
void console_clear();
// Ring entry k of the n newest lines, k = 0 the oldest of them.
const char* console_recent_line(int n, int k);
