#include "game/cameras.h"

#include <algorithm>
#include <cmath>

#include "ai/line_recorder.h"
#include "core/game_state.h"
#include "game/main_loop.h"
#include "game/startup.h"
#include "game/track_cameras.h"
#include "physics/rider.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"
#include "ui/engine_sound.h"
#include "ui/hud.h"
#include "ui/keycam.h"
#include "ui/settings.h"
#include "ui/world_view.h"

aimed_camera free_camera = {0, 20, 0, 0, 0, 0, 0, 90, 0};
int32_t selected_track_camera = -1;
int32_t auto_camera;
float free_camera_speed;

namespace {

constexpr float pi_f = float(M_PI);
// Dab's value at the last tic: auto_camera flips as it rises through 0.5.
float previous_dab;
// The orbit camera's last usable trailing direction (x, z).
float orbit_direction[2] = {0, 1};

const rider* watched_rider()
{
    if (watched_slot < 0 || watched_slot >= rider_slot_count) return nullptr;
    const rider* r = rider_table[watched_slot];
    return r && r->frame_body ? r : nullptr;
}

// The rotation of a camera at eye looking at target: its right axis stays
// level, its up axis completes the frame.
void look_rotation(const float eye[3], const float target[3], float rotation[9])
{
    float dx = target[0] - eye[0], dy = target[1] - eye[1], dz = target[2] - eye[2];
    camera_rotation(std::atan2(dx, dz), std::atan2(dy, std::hypot(dx, dz)), rotation);
}

aimed_camera as_aimed(const track_camera& c)
{
    return {c.x, c.y, c.z, c.yaw, c.pitch, c.yaw_rate, c.pitch_rate, c.fov, c.autofov_size};
}

float tic_seconds() { return float(tic_length); }

}  // namespace

void orbit_camera_pose(const orbit_subject& s, int own, int rigid, float distance, float height, float direction[2],
                       float position[3], float rotation[9])
{
    float dir[2];
    if (own) {
        // The bike's forward axis on the level, turned towards where it goes.
        float h[2] = {-s.body_z[0], -s.body_z[2]};
        if (!rigid) {
            float v[2] = {s.velocity[0], s.velocity[2]};
            float speed2 = v[0] * v[0] + v[1] * v[1];
            float k = speed2 < 900 ? std::clamp((std::sqrt(speed2) - 10) * 0.05f, 0.0f, 1.0f) : 1.0f;
            for (int i = 0; i < 2; i++) h[i] += (v[i] - h[i]) * k;
        }
        // A bike pointing straight up or down at a standstill has no heading:
        // the camera keeps the direction it had.
        float length = std::hypot(h[0], h[1]);
        if (length > 1e-6f && std::isfinite(length)) direction[0] = -h[0] / length, direction[1] = -h[1] / length;
        dir[0] = direction[0], dir[1] = direction[1];
    } else {
        dir[0] = std::sin(options.orbit_angle), dir[1] = std::cos(options.orbit_angle);
    }
    position[0] = s.centre[0] + dir[0] * distance;
    position[2] = s.centre[2] + dir[1] * distance;
    position[1] = std::max(terrain_height_smoothed(&track_terrain, position[0], position[2]) + 5, s.centre[1] + height);
    look_rotation(position, s.centre, rotation);
}

int orbit_camera_place(float position[3], float rotation[9])
{
    const rider* r = watched_rider();
    if (!r) return 0;
    dVector3 centre;
    dBodyGetRelPointPos(r->frame_body, options.chase_centre[0], options.chase_centre[1], options.chase_centre[2],
                        centre);
    const dReal* R = dBodyGetRotation(r->frame_body);
    const dReal* v = dBodyGetLinearVel(r->frame_body);
    orbit_subject s = {{float(centre[0]), float(centre[1]), float(centre[2])},
                       {float(R[2]), float(R[6]), float(R[10])},
                       {float(v[0]), float(v[1]), float(v[2])}};
    if (own_rider)
        orbit_camera_pose(s, 1, settings.rigid_camera.selected != 0, float(settings.third_person_distance.value),
                          float(settings.third_person_height.value), orbit_direction, position, rotation);
    else
        orbit_camera_pose(s, 0, 0, options.orbit_distance, options.orbit_height, orbit_direction, position, rotation);
    return 1;
}

void orbit_view_draw()
{
    float position[3], rotation[9];
    if (!orbit_camera_place(position, rotation)) {
        render_rider_view(nullptr, watched_slot);
        return;
    }
    // The camera hears the engines without a Doppler shift of its own while
    // the view draws; the bike's velocity carries on for the sounds after.
    if (sound_listener_follows_view) sound_listener.velocity[0] = sound_listener.velocity[1] = sound_listener.velocity[2] = 0;
    render_view(position, rotation, float(settings.fov.value), -1);
    if (sound_listener_follows_view) {
        const dReal* v = dBodyGetLinearVel(watched_rider()->frame_body);
        for (int i = 0; i < 3; i++) sound_listener.velocity[i] = float(v[i]);
    }
}

