// The ground tools on a real GL context with the stadium track: painted tiles
// reach the tile-map texture the editor draws with, and every tool overlay
// draws without a GL error and leaves marks on the view.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "editor/editor_state.h"
#include "editor/gradients.h"
#include "editor/terrain_tools.h"
#include "gfx/ztgl.h"
#include "support_gl.h"
#include "terrain/decals.h"
#include "terrain/terrain_load.h"
#include "terrain/terrain_render.h"

namespace {

constexpr int view_w = 640, view_h = 480;

struct gl_ground : ::testing::Test {
    static vesk_window* window;
    terrain* t = &track_terrain;

    static void SetUpTestSuite()
    {
        window = gl_test_window_open("editor");
        ASSERT_NE(window, nullptr);
    }
    static void TearDownTestSuite()
    {
        terrain_free(&track_terrain);
        gl_test_window_close(window);
        window = nullptr;
    }
    void SetUp() override
    {
        ASSERT_EQ(terrain_load(t, "@tracks/stadium"), 1);
        ASSERT_NE(t->renderer, nullptr);
        editor_state_begin(t);
        editor.window_w = view_w, editor.window_h = view_h;
    }
    void TearDown() override
    {
        editor_state_end();
        terrain_free(t);
    }
    void aim_world(float x, float z)
    {
        float v = editor_view_span();
        editor.cursor[0] = int32_t(view_w / 2 + (x - editor.view_centre[0]) / v * view_h);
        editor.cursor[1] = int32_t(view_h / 2 + (z - editor.view_centre[1]) / v * view_h);
    }
    // The bytes of an 8-bit texture, read through a framebuffer.
    std::vector<uint8_t> read_red(GLuint texture, int w, int h)
    {
        GLuint reader = 0;
        ztglGenFramebuffers(1, &reader);
        ztglBindFramebuffer(GL_FRAMEBUFFER, reader);
        ztglFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        EXPECT_EQ(ztglCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
        std::vector<uint8_t> rgba(size_t(w) * h * 4), red(size_t(w) * h);
        ztglPixelStorei(GL_PACK_ALIGNMENT, 1);
        ztglReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        ztglBindFramebuffer(GL_FRAMEBUFFER, 0);
        ztglDeleteFramebuffers(1, &reader);
        for (size_t k = 0; k < red.size(); k++) red[k] = rgba[4 * k];
        return red;
    }
};
vesk_window* gl_ground::window = nullptr;

TEST_F(gl_ground, painted_tiles_reach_the_tile_map_texture)
{
    ASSERT_GE(t->tile_count, 2);
    const int tiles = 1 << t->exponent;
    std::vector<uint8_t> loaded(t->tile_map, t->tile_map + size_t(tiles) * tiles);
    editor.tool = tool_tilemap_edit;
    editor.settings.radius = 40;
    // A drag across the middle, one painting step per 32 tics.
    uint8_t paint = uint8_t((loaded[size_t(tiles / 2) * tiles + tiles / 2] + 1) % t->tile_count);
    editor.settings.tile = paint;
    editor.tic_count = 0;
    for (int step = 0; step < 6; step++) {
        aim_world(t->extent * (0.3f + 0.08f * float(step)), t->extent * (0.45f + 0.02f * float(step)));
        for (int k = 0; k < 32; k++) tilemap_paint_tic();
    }
    int changed = 0;
    for (size_t k = 0; k < loaded.size(); k++) changed += loaded[k] != t->tile_map[k];
    EXPECT_GT(changed, 20);
    ztgl_flush();
    std::vector<uint8_t> texture = read_red(t->tile_map_texture, tiles, tiles);
    int wrong = 0;
    for (size_t k = 0; k < texture.size(); k++) wrong += texture[k] != t->tile_map[k];
    EXPECT_EQ(wrong, 0);
}

TEST_F(gl_ground, every_tool_overlay_draws_marks_without_a_gl_error)
{
    gl_test_target target;
    ASSERT_EQ(gl_test_target_create(&target, view_w, view_h), 1);
    // A gradient with a curve and a decal with a neighbour, so every overlay has something to show.
    gradient_new();
    gradient* g = array_items<gradient>(&editor.gradients);
    gradient_point p = {20, 6};
    uint8_t curve = segment_curve;
    array_insert_at(&g->points, 1, &p);
    array_insert_at(&g->types, 1, &curve);
    decal d{};
    d.textures[0] = 1, d.x = editor.view_centre[0], d.z = editor.view_centre[1], d.size = 3, d.cosine = 1;
    decal_insert(t, t->decals.count, &d);
    d.x += 5;
    decal_insert(t, t->decals.count, &d);
    editor.selected_decal = t->decals.count - 1;
    aim_world(editor.view_centre[0] + 3, editor.view_centre[1] + 2);
    for (int32_t tool : {tool_raise, tool_snap, tool_gradient_placement, tool_gradient_edit, tool_tilemap_edit,
                         tool_decals}) {
        editor.tool = tool;
        ztglBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
        ztglViewport(0, 0, view_w, view_h);
        ztglClearColor(0, 0, 0, 1);
        ztglClear(GL_COLOR_BUFFER_BIT);
        float v = editor_view_span(), aspect = float(view_w) / view_h;
        ztglMatrixMode(ZTGL_PROJECTION);
        ztglLoadIdentity();
        ztglOrtho(-0.5 * aspect, 0.5 * aspect, -0.5, 0.5, -1000, 1000);
        ztglMatrixMode(ZTGL_MODELVIEW);
        ztglLoadIdentity();
        ztglRotatef(90, 1, 0, 0);
        ztglScalef(1 / v, 1 / v, 1 / v);
        ztglTranslatef(-editor.view_centre[0], 0, -editor.view_centre[1]);
        ztglDisable(GL_DEPTH_TEST);
        ztgl_use_program(ZTGL_UNLIT);
        terrain_tools_draw_overlay();
        if (tool == tool_gradient_placement || tool == tool_gradient_edit) gradients_draw_overlay();
        ztgl_flush();
        EXPECT_EQ(ztglGetError(), GLenum(GL_NO_ERROR)) << tool;
        std::vector<uint8_t> px(size_t(view_w) * view_h * 4);
        ztglPixelStorei(GL_PACK_ALIGNMENT, 1);
        ztglReadPixels(0, 0, view_w, view_h, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        int lit = 0;
        for (size_t k = 0; k < px.size(); k += 4) lit += px[k] > 100;
        EXPECT_GT(lit, 50) << "tool " << tool;
        if (const char* shots = getenv("ZT_EDITOR_SHOTS")) {
            // Bottom-up RGBA rows as a P6 file, for looking at the marks.
            std::string name = std::string(shots) + "/overlay_" + std::to_string(tool) + ".ppm";
            if (FILE* f = fopen(name.c_str(), "wb")) {
                fprintf(f, "P6\n%d %d\n255\n", view_w, view_h);
                for (int y = view_h - 1; y >= 0; y--)
                    for (int x = 0; x < view_w; x++) fwrite(&px[(size_t(y) * view_w + x) * 4], 1, 3, f);
                fclose(f);
            }
        }
    }
    gl_test_target_delete(&target);
}

}  // namespace
