#include "ui/rider_draw.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/game_state.h"
#include "game/lighting.h"
#include "gfx/model.h"
#include "gfx/texture.h"
#include "gfx/ztgl.h"
#include "physics/bike_info.h"
#include "physics/body_draw.h"
#include "physics/rider.h"
#include "physics/rider_access.h"
#include "physics/rider_collide.h"
#include "ui/debug_overlay.h"
#include "ui/rider_pose.h"
#include "ui/world_view.h"

namespace {

// The models of one slot's bike, loaded on its first draw and again when
// the bike or the track (model generation) changes.
struct slot_models {
    int32_t bike_index;
    int32_t generation;
    int32_t loaded;
    mesh* part[rider_model_part_count];
    mesh* (*loader)(const char* name);
};
slot_models slot_cache[rider_slot_count];

// The reference pose the rider model is authored in.
rider_pose reference_pose;
int32_t reference_ready;

void draw_model(mesh* m, int, int glow, const float position[3], const float rotation[9],
                const model_material* material, const model_bones* bones)
{
    if (glow) model_draw_glow_ex(m, position, rotation, material, bones);
    else model_draw_lit_ex(m, position, rotation, material, bones);
}

const bike_info& row_of(const rider* r) { return bike_info_table()[r->bike_index]; }

slot_models& models_of(const rider* r)
{
    slot_models& s = slot_cache[r->slot];
    const bike_info& row = row_of(r);
    // A purge of every model (a new GL context) frees what the cache points
    // at: the model cache's own frame model tells.
    bool fresh = s.loaded && s.bike_index == r->bike_index && s.generation == model_generation &&
                 s.loader == rider_model_load &&
                 (s.loader != model_load || model_find(row.files[bike_file_frame_model]) == s.part[part_frame]);
    if (fresh) return s;
    const int files[rider_model_part_count] = {
        bike_file_frame_model,        bike_file_fork_upper_model,    bike_file_fork_lower_model,
        bike_file_swingarm_model,     bike_file_front_wheel_model,   bike_file_rear_wheel_model,
        bike_file_rider_body_model,   bike_file_rider_body_fp_model, bike_file_rider_head_model,
        bike_file_front_plate_model,  bike_file_side_plates_model,   bike_file_rider_plate_model,
    };
    for (int i = 0; i < rider_model_part_count; i++)
        s.part[i] = row.files[files[i]][0] ? rider_model_load(row.files[files[i]]) : nullptr;
    s.bike_index = r->bike_index;
    s.generation = model_generation;
    s.loader = rider_model_load;
    s.loaded = 1;
    return s;
}

const rider_pose& reference()
{
    if (!reference_ready) {
        rider_reference_pose(rider_model_row(), &reference_pose);
        reference_ready = 1;
    }
    return reference_pose;
}

void body_pose(dBodyID b, float position[3], float rotation[9])
{
    const dReal* p = dBodyGetPosition(b);
    const dReal* R = dBodyGetRotation(b);
    for (int i = 0; i < 3; i++) {
        position[i] = float(p[i]);
        for (int k = 0; k < 3; k++) rotation[3 * i + k] = float(R[4 * i + k]);
    }
}

void bind_set(GLuint colour, GLuint normal, GLuint specular)
{
    ztglActiveTexture(GL_TEXTURE2);
    ztglBindTexture(GL_TEXTURE_2D, specular ? specular : ztgl_state.white_texture);
    ztglActiveTexture(GL_TEXTURE1);
    ztglBindTexture(GL_TEXTURE_2D, normal ? normal : ztgl_state.flat_normal_texture);
    ztglActiveTexture(GL_TEXTURE0);
    ztglBindTexture(GL_TEXTURE_2D, colour ? colour : ztgl_state.white_texture);
}

}  // namespace

mesh* (*rider_model_load)(const char* name) = model_load;
void (*rider_model_draw)(mesh* m, int part, int glow, const float position[3], const float rotation[9],
                         const model_material* material, const model_bones* bones) = draw_model;

