// Display-mode list, full-screen choice, colour bits and GL version strings.
#include <gtest/gtest.h>

#include "platform/vesk_window_record.h"

namespace {

TEST(mode_choice, smallest_fitting_mode_else_desktop)
{
    const vesk_display_mode list[] = {{1024, 768, 32}, {1280, 720, 32}, {0, 0, 0}};
    struct {
        int w, h, want_w, want_h;
    } cases[] = {
        {1100, 700, 1280, 720},  // only 1280x720 is wide enough
        {800, 600, 1024, 768},   // 1792 beats 2000
        {1920, 1080, 1600, 900}, // nothing fits: the desktop
        {0, 0, 1600, 900},       {1024, 0, 1600, 900},
        {1024, 768, 1024, 768},  // an exact fit counts
    };
    for (auto& c : cases) {
        int w, h;
        vesk_choose_full_screen(list, c.w, c.h, 1600, 900, &w, &h);
        EXPECT_EQ(w, c.want_w) << c.w << "x" << c.h;
        EXPECT_EQ(h, c.want_h) << c.w << "x" << c.h;
    }
}

TEST(mode_choice, ties_go_to_the_first_listed)
{
    const vesk_display_mode list[] = {{1000, 800, 16}, {1100, 700, 32}, {1000, 800, 32}, {0, 0, 0}};
    int w, h;
    vesk_choose_full_screen(list, 900, 600, 640, 480, &w, &h);
    EXPECT_EQ(w, 1000);
    EXPECT_EQ(h, 800);
}

TEST(mode_list, desktop_first_duplicates_and_odd_depths_dropped)
{
    const vesk_mode_report desktop = {1920, 1080, 24, 60};
    const vesk_mode_report modes[] = {
        {1920, 1080, 24, 60}, {1920, 1080, 24, 75}, {1280, 720, 32, 60}, {1280, 720, 12, 60},
        {0, 0, 0, 0},         {1024, 768, 16, 60},  {1280, 720, 32, 50}, {1280, 720, 16, 60},
    };
    vesk_display_mode out[10];
    int n = vesk_build_mode_list(&desktop, modes, 8, out);
    const vesk_display_mode want[] = {{1920, 1080, 24}, {1280, 720, 32}, {1024, 768, 16}, {1280, 720, 16}};
    ASSERT_EQ(n, 4);
    for (int i = 0; i < n; i++) {
        EXPECT_EQ(out[i].width, want[i].width) << i;
        EXPECT_EQ(out[i].height, want[i].height) << i;
        EXPECT_EQ(out[i].bits, want[i].bits) << i;
    }
    EXPECT_EQ(out[4].width, 0);
    EXPECT_EQ(out[4].bits, 0);
}

TEST(mode_list, unaccepted_or_missing_desktop_mode_is_not_listed)
{
    const vesk_mode_report odd = {800, 600, 30, 60};
    const vesk_mode_report modes[] = {{640, 480, 8, 60}};
    vesk_display_mode out[3];
    EXPECT_EQ(vesk_build_mode_list(&odd, modes, 1, out), 1);
    EXPECT_EQ(out[0].width, 640);
    EXPECT_EQ(vesk_build_mode_list(nullptr, nullptr, 0, out), 0);
    EXPECT_EQ(out[0].width, 0);
}

TEST(colour_bits, depth_to_channel_sizes)
{
    struct {
        int depth, r, g, b;
    } cases[] = {{32, 8, 8, 8}, {24, 8, 8, 8}, {16, 5, 6, 5}, {15, 5, 5, 5}, {8, 3, 3, 2}, {0, 8, 8, 8}};
    for (auto& c : cases) {
        int r, g, b;
        vesk_color_bits(c.depth, &r, &g, &b);
        EXPECT_EQ(r + g + b, c.r + c.g + c.b) << c.depth;
        EXPECT_EQ(g, c.g) << c.depth;
    }
}

TEST(gl_version_text, desktop_and_es_strings)
{
    struct {
        const char* text;
        int ok, major, minor, dialect;
    } cases[] = {
        {"4.5 (Compatibility Profile) Mesa 22.3.6", 1, 4, 5, vesk_gl_compatibility},
        {"3.1 Mesa 22.3.6", 1, 3, 1, vesk_gl_compatibility},
        {"OpenGL ES 3.2 Mesa 22.3.6", 1, 3, 2, vesk_gl_es},
        {"OpenGL ES-CM 1.1", 1, 1, 1, vesk_gl_es},
        {"", 0, 0, 0, 0},
        {"garbage", 0, 0, 0, 0},
        {nullptr, 0, 0, 0, 0},
    };
    for (auto& c : cases) {
        int major = 0, minor = 0, dialect = -1;
        EXPECT_EQ(vesk_gl_parse_version(c.text, vesk_gl_compatibility, &major, &minor, &dialect), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(major, c.major);
        EXPECT_EQ(minor, c.minor);
        EXPECT_EQ(dialect, c.dialect);
    }
}

TEST(gl_loader, no_context_leaves_every_slot_null)
{
    vesk_window* window = vesk_window_record_new("t");
    void* a = reinterpret_cast<void*>(1);
    const vesk_gl_entry table[] = {{"glClear", &a, 11, 20}};
    EXPECT_EQ(vesk_gl_load(window, table, 1), 1);
    EXPECT_EQ(a, nullptr);
    vesk_window_record_free(window);
}

}  // namespace
