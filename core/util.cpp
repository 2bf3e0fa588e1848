#include "core/util.h"

#include <cctype>
#include <cmath>
#include <cstring>

#include "platform/vesk_clock.h"

void copy_bounded(char* dest, const char* source, int size)
{
    if (size <= 0) return;
    size_t n = strnlen(source, size_t(size));
    if (n > size_t(size) - 1) n = size_t(size) - 1;
    memcpy(dest, source, n);
    dest[n] = 0;
}

void trim_trailing_blanks(char* text)
{
    size_t n = strlen(text);
    while (n > 0 && isspace(static_cast<unsigned char>(text[n - 1]))) text[--n] = 0;
}

bool keyword_match(const char* text, const char* word)
{
    while (isspace(static_cast<unsigned char>(*text))) text++;
    size_t n = strlen(word);
    if (strncmp(text, word, n) != 0) return false;
    return text[n] == 0 || isspace(static_cast<unsigned char>(text[n]));
}

bool ends_with(const char* text, const char* suffix)
{
    size_t t = strlen(text), s = strlen(suffix);
    return t >= s && memcmp(text + t - s, suffix, s) == 0;
}

namespace {
void consume(option_cursor* cursor)
{
    cursor->next++;
    cursor->remaining--;
}
} // namespace

int option_flag(option_cursor* cursor, const char* name)
{
    if (cursor->remaining <= 0 || cursor->options_ended) return 0;
    if (strcmp(cursor->next[0], name) != 0) return 0;
    consume(cursor);
    return 1;
}

int option_value(option_cursor* cursor, const char* name, const char** value)
{
    if (!value) return option_flag(cursor, name);
    if (cursor->remaining <= 0 || cursor->options_ended) return 0;
    const char* arg = cursor->next[0];
    if (strcmp(arg, "--") == 0) {
        cursor->options_ended = 1;
        consume(cursor);
        return 0;
    }
    if (strcmp(arg, name) == 0) {
        consume(cursor);
        *value = nullptr;
        if (cursor->remaining > 0) {
            *value = cursor->next[0];
            consume(cursor);
        }
        return 1;
    }
    size_t n = strlen(name);
    if (strncmp(arg, name, n) == 0 && arg[n] == '=') {
        consume(cursor);
        *value = arg + n + 1;
        return 1;
    }
    return 0;
}

int sleep_split(double seconds, int32_t* whole, int32_t* microseconds)
{
    if (!(seconds > 0)) return 0; // negative and NaN
    if (seconds > 86400) seconds = 86400;
    double w = std::floor(seconds);
    *whole = int32_t(w);
    *microseconds = int32_t((seconds - w) * 1e6);
    return 1;
}

void sleep_seconds(double seconds)
{
    int32_t whole, microseconds;
    if (sleep_split(seconds, &whole, &microseconds)) vesk_sleep(whole, microseconds);
}
