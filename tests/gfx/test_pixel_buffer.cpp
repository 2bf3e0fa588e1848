#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/alloc.h"
#include "gfx/pixel_buffer.h"
#include "ui/console.h"

namespace {

std::vector<uint8_t> chain_of(const std::vector<uint8_t>& level0, int w, int h, int bpp)
{
    std::vector<uint8_t> buf(mip_chain_bytes(w, h, bpp));
    memcpy(buf.data(), level0.data(), level0.size());
    return buf;
}

TEST(MipChain, BytesAndLevels)
{
    EXPECT_EQ(mip_chain_bytes(1, 1, 3), 3u);
    EXPECT_EQ(mip_chain_bytes(4, 4, 4), (16u + 4u + 1u) * 4u);
    EXPECT_EQ(mip_chain_bytes(4, 1, 3), (4u + 2u + 1u) * 3u);
    EXPECT_EQ(mip_chain_bytes(8, 2, 3), (16u + 4u + 2u + 1u) * 3u);  // 8x2, 4x1, 2x1, 1x1
    EXPECT_EQ(mip_level_count(1, 1), 1);
    EXPECT_EQ(mip_level_count(8, 2), 4);
    int w, h;
    std::vector<uint8_t> buf(mip_chain_bytes(8, 2, 3));
    EXPECT_EQ(mip_level(buf.data(), 8, 2, 3, 2, &w, &h), buf.data() + (16 + 4) * 3);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 1);
}

TEST(MipChain, RgbMeanTruncates)
{
    auto buf = chain_of({10, 20, 30, 11, 21, 31, 12, 22, 32, 13, 23, 34}, 2, 2, 3);
    mip_chain_build_rgb(buf.data(), 2, 2);
    // (10+11+12+13)>>2 = 11, (20+...+23)>>2 = 21, (30+31+32+34)>>2 = 31
    EXPECT_EQ(buf[12], 11);
    EXPECT_EQ(buf[13], 21);
    EXPECT_EQ(buf[14], 31);
}

TEST(MipChain, ThinLevelsReduceAlongTheirLength)
{
    for (auto [w, h] : {std::pair{1, 4}, std::pair{4, 1}}) {
        auto buf = chain_of({0, 0, 0, 10, 10, 10, 100, 100, 100, 201, 201, 201}, w, h, 3);
        mip_chain_build_rgb(buf.data(), w, h);
        EXPECT_EQ(buf[12], 5) << w << "x" << h;
        EXPECT_EQ(buf[15], 150);
        EXPECT_EQ(buf[18], 77);  // (5+150)>>1
    }
}

TEST(MipChain, OddSizeUsesTheTopLeftBlock)
{
    std::vector<uint8_t> level(9 * 3);
    for (int i = 0; i < 9; i++) level[i * 3] = uint8_t(i * 10);
    auto buf = chain_of(level, 3, 3, 3);
    mip_chain_build_rgb(buf.data(), 3, 3);
    EXPECT_EQ(buf[27], (0 + 10 + 30 + 40) >> 2);
}

struct rgba_case {
    const char* what;
    std::vector<uint8_t> pixels;  // four RGBA pixels
    uint32_t flags;
    std::vector<uint8_t> expected;
};

TEST(MipChain, RgbaReductionTable)
{
    const rgba_case cases[] = {
        {"opaque: plain mean", {0, 0, 0, 255, 255, 0, 0, 255, 0, 255, 0, 255, 3, 3, 3, 255}, 0, {64, 64, 0, 255}},
        {"transparent: plain mean", {0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 3, 3, 3, 0}, 0, {64, 64, 0, 0}},
        {"transparent pixels do not tint", {200, 0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0}, 0,
         {200, 0, 0, 63}},
        {"weighted mean", {100, 0, 0, 100, 0, 0, 0, 0, 0, 0, 0, 0, 200, 0, 0, 50}, 0, {133, 0, 0, 37}},
        {"max alpha", {100, 0, 0, 100, 0, 0, 0, 0, 0, 0, 0, 0, 200, 0, 0, 50}, MIP_MAX_ALPHA, {133, 0, 0, 100}},
    };
    for (const auto& c : cases) {
        auto buf = chain_of(c.pixels, 2, 2, 4);
        mip_chain_build_rgba(buf.data(), 2, 2, c.flags);
        EXPECT_EQ(std::vector<uint8_t>(buf.begin() + 16, buf.end()), c.expected) << c.what;
    }
}

TEST(MipChain, RgbaPairsOnThinLevels)
{
    auto buf = chain_of({100, 0, 0, 255, 0, 0, 0, 255, 90, 0, 0, 10, 30, 0, 0, 30}, 4, 1, 4);
    mip_chain_build_rgba(buf.data(), 4, 1, 0);
    EXPECT_EQ(buf[16], 50);  // sum 510: plain
    EXPECT_EQ(buf[19], 255);
    EXPECT_EQ(buf[20], (90 * 10 + 30 * 30) / 40);
    EXPECT_EQ(buf[23], 20);
}

