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
        EXPECT_EQ(view_viewport_w, r.w);
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

TEST(set_perspective, field_of_view_is_clamped_to_ten_to_one_hundred_seventy_degrees)
{
    fake_gl_layer_setup();
    ztgl_fn.Viewport = [](GLint, GLint, GLsizei, GLsizei) {};
    lighting_defaults();
    // A 4:3 view's half-width at unit distance is tan(fov / 2) of the
    // clamped field: 0 or 180 would give no extent or an infinite one.
    const double t5 = std::tan(5 * M_PI / 180), t85 = std::tan(85 * M_PI / 180);
    struct row {
        float fov;
        double extent_w;
    } rows[] = {{0, t5}, {-30, t5}, {9.99f, t5}, {10, t5}, {170, t85}, {180, t85}, {1000, t85}, {NAN, t5}};
    for (const row& r : rows) {
        set_perspective(640, 480, r.fov);
        EXPECT_NEAR(view_extent_w, r.extent_w, 1e-5 * r.extent_w) << r.fov;
        EXPECT_TRUE(std::isfinite(view_extent_h) && view_extent_h > 0) << r.fov;
    }
    // 16:9 at 110 degrees keeps a 4:3 view's height: 0.75 tan 55.
    set_perspective(1280, 720, 110);
    EXPECT_NEAR(view_extent_h, 0.75 * std::tan(55 * M_PI / 180), 1e-5);
    set_perspective(640, 480, 110);
    EXPECT_NEAR(view_extent_w, std::tan(55 * M_PI / 180), 1e-5);
    ztgl_flush();
    ztgl_state.program[ZTGL_UNLIT] = 0;
    ztgl_state.slot = 0;
}

// One camera convention: the rotation from yaw and pitch, the key-frame
// quaternion and the aim step all look the same way, and pitch up looks up.
TEST(camera_convention, rotation_quaternion_and_aim_agree_over_yaw_and_pitch)
{
    const float yaws[] = {0, 0.5f, 1.5707964f, 2.5f, -2.0f, 3.1f};
    const float pitches[] = {0, 0.5235988f, -0.5235988f, 1.2f, -1.2f};
    for (float yaw : yaws)
        for (float pitch : pitches) {
            SCOPED_TRACE(testing::Message() << "yaw " << yaw << " pitch " << pitch);
            float m[9];
            camera_rotation(yaw, pitch, m);
            // Orthonormal and right-handed: columns x, y, z with x x y = z.
            float c[3][3];
            for (int i = 0; i < 3; i++)
                for (int k = 0; k < 3; k++) c[i][k] = m[3 * k + i];
            for (int i = 0; i < 3; i++)
                for (int j = 0; j < 3; j++) {
                    float d = c[i][0] * c[j][0] + c[i][1] * c[j][1] + c[i][2] * c[j][2];
                    EXPECT_NEAR(d, i == j ? 1 : 0, 1e-6);
                }
            EXPECT_NEAR(c[0][1] * c[1][2] - c[0][2] * c[1][1], c[2][0], 1e-6);
            EXPECT_NEAR(c[0][2] * c[1][0] - c[0][0] * c[1][2], c[2][1], 1e-6);
            EXPECT_NEAR(c[0][0] * c[1][1] - c[0][1] * c[1][0], c[2][2], 1e-6);
            // The look direction worked out by hand: yaw about y from +z,
            // then pitch up.
            const float want[3] = {std::sin(yaw) * std::cos(pitch), std::sin(pitch), std::cos(yaw) * std::cos(pitch)};
            float look[3];
            camera_look(m, look);
            for (int i = 0; i < 3; i++) EXPECT_NEAR(look[i], want[i], 1e-6);
            // Right stays level (no roll).
            EXPECT_NEAR(c[0][1], 0, 1e-6);
            // The key frame of the same camera gives the same matrix.
            float q[4], mq[9];
            camera_quaternion(yaw, pitch, q);
            quaternion_rotation(q, mq);
            for (int i = 0; i < 9; i++) EXPECT_NEAR(mq[i], m[i], 1e-6);
            // A camera aimed (with snap, then a tic to settle the pitch) at
            // a point along that direction turns to look at it.
            aimed_camera cam = {10, 20, 30, 0, 0, 0, 0, 90, 0};
            const float target[3] = {10 + 50 * want[0], 20 + 50 * want[1], 30 + 50 * want[2]};
            const float still[3] = {0, 0, 0};
            for (int tic = 0; tic < 128 * 20; tic++) camera_aim_step(&cam, nullptr, target, still, tic == 0);
            float aimed[9], aimed_look[3];
            camera_rotation(cam.yaw, cam.pitch, aimed);
            camera_look(aimed, aimed_look);
            for (int i = 0; i < 3; i++) EXPECT_NEAR(aimed_look[i], want[i], 0.01);
        }
}

