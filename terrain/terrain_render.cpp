#include "terrain/terrain_render.h"

#include <cmath>
#include <cstring>

#include "core/alloc.h"
#include "gfx/image_file.h"
#include "gfx/imm.h"
#include "gfx/ztgl.h"
#include "terrain/terrain_lod.h"
#include "terrain/terrain_services.h"

// The ground is drawn as square patches of 32 x 32 quads over the nodes of
// the detail quadtree: a node is split while the camera is nearer than twice
// its side, so neighbours differ by one level at most, and a patch whose
// neighbour is coarser folds its odd edge vertices onto the even ones (one of
// 16 index lists), so the seams close. Heights come from a float texture the
// vertex stage reads, so a deformed block costs one sub-image upload. The
// ground colour is one texture over the whole terrain, painted from the tile
// map and the tiles' textures; lighting comes from the heights, shadows
// through the light factor of the detail-normal texture.

namespace {

constexpr int patch_quads = 32;
constexpr int patch_side = patch_quads + 1;
constexpr int patch_indices = patch_quads * patch_quads * 6;
constexpr int ground_texture_size = 2048;
// The detail level covers at most this many feet around the camera and moves
// in steps of a quarter of its side.
constexpr float detail_side_feet = 192.0f;
constexpr int atlas_cell = 128;
constexpr float split_distance = 1.5f;  // in node sides
// The last split, to full resolution, happens only where half resolution
// would be off by more than this many feet per foot of distance.
constexpr float half_error_per_distance = 0.002f;

struct leaf {
    int32_t level, col, row;
    int32_t coarse_edges;  // bit 0: -z, 1: +x, 2: +z, 3: -x neighbour is coarser
};

// One level of the ground-colour pyramid: a square window of the ground.
struct ground_level {
    GLuint texture, framebuffer;
    float x0, z0, side;  // world window
    int32_t dirty;
};

} // namespace

struct terrain_renderer {
    GLuint heights_texture;
    GLuint light_texture;    // detail normal (flat) with the shadow as light factor
    int32_t atlas_side;      // tiles per atlas row
    ground_level levels[2];  // the whole terrain, then the detail around the camera
    GLuint patch_array, patch_vertices, patch_index_buffer;
    int32_t patch_level;     // quadtree level whose nodes are one patch at full detail
    leaf* leaves;
    int32_t leaf_capacity, leaf_count;
    int8_t* leaf_levels;     // per patch-level node: level of the leaf covering it, -1 none
    float* half_error;       // per node one level above the patches: the largest
                             // height error of drawing it at half resolution
    GLuint* decal_textures;  // per decal kind the registry lacked, read at creation
    int32_t decal_texture_count;
};

namespace {

float float_of(int32_t v) { return float(v); }

// RGBA pixels of a game-data image (its first level), or null.
uint8_t* read_rgba(const char* name, int32_t* width, int32_t* height)
{
    uint8_t* chain = nullptr;
    char* text = nullptr;
    int w = 0, h = 0, bpp = 0;
    if (!png_read(name, &chain, &w, &h, &bpp, &text)) return nullptr;
    if (text) alloc_check_free(text);
    uint8_t* pixels = static_cast<uint8_t*>(xmalloc(size_t(w) * size_t(h) * 4));
    for (size_t k = 0; k < size_t(w) * size_t(h); k++) {
        const uint8_t* in = chain + k * size_t(bpp);
        pixels[4 * k] = in[0], pixels[4 * k + 1] = in[1], pixels[4 * k + 2] = in[2];
        pixels[4 * k + 3] = bpp == 4 ? in[3] : 255;
    }
    alloc_check_free(chain);
    *width = w;
    *height = h;
    return pixels;
}

void texture_parameters(GLint filter, GLint wrap)
{
    ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter == GL_LINEAR_MIPMAP_LINEAR ? GL_LINEAR : filter);
    ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
}

