#include "ui/treadmark_draw.h"

#include <cstring>

#include "core/alloc.h"
#include "gfx/ztgl.h"
#include "terrain/treadmarks.h"
#include "ui/world_view.h"

namespace {

// The GL copy of the ring: vertices as the layer holds them, and six indices
// a print (two triangles) made once.
struct print_buffers {
    GLuint array, vertices, indices;
    uint8_t* seen;  // per block of the ring: in sight this frame
    int32_t capacity;
    uint32_t generation;
    uint64_t uploaded;  // prints of the layer already in the buffer
};
print_buffers buffers;

} // namespace

int32_t treadmarks_drawn;

namespace {

// Prints are drawn nearer by this fraction of their distance: the terrain
// far off is drawn at half resolution where that is off by at most 1/500 of
// the distance (terrain_render.cpp), so 1/256 keeps prints on top of it, and
// it moves nothing on screen, only the depth.
constexpr float eye_pull = 1.0f / 256.0f;
// The fading quarter is drawn in this many steps of constant alpha.
constexpr int32_t fade_steps = 8;
// Blocks whose nearest print is farther than this are not drawn: a print
// 4 inches wide is under a pixel there at 1280 pixels across 90 degrees
// (2 x 200 ft / 1280 = 0.31 ft a pixel).
constexpr float far_feet = 200.0f;
// Prints put back on deformed ground a frame: a sweep over a full ring of
// 100000 takes 25 frames, and costs 16384 height look-ups and 320 KiB sent.
constexpr int32_t settle_budget = 4096;

void make_buffers(const treadmark_layer* layer)
{
    treadmarks_draw_free();
    buffers.capacity = layer->capacity;
    ztglGenVertexArrays(1, &buffers.array);
    ztglBindVertexArray(buffers.array);
    ztglGenBuffers(1, &buffers.vertices);
    ztglBindBuffer(GL_ARRAY_BUFFER, buffers.vertices);
    ztglBufferData(GL_ARRAY_BUFFER, GLsizeiptr(sizeof(treadmark_vertex) * 4 * size_t(layer->capacity)), nullptr,
                   GL_DYNAMIC_DRAW);
    ztglVertexAttribPointer(ZTGL_ATTR_POSITION, 3, GL_FLOAT, GL_FALSE, sizeof(treadmark_vertex), nullptr);
    ztglEnableVertexAttribArray(ZTGL_ATTR_POSITION);
    ztglVertexAttribPointer(ZTGL_ATTR_TEXCOORD, 2, GL_FLOAT, GL_FALSE, sizeof(treadmark_vertex),
                            reinterpret_cast<const void*>(offsetof(treadmark_vertex, u)));
    ztglEnableVertexAttribArray(ZTGL_ATTR_TEXCOORD);
    buffers.seen = static_cast<uint8_t*>(xmalloc(size_t(layer->capacity + treadmark_block - 1) / treadmark_block));
    size_t count = size_t(layer->capacity) * 6;
    uint32_t* indices = static_cast<uint32_t*>(xmalloc(sizeof(uint32_t) * count));
    for (size_t p = 0; p < size_t(layer->capacity); p++) {
        uint32_t v = uint32_t(p * 4);
        const uint32_t quad[6] = {v, v + 1, v + 2, v, v + 2, v + 3};
        memcpy(indices + p * 6, quad, sizeof quad);
    }
    ztglGenBuffers(1, &buffers.indices);
    ztglBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers.indices);
    ztglBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(sizeof(uint32_t) * count), indices, GL_STATIC_DRAW);
    alloc_check_free(indices);
    ztglBindVertexArray(0);
    ztglBindBuffer(GL_ARRAY_BUFFER, 0);
}

void upload_slots(const treadmark_layer* layer, int32_t first, int32_t count)
{
    if (count <= 0) return;
    size_t print = sizeof(treadmark_vertex) * 4;
    ztglBufferSubData(GL_ARRAY_BUFFER, GLintptr(print * size_t(first)), GLsizeiptr(print * size_t(count)),
                      layer->vertices + size_t(first) * 4);
}

// Sends the prints laid since the last frame (all of them after a lap round
// the ring or a new ring).
void upload_new(const treadmark_layer* layer)
{
    uint64_t fresh = layer->laid - buffers.uploaded;
    int32_t n = fresh > uint64_t(layer->count) ? layer->count : int32_t(fresh);
    buffers.uploaded = layer->laid;
    if (n <= 0) return;
    ztglBindBuffer(GL_ARRAY_BUFFER, buffers.vertices);
    int32_t first = layer->next - n;
    if (first >= 0) {
        upload_slots(layer, first, n);
    } else {
        upload_slots(layer, first + layer->capacity, -first);
        upload_slots(layer, 0, layer->next);
    }
    ztglBindBuffer(GL_ARRAY_BUFFER, 0);
}

