#pragma once
// The model cache and model drawing: models load once by name and stay until
// a purge finds them unused in the current generation. Lit parts draw with
// program 3 (the caller binds colour, normal and specular textures on units
// 0..2), glow parts with program 2 (the caller binds the environment map).
// The level of detail comes from the camera distance.
#include "gfx/mesh.h"

struct vfs_stream;

extern int32_t model_generation;  // the track loader adds 1 per track
// Level of detail: a model at distance d from model_camera draws the last
// level whose distance is at most d x model_lod_scale + model_lod_bias.
extern float model_lod_scale, model_lod_bias;
extern float model_camera[3];
// Multiplied into every material alpha (ghost riders draw faded).
extern float model_alpha;
// Triangles and vertices drawn since the caller last zeroed them (the
// render statistics).
extern int32_t model_polygons_drawn, model_vertices_drawn;

mesh* model_load(const char* name);
mesh* model_find(const char* name);
const char* model_name(const mesh* m);
// all = 0: models not used in the current generation (generation 0 stays);
// all = 1: everything.
void models_purge(int all);

// Material values of one draw, multiplied with each part's own.
struct model_material {
    float ambient[4];
    float diffuse[3];
    float specular[3];
    float shininess;
};

// Bones for skinned parts (null / 0 for rigid drawing): per bone its rest
// centre and new position (vec3 each) and rotation (column-major 3x3).
struct model_bones {
    int count;
    const float* centres;
    const float* translations;
    const float* rotations;
};

// position: the model's origin; rotation: 3x3 stored row by row whose columns
// are the model's axes in world space. Draw inside the current model-view.
void model_draw_lit_ex(mesh* m, const float position[3], const float rotation[9], const model_material* material,
                       const model_bones* bones);
void model_draw_glow_ex(mesh* m, const float position[3], const float rotation[9], const model_material* material,
                        const model_bones* bones);
int model_has_glow(const mesh* m);
// Every triangle edge of the coarsest level as lines through the
// immediate-mode batch, with the current matrices and colour.
void model_draw_outline(const mesh* m);
// The level a model draws at for a camera distance.
int model_lod_for_distance(const mesh* m, float distance);

// Writes the model as POV-Ray scene text to a stream open for writing.
void model_export_pov(const mesh* m, vfs_stream* out);
// The same without the parts' materials, for objects that bring a texture.
void model_export_pov_shape(const mesh* m, vfs_stream* out);