// The tiles' textures side by side, each cell holding its texture inside a
// margin of 1/16 of the cell filled with the texture's wrapped continuation,
// which is what the tile-map program samples.
void build_atlas(terrain* t, terrain_renderer* r)
{
    int32_t side = 1;
    while (side * side < t->tile_count) side *= 2;
    r->atlas_side = side;
    int32_t pixels_side = side * atlas_cell;
    uint8_t* atlas = static_cast<uint8_t*>(xmalloc(size_t(pixels_side) * pixels_side * 4));
    memset(atlas, 0, size_t(pixels_side) * pixels_side * 4);
    for (int32_t k = 0; k < t->tile_count; k++) {
        int32_t w = 0, h = 0;
        uint8_t* image = t->tile_textures[k] ? read_rgba(t->tile_textures[k], &w, &h) : nullptr;
        if (!image && t->tile_textures[k]) terrain_console("Can't load ground texture '%.200s'", t->tile_textures[k]);
        int32_t ox = (k % side) * atlas_cell, oy = (k / side) * atlas_cell;
        for (int32_t y = 0; y < atlas_cell; y++) {
            for (int32_t x = 0; x < atlas_cell; x++) {
                uint8_t* out = atlas + (size_t(oy + y) * pixels_side + ox + x) * 4;
                if (!image) {
                    // A plain dirt colour stands in for a missing texture.
                    out[0] = 120, out[1] = 90, out[2] = 60, out[3] = 255;
                    continue;
                }
                float u = (float_of(x) / atlas_cell - 0.0625f) / 0.875f;
                float v = (float_of(y) / atlas_cell - 0.0625f) / 0.875f;
                int32_t sx = int32_t(floorf((u - floorf(u)) * float_of(w))) % w;
                int32_t sy = int32_t(floorf((v - floorf(v)) * float_of(h))) % h;
                memcpy(out, image + (size_t(sy) * w + sx) * 4, 4);
            }
        }
        if (image) alloc_check_free(image);
    }
    ztglGenTextures(1, &t->tile_atlas_texture);
    ztglBindTexture(GL_TEXTURE_2D, t->tile_atlas_texture);
    ztglTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, pixels_side, pixels_side, 0, GL_RGBA, GL_UNSIGNED_BYTE, atlas);
    ztglGenerateMipmap(GL_TEXTURE_2D);
    texture_parameters(GL_LINEAR_MIPMAP_LINEAR, GL_CLAMP_TO_EDGE);
    alloc_check_free(atlas);
}

void build_patch_mesh(terrain_renderer* r)
{
    float vertices[patch_side * patch_side * 2];
    for (int j = 0; j < patch_side; j++)
        for (int i = 0; i < patch_side; i++) {
            vertices[(j * patch_side + i) * 2] = float_of(i);
            vertices[(j * patch_side + i) * 2 + 1] = float_of(j);
        }
    // Sixteen index lists: for every set of coarser neighbours, the odd
    // vertices of those edges move onto the even vertex before them.
    uint16_t* indices = static_cast<uint16_t*>(xmalloc(sizeof(uint16_t) * patch_indices * 16));
    for (int mask = 0; mask < 16; mask++) {
        uint16_t* out = indices + mask * patch_indices;
        auto vertex = [&](int i, int j) {
            if ((mask & 1) && j == 0 && (i & 1)) i--;
            if ((mask & 2) && i == patch_quads && (j & 1)) j--;
            if ((mask & 4) && j == patch_quads && (i & 1)) i--;
            if ((mask & 8) && i == 0 && (j & 1)) j--;
            return uint16_t(j * patch_side + i);
        };
        for (int j = 0; j < patch_quads; j++)
            for (int i = 0; i < patch_quads; i++) {
                // The same diagonals as the height queries' triangle rule.
                bool even = ((i ^ j) & 1) == 0;
                uint16_t a = vertex(i, j), b = vertex(i + 1, j), c = vertex(i + 1, j + 1), d = vertex(i, j + 1);
                const uint16_t quad[2][6] = {{a, b, c, a, c, d}, {a, b, d, b, c, d}};
                memcpy(out, quad[even ? 0 : 1], sizeof quad[0]);
                out += 6;
            }
    }
    ztglGenVertexArrays(1, &r->patch_array);
    ztglBindVertexArray(r->patch_array);
    ztglGenBuffers(1, &r->patch_vertices);
    ztglBindBuffer(GL_ARRAY_BUFFER, r->patch_vertices);
    ztglBufferData(GL_ARRAY_BUFFER, sizeof vertices, vertices, GL_STATIC_DRAW);
    ztglVertexAttribPointer(ZTGL_ATTR_POSITION, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    ztglEnableVertexAttribArray(ZTGL_ATTR_POSITION);
    ztglGenBuffers(1, &r->patch_index_buffer);
    ztglBindBuffer(GL_ELEMENT_ARRAY_BUFFER, r->patch_index_buffer);
    ztglBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof(uint16_t) * patch_indices * 16, indices, GL_STATIC_DRAW);
    ztglBindVertexArray(0);
    ztglBindBuffer(GL_ARRAY_BUFFER, 0);
    alloc_check_free(indices);
}

