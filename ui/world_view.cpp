#include "ui/world_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "core/game_state.h"
#include "game/lighting.h"
#include "script/script_api.h"
#include "script/script_host.h"
#include "ui/engine_sound.h"
#include "game/race_reset.h"
#include "game/startup.h"
#include "game/track_objects.h"
#include "gfx/imm.h"
#include "gfx/model.h"
#include "gfx/texture.h"
#include "gfx/ztgl.h"
#include "net/net_client.h"
#include "physics/physics_world.h"
#include "physics/rider.h"
#include "terrain/terrain.h"
#include "terrain/terrain_render.h"
#include "ui/billboard_draw.h"
#include "ui/debug_overlay.h"
#include "ui/flagger_view.h"
#include "ui/lens_flare.h"
#include "ui/rider_draw.h"
#include "ui/screenshot.h"
#include "ui/settings.h"
#include "ui/statue_draw.h"
#include "ui/treadmark_draw.h"
#include "ui/view.h"

const float sky_plain_colour[3] = {0.196078f, 0.6f, 0.8f};
view_camera_record view_camera;
view_frame_stats view_stats, view_stats_max;

float ghost_alpha(float distance, float G)
{
    if (!(G > 0)) return 1;
    return std::clamp((distance - G / 2) / (G - G / 2), 0.0f, 1.0f);
}

void sunlit_material(model_material* material)
{
    *material = {};
    for (int i = 0; i < 3; i++) {
        material->ambient[i] = lighting.ambient[i];
        material->diffuse[i] = lighting.sun_color[i];
        material->specular[i] = 1;
    }
    material->ambient[3] = 1;
}

namespace {

// The five sky faces (no floor), each a quad from the cube -1..1 round the
// camera, in the lighting's face order.
const float sky_quads[5][4][3] = {
    {{-1, 1, -1}, {-1, -1, -1}, {1, -1, -1}, {1, 1, -1}},  // north, z = -1
    {{1, 1, -1}, {1, -1, -1}, {1, -1, 1}, {1, 1, 1}},      // east, x = +1
    {{1, 1, 1}, {1, -1, 1}, {-1, -1, 1}, {-1, 1, 1}},      // south, z = +1
    {{-1, 1, 1}, {-1, -1, 1}, {-1, -1, -1}, {-1, 1, -1}},  // west, x = -1
    {{-1, 1, 1}, {-1, 1, -1}, {1, 1, -1}, {1, 1, 1}},      // up, y = +1
};

void draw_sky()
{
    ztglClear(GL_DEPTH_BUFFER_BIT);
    ztglDepthMask(0);
    ztglDisable(GL_BLEND);
    ztglDisable(GL_CULL_FACE);
    ztgl_use_program(ZTGL_UNLIT);
    // Inset by half a texel of a 64-texel face, so the edges never sample
    // the far side.
    const float lo = 1.0f / 128, hi = 127.0f / 128;
    const float uv[4][2] = {{lo, lo}, {lo, hi}, {hi, hi}, {hi, lo}};
    for (int f = 0; f < 5; f++) {
        ztglBindTexture(GL_TEXTURE_2D, GLuint(lighting.sky_textures[f]));
        view_stats.texture_changes++;
        imm_begin(IMM_QUADS);
        imm_color(1, 1, 1, 1);
        for (int v = 0; v < 4; v++) {
            imm_texcoord(uv[v][0], uv[v][1]);
            imm_vertex3(sky_quads[f][v][0], sky_quads[f][v][1], sky_quads[f][v][2]);
        }
        imm_end();
    }
    ztglEnable(GL_CULL_FACE);
    ztglDepthMask(1);
}

// The sun in camera coordinates for the lit and the terrain programs.
void set_sun(const float m[9])
{
    const float* s = lighting.sun_vector;
    float light[3];
    for (int i = 0; i < 3; i++) light[i] = s[0] * m[i] + s[1] * m[3 + i] + s[2] * m[6 + i];
    const float ambient[4] = {lighting.ambient[0], lighting.ambient[1], lighting.ambient[2], 1};
    for (int program : {ZTGL_NORM_SPEC_LIT, ZTGL_TERRAIN}) {
        ztgl_use_program(program);
        ztgl_set_light_position(light);
        ztgl_set_ambient(ambient);
        ztgl_set_diffuse(lighting.sun_color);
    }
    ztgl_use_program(ZTGL_UNLIT);
}

bool driven_online(int slot)
{
    return net_server_open() && slot_status[slot] == slot_driven_by_history;
}

bool slot_hidden(int slot) { return slot_is_hidden_hook && slot_is_hidden_hook(slot); }

// A stage of the frame is done: a slow one is reported while the stall
// threshold is set.
void stage_mark(const char* label)
{
    if (stutter_threshold != 0) stutter_check(label);
}

}  // namespace

