#include "gfx/pixel_buffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/alloc.h"
#include "gfx/image_message.h"
#include "ui/console.h"

size_t mip_chain_bytes(int width, int height, int bytes_per_pixel)
{
    size_t total = 0;
    size_t w = size_t(std::max(1, width)), h = size_t(std::max(1, height));
    for (;;) {
        total += w * h * size_t(bytes_per_pixel);
        if (w * h <= 1) break;
        w = std::max<size_t>(1, w / 2);
        h = std::max<size_t>(1, h / 2);
    }
    return total;
}

uint8_t* pixel_buffer_alloc(int width, int height, int bytes_per_pixel)
{
    return static_cast<uint8_t*>(xmalloc(mip_chain_bytes(width, height, bytes_per_pixel)));
}

int mip_level_count(int width, int height)
{
    int n = 1;
    while (width * height > 1) {
        width = std::max(1, width / 2);
        height = std::max(1, height / 2);
        n++;
    }
    return n;
}

uint8_t* mip_level(uint8_t* pixels, int width, int height, int bytes_per_pixel, int level, int* level_width,
                   int* level_height)
{
    size_t offset = 0;
    for (int i = 0; i < level && width * height > 1; i++) {
        offset += size_t(width) * size_t(height) * size_t(bytes_per_pixel);
        width = std::max(1, width / 2);
        height = std::max(1, height / 2);
    }
    if (level_width) *level_width = width;
    if (level_height) *level_height = height;
    return pixels + offset;
}

void mip_reduce_mean(uint8_t* pixels, int width, int height, int channels)
{
    const int n = channels;
    uint8_t* out = pixels + size_t(width) * size_t(height) * size_t(n);
    if (width == 1 || height == 1) {
        // A one-pixel-wide or -high level: pairs along its length.
        int len = width * height, step = n;
        for (int i = 0; i + 1 < len; i += 2) {
            const uint8_t* a = pixels + size_t(i) * step;
            for (int c = 0; c < n; c++) *out++ = uint8_t((a[c] + a[step + c]) >> 1);
        }
        return;
    }
    size_t row = size_t(width) * n;
    for (int y = 0; y + 1 < height; y += 2) {
        const uint8_t* r0 = pixels + size_t(y) * row;
        const uint8_t* r1 = r0 + row;
        for (int x = 0; x + 1 < width; x += 2) {
            const uint8_t* p = r0 + size_t(x) * n;
            const uint8_t* q = r1 + size_t(x) * n;
            for (int c = 0; c < n; c++) *out++ = uint8_t((p[c] + p[n + c] + q[c] + q[n + c]) >> 2);
        }
    }
}

void mip_reduce_rgb(uint8_t* pixels, int width, int height) { mip_reduce_mean(pixels, width, height, 3); }

namespace {
// The alpha-weighted mean of k (2 or 4) RGBA pixels; opaque and fully
// transparent blocks take the plain mean so they keep their colour.
inline void reduce_rgba_block(const uint8_t* const* src, int k, uint32_t flags, uint8_t* out)
{
    int sum = 0, amax = 0;
    for (int i = 0; i < k; i++) {
        sum += src[i][3];
        amax = std::max(amax, int(src[i][3]));
    }
    int shift = k == 4 ? 2 : 1;
    bool plain = sum == 0 || sum == 255 * k;
    for (int c = 0; c < 3; c++) {
        int v = 0;
        if (plain) {
            for (int i = 0; i < k; i++) v += src[i][c];
            v >>= shift;
        } else {
            for (int i = 0; i < k; i++) v += src[i][c] * src[i][3];
            v /= sum;
        }
        out[c] = uint8_t(v);
    }
    out[3] = uint8_t((flags & MIP_MAX_ALPHA) ? amax : sum >> shift);
}
} // namespace

void mip_reduce_rgba(uint8_t* pixels, int width, int height, uint32_t flags)
{
    uint8_t* out = pixels + size_t(width) * size_t(height) * 4;
    const uint8_t* block[4];
    if (width == 1 || height == 1) {
        int len = width * height;
        for (int i = 0; i + 1 < len; i += 2) {
            block[0] = pixels + size_t(i) * 4;
            block[1] = block[0] + 4;
            reduce_rgba_block(block, 2, flags, out);
            out += 4;
        }
        return;
    }
    size_t row = size_t(width) * 4;
    for (int y = 0; y + 1 < height; y += 2) {
        for (int x = 0; x + 1 < width; x += 2) {
            block[0] = pixels + size_t(y) * row + size_t(x) * 4;
            block[1] = block[0] + 4;
            block[2] = block[0] + row;
            block[3] = block[2] + 4;
            reduce_rgba_block(block, 4, flags, out);
            out += 4;
        }
    }
}