void upload_rows(terrain* t, int32_t x0, int32_t z0, int32_t x1, int32_t z1)
{
    ztglBindTexture(GL_TEXTURE_2D, t->renderer->heights_texture);
    ztglPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    ztglPixelStorei(GL_UNPACK_ROW_LENGTH, t->size);
    ztglTexSubImage2D(GL_TEXTURE_2D, 0, x0, z0, x1 - x0 + 1, z1 - z0 + 1, GL_RED, GL_FLOAT,
                      t->heights + size_t(z0) * t->size + x0);
    ztglPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

// Half-resolution errors of the nodes above the patches that overlap the
// cell rectangle: the largest error of the 2 x 2-cell nodes inside them.
void update_half_errors(terrain* t, int32_t x0, int32_t z0, int32_t x1, int32_t z1)
{
    terrain_renderer* r = t->renderer;
    int32_t level = r->patch_level - 1;
    if (level < 0) return;
    int32_t nodes = 1 << level, span = (t->size - 1) >> level, leaves_per_node = span / 2;
    int32_t leaf_level = t->exponent;
    auto clamp = [&](int32_t v) { return v < 0 ? 0 : (v >= nodes ? nodes - 1 : v); };
    for (int32_t row = clamp(z0 / span - 1); row <= clamp(z1 / span + 1); row++) {
        for (int32_t col = clamp(x0 / span - 1); col <= clamp(x1 / span + 1); col++) {
            float worst = 0.0f;
            for (int32_t j = 0; j < leaves_per_node; j++)
                for (int32_t i = 0; i < leaves_per_node; i++)
                    worst = fmaxf(worst, t->lod_error[0][terrain_lod_node(leaf_level, col * leaves_per_node + i,
                                                                          row * leaves_per_node + j)]);
            r->half_error[row * nodes + col] = worst;
        }
    }
}

// Kinds the texture registry could not give are read here once, when the
// renderer is made, so that painting the ground never touches a file.
void load_decal_textures(terrain* t, terrain_renderer* r)
{
    if (t->decal_kind_count <= 0) return;
    r->decal_textures = static_cast<GLuint*>(xmalloc(sizeof(GLuint) * size_t(t->decal_kind_count)));
    r->decal_texture_count = t->decal_kind_count;
    for (int32_t kind = 0; kind < r->decal_texture_count; kind++) {
        r->decal_textures[kind] = 0;
        if (t->decal_kinds[kind].texture) continue;
        int32_t w = 0, h = 0;
        uint8_t* pixels = read_rgba(t->decal_kinds[kind].name, &w, &h);
        if (!pixels) continue;
        ztglGenTextures(1, &r->decal_textures[kind]);
        ztglBindTexture(GL_TEXTURE_2D, r->decal_textures[kind]);
        ztglTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        ztglGenerateMipmap(GL_TEXTURE_2D);
        texture_parameters(GL_LINEAR_MIPMAP_LINEAR, GL_CLAMP_TO_EDGE);
        alloc_check_free(pixels);
    }
}

GLuint decal_texture(terrain* t, const decal& d)
{
    terrain_renderer* r = t->renderer;
    if (d.textures[0]) return d.textures[0];
    int32_t kind = int32_t(d.textures[3]);
    if (kind < 0 || kind >= r->decal_texture_count) return 0;
    return r->decal_textures[kind] ? r->decal_textures[kind] : t->decal_kinds[kind].texture;
}

// Decals lie on the ground colour, in table order, blended by their alpha.
void paint_decals(terrain* t)
{
    if (t->hide_decals || !t->decals.items) return;
    ztgl_use_program(ZTGL_UNLIT);
    ztglEnable(GL_BLEND);
    ztglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const decal* items = static_cast<const decal*>(t->decals.items);
    for (int32_t i = 0; i < t->decals.count; i++) {
        const decal& d = items[i];
        GLuint texture = decal_texture(t, d);
        if (!texture) continue;
        ztglBindTexture(GL_TEXTURE_2D, texture);
        float fx = d.sine * d.size, fz = d.cosine * d.size;  // forward
        float sx = d.cosine * d.size, sz = -d.sine * d.size; // side
        imm_begin(IMM_QUADS);
        imm_color(1, 1, 1, 1);
        imm_texcoord(0, 0);
        imm_vertex3(d.x - sx - fx, 0, d.z - sz - fz);
        imm_texcoord(1, 0);
        imm_vertex3(d.x + sx - fx, 0, d.z + sz - fz);
        imm_texcoord(1, 1);
        imm_vertex3(d.x + sx + fx, 0, d.z + sz + fz);
        imm_texcoord(0, 1);
        imm_vertex3(d.x - sx + fx, 0, d.z - sz + fz);
        imm_end();
    }
    ztglDisable(GL_BLEND);
}

void paint_level(terrain* t, ground_level* level)
{
    terrain_renderer* r = t->renderer;
    GLint viewport[4], framebuffer = 0, depth_test = 0, blend = 0;
    ztgl_flush();
    ztgl_fn.GetIntegerv(GL_VIEWPORT, viewport);
    ztgl_fn.GetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    // terrain_draw repaints a stale level itself, between the caller's depth
    // test and its patches: what the painting switches off is switched back.
    ztgl_fn.GetIntegerv(GL_DEPTH_TEST, &depth_test);
    ztgl_fn.GetIntegerv(GL_BLEND, &blend);
    ztglBindFramebuffer(GL_FRAMEBUFFER, level->framebuffer);
    ztglViewport(0, 0, ground_texture_size, ground_texture_size);
    ztglDisable(GL_DEPTH_TEST);
    ztglDisable(GL_BLEND);
    ztglMatrixMode(ZTGL_PROJECTION);
    ztglPushMatrix();
    ztglLoadIdentity();
    ztglOrtho(level->x0, level->x0 + level->side, level->z0, level->z0 + level->side, -1, 1);
    ztglMatrixMode(ZTGL_MODELVIEW);
    ztglPushMatrix();
    // World x and z onto the target's x and y.
    const float xz_to_xy[16] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1};
    ztglLoadMatrixf(xz_to_xy);
    ztgl_use_program(ZTGL_TILEMAP);
    ztgl_set_tilemap_dims(t->inv_spacing, 1.0f / float_of(1 << t->exponent), 1.0f / float_of(r->atlas_side));
    ztglActiveTexture(GL_TEXTURE1);
    ztglBindTexture(GL_TEXTURE_2D, t->tile_map_texture);
    ztglActiveTexture(GL_TEXTURE0);
    ztglBindTexture(GL_TEXTURE_2D, t->tile_atlas_texture);
    float x1 = level->x0 + level->side, z1 = level->z0 + level->side;
    imm_begin(IMM_QUADS);
    imm_vertex3(level->x0, 0, level->z0);
    imm_vertex3(x1, 0, level->z0);
    imm_vertex3(x1, 0, z1);
    imm_vertex3(level->x0, 0, z1);
    imm_end();
    paint_decals(t);
    ztglMatrixMode(ZTGL_PROJECTION);
    ztglPopMatrix();
    ztglMatrixMode(ZTGL_MODELVIEW);
    ztglPopMatrix();
    ztgl_flush();
    ztglBindTexture(GL_TEXTURE_2D, level->texture);
    ztglGenerateMipmap(GL_TEXTURE_2D);
    ztglBindTexture(GL_TEXTURE_2D, 0);
    ztglBindFramebuffer(GL_FRAMEBUFFER, GLuint(framebuffer));
    ztglViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    if (depth_test) ztglEnable(GL_DEPTH_TEST);
    if (blend) ztglEnable(GL_BLEND);
    level->dirty = 0;
}

