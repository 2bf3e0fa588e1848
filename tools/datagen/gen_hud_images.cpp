// The images start-up loads for the HUD and the loading screen: the rev
// counter dial, the gear atlas, the pit board and the title. Flat colours
// with simple marks, lettered with a small built-in 5x7 pixel font.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tools/datagen/datagen.h"

namespace {

// 5x7 glyphs, one row per byte, bit 4 the left column.
struct glyph {
    char c;
    uint8_t rows[7];
};
const glyph glyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'N', {0x11, 0x19, 0x15, 0x13, 0x11, 0x11, 0x11}},
    {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}}, {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
};

struct image {
    int w, h;
    std::vector<uint8_t> px;  // RGBA, top row first
    image(int w_, int h_) : w(w_), h(h_), px(size_t(w_) * h_ * 4, 0) {}
    void set(int x, int y, const uint8_t c[4])
    {
        if (x < 0 || y < 0 || x >= w || y >= h) return;
        memcpy(&px[(size_t(y) * w + x) * 4], c, 4);
    }
    void fill(int x0, int y0, int x1, int y1, const uint8_t c[4])
    {
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++) set(x, y, c);
    }
    // One character with its top-left at (x, y), each font pixel scale x scale.
    void letter(char ch, int x, int y, int scale, const uint8_t c[4])
    {
        for (const glyph& g : glyphs)
            if (g.c == ch)
                for (int r = 0; r < 7; r++)
                    for (int k = 0; k < 5; k++)
                        if (g.rows[r] & (0x10 >> k)) fill(x + k * scale, y + r * scale, x + (k + 1) * scale, y + (r + 1) * scale, c);
    }
    // A text centred on (cx, cy); letters 6 font pixels apart.
    void text(const char* s, int cx, int cy, int scale, const uint8_t c[4])
    {
        int n = int(strlen(s));
        int x = cx - (n * 6 - 1) * scale / 2, y = cy - 7 * scale / 2;
        for (int i = 0; i < n; i++) letter(s[i], x + i * 6 * scale, y, scale, c);
    }
    int write(const std::string& root, const char* name) const { return datagen_write_png(root, name, px.data(), w, h, 4); }
};

// The rev counter: a dark disc with a light rim, ticks every 1000 rpm from
// -135 degrees (0 rpm) to +135 degrees (16000 rpm), red from 12000 rpm.
int write_tach(const std::string& root)
{
    const int n = 128;
    image im(n, n);
    const uint8_t face[4] = {24, 24, 28, 230}, rim[4] = {210, 210, 215, 255};
    const uint8_t tick[4] = {235, 235, 235, 255}, red[4] = {220, 30, 30, 255};
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            float u = (float(x) + 0.5f) / n * 2 - 1, v = 1 - (float(y) + 0.5f) / n * 2;
            float r = hypotf(u, v);
            if (r < 0.94f) im.set(x, y, face);
            else if (r < 1.0f) im.set(x, y, rim);
        }
    for (int k = 0; k <= 16; k++) {
        float angle = float((k / 16.0 * 270.0 - 135.0) * M_PI / 180.0);
        for (float r = k % 2 ? 0.8f : 0.7f; r < 0.92f; r += 0.01f) {
            int x = int((r * sinf(angle) + 1) * 0.5f * n), y = int((1 - r * cosf(angle)) * 0.5f * n);
            im.fill(x - 1, y - 1, x + 1, y + 1, k >= 12 ? red : tick);
        }
    }
    return im.write(root, "tach.png");
}

// The gear atlas: cell (gear mod 3, gear div 3), a third of the image each
// way, holds "N" for gear 0, then the digits 1 to 8. The image is 128 square
// (a texture's sides are powers of two), so a cell is 42 2/3 pixels and its
// glyph, 4 pixels to a font dot, is centred in it.
int write_shifter(const std::string& root)
{
    const int n = 128;
    image im(n, n);
    const uint8_t ink[4] = {255, 200, 40, 255};
    const char* labels = "N12345678";
    auto centre = [&](int cell) { return int((float(cell) + 0.5f) * n / 3); };
    for (int g = 0; g < 9; g++) {
        char s[2] = {labels[g], 0};
        im.text(s, centre(g % 3), centre(g / 3), 4, ink);
    }
    return im.write(root, "shifter.png");
}

// The pit board: a white board in a black frame on a grey handle. The HUD
// shows only the rows from 0.125 to 0.8125 of its height (16 to 104), so
// the frame lies inside them, all four sides.
int write_pitboard(const std::string& root)
{
    const int n = 128;
    image im(n, n);
    const uint8_t frame[4] = {20, 20, 20, 255}, board[4] = {245, 245, 235, 255}, handle[4] = {120, 120, 120, 255};
    im.fill(4, 16, n - 4, 104, frame);
    im.fill(8, 20, n - 8, 100, board);
    im.fill(n / 2 - 4, 104, n / 2 + 4, n, handle);
    return im.write(root, "pitboard.png");
}

// The title: 2:1, an evening sky over a dark hill line, and the name.
int write_title(const std::string& root)
{
    const int w = 512, h = 256;
    image im(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            float t = float(y) / h;
            float hill = 0.72f + 0.06f * sinf(float(x) * 0.021f) + 0.03f * sinf(float(x) * 0.057f + 1);
            uint8_t c[4];
            if (t > hill) {
                c[0] = 40, c[1] = 32, c[2] = 24;
            } else {
                c[0] = uint8_t(250 - 120 * t), c[1] = uint8_t(150 - 60 * t), c[2] = uint8_t(60 + 90 * t);
            }
            c[3] = 255;
            im.set(x, y, c);
        }
    const uint8_t shadow[4] = {0, 0, 0, 255}, ink[4] = {255, 255, 255, 255};
    im.text("ZENTRIK", w / 2 + 4, h / 2 - 20, 10, shadow);
    im.text("ZENTRIK", w / 2, h / 2 - 24, 10, ink);
    return im.write(root, "title.png");
}

int write_hud_images(const std::string& root)
{
    return write_tach(root) && write_shifter(root) && write_pitboard(root) && write_title(root);
}

} // namespace

DATAGEN_STEP("42_hud_images", write_hud_images);
