#include "gfx/image_q.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/alloc.h"
#include "gfx/image_message.h"
#include "gfx/pixel_buffer.h"

namespace {
// The prediction for channel c of pixel (x, y) of an image of n channels.
inline int predict(const uint8_t* img, int w, int x, int y, int n, int c)
{
    if (y == 0) return x == 0 ? 0 : img[(x - 1) * n + c];
    const uint8_t* here = img + (size_t(y) * size_t(w) + size_t(x)) * n;
    const uint8_t* above = here - size_t(w) * n;
    if (x == 0) return above[c];
    int v = here[c - n] + above[c] - above[c - n];
    return std::clamp(v, 0, 255);
}
} // namespace

int q_decode(image_source* src, int coded_channels, int out_channels, uint8_t** pixels, int* width, int* height)
{
    const char* name = src->name ? src->name : "image";
    int w, h;
    if (!image_source_int(src, &w) || !image_source_int(src, &h)) {
        image_set_error("Can't get Q%d dimensions", coded_channels == 4 ? 7 : 6);
        return 0;
    }
    if (w < 1 || h < 1 || w > IMAGE_MAX_SIDE || h > IMAGE_MAX_SIDE) {
        image_set_error("Bad image size %dx%d in '%.900s'", w, h, name);
        return 0;
    }
    image_source_skip_byte(src);
    size_t count = size_t(w) * size_t(h);
    if (image_source_left(src) / size_t(coded_channels) < count) {
        image_set_error("Truncated image data in '%.900s'", name);
        return 0;
    }
    const int n = out_channels;
    uint8_t* out = pixel_buffer_alloc(w, h, n);
    const uint8_t* in = src->data + src->pos;
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            uint8_t* p = out + (size_t(y) * size_t(w) + size_t(x)) * n;
            for (int c = 0; c < coded_channels; c++) p[c] = uint8_t(predict(out, w, x, y, n, c) + *in++);
            if (coded_channels < n) p[3] = 255;
        }
    }
    src->pos += count * size_t(coded_channels);
    *pixels = out;
    *width = w;
    *height = h;
    return 1;
}

int q6_read(const char*, image_source* src, uint8_t** pixels, int* width, int* height)
{
    if (!q_decode(src, 3, 3, pixels, width, height)) return 0;
    mip_chain_build_rgb(*pixels, *width, *height);
    return 1;
}

int q7_read(const char*, image_source* src, uint8_t** pixels, int* width, int* height)
{
    if (!q_decode(src, 4, 4, pixels, width, height)) return 0;
    mip_chain_build_rgba(*pixels, *width, *height, 0);
    return 1;
}

uint8_t* q_encode(const uint8_t* pixels, int width, int height, int channels, size_t* size)
{
    char header[48];
    int len = snprintf(header, sizeof header, "Q%d\n%d %d\n", channels == 4 ? 7 : 6, width, height);
    size_t bytes = size_t(len) + size_t(width) * size_t(height) * size_t(channels);
    uint8_t* out = static_cast<uint8_t*>(xmalloc(bytes));
    memcpy(out, header, size_t(len));
    uint8_t* d = out + len;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            for (int c = 0; c < channels; c++)
                *d++ = uint8_t(pixels[(size_t(y) * size_t(width) + size_t(x)) * channels + c] -
                               predict(pixels, width, x, y, channels, c));
    *size = bytes;
    return out;
}
