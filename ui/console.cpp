#include "ui/console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/game_state.h"
#include "core/util.h"
#include "gfx/text.h"
#include "gfx/ztgl.h"
#include "net/reliable.h"
#include "platform/vesk_input.h"
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
    message_log.fade_time = game_clock + 2;
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

int console_ring_index(int i)
{
    // C's % keeps the sign of a negative index; the ring wants 0..999.
    return (i % console_line_count + console_line_count) % console_line_count;
}

const char* console_recent_line(int n, int k)
{
    return message_log.lines[console_ring_index(message_log.write_index - n + k)];
}

void console_toggle(const char* label, int32_t* setting)
{
    *setting = *setting == 0 ? 1 : 0;
    console_printf(*setting ? "%.60s ON" : "%.60s OFF", label);
}

void console_set_message_lines(int lines)
{
    // More rows than the ring holds would show lines twice.
    message_lines = lines < 0 ? 0 : lines > console_line_count ? console_line_count : lines;
}

void console_fade(double now)
{
    if (now > message_log.fade_time && message_log.shown_count > 0) {
        message_log.shown_count--;
        message_log.fade_time = now + 5;
    }
}

void console_draw_shown_lines()
{
    int n = message_log.shown_count;
    for (int k = 0; k < n; k++) {
        ztglPushMatrix();
        ztglTranslatef(0, -float(k), 0);
        // A line printed with its line break shows without it.
        const char* line = console_recent_line(n, k);
        char shown[console_line_size];
        size_t length = strcspn(line, "\r\n");
        memcpy(shown, line, length);
        shown[length] = 0;
        draw_text_shadowed(0.8f, 0.8f, 0.8f, 1, shown);
        ztglPopMatrix();
    }
}

// ---- The console page ------------------------------------------------------------

int32_t console_scroll;
const char console_scroll_marker[] = "^    ^    ^    ^    ^";

const char* console_page_row(int row)
{
    if (row < 0 || row >= console_page_rows) return nullptr;
    if (console_scroll > 0 && row >= console_page_rows - 1)
        return row == console_page_rows - 1 ? console_scroll_marker : nullptr;
    return message_log.lines[console_ring_index(message_log.write_index + row - console_scroll - console_page_rows)];
}

void console_scroll_by(int lines)
{
    int v = console_scroll + lines;
    console_scroll = v < 0 ? 0 : v > console_scroll_max ? console_scroll_max : v;
}

// ---- Chat line and history ----------------------------------------------------------

char console_history[console_history_size][chat_line_length + 1];
int32_t history_count;
int32_t history_index;
double last_chat_time = -1e9;
static char chat_line_buffer[chat_line_length + 1];
menu_text chat_line = {"> ", chat_line_length, chat_line_buffer, 0, 1, {-1, -1, -1, -1}};

void console_history_browse(int direction)
{
    // The line being typed lives in entry 0 and the stored lines in
    // 1..history_count, so browsing never leaves the stored lines, and "up"
    // with nothing stored stays on the edit line.
    copy_bounded(console_history[history_index], chat_line.text, chat_line_length + 1);
    int next = history_index + (direction > 0 ? 1 : -1);
    history_index = next < 0 ? 0 : next > history_count ? history_count : next;
    menu_text_set(&chat_line, console_history[history_index]);
    chat_line.cursor = int32_t(strlen(chat_line.text));
}

void console_history_record()
{
    copy_bounded(console_history[0], chat_line.text, chat_line_length + 1);
    // Every line moves one place older; the oldest falls off the end.
    memmove(console_history[1], console_history[0], sizeof console_history[0] * (console_history_size - 1));
    if (history_count < console_history_size - 1) history_count++;
    console_history[0][0] = 0;
    history_index = 0;
    menu_text_set(&chat_line, "");
    chat_line.cursor = 0;
}

int console_chat(const char* text, double now)
{
    if (now - last_chat_time > 2) {
        last_chat_time = now;
        send_script_message(reliable_chat, text, int32_t(strlen(text)));
        return 1;
    }
    if (text[0]) console_print("No one likes a spammer");
    return 0;
}

int console_submit(double now)
{
    char line[chat_line_length + 1];
    copy_bounded(line, chat_line.text, sizeof line);
    int taken = line[0] == '/' || line[0] == '\\' ? console_command(line) : console_chat(line, now);
    if (taken) console_history_record();
    return taken;
}

int console_page_key(uint32_t code, double now)
{
    enum { enter, keypad_enter, up, down, page_up, page_down, key_count };
    static const char* const names[key_count] = {"enter", "keypad enter", "up", "down", "page up", "page down"};
    static uint32_t codes[key_count];
    static bool resolved = false;
    if (!resolved) {
        for (int i = 0; i < key_count; i++)
            if (!vesk_key_by_name(nullptr, &codes[i], names[i])) codes[i] = 0;
        resolved = true;
    }
    int key = -1;
    for (int i = 0; i < key_count && key < 0; i++)
        if (codes[i] && codes[i] == code) key = i;
    switch (key) {
    case enter:
    case keypad_enter: console_submit(now); return 1;
    case up: console_history_browse(+1); return 1;
    case down: console_history_browse(-1); return 1;
    case page_up: console_scroll_by(+1); return 1;
    case page_down: console_scroll_by(-1); return 1;
    default: return 0;
    }
}

// ---- The "--console-commands" queue ---------------------------------------------------

console_piece_kind console_queue_take(const char** queue, char* piece, int size)
{
    const char* q = *queue;
    if (!q || !*q) {
        *queue = nullptr;
        if (size > 0) piece[0] = 0;
        return console_piece_none;
    }
    size_t n = strcspn(q, ";");
    size_t keep = n < size_t(chat_line_length) ? n : size_t(chat_line_length);
    if (size > 0) copy_bounded(piece, q, int(keep + 1 < size_t(size) ? keep + 1 : size_t(size)));
    *queue = q[n] == ';' && q[n + 1] ? q + n + 1 : nullptr;
    return piece[0] == '/' || piece[0] == '\\' ? console_piece_command : console_piece_chat;
}
