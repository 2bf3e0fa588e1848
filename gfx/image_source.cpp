#include "gfx/image_source.h"

#include <cctype>

image_source image_source_make(const void* data, size_t size, const char* name)
{
    return image_source{static_cast<const uint8_t*>(data), size, 0, name};
}

size_t image_source_left(const image_source* src) { return src->size - src->pos; }

namespace {
void skip_space(image_source* src)
{
    while (src->pos < src->size && isspace(src->data[src->pos])) src->pos++;
}

void skip_space_and_comments(image_source* src)
{
    for (;;) {
        skip_space(src);
        if (src->pos >= src->size || src->data[src->pos] != '#') return;
        while (src->pos < src->size && src->data[src->pos] != '\n') src->pos++;
    }
}

int read_int(image_source* src, int* value)
{
    bool negative = false;
    if (src->pos < src->size && (src->data[src->pos] == '-' || src->data[src->pos] == '+'))
        negative = src->data[src->pos++] == '-';
    size_t start = src->pos;
    int64_t v = 0;
    while (src->pos < src->size && isdigit(src->data[src->pos])) {
        v = v * 10 + (src->data[src->pos++] - '0');
        if (v > INT32_MAX) return 0;
    }
    if (src->pos == start) return 0;
    *value = int(negative ? -v : v);
    return 1;
}
} // namespace

int image_source_token(image_source* src, char* out, int max_len)
{
    skip_space(src);
    int n = 0;
    while (src->pos < src->size && !isspace(src->data[src->pos]) && n < max_len - 1)
        out[n++] = char(src->data[src->pos++]);
    out[n] = 0;
    return n > 0;
}

int image_source_int(image_source* src, int* value)
{
    skip_space_and_comments(src);
    return read_int(src, value);
}

int image_source_sample(image_source* src, int* value)
{
    skip_space(src);
    return read_int(src, value);
}

int image_source_skip_byte(image_source* src)
{
    if (src->pos >= src->size) return 0;
    src->pos++;
    return 1;
}