namespace {
void chain_build(uint8_t* pixels, int width, int height, int bpp, bool rgba, uint32_t flags)
{
    while (width * height > 1) {
        if (rgba)
            mip_reduce_rgba(pixels, width, height, flags);
        else
            mip_reduce_mean(pixels, width, height, bpp);
        pixels += size_t(width) * size_t(height) * size_t(bpp);
        width = std::max(1, width / 2);
        height = std::max(1, height / 2);
    }
}
} // namespace

void mip_chain_build(uint8_t* pixels, int width, int height, int bytes_per_pixel)
{
    chain_build(pixels, width, height, bytes_per_pixel, bytes_per_pixel == 4, 0);
}

void mip_chain_build_rgb(uint8_t* pixels, int width, int height) { chain_build(pixels, width, height, 3, false, 0); }

void mip_chain_build_rgba(uint8_t* pixels, int width, int height, uint32_t flags)
{
    chain_build(pixels, width, height, 4, true, flags);
}

bool is_power_of_two(int v) { return v > 0 && (v & (v - 1)) == 0; }

int pot_not_above(int v)
{
    int p = 1;
    while (p <= v / 2) p *= 2;
    return p;
}

int pot_strictly_below(int v) { return v <= 2 ? 1 : pot_not_above(v - 1); }

uint8_t* image_resample_nearest(const uint8_t* pixels, int width, int height, int bytes_per_pixel, int new_w,
                                int new_h)
{
    uint8_t* out = pixel_buffer_alloc(new_w, new_h, bytes_per_pixel);
    const size_t n = size_t(bytes_per_pixel);
    uint8_t* dst = out;
    for (int y = 0; y < new_h; y++) {
        const uint8_t* row = pixels + size_t(int64_t(y) * height / new_h) * size_t(width) * n;
        for (int x = 0; x < new_w; x++) {
            memcpy(dst, row + size_t(int64_t(x) * width / new_w) * n, n);
            dst += n;
        }
    }
    mip_chain_build(out, new_w, new_h, bytes_per_pixel);
    return out;
}

namespace {
// 3:1 bilinear interpolation index pair for fine coordinate x of a coarse
// line of length coarse: (far, near) with weights 1 and 3.
inline void upsample_taps(int x, int coarse, int* near_index, int* far_index)
{
    int k = x >> 1;
    int far = (x & 1) ? k + 1 : k - 1;
    *near_index = std::min(k, coarse - 1);
    *far_index = std::clamp(far, 0, coarse - 1);
}

// True when every channel of the level lies within 4 of its prediction from
// the next smaller level.
bool level_predictable(const uint8_t* level, int w, int h, int bpp)
{
    const uint8_t* coarse = level + size_t(w) * size_t(h) * size_t(bpp);
    int cw = std::max(1, w / 2), ch = std::max(1, h / 2);
    int channels = std::min(bpp, 4);
    for (int y = 0; y < h; y++) {
        int yn, yf;
        upsample_taps(y, ch, &yn, &yf);
        const uint8_t* rn = coarse + size_t(yn) * size_t(cw) * size_t(bpp);
        const uint8_t* rf = coarse + size_t(yf) * size_t(cw) * size_t(bpp);
        const uint8_t* src = level + size_t(y) * size_t(w) * size_t(bpp);
        for (int x = 0; x < w; x++) {
            int xn, xf;
            upsample_taps(x, cw, &xn, &xf);
            for (int c = 0; c < channels; c++) {
                int hn = (rn[xn * bpp + c] * 3 + rn[xf * bpp + c]) >> 2;
                int hf = (rf[xn * bpp + c] * 3 + rf[xf * bpp + c]) >> 2;
                int predicted = (hn * 3 + hf) >> 2;
                int d = src[x * bpp + c] - predicted;
                if (d < -4 || d > 4) return false;
            }
        }
    }
    return true;
}
} // namespace

fitted_choice texture_fit_choose(uint8_t* pixels, int width, int height, int bytes_per_pixel, int drop_levels)
{
    fitted_choice choice = {0, width, height, 0};
    auto drop = [&]() {
        choice.level++;
        choice.width = std::max(1, choice.width / 2);
        choice.height = std::max(1, choice.height / 2);
    };
    if (drop_levels > 0 && width > 128 && height > 128) {
        int gone = 0;
        do {
            drop();
            gone++;
        } while (gone < drop_levels && choice.width > 128 && choice.height > 128);
        // Levels that large are never 16 or less, so the detail test follows.
    } else if (width <= 16 && height <= 16) {
        return choice;
    }
    for (;;) {
        if (choice.width * choice.height <= 1) break;
        uint8_t* level = mip_level(pixels, width, height, bytes_per_pixel, choice.level, nullptr, nullptr);
        if (!level_predictable(level, choice.width, choice.height, bytes_per_pixel)) break;
        bool small = choice.width <= 33 && choice.height <= 33;
        drop();
        choice.dropped_by_detail = 1;
        if (small) break;
    }
    return choice;
}

