// Every menu page drawn on a real context at 640 x 480 and 1920 x 1080 over
// the generated data root: each line's rectangle lies inside the window and
// no two lines overlap, and the page leaves pixels of its own. With
// ZT_MENU_SHOTS set to a folder, each page is also saved there as a PNG.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/game_state.h"
#include "core/vfs.h"
#include "game/series.h"
#include "game/startup.h"
#include "game/track_list.h"
#include "gfx/image_file.h"
#include "gfx/text.h"
#include "gfx/texture.h"
#include "gfx/ztgl.h"
#include "physics/paint_lists.h"
#include "physics/setup.h"
#include "platform/vesk.h"
#include "ui/console.h"
#include "ui/menu.h"
#include "ui/menu_pages.h"
#include "ui/settings.h"
#include "ui/view.h"
#include "support_gl.h"

namespace {

struct page_shot {
    int page;
    const char* name;
};
const page_shot pages[] = {
    {page_main, "00_main"},           {page_new_race, "01_new_race"},
    {page_chooser, "02_choose_track"}, {page_demos, "03_playback_race"},
    {page_series_list, "04_points_series"}, {page_standings, "05_series_standings"},
    {page_time_trial, "06_time_trial"}, {page_bike_setup, "07_bike_setup"},
    {page_suspension, "08_suspension_and_gearing"}, {page_stability, "09_advanced_stability"},
    {page_controls, "10_customize_controls"}, {page_graphics, "11_graphics_sound"},
    {page_advanced_graphics, "12_advanced_graphics"}, {page_multiplayer, "13_multiplayer"},
    {page_console, "16_console"},      {page_exit, "18_exit"},
};

const char* const sample_demos[] = {"demos/default.ztdemo", "demos/stadium_heat.ztdemo"};

struct menu_gl : ::testing::Test {
    static vesk_window* window;
    gl_test_target target;

    static void SetUpTestSuite()
    {
        window = gl_test_window_open("menu");
        ASSERT_NE(window, nullptr);
        settings_defaults();
        setup_defaults(&player_setup);
        ASSERT_EQ(track_list_build(), 1);
        paint_list_collect(&rider_body_paints, "rider_body");
        paint_list_collect(&rider_head_paints, "rider_head");
        graphics_lists_build(player_setup.bike);
        series_list_build();
        demo_names = const_cast<const char**>(sample_demos);
        demo_count = 2;
        for (int i = 0; i < 60; i++) console_printf("Message log line %d", i);
        game_clock = 3;
    }
    static void TearDownTestSuite()
    {
        demo_names = nullptr;
        demo_count = 0;
        series_list_free();
        for (paint_list* list : {&rider_body_paints, &rider_head_paints, &bike_paints, &wheel_paints})
            paint_list_free(list);
        track_list_free();
        gl_test_window_close(window);
        window = nullptr;
    }
    void TearDown() override { gl_test_target_delete(&target); }
    // The page over a mid-grey scene; RGB rows bottom-up as read.
    static std::vector<uint8_t> draw(int width, int height)
    {
        ztgl_use_program(ZTGL_UNLIT);
        set_perspective(width, height, 110);
        ztglClearColor(0.35f, 0.45f, 0.3f, 1);
        ztglClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        menu_drawable_w = width, menu_drawable_h = height;
        menu_draw();
        ztgl_flush();
        std::vector<uint8_t> px(size_t(width) * height * 3);
        ztglPixelStorei(GL_PACK_ALIGNMENT, 1);
        ztglReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, px.data());
        return px;
    }
    // Opens the page as the keys would (the standings through the list).
    static void open(int page)
    {
        if (page == page_chooser) {
            menu_open(page_new_race);
            track_choice_sync();
            list_chooser_open("Choose Track", &track_choice, list_chooser_pick_choice);
        } else if (page == page_standings) {
            menu_open(page_series_list);
            draw(640, 480);  // fills the list
            menu_line = 2;
            handle_menu_key(' ');
        } else {
            menu_open(page);
        }
        menu_line = 0;
    }
};
vesk_window* menu_gl::window;

bool overlap(const menu_rect& a, const menu_rect& b)
{
    return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}

void every_page_fits(menu_gl* test, int width, int height, const char* shots)
{
    ASSERT_EQ(gl_test_target_create(&test->target, width, height), 1);
    for (const page_shot& p : pages) {
        menu_gl::open(p.page);
        ASSERT_EQ(menu_page, p.page) << p.name;
        // Twice: the first drawing leaves the rectangles that hovering and
        // keys would use, the second is what the player sees.
        menu_gl::draw(width, height);
        std::vector<uint8_t> px = menu_gl::draw(width, height);
        const menu_page_entry* e = menu_page_for(p.page);
        std::vector<menu_rect> drawn;
        for (int line = 0; line <= e->last_line; line++) {
            const menu_rect* r = e->line_rect(line);
            if (!r || r->x0 == -1) continue;
            EXPECT_GE(r->x0, 0) << p.name << " line " << line;
            EXPECT_GE(r->y0, 0) << p.name << " line " << line;
            EXPECT_LE(r->x1, width) << p.name << " line " << line;
            EXPECT_LE(r->y1, height) << p.name << " line " << line;
            EXPECT_LT(r->x0, r->x1);
            EXPECT_LT(r->y0, r->y1);
            for (const menu_rect& other : drawn) EXPECT_FALSE(overlap(*r, other)) << p.name << " line " << line;
            drawn.push_back(*r);
        }
        // The page changed the scene: background, boxes or text.
        int changed = 0;
        for (size_t i = 0; i < px.size(); i += 3) changed += px[i] != 89 || px[i + 1] != 115 || px[i + 2] != 77;
        EXPECT_GT(changed, width * height / 20) << p.name;
        if (shots) {
            std::string name = std::string(shots) + "/" + p.name + ".png";
            EXPECT_EQ(image_write_png_rgb(name.c_str(), px.data(), width, height), 1) << name;
        }
    }
    menu_page = page_none;
}

TEST_F(menu_gl, every_page_fits_at_640_by_480)
{
    every_page_fits(this, 640, 480, getenv("ZT_MENU_SHOTS"));
}

TEST_F(menu_gl, every_page_fits_at_1920_by_1080)
{
    const char* shots = getenv("ZT_MENU_SHOTS_WIDE");
    every_page_fits(this, 1920, 1080, shots);
}

// The quads first and the text after them must be the picture the page
// drawn in order gives: the flat program's colour is the unlit program's
// colour times a white texel, without fog (the overlays draw with none).
void two_passes_look_as_one(menu_gl* test, int width, int height)
{
    ASSERT_EQ(gl_test_target_create(&test->target, width, height), 1);
    for (const page_shot& p : pages) {
        menu_gl::open(p.page);
        menu_gl::draw(width, height);
        menu_draw_passes = 1;
        std::vector<uint8_t> one = menu_gl::draw(width, height);
        menu_draw_passes = 2;
        std::vector<uint8_t> two = menu_gl::draw(width, height);
        int differ = 0, worst = 0;
        for (size_t i = 0; i < one.size(); i++) {
            int d = std::abs(int(one[i]) - int(two[i]));
            differ += d > 0;
            worst = std::max(worst, d);
        }
        EXPECT_EQ(differ, 0) << p.name << ": " << differ << " values differ, by up to " << worst;
    }
    menu_page = page_none;
}

TEST_F(menu_gl, quads_then_text_look_as_drawn_in_order)
{
    two_passes_look_as_one(this, 640, 480);
    two_passes_look_as_one(this, 1280, 720);
}

}  // namespace
