#include "gfx/mesh.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/alloc.h"
#include "core/array.h"
#include "gfx/image_message.h"

namespace {
// Tokens of the file with their line numbers; comments run to the line's end.
struct token_reader {
    const char* p;
    const char* end;
    int line;
    char token[64];
};

int next_token(token_reader* r)
{
    for (;;) {
        while (r->p < r->end && (*r->p == ' ' || *r->p == '\t' || *r->p == '\r' || *r->p == '\n')) {
            if (*r->p == '\n') r->line++;
            r->p++;
        }
        if (r->p < r->end && *r->p == '#') {
            while (r->p < r->end && *r->p != '\n') r->p++;
            continue;
        }
        break;
    }
    int n = 0;
    while (r->p < r->end && !strchr(" \t\r\n", *r->p)) {
        if (n >= int(sizeof r->token) - 1) return 0;
        r->token[n++] = *r->p++;
    }
    r->token[n] = 0;
    return n > 0;
}

int read_float(token_reader* r, float* out)
{
    if (!next_token(r)) return 0;
    char* e;
    errno = 0;
    float v = strtof(r->token, &e);
    if (*e || errno || !std::isfinite(v)) return 0;
    *out = v;
    return 1;
}

int read_int(token_reader* r, int lo, int hi, int* out)
{
    if (!next_token(r)) return 0;
    char* e;
    errno = 0;
    long v = strtol(r->token, &e, 10);
    if (*e || errno || v < lo || v > hi) return 0;
    *out = int(v);
    return 1;
}

int expect(token_reader* r, const char* word) { return next_token(r) && strcmp(r->token, word) == 0; }

void free_parts(mesh_part* parts, int count)
{
    for (int i = 0; i < count; i++) {
        alloc_check_free(parts[i].vertices);
        alloc_check_free(parts[i].indices);
    }
}

// One part after its "part" keyword; 0 on any fault.
int read_part(token_reader* r, const mesh* m, mesh_part* part)
{
    memset(part, 0, sizeof *part);
    if (!next_token(r) || strlen(r->token) >= sizeof part->name) return 0;
    strcpy(part->name, r->token);
    if (!read_int(r, 0, m->lod_count - 1, &part->lod) || !next_token(r)) return 0;
    if (strcmp(r->token, "lit") == 0)
        part->kind = MESH_LIT;
    else if (strcmp(r->token, "glow") == 0)
        part->kind = MESH_GLOW;
    else
        return 0;
    if (!next_token(r)) return 0;
    part->skin = strcmp(r->token, "-") == 0 ? nullptr : intern_string(r->token);
    if (!expect(r, "colour")) return 0;
    for (float& c : part->colour)
        if (!read_float(r, &c)) return 0;
    if (!expect(r, "specular")) return 0;
    for (float& c : part->specular)
        if (!read_float(r, &c)) return 0;
    if (!read_float(r, &part->shininess)) return 0;
    int bones;
    if (!expect(r, "vertices") || !read_int(r, 1, MESH_MAX_VERTICES, &part->vertex_count) ||
        !read_int(r, 0, 1, &bones))
        return 0;
    part->vertices = static_cast<mesh_vertex*>(xmalloc(sizeof(mesh_vertex) * size_t(part->vertex_count)));
    for (int i = 0; i < part->vertex_count; i++) {
        mesh_vertex* v = &part->vertices[i];
        memset(v, 0, sizeof *v);
        float* fields[] = {v->position, v->normal, v->tangent};
        for (float* f : fields)
            for (int k = 0; k < 3; k++)
                if (!read_float(r, &f[k])) return 0;
        if (!read_float(r, &v->uv[0]) || !read_float(r, &v->uv[1])) return 0;
        if (!bones) {
            v->weights[0] = 1;
            continue;
        }
        for (float& b : v->bones) {
            int index;
            if (!read_int(r, 0, MESH_MAX_BONES - 1, &index)) return 0;
            b = float(index);
        }
        float sum = 0;
        for (float& w : v->weights) {
            if (!read_float(r, &w) || w < 0) return 0;
            sum += w;
        }
        if (std::fabs(sum - 1) > 0.01f) return 0;
    }
    if (!expect(r, "triangles") || !read_int(r, 1, MESH_MAX_TRIANGLES, &part->triangle_count)) return 0;
    part->indices = static_cast<uint32_t*>(xmalloc(sizeof(uint32_t) * 3 * size_t(part->triangle_count)));
    for (int i = 0; i < 3 * part->triangle_count; i++) {
        int index;
        if (!read_int(r, 0, part->vertex_count - 1, &index)) return 0;
        part->indices[i] = uint32_t(index);
    }
    return bones ? 2 : 1;
}
} // namespace