TEST(SizePolicy, PowersOfTwo)
{
    EXPECT_EQ(pot_strictly_below(100), 64);
    EXPECT_EQ(pot_strictly_below(64), 32);
    EXPECT_EQ(pot_strictly_below(60), 32);
    EXPECT_EQ(pot_strictly_below(2), 1);
    EXPECT_EQ(pot_strictly_below(1), 1);
    EXPECT_EQ(pot_not_above(64), 64);
    EXPECT_EQ(pot_not_above(100), 64);
    EXPECT_EQ(pot_not_above(1), 1);
}

// A chain whose every level is noise, so the detail test keeps the top.
uint8_t* noisy_chain(int w, int h, int bpp)
{
    uint8_t* p = pixel_buffer_alloc(w, h, bpp);
    uint32_t s = 12345;
    for (size_t i = 0; i < size_t(w) * h * bpp; i++) {
        s = s * 1103515245u + 12345u;
        p[i] = uint8_t(s >> 16);
    }
    mip_chain_build(p, w, h, bpp);
    return p;
}

TEST(SizePolicy, DropLevelsStopsAt128)
{
    struct {
        int side, drop, level;
    } cases[] = {{512, 2, 2}, {256, 2, 1}, {128, 2, 0}, {512, 0, 0}, {1024, 4, 3}};
    for (auto c : cases) {
        uint8_t* p = noisy_chain(c.side, c.side, 3);
        fitted_choice f = texture_fit_choose(p, c.side, c.side, 3, c.drop);
        EXPECT_EQ(f.level, c.level) << c.side << " drop " << c.drop;
        EXPECT_EQ(f.width, c.side >> c.level);
        EXPECT_EQ(f.dropped_by_detail, 0);
        alloc_check_free(p);
    }
}

TEST(SizePolicy, SmallImagesUploadUntouched)
{
    uint8_t* p = pixel_buffer_alloc(16, 16, 3);
    memset(p, 77, 16 * 16 * 3);  // flat: the detail test would drop it all
    mip_chain_build_rgb(p, 16, 16);
    EXPECT_EQ(texture_fit_choose(p, 16, 16, 3, 3).level, 0);
    alloc_check_free(p);
}

TEST(SizePolicy, FlatImageDropsToTheFirstLevelOf33OrLess)
{
    uint8_t* p = pixel_buffer_alloc(256, 128, 3);
    memset(p, 77, 256 * 128 * 3);
    mip_chain_build_rgb(p, 256, 128);
    // 256x128, 128x64, 64x32 dropped; 32x16 is at most 33 so it is dropped and
    // its successor taken.
    fitted_choice f = texture_fit_choose(p, 256, 128, 3, 0);
    EXPECT_EQ(f.width, 16);
    EXPECT_EQ(f.height, 8);
    EXPECT_EQ(f.dropped_by_detail, 1);
    alloc_check_free(p);
}

TEST(SizePolicy, ToleranceIsFour)
{
    // A 64x64 flat image with one pixel raised by d: kept at 5, dropped at 4.
    for (int d : {4, 5}) {
        uint8_t* p = pixel_buffer_alloc(64, 64, 3);
        memset(p, 100, 64 * 64 * 3);
        mip_chain_build_rgb(p, 64, 64);
        p[(10 * 64 + 10) * 3 + 1] = uint8_t(100 + d);  // level 1 still flat: one pixel of 4 adds d/4
        fitted_choice f = texture_fit_choose(p, 64, 64, 3, 0);
        EXPECT_EQ(f.level, d == 5 ? 0 : 2) << d;
        alloc_check_free(p);
    }
}

TEST(SizePolicy, GradientKeepsItsFirstDetailedLevel)
{
    // A horizontal ramp: exact at level 0 (prediction error within 4), but
    // the ramp is steep enough to be lost at some level below.
    const int w = 128, h = 128;
    uint8_t* p = pixel_buffer_alloc(w, h, 3);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < 3; c++) p[(y * w + x) * 3 + c] = uint8_t(x * 2);
    mip_chain_build_rgb(p, w, h);
    fitted_choice f = texture_fit_choose(p, w, h, 3, 0);
    EXPECT_GT(f.level, 0);
    EXPECT_EQ(f.dropped_by_detail, 1);
    // The chosen level must itself fail the prediction from the next level,
    // unless the test ended on the 33 limit.
    EXPECT_GE(f.width, 16);
    alloc_check_free(p);
}

