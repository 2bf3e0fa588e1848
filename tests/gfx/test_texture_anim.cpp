#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/alloc.h"
#include "gfx/image_message.h"
#include "gfx/image_q.h"
#include "gfx/pixel_buffer.h"
#include "gfx/texture_anim.h"

namespace {

std::string q_frame(int w, int h, int channels, uint8_t base)
{
    std::vector<uint8_t> px(size_t(w) * h * channels);
    for (size_t i = 0; i < px.size(); i++) px[i] = uint8_t(base + i);
    size_t size;
    uint8_t* q = q_encode(px.data(), w, h, channels, &size);
    std::string s(reinterpret_cast<char*>(q), size);
    alloc_check_free(q);
    return s;
}

// PNG frames come from this stand-in: "red4" is a 4x4 opaque RGBA frame,
// "rgb4" a 4x4 RGB one, "big8" an 8x8 RGBA one.
int fake_png(const char* name, uint8_t** pixels, int* w, int* h, int* bpp)
{
    std::string n = name;
    if (n != "red4" && n != "rgb4" && n != "big8") return 0;
    *w = *h = n == "big8" ? 8 : 4;
    *bpp = n == "rgb4" ? 3 : 4;
    *pixels = pixel_buffer_alloc(*w, *h, *bpp);
    memset(*pixels, 200, mip_chain_bytes(*w, *h, *bpp));
    return 1;
}

animated_texture* read(const std::string& body)
{
    image_source src = image_source_make(body.data(), body.size(), "t.seq");
    return anim_read(&src, fake_png, 1 << 20);
}

TEST(Seq, ReadsInlineAndPngFrames)
{
    std::string body = " 3 3 8 1\n2 0 1\n" + q_frame(4, 4, 3, 10) + q_frame(4, 4, 4, 50) + "PNG  red4  \n";
    animated_texture* a = read(body);
    ASSERT_NE(a, nullptr) << image_last_error();
    EXPECT_EQ(a->length, 3);
    EXPECT_EQ(a->frame_count, 3);
    EXPECT_EQ(a->period, 8);
    EXPECT_EQ(a->frame, 2);  // the first sequence entry
    EXPECT_EQ(a->frames[0].bytes_per_pixel, 4);
    EXPECT_EQ(a->frames[0].pixels[0], 10);
    EXPECT_EQ(a->frames[0].pixels[3], 255);  // a Q6 frame is opaque
    EXPECT_EQ(a->frames[1].pixels[3], 53);
    EXPECT_EQ(a->frames[2].pixels[0], 200);
    anim_free(a);
}

TEST(Seq, BadFilesFailAndFreeWhatWasRead)
{
    const std::string f4 = q_frame(4, 4, 4, 1);
    struct {
        const char* what;
        std::string body;
        const char* error;
    } cases[] = {
        {"empty", "", "EOF while reading .seq"},
        {"short header", "1 1 4", "EOF while reading .seq"},
        {"period 0", "1 1 0 1\n0\n" + f4, "Bad .seq header 1 1 0"},
        {"negative period", "1 1 -3 1\n0\n" + f4, "Bad .seq header 1 1 -3"},
        {"no entries", "0 1 4 1\n" + f4, "Bad .seq header 0 1 4"},
        {"huge counts", "2000000000 2000000000 1 1\n", "Bad .seq header 2000000000 2000000000 1"},
        {"entry out of range", "2 1 4 1\n0 1\n" + f4, "Bad .seq sequence entry 1"},
        {"negative entry", "1 1 4 1\n-1\n" + f4, "Bad .seq sequence entry 0"},
        {"missing entry", "2 1 4 1\n0", "Bad .seq sequence entry 1"},
        {"missing frame", "1 2 4 1\n0\n" + f4, "EOF while reading .seq"},
        {"unknown frame", "1 2 4 1\n0\n" + f4 + "GIF x\n", "Error reading .seq frame 1"},
        {"unreadable png", "1 1 4 1\n0\nPNG nothing.png\n", "Can't read nothing.png"},
        {"png name at eof", "1 1 4 1\n0\nPNG", "EOF while reading .seq"},
        {"size mismatch", "1 2 4 1\n0\n" + f4 + "PNG big8\n", "Width/height mismatch reading .seq"},
        {"depth mismatch", "1 2 4 1\n0\n" + f4 + "PNG rgb4\n", "Depth mismatch reading .seq"},
        {"truncated frame", "1 1 4 1\n0\n" + f4.substr(0, f4.size() - 1), "Truncated image data in 't.seq'"},
    };
    int live = alloc_live_count();
    for (const auto& c : cases) {
        image_clear_error();
        EXPECT_EQ(read(c.body), nullptr) << c.what;
        EXPECT_STREQ(image_last_error(), c.error) << c.what;
    }
    EXPECT_EQ(alloc_live_count(), live);
}

TEST(Seq, SequencePositionLoopsOrHolds)
{
    animated_texture a{};
    a.length = 3;
    a.period = 4;
    a.start = 100;
    struct {
        int loop, tic, expected;
    } cases[] = {
        {1, 0, 0},   {1, 100, 0}, {1, 103, 0}, {1, 104, 1}, {1, 111, 2},
        {1, 112, 0}, {1, 125, 0}, {0, 112, 2}, {0, 5000, 2}, {0, 90, 0},
    };
    for (auto c : cases) {
        a.loop = c.loop;
        EXPECT_EQ(anim_sequence_position(&a, c.tic), c.expected) << c.loop << " " << c.tic;
    }
}

// A 4x1 animation with two frames for the paste tests.
struct paste_fixture {
    animated_texture a{};
    anim_frame frames[2]{};
    std::vector<uint8_t> custom;
    paste_fixture(int bpp, int w = 4, int h = 1)
    {
        for (int f = 0; f < 2; f++) {
            frames[f] = {w, h, bpp, pixel_buffer_alloc(w, h, bpp)};
            for (int i = 0; i < w * h * bpp; i++) frames[f].pixels[i] = uint8_t(10 * (f + 1) + i);
        }
        a.frames = frames;
        a.frame_count = 2;
        custom.assign(mip_chain_bytes(w, h, bpp), 0);
        a.custom = custom.data();
    }
    ~paste_fixture()
    {
        for (auto& f : frames) alloc_check_free(f.pixels);
    }
};

TEST(CustomFrame, PasteClipsLikeTheRule)
{
    struct {
        const char* what;
        float sx, dx, fw;
        int result;
        std::vector<uint8_t> row;  // the buffer's first channel per pixel after the paste
    } cases[] = {
        {"whole frame", 0, 0, 1, 1, {10, 13, 16, 19}},
        {"destination -0.25: right three quarters to x = 0", 0, -0.25f, 1, 1, {13, 16, 19, 0}},
        {"source -0.25: shifted right", -0.25f, 0, 1, 1, {0, 10, 13, 16}},
        {"half width at the middle", 0, 0.5f, 0.5f, 1, {0, 0, 10, 13}},
        {"source near the end", 0.75f, 0, 1, 1, {19, 0, 0, 0}},
        {"destination at the size", 0, 1, 1, 0, {0, 0, 0, 0}},
        {"zero width", 0, 0, 0, 0, {0, 0, 0, 0}},
        {"negative width", 0, 0, -1, 0, {0, 0, 0, 0}},
        {"entirely left", 0, -2, 1, 0, {0, 0, 0, 0}},
        {"huge", 0, 0, 1e30f, 1, {10, 13, 16, 19}},
        {"huge negative", 0, -1e30f, 1, 0, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        paste_fixture p(3);
        EXPECT_EQ(anim_paste(&p.a, 0, c.sx, 0, c.dx, 0, c.fw, 1), c.result) << c.what;
        std::vector<uint8_t> row;
        for (int x = 0; x < 4; x++) row.push_back(p.custom[x * 3]);
        EXPECT_EQ(row, c.row) << c.what;
    }
}

TEST(CustomFrame, PasteRefusals)
{
    paste_fixture p(4);
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(anim_paste(&p.a, -1, 0, 0, 0, 0, 1, 1), 0);
    EXPECT_EQ(anim_paste(&p.a, 2, 0, 0, 0, 0, 1, 1), 0);
    EXPECT_EQ(anim_paste(&p.a, 0, nan, 0, 0, 0, 1, 1), 0);
    EXPECT_EQ(anim_paste(&p.a, 0, 0, 0, 0, 0, inf, 1), 0);
    EXPECT_EQ(anim_paste(&p.a, 1, 0, 0, 0, 0, 1, 1), 1);
    p.a.custom = nullptr;
    EXPECT_EQ(anim_paste(&p.a, 0, 0, 0, 0, 0, 1, 1), 0);
}

TEST(CustomFrame, Compositing)
{
    struct {
        const char* what;
        uint8_t s[4], d[4], expected[4];
    } cases[] = {
        {"source clear over set", {90, 90, 90, 0}, {10, 20, 30, 128}, {10, 20, 30, 128}},
        {"source clear over clear", {90, 91, 92, 0}, {10, 20, 30, 0}, {90, 91, 92, 0}},
        {"opaque source", {90, 91, 92, 255}, {10, 20, 30, 128}, {90, 91, 92, 255}},
        {"buffer clear", {90, 91, 92, 7}, {10, 20, 30, 0}, {90, 91, 92, 7}},
        {"buffer opaque", {200, 0, 100, 51}, {0, 255, 100, 255}, {40, 204, 100, 255}},
        // a = 100, b = 50: N = 50*155 + 255*100 = 33250
        {"both partial", {200, 0, 100, 100}, {0, 255, 100, 50}, {153, 59, 100, 130}},
    };
    for (const auto& c : cases) {
        paste_fixture p(4, 1, 1);
        memcpy(p.frames[0].pixels, c.s, 4);
        memcpy(p.custom.data(), c.d, 4);
        ASSERT_EQ(anim_paste(&p.a, 0, 0, 0, 0, 0, 1, 1), 1);
        EXPECT_EQ(std::vector<uint8_t>(p.custom.begin(), p.custom.begin() + 4),
                  std::vector<uint8_t>(c.expected, c.expected + 4))
            << c.what;
    }
}

TEST(CustomFrame, RandomPastesStayInside)
{
    // Run under the sanitizer build: any read or write outside a buffer fails.
    paste_fixture p(4, 8, 4);
    uint32_t s = 7;
    auto next = [&]() {
        s = s * 1664525u + 1013904223u;
        return float(int(s >> 8) % 3000 - 1500) / 1000.0f;
    };
    int pasted = 0;
    for (int i = 0; i < 20000; i++) pasted += anim_paste(&p.a, 1, next(), next(), next(), next(), next(), next());
    EXPECT_GT(pasted, 100);
}

} // namespace
