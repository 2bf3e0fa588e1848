#include "game/cameras.h"

#include <algorithm>
#include <cmath>

#include "core/game_state.h"
#include "game/main_loop.h"
#include "game/startup.h"
#include "game/track_cameras.h"
#include "physics/rider.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"
#include "ui/engine_sound.h"
#include "ui/settings.h"
#include "ui/world_view.h"

aimed_camera free_camera = {0, 20, 0, 0, 0, 0, 0, 90, 0};
int32_t selected_track_camera = -1;

namespace {

const rider* watched_rider()
{
    if (watched_slot < 0 || watched_slot >= rider_slot_count) return nullptr;
    const rider* r = rider_table[watched_slot];
    return r && r->frame_body ? r : nullptr;
}

// The rotation of a camera at eye looking at target.
void look_rotation(const float eye[3], const float target[3], float rotation[9])
{
    float dx = target[0] - eye[0], dy = target[1] - eye[1], dz = target[2] - eye[2];
    camera_rotation(std::atan2(dx, dz), std::atan2(dy, std::hypot(dx, dz)), rotation);
}

aimed_camera as_aimed(const track_camera& c)
{
    return {c.x, c.y, c.z, c.yaw, c.pitch, c.yaw_rate, c.pitch_rate, c.fov, c.autofov_size};
}

}  // namespace

int orbit_camera_place(float position[3], float rotation[9])
{
    const rider* r = watched_rider();
    if (!r) return 0;
    // The centre is a point of the bike frame; the camera circles it on the
    // level, behind the bike at orbit angle 0.
    dVector3 centre;
    dBodyGetRelPointPos(r->frame_body, options.chase_centre[0], options.chase_centre[1], options.chase_centre[2],
                        centre);
    const dReal* R = dBodyGetRotation(r->frame_body);
    float heading = float(std::atan2(R[2], R[10]));  // the frame's backward axis, flattened
    float a = heading + options.orbit_angle;
    const float target[3] = {float(centre[0]), float(centre[1]), float(centre[2])};
    position[0] = target[0] + options.orbit_distance * std::sin(a);
    position[1] = target[1] + options.orbit_height;
    position[2] = target[2] + options.orbit_distance * std::cos(a);
    look_rotation(position, target, rotation);
    return 1;
}

void orbit_view_draw()
{
    float position[3], rotation[9];
    if (!orbit_camera_place(position, rotation)) {
        render_rider_view(nullptr, watched_slot);
        return;
    }
    render_view(position, rotation, float(settings.fov.value), -1);
}

void orbit_controls_step(const float channels[control_channel_count])
{
    // Full steer turns the camera once round the bike in 1024 tics.
    float angle = options.orbit_angle + channels[channel_steer] * 0.006135923151542565f;
    if (angle > float(M_PI)) angle -= float(2 * M_PI);
    if (angle < -float(M_PI)) angle += float(2 * M_PI);
    options.orbit_angle = angle;
    if (channels[channel_throttle] > 0.5f) {
        options.orbit_distance -= 0.015625f;
        if (options.orbit_distance < 0.265625f) options.orbit_distance = 0.25f;
    }
    if (channels[channel_front_brake] > 0.5f) options.orbit_distance += 0.015625f;
    options.orbit_height += channels[channel_shift] * float(tic_length);
}

void orbit_camera_controls() { orbit_controls_step(control_channels); }

void track_cameras_step(int snap)
{
    const rider* r = watched_rider();
    int count = track_cameras.count;
    if (!r) return;
    const dReal* p = dBodyGetPosition(r->frame_body);
    const dReal* v = dBodyGetLinearVel(r->frame_body);
    const float target[3] = {float(p[0]), float(p[1]), float(p[2])};
    const float velocity[3] = {float(v[0]), float(v[1]), float(v[2])};
    for (int i = 0; i < count; i++) {
        track_camera& t = array_items<track_camera>(&track_cameras)[i];
        aimed_camera a = as_aimed(t);
        camera_aim_step(&a, nullptr, target, velocity, snap || i != selected_track_camera);
        t.yaw = a.yaw, t.pitch = a.pitch, t.yaw_rate = a.yaw_rate, t.pitch_rate = a.pitch_rate, t.fov = a.fov;
    }
}

int32_t auto_camera;

namespace {
float previous_camera_switch;  // channel 6 of the last tic
float free_camera_speed;
}  // namespace