TEST(ImageFitPot, ResamplesAndDropsLargeLevels)
{
    uint8_t* p = noisy_chain(300, 100, 4);
    int w = 300, h = 100;
    image_fit_pot(&p, &w, &h, 4, 1 << 30, 0);
    EXPECT_EQ(w, 256);
    EXPECT_EQ(h, 64);
    // 256x64 = 16384 pixels: below the floor of 16385, nothing dropped.
    image_fit_pot(&p, &w, &h, 4, 100, 1);
    EXPECT_EQ(w, 256);
    alloc_check_free(p);

    p = noisy_chain(512, 512, 3);
    w = h = 512;
    image_fit_pot(&p, &w, &h, 3, 512 * 512, 1);
    EXPECT_EQ(w, 256);  // one by the drop count, then the floor stops at 128x128
    image_fit_pot(&p, &w, &h, 3, 100, 0);
    EXPECT_EQ(w, 128);
    alloc_check_free(p);
}

TEST(ImageResample, NearestPixel)
{
    const int w = 5, h = 3;
    std::vector<uint8_t> src(w * h * 3);
    for (int i = 0; i < w * h; i++) src[i * 3] = uint8_t(i);
    uint8_t* out = image_resample_nearest(src.data(), w, h, 3, 4, 2);
    // target (x, y) takes source (x*5/4, y*3/2)
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[3 * 3], 3);       // x=3 -> 15/4 = 3
    EXPECT_EQ(out[(4 + 2) * 3], 7);  // y=1 -> row 1; x=2 -> 2
    alloc_check_free(out);
}

TEST(CustomMip, Layout)
{
    const int w = 64, h = 96;
    uint8_t* src = static_cast<uint8_t*>(xmalloc(w * h * 3));
    // Every source pixel names its own position.
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            src[(y * w + x) * 3] = uint8_t(x);
            src[(y * w + x) * 3 + 1] = uint8_t(y);
        }
    int cw = w, ch = h;
    ASSERT_EQ(mip_custom_relayout("t.png", &src, &cw, &ch, 3), 1);
    EXPECT_EQ(cw, 64);
    EXPECT_EQ(ch, 64);
    struct {
        int level, x, y;
    } expected[] = {{0, 0, 0}, {1, 0, 64}, {2, 32, 64}, {3, 32, 80}, {4, 32, 88}, {5, 32, 92}, {6, 32, 94}};
    for (auto e : expected) {
        uint8_t* level = mip_level(src, 64, 64, 3, e.level, nullptr, nullptr);
        EXPECT_EQ(level[0], e.x) << "level " << e.level;
        EXPECT_EQ(level[1], e.y) << "level " << e.level;
    }
    alloc_check_free(src);
}

TEST(CustomMip, RefusedLayoutsLeaveTheBufferUnchanged)
{
    struct {
        int w, h;
    } cases[] = {{64, 100}, {1, 6}, {64, 2}};
    for (auto c : cases) {
        uint8_t* src = static_cast<uint8_t*>(xmalloc(size_t(c.w) * c.h * 4));
        uint8_t* before = src;
        int w = c.w, h = c.h;
        console_clear();
        EXPECT_EQ(mip_custom_relayout("narrow.png", &src, &w, &h, 4), 0) << c.w << "x" << c.h;
        EXPECT_EQ(src, before);
        EXPECT_EQ(h, c.h);
        EXPECT_STREQ(console_recent_line(1, 0), "Warning: Invalid height for custom MIP map in 'narrow.png'");
        alloc_check_free(src);
    }
}

TEST(BorderColour, FullestEdgeBinLowestOnTie)
{
    // 4x4: the 12 edge pixels counted per edge (corners twice): 16 counts.
    std::vector<uint8_t> img(4 * 4 * 3, 0);
    auto set = [&](int x, int y, uint8_t r, uint8_t g, uint8_t b) {
        img[(y * 4 + x) * 3] = r;
        img[(y * 4 + x) * 3 + 1] = g;
        img[(y * 4 + x) * 3 + 2] = b;
    };
    for (int i = 0; i < 4; i++) {
        set(i, 0, 255, 255, 255);
        set(i, 3, 255, 255, 255);
    }
    for (int i = 1; i < 3; i++) {
        set(0, i, 0, 255, 0);
        set(3, i, 0, 255, 0);
    }
    float c[4];
    texture_border_colour(img.data(), 4, 4, 3, c);
    EXPECT_FLOAT_EQ(c[0], 1.0f);  // white: 8 + 4 corner repeats = 12 vs green 4
    EXPECT_FLOAT_EQ(c[3], 0.0f);
    // A tie between bins: 2x2 image, left column black, right column green.
    std::vector<uint8_t> tie = {0, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 0};
    texture_border_colour(tie.data(), 2, 2, 3, c);
    EXPECT_FLOAT_EQ(c[1], 0.0f);
    texture_border_colour(tie.data(), 1, 1, 4, c);
    EXPECT_FLOAT_EQ(c[0] + c[1] + c[2] + c[3], 0.0f);
}

} // namespace
