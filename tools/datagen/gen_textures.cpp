// Writes the textures that go with the models: the white texture every LINK
// cycle ends at, the bike skins per stem with their "-alt1" and "-alt2"
// paint variants, the wheel, rider and helmet skins with the variants the
// computer riders wear, and the start-gate and track-object
// images. Skins are 4 x 4 cells of paint (the models' texture coordinates
// pick a cell, see gen_models.cpp), with light grain so they do not read flat.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/alloc.h"
#include "gfx/image_q.h"
#include "tools/datagen/datagen.h"
#include "tools/datagen/gen_shared.h"

namespace {

struct rgb {
    int r, g, b;
};

constexpr int skin_side = 256;

struct canvas {
    int w, h;
    std::vector<uint8_t> px;  // RGB
    canvas(int width, int height) : w(width), h(height), px(size_t(width) * height * 3, 0) {}
    void fill(int x0, int y0, int x1, int y1, rgb c, int grain)
    {
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++) {
                // A fixed hash, so the data root is the same on every build.
                uint32_t n = uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u;
                int d = int((n >> 7) % uint32_t(2 * grain + 1)) - grain;
                uint8_t* p = &px[(size_t(y) * w + x) * 3];
                p[0] = uint8_t(std::clamp(c.r + d, 0, 255));
                p[1] = uint8_t(std::clamp(c.g + d, 0, 255));
                p[2] = uint8_t(std::clamp(c.b + d, 0, 255));
            }
    }
    void cell(int cx, int cy, rgb c, int grain = 6)
    {
        int s = w / 4;
        fill(cx * s, cy * s, cx * s + s, cy * s + s, c, grain);
    }
    void stripe(int cx, int cy, rgb c)
    {
        int s = w / 4;
        fill(cx * s, cy * s + s * 2 / 5, cx * s + s, cy * s + s * 3 / 5, c, 2);
    }
};

int write_png(const std::string& root, const std::string& file, const canvas& c, const char* text = nullptr)
{
    return datagen_write_png(root, file, c.px.data(), c.w, c.h, 3, text);
}

int write_ppm(const std::string& root, const std::string& file, const canvas& c)
{
    std::string data = "P6\n# " + file + "\n" + std::to_string(c.w) + " " + std::to_string(c.h) + "\n255\n";
    data.append(reinterpret_cast<const char*>(c.px.data()), c.px.size());
    return datagen_write_text(root, file, data);
}

rgb of(const unsigned char* c) { return {c[0], c[1], c[2]}; }

const rgb black = {25, 25, 28}, dark = {60, 60, 64}, metal = {170, 172, 178}, white = {235, 235, 235};

canvas bike_skin(rgb paint, rgb trim)
{
    canvas c(skin_side, skin_side);
    c.fill(0, 0, skin_side, skin_side, dark, 4);
    c.cell(0, 0, black);      // tyre
    c.cell(1, 0, metal, 3);   // rims, hubs, exhaust
    c.cell(2, 0, trim);       // frame tubes, clamps, swingarm
    c.cell(3, 0, dark);       // engine, radiators, grips
    c.cell(0, 1, paint);      // tank
    c.cell(1, 1, paint);      // shrouds, fork guards
    c.stripe(1, 1, trim);
    c.cell(2, 1, paint);      // fenders
    c.cell(3, 1, black, 3);   // seat
    return c;
}

canvas rider_skin(rgb jersey, rgb pants)
{
    canvas c(skin_side, skin_side);
    c.fill(0, 0, skin_side, skin_side, dark, 4);
    c.cell(0, 0, jersey);
    c.stripe(0, 0, white);
    c.cell(1, 0, jersey);     // sleeves
    c.cell(2, 0, pants);
    c.cell(3, 0, black);      // gloves, neck brace
    c.cell(0, 1, white, 4);   // boots
    return c;
}

canvas helmet_skin(rgb shell)
{
    canvas c(skin_side / 2, skin_side / 2);
    c.fill(0, 0, c.w, c.h, dark, 4);
    c.cell(0, 0, shell);
    c.stripe(0, 0, white);
    c.cell(1, 0, black);
    c.cell(2, 0, {90, 120, 170}, 2);  // goggle lens
    return c;
}

// A skin's number-plate colours in its image text: the plate in the skin's
// paint, the digits black or white, whichever reads on it (docs/model.md).
std::string plate_text(rgb paint)
{
    int luma = (299 * paint.r + 587 * paint.g + 114 * paint.b) / 1000;
    int digit = luma > 128 ? 0 : 255;
    char text[64];
    snprintf(text, sizeof text, "plate_colours %d %d %d %d %d %d\n", paint.r, paint.g, paint.b, digit, digit, digit);
    return text;
}

