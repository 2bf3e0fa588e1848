#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>
#include <filesystem>
#include <string>
#include <vector>

#include "core/alloc.h"
#include "gfx/image_message.h"
#include "gfx/image_png.h"
#include "gfx/image_pnm.h"
#include "gfx/image_q.h"
#include "gfx/pixel_buffer.h"
#include "support_png_writer.h"

namespace {

struct decoded {
    int ok = 0;
    std::vector<uint8_t> level0;
    int w = 0, h = 0;
};

decoded read_ppm(const std::string& file)
{
    image_source src = image_source_make(file.data(), file.size(), "t.ppm");
    char magic[16];
    image_source_token(&src, magic, sizeof magic);
    decoded d;
    uint8_t* p = nullptr;
    d.ok = ppm_read(magic, &src, &p, &d.w, &d.h);
    if (d.ok) {
        d.level0.assign(p, p + size_t(d.w) * d.h * 3);
        alloc_check_free(p);
    }
    return d;
}

// Runs body in a child limited to 384 MiB of address space, far below the
// largest image: the child must end with _exit(0), not run out of memory.
// Skipped under the address sanitizer, which needs the whole address space.
void in_little_memory(void (*body)())
{
#if defined(__SANITIZE_ADDRESS__)
    (void)body;
    GTEST_SKIP() << "the address sanitizer needs the whole address space";
#else
    auto child = [body] {
        rlimit limit = {rlim_t(384) << 20, rlim_t(384) << 20};
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(3);
        body();
        _exit(0);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
#endif
}

TEST(Ppm, RawAndTextWithComments)
{
    std::string raw = "P6\n# made by hand\n2 # width\n1\n#maxval next\n255\n";
    raw += std::string("\x01\x02\x03\xff\x00\x80", 6);
    decoded d = read_ppm(raw);
    ASSERT_EQ(d.ok, 1);
    EXPECT_EQ(d.w, 2);
    EXPECT_EQ(d.h, 1);
    EXPECT_EQ(d.level0, (std::vector<uint8_t>{1, 2, 3, 255, 0, 128}));

    d = read_ppm("P3 # text\n2 1 15\n0 15 7  1 2 3\n");
    ASSERT_EQ(d.ok, 1);
    EXPECT_EQ(d.level0, (std::vector<uint8_t>{0, 255, 7 * 255 / 15, 17, 34, 51}));
}

TEST(Ppm, MaxvalScalingRawSixteenBit)
{
    std::string raw = "P6 1 1 15\n" + std::string("\x0f\x00\x07", 3);
    EXPECT_EQ(read_ppm(raw).level0, (std::vector<uint8_t>{255, 0, 119}));
    // Above 255 every raw sample is two big-endian bytes.
    raw = "P6 1 1 65535\n" + std::string("\xff\xff\x80\x00\x00\x01", 6);
    EXPECT_EQ(read_ppm(raw).level0, (std::vector<uint8_t>{255, 127, 0}));
}

TEST(Ppm, BadHeadersAndDataFail)
{
    struct {
        const char* what;
        std::string file;
        const char* error;
    } cases[] = {
        {"missing height", "P6 4", "Can't get PPM dimensions"},
        {"maxval 0", "P3 1 1 0\n1 2 3", "Bad PPM maxval 0 in 't.ppm'"},
        {"maxval too big", "P3 1 1 65536\n1 2 3", "Bad PPM maxval 65536 in 't.ppm'"},
        {"zero width", "P6 0 4 255\n", "Bad PPM size 0x4 in 't.ppm'"},
        {"negative height", "P6 4 -1 255\n", "Bad PPM size 4x-1 in 't.ppm'"},
        {"huge", "P6 100000 100000 255\n", "Bad PPM size 100000x100000 in 't.ppm'"},
        {"overflowing number", "P6 99999999999 1 255\n", "Can't get PPM dimensions"},
        {"truncated raw", "P6 2 2 255\n" + std::string(11, 'x'), "Truncated PPM data in 't.ppm'"},
        {"truncated text", "P3 1 1 255\n1 2", "Truncated PPM data in 't.ppm'"},
    };
    for (const auto& c : cases) {
        image_clear_error();
        EXPECT_EQ(read_ppm(c.file).ok, 0) << c.what;
        EXPECT_STREQ(image_last_error(), c.error) << c.what;
    }
}

// A header that promises the largest image over a few bytes of data is
// refused before any pixels are allocated.
TEST(Ppm, LargestHeaderOverLittleDataIsRefusedBeforeAllocating)
{
    in_little_memory([] {
        for (const char* file : {"P6 16384 16384 255\n\x01", "P3 16384 16384 255\n1 2 3"})
            if (read_ppm(file).ok != 0 || strncmp(image_last_error(), "Truncated PPM data", 18) != 0) _exit(2);
        const std::string pgm = "P5 16384 16384 255\n\x01";
        image_source src = image_source_make(pgm.data(), pgm.size(), "s.pgm");
        uint8_t* p = nullptr;
        int w = 0, h = 0;
        if (pgm_decode(&src, &p, &w, &h) != 0 || strncmp(image_last_error(), "Truncated PGM data", 18) != 0) _exit(2);
    });
}

TEST(Pgm, RawTextAndErrors)
{
    struct {
        std::string file;
        int ok;
        std::vector<uint8_t> grey;
    } cases[] = {
        {"P5\n#c\n3 1\n255\n" + std::string("\x00\x7f\xff", 3), 1, {0, 127, 255}},
        {"P2 2 1 15\n15 5\n", 1, {255, 85}},
        {"P5 2 1 0\n\x01\x02", 0, {}},
        {"P6 1 1 255\n\x01\x02\x03", 0, {}},
        {"P5 2 2 255\n\x01", 0, {}},
    };
    for (const auto& c : cases) {
        image_source src = image_source_make(c.file.data(), c.file.size(), "s.pgm");
        uint8_t* p = nullptr;
        int w = 0, h = 0;
        ASSERT_EQ(pgm_decode(&src, &p, &w, &h), c.ok) << c.file;
        if (!c.ok) continue;
        EXPECT_EQ(std::vector<uint8_t>(p, p + w * h), c.grey);
        alloc_check_free(p);
    }
    image_source src = image_source_make("P5 x", 4, "s.pgm");
    uint8_t* p;
    int w, h;
    EXPECT_EQ(pgm_decode(&src, &p, &w, &h), 0);
    EXPECT_STREQ(image_last_error(), "Can't get PGM dimensions");
}

// A 3x2 Q6 image worked by hand: channel 0 exercises the wrap and the clamp at
// 255, channel 1 the clamp at 0.
TEST(QImage, HandVector)
{
    const uint8_t diffs[] = {10, 200, 0, 240, 56, 0, 11, 50, 0, 10, 56, 0, 0, 7, 0, 249, 208, 0};
    std::string file = "Q6\n# comment\n3 2\n" + std::string(reinterpret_cast<const char*>(diffs), sizeof diffs);
    image_source src = image_source_make(file.data(), file.size(), "h.q6");
    char magic[16];
    image_source_token(&src, magic, sizeof magic);
    uint8_t* p = nullptr;
    int w, h;
    ASSERT_EQ(q6_read(magic, &src, &p, &w, &h), 1);
    const uint8_t expected[] = {10, 200, 0, 250, 0, 0, 5, 50, 0, 20, 0, 0, 255, 7, 0, 3, 9, 0};
    EXPECT_EQ(std::vector<uint8_t>(p, p + 18), std::vector<uint8_t>(expected, expected + 18));
    alloc_check_free(p);
}

TEST(QImage, EncoderRoundTrip)
{
    for (int channels : {3, 4}) {
        const int w = 37, h = 11;
        std::vector<uint8_t> img(size_t(w) * h * channels);
        uint32_t s = 99;
        for (auto& v : img) {
            s = s * 1664525u + 1013904223u;
            v = uint8_t(s >> 24);
        }
        size_t size;
        uint8_t* file = q_encode(img.data(), w, h, channels, &size);
        image_source src = image_source_make(file, size, "r");
        char magic[16];
        image_source_token(&src, magic, sizeof magic);
        EXPECT_STREQ(magic, channels == 4 ? "Q7" : "Q6");
        uint8_t* p = nullptr;
        int dw, dh;
        int ok = channels == 4 ? q7_read(magic, &src, &p, &dw, &dh) : q6_read(magic, &src, &p, &dw, &dh);
        ASSERT_EQ(ok, 1);
        EXPECT_EQ(std::vector<uint8_t>(p, p + img.size()), img);
        alloc_check_free(p);
        alloc_check_free(file);
    }
}

TEST(QImage, ThreeChannelFramesDecodeOpaque)
{
    const uint8_t one[] = {1, 2, 3};
    size_t size;
    uint8_t* file = q_encode(one, 1, 1, 3, &size);
    image_source src = image_source_make(file + 3, size - 3, "f");
    uint8_t* p = nullptr;
    int w, h;
    ASSERT_EQ(q_decode(&src, 3, 4, &p, &w, &h), 1);
    EXPECT_EQ(p[3], 255);
    alloc_check_free(p);
    alloc_check_free(file);
}

TEST(QImage, BadInputFails)
{
    const char* cases[] = {"", "4", "0 4\n", "4 4\nxx", "70000 2\n", "-3 2\n"};
    for (const char* c : cases) {
        image_source src = image_source_make(c, strlen(c), "bad.q7");
        uint8_t* p = nullptr;
        int w, h;
        EXPECT_EQ(q7_read("Q7", &src, &p, &w, &h), 0) << c;
        EXPECT_NE(image_last_error()[0], 0);
    }
}

// PNG: every colour type and depth, written by the independent encoder of
// support_png_writer; the expected pixels follow from the PNG definition.
struct png_case {
    const char* what;
    int colour_type, depth;
    bool interlaced;
    bool trns;
};

uint16_t sample_value(int depth, int x, int y, int c)
{
    uint32_t v = uint32_t(x * 37 + y * 101 + c * 53 + x * y * 7);
    return uint16_t(v % (1u << std::min(depth, 16)) * (depth == 16 ? 251u : 1u));
}

const png_case png_cases[] = {
    {"grey 1", 0, 1, false, false},     {"grey 2", 0, 2, false, false},  {"grey 4", 0, 4, true, false},
    {"grey 8", 0, 8, false, false},     {"grey 16", 0, 16, false, false}, {"grey 8 trns", 0, 8, false, true},
    {"grey+alpha 8", 4, 8, false, false}, {"grey+alpha 16", 4, 16, true, false},
    {"palette 2", 3, 2, false, false},  {"palette 8", 3, 8, false, false}, {"palette 8 trns", 3, 8, true, true},
    {"rgb 8", 2, 8, false, false},      {"rgb 8 interlaced", 2, 8, true, false},
    {"rgb 16", 2, 16, false, false},    {"rgb 8 trns", 2, 8, false, true},  {"rgba 8", 6, 8, false, false},
    {"rgba 16 interlaced", 6, 16, true, false},
};

// The 13 x 9 test image of a case.
test_png png_of(const png_case& c)
{
    test_png png;
    png.width = 13;
    png.height = 9;
    png.colour_type = c.colour_type;
    png.depth = c.depth;
    png.interlaced = c.interlaced;
    int n = test_png_channels(c.colour_type);
    int entries = c.colour_type == 3 ? std::min(1 << c.depth, 40) : 0;
    for (int y = 0; y < png.height; y++)
        for (int x = 0; x < png.width; x++)
            for (int ch = 0; ch < n; ch++)
                png.samples.push_back(c.colour_type == 3 ? uint16_t((x + y * 3) % entries)
                                                         : sample_value(c.depth, x, y, ch));
    for (int i = 0; i < entries * 3; i++) png.palette.push_back(uint8_t(i * 29 + 5));
    if (c.trns && c.colour_type == 3)
        for (int i = 0; i < 5; i++) png.trns.push_back(uint8_t(i * 60));
    // Grey and RGB: the colour of pixel (0, 0) is transparent.
    if (c.trns && c.colour_type != 3)
        for (int ch = 0; ch < n; ch++) {
            png.trns.push_back(uint8_t(png.samples[ch] >> 8));
            png.trns.push_back(uint8_t(png.samples[ch]));
        }
    return png;
}

TEST(Png, DecodesEveryKindLikeTheReference)
{
    for (const auto& c : png_cases) {
        test_png png = png_of(c);
        int n = test_png_channels(c.colour_type);
        std::vector<uint8_t> file = test_png_encode(png);

        uint8_t* p = nullptr;
        int w, h, bpp;
        char* text = nullptr;
        ASSERT_EQ(png_decode(c.what, file.data(), file.size(), &p, &w, &h, &bpp, &text), 1)
            << c.what << ": " << image_last_error();
        bool alpha = c.colour_type == 4 || c.colour_type == 6 || c.trns;
        ASSERT_EQ(bpp, alpha ? 4 : 3) << c.what;
        ASSERT_EQ(w, 13);
        ASSERT_EQ(h, 9);
        int mismatches = 0;
        for (int i = 0; i < w * h; i++) {
            const uint16_t* s = &png.samples[size_t(i) * n];
            auto to8 = [&](uint16_t v) -> int {
                if (c.depth == 16) return v >> 8;
                return int(v) * 255 / ((1 << c.depth) - 1);
            };
            int rgba[4];
            if (c.colour_type == 3) {
                for (int ch = 0; ch < 3; ch++) rgba[ch] = png.palette[s[0] * 3 + ch];
                rgba[3] = s[0] < png.trns.size() ? png.trns[s[0]] : 255;
            } else {
                bool grey = c.colour_type == 0 || c.colour_type == 4;
                for (int ch = 0; ch < 3; ch++) rgba[ch] = to8(s[grey ? 0 : ch]);
                rgba[3] = (c.colour_type == 4 || c.colour_type == 6) ? to8(s[n - 1]) : 255;
                if (c.trns) {
                    bool same = true;
                    for (int ch = 0; ch < n; ch++) same = same && s[ch] == png.samples[ch];
                    rgba[3] = same ? 0 : 255;
                }
            }
            for (int ch = 0; ch < bpp; ch++) mismatches += p[i * bpp + ch] != rgba[ch];
        }
        EXPECT_EQ(mismatches, 0) << c.what;
        EXPECT_EQ(text, nullptr);
        alloc_check_free(p);
    }
}

// A second opinion from outside: `convert FILE.png ppm:-` (ImageMagick, or
// the stand-in some machines have) decodes the same files, with translucent
// pixels put over white. Opaque pixels must agree exactly, within one step
// for 16-bit samples (which the PPM carries at full depth and the PPM reader
// scales rather than truncates); translucent ones within rounding of the
// composite. Fully transparent pixels carry no colour to compare.
TEST(Png, AgreesWithConvert)
{
    if (system("convert -version >/dev/null 2>&1") != 0 && system("command -v convert >/dev/null") != 0)
        GTEST_SKIP() << "convert is not installed";
    char folder[] = "/tmp/zt_png_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    int cases_compared = 0;
    for (const auto& c : png_cases) {
        std::vector<uint8_t> file = test_png_encode(png_of(c));
        std::string path = std::string(folder) + "/case.png";
        FILE* f = fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(file.data(), 1, file.size(), f);
        fclose(f);
        std::string ppm;
        FILE* pipe = popen(("convert " + path + " ppm:- 2>/dev/null").c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        char buf[4096];
        for (size_t got; (got = fread(buf, 1, sizeof buf, pipe)) > 0;) ppm.append(buf, got);
        pclose(pipe);
        decoded reference = read_ppm(ppm);
        // Some stand-ins for convert cannot show every file (interlaced ones).
        if (!reference.ok) continue;
        cases_compared++;
        ASSERT_EQ(reference.w, 13);
        uint8_t* p = nullptr;
        int w, h, bpp;
        char* text = nullptr;
        ASSERT_EQ(png_decode(c.what, file.data(), file.size(), &p, &w, &h, &bpp, &text), 1);
        int compared = 0, off = 0;
        for (int i = 0; i < w * h; i++) {
            int a = bpp == 4 ? p[i * bpp + 3] : 255;
            if (a == 0) continue;
            compared++;
            int tolerance = (c.depth == 16 ? 1 : 0) + (a < 255 ? 2 : 0);
            for (int ch = 0; ch < 3; ch++) {
                int over_white = (p[i * bpp + ch] * a + 255 * (255 - a) + 127) / 255;
                int d = std::abs(over_white - int(reference.level0[size_t(i) * 3 + ch]));
                off += d > tolerance;
            }
        }
        EXPECT_GT(compared, 0) << c.what;
        EXPECT_EQ(off, 0) << c.what;
        alloc_check_free(p);
    }
    EXPECT_GE(cases_compared, 12);  // at least every file that is not interlaced
    std::filesystem::remove_all(folder);
}

TEST(Png, TextBeforeAndAfterTheImageData)
{
    test_png png;
    png.width = png.height = 4;
    png.samples.assign(4 * 4 * 3, 9);
    png.text_before = {"[compress]"};
    png.ztext_before = {"zipped "};
    png.text_after = {"after "};
    png.ztext_after = {"[mip_max_alpha]"};
    std::vector<uint8_t> file = test_png_encode(png);
    uint8_t* p = nullptr;
    int w, h, bpp;
    char* text = nullptr;
    ASSERT_EQ(png_decode("t.png", file.data(), file.size(), &p, &w, &h, &bpp, &text), 1);
    EXPECT_STREQ(text, "[compress]zipped after [mip_max_alpha]");
    alloc_check_free(p);
    alloc_check_free(text);
}

TEST(Png, BadFilesFailCleanly)
{
    test_png png;
    png.width = png.height = 16;
    png.samples.assign(16 * 16 * 3, 200);
    png.text_after = {"tail"};
    std::vector<uint8_t> good = test_png_encode(png);
    std::vector<std::pair<std::string, std::vector<uint8_t>>> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"wrong magic", std::vector<uint8_t>(good.begin(), good.end())});
    cases.back().second[1] = 'X';
    for (size_t cut : {size_t(9), size_t(33), good.size() / 2, good.size() - 20})
        cases.push_back({"cut at " + std::to_string(cut), std::vector<uint8_t>(good.begin(), good.begin() + cut)});
    auto corrupt = good;
    corrupt[good.size() / 2] ^= 0x55;
    cases.push_back({"corrupt data", corrupt});
    for (auto [w, h] : {std::pair{0u, 16u}, std::pair{20000u, 16u}, std::pair{100000u, 100000u}}) {
        std::vector<uint8_t> bad(good.begin(), good.begin() + 8);
        std::vector<uint8_t> ihdr = {uint8_t(w >> 24), uint8_t(w >> 16), uint8_t(w >> 8), uint8_t(w),
                                     uint8_t(h >> 24), uint8_t(h >> 16), uint8_t(h >> 8), uint8_t(h),
                                     8, 2, 0, 0, 0};
        auto chunk = test_png_chunk("IHDR", ihdr);
        bad.insert(bad.end(), chunk.begin(), chunk.end());
        bad.insert(bad.end(), good.begin() + 33, good.end());
        cases.push_back({"size " + std::to_string(w) + "x" + std::to_string(h), bad});
    }
    for (const auto& [what, bytes] : cases) {
        uint8_t* p = nullptr;
        int w, h, bpp;
        char* text = nullptr;
        image_clear_error();
        EXPECT_EQ(png_decode("bad.png", bytes.data(), bytes.size(), &p, &w, &h, &bpp, &text), 0) << what;
        EXPECT_NE(std::string(image_last_error()).find("bad.png"), std::string::npos) << what;
        EXPECT_EQ(strchr(image_last_error(), '\n'), nullptr);
    }
}

// The largest sides over a 16 x 16 image's data, in colour and in 16-bit grey:
// refused before the pixels are allocated.
TEST(Png, LargestHeaderOverLittleDataIsRefusedBeforeAllocating)
{
    in_little_memory([] {
        for (int grey : {0, 1}) {
            test_png png;
            png.width = png.height = 16;
            png.colour_type = grey ? 0 : 2;
            png.depth = grey ? 16 : 8;
            png.samples.assign(16 * 16 * (grey ? 1 : 3), 200);
            std::vector<uint8_t> good = test_png_encode(png), bad(good.begin(), good.begin() + 8);
            std::vector<uint8_t> ihdr = {0, 0, 0x40, 0, 0, 0, 0x40, 0, uint8_t(png.depth), uint8_t(png.colour_type), 0, 0, 0};
            auto chunk = test_png_chunk("IHDR", ihdr);
            bad.insert(bad.end(), chunk.begin(), chunk.end());
            bad.insert(bad.end(), good.begin() + 33, good.end());
            uint8_t* p = nullptr;
            uint16_t* g = nullptr;
            int w, h, bpp;
            char* text = nullptr;
            int ok = grey ? png_decode_gray16("big.png", bad.data(), bad.size(), &g, &w, &h)
                          : png_decode("big.png", bad.data(), bad.size(), &p, &w, &h, &bpp, &text);
            if (ok || !strstr(image_last_error(), "'big.png'")) _exit(2);
        }
    });
}

TEST(Png, EncodersRoundTrip)
{
    const int w = 5, h = 3;
    std::vector<uint8_t> bottom_up(w * h * 3);
    for (size_t i = 0; i < bottom_up.size(); i++) bottom_up[i] = uint8_t(i * 7);
    size_t size;
    uint8_t* file = png_encode_rgb(bottom_up.data(), w, h, &size);
    ASSERT_NE(file, nullptr);
    uint8_t* p = nullptr;
    int dw, dh, bpp;
    char* text = nullptr;
    ASSERT_EQ(png_decode("rgb", file, size, &p, &dw, &dh, &bpp, &text), 1);
    ASSERT_EQ(bpp, 3);
    for (int y = 0; y < h; y++)
        EXPECT_EQ(0, memcmp(p + y * w * 3, bottom_up.data() + (h - 1 - y) * w * 3, w * 3)) << "row " << y;
    alloc_check_free(p);
    alloc_check_free(file);

    std::vector<uint16_t> grey(w * h);
    for (size_t i = 0; i < grey.size(); i++) grey[i] = uint16_t(i * 4099 + 1);
    file = png_encode_gray16(grey.data(), w, h, &size);
    uint16_t* g = nullptr;
    ASSERT_EQ(png_decode_gray16("g16", file, size, &g, &dw, &dh), 1);
    EXPECT_EQ(std::vector<uint16_t>(g, g + w * h), grey);
    // The file holds big-endian samples: the first sample's bytes as written.
    alloc_check_free(g);
    alloc_check_free(file);
}

TEST(Png, Gray16FromIndependentFile)
{
    test_png png;
    png.width = 3;
    png.height = 2;
    png.colour_type = 0;
    png.depth = 16;
    png.samples = {0, 1, 0x1234, 0xfedc, 65535, 256};
    auto file = test_png_encode(png);
    uint16_t* g = nullptr;
    int w, h;
    ASSERT_EQ(png_decode_gray16("h.png", file.data(), file.size(), &g, &w, &h), 1);
    EXPECT_EQ(std::vector<uint16_t>(g, g + 6), png.samples);
    alloc_check_free(g);
    png.colour_type = 2;
    png.samples.resize(18);
    file = test_png_encode(png);
    EXPECT_EQ(png_decode_gray16("rgb.png", file.data(), file.size(), &g, &w, &h), 0);
}

TEST(Png, ChainFollowsTheText)
{
    // [mip_custom]: a 4x6 image holds its own levels.
    std::vector<uint8_t> img(mip_chain_bytes(4, 6, 3), 0);
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 4; x++) img[(y * 4 + x) * 3] = uint8_t(y * 10 + x);
    uint8_t* p = static_cast<uint8_t*>(xmalloc(img.size()));
    memcpy(p, img.data(), img.size());
    int w = 4, h = 6;
    png_build_chain("c.png", "x[mip_custom]", &p, &w, &h, 3);
    EXPECT_EQ(h, 4);
    EXPECT_EQ(p[16 * 3], 40);  // level 1 from (0, 4)
    alloc_check_free(p);
}

} // namespace
