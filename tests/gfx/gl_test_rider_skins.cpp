// A rider's skins and number plate on a real GL context: skins loaded by
// name with the row's skin and then the white texture as fallbacks, the
// plate colours read from a skin's image text, and the number plate drawn
// in the bike skin's colours. The skin images are written here by an
// encoder of our own (support_png_writer), not by the game.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/vfs_test_util.h"
#include "gfx/number_plate.h"
#include "gfx/texture.h"
#include "gl_test_ztgl_context.h"
#include "physics/physics_messages.h"
#include "physics/rider.h"
#include "support_png_writer.h"

namespace {

std::vector<std::string> messages;
void keep_message(const char* line) { messages.push_back(line); }

class gl_rider_skins : public vfs_test::roots_fixture {
protected:
    static void SetUpTestSuite()
    {
        std::string why = gl_test_open(GL_TEST_CORE);
        if (!why.empty()) FAIL() << why;
    }
    static void TearDownTestSuite() { gl_test_close(); }
    void SetUp() override
    {
        vfs_test::roots_fixture::SetUp();
        riders_init_all();
        messages.clear();
        physics_set_message_sink(keep_message);
    }
    void TearDown() override
    {
        physics_set_message_sink(nullptr);
        textures_purge(1);
        vfs_test::roots_fixture::TearDown();
    }
    // An 8x8 skin of one colour with an optional text chunk, in the data root.
    void write_skin(const std::string& name, uint8_t r, uint8_t g, uint8_t b, const std::string& text = "")
    {
        test_png png;
        png.width = png.height = 8;
        for (int i = 0; i < 64; i++)
            png.samples.insert(png.samples.end(), {r, g, b});
        if (!text.empty())
            png.text_before.push_back(text);
        std::vector<uint8_t> bytes = test_png_encode(png);
        vfs_test::write_all(data + name, std::string(bytes.begin(), bytes.end()));
    }
    // Level 0 of an RGB texture, read back through a framebuffer.
    static std::vector<uint8_t> read_rgb(GLuint id, int w, int h)
    {
        GLuint fb;
        ztglGenFramebuffers(1, &fb);
        ztglBindFramebuffer(GL_FRAMEBUFFER, fb);
        ztglFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, id, 0);
        std::vector<uint8_t> rgba(size_t(w) * h * 4);
        ztglPixelStorei(GL_PACK_ALIGNMENT, 1);
        ztglReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        ztglBindFramebuffer(GL_FRAMEBUFFER, 0);
        ztglDeleteFramebuffers(1, &fb);
        std::vector<uint8_t> rgb;
        for (size_t i = 0; i < size_t(w) * h; i++)
            rgb.insert(rgb.end(), {rgba[i * 4], rgba[i * 4 + 1], rgba[i * 4 + 2]});
        return rgb;
    }
};

TEST_F(gl_rider_skins, TheBikeSkinsTextColoursTheNumberPlate)
{
    write_skin("paint.png", 10, 20, 30, "plate_colours 10 20 30 200 210 220\n");
    rider* r = rider_create("cr125", 0, 0, "17", nullptr, nullptr, "@paint.png", nullptr);
    ASSERT_NE(r, nullptr);
    EXPECT_NE(r->bike_texture.texture, 0u);
    EXPECT_STREQ(r->bike_texture.name, "@paint.png");
    EXPECT_FLOAT_EQ(r->bike_texture.plate_colours[0][2], 30.0f / 255.0f);
    EXPECT_FLOAT_EQ(r->bike_texture.plate_colours[1][0], 200.0f / 255.0f);
    ASSERT_NE(r->number_texture, 0u);
    // The plate holds the two colours and nothing else: the background
    // round the digits "17", the digits and the border.
    std::vector<uint8_t> px = read_rgb(r->number_texture, NUMBER_PLATE_WIDTH, NUMBER_PLATE_HEIGHT);
    int background = 0, digits = 0, other = 0;
    for (size_t i = 0; i < px.size(); i += 3) {
        if (px[i] == 10 && px[i + 1] == 20 && px[i + 2] == 30)
            background++;
        else if (px[i] == 200 && px[i + 1] == 210 && px[i + 2] == 220)
            digits++;
        else
            other++;
    }
    EXPECT_GT(background, digits);
    EXPECT_GT(digits, 0);
    EXPECT_EQ(other, 0);
    rider_destroy(r);
}

TEST_F(gl_rider_skins, AMissingSkinFallsBackToTheRowsAndThenToWhite)
{
    // The row's own skin ("@cr125.png") without plate colours: the plate
    // takes the default white with black digits.
    write_skin("cr125.png", 90, 90, 90);
    write_skin("colors/white.png", 255, 255, 255);
    rider* r = rider_create("cr125", 0, 0, "5", nullptr, nullptr, "@no_such_paint.png", nullptr);
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r->bike_texture.name, "@cr125.png");
    EXPECT_EQ(r->bike_texture.texture, (uint32_t)texture_find("@cr125.png"));
    EXPECT_NE(r->bike_texture.texture, 0u);
    EXPECT_FLOAT_EQ(r->bike_texture.plate_colours[0][0], 1.0f);
    EXPECT_FLOAT_EQ(r->bike_texture.plate_colours[1][0], 0.0f);
    // One line for the paint, one each for the row's missing rider, head and
    // wheel skins (the sphere sets missing here have lines of their own).
    std::vector<std::string> skin_lines;
    for (const std::string& m : messages)
        if (m.find("skin '") != std::string::npos)
            skin_lines.push_back(m);
    ASSERT_EQ(skin_lines.size(), 4u);
    EXPECT_NE(skin_lines[2].find("no_such_paint"), std::string::npos) << skin_lines[2];
    // The rider, head and wheel skins of the row are missing from this data
    // root: each is the white texture.
    uint32_t white = (uint32_t)texture_find("@colors/white.png");
    EXPECT_NE(white, 0u);
    EXPECT_EQ(r->rider_texture.texture, white);
    EXPECT_EQ(r->head_texture.texture, white);
    EXPECT_EQ(r->wheel_texture.texture, white);
    rider_destroy(r);
}

}  // namespace