// Moves the detail window over the camera and paints what is stale.
void update_levels(terrain* t)
{
    terrain_renderer* r = t->renderer;
    ground_level& detail = r->levels[1];
    float step = detail.side * 0.25f, limit = t->extent - detail.side;
    for (int axis = 0; axis < 2; axis++) {
        float c = t->camera[axis * 2];
        float origin = std::isfinite(c) ? floorf((c - detail.side * 0.5f) / step) * step : 0.0f;
        origin = origin < 0.0f ? 0.0f : (origin > limit ? limit : origin);
        float& current = axis == 0 ? detail.x0 : detail.z0;
        if (origin != current) current = origin, detail.dirty = 1;
    }
    for (ground_level& level : r->levels)
        if (level.dirty) paint_level(t, &level);
}

GLuint make_texture(GLint internal, int32_t w, int32_t h, GLenum format, GLenum type, const void* data, GLint filter)
{
    GLuint id = 0;
    ztglGenTextures(1, &id);
    ztglBindTexture(GL_TEXTURE_2D, id);
    ztglPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    ztglTexImage2D(GL_TEXTURE_2D, 0, internal, w, h, 0, format, type, data);
    ztglPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    texture_parameters(filter, GL_CLAMP_TO_EDGE);
    return id;
}

} // namespace

