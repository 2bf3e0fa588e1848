#include "gfx/texture_anim.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "core/alloc.h"
#include "gfx/image_message.h"
#include "gfx/image_q.h"
#include "gfx/pixel_buffer.h"

namespace {
void free_frames(anim_frame* frames, int count)
{
    for (int i = 0; i < count; i++) alloc_check_free(frames[i].pixels);
}

// The rest of the current line, trimmed at both ends; 0 at the end of the file.
int rest_of_line(image_source* src, char* out, int size)
{
    while (src->pos < src->size && (src->data[src->pos] == ' ' || src->data[src->pos] == '\t')) src->pos++;
    if (src->pos >= src->size) return 0;
    int n = 0;
    while (src->pos < src->size && src->data[src->pos] != '\n') {
        if (n < size - 1) out[n++] = char(src->data[src->pos]);
        src->pos++;
    }
    while (n > 0 && isspace(static_cast<unsigned char>(out[n - 1]))) n--;
    out[n] = 0;
    return 1;
}

// One frame at the reader; 1 on success with *frame filled.
int read_frame(image_source* src, int index, anim_png_reader read_png, anim_frame* frame)
{
    char token[16];
    if (!image_source_token(src, token, sizeof token)) {
        image_set_error("EOF while reading .seq");
        return 0;
    }
    int w, h, bpp;
    uint8_t* pixels = nullptr;
    if (strcmp(token, "Q6") == 0 || strcmp(token, "Q7") == 0) {
        // Frames are always 4 channels; a Q6 frame is opaque.
        if (!q_decode(src, token[1] == '7' ? 4 : 3, 4, &pixels, &w, &h)) return 0;
        bpp = 4;
        mip_chain_build_rgba(pixels, w, h, 0);
    } else if (strcmp(token, "PNG") == 0) {
        char name[1024];
        if (!rest_of_line(src, name, sizeof name)) {
            image_set_error("EOF while reading .seq");
            return 0;
        }
        if (!read_png || !read_png(name, &pixels, &w, &h, &bpp)) {
            image_set_error("Can't read %.900s", name);
            return 0;
        }
    } else {
        image_set_error("Error reading .seq frame %d", index);
        return 0;
    }
    frame->pixels = pixels;
    frame->width = w;
    frame->height = h;
    frame->bytes_per_pixel = bpp;
    return 1;
}
} // namespace

animated_texture* anim_read(image_source* src, anim_png_reader read_png, int frame_pixel_limit)
{
    int length, count, period, loop;
    if (!image_source_sample(src, &length) || !image_source_sample(src, &count) ||
        !image_source_sample(src, &period) || !image_source_sample(src, &loop)) {
        image_set_error("EOF while reading .seq");
        return nullptr;
    }
    // A period below 1 would divide by zero or step backwards.
    if (length < 1 || count < 1 || length > ANIM_MAX_ENTRIES || count > ANIM_MAX_ENTRIES || period < 1) {
        image_set_error("Bad .seq header %d %d %d", length, count, period);
        return nullptr;
    }
    size_t bytes = sizeof(animated_texture) + sizeof(anim_frame) * size_t(count) + sizeof(int32_t) * size_t(length);
    auto* anim = static_cast<animated_texture*>(xmalloc(bytes));
    memset(anim, 0, bytes);
    anim->length = length;
    anim->frame_count = count;
    anim->period = period;
    anim->loop = loop;
    anim->frames = reinterpret_cast<anim_frame*>(anim + 1);
    anim->sequence = reinterpret_cast<int32_t*>(anim->frames + count);
    for (int i = 0; i < length; i++) {
        int index;
        if (!image_source_sample(src, &index) || index < 0 || index >= count) {
            image_set_error("Bad .seq sequence entry %d", i);
            alloc_check_free(anim);
            return nullptr;
        }
        anim->sequence[i] = index;
    }
    for (int i = 0; i < count; i++) {
        anim_frame* f = &anim->frames[i];
        if (!read_frame(src, i, read_png, f)) {
            free_frames(anim->frames, i);
            alloc_check_free(anim);
            return nullptr;
        }
        image_fit_pot(&f->pixels, &f->width, &f->height, f->bytes_per_pixel, frame_pixel_limit, 0);
        const char* mismatch = nullptr;
        if (f->width != anim->frames[0].width || f->height != anim->frames[0].height)
            mismatch = "Width/height mismatch reading .seq";
        else if (f->bytes_per_pixel != anim->frames[0].bytes_per_pixel)
            mismatch = "Depth mismatch reading .seq";
        if (mismatch) {
            image_set_error("%s", mismatch);
            free_frames(anim->frames, i + 1);
            alloc_check_free(anim);
            return nullptr;
        }
    }
    anim->frame = anim->sequence[0];
    return anim;
}

