// The terrain renderer on a real GL context: both sample tracks draw textured
// ground under a horizon, a dug rut shows after the upkeep, edited tiles show
// once their cells are invalidated, and a repaint inside the draw keeps the
// depth test.
#include <SDL.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <png.h>

#include <gtest/gtest.h>

#include "core/vfs.h"
#include "gfx/ztgl.h"
#include "platform/vesk_window.h"
#include "support_terrain.h"
#include "terrain/erode.h"
#include "terrain/heightfield.h"
#include "terrain/terrain_load.h"
#include "terrain/terrain_render.h"

namespace {

// Small for the checks; screenshots for the documents are taken larger.
int width = 320, height = 180;
const float sky[3] = {0.45f, 0.62f, 0.85f};

} // namespace

// The GL driver and the desktop-bus library keep a few blocks for the life of
// the process; they are theirs, not leaks of the game.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\nleak:swrast_dri.so\nleak:libGLX_mesa.so\nleak:libglapi.so\n"
           "leak:libLLVM\nleak:libX11.so\n";
}

namespace {

struct render_fixture : ::testing::Test {
    static vesk_window* window;
    static std::string saved_home;
    terrain_test_env env;
    terrain* t = &track_terrain;
    GLuint framebuffer = 0, colour = 0, depth = 0;

