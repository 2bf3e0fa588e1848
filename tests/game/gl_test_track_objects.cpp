// The generated tracks' furniture on a real GL context: every model, texture
// and image the files name loads through the real caches.
#include <SDL.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/game_state.h"
#include "core/vfs.h"
#include "game/flaggers.h"
#include "game/timing_gates.h"
#include "game/track_objects.h"
#include "gfx/model.h"
#include "gfx/texture.h"
#include "gfx/ztgl.h"
#include "physics/collision_shape.h"
#include "platform/vesk_window.h"
#include "terrain/terrain.h"
#include "terrain/terrain_load.h"
#include "terrain/terrain_services.h"
#include "track_fixture.h"
#include "ui/console.h"

// The GL driver and the desktop-bus library keep a few blocks for the life of
// the process; they are theirs, not leaks of the game.
namespace {

std::vector<std::string> lines;
void capture(const char* text) { lines.push_back(text); }

struct gl_track_objects : ::testing::TestWithParam<const char*> {
    static vesk_window* window;

    static void SetUpTestSuite()
    {
        setenv("ZT_HOME", "../data", 1);
        vfs_shutdown();
        static bool held = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && SDL_GL_LoadLibrary(nullptr) == 0;
        ASSERT_TRUE(held) << SDL_GetError();
        vesk_gl_request_version(3, 2, vesk_gl_core);
        window = vesk_gl_window_open("objects", 16, 16, 32, 8, 24, 0, 0);
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(ztgl_init(window), 1);
    }
    static void TearDownTestSuite()
    {
        textures_purge(1);
        models_purge(1);
        if (window) {
            ztgl_shutdown();
            vesk_gl_window_close(window);
        }
        window = nullptr;
        unsetenv("ZT_HOME");
        vfs_shutdown();
    }
    void SetUp() override
    {
        lines.clear();
        track_object_services_reset();
        track_object_hooks.console_print = capture;
        terrain_services_reset();
        terrain_hooks.console_print = capture;
    }
    void TearDown() override { free_loaded_track(); }
};
vesk_window* gl_track_objects::window;

TEST_P(gl_track_objects, every_asset_loads)
{
    std::string folder = std::string("tracks/") + GetParam();
    ASSERT_EQ(load_track_folder(folder), 1);
    int first_billboard = track_objects.first_file_billboard;
    EXPECT_TRUE(lines.empty()) << lines.front();
    ASSERT_GT(track_objects.statues.count, 0);
    for (int i = 0; i < track_objects.statues.count; i++) {
        const statue* s = statue_at(i);
        ASSERT_NE(s->model, nullptr) << s->model_name;
        EXPECT_STREQ(model_name(s->model), s->model_name);
        EXPECT_NE(s->texture, 0) << s->texture_name;
        EXPECT_NE(s->shape, nullptr) << s->shape_name;
    }
    for (int i = first_billboard; i < track_objects.billboards.count; i++)
        EXPECT_NE(billboard_at(i)->texture, 0) << billboard_at(i)->name;
    for (int k = 0; k < 5; k++) EXPECT_NE(start_flagger.textures[k], 0) << k;
    for (int k = 0; k < 4; k++) EXPECT_NE(lap_board.textures[k], 0) << k;
    for (int i = 0; i < flaggers.count; i++) {
        EXPECT_NE(array_items<flagger>(&flaggers)[i].calm_texture, 0);
        EXPECT_NE(array_items<flagger>(&flaggers)[i].warning_texture, 0);
    }
    EXPECT_NE(texture_load(("@" + folder + "/map.png").c_str()), 0);
}

INSTANTIATE_TEST_SUITE_P(tracks, gl_track_objects, ::testing::Values("stadium", "practice"));

} // namespace