void anim_free(animated_texture* anim)
{
    if (!anim) return;
    free_frames(anim->frames, anim->frame_count);
    alloc_check_free(anim->custom);
    alloc_check_free(anim);
}

int anim_sequence_position(const animated_texture* anim, int tic)
{
    int s = std::max(0, tic - anim->start) / anim->period;
    return anim->loop ? s % anim->length : std::min(s, anim->length - 1);
}

namespace {
// Pixel position of a fraction: ceil(v * size - 0.5), kept within a range
// that the int conversion can hold.
int position(float v, int size)
{
    double p = std::ceil(double(v) * size - 0.5);
    return int(std::clamp(p, -1e8, 1e8));
}

// Clips one axis; 0 when nothing is left.
int clip_axis(float s, float d, float f, int size, int* src, int* dst, int* n)
{
    *src = position(s, size);
    *dst = position(d, size);
    double want = std::trunc(double(size) * f);
    *n = int(std::min<double>(std::clamp(want, -1e8, 1e8), double(size) - std::max(*src, *dst)));
    if (*src < 0) {
        *n += *src;
        *dst -= *src;
        *src = 0;
    }
    if (*dst < 0) {
        *n += *dst;
        *src -= *dst;
        *dst = 0;
    }
    return *n > 0 && *src < size && *dst < size;
}

// The compose rule of an RGBA source pixel s over the buffer pixel d.
void composite(const uint8_t* s, uint8_t* d)
{
    int a = s[3], b = d[3];
    if (a == 0) {
        if (b == 0) memcpy(d, s, 4);
        return;
    }
    if (a == 255 || b == 0) {
        memcpy(d, s, 4);
        return;
    }
    if (b == 255) {
        for (int c = 0; c < 3; c++) d[c] = uint8_t((s[c] * a + d[c] * (255 - a)) / 255);
        d[3] = 255;
        return;
    }
    int n = b * (255 - a) + 255 * a;
    for (int c = 0; c < 3; c++) d[c] = uint8_t((s[c] * a * 255 + d[c] * b * (255 - a)) / n);
    d[3] = uint8_t(a + b * (255 - a) / 255);
}
} // namespace

int anim_paste(animated_texture* anim, int frame, float sx, float sy, float dx, float dy, float fw, float fh)
{
    if (!anim->custom || frame < 0 || frame >= anim->frame_count) return 0;
    const float values[] = {sx, sy, dx, dy, fw, fh};
    for (float v : values)
        if (!std::isfinite(v)) return 0;
    const anim_frame* f = &anim->frames[frame];
    const anim_frame* target = &anim->frames[0];
    // The buffer has frame 0's size; frames all share it.
    int W = target->width, H = target->height, bpp = target->bytes_per_pixel;
    int x0, x1, nx, y0, y1, ny;
    if (!clip_axis(sx, dx, fw, W, &x0, &x1, &nx) || !clip_axis(sy, dy, fh, H, &y0, &y1, &ny)) return 0;
    for (int y = 0; y < ny; y++) {
        const uint8_t* s = f->pixels + (size_t(y0 + y) * size_t(W) + size_t(x0)) * size_t(bpp);
        uint8_t* d = anim->custom + (size_t(y1 + y) * size_t(W) + size_t(x1)) * size_t(bpp);
        if (bpp != 4) {
            memcpy(d, s, size_t(nx) * size_t(bpp));
            continue;
        }
        for (int x = 0; x < nx; x++) composite(s + 4 * x, d + 4 * x);
    }
    return 1;
}
