// Screenshots on a real window: the file holds the frame that was drawn
// (taken before the swap), checked with an outside PNG decoder.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/vfs.h"
#include "gfx/ztgl.h"
#include "platform/vesk.h"
#include "ui/console.h"
#include "ui/screenshot.h"
#include "ui_test_roots.h"

namespace {

struct rgb {
    int r, g, b;
};

// The image as `convert` decodes it: width, height and every pixel, or
// width 0 when it can't be read.
struct decoded {
    int width = 0, height = 0;
    std::string pixels;
};

decoded decode(const std::string& path)
{
    decoded out;
    FILE* pipe = popen(("convert '" + path + "' ppm:- 2>/dev/null").c_str(), "r");
    if (!pipe) return out;
    int w = 0, h = 0, max = 0;
    if (fscanf(pipe, "P6 %d %d %d", &w, &h, &max) == 3 && max == 255 && fgetc(pipe) != EOF) {
        out.pixels.resize(size_t(w) * size_t(h) * 3);
        if (fread(out.pixels.data(), 1, out.pixels.size(), pipe) == out.pixels.size()) out.width = w, out.height = h;
    }
    pclose(pipe);
    return out;
}

class screenshot_gl : public ui_roots_test {
protected:
    static vesk_window* window;
    static void SetUpTestSuite()
    {
        static bool held = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && SDL_GL_LoadLibrary(nullptr) == 0;
        ASSERT_TRUE(held) << SDL_GetError();
        vesk_gl_request_version(3, 2, vesk_gl_core);
        window = vesk_gl_window_open("screenshot", 160, 120, 32, 8, 24, 0, 0);
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(ztgl_init(window), 1);
    }
    static void TearDownTestSuite()
    {
        if (window) {
            ztgl_shutdown();
            vesk_gl_window_close(window);
        }
        window = nullptr;
    }
    void SetUp() override
    {
        ui_roots_test::SetUp();
        if (system("command -v convert >/dev/null 2>&1") != 0) GTEST_SKIP() << "convert is not installed";
    }
    // One frame cleared to a colour; the screenshot asked for is taken
    // before the swap, as the main loop does. The drawable size in *w, *h.
    void frame(rgb c, int* w, int* h)
    {
        const vesk_rect* rect = vesk_gl_frame_begin(window);
        ASSERT_NE(rect, nullptr);
        *w = rect->width, *h = rect->height;
        ztglViewport(0, 0, *w, *h);
        ztglClearColor(c.r / 255.0f, c.g / 255.0f, c.b / 255.0f, 1);
        ztglClear(GL_COLOR_BUFFER_BIT);
        screenshot_frame_end(*w, *h);
        ASSERT_EQ(vesk_gl_frame_end(window), 1);
    }
    // Every pixel of the file is the colour.
    static void expect_solid(const std::string& path, rgb c, int w, int h)
    {
        decoded img = decode(path);
        ASSERT_EQ(img.width, w) << path;
        ASSERT_EQ(img.height, h);
        size_t off = 0;
        for (size_t i = 0; i < img.pixels.size(); i += 3)
            off += img.pixels[i] != char(c.r) || img.pixels[i + 1] != char(c.g) || img.pixels[i + 2] != char(c.b);
        EXPECT_EQ(off, 0u) << path << ": pixels not of the drawn colour";
    }
};
vesk_window* screenshot_gl::window;

TEST_F(screenshot_gl, a_numbered_screenshot_is_the_frame_drawn_after_it_was_asked_for)
{
    write_home("screenshot041.png", "not really");
    vfs_build_index();
    int w = 0, h = 0;
    frame({200, 30, 30}, &w, &h);  // on screen before the request
    screenshot_save();
    EXPECT_FALSE(std::filesystem::exists(home + "screenshot042.png")) << "taken only inside a frame";
    frame({51, 153, 204}, &w, &h);
    EXPECT_EQ(last_message(), "Saved \"screenshot042.png\"");
    expect_solid(home + "screenshot042.png", {51, 153, 204}, w, h);
    screenshot_save();
    frame({250, 250, 10}, &w, &h);
    EXPECT_EQ(last_message(), "Saved \"screenshot043.png\"");
    expect_solid(home + "screenshot043.png", {250, 250, 10}, w, h);
}

TEST_F(screenshot_gl, a_named_screenshot_goes_to_its_path_and_a_failed_one_says_so)
{
    int w = 0, h = 0;
    std::string path = tmp + "/named.png";
    screenshot_save_as(path.c_str());
    frame({10, 220, 90}, &w, &h);
    EXPECT_EQ(last_message(), "Saved \"" + path + "\"");
    expect_solid(path, {10, 220, 90}, w, h);
    std::string bad = tmp + "/named.png/inside.png";
    screenshot_save_as(bad.c_str());
    frame({10, 220, 90}, &w, &h);
    EXPECT_EQ(last_message(), "Error saving \"" + bad + "\"");
    EXPECT_FALSE(std::filesystem::exists(bad));
}

}  // namespace