namespace {
float listener_doppler(const float position[3], const float velocity[3])
{
    return doppler_factor(position, velocity, sound_listener.position, sound_listener.velocity);
}
}  // namespace

void render_view(const float position[3], const float m[9], float fov_degrees, int watched)
{
    view_stats = {};
    model_polygons_drawn = model_vertices_drawn = 0;
    flaggers_animate();
    texture_anims_step(tic_counter);
    for (int i = 0; i < 3; i++) view_camera.position[i] = position[i], model_camera[i] = position[i];
    std::copy(m, m + 9, view_camera.rotation);
    terrain* t = &track_terrain;
    for (int i = 0; i < 3; i++) t->camera[i] = position[i];
    // The engines are heard from the camera being drawn, across its x axis.
    if (sound_listener_follows_view) {
        for (int i = 0; i < 3; i++) sound_listener.position[i] = position[i], sound_listener.right[i] = m[3 * i];
        doppler_factor_hook = listener_doppler;
    }
    // The track script sees the camera of the view being drawn.
    for (int i = 0; i < 3; i++) script_camera.position[i] = position[i];
    std::copy(m, m + 9, script_camera.orientation);
    script_frame();
    stage_mark("js");

    ztglDisable(GL_DEPTH_TEST);
    ztglDepthFunc(GL_ALWAYS);
    ztglDepthMask(0);
    if (t->renderer) terrain_update_pyramid(t);
    stage_mark("rendertex");

    set_perspective(view_viewport_w, view_viewport_h, fov_degrees);
    // The view is the transpose of the camera rotation: its rows are the
    // rotation's columns.
    const float view[16] = {m[0], m[1], m[2], 0, m[3], m[4], m[5], 0, m[6], m[7], m[8], 0, 0, 0, 0, 1};
    ztglLoadMatrixf(view);
    ztgl_set_envmat(view);
    ztglEnable(GL_DEPTH_TEST);
    ztglDepthMask(1);

    if (options.fugly) {
        ztglClearColor(sky_plain_colour[0], sky_plain_colour[1], sky_plain_colour[2], 0);
        ztglClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    } else {
        draw_sky();
    }
    bool fog = lighting.fog_density > 0;
    if (fog) {
        ztgl_use_program(ZTGL_UNLIT);
        ztgl_set_fog_density(lighting.fog_density);
    }
    ztglTranslatef(-position[0], -position[1], -position[2]);
    set_sun(m);

    ztglDepthFunc(GL_LEQUAL);
    if (t->renderer) {
        t->ground_polygons = 0;
        // The terrain's patches fold their edges both ways round.
        ztglDisable(GL_CULL_FACE);
        terrain_draw(t);
        ztglEnable(GL_CULL_FACE);
        treadmarks_draw();
        view_stats.ground_polygons = t->ground_polygons;
    }
    stage_mark("drawterrain");

    // Riders: opaque first, near network riders faded after the billboards.
    float alpha[rider_slot_count];
    int local = rider_no_slot;
    for (int s = 0; s < rider_slot_count; s++)
        if (rider_table[s] && slot_status[s] == slot_driven_by_player) {
            local = s;
            break;
        }
    float fade = float(settings.ghost_fade_distance.value);
    for (int s = 0; s < rider_slot_count; s++) {
        const rider* r = rider_table[s];
        alpha[s] = 1;
        // A hidden slot is not drawn at all: even at alpha 0 it would write
        // depth over the flares.
        if (!r || !r->frame_body || slot_hidden(s)) continue;
        if (local != rider_no_slot && s != local && driven_online(s)) {
            const dReal* a = dBodyGetPosition(r->frame_body);
            const dReal* b = dBodyGetPosition(rider_table[local]->frame_body);
            alpha[s] = ghost_alpha(float(std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                                                   (a[2] - b[2]) * (a[2] - b[2]))),
                                   fade);
            if (alpha[s] < 1) continue;
        }
        int mode = s != watched ? 0 : settings.hide_rider.selected ? 1 : 2;
        draw_rider(r, mode, position);
    }
    stage_mark("drawbikes");
    view_stats.texture_changes += draw_statues(position);
    stage_mark("drawstatues");
    view_stats.billboards = draw_billboards(position, m, settings.billboard_optimize_lookahead,
                                            &view_stats.texture_changes);
    stage_mark("drawbillboards");
    for (int s = 0; s < rider_slot_count; s++) {
        const rider* r = rider_table[s];
        if (!r || !r->frame_body || alpha[s] >= 1 || alpha[s] <= 0 || slot_hidden(s)) continue;
        model_alpha = alpha[s];
        draw_rider(r, s != watched ? 0 : settings.hide_rider.selected ? 1 : 2, position);
        model_alpha = 1;
    }
    stage_mark("drawghosts");
    ztgl_use_program(ZTGL_UNLIT);
    if (debug_level >= 2) draw_racing_lines(position);
    if (fog) ztgl_set_fog_density(0);
    draw_markers(position, m);
    ztglLoadIdentity();
    ztglDepthFunc(GL_ALWAYS);
    if (settings.lens_flare.selected) draw_lens_flares(position, m);
    ztglDisable(GL_BLEND);

    view_stats.model_polygons = model_polygons_drawn;
    view_stats.model_vertices = model_vertices_drawn;
    view_stats_max.model_polygons = std::max(view_stats_max.model_polygons, view_stats.model_polygons);
    view_stats_max.ground_polygons = std::max(view_stats_max.ground_polygons, view_stats.ground_polygons);
    view_stats_max.billboards = std::max(view_stats_max.billboards, view_stats.billboards);
    view_stats_max.texture_changes = std::max(view_stats_max.texture_changes, view_stats.texture_changes);
}