    static void SetUpTestSuite()
    {
        if (getenv("ZT_TERRAIN_SCREENSHOTS")) width = 960, height = 540;
        const char* home = getenv("ZT_HOME");
        saved_home = home ? home : "";
        setenv("ZT_HOME", "../data", 1);
        vfs_shutdown();
        // The video subsystem and the GL library stay loaded for the whole run:
        // unloading them would turn the driver's lasting blocks anonymous.
        static bool held = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && SDL_GL_LoadLibrary(nullptr) == 0;
        ASSERT_TRUE(held) << SDL_GetError();
        vesk_gl_request_version(3, 2, vesk_gl_core);
        window = vesk_gl_window_open("terrain", 16, 16, 32, 8, 24, 0, 0);
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(ztgl_init(window), 1);
        ASSERT_EQ(ztgl_build_programs(), 1);
    }
    static void TearDownTestSuite()
    {
        terrain_free(&track_terrain);
        if (window) {
            ztgl_shutdown();
            vesk_gl_window_close(window);
        }
        window = nullptr;
        if (saved_home.empty())
            unsetenv("ZT_HOME");
        else
            setenv("ZT_HOME", saved_home.c_str(), 1);
        vfs_shutdown();
    }
    void SetUp() override
    {
        ztglGenTextures(1, &colour);
        ztglBindTexture(GL_TEXTURE_2D, colour);
        ztglTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        ztglGenTextures(1, &depth);
        ztglBindTexture(GL_TEXTURE_2D, depth);
        ztglTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, width, height, 0, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT,
                       nullptr);
        ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        ztglGenFramebuffers(1, &framebuffer);
        ztglBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        ztglFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour, 0);
        ztglFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, depth, 0);
        ASSERT_EQ(ztglCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
    }
    void TearDown() override
    {
        terrain_free(t);
        ztglBindFramebuffer(GL_FRAMEBUFFER, 0);
        ztglDeleteFramebuffers(1, &framebuffer);
        ztglDeleteTextures(1, &colour);
        ztglDeleteTextures(1, &depth);
    }

    // Draws the loaded terrain from eye toward target; rows top-down, RGBA.
    // The world view brings the ground texture up to date first, with the
    // depth test off; without that step terrain_draw repaints stale levels
    // itself, inside the depth-tested draw.
    std::vector<uint8_t> draw(const float eye[3], const float target[3], bool update_pyramid_first = true)
    {
        ztglBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        ztglViewport(0, 0, width, height);
        ztglClearColor(sky[0], sky[1], sky[2], 1);
        ztglClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        ztglMatrixMode(ZTGL_PROJECTION);
        ztglLoadIdentity();
        float n = 0.5f, w = n * 0.6f, h = w * height / width;
        ztglFrustum(-w, w, -h, h, n, 4000);
        ztglMatrixMode(ZTGL_MODELVIEW);
        float f[3] = {target[0] - eye[0], target[1] - eye[1], target[2] - eye[2]};
        float fl = sqrtf(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
        for (float& c : f) c /= fl;
        float s[3] = {-f[2], 0, f[0]};  // f x up
        float sl = sqrtf(s[0] * s[0] + s[2] * s[2]);
        s[0] /= sl, s[2] /= sl;
        float u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]};
        const float view[16] = {s[0], u[0], -f[0], 0, s[1], u[1], -f[1], 0, s[2], u[2], -f[2], 0,
                                -(s[0] * eye[0] + s[1] * eye[1] + s[2] * eye[2]),
                                -(u[0] * eye[0] + u[1] * eye[1] + u[2] * eye[2]),
                                f[0] * eye[0] + f[1] * eye[1] + f[2] * eye[2], 1};
        ztglLoadMatrixf(view);
        memcpy(t->camera, eye, sizeof t->camera);
        ztglDisable(GL_DEPTH_TEST);
        if (update_pyramid_first) terrain_update_pyramid(t);
        ztglBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        ztglViewport(0, 0, width, height);
        ztglEnable(GL_DEPTH_TEST);
        ztglDepthFunc(GL_LEQUAL);
        ztgl_use_program(ZTGL_TERRAIN);
        const float sun[3] = {0.4f, 0.8f, 0.45f};
        float light[3] = {view[0] * sun[0] + view[4] * sun[1] + view[8] * sun[2],
                          view[1] * sun[0] + view[5] * sun[1] + view[9] * sun[2],
                          view[2] * sun[0] + view[6] * sun[1] + view[10] * sun[2]};
        float ll = sqrtf(light[0] * light[0] + light[1] * light[1] + light[2] * light[2]);
        for (float& c : light) c /= ll;
        const float ambient[4] = {0.45f, 0.45f, 0.45f, 1}, diffuse[3] = {0.7f, 0.7f, 0.65f};
        ztgl_set_light_position(light);
        ztgl_set_ambient(ambient);
        ztgl_set_diffuse(diffuse);
        terrain_draw(t);
        ztgl_flush();
        std::vector<uint8_t> bottom_up(size_t(width) * height * 4), rows(bottom_up.size());
        ztglPixelStorei(GL_PACK_ALIGNMENT, 1);
        ztglReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottom_up.data());
        for (int y = 0; y < height; y++)
            memcpy(&rows[size_t(y) * width * 4], &bottom_up[size_t(height - 1 - y) * width * 4], size_t(width) * 4);
        return rows;
    }

    // A texture's first level as RGBA rows, bottom row (texture row 0) first.
    std::vector<uint8_t> read_texture(GLuint texture, int w, int h)
    {
        GLuint reader = 0;
        ztglGenFramebuffers(1, &reader);
        ztglBindFramebuffer(GL_FRAMEBUFFER, reader);
        ztglFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        EXPECT_EQ(ztglCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
        std::vector<uint8_t> px(size_t(w) * h * 4);
        ztglPixelStorei(GL_PACK_ALIGNMENT, 1);
        ztglReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        ztglBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        ztglDeleteFramebuffers(1, &reader);
        return px;
    }

    static bool is_sky(const uint8_t* p)
    {
        return abs(p[0] - int(sky[0] * 255 + 0.5f)) <= 1 && abs(p[1] - int(sky[1] * 255 + 0.5f)) <= 1 &&
               abs(p[2] - int(sky[2] * 255 + 0.5f)) <= 1;
    }
    // Sky pixels in rows [y0, y1).
    static double sky_share(const std::vector<uint8_t>& px, int y0, int y1)
    {
        int n = 0;
        for (int y = y0; y < y1; y++)
            for (int x = 0; x < width; x++) n += is_sky(&px[(size_t(y) * width + x) * 4]);
        return double(n) / double((y1 - y0) * width);
    }
    // Distinct ground colours, coarsely quantised.
    static size_t ground_colours(const std::vector<uint8_t>& px)
    {
        std::set<int> seen;
        for (size_t k = 0; k < px.size(); k += 4)
            if (!is_sky(&px[k])) seen.insert(px[k] >> 2 << 12 | px[k + 1] >> 2 << 6 | px[k + 2] >> 2);
        return seen.size();
    }
    void save(const std::vector<uint8_t>& px, const char* name)
    {
        const char* dir = getenv("ZT_TERRAIN_SCREENSHOTS");
        if (!dir) return;
        png_image image = {};
        image.version = PNG_IMAGE_VERSION;
        image.width = width;
        image.height = height;
        image.format = PNG_FORMAT_RGBA;
        png_image_write_to_file(&image, (std::string(dir) + "/" + name).c_str(), 0, px.data(), 0, nullptr);
    }
};