int gen_textures(const std::string& root)
{
    canvas white_1(8, 8);
    white_1.fill(0, 0, 8, 8, {255, 255, 255}, 0);
    if (!write_png(root, "colors/white.png", white_1)) return 0;
    for (const bike_stem& s : bike_stems()) {
        if (!write_png(root, std::string(s.name) + ".png", bike_skin(of(s.paint), of(s.alt_paint)),
                       plate_text(of(s.paint)).c_str()) ||
            !write_png(root, std::string(s.name) + "-alt1.png", bike_skin(of(s.alt_paint), of(s.paint)),
                       plate_text(of(s.alt_paint)).c_str()) ||
            !write_png(root, std::string(s.name) + "-alt2.png", bike_skin({235, 235, 235}, of(s.paint)),
                       plate_text({235, 235, 235}).c_str()))
            return 0;
    }
    if (!write_png(root, "wheels.png", bike_skin(metal, dark), plate_text(metal).c_str()) ||
        !write_png(root, "wheels-alt1.png", bike_skin({215, 175, 60}, black), plate_text({215, 175, 60}).c_str()) ||
        !write_png(root, "wheels-alt2.png", bike_skin({40, 40, 45}, {200, 30, 30}), plate_text({40, 40, 45}).c_str()))
        return 0;
    // The computer riders' kit: three paints of body and helmet besides the
    // player's own.
    const rgb kits[4][2] = {
        {{200, 30, 30}, {40, 40, 45}}, {{30, 80, 200}, {230, 230, 230}},
        {{20, 150, 60}, {30, 30, 35}}, {{240, 120, 20}, {250, 250, 250}}};
    const rgb helmets[4] = {{230, 230, 230}, {240, 200, 20}, {20, 150, 60}, {240, 120, 20}};
    for (int k = 0; k < 4; k++) {
        std::string suffix = k == 0 ? ".png" : "-alt" + std::to_string(k) + ".png";
        if (!write_png(root, "rider_body" + suffix, rider_skin(kits[k][0], kits[k][1]), plate_text(kits[k][0]).c_str()) ||
            !write_png(root, "rider_head" + suffix, helmet_skin(helmets[k]), plate_text(helmets[k]).c_str()))
            return 0;
    }

    // Start gate: the drop panel (top half) and the posts and base (bottom).
    canvas gate(128, 128);
    gate.fill(0, 0, 128, 64, {200, 200, 205}, 5);
    gate.fill(0, 28, 128, 36, {210, 40, 30}, 2);
    gate.fill(0, 64, 128, 128, {110, 112, 118}, 6);
    if (!write_ppm(root, "startgate.ppm", gate)) return 0;
    canvas hay(64, 64);
    hay.fill(0, 0, 64, 64, {200, 170, 80}, 20);
    canvas cone(64, 64);
    cone.fill(0, 0, 64, 64, {245, 110, 20}, 4);
    cone.fill(0, 24, 64, 36, white, 2);
    canvas tuff(64, 64);
    tuff.fill(0, 0, 64, 64, {30, 90, 180}, 6);
    if (!write_png(root, "hay_bale.png", hay) || !write_png(root, "cone.png", cone) ||
        !write_png(root, "tuff_block.png", tuff))
        return 0;

    // A waving flag as a predictive-coded animation: four Q6 frames.
    std::string seq = "ANIM1\n4 4 16 1\n0 1 2 3\n";
    for (int f = 0; f < 4; f++) {
        canvas frame(32, 32);
        for (int x = 0; x < 32; x++) {
            int shift = int(3 * std::sin((x + f * 8) * 0.19634954)), band = 12 + shift;
            frame.fill(x, 0, x + 1, band, {230, 230, 230}, 0);
            frame.fill(x, band, x + 1, band + 8, {20, 20, 20}, 0);
            frame.fill(x, band + 8, x + 1, 32, {230, 230, 230}, 0);
        }
        size_t size;
        uint8_t* q = q_encode(frame.px.data(), 32, 32, 3, &size);
        seq.append(reinterpret_cast<const char*>(q), size);
        alloc_check_free(q);
    }
    return datagen_write_text(root, "flag.seq", seq);
}

} // namespace

DATAGEN_STEP("25_textures", gen_textures);
