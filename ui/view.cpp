#include "ui/view.h"

#include <algorithm>
#include <cmath>

#include "core/game_state.h"
#include "game/lighting.h"
#include "gfx/ztgl.h"

int view_viewport_w = 1, view_viewport_h = 1;

float clamp_fov(float fov_degrees)
{
    // NaN compares false both ways: it becomes the narrow end.
    if (!(fov_degrees >= 10.0f)) return 10.0f;
    return std::min(fov_degrees, 170.0f);
}

void set_perspective(int width, int height, float fov_degrees)
{
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    ztglViewport(0, 0, width, height);
    view_viewport_w = width;
    view_viewport_h = height;
    // tan of 85 degrees or more, or of 0, makes a frustum with no extent.
    double f = std::tan(double(clamp_fov(fov_degrees)) * M_PI / 360.0);
    double aspect = double(width) / double(height);
    double w, h;
    // Wider than 4:3 keeps a 4:3 view's height and sees more to the sides.
    if (aspect > 4.0 / 3.0) {
        h = 0.75 * f;
        w = h * aspect;
    } else {
        w = f;
        h = f / aspect;
    }
    view_extent_w = float(w);
    view_extent_h = float(h);
    double n = lighting.near_plane;
    ztglMatrixMode(ZTGL_PROJECTION);
    ztglLoadIdentity();
    ztglFrustum(-w * n, w * n, -h * n, h * n, n, lighting.far_plane);
    ztglMatrixMode(ZTGL_MODELVIEW);
    ztglLoadIdentity();
}

float vec3_normalize(float v[3], const float* fallback)
{
    float l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (!(l >= 1e-12f)) {
        if (fallback)
            for (int i = 0; i < 3; i++) v[i] = fallback[i];
        return l;
    }
    for (int i = 0; i < 3; i++) v[i] /= l;
    return l;
}

void camera_rotation(float yaw, float pitch, float m[9])
{
    float sy = std::sin(yaw), cy = std::cos(yaw), sp = std::sin(pitch), cp = std::cos(pitch);
    const float rows[9] = {-cy, -sp * sy, -cp * sy, 0, cp, -sp, sy, -cy * sp, -cy * cp};
    std::copy(rows, rows + 9, m);
}

void camera_quaternion(float yaw, float pitch, float q[4])
{
    float y = yaw / 2, p = pitch / 2;
    q[0] = std::cos(y) * std::sin(p);
    q[1] = std::sin(y) * std::cos(p);
    q[2] = 0.0f - std::sin(y) * std::sin(p);  // no "-0.000000" in key-frame files
    q[3] = std::cos(y) * std::cos(p);
}

void quaternion_rotation(const float q[4], float m[9])
{
    float q0 = q[0], q1 = q[1], q2 = q[2], q3 = q[3];
    const float rows[9] = {2 * (q1 * q1 + q2 * q2) - 1, -2 * (q1 * q0 - q2 * q3),    -2 * (q2 * q0 + q1 * q3),
                           2 * (q1 * q0 + q2 * q3),     1 - 2 * (q2 * q2 + q0 * q0), 2 * (q1 * q2 - q0 * q3),
                           -2 * (q2 * q0 - q1 * q3),    -2 * (q1 * q2 + q0 * q3),    2 * (q1 * q1 + q0 * q0) - 1};
    std::copy(rows, rows + 9, m);
}

void camera_look(const float m[9], float look[3])
{
    look[0] = -m[2];
    look[1] = -m[5];
    look[2] = -m[8];
}

namespace {

constexpr float aim_tic = 1.0f / 128.0f;
constexpr float pi_f = float(M_PI);

float wrap_angle(float a)
{
    a = std::remainder(a, 2 * pi_f);
    return a <= -pi_f ? a + 2 * pi_f : a;
}

float approach(float value, float target, float step)
{
    return value + std::clamp(target - value, -step, step);
}

}  // namespace

void camera_aim_step(aimed_camera* c, const float* manual, const float target[3], const float velocity[3], int snap)
{
    float dx = target[0] - c->x, dy = target[1] - c->y, dz = target[2] - c->z;
    float lx = dx + velocity[0] * aim_tic, ly = dy + velocity[1] * aim_tic, lz = dz + velocity[2] * aim_tic;
    float yaw0 = std::atan2(dx, dz), pitch0 = std::atan2(dy, std::hypot(dx, dz));
    float want_yaw_rate, want_pitch_rate;
    if (manual) {
        want_yaw_rate = manual[0] * 1.1780972f;
        want_pitch_rate = manual[4] * 0.7853982f;
    } else {
        float yaw1 = std::atan2(lx, lz), pitch1 = std::atan2(ly, std::hypot(lx, lz));
        float need_yaw = std::clamp(wrap_angle(yaw1 - yaw0) / aim_tic, -2 * pi_f, 2 * pi_f);
        float need_pitch = std::clamp((pitch1 - pitch0) / aim_tic, -2 * pi_f, 2 * pi_f);
        if (snap) {
            // Snapping puts the rider in the middle of the picture at once:
            // pitch too, or a camera high above would first show the sky.
            c->yaw = yaw0;
            c->pitch = pitch0;
            want_yaw_rate = std::max(need_yaw, 0.0f);
        } else {
            // An error of zero counts with the positive rates, so a camera
            // exactly on a moving target keeps the rate the target needs.
            want_yaw_rate = std::clamp(wrap_angle(yaw0 - c->yaw), -pi_f / 2, pi_f / 2);
            if ((want_yaw_rate >= 0) == (need_yaw >= 0)) want_yaw_rate += need_yaw;
        }
        want_pitch_rate = (pitch0 - c->pitch) * 0.7853982f;
        if ((want_pitch_rate >= 0) == (need_pitch >= 0)) want_pitch_rate += need_pitch;
    }
    c->yaw_rate = approach(c->yaw_rate, want_yaw_rate, pi_f * aim_tic);
    c->pitch_rate = approach(c->pitch_rate, want_pitch_rate, pi_f * aim_tic);
    c->yaw = wrap_angle(c->yaw + c->yaw_rate * aim_tic);
    c->pitch = std::clamp(c->pitch + c->pitch_rate * aim_tic, -pi_f / 2, pi_f / 2);
    if (c->autofov_size > 0) {
        float want = 2 * std::atan2(c->autofov_size, std::sqrt(dx * dx + dy * dy + dz * dz)) * 180 / pi_f;
        c->fov = snap ? want : approach(c->fov, want, (2 * std::fabs(want - c->fov) + 1) * aim_tic);
    }
}

float doppler_factor(const float source[3], const float source_velocity[3], const float listener[3],
                     const float listener_velocity[3])
{
    float n[3] = {listener[0] - source[0], listener[1] - source[1], listener[2] - source[2]};
    if (n[0] * n[0] + n[1] * n[1] + n[2] * n[2] < 1.0f / 1024) return 1;
    vec3_normalize(n);
    constexpr float k = 0.0008767085f;  // 1 / speed of sound in ft/s
    float a = 1 - k * (listener_velocity[0] * n[0] + listener_velocity[1] * n[1] + listener_velocity[2] * n[2]);
    float b = 1 - k * (source_velocity[0] * n[0] + source_velocity[1] * n[1] + source_velocity[2] * n[2]);
    // A source at or beyond the speed of sound towards the listener is the
    // highest pitch, never the lowest.
    if (b <= 0) return a > 0 ? 8.0f : 0.125f;
    if (a <= 0.125f * b) return 0.125f;
    if (a > 8 * b) return 8.0f;
    return a / b;
}
