#include "ui/statue_draw.h"

#include <cmath>
#include <initializer_list>

#include "game/lighting.h"
#include "game/startup.h"
#include "game/track_objects.h"
#include "gfx/model.h"
#include "gfx/ztgl.h"
#include "ui/settings.h"
#include "ui/world_view.h"

void statue_draw(statue* s, const float camera[3], int glow)
{
    if (!s->model) return;
    float dx = camera[0] - s->x, dy = camera[1] - s->y, dz = camera[2] - s->z;
    float d2 = dx * dx + dy * dy + dz * dz;
    double detail = settings.model_detail.value;
    if (detail <= 10 && d2 > (20 * detail * detail) * (20 * detail * detail)) return;
    if (s->facing_distance > 0) {
        float reach = s->facing_distance - float(options.lod_bias);
        if (d2 * float(options.lod_scale * options.lod_scale) > reach * reach) {
            // Upright, its forward axis (third column) towards the camera.
            float fl = std::hypot(dx, dz);
            float fx = fl > 1e-6f ? dx / fl : 0, fz = fl > 1e-6f ? dz / fl : 1;
            const float o[9] = {fz, 0, fx, 0, 1, 0, -fx, 0, fz};
            for (int i = 0; i < 9; i++) s->orientation[i] = o[i];
        }
    }
    model_material white;
    sunlit_material(&white);
    const float position[3] = {s->x, s->y, s->z};
    model_bones bones{};
    if (s->bone_count > 0) {
        bones.count = s->bone_count;
        bones.centres = static_cast<const float*>(s->bone_buffers[0]);
        bones.translations = static_cast<const float*>(s->bone_buffers[1]);
        bones.rotations = static_cast<const float*>(s->bone_buffers[2]);
    }
    if (glow) model_draw_glow_ex(s->model, position, s->orientation, &white, s->bone_count > 0 ? &bones : nullptr);
    else model_draw_lit_ex(s->model, position, s->orientation, &white, s->bone_count > 0 ? &bones : nullptr);
}

int draw_statues(const float camera[3])
{
    int count = track_objects.statues.count, binds = 0;
    if (count <= 0) return 0;
    ztgl_use_program(ZTGL_NORM_SPEC_LIT);
    ztglEnable(GL_BLEND);
    ztglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    int colour = -1, normal = -1, specular = -1;
    auto bind = [&binds](int unit, int& current, int texture) {
        if (texture == current) return;
        current = texture;
        ztglActiveTexture(GL_TEXTURE0 + GLenum(unit));
        ztglBindTexture(GL_TEXTURE_2D, GLuint(texture));
        binds++;
    };
    for (int i = 0; i < count; i++) {
        statue* s = statue_at(i);
        if (!s->model || !s->texture) continue;
        bind(2, specular, s->specular_map ? s->specular_map : int(ztgl_state.white_texture));
        bind(1, normal, s->normal_map ? s->normal_map : int(ztgl_state.flat_normal_texture));
        bind(0, colour, s->texture);
        ztglActiveTexture(GL_TEXTURE0);
        statue_draw(s, camera, 0);
    }
    ztglBlendFunc(GL_ONE, GL_ONE);
    bool glow_ready = false;
    for (int i = 0; i < count; i++) {
        statue* s = statue_at(i);
        if (!s->model || !s->texture || !model_has_glow(s->model)) continue;
        if (!glow_ready) {
            glow_ready = true;
            ztglActiveTexture(GL_TEXTURE2);
            ztglBindTexture(GL_TEXTURE_2D, 0);
            colour = -1;
            bind(0, colour, lighting.sky_textures[sky_env]);
        }
        bind(1, normal, s->normal_map ? s->normal_map : int(ztgl_state.flat_normal_texture));
        ztglActiveTexture(GL_TEXTURE0);
        statue_draw(s, camera, 1);
    }
    for (int unit : {2, 1, 0}) {
        ztglActiveTexture(GL_TEXTURE0 + GLenum(unit));
        ztglBindTexture(GL_TEXTURE_2D, 0);
    }
    ztglDisable(GL_BLEND);
    ztgl_use_program(ZTGL_UNLIT);
    return binds;
}