int32_t auto_camera_pick(int32_t gates, int32_t current)
{
    const timing_gates_record& g = timing_gates;
    int32_t first = g.first_lap_entries, lap = g.normal_lap_entries;
    // The free camera is never left automatically, and a rider that has
    // passed no gate names no checkpoint.
    if (current == -1 || lap < 1 || gates <= 0) return current;
    int64_t at = gates;
    if (at >= first) at = first + (at - first) % lap;
    int32_t entry = g.lap_entries[at - 1];
    if (entry >= lap_entry_marked) entry -= lap_entry_marked;
    if (entry < 0 || entry >= gate_camera_count) return current;
    int32_t camera = gate_camera[entry];
    return camera == -1 ? current : camera;
}

void free_camera_flight(aimed_camera* c, float* speed, const float channels[control_channel_count])
{
    const float push = 80.0f * float(tic_length), ease = 60.0f * float(tic_length);
    if (channels[channel_throttle] > 0.5f) *speed = std::min(100.0f, *speed + push);
    if (channels[channel_front_brake] > 0.5f) *speed = std::max(-100.0f, *speed - push);
    *speed = *speed > 0 ? std::max(0.0f, *speed - ease) : std::min(0.0f, *speed + ease);
    if (std::fabs(*speed) > 0.0001f) {
        float step = *speed * float(tic_length);
        c->x += step * std::sin(c->yaw) * std::cos(c->pitch);
        c->y += step * std::sin(c->pitch);
        c->z += step * std::cos(c->yaw) * std::cos(c->pitch);
        if (track_terrain.heights) c->y = std::max(c->y, terrain_height_at(&track_terrain, c->x, c->z) + 2.0f);
    }
    c->fov = float(settings.fov.value);
}

void track_camera_controls()
{
    const float* ch = control_channels;
    if (previous_camera_switch < 0.5f && ch[channel_dab] >= 0.5f) auto_camera = !auto_camera;
    previous_camera_switch = ch[channel_dab];
    const rider* r = watched_rider();
    int snap = 0;
    if (auto_camera && r) {
        int32_t pick = auto_camera_pick(std::max(r->gate_count, 0), selected_track_camera);
        if (pick != selected_track_camera && pick >= 0 && pick < track_cameras.count) {
            selected_track_camera = pick;
            snap = 1;
        }
    }
    float target[3] = {0, 0, 0}, velocity[3] = {0, 0, 0};
    if (r) {
        const dReal* p = dBodyGetPosition(r->frame_body);
        const dReal* v = dBodyGetLinearVel(r->frame_body);
        for (int i = 0; i < 3; i++) {
            target[i] = float(p[i]);
            velocity[i] = paused ? 0.0f : float(v[i]);
        }
    }
    const float* manual = auto_camera ? nullptr : ch;
    if (selected_track_camera == -1) {
        camera_aim_step(&free_camera, manual, target, velocity, 0);
    } else if (selected_track_camera >= 0 && selected_track_camera < track_cameras.count) {
        track_camera& t = array_items<track_camera>(&track_cameras)[selected_track_camera];
        aimed_camera a = as_aimed(t);
        camera_aim_step(&a, manual, target, velocity, snap);
        t.yaw = a.yaw, t.pitch = a.pitch, t.yaw_rate = a.yaw_rate, t.pitch_rate = a.pitch_rate, t.fov = a.fov;
    }
    free_camera_flight(&free_camera, &free_camera_speed, ch);
}

namespace {
int32_t aimed_tic = -1;

// The cameras aim once per tic of the race; a view opened late, or after
// a reset, snaps onto the rider.
void track_cameras_follow()
{
    int32_t steps = tic_counter - aimed_tic;
    if (aimed_tic < 0 || steps < 0 || steps > 128) {
        track_cameras_step(1);
    } else {
        for (int i = 0; i < steps; i++) track_cameras_step(0);
    }
    aimed_tic = tic_counter;
}
}  // namespace

void render_track_camera_view()
{
    track_cameras_follow();
    // A track camera stands still: no Doppler shift of its own.
    if (sound_listener_follows_view) sound_listener.velocity[0] = sound_listener.velocity[1] = sound_listener.velocity[2] = 0;
    float rotation[9];
    if (selected_track_camera >= 0 && selected_track_camera < track_cameras.count) {
        const track_camera& t = array_items<track_camera>(&track_cameras)[selected_track_camera];
        camera_rotation(t.yaw, t.pitch, rotation);
        const float position[3] = {t.x, t.y, t.z};
        render_view(position, rotation, t.fov, -1);
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