int terrain_render_create(terrain* t)
{
    // Without a GL layer (tools, tests of the ground alone) nothing is drawn.
    if (!ztgl_fn.GenTextures || !ztgl_get_program(ZTGL_TERRAIN)) return 1;
    terrain_render_free(t);
    terrain_renderer* r = static_cast<terrain_renderer*>(xmalloc(sizeof(terrain_renderer)));
    memset(r, 0, sizeof *r);
    t->renderer = r;
    int32_t n = t->size, tiles = 1 << t->exponent;
    // Float heights filter linearly on desktop GL only.
    r->heights_texture = make_texture(GL_R32F, n, n, GL_RED, GL_FLOAT, t->heights, ztgl_state.es ? GL_NEAREST : GL_LINEAR);

    uint8_t* light = static_cast<uint8_t*>(xmalloc(size_t(n) * n * 4));
    for (size_t k = 0; k < size_t(n) * n; k++) {
        light[4 * k] = 128, light[4 * k + 2] = 128, light[4 * k + 3] = 255;
        light[4 * k + 1] = uint8_t(255 - (t->shadow ? t->shadow[k] : 0));
    }
    r->light_texture = make_texture(GL_RGBA8, n, n, GL_RGBA, GL_UNSIGNED_BYTE, light, GL_LINEAR);
    alloc_check_free(light);
    t->tile_map_texture = make_texture(GL_R8, tiles, tiles, GL_RED, GL_UNSIGNED_BYTE, t->tile_map, GL_NEAREST);
    build_atlas(t, r);
    load_decal_textures(t, r);

    for (int k = 0; k < 2; k++) {
        ground_level& level = r->levels[k];
        level.side = k == 0 ? t->extent : fminf(t->extent, detail_side_feet);
        level.x0 = level.z0 = k == 0 ? 0.0f : -1.0f;  // the detail window is placed at the first upkeep
        level.dirty = 1;
        ztglGenTextures(1, &level.texture);
        ztglBindTexture(GL_TEXTURE_2D, level.texture);
        ztglTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, ground_texture_size, ground_texture_size, 0, GL_RGBA,
                       GL_UNSIGNED_BYTE, nullptr);
        texture_parameters(GL_LINEAR_MIPMAP_LINEAR, GL_CLAMP_TO_EDGE);
        ztglGenFramebuffers(1, &level.framebuffer);
        ztglBindFramebuffer(GL_FRAMEBUFFER, level.framebuffer);
        ztglFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, level.texture, 0);
        GLenum status = ztglCheckFramebufferStatus(GL_FRAMEBUFFER);
        ztglBindFramebuffer(GL_FRAMEBUFFER, 0);
        if (status != GL_FRAMEBUFFER_COMPLETE) {
            terrain_console("Can't create the ground texture (status 0x%x)", status);
            terrain_render_free(t);
            return 0;
        }
    }
    build_patch_mesh(r);

    r->patch_level = t->exponent + 1 - 5;  // nodes of 32 cells
    if (r->patch_level < 0) r->patch_level = 0;
    int32_t patches = 1 << r->patch_level;
    r->leaf_capacity = patches * patches;
    r->leaves = static_cast<leaf*>(xmalloc(sizeof(leaf) * size_t(r->leaf_capacity)));
    r->leaf_levels = static_cast<int8_t*>(xmalloc(size_t(r->leaf_capacity)));
    r->half_error = static_cast<float*>(xmalloc(sizeof(float) * size_t(r->leaf_capacity)));
    update_half_errors(t, 0, 0, t->size - 1, t->size - 1);
    ztglBindTexture(GL_TEXTURE_2D, 0);
    ztgl_flush();
    return 1;
}