void image_fit_pot(uint8_t** pixels, int* width, int* height, int bytes_per_pixel, int max_pixels, int drop_levels)
{
    int w = *width, h = *height;
    if (!is_power_of_two(w) || !is_power_of_two(h)) {
        int nw = pot_not_above(w), nh = pot_not_above(h);
        uint8_t* resampled = image_resample_nearest(*pixels, w, h, bytes_per_pixel, nw, nh);
        alloc_check_free(*pixels);
        *pixels = resampled;
        *width = w = nw;
        *height = h = nh;
    }
    int level = 0, lw = w, lh = h;
    while ((drop_levels > 0 || int64_t(lw) * lh > max_pixels) && int64_t(lw) * lh >= 16385) {
        if (drop_levels > 0) drop_levels--;
        level++;
        lw = std::max(1, lw / 2);
        lh = std::max(1, lh / 2);
    }
    if (level == 0) return;
    const uint8_t* top = mip_level(*pixels, w, h, bytes_per_pixel, level, nullptr, nullptr);
    size_t bytes = mip_chain_bytes(lw, lh, bytes_per_pixel);
    uint8_t* copy = static_cast<uint8_t*>(xmalloc(bytes));
    memcpy(copy, top, bytes);
    alloc_check_free(*pixels);
    *pixels = copy;
    *width = lw;
    *height = lh;
}

int mip_custom_relayout(const char* name, uint8_t** pixels, int* width, int* height, int bytes_per_pixel)
{
    const int sw = *width, sh = *height;
    const size_t n = size_t(bytes_per_pixel);
    if ((2 * sh) % 3 != 0 || sw < 1 || sh < 3) {
        console_printf("Warning: Invalid height for custom MIP map in '%.950s'", name);
        return 0;
    }
    const int w0 = sw, h0 = 2 * sh / 3;
    // Each smaller level goes below the one before in the current column; a
    // new column starts right of the widest level so far when the next level
    // would run past the source's bottom. Every rectangle is checked against
    // the source before anything is copied, so a narrow source is refused.
    int count = mip_level_count(w0, h0);
    int xs[32], ys[32];
    xs[0] = 0;
    ys[0] = 0;
    int col_x = 0, col_w = 0, y = h0;
    int lw = w0, lh = h0;
    for (int level = 1; level < count; level++) {
        lw = std::max(1, lw / 2);
        lh = std::max(1, lh / 2);
        if (y + lh > sh) {
            col_x += col_w;
            col_w = 0;
            y = h0;
        }
        if (col_x + lw > sw || y + lh > sh) {
            console_printf("Warning: Invalid height for custom MIP map in '%.950s'", name);
            return 0;
        }
        xs[level] = col_x;
        ys[level] = y;
        y += lh;
        col_w = std::max(col_w, lw);
    }
    uint8_t* out = pixel_buffer_alloc(w0, h0, bytes_per_pixel);
    uint8_t* dst = out;
    lw = w0;
    lh = h0;
    for (int level = 0; level < count; level++) {
        for (int row = 0; row < lh; row++) {
            memcpy(dst, *pixels + (size_t(ys[level] + row) * size_t(sw) + size_t(xs[level])) * n, size_t(lw) * n);
            dst += size_t(lw) * n;
        }
        lw = std::max(1, lw / 2);
        lh = std::max(1, lh / 2);
    }
    alloc_check_free(*pixels);
    *pixels = out;
    *width = w0;
    *height = h0;
    return 1;
}

void texture_border_colour(const uint8_t* pixels, int width, int height, int bytes_per_pixel, float out[4])
{
    out[0] = out[1] = out[2] = out[3] = 0;
    if (bytes_per_pixel != 3) return;
    int bins[512] = {};
    auto count = [&](int x, int y) {
        const uint8_t* p = pixels + (size_t(y) * size_t(width) + size_t(x)) * 3;
        bins[(p[0] * 7 / 255) * 64 + (p[1] * 7 / 255) * 8 + p[2] * 7 / 255]++;
    };
    for (int x = 0; x < width; x++) {
        count(x, 0);
        count(x, height - 1);
    }
    for (int y = 0; y < height; y++) {
        count(0, y);
        count(width - 1, y);
    }
    int best = 0;
    for (int i = 1; i < 512; i++)
        if (bins[i] > bins[best]) best = i;
    out[0] = float(best >> 6) / 7.0f;
    out[1] = float((best >> 3) & 7) / 7.0f;
    out[2] = float(best & 7) / 7.0f;
}