mesh* mesh_parse(const char* name, const char* text, size_t size)
{
    token_reader r = {text, text + size, 1, {}};
    mesh* m = static_cast<mesh*>(xmalloc(sizeof(mesh)));
    memset(m, 0, sizeof *m);
    m->name = intern_string(name);
    growable_array parts;
    array_init(&parts, sizeof(mesh_part));
    bool ok = expect(&r, "QM1") && expect(&r, "lods") && read_int(&r, 1, MESH_MAX_LODS, &m->lod_count);
    for (int i = 0; ok && i < m->lod_count; i++)
        ok = read_float(&r, &m->lod_distance[i]) && m->lod_distance[i] >= 0 &&
             (i == 0 ? m->lod_distance[0] == 0 : m->lod_distance[i] > m->lod_distance[i - 1]);
    bool ended = false;
    while (ok && !ended) {
        if (!next_token(&r)) {
            ok = false;
        } else if (strcmp(r.token, "end") == 0) {
            ended = true;
        } else if (strcmp(r.token, "part") == 0 && parts.count < 256) {
            mesh_part part;
            int kind = read_part(&r, m, &part);
            if (kind && array_push(&parts, &part)) {
                m->has_bones |= kind == 2;
                m->has_glow |= part.kind == MESH_GLOW;
            } else {
                free_parts(&part, 1);
                ok = false;
            }
        } else {
            ok = false;
        }
    }
    // Every declared level needs a part.
    for (int level = 0; ok && level < m->lod_count; level++) {
        bool found = false;
        for (int i = 0; i < parts.count; i++) found |= array_items<mesh_part>(&parts)[i].lod == level;
        if (!found) {
            image_set_error("Model '%.900s': level of detail %d has no part", name, level);
            free_parts(array_items<mesh_part>(&parts), parts.count);
            array_free(&parts);
            alloc_check_free(m);
            return nullptr;
        }
    }
    if (!ok) {
        image_set_error("Model '%.900s': bad or missing data near line %d", name, r.line);
        free_parts(array_items<mesh_part>(&parts), parts.count);
        array_free(&parts);
        alloc_check_free(m);
        return nullptr;
    }
    m->part_count = parts.count;
    m->parts = static_cast<mesh_part*>(array_detach(&parts));
    for (int i = 0; i < m->part_count; i++)
        for (int k = 0; k < m->parts[i].vertex_count; k++) {
            const float* p = m->parts[i].vertices[k].position;
            m->radius = std::fmax(m->radius, std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]));
        }
    return m;
}

void mesh_free(mesh* m)
{
    if (!m) return;
    free_parts(m->parts, m->part_count);
    alloc_check_free(m->parts);
    alloc_check_free(m);
}

int mesh_lod_for_distance(const mesh* m, float distance, float scale, float bias)
{
    float effective = distance * scale + bias;
    int lod = 0;
    while (lod + 1 < m->lod_count && m->lod_distance[lod + 1] <= effective) lod++;
    return lod;
}

namespace {
// printf into the sink through a line buffer.
void sink_printf(mesh_text_sink write, void* context, const char* format, ...) __attribute__((format(printf, 3, 4)));
void sink_printf(mesh_text_sink write, void* context, const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    write(context, line);
}
} // namespace

