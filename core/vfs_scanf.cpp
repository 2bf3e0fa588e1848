// The system's scanf engine over a stream, with one byte of lookahead.
#include <cctype>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "core/vfs.h"

namespace {

constexpr int no_char = -2;          // nothing read yet
constexpr int unlimited_width = 1000000;

struct scan_source {
    vfs_stream* stream;
    int32_t consumed; // bytes taken by this call, for "%n"
};

int next(scan_source* src)
{
    int c = vfs_getc(src->stream);
    if (c >= 0) src->consumed++;
    return c;
}

// Leaves c for the next read of any kind.
void unget(scan_source* src, int c)
{
    if (c < 0) return;
    src->stream->lookahead = c;
    src->consumed--;
}

int skip_space(scan_source* src)
{
    int c = next(src);
    while (c >= 0 && isspace(c)) c = next(src);
    return c;
}

int digit_value(int c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

// The bytes of one "%[" set; returns the format after its "]", or null when
// the format ends inside the set.
const char* parse_set(const char* p, bool in_set[256])
{
    bool negate = false;
    if (*p == '^') {
        negate = true;
        p++;
    }
    memset(in_set, 0, 256);
    if (*p == ']') {
        in_set[']'] = true;
        p++;
    }
    for (; *p && *p != ']'; p++) {
        unsigned char lo = static_cast<unsigned char>(*p);
        if (p[1] == '-' && p[2] && p[2] != ']') {
            unsigned char hi = static_cast<unsigned char>(p[2]);
            for (int c = lo; c <= hi; c++) in_set[c] = true;
            p += 2;
        } else {
            in_set[lo] = true;
        }
    }
    if (!*p) return nullptr;
    if (negate)
        for (int c = 0; c < 256; c++) in_set[c] = !in_set[c];
    return p + 1;
}

} // namespace

int vfs_scanf_args(vfs_stream* stream, const char* format, ...)
{
    scan_source src{stream, 0};
    va_list args;
    va_start(args, format);
    int count = 0;
    const char* p = format;
    while (*p) {
        unsigned char f = static_cast<unsigned char>(*p);
        if (isspace(f)) {
            unget(&src, skip_space(&src));
            p++;
            continue;
        }
        if (f != '%') {
            int c = next(&src);
            if (c != f) {
                unget(&src, c);
                count = -1;
                goto done;
            }
            p++;
            continue;
        }
        p++;
        bool suppress = false;
        if (*p == '*') {
            suppress = true;
            p++;
        }
        int width = 0;
        while (*p >= '0' && *p <= '9') {
            if (width < unlimited_width) width = width * 10 + (*p - '0');
            p++;
        }
        bool half = false;
        int longs = 0;
        for (;; p++) {
            if (*p == 'h') half = true;
            else if (*p == 'l') longs++;
            else if (*p == 'L' || *p == 'q') longs = 2;
            else break;
        }
        char conversion = *p;
        if (!conversion) goto done;
        p++;
        int limit = width > 0 ? width : unlimited_width;
        switch (conversion) {
        case '%': {
            int c = next(&src);
            if (c != '%') {
                unget(&src, c);
                if (c < 0 && count == 0) count = -1;
                goto done;
            }
            break;
        }
        case 'd':
        case 'i':
        case 'o':
        case 'x':
        case 'X': {
            int base = conversion == 'd' ? 10 : conversion == 'i' ? 0 : conversion == 'o' ? 8 : 16;
            int c = skip_space(&src);
            if (c < 0) {
                if (count == 0) count = -1;
                goto done;
            }
            int used = 0;
            bool negative = false, any_digit = false;
            // Accepts c and reads the next byte while the width allows.
            auto accept = [&] {
                used++;
                c = used < limit ? next(&src) : no_char;
            };
            if (c == '+' || c == '-') {
                negative = c == '-';
                accept();
            }
            if ((base == 0 || base == 16) && c == '0') {
                any_digit = true;
                accept();
                if (c == 'x' || c == 'X') {
                    base = 16;
                    accept();
                } else if (base == 0) {
                    base = 8;
                }
            }
            if (base == 0) base = 10;
            // Digits wrap modulo 2^64 and are stored modulo 2^32.
            uint64_t value = 0;
            while (c >= 0 && digit_value(c) < base) {
                value = value * uint64_t(base) + uint64_t(digit_value(c));
                any_digit = true;
                accept();
            }
            unget(&src, c);
            if (!any_digit) goto done;
            if (negative) value = 0 - value;
            if (!suppress) {
                if (half)
                    *va_arg(args, int16_t*) = int16_t(uint16_t(value));
                else
                    *va_arg(args, int32_t*) = int32_t(uint32_t(value));
                count++;
            }
            break;
        }
        case 'f': {
            int c = skip_space(&src);
            if (c < 0) {
                if (count == 0) count = -1;
                goto done;
            }
            if (width == 1) {
                unget(&src, c);
                goto done;
            }
            char text[128];
            int n = 0, used = 0;
            bool any_digit = false, point = false;
            auto accept = [&] {
                if (n < int(sizeof text) - 1) text[n++] = char(c);
                used++;
                c = used < limit ? next(&src) : no_char;
            };
            if (c == '+' || c == '-') accept();
            while (c >= 0 && (isdigit(c) || (c == '.' && !point))) {
                if (c == '.') point = true;
                else any_digit = true;
                accept();
            }
            if (any_digit && (c == 'e' || c == 'E')) {
                accept();
                if (c == '+' || c == '-') accept();
                while (c >= 0 && isdigit(c)) accept();
            }
            unget(&src, c);
            if (!any_digit) goto done;
            text[n] = 0;
            if (!suppress) {
                if (longs >= 2)
                    *va_arg(args, long double*) = strtold(text, nullptr);
                else if (longs == 1)
                    *va_arg(args, double*) = strtod(text, nullptr);
                else
                    *va_arg(args, float*) = strtof(text, nullptr);
                count++;
            }
            break;
        }
        case 's': {
            int c = skip_space(&src);
            if (c < 0) {
                if (count == 0) count = -1;
                goto done;
            }
            char* out = suppress ? nullptr : va_arg(args, char*);
            int used = 0;
            while (c >= 0 && !isspace(c)) {
                if (out) out[used] = char(c);
                used++;
                c = used < limit ? next(&src) : no_char;
            }
            unget(&src, c);
            if (out) {
                out[used] = 0;
                count++;
            }
            break;
        }
        case 'c': {
            int want = width > 0 ? width : 1;
            char* out = suppress ? nullptr : va_arg(args, char*);
            int used = 0;
            while (used < want) {
                int c = next(&src);
                if (c < 0) break;
                if (out) out[used] = char(c);
                used++;
            }
            if (used == 0) {
                if (count == 0) count = -1;
                goto done;
            }
            if (out) count++;
            break;
        }
        case '[': {
            bool in_set[256];
            p = parse_set(p, in_set);
            if (!p) goto done;
            int c = next(&src);
            if (c < 0) {
                if (count == 0) count = -1;
                goto done;
            }
            char* out = suppress ? nullptr : va_arg(args, char*);
            int used = 0;
            while (c >= 0 && in_set[c]) {
                if (out) out[used] = char(c);
                used++;
                c = used < limit ? next(&src) : no_char;
            }
            unget(&src, c);
            if (used == 0) goto done;
            // A suppressed set ends the scan: the comment idiom
            // " %1[#]%*[^\n]" rests on it.
            if (!out) goto done;
            out[used] = 0;
            count++;
            break;
        }
        case 'n':
            if (!suppress) {
                if (half)
                    *va_arg(args, int16_t*) = int16_t(src.consumed);
                else
                    *va_arg(args, int32_t*) = src.consumed;
            }
            break;
        default:
            goto done;
        }
    }
done:
    va_end(args);
    return count;
}
