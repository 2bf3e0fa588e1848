// The view extents and frustum of set_perspective for wide, 4:3 and tall
// windows.
#include <gtest/gtest.h>

#include <cmath>

#include "core/game_state.h"
#include "game/lighting.h"
#include "gfx/test_ztgl_fake_gl.h"
#include "ui/view.h"

namespace {

int viewport[4];

TEST(set_perspective, extents_keep_a_four_by_three_view_of_the_field)
{
    fake_gl_layer_setup();
    ztgl_fn.Viewport = [](GLint x, GLint y, GLsizei w, GLsizei h) {
        viewport[0] = x, viewport[1] = y, viewport[2] = w, viewport[3] = h;
    };
    lighting_defaults();
    struct row {
        int w, h;
        float fov, extent_w, extent_h;
    } rows[] = {
        // fov 90: tan 45 = 1 is the half-width of a 4:3 view.
        {640, 480, 90, 1, 0.75f},
        {1600, 900, 90, 0.75f * 1600 / 900, 0.75f},  // wider: same height, more to the sides
        {480, 640, 90, 1, 640.0f / 480},              // taller: same width
        {800, 600, 60, float(std::tan(M_PI / 6)), float(0.75 * std::tan(M_PI / 6))},
    };
    for (const row& r : rows) {
        set_perspective(r.w, r.h, r.fov);
        EXPECT_FLOAT_EQ(view_extent_w, r.extent_w) << r.w << "x" << r.h;
        EXPECT_FLOAT_EQ(view_extent_h, r.extent_h) << r.w << "x" << r.h;
        EXPECT_EQ(viewport[2], r.w);
        EXPECT_EQ(viewport[3], r.h);
        ztgl_flush();
        // The projection maps the point (W, H) at unit distance to the corner (1, 1).
        const float* p = ztgl_current_matrix(1);  // the projection
        float x = p[0] * r.extent_w + p[8] * -1, y = p[5] * r.extent_h + p[9] * -1, w = p[11] * -1;
        EXPECT_NEAR(x / w, 1, 1e-5) << r.w << "x" << r.h;
        EXPECT_NEAR(y / w, 1, 1e-5) << r.w << "x" << r.h;
    }
    ztgl_state.program[ZTGL_UNLIT] = 0;
    ztgl_state.slot = 0;
}

} // namespace
