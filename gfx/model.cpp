#include "gfx/model.h"

#include <cmath>
#include <cstddef>
#include <cstring>

#include "core/alloc.h"
#include "core/array.h"
#include "core/vfs.h"
#include "gfx/image_file.h"
#include "gfx/image_message.h"
#include "gfx/imm.h"
#include "gfx/texture.h"
#include "gfx/ztgl.h"
#include "ui/console.h"

int32_t model_generation;
float model_lod_scale = 1, model_lod_bias = 0;
float model_camera[3];
float model_alpha = 1;
int32_t model_polygons_drawn, model_vertices_drawn;

namespace {
growable_array models;  // mesh*

mesh** items() { return array_items<mesh*>(&models); }

void delete_objects(mesh* m)
{
    for (int i = 0; i < m->part_count; i++) {
        mesh_part* p = &m->parts[i];
        if (!p->gl_objects[0]) continue;
        ztglDeleteVertexArrays(1, &p->gl_objects[0]);
        ztglDeleteBuffers(2, &p->gl_objects[1]);
        memset(p->gl_objects, 0, sizeof p->gl_objects);
    }
}

// The vertex array of a part, made on its first draw.
void ensure_objects(mesh_part* p)
{
    if (p->gl_objects[0]) return;
    ztglGenVertexArrays(1, &p->gl_objects[0]);
    ztglGenBuffers(2, &p->gl_objects[1]);
    ztglBindVertexArray(p->gl_objects[0]);
    ztglBindBuffer(GL_ARRAY_BUFFER, p->gl_objects[1]);
    ztglBufferData(GL_ARRAY_BUFFER, GLsizeiptr(sizeof(mesh_vertex) * size_t(p->vertex_count)), p->vertices,
                   GL_STATIC_DRAW);
    ztglBindBuffer(GL_ELEMENT_ARRAY_BUFFER, p->gl_objects[2]);
    ztglBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(sizeof(uint32_t) * 3 * size_t(p->triangle_count)),
                   p->indices, GL_STATIC_DRAW);
    struct {
        GLuint location;
        GLint size;
        size_t offset;
    } const attributes[] = {
        {ZTGL_ATTR_POSITION, 3, offsetof(mesh_vertex, position)},
        {ZTGL_ATTR_NORMAL, 3, offsetof(mesh_vertex, normal)},
        {ZTGL_ATTR_TANGENT, 3, offsetof(mesh_vertex, tangent)},
        {ZTGL_ATTR_TEXCOORD, 2, offsetof(mesh_vertex, uv)},
        {ZTGL_ATTR_WEIGHTS, 4, offsetof(mesh_vertex, weights)},
        {ZTGL_ATTR_BONES, 4, offsetof(mesh_vertex, bones)},
    };
    for (const auto& a : attributes) {
        ztglEnableVertexAttribArray(a.location);
        ztglVertexAttribPointer(a.location, a.size, GL_FLOAT, GL_FALSE, sizeof(mesh_vertex),
                                reinterpret_cast<const void*>(a.offset));
    }
    // Colour is not per vertex: a constant white.
    ztglVertexAttrib4f(ZTGL_ATTR_COLOR, 1, 1, 1, 1);
    ztglBindVertexArray(0);
}

void push_pose(const float position[3], const float r[9])
{
    const float m[16] = {r[0], r[3], r[6], 0, r[1], r[4], r[7], 0,
                         r[2], r[5], r[8], 0, position[0], position[1], position[2], 1};
    ztglPushMatrix();
    ztglMultMatrixf(m);
}

int lod_of(const mesh* m, const float position[3])
{
    float d[3] = {position[0] - model_camera[0], position[1] - model_camera[1], position[2] - model_camera[2]};
    return model_lod_for_distance(m, std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]));
}

void draw_part(mesh_part* p)
{
    model_polygons_drawn += p->triangle_count;
    model_vertices_drawn += p->vertex_count;
    ensure_objects(p);
    ztgl_flush();
    ztglBindVertexArray(p->gl_objects[0]);
    ztgl_guarded_draw_range_elements(GL_TRIANGLES, 0, GLuint(p->vertex_count - 1), 3 * p->triangle_count,
                                     GL_UNSIGNED_INT, nullptr);
    ztglBindVertexArray(0);
}

