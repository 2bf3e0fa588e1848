#include "gfx/image_pnm.h"

#include <cstring>

#include "core/alloc.h"
#include "gfx/image_message.h"
#include "gfx/pixel_buffer.h"

namespace {
const char* name_of(const image_source* src) { return src->name ? src->name : "image"; }

// Width, height and maxval with their comment lines, the limits checked.
int read_header(image_source* src, const char* kind, int* width, int* height, int* maxval)
{
    if (!image_source_int(src, width) || !image_source_int(src, height) || !image_source_int(src, maxval)) {
        image_set_error("Can't get %s dimensions", kind);
        return 0;
    }
    if (*width < 1 || *height < 1 || *width > IMAGE_MAX_SIDE || *height > IMAGE_MAX_SIDE) {
        image_set_error("Bad %s size %dx%d in '%.900s'", kind, *width, *height, name_of(src));
        return 0;
    }
    if (*maxval < 1 || *maxval > 65535) {
        image_set_error("Bad %s maxval %d in '%.900s'", kind, *maxval, name_of(src));
        return 0;
    }
    return 1;
}

// Whether the data left can hold count samples (raw: after the one separator
// byte; text: at least a digit each), checked before the pixels are allocated
// so a header cannot make a few bytes claim a huge buffer.
int samples_may_fit(const image_source* src, bool raw, int maxval, size_t count, const char* kind)
{
    size_t left = image_source_left(src);
    size_t need = raw ? count * (maxval > 255 ? 2 : 1) + 1 : count;
    if (left >= need) return 1;
    image_set_error("Truncated %s data in '%.900s'", kind, name_of(src));
    return 0;
}

// count samples scaled to 0..255 into out; raw or text.
int read_samples(image_source* src, bool raw, int maxval, size_t count, uint8_t* out, const char* kind)
{
    if (raw) {
        // Exactly one byte separates the header from the samples.
        image_source_skip_byte(src);
        size_t bytes_per_sample = maxval > 255 ? 2 : 1;
        if (image_source_left(src) / bytes_per_sample < count) {
            image_set_error("Truncated %s data in '%.900s'", kind, name_of(src));
            return 0;
        }
        const uint8_t* p = src->data + src->pos;
        for (size_t i = 0; i < count; i++) {
            int v = bytes_per_sample == 2 ? (p[2 * i] << 8 | p[2 * i + 1]) : p[i];
            if (v > maxval) v = maxval;
            out[i] = maxval == 255 ? uint8_t(v) : uint8_t(v * 255 / maxval);
        }
        src->pos += count * bytes_per_sample;
        return 1;
    }
    for (size_t i = 0; i < count; i++) {
        int v;
        if (!image_source_sample(src, &v)) {
            image_set_error("Truncated %s data in '%.900s'", kind, name_of(src));
            return 0;
        }
        v = v < 0 ? 0 : v > maxval ? maxval : v;
        out[i] = uint8_t(v * 255 / maxval);
    }
    return 1;
}
} // namespace

int ppm_read(const char* magic, image_source* src, uint8_t** pixels, int* width, int* height)
{
    int w, h, maxval;
    bool raw = strcmp(magic, "P6") == 0;
    if (!read_header(src, "PPM", &w, &h, &maxval) ||
        !samples_may_fit(src, raw, maxval, size_t(w) * size_t(h) * 3, "PPM"))
        return 0;
    uint8_t* buffer = pixel_buffer_alloc(w, h, 3);
    if (!read_samples(src, raw, maxval, size_t(w) * size_t(h) * 3, buffer, "PPM")) {
        alloc_check_free(buffer);
        return 0;
    }
    mip_chain_build_rgb(buffer, w, h);
    *pixels = buffer;
    *width = w;
    *height = h;
    return 1;
}

int pgm_decode(image_source* src, uint8_t** pixels, int* width, int* height)
{
    char magic[16];
    if (!image_source_token(src, magic, sizeof magic) || (strcmp(magic, "P5") != 0 && strcmp(magic, "P2") != 0)) {
        image_set_error("Can't get PGM dimensions");
        return 0;
    }
    int w, h, maxval;
    bool raw = magic[1] == '5';
    if (!read_header(src, "PGM", &w, &h, &maxval) || !samples_may_fit(src, raw, maxval, size_t(w) * size_t(h), "PGM"))
        return 0;
    uint8_t* buffer = static_cast<uint8_t*>(xmalloc(size_t(w) * size_t(h)));
    if (!read_samples(src, raw, maxval, size_t(w) * size_t(h), buffer, "PGM")) {
        alloc_check_free(buffer);
        return 0;
    }
    *pixels = buffer;
    *width = w;
    *height = h;
    return 1;
}
