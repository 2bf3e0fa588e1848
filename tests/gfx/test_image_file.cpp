#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/alloc.h"
#include "core/vfs_test_util.h"
#include "gfx/image_file.h"
#include "gfx/image_message.h"
#include "gfx/image_png.h"
#include "support_png_writer.h"

namespace {

using image_files = vfs_test::roots_fixture;

std::string rgb_png(int w, int h, const std::vector<std::string>& text = {})
{
    test_png png;
    png.width = w;
    png.height = h;
    for (int i = 0; i < w * h * 3; i++) png.samples.push_back(uint16_t(i % 251));
    png.text_before = text;
    auto bytes = test_png_encode(png);
    return std::string(bytes.begin(), bytes.end());
}

std::string gzip(const std::string& bytes)
{
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    std::string out(bytes.size() + 128, 0);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = uInt(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

TEST_F(image_files, PngTextJoinsChunksAndSideFile)
{
    vfs_test::write_all(data + "skin.png", rgb_png(4, 4, {"[mip_max_alpha]"}));
    vfs_test::write_all(data + "skin.png.info", "plate 1 2 3\n");
    uint8_t* p = nullptr;
    int w, h, bpp;
    char* text = nullptr;
    ASSERT_EQ(png_read("@skin.png", &p, &w, &h, &bpp, &text), 1) << image_last_error();
    EXPECT_STREQ(text, "[mip_max_alpha]plate 1 2 3\n");
    EXPECT_EQ(w, 4);
    alloc_check_free(p);
    alloc_check_free(text);
}

TEST_F(image_files, GzipVariantAndMissingFiles)
{
    vfs_test::write_all(data + "packed.png.gz", gzip(rgb_png(8, 2)));
    uint8_t* p = nullptr;
    int w, h, bpp;
    char* text = nullptr;
    ASSERT_EQ(png_read("@packed.png", &p, &w, &h, &bpp, &text), 1) << image_last_error();
    EXPECT_EQ(w, 8);
    EXPECT_EQ(text, nullptr);
    alloc_check_free(p);
    EXPECT_EQ(png_read("@absent.png", &p, &w, &h, &bpp, &text), 0);
    EXPECT_STREQ(image_last_error(), "Can't open '@absent.png'");
}

// An image gzipped by the gzip tool, then damaged: the decoders never see a
// part of the file as if it were whole.
TEST_F(image_files, DamagedGzipImagesAreNotRead)
{
    std::string pgm = "P5\n64 64\n255\n";
    for (int i = 0; i < 64 * 64; i++) pgm += char(i * 37 % 256);
    vfs_test::write_all(tmp + "/shade.pgm", pgm);
    ASSERT_TRUE(vfs_test::shell("gzip -n -c " + tmp + "/shade.pgm > " + tmp + "/shade.pgm.gz"));
    std::string good = vfs_test::read_all(tmp + "/shade.pgm.gz");
    std::string bad_crc = good;
    bad_crc[bad_crc.size() - 8] ^= 0x40;  // the trailer's CRC-32
    for (const std::string& bytes : {bad_crc, good.substr(0, good.size() - 4)}) {
        vfs_test::write_all(data + "shade.pgm.gz", bytes);
        size_t size = 0;
        uint8_t* whole = image_file_read("@shade.pgm", &size);
        EXPECT_EQ(whole, nullptr) << size;
        alloc_check_free(whole);
        int w = 0, h = 0;
        uint8_t* pixels = pgm_read("@shade.pgm", &w, &h);
        EXPECT_EQ(pixels, nullptr);
        alloc_check_free(pixels);
    }
    vfs_test::write_all(data + "shade.pgm.gz", good);
    size_t size = 0;
    uint8_t* whole = image_file_read("@shade.pgm", &size);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(whole), size), pgm);
    alloc_check_free(whole);
}

TEST_F(image_files, PgmAndGray16)
{
    vfs_test::write_all(data + "shadows.pgm", "P5\n# shade\n2 2\n255\n" + std::string("\x01\x02\x03\x04", 4));
    int w, h;
    uint8_t* grey = pgm_read("@shadows.pgm", &w, &h);
    ASSERT_NE(grey, nullptr);
    EXPECT_EQ(grey[3], 4);
    alloc_check_free(grey);
    vfs_test::write_all(data + "bad.pgm", "P5\n2\n");
    EXPECT_EQ(pgm_read("@bad.pgm", &w, &h), nullptr);
    EXPECT_STREQ(image_last_error(), "Can't get PGM dimensions");

    const uint16_t heights[6] = {0, 1, 300, 40000, 65535, 7};
    ASSERT_EQ(image_write_png_gray16("@terrain.png", heights, 3, 2), 1);
    uint16_t* back = image_read_png_gray16("@terrain.png", &w, &h);
    ASSERT_NE(back, nullptr) << image_last_error();
    EXPECT_EQ(std::vector<uint16_t>(back, back + 6), std::vector<uint16_t>(heights, heights + 6));
    alloc_check_free(back);
}

TEST_F(image_files, ScreenshotWriterFlipsRows)
{
    // Two rows bottom-up: the first row in the buffer is the image's last.
    const uint8_t bottom_up[12] = {1, 1, 1, 2, 2, 2, 9, 9, 9, 8, 8, 8};
    ASSERT_EQ(image_write_png_rgb("@shot.png", bottom_up, 2, 2), 1);
    uint8_t* p = nullptr;
    int w, h, bpp;
    char* text = nullptr;
    ASSERT_EQ(png_read("@shot.png", &p, &w, &h, &bpp, &text), 1);
    EXPECT_EQ(p[0], 9);
    EXPECT_EQ(p[9], 2);
    alloc_check_free(p);
    // A folder that cannot be made under any root: one line in the message log.
    vfs_test::write_all(home + "blocker", "x");
    vfs_test::write_all(data + "blocker", "x");
    EXPECT_EQ(image_write_png_rgb("@blocker/shot.png", bottom_up, 2, 2), 0);
    EXPECT_NE(vfs_test::roots_fixture::last_message().find("blocker/shot.png"), std::string::npos);
}

} // namespace