vesk_window* render_fixture::window;
std::string render_fixture::saved_home;

struct camera_case {
    const char* track;
    float eye[3], target[3];
    const char* shot;
};

struct render_test : render_fixture, ::testing::WithParamInterface<camera_case> {};

TEST_P(render_test, ground_is_textured_under_a_horizon)
{
    const camera_case& c = GetParam();
    ASSERT_EQ(terrain_load(t, (std::string("@tracks/") + c.track).c_str()), 1);
    ASSERT_NE(t->renderer, nullptr);
    std::vector<uint8_t> px = draw(c.eye, c.target);
    save(px, c.shot);
    // Looking slightly down across the field: sky above, ground below.
    EXPECT_GT(sky_share(px, 0, height / 10), 0.5) << c.shot;
    EXPECT_LT(sky_share(px, height * 7 / 10, height), 0.02) << c.shot;
    EXPECT_GT(ground_colours(px), 100u) << c.shot;
    EXPECT_GT(t->ground_polygons, 0);
}

INSTANTIATE_TEST_SUITE_P(
    cameras, render_test,
    ::testing::Values(camera_case{"stadium", {30, 25, 30}, {130, 8, 120}, "stadium_corner.png"},
                      camera_case{"stadium", {128, 14, 10}, {128, 6, 100}, "stadium_start.png"},
                      camera_case{"practice", {300, 11, 116}, {360, 2, 122}, "practice_straight.png"},
                      camera_case{"practice", {560, 45, 430}, {680, 10, 250}, "practice_valley.png"}));

TEST_F(render_fixture, dug_rut_changes_the_picture_after_the_upkeep)
{
    ASSERT_EQ(terrain_load(t, "@tracks/stadium"), 1);
    const float eye[3] = {100, 10, 20}, target[3] = {100, 0, 60};
    std::vector<uint8_t> before = draw(eye, target);
    for (float z = 40; z < 60; z += 0.5f) terrain_dig(t, 100, z, 2.0f, -0.6f);
    std::vector<uint8_t> stale = draw(eye, target);
    EXPECT_EQ(stale, before) << "heights reach the GL only through the upkeep";
    terrain_upkeep_full(t);
    for (uint8_t b : t->dirty_blocks) EXPECT_EQ(b, 0);
    std::vector<uint8_t> after = draw(eye, target);
    int changed = 0;
    for (size_t k = 0; k < after.size(); k += 4) changed += abs(after[k] - before[k]) + abs(after[k + 1] - before[k + 1]) > 8;
    EXPECT_GT(changed, 200);
}

