#include "ui/billboard_draw.h"

#include <cmath>
#include <cstring>

#include "game/track_objects.h"
#include "gfx/imm.h"
#include "gfx/ztgl.h"

// Only the first billboards get their width in the key: the rest are the
// thrown clods, small enough for their centre to do.
constexpr int keyed_with_width = 2000;
constexpr int quads_per_primitive = 1024;

int32_t depth_key(float depth)
{
    double k = std::floor(double(depth) * 1024.0 + 16777216.0);
    if (!(k >= 0)) return 0;
    return k > 2147483647.0 ? 2147483647 : int32_t(k);
}

int billboard_key_list(billboard* table, int count, const float camera[3], const float z[3], int32_t* list)
{
    int32_t camera_key = depth_key(camera[0] * z[0] + camera[1] * z[1] + camera[2] * z[2]);
    int n = 0;
    for (int i = 0; i < count; i++) {
        billboard& b = table[i];
        if (!b.texture || !b.colour[3]) continue;
        float depth = b.x * z[0] + b.y * z[1] + b.z * z[2];
        if (i < keyed_with_width) depth += b.size * b.aspect;
        b.sort_key = depth_key(depth);
        if (b.sort_key < camera_key) list[n++] = i;
    }
    return n;
}

void radix_sort_indices(int32_t* list, int32_t* scratch, int n, const int32_t* keys, int key_stride)
{
    int32_t* from = list;
    int32_t* to = scratch;
    for (int shift = 0; shift < 32; shift += 8) {
        int32_t start[256] = {};
        for (int i = 0; i < n; i++) start[(uint32_t(keys[from[i] * key_stride]) >> shift) & 255]++;
        int32_t sum = 0;
        for (int32_t& c : start) {
            int32_t here = c;
            c = sum;
            sum += here;
        }
        for (int i = 0; i < n; i++) to[start[(uint32_t(keys[from[i] * key_stride]) >> shift) & 255]++] = from[i];
        int32_t* t = from;
        from = to;
        to = t;
    }
    // Four passes: the result is back in list.
}

namespace {

float cross2(float ax, float az, float bx, float bz) { return ax * bz - az * bx; }

// The edges of a billboard across the view, in the ground plane.
void edges(const billboard& b, const float right[2], float left_edge[2], float right_edge[2])
{
    float h = b.size * b.aspect * 0.5f;
    left_edge[0] = b.x - right[0] * h, left_edge[1] = b.z - right[1] * h;
    right_edge[0] = b.x + right[0] * h, right_edge[1] = b.z + right[1] * h;
}

bool apart(const billboard& s, const billboard& e, const float camera[3], const float right[2])
{
    float sl[2], sr[2], el[2], er[2];
    edges(s, right, sl, sr);
    edges(e, right, el, er);
    float cx = camera[0], cz = camera[2];
    return cross2(er[0] - cx, er[1] - cz, sl[0] - cx, sl[1] - cz) >= 0 ||
           cross2(sr[0] - cx, sr[1] - cz, el[0] - cx, el[1] - cz) >= 0;
}

}  // namespace

void billboard_batch(int32_t* list, int n, const billboard* table, const float camera[3], const float right[2],
                     int lookahead)
{
    if (lookahead <= 1) return;
    for (int u = 0; u + 1 < n; u++) {
        int texture = table[list[u]].texture;
        int k = 1;
        while (k < lookahead && u + k < n && table[list[u + k]].texture != texture) k++;
        if (k <= 1 || k >= lookahead || u + k >= n) continue;
        const billboard& s = table[list[u + k]];
        bool clear = true;
        for (int j = 1; j < k && clear; j++) clear = apart(s, table[list[u + j]], camera, right);
        if (!clear) continue;
        int32_t moved = list[u + k];
        std::memmove(&list[u + 2], &list[u + 1], sizeof(int32_t) * size_t(k - 1));
        list[u + 1] = moved;
    }
}

int draw_billboards(const float camera[3], const float m[9], int lookahead, int32_t* texture_changes)
{
    track_object_tables& t = track_objects;
    int count = t.billboards.count;
    if (count <= 0 || t.draw_list.count < 2 * count) return 0;
    billboard* table = billboard_at(0);
    int32_t* list = array_items<int32_t>(&t.draw_list);
    const float z[3] = {m[2], m[5], m[8]};
    int n = billboard_key_list(table, count, camera, z, list);
    radix_sort_indices(list, list + count, n, &table[0].sort_key, int(sizeof(billboard) / sizeof(int32_t)));
    float right[2] = {m[8], -m[2]};
    float rl = std::hypot(right[0], right[1]);
    if (rl < 1e-6f) right[0] = 1, right[1] = 0, rl = 1;
    right[0] /= rl, right[1] /= rl;
    billboard_batch(list, n, table, camera, right, lookahead);

    ztglDisable(GL_CULL_FACE);
    ztglEnable(GL_BLEND);
    ztglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    ztglDepthMask(0);
    ztgl_use_program(ZTGL_UNLIT);
    int bound = -1, in_batch = 0;
    for (int i = 0; i < n; i++) {
        const billboard& b = table[list[i]];
        if (b.texture != bound) {
            if (bound != -1) imm_end();
            bound = b.texture;
            ztglBindTexture(GL_TEXTURE_2D, GLuint(bound));
            ++*texture_changes;
            imm_begin(IMM_QUADS);
            in_batch = 0;
        } else if (in_batch == quads_per_primitive) {
            // A primitive stays well inside the immediate-mode batch.
            imm_end();
            imm_begin(IMM_QUADS);
            in_batch = 0;
        }
        in_batch++;
        float l[2], r[2];
        edges(b, right, l, r);
        imm_color(b.colour[0] / 255.0f, b.colour[1] / 255.0f, b.colour[2] / 255.0f, b.colour[3] / 255.0f);
        imm_texcoord(0, 1);
        imm_vertex3(l[0], b.y, l[1]);
        imm_texcoord(1, 1);
        imm_vertex3(r[0], b.y, r[1]);
        imm_texcoord(1, 0);
        imm_vertex3(r[0], b.y + b.size, r[1]);
        imm_texcoord(0, 0);
        imm_vertex3(l[0], b.y + b.size, l[1]);
    }
    if (bound != -1) imm_end();
    if (n) list[n] = -1;
    ztglDepthMask(1);
    ztglDisable(GL_BLEND);
    ztglEnable(GL_CULL_FACE);
    return n;
}