void orbit_camera_controls() { orbit_controls_step(control_channels); }

void orbit_controls_step(const float channels[])
{
    constexpr float turn = 0.006135923151542565f;  // 2 pi / 1024 per tic at full steer
    constexpr float step = 0.015625f;              // 1/64 ft per tic, 2 ft a second
    float& angle = options.orbit_angle;
    angle += channels[channel_steer] * turn;
    if (angle > pi_f) angle -= 2 * pi_f;
    else if (angle < -pi_f) angle += 2 * pi_f;
    float& distance = options.orbit_distance;
    if (channels[channel_throttle] > 0.5f) {
        distance -= step;
        if (distance < orbit_distance_min + step) distance = orbit_distance_min;
    }
    if (channels[channel_front_brake] > 0.5f) distance += step;
    options.orbit_height += channels[channel_shift] * tic_seconds();
}

int32_t track_camera_of_gates(int32_t gates)
{
    if (gates <= 0 || timing_gates.normal_lap_entries < 1) return -1;
    // The gate passed last, the lap sequences repeating after the first lap.
    int32_t entry = gate_number_at(gates - 1);
    if (entry >= lap_entry_marked) entry -= lap_entry_marked;
    if (entry < 0 || entry >= gate_camera_count) return -1;
    return gate_camera[entry];
}

int32_t auto_camera_pick(int32_t gates, int32_t current)
{
    // The free camera is the player's own: it is never left automatically.
    if (current == -1) return current;
    int32_t camera = track_camera_of_gates(gates);
    return camera == -1 ? current : camera;
}

void free_camera_flight(aimed_camera* c, float* speed, const float channels[])
{
    float T = tic_seconds();
    if (channels[channel_throttle] > 0.5f) *speed = std::min(*speed + 80 * T, 100.0f);
    if (channels[channel_front_brake] > 0.5f) *speed = std::max(*speed - 80 * T, -100.0f);
    float slow = 60 * T;
    *speed = *speed > 0 ? std::max(*speed - slow, 0.0f) : std::min(*speed + slow, 0.0f);
    c->fov = float(settings.fov.value);
    if (!(std::fabs(*speed) > 0.0001f)) return;
    float d = *speed * T, cp = std::cos(c->pitch);
    c->x += d * std::sin(c->yaw) * cp;
    c->y += d * std::sin(c->pitch);
    c->z += d * std::cos(c->yaw) * cp;
    c->y = std::max(c->y, terrain_height_smoothed(&track_terrain, c->x, c->z) + 2);
}

void free_camera_to_watched_rider()
{
    const rider* r = watched_rider();
    if (!r) return;
    const dReal* p = dBodyGetPosition(r->frame_body);
    free_camera.x = float(p[0]), free_camera.y = float(p[1]) + 5, free_camera.z = float(p[2]);
}

int32_t track_camera_of_digit(int32_t digit)
{
    return std::min(track_cameras.count, std::clamp(digit, 0, 9)) - 1;
}

void track_cameras_step(int snap)
{
    int32_t current = selected_track_camera;
    int count = track_cameras.count;
    if (current < -1 || current >= count) return;
    aimed_camera* free = current == -1 ? &free_camera : nullptr;
    aimed_camera a = free ? *free : as_aimed(array_items<track_camera>(&track_cameras)[current]);
    const float* manual = auto_camera ? nullptr : control_channels;
    float target[3], velocity[3] = {0, 0, 0};
    if (const rider* r = watched_rider()) {
        const dReal* p = dBodyGetPosition(r->frame_body);
        const dReal* v = dBodyGetLinearVel(r->frame_body);
        for (int i = 0; i < 3; i++) target[i] = float(p[i]);
        if (!paused)
            for (int i = 0; i < 3; i++) velocity[i] = float(v[i]);
    } else if (manual) {
        // Nothing to follow: turned by hand, looking where it looks.
        float m[9], look[3];
        camera_rotation(a.yaw, a.pitch, m);
        camera_look(m, look);
        const float at[3] = {a.x, a.y, a.z};
        for (int i = 0; i < 3; i++) target[i] = at[i] + 100 * look[i];
    } else {
        return;
    }
    camera_aim_step(&a, manual, target, velocity, free ? 0 : snap);
    if (free) {
        *free = a;
        return;
    }
    track_camera& t = array_items<track_camera>(&track_cameras)[current];
    t.yaw = a.yaw, t.pitch = a.pitch, t.yaw_rate = a.yaw_rate, t.pitch_rate = a.pitch_rate, t.fov = a.fov;
}

void track_camera_controls()
{
    float dab = control_channels[channel_dab];
    if (previous_dab < 0.5f && dab >= 0.5f) auto_camera = !auto_camera;
    previous_dab = dab;
    int snap = 0;
    const rider* r = watched_rider();
    if (auto_camera && r) {
        int32_t pick = auto_camera_pick(std::max(r->gate_count, 0), selected_track_camera);
        if (pick != selected_track_camera && pick >= 0 && pick < track_cameras.count) {
            selected_track_camera = pick;
            snap = 1;
        }
    }
    track_cameras_step(snap);
    free_camera_flight(&free_camera, &free_camera_speed, control_channels);
}

