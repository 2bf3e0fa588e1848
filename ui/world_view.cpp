// The riding view, for now a chase camera behind the watched bike over the
// lit terrain with each rider's bodies as boxes; the full renderer (sky box,
// models, billboards, flaggers, lens flares) replaces it.
#include "ui/world_view.h"

#include <cmath>
#include <cstdio>

#include "core/game_state.h"
#include "game/startup.h"
#include "gfx/imm.h"
#include "gfx/ztgl.h"
#include "physics/body_draw.h"
#include "physics/rider.h"
#include "terrain/terrain.h"
#include "terrain/terrain_render.h"

const float sky_plain_colour[3] = {0.196078f, 0.6f, 0.8f};

namespace {

// The camera sits this far behind and above the bike and looks at a point
// ahead of it: the bike fills the lower middle with the track beyond.
constexpr float chase_back = 16.0f, chase_up = 6.0f, look_ahead = 12.0f;

void look_at(const float eye[3], const float target[3], float view[16])
{
    float f[3] = {target[0] - eye[0], target[1] - eye[1], target[2] - eye[2]};
    float fl = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    for (float& c : f) c /= fl;
    float s[3] = {-f[2], 0, f[0]};  // f x up
    float sl = std::sqrt(s[0] * s[0] + s[2] * s[2]);
    if (sl < 1e-6f) s[0] = 1, s[2] = 0, sl = 1;
    s[0] /= sl, s[2] /= sl;
    float u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]};
    const float m[16] = {s[0], u[0], -f[0], 0, s[1], u[1], -f[1], 0, s[2], u[2], -f[2], 0,
                         -(s[0] * eye[0] + s[1] * eye[1] + s[2] * eye[2]),
                         -(u[0] * eye[0] + u[1] * eye[1] + u[2] * eye[2]),
                         f[0] * eye[0] + f[1] * eye[1] + f[2] * eye[2], 1};
    for (int i = 0; i < 16; i++) view[i] = m[i];
}

void draw_terrain(const float view[16], const float eye[3])
{
    terrain* t = &track_terrain;
    if (!t->renderer) return;
    for (int i = 0; i < 3; i++) t->camera[i] = eye[i];
    ztglDisable(GL_DEPTH_TEST);
    terrain_update_pyramid(t);
    ztglEnable(GL_DEPTH_TEST);
    ztglDepthFunc(GL_LEQUAL);
    // The terrain's patches fold their edges both ways round; face culling
    // (on since start-up) would drop half of them.
    ztglDisable(GL_CULL_FACE);
    ztgl_use_program(ZTGL_TERRAIN);
    // The light in eye space, from a sun high in the south-east.
    const float sun[3] = {0.4f, 0.8f, 0.45f};
    float light[3] = {view[0] * sun[0] + view[4] * sun[1] + view[8] * sun[2],
                      view[1] * sun[0] + view[5] * sun[1] + view[9] * sun[2],
                      view[2] * sun[0] + view[6] * sun[1] + view[10] * sun[2]};
    float ll = std::sqrt(light[0] * light[0] + light[1] * light[1] + light[2] * light[2]);
    for (float& c : light) c /= ll;
    const float ambient[4] = {0.45f, 0.45f, 0.45f, 1}, diffuse[3] = {0.7f, 0.7f, 0.65f};
    ztgl_set_light_position(light);
    ztgl_set_ambient(ambient);
    ztgl_set_diffuse(diffuse);
    terrain_draw(t);
    ztglEnable(GL_CULL_FACE);
}

// Each body of each rider as a box: the bike's frame red, the rest dark.
void draw_riders()
{
    ztgl_use_program(ZTGL_UNLIT);
    ztglBindTexture(GL_TEXTURE_2D, ztgl_state.white_texture);
    for (int slot = 0; slot < rider_slot_count; slot++) {
        const rider* r = rider_table[slot];
        if (!r) continue;
        dBodyID bodies[] = {r->frame_body, r->swingarm_body, r->rear_wheel_body, r->front_wheel_body,
                            r->fork_upper_body, r->fork_lower_body, r->rider_body};
        for (dBodyID b : bodies) {
            if (!b) continue;
            const dReal* p = dBodyGetPosition(b);
            const float point[3] = {float(p[0]), float(p[1]), float(p[2])};
            if (b == r->frame_body) imm_color(0.85f, 0.1f, 0.1f, 1);
            else if (b == r->rider_body) imm_color(0.95f, 0.95f, 0.95f, 1);
            else imm_color(0.1f, 0.1f, 0.1f, 1);
            draw_marker_box(point, b == r->frame_body || b == r->rider_body ? 0.9f : 0.6f);
        }
    }
}

}  // namespace

void render_rider_view(dBodyID body, int watched_slot)
{
    ztglClearColor(sky_plain_colour[0], sky_plain_colour[1], sky_plain_colour[2], 1);
    ztglClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const rider* r = watched_slot >= 0 && watched_slot < rider_slot_count ? rider_table[watched_slot] : nullptr;
    dBodyID frame = r ? r->frame_body : body;
    if (!frame) return;
    const dReal* p = dBodyGetPosition(frame);
    const dReal* R = dBodyGetRotation(frame);
    // Forward is the frame's -z, flattened so the camera stays level.
    float fx = float(-R[2]), fz = float(-R[10]);
    float fl = std::sqrt(fx * fx + fz * fz);
    if (fl < 1e-3f) fx = 0, fz = -1, fl = 1;
    fx /= fl, fz /= fl;
    const float eye[3] = {float(p[0]) - chase_back * fx, float(p[1]) + chase_up, float(p[2]) - chase_back * fz};
    const float target[3] = {float(p[0]) + look_ahead * fx, float(p[1]), float(p[2]) + look_ahead * fz};
    float view[16];
    look_at(eye, target, view);
    if (options.print_orientation) {
        // The camera's place and its right (x) and backward (z) axes, which
        // are the view matrix's first and third rows.
        printf("t=%f p0=%f p1=%f p2=%f x0=%f x1=%f x2=%f z0=%f z1=%f z2=%f\n", double(tic_counter) * tic_length,
               double(eye[0]), double(eye[1]), double(eye[2]), double(view[0]), double(view[4]), double(view[8]),
               double(view[2]), double(view[6]), double(view[10]));
        fflush(stdout);
    }
    ztglMatrixMode(ZTGL_MODELVIEW);
    ztglLoadMatrixf(view);
    draw_terrain(view, eye);
    draw_riders();
}
