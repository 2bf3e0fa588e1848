#pragma once
// The message log: every status, warning and error line of the game goes
// through console_print into a ring of the last 1000 lines and out to the
// platform log. The console page and the lines floating over the game view
// read the ring.
#include <cstdint>

#include "ui/widgets.h"

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
// A ring index taken modulo 1000 into 0..999, negative ones included.
int console_ring_index(int i);

// Flips an on/off setting (0 -> 1, anything else -> 0) and prints
// "%.60s ON" or "%.60s OFF".
void console_toggle(const char* label, int32_t* setting);
// Sets message_lines clamped to 0..1000 (the ring's size).
void console_set_message_lines(int lines);

// ---- Fading ------------------------------------------------------------------

// Once a frame: when now is past fade_time and lines are shown, one fewer is
// shown and the next goes 5 s later. A new line holds them all for 2 s.
void console_fade(double now);

// Draws the shown lines, oldest first, one text line apart downwards from
// the current origin, as shadowed light-grey text (the HUD places and
// scales them after its status lines).
void console_draw_shown_lines();

// ---- The console page ----------------------------------------------------------

constexpr int console_page_rows = 50;
constexpr int console_scroll_max = 950;
extern int32_t console_scroll;
// Row 0..49 of the page, oldest at the top; with the page scrolled back, row
// 49 is the marker and null is returned for rows past it.
const char* console_page_row(int row);
extern const char console_scroll_marker[];
void console_scroll_by(int lines);

// ---- Chat line and history ---------------------------------------------------

constexpr int chat_line_length = 119;
constexpr int console_history_size = 100;  // entry 0 and 99 stored lines
extern menu_text chat_line;
// Entry 0 is the line being edited; 1..history_count the submitted lines,
// newest first.
extern char console_history[console_history_size][chat_line_length + 1];
extern int32_t history_count;  // 0..99
extern int32_t history_index;  // the entry being browsed, 0 = the edit line
// Game-clock time of the last chat line sent (the page and the queue share it).
extern double last_chat_time;

// "up" (direction +1, older) or "down" (-1): the line is kept in the entry
// being browsed and the next entry is loaded. "up" stops at the oldest
// stored line and does nothing with none.
void console_history_browse(int direction);
// Stores the chat line as the newest entry and empties the line.
void console_history_record();

// Chat under the 2-s rule: 1 when sent (or answered "Not connected to
// server" offline), 0 when it came too soon ("No one likes a spammer" unless
// empty). Sends through the reliable queue as item 19.
int console_chat(const char* text, double now);
// The page's Enter: a "/" or "\" line goes to the console command handler
// (recorded when it knows the word), anything else is chat (recorded when
// taken). Returns 1 when the line was taken.
int console_submit(double now);

// The console page's keys: Enter and keypad Enter submit, "up"/"down" browse
// the history, "page up"/"page down" scroll by one line. 1 when the key was
// one of these; any other key is the text field's.
int console_page_key(uint32_t code, double now);

// ---- The "--console-commands" queue -------------------------------------------

enum console_piece_kind { console_piece_none, console_piece_command, console_piece_chat };
// Takes the next ";"-separated piece of *queue (at most 119 characters) into
// piece and moves *queue past it; *queue becomes null once it is used up.
console_piece_kind console_queue_take(const char** queue, char* piece, int size);
// The console command handler (owned by the console commands); 1 when it
// knew the word.
int console_command(const char* line);