void render_track_camera_view()
{
    // A track camera stands still: no Doppler shift of its own.
    if (sound_listener_follows_view) sound_listener.velocity[0] = sound_listener.velocity[1] = sound_listener.velocity[2] = 0;
    // Keycam mode flies the key-framed path when it has key frames.
    if (keycam_mode && keyframe_list.count > 0) {
        float position[3], q[4], fov;
        keyframe_camera(array_items<camera_keyframe>(&keyframe_list), keyframe_list.count, tic_counter, position, q,
                        &fov);
        render_view_quat(position, q, fov);
        return;
    }
    float rotation[9];
    if (selected_track_camera >= 0 && selected_track_camera < track_cameras.count) {
        const track_camera& t = array_items<track_camera>(&track_cameras)[selected_track_camera];
        camera_rotation(t.yaw, t.pitch, rotation);
        const float position[3] = {t.x, t.y, t.z};
        render_view(position, rotation, t.fov, -1);
        // "--hidden-hud" hides the ticker with every other overlay.
        if (options.scoreboard_shown && options.hud_shown) scoreboard_ticker_draw();
        return;
    }
    camera_rotation(free_camera.yaw, free_camera.pitch, rotation);
    const float position[3] = {free_camera.x, free_camera.y, free_camera.z};
    render_view(position, rotation, free_camera.fov, -1);
}

namespace {

// The tangent at key k of component values v (stride floats apart) for the
// segment a..b: the chords on either side per tic, averaged, times the
// segment's length in tics; an interval of 0 or less gives no tangent.
float key_tangent(const camera_keyframe* keys, int n, int k, const float* v, int stride, double segment)
{
    if (k <= 0 || k >= n - 1) return 0;  // an end of the path
    double before = keys[k].tic - keys[k - 1].tic, after = keys[k + 1].tic - keys[k].tic;
    if (before <= 0 || after <= 0 || segment <= 0) return 0;
    double slope = ((v[k * stride] - v[(k - 1) * stride]) / before + (v[(k + 1) * stride] - v[k * stride]) / after) / 2;
    return float(slope * segment);
}

float hermite(float p0, float p1, float m0, float m1, float f)
{
    float f2 = f * f, f3 = f2 * f;
    return (2 * f3 - 3 * f2 + 1) * p0 + (f3 - 2 * f2 + f) * m0 + (-2 * f3 + 3 * f2) * p1 + (f3 - f2) * m1;
}

}  // namespace

void keyframe_camera(const camera_keyframe* keys, int n, double tic, float position[3], float q[4], float* fov)
{
    if (n <= 0) return;
    int i = 0;
    while (i < n && keys[i].tic <= tic) i++;
    if (i == 0 || i == n) {
        const camera_keyframe& k = keys[i == 0 ? 0 : n - 1];
        for (int c = 0; c < 3; c++) position[c] = k.position[c];
        for (int c = 0; c < 4; c++) q[c] = k.q[c];
        *fov = k.fov;
        return;
    }
    const camera_keyframe& a = keys[i - 1];
    const camera_keyframe& b = keys[i];
    double segment = double(b.tic) - double(a.tic);
    float f = segment > 0 ? float(std::clamp((tic - a.tic) / segment, 0.0, 1.0)) : 0.0f;
    // Four keys round the segment (clamped to the ends), quaternions turned
    // to key i's side so the path takes the short way.
    int lo = std::max(i - 2, 0), hi = std::min(i + 1, n - 1), m = hi - lo + 1;
    float values[4][8];
    for (int k = 0; k < m; k++) {
        const camera_keyframe& key = keys[lo + k];
        float dot = key.q[0] * b.q[0] + key.q[1] * b.q[1] + key.q[2] * b.q[2] + key.q[3] * b.q[3];
        float sign = dot < 0 ? -1.0f : 1.0f;
        for (int c = 0; c < 3; c++) values[k][c] = key.position[c];
        for (int c = 0; c < 4; c++) values[k][3 + c] = sign * key.q[c];
        values[k][7] = key.fov;
    }
    const camera_keyframe* window = keys + lo;
    int ka = i - 1 - lo, kb = i - lo;
    float out[7];
    for (int c = 0; c < 7; c++) {
        float m0 = key_tangent(window, m, ka, &values[0][c], 8, segment);
        float m1 = key_tangent(window, m, kb, &values[0][c], 8, segment);
        out[c] = hermite(values[ka][c], values[kb][c], m0, m1, f);
    }
    for (int c = 0; c < 3; c++) position[c] = out[c];
    float len = std::sqrt(out[3] * out[3] + out[4] * out[4] + out[5] * out[5] + out[6] * out[6]);
    for (int c = 0; c < 4; c++) q[c] = len > 1e-12f ? out[3 + c] / len : b.q[c];
    *fov = a.fov + f * (b.fov - a.fov);
}