void render_view_quat(const float position[3], const float q[4], float fov_degrees)
{
    float m[9];
    quaternion_rotation(q, m);
    render_view(position, m, fov_degrees, -1);
}

namespace {
// The gimbal's smoothed camera z axis and the time it was last updated.
float gimbal_z[3] = {0, 0, 1};
double gimbal_time = -1;
}  // namespace

void render_rider_view(dBodyID body, int watched)
{
    if (!body) {
        ztglClearColor(sky_plain_colour[0], sky_plain_colour[1], sky_plain_colour[2], 1);
        ztglClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        return;
    }
    float h = float(settings.first_person_height.value);
    const dReal* p = dBodyGetPosition(body);
    // The listener rides with the body: its engine keeps its own pitch.
    if (sound_listener_follows_view) {
        const dReal* v = dBodyGetLinearVel(body);
        for (int i = 0; i < 3; i++) sound_listener.velocity[i] = float(v[i]);
    }
    const dReal* R = dBodyGetRotation(body);
    float m[9];
    for (int i = 0; i < 3; i++)
        for (int k = 0; k < 3; k++) m[3 * i + k] = float(R[4 * i + k]);
    const float local[3] = {0, 0.558383f * h + 0.5f, -0.79336953f * h - 0.4f};
    float eye[3];
    for (int i = 0; i < 3; i++)
        eye[i] = float(p[i]) + m[3 * i] * local[0] + m[3 * i + 1] * local[1] + m[3 * i + 2] * local[2];
    float x[3] = {m[0], m[3], m[6]}, y[3] = {m[1], m[4], m[7]}, z[3] = {m[2], m[5], m[8]};
    float g = float(settings.first_person_gimbal.value);
    if (g > 0.5f) {
        // Smooth the pitch of the view: the camera's z lags the body's.
        float angle = std::atan2(gimbal_z[0] * y[0] + gimbal_z[1] * y[1] + gimbal_z[2] * y[2],
                                 gimbal_z[0] * z[0] + gimbal_z[1] * z[1] + gimbal_z[2] * z[2]);
        angle = std::clamp(angle, -0.7853982f, 0.7853982f);
        double now = game_clock;
        if (now > gimbal_time && gimbal_time >= 0) {
            float k = 1 - g * 0.01f;
            float scale = 1 - (k * k * k * 100 + 5) * float(std::min(now - gimbal_time, 0.125));
            angle *= std::max(scale, 0.0f);
        }
        gimbal_time = now;
        float tz = std::tan(angle);
        for (int i = 0; i < 3; i++) z[i] += tz * y[i];
        vec3_normalize(z, m + 6);
        for (int i = 0; i < 3; i++) gimbal_z[i] = z[i];
        y[0] = z[1] * x[2] - z[2] * x[1];
        y[1] = z[2] * x[0] - z[0] * x[2];
        y[2] = z[0] * x[1] - z[1] * x[0];
    }
    if (options.print_orientation) {
        printf("t=%f p0=%f p1=%f p2=%f x0=%f x1=%f x2=%f z0=%f z1=%f z2=%f\n", double(tic_counter) * tic_length,
               double(eye[0]), double(eye[1]), double(eye[2]), double(x[0]), double(x[1]), double(x[2]),
               double(z[0]), double(z[1]), double(z[2]));
        fflush(stdout);
    }
    float a = float(settings.first_person_angle.value) * float(M_PI) / 180;
    float ca = std::cos(a), sa = std::sin(a);
    float y2[3], z2[3];
    for (int i = 0; i < 3; i++) y2[i] = ca * y[i] - sa * z[i], z2[i] = sa * y[i] + ca * z[i];
    const float rot[9] = {x[0], y2[0], z2[0], x[1], y2[1], z2[1], x[2], y2[2], z2[2]};
    render_view(eye, rot, float(settings.fov.value), watched);
}
