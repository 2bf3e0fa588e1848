#include "ui/debug_overlay.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ai/racing_lines.h"
#include "core/array.h"
#include "game/sim_tic.h"
#include "gfx/imm.h"
#include "gfx/text.h"
#include "gfx/ztgl.h"
#include "physics/body_draw.h"
#include "physics/rider.h"
#include "ui/billboard_draw.h"

namespace {

// A marker must stand this far in front of the eye: closer, its bubble
// would fill the view.
constexpr float marker_near_feet = 2;
// Points per line strip: a strip stays well inside the immediate batch.
constexpr int strip_points = 1024;

// Index list and radix scratch of the markers, twice the marker count: it
// grows only when markers were added since the last frame, and doubles.
growable_array marker_sort;

int32_t* marker_sort_room(int count)
{
    if (!marker_sort.element_size) array_init(&marker_sort, sizeof(int32_t));
    while (marker_sort.count < 2 * count)
        if (!array_push(&marker_sort, nullptr)) return nullptr;
    return array_items<int32_t>(&marker_sort);
}

// Line i (from 0) of text into line (at most size - 1 characters).
const char* text_line(const char* text, int i, char* line, size_t size)
{
    for (; i > 0 && text; i--) {
        text = strchr(text, '\n');
        if (text) text++;
    }
    if (!text) return "";
    const char* end = strchr(text, '\n');
    size_t n = end ? size_t(end - text) : strlen(text);
    n = std::min(n, size - 1);
    memcpy(line, text, n);
    line[n] = 0;
    return line;
}

}  // namespace

int marker_key_list(marker* table, int count, const float camera[3], const float z[3], int32_t* list)
{
    float eye = camera[0] * z[0] + camera[1] * z[1] + camera[2] * z[2];
    int32_t camera_key = depth_key(eye - marker_near_feet);
    int n = 0;
    for (int i = 0; i < count; i++) {
        marker& m = table[i];
        m.sort_key = depth_key(m.x * z[0] + m.y * z[1] + m.z * z[2]);
        if (m.sort_key < camera_key) list[n++] = i;
    }
    return n;
}

int marker_text_lines(const char* text)
{
    int n = 1;
    for (; text && *text; text++) n += *text == '\n';
    return n;
}

void marker_bubble(float u, int n, float out[9][2])
{
    // A box from y = 1 to the top of the last line, with a tail down to the
    // point; fanned from a centre inside the box.
    float H = float(n) * 0.5f + 1, t = float(n) + 1;
    const float p[9][2] = {{0, H}, {-u, t}, {-u, 1}, {-1, 1}, {0, 0}, {1, 1}, {u, 1}, {u, t}, {-u, t}};
    memcpy(out, p, sizeof p);
}

int draw_markers(const float camera[3], const float m[9])
{
    int count = marker_list.count;
    if (count <= 0) return 0;
    int32_t* list = marker_sort_room(count);
    if (!list) return 0;
    marker* table = array_items<marker>(&marker_list);
    const float z[3] = {m[2], m[5], m[8]};
    int n = marker_key_list(table, count, camera, z, list);
    radix_sort_indices(list, list + count, n, &table[0].sort_key, int(sizeof(marker) / sizeof(int32_t)));
    list[n] = -1;

    // Turned about the vertical to face the camera: local z is the camera's
    // backward axis on the ground, local x its right.
    float bx = m[2], bz = m[8], l = std::hypot(bx, bz);
    if (l < 1e-6f) bx = 0, bz = 1, l = 1;
    bx /= l, bz /= l;
    const float facing[16] = {bz, 0, -bx, 0, 0, 1, 0, 0, bx, 0, bz, 0, 0, 0, 0, 1};

    ztgl_use_program(ZTGL_UNLIT);
    ztglDisable(GL_CULL_FACE);
    ztglEnable(GL_BLEND);
    ztglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    char line[1024];
    for (int i = 0; i < n; i++) {
        const marker& k = table[list[i]];
        int lines = marker_text_lines(k.text);
        float u = 0;
        for (int j = 0; j < lines; j++) u = std::max(u, text_width(text_line(k.text, j, line, sizeof line)) * 0.5f);
        float bubble[9][2];
        marker_bubble(u, lines, bubble);
        ztglDisable(GL_DEPTH_TEST);
        ztglPushMatrix();
        ztglTranslatef(k.x, k.y, k.z);
        ztglMultMatrixf(facing);
        ztglScalef(0.5f, 0.5f, 0.5f);
        ztglBindTexture(GL_TEXTURE_2D, ztgl_state.white_texture);
        imm_begin(IMM_TRIANGLE_FAN);
        imm_color(1, 1, 1, 1);
        for (const auto& p : bubble) imm_vertex2(p[0], p[1]);
        imm_end();
        // The first line on top, the last resting on the tail.
        ztglTranslatef(0, float(lines), 0);
        for (int j = 0; j < lines; j++) {
            draw_text_centred(0, 0, 0, 1, -u, u, text_line(k.text, j, line, sizeof line));
            ztglTranslatef(0, -1, 0);
        }
        ztglPopMatrix();
        ztglEnable(GL_DEPTH_TEST);
    }
    ztglDisable(GL_BLEND);
    ztglEnable(GL_CULL_FACE);
    return n;
}

float racing_line_alpha(float d) { return std::max(0.0625f, std::min(1.0f, 1 - 0.001f * d * d)); }

int draw_racing_lines(const float camera[3])
{
    const racing_line_store& store = racing_line_sets;
    if (!store.sets) return 0;
    int sets = store.first_lap_sections + store.normal_lap_sections;
    ztgl_use_program(ZTGL_UNLIT);
    ztglBindTexture(GL_TEXTURE_2D, ztgl_state.white_texture);
    ztglEnable(GL_BLEND);
    ztglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    ztglDepthMask(0);
    int drawn = 0;
    for (int s = 0; s < sets; s++)
        for (const racing_line& line : store.sets[s].lines) {
            if (!line.points || line.point_count < 2) continue;
            for (int first = 0; first + 1 < line.point_count; first += strip_points - 1) {
                int last = std::min(first + strip_points, line.point_count);
                imm_begin(IMM_LINE_STRIP);
                for (int i = first; i < last; i++) {
                    const line_point& p = line.points[i];
                    float d = std::sqrt((p.x - camera[0]) * (p.x - camera[0]) + (p.y - camera[1]) * (p.y - camera[1]) +
                                        (p.z - camera[2]) * (p.z - camera[2]));
                    imm_color(1, 1, 1, racing_line_alpha(d));
                    imm_vertex3(p.x, p.y, p.z);
                }
                imm_end();
            }
            drawn += line.point_count;
        }
    ztglDepthMask(1);
    ztglDisable(GL_BLEND);
    return drawn;
}

int draw_rider_path(const rider* r)
{
    const line_point* path = static_cast<const line_point*>(r->line_path.items);
    int count = path ? r->line_path.count : 0;
    if (count <= 0) return 0;
    ztgl_use_program(ZTGL_UNLIT);
    ztglDisable(GL_BLEND);
    ztglBindTexture(GL_TEXTURE_2D, ztgl_state.white_texture);
    for (int i = 0; i < count; i++) {
        const float point[3] = {path[i].x, path[i].y, path[i].z};
        imm_color(1, 1, 1, 1);
        draw_marker_box(point, i == r->path_target ? 0.25f : 0.125f);
    }
    return count;
}
