#include "ui/lens_flare.h"

#include <algorithm>
#include <cmath>

#include "core/game_state.h"
#include "game/lighting.h"
#include "gfx/imm.h"
#include "gfx/ztgl.h"
#include "ui/view.h"

float linear_depth(float d, float n, float f)
{
    return (-(f * n) / (d * (f - n) - f) - n) / (f - n);
}

float flare_edge_fade(float sx, float sy, float tx, float ty)
{
    float m = std::min(tx, ty) / 32;
    if (!(m > 0)) return 0;
    auto fade = [m](float s, float t) {
        if (s < m - t) return std::clamp((t + s) / m, 0.0f, 1.0f);
        if (s > t - m) return std::clamp((t - s) / m, 0.0f, 1.0f);
        return 1.0f;
    };
    return std::min(fade(sx, tx), fade(sy, ty));
}

void draw_lens_flares(const float camera[3], const float m[9])
{
    int count = lens_flares.count;
    if (count <= 0) return;
    float tx = view_extent_w, ty = view_extent_h;
    int width = view_viewport_w, height = view_viewport_h;
    ztglMatrixMode(ZTGL_MODELVIEW);
    ztglLoadIdentity();
    ztglDisable(GL_DEPTH_TEST);
    ztgl_use_program(ZTGL_UNLIT);
    bool blending = false;
    for (int i = 0; i < count; i++) {
        const lens_flare& fl = array_items<lens_flare>(&lens_flares)[i];
        float p[3];
        for (int k = 0; k < 3; k++) p[k] = fl.kind ? fl.where[k] : fl.where[k] - camera[k];
        float x = p[0] * m[0] + p[1] * m[3] + p[2] * m[6];
        float y = p[0] * m[1] + p[1] * m[4] + p[2] * m[7];
        float z = p[0] * m[2] + p[1] * m[5] + p[2] * m[8];
        if (!(z < 0) || std::fabs(x) > tx * -z || std::fabs(y) > ty * -z) continue;
        float sx = x / -z, sy = y / -z;
        int column = int(std::clamp((sx + tx) * 0.5f / tx, 0.0f, 1.0f) * float(width));
        int row = int(std::clamp((sy + ty) * 0.5f / ty, 0.0f, 1.0f) * float(height));
        if (column >= width || row >= height) continue;
        // Hidden unless its pixel is bright (the sun shows through) and
        // nothing nearer covers it.
        uint8_t rgb[3];
        ztglReadPixels(column, row, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
        if (rgb[0] <= 223 || rgb[1] <= 223 || rgb[2] <= 223) continue;
        if (!ztgl_state.es) {
            // GL ES cannot read depth: there the colour test alone decides.
            float depth = 1;
            ztglReadPixels(column, row, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
            float own = fl.kind ? 0.4f : std::clamp((-0.25f - z) * 2.0001e-4f, 0.0f, 1.0f);
            if (own > linear_depth(depth, lighting.near_plane, lighting.far_plane)) continue;
        }
        float visibility = flare_edge_fade(sx, sy, tx, ty);
        if (visibility <= 0) continue;
        if (!blending) {
            blending = true;
            ztglEnable(GL_BLEND);
            ztglBlendFunc(GL_SRC_ALPHA, GL_ONE);
        }
        for (int e = 0; e < fl.element_count; e++) {
            const flare_element& el = fl.elements[e];
            float a = el.placement[0], b = el.placement[1], h = el.scale;
            float cx = sx * b + sy * a, cy = sy * b - sx * a;
            ztglBindTexture(GL_TEXTURE_2D, GLuint(el.texture));
            imm_begin(IMM_QUADS);
            imm_color(el.color[0] * visibility, el.color[1] * visibility, el.color[2] * visibility, 1);
            imm_texcoord(0, 1), imm_vertex3(cx - h, cy + h, -1);
            imm_texcoord(0, 0), imm_vertex3(cx - h, cy - h, -1);
            imm_texcoord(1, 0), imm_vertex3(cx + h, cy - h, -1);
            imm_texcoord(1, 1), imm_vertex3(cx + h, cy + h, -1);
            imm_end();
        }
    }
    ztglDisable(GL_BLEND);
    ztglEnable(GL_DEPTH_TEST);
}