void terrain_render_free(terrain* t)
{
    terrain_renderer* r = t->renderer;
    if (!r) return;
    GLuint textures[] = {r->heights_texture, r->light_texture, t->tile_map_texture, t->tile_atlas_texture,
                         r->levels[0].texture, r->levels[1].texture};
    for (GLuint id : textures)
        if (id) ztglDeleteTextures(1, &id);
    t->tile_map_texture = t->tile_atlas_texture = 0;
    for (ground_level& level : r->levels)
        if (level.framebuffer) ztglDeleteFramebuffers(1, &level.framebuffer);
    if (r->patch_vertices) ztglDeleteBuffers(1, &r->patch_vertices);
    if (r->patch_index_buffer) ztglDeleteBuffers(1, &r->patch_index_buffer);
    if (r->patch_array) ztglDeleteVertexArrays(1, &r->patch_array);
    if (r->leaves) alloc_check_free(r->leaves);
    if (r->leaf_levels) alloc_check_free(r->leaf_levels);
    if (r->half_error) alloc_check_free(r->half_error);
    for (int32_t k = 0; k < r->decal_texture_count; k++)
        if (r->decal_textures[k]) ztglDeleteTextures(1, &r->decal_textures[k]);
    if (r->decal_textures) alloc_check_free(r->decal_textures);
    alloc_check_free(r);
    t->renderer = nullptr;
}

void terrain_render_upload_block(terrain* t, int32_t block_col, int32_t block_row)
{
    if (!t->renderer) return;
    int32_t last = t->size - 1;
    int32_t x0 = block_col * terrain_block_cells, z0 = block_row * terrain_block_cells;
    int32_t x1 = x0 + terrain_block_cells, z1 = z0 + terrain_block_cells;
    upload_rows(t, x0, z0, x1 > last ? last : x1, z1 > last ? last : z1);
    update_half_errors(t, x0, z0, x1, z1);
}

namespace {

// Sends the tile-map bytes of the tiles under the cell rectangle to the GL, so
// the repaint reads the edited map.
void upload_tiles(terrain* t, int32_t x0, int32_t z0, int32_t x1, int32_t z1)
{
    if (!t->tile_map || !t->tile_map_texture) return;
    int32_t tiles = 1 << t->exponent;
    auto tile = [&](int32_t cell) { return cell < 0 ? 0 : (cell / 2 >= tiles ? tiles - 1 : cell / 2); };
    int32_t c0 = tile(x0 < x1 ? x0 : x1), c1 = tile(x0 < x1 ? x1 : x0);
    int32_t r0 = tile(z0 < z1 ? z0 : z1), r1 = tile(z0 < z1 ? z1 : z0);
    ztglBindTexture(GL_TEXTURE_2D, t->tile_map_texture);
    ztglPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    ztglPixelStorei(GL_UNPACK_ROW_LENGTH, tiles);
    ztglTexSubImage2D(GL_TEXTURE_2D, 0, c0, r0, c1 - c0 + 1, r1 - r0 + 1, GL_RED, GL_UNSIGNED_BYTE,
                      t->tile_map + size_t(r0) * tiles + c0);
    ztglPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    ztglPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    ztglBindTexture(GL_TEXTURE_2D, 0);
}

} // namespace

