#include "ui/console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/util.h"
#include "platform/vesk_log.h"

console_log message_log;
int32_t message_lines = 5;
int32_t hide_spam = 1;

void console_print(const char* text)
{
    if (hide_spam && strstr(text, "[SPAM]")) return;
    // A line that set terminal attributes resets them, so the log after it
    // reads normally.
    const char* reset = strchr(text, '\033') ? "\033[0m" : "";
    size_t n = strlen(text);
    if (n > 0 && text[n - 1] == '\n')
        vesk_log("%s%s", text, reset);
    else
        vesk_log("%s%s\n", text, reset);
    char* line = message_log.lines[message_log.write_index];
    memset(line, 0, console_line_size);
    copy_bounded(line, text, console_line_size);
    message_log.write_index = (message_log.write_index + 1) % console_line_count;
    if (message_log.shown_count < message_lines) message_log.shown_count++;
}

void console_printf(const char* format, ...)
{
    char text[console_line_size * 2];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    console_print(text);
}

void console_clear() { memset(&message_log, 0, sizeof message_log); }

const char* console_recent_line(int n, int k)
{
    int i = ((message_log.write_index - n + k) % console_line_count + console_line_count) % console_line_count;
    return message_log.lines[i];
}