// The editor paints tiles into the tile map and invalidates their cells: the
// tile-map texture it draws with takes the new bytes, and the ground shows
// the new surface.
TEST_F(render_fixture, edited_tiles_show_after_their_cells_are_invalidated)
{
    ASSERT_EQ(terrain_load(t, "@tracks/stadium"), 1);
    ASSERT_GE(t->tile_count, 2);
    ASSERT_NE(t->tile_map_texture, 0u);
    ASSERT_NE(t->tile_atlas_texture, 0u);
    const int tiles = 1 << t->exponent;
    // R8 holds each byte exactly, so the texture reads back as the map.
    auto texture_matches_map = [&] {
        std::vector<uint8_t> px = read_texture(t->tile_map_texture, tiles, tiles);
        int wrong = 0;
        for (int k = 0; k < tiles * tiles; k++) wrong += px[4 * size_t(k)] != t->tile_map[k];
        return wrong;
    };
    EXPECT_EQ(texture_matches_map(), 0);
    // Every atlas cell holds a texture or the stand-in colour: opaque.
    int side = 1;
    while (side * side < t->tile_count) side *= 2;
    std::vector<uint8_t> atlas = read_texture(t->tile_atlas_texture, side * 128, side * 128);
    for (int n = 0; n < t->tile_count; n++)
        EXPECT_EQ(atlas[(size_t(n / side * 128 + 64) * side * 128 + n % side * 128 + 64) * 4 + 3], 255) << n;

    // A 40-ft square straight ahead and below the camera takes another surface.
    const float eye[3] = {100, 40, 40}, target[3] = {100, 0, 80};
    std::vector<uint8_t> before = draw(eye, target);
    int c0 = int(80 / t->tile_size), c1 = int(120 / t->tile_size);
    int r0 = int(60 / t->tile_size), r1 = int(100 / t->tile_size);
    for (int r = r0; r <= r1; r++)
        for (int c = c0; c <= c1; c++) {
            uint8_t& tile = t->tile_map[r * tiles + c];
            tile = uint8_t((tile + 1) % t->tile_count);
        }
    EXPECT_GT(texture_matches_map(), 0) << "the map and its texture differ until the cells are invalidated";
    terrain_invalidate_levels(t, 2 * c0, 2 * r0, 2 * c1 + 1, 2 * r1 + 1);
    EXPECT_EQ(texture_matches_map(), 0);
    std::vector<uint8_t> after = draw(eye, target);
    save(after, "stadium_tiles_edited.png");
    // Looking 45 degrees down at the square's middle, it fills most of the
    // frame's height and over half its width: at least a quarter of the
    // pixels show the new surface and change colour.
    int changed = 0;
    for (size_t k = 0; k < after.size(); k += 4)
        changed += abs(after[k] - before[k]) + abs(after[k + 1] - before[k + 1]) + abs(after[k + 2] - before[k + 2]) > 8;
    EXPECT_GT(changed, width * height / 4);
}

// terrain_draw repaints a stale ground level itself when the world view did
// not do so first; the patches it then draws still need the depth test.
TEST_F(render_fixture, a_repaint_inside_the_draw_keeps_the_depth_test)
{
    ASSERT_EQ(terrain_load(t, "@tracks/stadium"), 1);
    const float eye[3] = {30, 25, 30}, target[3] = {130, 8, 120};
    std::vector<uint8_t> reference = draw(eye, target);
    terrain_invalidate_levels(t, 0, 0, t->size - 1, t->size - 1);
    std::vector<uint8_t> repainted = draw(eye, target, false);
    GLint depth_test = 0;
    ztgl_fn.GetIntegerv(GL_DEPTH_TEST, &depth_test);
    EXPECT_EQ(depth_test, 1);
    int differ = 0;
    for (size_t k = 0; k < reference.size(); k++) differ += reference[k] != repainted[k];
    EXPECT_EQ(differ, 0) << "the same levels painted again, the same picture";
}

TEST_F(render_fixture, decals_lie_on_the_ground_unless_hidden)
{
    ASSERT_EQ(terrain_load(t, "@tracks/stadium"), 1);
    ASSERT_GT(t->decals.count, 0);
    const float eye[3] = {60, 30, 15}, target[3] = {60, 0, 40};
    std::vector<uint8_t> shown = draw(eye, target);
    save(shown, "stadium_start_line.png");
    t->hide_decals = 1;
    terrain_invalidate_levels(t, 0, 0, t->size - 1, t->size - 1);
    std::vector<uint8_t> hidden = draw(eye, target);
    int brighter = 0;
    for (size_t k = 0; k < shown.size(); k += 4) brighter += shown[k] > hidden[k] + 40;
    EXPECT_GT(brighter, 500);
}

} // namespace