void terrain_invalidate_levels(terrain* t, int32_t x0, int32_t z0, int32_t x1, int32_t z1)
{
    if (!t->renderer) return;
    upload_tiles(t, x0, z0, x1, z1);
    for (ground_level& level : t->renderer->levels) {
        float lx = level.x0 * t->inv_spacing, lz = level.z0 * t->inv_spacing, side = level.side * t->inv_spacing;
        if (float_of(x1) >= lx && float_of(x0) <= lx + side && float_of(z1) >= lz && float_of(z0) <= lz + side)
            level.dirty = 1;
    }
}

void terrain_update_pyramid(terrain* t)
{
    if (t->renderer) update_levels(t);
}

namespace {

struct frustum {
    float planes[6][4];
};

frustum view_frustum()
{
    const float* p = ztgl_current_matrix(1);
    const float* m = ztgl_current_matrix(0);
    float c[16];  // p * m, column-major
    for (int col = 0; col < 4; col++)
        for (int row = 0; row < 4; row++) {
            float s = 0;
            for (int k = 0; k < 4; k++) s += p[k * 4 + row] * m[col * 4 + k];
            c[col * 4 + row] = s;
        }
    frustum f;
    for (int k = 0; k < 6; k++) {
        int axis = k / 2;
        float sign = (k & 1) ? -1.0f : 1.0f;
        for (int col = 0; col < 4; col++) f.planes[k][col] = c[col * 4 + 3] + sign * c[col * 4 + axis];
    }
    return f;
}

bool box_outside(const frustum& f, const float lo[3], const float hi[3])
{
    for (const auto& p : f.planes) {
        float x = p[0] > 0 ? hi[0] : lo[0], y = p[1] > 0 ? hi[1] : lo[1], z = p[2] > 0 ? hi[2] : lo[2];
        if (p[0] * x + p[1] * y + p[2] * z + p[3] < 0) return true;
    }
    return false;
}

void select_leaves(terrain* t, const frustum& f, int32_t level, int32_t col, int32_t row)
{
    terrain_renderer* r = t->renderer;
    int32_t span = (t->size - 1) >> level;
    float side = float_of(span) * t->spacing;
    float lo[3] = {float_of(col * span) * t->spacing, t->height_min, float_of(row * span) * t->spacing};
    float hi[3] = {lo[0] + side, t->lod_error[1][terrain_lod_node(level, col, row)] + 0.5f, lo[2] + side};
    if (box_outside(f, lo, hi)) return;
    float dx = fmaxf(fmaxf(lo[0] - t->camera[0], t->camera[0] - hi[0]), 0.0f);
    float dz = fmaxf(fmaxf(lo[2] - t->camera[2], t->camera[2] - hi[2]), 0.0f);
    float distance2 = dx * dx + dz * dz;
    bool near = distance2 < split_distance * split_distance * side * side;
    // Above the patches neighbours must differ by one level at most, so only
    // the last split may be skipped for ground that is smooth enough.
    if (near && level == r->patch_level - 1) {
        float limit = half_error_per_distance * sqrtf(distance2 + (t->camera[1] - hi[1]) * (t->camera[1] - hi[1]));
        if (r->half_error[row * (1 << level) + col] <= limit) near = false;
    }
    if (level < r->patch_level && near) {
        // Nearest child first: the patches come out front to back, so the
        // depth test spares the shading of hidden ground.
        int32_t first_x = t->camera[0] < lo[0] + side * 0.5f ? 0 : 1;
        int32_t first_z = t->camera[2] < lo[2] + side * 0.5f ? 0 : 1;
        const int32_t order[4][2] = {{first_x, first_z}, {1 - first_x, first_z}, {first_x, 1 - first_z},
                                     {1 - first_x, 1 - first_z}};
        for (const auto& o : order) select_leaves(t, f, level + 1, 2 * col + o[0], 2 * row + o[1]);
        return;
    }
    if (r->leaf_count < r->leaf_capacity) r->leaves[r->leaf_count++] = {level, col, row, 0};
}

} // namespace

