#include "ui/rider_pose.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "physics/bike_info.h"
#include "ui/view.h"

namespace {

struct v3 {
    float x, y, z;
};
v3 load(const float* p) { return {p[0], p[1], p[2]}; }
void store(v3 a, float* p) { p[0] = a.x, p[1] = a.y, p[2] = a.z; }
v3 operator+(v3 a, v3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
v3 operator-(v3 a, v3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
v3 operator*(v3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float dot(v3 a, v3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
v3 cross(v3 a, v3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float length(v3 a) { return std::sqrt(dot(a, a)); }
v3 unit(v3 a, v3 fallback)
{
    float v[3] = {a.x, a.y, a.z}, f[3] = {fallback.x, fallback.y, fallback.z};
    vec3_normalize(v, f);
    return load(v);
}
// Any unit vector across a (a unit).
v3 across(v3 a)
{
    v3 helper = std::fabs(a.x) < 0.9f ? v3{1, 0, 0} : v3{0, 0, 1};
    return unit(cross(helper, a), {0, 0, 1});
}

// A body point in world space: position + rotation (row-major) x point.
v3 to_world(const float position[3], const float R[9], const float p[3])
{
    return {position[0] + R[0] * p[0] + R[1] * p[1] + R[2] * p[2],
            position[1] + R[3] * p[0] + R[4] * p[1] + R[5] * p[2],
            position[2] + R[6] * p[0] + R[7] * p[1] + R[8] * p[2]};
}
v3 axis(const float R[9], int i) { return {R[i], R[3 + i], R[6 + i]}; }

void store_frame(v3 x, v3 y, v3 z, float f[9])
{
    store(x, f);
    store(y, f + 3);
    store(z, f + 6);
}

}  // namespace

void bone_frame(const float start[3], const float end[3], const float hint[3], float frame[9])
{
    v3 y = unit(load(start) - load(end), {0, 1, 0});
    v3 z = cross(load(hint), y);
    z = length(z) < 1e-6f ? across(y) : unit(z, {0, 0, 1});
    store_frame(cross(y, z), y, z, frame);
}

void limb_joint(const float S[3], const float E[3], float U, float L, const float H[3], const float fallback_bend[3],
                float joint[3])
{
    v3 s = load(S), to_end = load(E) - s;
    v3 dir = unit(to_end, {0, -1, 0});
    // Reach below |U - L| has no triangle (the root of a negative number)
    // and reach 0 no direction; beyond 0.95 (U + L) the limb stays bent.
    float lo = std::max(std::fabs(U - L), 1e-4f), hi = std::max(0.95f * (U + L), lo);
    float d = std::clamp(length(to_end), lo, hi);
    float a = (U * U - L * L + d * d) / (2 * d);
    float r = std::sqrt(std::max(0.0f, U * U - a * a));
    v3 h = load(H) - s;
    v3 bend = h - dir * dot(h, dir);
    if (length(bend) < 1e-6f * std::max(1.0f, length(h))) {
        v3 f = load(fallback_bend);
        bend = f - dir * dot(f, dir);
        if (length(bend) < 1e-6f) bend = across(dir);
    }
    store(s + dir * a + unit(bend, across(dir)) * r, joint);
}

void head_frame(const float velocity[3], const float body_y[3], const float body_z[3], float frame[9])
{
    v3 v = load(velocity), y = load(body_y), z = load(body_z);
    if (dot(v, z) >= 0) v = v - z * dot(v, z);  // not moving forward: no backward gaze
    v3 w = z - v;
    float n = length(w);
    float ax, az;
    if (n >= 32) {
        ax = w.x, az = w.z;
    } else {
        ax = z.x - v.x * n / 32;
        az = z.z - v.z * n / 32;
    }
    float s = std::sqrt(ax * ax + az * az);
    float ay = std::max(0.0f, (60 - s) * 0.0058333333f * s) + 0.25f * s;
    v3 g = unit({ax, ay, az}, z);
    const float k = 0.5547002f;  // 1 / sqrt(3.25)
    v3 rest = (y * 1.5f + z) * k, nod = (y * 1.5f - z) * k;
    v3 up = {0, 1, 0};
    v3 hint = length(up - nod) <= 0.5f ? up : nod + unit(up - nod, up) * 0.5f;
    v3 g1 = g + nod * (2 * dot(nod, g));
    if (length(g1 - rest) > 0.75f) g1 = rest + unit(g1 - rest, nod) * 0.75f;
    v3 g2 = g1 - nod * (2.0f / 3.0f * dot(nod, g1));
    v3 hz = unit(g2, rest);
    v3 hx = unit(cross(hint, hz), across(hz));
    v3 hy = unit(cross(hz, hx), up);
    store_frame(hx, hy, hz, frame);
}

void rider_pose_solve(const rider_pose_input* in, rider_pose* out)
{
    float P[3], R[9];
    std::memcpy(P, in->body_position, sizeof P);
    std::memcpy(R, in->body_rotation, sizeof R);
    v3 bx = axis(R, 0), by = axis(R, 1), bz = axis(R, 2);
    // Hands near the bars: the upper body leans towards them (drawing only).
    const float shoulder_c[3] = {0, in->shoulder[0][1], in->shoulder[0][2]};
    const float hip_c[3] = {0, in->hip[0][1], in->hip[0][2]};
    v3 grip_c = (load(in->grip[0]) + load(in->grip[1])) * 0.5f;
    float h = std::clamp(1.25f - length(to_world(P, R, shoulder_c) - grip_c), 0.0f, 1.0f);
    if (h > 0) {
        v3 hip0 = to_world(P, R, in->hip[0]);
        by = unit(by + bz * (0.375f * h), by);
        bz = unit(cross(bx, by), bz);
        by = cross(bz, bx);
        const v3 cols[3] = {bx, by, bz};
        for (int c = 0; c < 3; c++) R[c] = cols[c].x, R[3 + c] = cols[c].y, R[6 + c] = cols[c].z;
        v3 moved = to_world(P, R, in->hip[0]);
        store(load(P) + (hip0 - moved), P);
    }
    std::memcpy(out->grip, in->grip, sizeof out->grip);
    std::memcpy(out->foot, in->foot, sizeof out->foot);
    std::memcpy(out->body_position, P, sizeof P);
    std::memcpy(out->body_rotation, R, sizeof R);

    v3 shoulder[2], hip[2];
    for (int i = 0; i < 2; i++) shoulder[i] = to_world(P, R, in->shoulder[i]), hip[i] = to_world(P, R, in->hip[i]);
    // Arms: the elbows out, back and down, the lower shoulder's elbow lower
    // still, the throttle hand's dropping as it twists.
    for (int i = 0; i < 2; i++) {
        float side = i == 0 ? -1.0f : 1.0f;
        float drop = (i == 0 ? 1.0f : 0.9f) + 1.5f * std::max(0.0f, shoulder[1 - i].y - shoulder[i].y) +
                     (i == 1 ? 0.125f * in->throttle : 0.0f);
        const float hint_local[3] = {in->shoulder[i][0] + 0.5f * side, in->shoulder[i][1] - drop,
                                     in->shoulder[i][2] + 2};
        v3 hint = to_world(P, R, hint_local) + (load(in->grip[i]) - load(in->grip[1 - i]));
        float s[3], hp[3], fb[3];
        store(shoulder[i], s);
        store(hint, hp);
        store(bz, fb);
        limb_joint(s, in->grip[i], in->arm_lengths[0], in->arm_lengths[1], hp, fb, out->elbow[i]);
    }
    // Legs: the knees forward and out.
    v3 u = hip[1] - hip[0];
    for (int i = 0; i < 2; i++) {
        float side = i == 0 ? -1.0f : 1.0f;
        const float hint_local[3] = {in->hip[i][0] + 0.5f * side, in->hip[i][1], in->hip[i][2] - 2};
        float hp[3], fb[3], s[3];
        store(to_world(P, R, hint_local), hp);
        store(bz * -1.0f, fb);
        store(hip[i], s);
        limb_joint(s, in->foot[i], in->leg_lengths[0], in->leg_lengths[1], hp, fb, out->knee[i]);
    }

    // Bones.
    v3 hip_centre = to_world(P, R, hip_c), shoulder_centre = to_world(P, R, shoulder_c);
    v3 ty = unit(shoulder_centre - hip_centre, by);
    store(hip_centre, out->origin[bone_torso]);
    store_frame(bx, ty, cross(bx, ty), out->frame[bone_torso]);

    v3 head = to_world(P, R, in->head);
    store(head, out->head_position);
    store(head, out->origin[bone_head]);
    float fy[3], fz[3];
    store(by, fy);
    store(bz, fz);
    head_frame(in->body_velocity, fy, fz, out->frame[bone_head]);

    v3 torso_dir = axis(R, 1) * (in->shoulder[0][1] - in->hip[0][1]) +
                   axis(R, 2) * (in->shoulder[0][2] - in->hip[0][2]);
    v3 bar = load(in->grip[1]) - load(in->grip[0]);
    for (int i = 0; i < 2; i++) {
        v3 elbow = load(out->elbow[i]), grip = load(in->grip[i]);
        v3 y1 = unit(shoulder[i] - elbow, by), z1 = unit(cross(y1, torso_dir), across(y1));
        int upper = bone_left_upper_arm + 2 * i;
        store(shoulder[i], out->origin[upper]);
        store_frame(cross(y1, z1), y1, z1, out->frame[upper]);
        v3 y2 = unit(elbow - grip, by), z2 = unit(cross(y2, bar), across(y2));
        store(elbow, out->origin[upper + 1]);
        store_frame(cross(y2, z2), y2, z2, out->frame[upper + 1]);
    }
    for (int i = 0; i < 2; i++) {
        v3 knee = load(out->knee[i]), foot = load(in->foot[i]);
        v3 n = cross(hip[i] - knee, foot - knee);
        v3 bend = dot(n, n) < 0.001f ? u : u + (n - u) * in->leg_blend;
        float hs[3], ks[3], us[3], bs[3];
        store(hip[i], hs);
        store(knee, ks);
        store(u, us);
        store(bend, bs);
        int thigh = bone_left_thigh + 2 * i;
        std::memcpy(out->origin[thigh], hs, sizeof hs);
        bone_frame(hs, ks, us, out->frame[thigh]);
        std::memcpy(out->origin[thigh + 1], ks, sizeof ks);
        bone_frame(ks, in->foot[i], bs, out->frame[thigh + 1]);
    }
}

void rider_reference_pose(const bike_info* row, rider_pose* out)
{
    const bike_main_values& m = row->main;
    rider_pose_input in{};
    // The bike at rest in its own frame, the rider body unturned at its seat.
    std::memcpy(in.body_position, m.rider_centre, sizeof in.body_position);
    in.body_rotation[0] = in.body_rotation[4] = in.body_rotation[8] = 1;
    in.shoulder = m.shoulder;
    in.hip = m.hip;
    in.head = m.head;
    for (int i = 0; i < 2; i++) {
        for (int k = 0; k < 3; k++) in.grip[i][k] = m.fork_upper_centre[k] + m.grip[i][k];
        // Feet on the pegs: under the hips, a thigh down from the seat and a
        // fifth of a shin forward of it.
        in.foot[i][0] = m.hip[i][0] * 1.3f;
        in.foot[i][1] = m.rider_centre[1] + m.hip[i][1] - m.leg_lengths[0];
        in.foot[i][2] = m.rider_centre[2] - 0.2f * m.leg_lengths[1];
    }
    in.leg_blend = row->tuning.hand_bend;
    std::memcpy(in.arm_lengths, m.arm_lengths, sizeof in.arm_lengths);
    std::memcpy(in.leg_lengths, m.leg_lengths, sizeof in.leg_lengths);
    rider_pose_solve(&in, out);
    // Hip centre at the origin.
    float o[3];
    std::memcpy(o, out->origin[bone_torso], sizeof o);
    auto shift = [&](float* p) {
        for (int k = 0; k < 3; k++) p[k] -= o[k];
    };
    for (auto& p : out->origin) shift(p);
    for (int i = 0; i < 2; i++) shift(out->elbow[i]), shift(out->knee[i]), shift(out->grip[i]), shift(out->foot[i]);
    shift(out->head_position);
    shift(out->body_position);
}

const bike_info* rider_model_row()
{
    const bike_info* table = bike_info_table();
    for (int i = 0; i < bike_info_count; i++)
        if (std::strcmp(table[i].bike_class, "250f") == 0) return &table[i];
    return table;
}

void rider_bone_matrices(const rider_pose* reference, const rider_pose* pose, const float offset[3],
                         float centres[rider_bone_count][3], float translations[rider_bone_count][3],
                         float rotations[rider_bone_count][9])
{
    for (int b = 0; b < rider_bone_count; b++) {
        for (int k = 0; k < 3; k++) {
            centres[b][k] = reference->origin[b][k];
            translations[b][k] = pose->origin[b][k] - offset[k];
        }
        // Columns of A are the posed axes, of B the reference ones: A B^T.
        // Frames are stored as rows (axes), so A(r, c) = frame[3c + r].
        const float* A = pose->frame[b];
        const float* B = reference->frame[b];
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 3; c++) {
                float sum = 0;
                for (int k = 0; k < 3; k++) sum += A[3 * k + r] * B[3 * k + c];
                rotations[b][3 * c + r] = sum;  // column-major
            }
    }
}

int rider_model_list(int mode, int crash_counter, int has_fp, uint8_t list[rider_model_part_count])
{
    // The watched rider's own view hides what would fill the screen from
    // the saddle, until a crash throws the camera clear.
    bool head_hiding = mode != 0 && crash_counter == 0;
    int n = 0;
    list[n++] = part_frame;
    list[n++] = part_fork_upper;
    list[n++] = part_fork_lower;
    if (!head_hiding) list[n++] = part_swingarm;
    list[n++] = part_front_wheel;
    if (!head_hiding) list[n++] = part_rear_wheel;
    if (mode == 0) list[n++] = part_rider_body;
    if (mode == 2) list[n++] = has_fp ? part_rider_body_fp : part_rider_body;
    if (mode == 0) list[n++] = part_head;
    list[n++] = part_front_plate;
    list[n++] = part_side_plates;
    if (mode == 0) list[n++] = part_rider_plate;
    return n;
}
