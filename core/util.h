#pragma once
// Small string helpers, the command-line option cursor and a sleep in seconds.
#include <cstdint>

// Copies at most size-1 characters and terminates; does nothing when size <= 0.
void copy_bounded(char* dest, const char* source, int size);
void trim_trailing_blanks(char* text);
// True when text, after leading white space, begins with word followed by
// white space or the end of the text.
bool keyword_match(const char* text, const char* word);
bool ends_with(const char* text, const char* suffix);

// The state of the command-line scan, consumed from the front.
struct option_cursor {
    int32_t remaining;
    char** next;
    int32_t options_ended;
};

// Matches "name value" or "name=value" at the cursor; "--" ends the options.
// A value option that is the last argument matches with a null value.
int option_value(option_cursor* cursor, const char* name, const char** value);
int option_flag(option_cursor* cursor, const char* name);

// Sleeps through the platform layer; negative or NaN sleeps not at all, and the
// duration is capped at a day.
void sleep_seconds(double seconds);
// The whole seconds and microseconds sleep_seconds hands to the platform; 0
// for a duration that is not above zero (negative, zero or NaN).
int sleep_split(double seconds, int32_t* whole, int32_t* microseconds);