void terrain_render_bind(terrain* t)
{
    terrain_renderer* r = t->renderer;
    if (!r) return;
    ztgl_use_program(ZTGL_TERRAIN);
    ztgl_set_spacing(t->spacing);
    ztgl_set_heights_dim_inv(1.0f / float_of(t->size));
    const float no_offset[2] = {0, 0};
    ztgl_set_tex_transform(no_offset, 1.0f / t->extent);
    ztglActiveTexture(GL_TEXTURE3);
    ztglBindTexture(GL_TEXTURE_2D, r->heights_texture);
    ztglActiveTexture(GL_TEXTURE2);
    ztglBindTexture(GL_TEXTURE_2D, ztgl_state.black_texture);
    ztglActiveTexture(GL_TEXTURE1);
    ztglBindTexture(GL_TEXTURE_2D, r->light_texture);
    ztglActiveTexture(GL_TEXTURE0);
    ztglBindTexture(GL_TEXTURE_2D, r->levels[0].texture);
    ztgl_flush();
}

void terrain_draw(terrain* t)
{
    terrain_renderer* r = t->renderer;
    if (!r) return;
    update_levels(t);
    ztgl_flush();
    frustum f = view_frustum();
    r->leaf_count = 0;
    select_leaves(t, f, 0, 0, 0);

    // Which level covers each patch-sized cell, to find coarser neighbours.
    int32_t patches = 1 << r->patch_level;
    memset(r->leaf_levels, -1, size_t(patches) * patches);
    for (int32_t k = 0; k < r->leaf_count; k++) {
        const leaf& l = r->leaves[k];
        int32_t cover = 1 << (r->patch_level - l.level);
        for (int32_t j = 0; j < cover; j++)
            for (int32_t i = 0; i < cover; i++)
                r->leaf_levels[(l.row * cover + j) * patches + l.col * cover + i] = int8_t(l.level);
    }
    auto level_at = [&](int32_t pc, int32_t pr) -> int32_t {
        if (pc < 0 || pr < 0 || pc >= patches || pr >= patches) return -1;
        return r->leaf_levels[pr * patches + pc];
    };

    terrain_render_bind(t);
    ztglBindVertexArray(r->patch_array);
    // Patches inside the detail window first (they are the near ones), with
    // its texture; then the rest with the whole terrain's.
    const ground_level& detail = r->levels[1];
    for (int pass = 0; pass < 2; pass++) {
        const ground_level& level = r->levels[1 - pass];
        const float offset[2] = {-level.x0, -level.z0};
        ztgl_set_tex_transform(offset, 1.0f / level.side);
        ztglBindTexture(GL_TEXTURE_2D, level.texture);
        ztgl_flush();
        for (int32_t k = 0; k < r->leaf_count; k++) {
            leaf& l = r->leaves[k];
            int32_t span = (t->size - 1) >> l.level;
            float x0 = float_of(l.col * span) * t->spacing, z0 = float_of(l.row * span) * t->spacing;
            float side = float_of(span) * t->spacing;
            bool inside = x0 >= detail.x0 && z0 >= detail.z0 && x0 + side <= detail.x0 + detail.side &&
                          z0 + side <= detail.z0 + detail.side;
            if (inside != (pass == 0)) continue;
            int32_t cover = 1 << (r->patch_level - l.level);
            int32_t pc = l.col * cover, pr = l.row * cover, mid = cover / 2;
            int32_t around[4] = {level_at(pc + mid, pr - 1), level_at(pc + cover, pr + mid),
                                 level_at(pc + mid, pr + cover), level_at(pc - 1, pr + mid)};
            int32_t mask = 0;
            for (int e = 0; e < 4; e++)
                if (around[e] >= 0 && around[e] < l.level) mask |= 1 << e;
            const float mesh_offset[2] = {x0, z0};
            ztgl_set_mesh_transform(mesh_offset, side / float_of(patch_quads));
            ztgl_guarded_draw_range_elements(GL_TRIANGLES, 0, patch_side * patch_side - 1, patch_indices,
                                             GL_UNSIGNED_SHORT,
                                             reinterpret_cast<const void*>(uintptr_t(mask) * patch_indices * sizeof(uint16_t)));
            t->ground_polygons += patch_quads * patch_quads * 2;
        }
    }
    ztglBindVertexArray(0);
}