void mesh_write_pov(const mesh* m, mesh_text_sink write, void* context, bool materials)
{
    int level0 = 0;
    for (int i = 0; i < m->part_count; i++) level0 += m->parts[i].lod == 0;
    sink_printf(write, context, "// %s\n", m->name);
    if (level0 > 1) write(context, "union {\n");
    for (int i = 0; i < m->part_count; i++) {
        const mesh_part* p = &m->parts[i];
        if (p->lod != 0) continue;
        sink_printf(write, context, "mesh2 {\n  vertex_vectors { %d", p->vertex_count);
        for (int k = 0; k < p->vertex_count; k++) {
            const float* v = p->vertices[k].position;
            sink_printf(write, context, ",\n    <%g, %g, %g>", v[0], v[1], v[2]);
        }
        sink_printf(write, context, "\n  }\n  normal_vectors { %d", p->vertex_count);
        for (int k = 0; k < p->vertex_count; k++) {
            const float* n = p->vertices[k].normal;
            // POV-Ray refuses zero normals; a degenerate one points up.
            bool zero = n[0] == 0 && n[1] == 0 && n[2] == 0;
            sink_printf(write, context, ",\n    <%g, %g, %g>", n[0], zero ? 1.0f : n[1], n[2]);
        }
        sink_printf(write, context, "\n  }\n  face_indices { %d", p->triangle_count);
        for (int t = 0; t < p->triangle_count; t++)
            sink_printf(write, context, ",\n    <%u, %u, %u>", p->indices[3 * t], p->indices[3 * t + 1],
                        p->indices[3 * t + 2]);
        if (!materials) {
            write(context, "\n  }\n}\n");
            continue;
        }
        sink_printf(write, context, "\n  }\n  texture { pigment { rgbt <%g, %g, %g, %g> } finish { %s } }\n}\n",
                    p->colour[0], p->colour[1], p->colour[2], 1 - p->colour[3],
                    p->kind == MESH_GLOW ? "emission 1" : "phong 0.3");
    }
    if (level0 > 1) write(context, "}\n");
}

void mesh_write_text(const mesh* m, void (*write)(void* context, const char* text), void* context)
{
    char line[512];
    write(context, "QM1\n");
    int n = snprintf(line, sizeof line, "lods %d", m->lod_count);
    for (int i = 0; i < m->lod_count; i++) n += snprintf(line + n, sizeof line - size_t(n), " %g", m->lod_distance[i]);
    snprintf(line + n, sizeof line - size_t(n), "\n");
    write(context, line);
    for (int i = 0; i < m->part_count; i++) {
        const mesh_part* p = &m->parts[i];
        snprintf(line, sizeof line, "part %s %d %s %s\ncolour %g %g %g %g\nspecular %g %g %g %g\nvertices %d %d\n",
                 p->name, p->lod, p->kind == MESH_GLOW ? "glow" : "lit", p->skin ? p->skin : "-", p->colour[0],
                 p->colour[1], p->colour[2], p->colour[3], p->specular[0], p->specular[1], p->specular[2],
                 p->shininess, p->vertex_count, m->has_bones ? 1 : 0);
        write(context, line);
        for (int k = 0; k < p->vertex_count; k++) {
            const mesh_vertex* v = &p->vertices[k];
            n = snprintf(line, sizeof line, "%.5g %.5g %.5g %.4g %.4g %.4g %.4g %.4g %.4g %.5g %.5g", v->position[0],
                         v->position[1], v->position[2], v->normal[0], v->normal[1], v->normal[2], v->tangent[0],
                         v->tangent[1], v->tangent[2], v->uv[0], v->uv[1]);
            if (m->has_bones)
                snprintf(line + n, sizeof line - size_t(n), " %d %d %d %d %.4g %.4g %.4g %.4g\n", int(v->bones[0]),
                         int(v->bones[1]), int(v->bones[2]), int(v->bones[3]), v->weights[0], v->weights[1],
                         v->weights[2], v->weights[3]);
            else
                snprintf(line + n, sizeof line - size_t(n), "\n");
            write(context, line);
        }
        snprintf(line, sizeof line, "triangles %d\n", p->triangle_count);
        write(context, line);
        for (int t = 0; t < p->triangle_count; t++) {
            snprintf(line, sizeof line, "%u %u %u\n", p->indices[3 * t], p->indices[3 * t + 1], p->indices[3 * t + 2]);
            write(context, line);
        }
    }
    write(context, "end\n");
}