// Which blocks are in sight: near enough and not wholly behind the eye.
void look_at_blocks(const treadmark_layer* layer, const float eye[3], const float forward[3])
{
    int32_t blocks = (layer->capacity + treadmark_block - 1) / treadmark_block;
    for (int32_t k = 0; k < blocks; k++) {
        const float* b = layer->block_bounds[k];
        float d2 = 0, ahead = 0;
        for (int a = 0; a < 3; a++) {
            float gap = eye[a] < b[a] ? b[a] - eye[a] : (eye[a] > b[a + 3] ? eye[a] - b[a + 3] : 0.0f);
            d2 += gap * gap;
            ahead += forward[a] * ((forward[a] > 0 ? b[a + 3] : b[a]) - eye[a]);
        }
        buffers.seen[k] = d2 <= far_feet * far_feet && ahead > 0;
    }
}

void draw_run(int32_t first, int32_t count)
{
    if (count <= 0) return;
    treadmarks_drawn += count;
    ztgl_guarded_draw_range_elements(GL_TRIANGLES, GLuint(first) * 4, GLuint(first + count) * 4 - 1, count * 6,
                                     GL_UNSIGNED_INT,
                                     reinterpret_cast<const void*>(size_t(first) * 6 * sizeof(uint32_t)));
}

// The slots first..first + count - 1, one draw for each run of blocks in sight.
void draw_slots(int32_t first, int32_t count)
{
    int32_t run = first, end = first + count;
    for (int32_t at = first; at < end;) {
        int32_t block = at / treadmark_block, stop = (block + 1) * treadmark_block;
        if (stop > end) stop = end;
        if (!buffers.seen[block]) {
            draw_run(run, at - run);
            run = stop;
        }
        at = stop;
    }
    draw_run(run, end - run);
}

// The prints of ages young..old - 1 (0 newest) at one alpha: one stretch of
// the ring, or two where it wraps.
void draw_ages(const treadmark_layer* layer, int32_t young, int32_t old, float alpha)
{
    if (old <= young || alpha <= 0.0f) return;
    ztglVertexAttrib4f(ZTGL_ATTR_COLOR, 1, 1, 1, alpha);
    int32_t first = treadmark_slot_of_age(layer, old - 1), last = treadmark_slot_of_age(layer, young);
    if (first <= last) {
        draw_slots(first, last - first + 1);
    } else {
        draw_slots(first, layer->capacity - first);
        draw_slots(0, last + 1);
    }
}

} // namespace

int32_t treadmarks_draw()
{
    treadmark_layer* layer = &track_treadmarks;
    treadmarks_drawn = 0;
    if (layer->count <= 0 || !layer->atlas_texture) return 0;
    if (buffers.generation != layer->generation || buffers.capacity != layer->capacity || !buffers.array) {
        if (buffers.capacity != layer->capacity || !buffers.array) make_buffers(layer);
        buffers.generation = layer->generation;
        buffers.uploaded = 0;
    }
    upload_new(layer);
    // The camera render_view set: the eye, and forward against its
    // backward axis (the rotation's third column).
    const float* m = view_camera.rotation;
    const float forward[3] = {-m[2], -m[5], -m[8]};
    look_at_blocks(layer, view_camera.position, forward);
    int32_t first = 0, settled = treadmarks_settle(&track_terrain, layer, settle_budget, &first);
    if (settled > 0) {
        ztglBindBuffer(GL_ARRAY_BUFFER, buffers.vertices);
        upload_slots(layer, first, settled);
        ztglBindBuffer(GL_ARRAY_BUFFER, 0);
    }

    ztgl_use_program(ZTGL_UNLIT);
    ztglMatrixMode(ZTGL_PROJECTION);
    ztglPushMatrix();
    // Scaling eye space about the eye keeps every point on its pixel.
    ztglScalef(1.0f - eye_pull, 1.0f - eye_pull, 1.0f - eye_pull);
    ztglMatrixMode(ZTGL_MODELVIEW);
    ztglEnable(GL_BLEND);
    ztglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    ztglDepthMask(0);
    ztglDisable(GL_CULL_FACE);
    ztglActiveTexture(GL_TEXTURE0);
    ztglBindTexture(GL_TEXTURE_2D, layer->atlas_texture);
    ztglBindVertexArray(buffers.array);
    ztgl_flush();

    int32_t solid = layer->capacity - layer->capacity / 4;
    draw_ages(layer, 0, layer->count < solid ? layer->count : solid, 1.0f);
    int32_t step = (layer->capacity - solid + fade_steps - 1) / fade_steps;
    for (int32_t young = solid; young < layer->count && step > 0; young += step) {
        int32_t old = young + step < layer->count ? young + step : layer->count;
        draw_ages(layer, young, old, treadmark_fade((young + old) / 2, layer->capacity));
    }

    ztglVertexAttrib4f(ZTGL_ATTR_COLOR, 1, 1, 1, 1);
    ztglBindVertexArray(0);
    ztglEnable(GL_CULL_FACE);
    ztglDepthMask(1);
    ztglDisable(GL_BLEND);
    ztglMatrixMode(ZTGL_PROJECTION);
    ztglPopMatrix();
    ztglMatrixMode(ZTGL_MODELVIEW);
    return treadmarks_drawn;
}

void treadmarks_draw_free()
{
    if (buffers.array) ztglDeleteVertexArrays(1, &buffers.array);
    if (buffers.vertices) ztglDeleteBuffers(1, &buffers.vertices);
    if (buffers.indices) ztglDeleteBuffers(1, &buffers.indices);
    if (buffers.seen) alloc_check_free(buffers.seen);
    buffers = {};
}