TEST(camera_aim_step, pitch_stays_within_a_quarter_turn_and_a_matched_target_keeps_the_rates)
{
    // Straight overhead and held there by hand: pitch runs up to pi/2 and stops.
    aimed_camera cam = {0, 0, 0, 0, 1.5f, 0, 3, 90, 0};
    const float up[3] = {0, 100, 0.001f}, still[3] = {0, 0, 0};
    const float stick[9] = {0, 0, 0, 0, 1, 0, 0, 0, 0};
    for (int tic = 0; tic < 1000; tic++) {
        camera_aim_step(&cam, stick, up, still, 0);
        EXPECT_LE(cam.pitch, float(M_PI / 2));
    }
    EXPECT_FLOAT_EQ(cam.pitch, float(M_PI / 2));
    // A target straight ahead on the level moving across at the camera's
    // own yaw rate stays in view without the rates changing: the needed
    // rate equals the current one.
    const float r = 100, w = 0.5f;  // ft, rad/s
    aimed_camera c = {0, 0, 0, 0, 0, w, 0, 90, 0};
    const float target[3] = {0, 0, r};
    const float velocity[3] = {r * w, 0, 0};
    camera_aim_step(&c, nullptr, target, velocity, 0);
    EXPECT_NEAR(c.yaw_rate, w, 1e-3);
    EXPECT_NEAR(c.pitch_rate, 0, 1e-6);
}

TEST(doppler_factor, at_the_listener_receding_approaching_and_the_extremes)
{
    const float here[3] = {0, 0, 0}, still[3] = {0, 0, 0}, there[3] = {100, 0, 0};
    const float c = 1140.6f;  // speed of sound, ft/s
    struct row {
        const float* source;
        float vx;  // source velocity along x: negative approaches the listener at 0
        float want;
    } rows[] = {
        {here, 300, 1},                           // at the listener
        {there, 0, 1},                            // standing still
        {there, 0.5f * c, 1 / 1.5f},              // receding at half the speed of sound
        {there, -0.5f * c, 2},                    // approaching at half: an octave up
        {there, -c, 8},                           // at the speed of sound: the top, not the bottom
        {there, -2 * c, 8},                       // beyond it
        {there, 20 * c, 0.125f},                  // receding faster than sound allows
    };
    for (const row& r : rows) {
        const float v[3] = {r.vx, 0, 0};
        EXPECT_NEAR(doppler_factor(r.source, v, here, still), r.want, 1e-4) << r.vx;
    }
}

TEST(vec3_normalize, zero_and_tiny_vectors_take_the_fallback)
{
    float v[3] = {3, 0, 4};
    EXPECT_FLOAT_EQ(vec3_normalize(v), 5);
    EXPECT_FLOAT_EQ(v[0], 0.6f);
    const float up[3] = {0, 1, 0};
    float z[3] = {0, 0, 0};
    vec3_normalize(z, up);
    EXPECT_EQ(z[1], 1);
    float tiny[3] = {1e-20f, 0, 0};
    vec3_normalize(tiny, up);
    EXPECT_EQ(tiny[1], 1);
    float n[3] = {NAN, 0, 0};
    vec3_normalize(n, up);
    EXPECT_EQ(n[1], 1);
}

} // namespace