void rider_pose_of(const rider* r, rider_pose* pose)
{
    const bike_main_values& m = row_of(r).main;
    rider_pose_input in{};
    body_pose(r->rider_body, in.body_position, in.body_rotation);
    const dReal* v = dBodyGetLinearVel(r->rider_body);
    for (int i = 0; i < 3; i++) in.body_velocity[i] = float(v[i]);
    in.shoulder = m.shoulder;
    in.hip = m.hip;
    in.head = m.head;
    float targets[4][3];
    in.leg_blend = rider_target_points(r, targets);
    std::memcpy(in.grip, targets, sizeof in.grip);
    std::memcpy(in.foot, targets + 2, sizeof in.foot);
    std::memcpy(in.arm_lengths, m.arm_lengths, sizeof in.arm_lengths);
    // The model's forearm reaches from its elbow to the grip of the
    // reference pose (the row's arms fall short of the bars): solving with
    // that length puts the gloves on the grips wherever the bars turn.
    const rider_pose& ref = reference();
    float forearm = 0;
    for (int i = 0; i < 3; i++) forearm += (ref.elbow[0][i] - ref.grip[0][i]) * (ref.elbow[0][i] - ref.grip[0][i]);
    in.arm_lengths[1] = std::max(std::sqrt(forearm), m.arm_lengths[1]);
    std::memcpy(in.leg_lengths, m.leg_lengths, sizeof in.leg_lengths);
    in.throttle = rider_get_throttle(r);
    rider_pose_solve(&in, pose);
}

int draw_rider(const rider* r, int mode, const float camera[3])
{
    if (!r || !r->frame_body) return 0;
    (void)camera;  // the model layer picks detail from its own camera record
    slot_models& models = models_of(r);
    uint8_t list[rider_model_part_count];
    int n = rider_model_list(mode, r->crash_tics, models.part[part_rider_body_fp] != nullptr, list);

    rider_pose pose;
    rider_pose_of(r, &pose);
        float centres[rider_bone_count][3], translations[rider_bone_count][3], rotations[rider_bone_count][9];
    const float* hip = pose.origin[bone_torso];
    rider_bone_matrices(&reference(), &pose, hip, centres, translations, rotations);
    const model_bones bones = {rider_bone_count, &centres[0][0], &translations[0][0], &rotations[0][0]};
    static const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

    const dBodyID body_of[rider_model_part_count] = {
        r->frame_body,     r->fork_upper_body, r->fork_lower_body, r->swingarm_body,
        r->front_wheel_body, r->rear_wheel_body, nullptr,           nullptr,
        nullptr,           r->fork_upper_body, r->frame_body,      nullptr,
    };
    model_material material;
    sunlit_material(&material);

    int drawn = 0;
    for (int pass = 0; pass < 2; pass++) {
        // An opaque rider needs no blending (it costs the software
        // rasteriser a read of every pixel it covers); ghosts and glow do.
        if (pass == 0 && model_alpha >= 1) {
            ztglDisable(GL_BLEND);
        } else {
            ztglEnable(GL_BLEND);
            if (pass == 0) ztglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            else ztglBlendFunc(GL_ONE, GL_ONE);
        }
        int set = -1;
        for (int k = 0; k < n; k++) {
            int part = list[k];
            mesh* m = models.part[part];
            if (!m || (pass == 1 && !model_has_glow(m))) continue;
            // Texture set per group: bike, wheels, rider, head, plates.
            int want = part <= part_swingarm ? 0 : part <= part_rear_wheel ? 1 : part <= part_rider_body_fp ? 2
                       : part == part_head ? 3 : 4;
            if (want != set) {
                set = want;
                if (pass == 1) {
                    ztglActiveTexture(GL_TEXTURE0);
                    ztglBindTexture(GL_TEXTURE_2D, GLuint(lighting.sky_textures[sky_env]));
                } else {
                    const GLuint colours[5] = {r->bike_texture.texture, r->wheel_texture.texture,
                                               r->rider_texture.texture, r->head_texture.texture,
                                               r->number_texture};
                    bind_set(colours[want], 0, 0);
                }
            }
            float position[3], rotation[9];
            const model_bones* b = nullptr;
            if (body_of[part]) {
                body_pose(body_of[part], position, rotation);
            } else if (part == part_head) {
                std::memcpy(position, pose.head_position, sizeof position);
                // The frame's rows are the head's axes: transposed, the
                // columns-are-axes rotation the model layer takes.
                const float* f = pose.frame[bone_head];
                const float t[9] = {f[0], f[3], f[6], f[1], f[4], f[7], f[2], f[5], f[8]};
                std::memcpy(rotation, t, sizeof rotation);
            } else {
                std::memcpy(position, hip, sizeof position);
                std::memcpy(rotation, identity, sizeof rotation);
                b = &bones;
            }
            rider_model_draw(m, part, pass, position, rotation, &material, b);
            drawn += pass == 0;
        }
    }
    ztglActiveTexture(GL_TEXTURE2);
    ztglBindTexture(GL_TEXTURE_2D, 0);
    ztglActiveTexture(GL_TEXTURE1);
    ztglBindTexture(GL_TEXTURE_2D, 0);
    ztglActiveTexture(GL_TEXTURE0);
    ztglBindTexture(GL_TEXTURE_2D, 0);
    ztglDisable(GL_BLEND);
    ztgl_use_program(ZTGL_UNLIT);
    if (debug_level >= 2) draw_rider_path(r);
    return drawn;
}