// Draws every part of one kind at the chosen level. A part with a skin of
// its own binds it on unit 0 and puts the caller's texture back after.
void draw_kind(mesh* m, int kind, const float position[3], const float rotation[9], const model_material* material,
               const model_bones* bones)
{
    int lod = lod_of(m, position);
    ztgl_use_program(kind == MESH_GLOW ? ZTGL_NORM_ENV : ZTGL_NORM_SPEC_LIT);
    if (bones && bones->count > 0)
        ztgl_set_bones(bones->count, bones->centres, bones->translations, bones->rotations);
    else
        ztgl_set_bones(0, nullptr, nullptr, nullptr);
    push_pose(position, rotation);
    for (int i = 0; i < m->part_count; i++) {
        mesh_part* p = &m->parts[i];
        if (p->lod != lod || p->kind != kind) continue;
        float alpha = p->colour[3] * material->ambient[3] * model_alpha;
        if (kind == MESH_GLOW) {
            float glow[3] = {p->colour[0] * material->specular[0], p->colour[1] * material->specular[1],
                             p->colour[2] * material->specular[2]};
            ztgl_set_specular_color(glow);
        } else {
            float ambient[4] = {material->ambient[0] * p->colour[0], material->ambient[1] * p->colour[1],
                                material->ambient[2] * p->colour[2], alpha};
            float diffuse[3] = {material->diffuse[0] * p->colour[0], material->diffuse[1] * p->colour[1],
                                material->diffuse[2] * p->colour[2]};
            float specular[3] = {material->specular[0] * p->specular[0], material->specular[1] * p->specular[1],
                                 material->specular[2] * p->specular[2]};
            ztgl_set_ambient(ambient);
            ztgl_set_diffuse(diffuse);
            ztgl_set_specular_color(specular);
            ztgl_set_shininess(material->shininess > 0 ? material->shininess : p->shininess);
        }
        GLint previous = 0;
        int own = p->skin_texture;
        if (own) {
            ztgl_flush();
            ztglActiveTexture(GL_TEXTURE0);
            ztgl_flush();
            ztgl_fn.GetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
            ztglBindTexture(GL_TEXTURE_2D, GLuint(own));
        }
        draw_part(p);
        if (own) ztglBindTexture(GL_TEXTURE_2D, GLuint(previous));
    }
    ztglPopMatrix();
}

// Skins load with the model and again whenever it is asked for (which keeps
// them through the same purges as the model), so drawing never reads a file.
void load_skins(mesh* m)
{
    for (int i = 0; i < m->part_count; i++) {
        mesh_part* p = &m->parts[i];
        p->skin_texture = p->skin ? texture_load(p->skin) : 0;
    }
}

void append_to_stream(void* context, const char* text) { vfs_puts(static_cast<vfs_stream*>(context), text); }
} // namespace

int model_lod_for_distance(const mesh* m, float distance)
{
    return mesh_lod_for_distance(m, distance, model_lod_scale, model_lod_bias);
}

mesh* model_find(const char* name)
{
    for (int i = 0; i < models.count; i++)
        if (strcmp(items()[i]->name, name) == 0) return items()[i];
    return nullptr;
}

mesh* model_load(const char* name)
{
    if (!models.element_size) array_init(&models, sizeof(mesh*));
    if (mesh* m = model_find(name)) {
        if (m->generation != 0) m->generation = model_generation;
        load_skins(m);
        return m;
    }
    size_t size;
    uint8_t* data = image_file_read(name, &size);
    if (!data) {
        console_printf("Can't open model \"%.900s\"", name);
        return nullptr;
    }
    mesh* m = mesh_parse(name, reinterpret_cast<const char*>(data), size);
    alloc_check_free(data);
    if (!m) {
        console_printf("%s", image_last_error());
        return nullptr;
    }
    m->generation = model_generation;
    load_skins(m);
    if (!array_push(&models, &m)) fatal_out_of_memory();
    return m;
}

const char* model_name(const mesh* m) { return m ? m->name : nullptr; }

void models_purge(int all)
{
    for (int i = models.count - 1; i >= 0; i--) {
        mesh* m = items()[i];
        if (!all && (m->generation == 0 || m->generation == model_generation)) continue;
        delete_objects(m);
        mesh_free(m);
        memmove(&items()[i], &items()[i + 1], sizeof(mesh*) * size_t(models.count - i - 1));
        models.count--;
    }
    if (all) {
        array_free(&models);
        models.element_size = 0;
    }
}

void model_draw_lit_ex(mesh* m, const float position[3], const float rotation[9], const model_material* material,
                       const model_bones* bones)
{
    if (m) draw_kind(m, MESH_LIT, position, rotation, material, bones);
}

void model_draw_glow_ex(mesh* m, const float position[3], const float rotation[9], const model_material* material,
                        const model_bones* bones)
{
    if (m && m->has_glow) draw_kind(m, MESH_GLOW, position, rotation, material, bones);
}

int model_has_glow(const mesh* m) { return m && m->has_glow; }

void model_draw_outline(const mesh* m)
{
    if (!m) return;
    int lod = m->lod_count - 1;
    for (int i = 0; i < m->part_count; i++) {
        const mesh_part* p = &m->parts[i];
        if (p->lod != lod) continue;
        // Bounded primitives, so one never outgrows the batch.
        for (int first = 0; first < p->triangle_count; first += 1024) {
            int last = std::min(p->triangle_count, first + 1024);
            imm_begin(IMM_LINES);
            for (int t = first; t < last; t++)
                for (int e = 0; e < 3; e++) {
                    const float* a = p->vertices[p->indices[3 * t + e]].position;
                    const float* b = p->vertices[p->indices[3 * t + (e + 1) % 3]].position;
                    imm_vertex3(a[0], a[1], a[2]);
                    imm_vertex3(b[0], b[1], b[2]);
                }
            imm_end();
        }
    }
}

void model_export_pov(const mesh* m, vfs_stream* out) { mesh_write_pov(m, append_to_stream, out); }
void model_export_pov_shape(const mesh* m, vfs_stream* out) { mesh_write_pov(m, append_to_stream, out, false); }
