#pragma once
// Mesh models in the "QM1" text format (docs/model.md): a chain of parts, each
// with a material, vertices (optionally skinned to up to four bones) and
// triangles, at one of up to four levels of detail.
#include <cstdint>
#include <cstddef>

constexpr int MESH_MAX_LODS = 4;
constexpr int MESH_MAX_BONES = 32;
constexpr int MESH_MAX_VERTICES = 65535;
constexpr int MESH_MAX_TRIANGLES = 1 << 20;

struct mesh_vertex {
    float position[3];
    float normal[3];
    float tangent[3];
    float uv[2];
    float weights[4];
    float bones[4];  // bone indices as floats, ready for the vertex stage
};

enum mesh_kind : int32_t { MESH_LIT = 0, MESH_GLOW = 1 };

struct mesh_part {
    char name[32];
    int32_t lod;
    int32_t kind;
    const char* skin;  // interned texture name, null for the caller's skin
    int32_t skin_texture;  // the skin's texture, found when the model is asked for; 0: the caller's
    float colour[4];
    float specular[3];
    float shininess;
    int32_t vertex_count;
    int32_t triangle_count;
    mesh_vertex* vertices;
    uint32_t* indices;  // 3 per triangle
    uint32_t gl_objects[3];  // vertex array, vertex and index buffer; 0 until first drawn
};

struct mesh {
    const char* name;  // interned
    int32_t generation;
    int32_t lod_count;
    float lod_distance[MESH_MAX_LODS];
    int32_t part_count;
    int32_t has_bones;
    int32_t has_glow;
    float radius;  // of the bounding sphere about the origin
    mesh_part* parts;
};

// Parses a whole file held in memory; null with image_last_error set (one
// line naming the file and line) when anything is wrong.
mesh* mesh_parse(const char* name, const char* text, size_t size);
void mesh_free(mesh* m);

// The level of detail for a camera distance: the last level whose distance is
// at most distance x scale + bias (scale and bias come from the model detail
// setting).
int mesh_lod_for_distance(const mesh* m, float distance, float scale, float bias);

// The writers hand their text to a callback piece by piece.
typedef void (*mesh_text_sink)(void* context, const char* text);
// The level-0 parts as a POV-Ray scene fragment; without materials the parts
// carry no texture, so that the object using them can give its own (the
// scene language refuses a patterned texture layered over another).
void mesh_write_pov(const mesh* m, mesh_text_sink write, void* context, bool materials = true);
// m in the QM1 format (the data generator's writer).
void mesh_write_text(const mesh* m, mesh_text_sink write, void* context);
