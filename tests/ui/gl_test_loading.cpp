// The status screen drawn on a real context: the title image fills the view
// and the status text is written in white across its lower middle.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/game_state.h"
#include "core/vfs.h"
#include "gfx/text.h"
#include "gfx/texture.h"
#include "gfx/ztgl.h"
#include "platform/vesk.h"
#include "ui/loading.h"
#include "ui/view.h"
#include "support_gl.h"

namespace {

constexpr int width = 320, height = 240;

struct loading_gl : ::testing::Test {
    static vesk_window* window;
    gl_test_target target;

    static void SetUpTestSuite()
    {
        window = gl_test_window_open("loading");
        ASSERT_NE(window, nullptr);
    }
    static void TearDownTestSuite()
    {
        loading.title_texture = 0;
        gl_test_window_close(window);
        window = nullptr;
    }
    void SetUp() override { ASSERT_EQ(gl_test_target_create(&target, width, height), 1); }
    void TearDown() override { gl_test_target_delete(&target); }
    // The status screen with text, or the spinner at time t when text is
    // null; rows top-down, RGBA.
    std::vector<uint8_t> draw(const char* text, double t = 0)
    {
        ztglBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
        ztgl_use_program(ZTGL_UNLIT);
        set_perspective(width, height, 110);
        if (text)
            loading_screen(text);
        else
            loading_spinner_draw(t);
        ztgl_flush();
        std::vector<uint8_t> px(size_t(width) * height * 4), out(px.size());
        ztglReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        for (int y = 0; y < height; y++)
            memcpy(&out[size_t(y) * width * 4], &px[size_t(height - 1 - y) * width * 4], size_t(width) * 4);
        return out;
    }
};
vesk_window* loading_gl::window;

TEST_F(loading_gl, the_text_is_white_below_the_middle_of_the_title)
{
    ASSERT_NE(texture_load("!@title.png"), 0);
    loading.title_texture = 0;
    std::vector<uint8_t> bare = draw("");
    std::vector<uint8_t> with_text = draw("Loading track");
    // The title covers the view: its top rows are the warm evening sky.
    const uint8_t* top = &bare[(size_t(2) * width + width / 2) * 4];
    EXPECT_GT(top[0], top[2] + 60) << "red well above blue at the top";
    // Every pixel the text changed is near white and lies in its band: the
    // text sits 4 of 25 lines below the centre, one line high.
    int changed = 0;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            const uint8_t* a = &bare[(size_t(y) * width + x) * 4];
            const uint8_t* b = &with_text[(size_t(y) * width + x) * 4];
            if (a[0] == b[0] && a[1] == b[1] && a[2] == b[2]) continue;
            changed++;
            float band_top = height * (0.5f + 4 / 25.0f) - height / 25.0f * 1.5f;
            float band_bottom = height * (0.5f + 4 / 25.0f) + height / 25.0f * 0.5f;
            EXPECT_GT(y, band_top) << x << "," << y;
            EXPECT_LT(y, band_bottom) << x << "," << y;
        }
    EXPECT_GT(changed, 50) << "the text was drawn";
}

TEST_F(loading_gl, without_a_title_the_screen_is_black_but_for_the_texts)
{
    textures_purge(1);
    load_fonts();
    loading.title_texture = 0;
    std::vector<uint8_t> px = draw("");
    int black = 0, grey = 0;
    for (size_t i = 0; i < px.size(); i += 4) {
        if (px[i] == 0 && px[i + 1] == 0 && px[i + 2] == 0) black++;
        // The build text in grey 0.75 at the bottom right.
        if (px[i] > 150 && px[i] < 215 && px[i] == px[i + 1]) grey++;
    }
    EXPECT_GT(black, width * height * 9 / 10);
    EXPECT_GT(grey, 10);
}

TEST_F(loading_gl, the_spinner_shows_the_call_count_in_its_squares)
{
    loading.spinner_fade_start = 0;
    loading.tick_count = 0;
    std::vector<uint8_t> first = draw(nullptr, 50.0);
    // The first drawing starts the fade: no squares yet, only the disc.
    auto at = [&](const std::vector<uint8_t>& px, float view_x) {
        int x = int((view_x / view_extent_w + 1) * 0.5f * width);
        return px[(size_t(height / 2) * width + size_t(x)) * 4];
    };
    float h = view_extent_h;
    EXPECT_LT(at(first, h), 200) << "no square before the fade";
    // Half a second later the squares are opaque: bit 0 set (square 0, at
    // x = H) is light grey 0.875, bit 1 clear (square 1) grey 0.75.
    loading.tick_count = 1;
    std::vector<uint8_t> later = draw(nullptr, 50.5);
    EXPECT_NEAR(at(later, h), 223, 3);
    EXPECT_NEAR(at(later, h - h / 16), 191, 3);
}

} // namespace
