#pragma once
// The GL layer: a fixed-function style of drawing (matrix modes, push and pop,
// texture matrices) emulated on GL 3.1+ and GL ES 3.0 with ten in-memory
// matrix stacks, six built-in shader programs addressed by slot, uniform
// setters, and thin wrappers for the GL calls that bypass the command queue.
#include <cstdint>

#include "gfx/ztgl_gl.h"
#include "gfx/ztgl_matrix.h"
#include "gfx/ztgl_queue.h"

constexpr int ZTGL_MATRIX_MODES = 10;  // model-view, projection, texture units 0..7
constexpr int ZTGL_STACK_DEPTH = 32;
constexpr int ZTGL_SLOTS = 8;  // 0 = no program, 1..7 the built-in programs
constexpr int ZTGL_MAX_BONES = 32;

// Shader program slots.
enum {
  ZTGL_UNLIT = 1,
  ZTGL_NORM_ENV = 2,
  ZTGL_NORM_SPEC_LIT = 3,
  ZTGL_TERRAIN_NORMALS = 4,
  ZTGL_TERRAIN = 5,
  ZTGL_TILEMAP = 6,
  // The vertex colour alone, for plain overlay quads: no texture read and
  // no fog, which the overlays draw without.
  ZTGL_FLAT = 7,
};

// Vertex attribute locations, bound before every link.
enum {
  ZTGL_ATTR_POSITION = 0,
  ZTGL_ATTR_NORMAL = 2,
  ZTGL_ATTR_COLOR = 3,
  ZTGL_ATTR_TEXCOORD = 8,
  ZTGL_ATTR_TANGENT = 9,
  ZTGL_ATTR_WEIGHTS = 10,
  ZTGL_ATTR_BONES = 11,
};

// Uniforms the setters write; their locations are cached per slot.
enum ztgl_uniform {
  ZTGL_U_FOG_COLOR,
  ZTGL_U_FOG_DENSITY,
  ZTGL_U_AMBIENT,
  ZTGL_U_DIFFUSE,
  ZTGL_U_SHININESS,
  ZTGL_U_SPECULAR_COLOR,
  ZTGL_U_LIGHT_POSITION,
  ZTGL_U_NBONES,
  ZTGL_U_BONE_C,
  ZTGL_U_BONE_T,
  ZTGL_U_BONE_R,
  ZTGL_U_SPACING,
  ZTGL_U_SPACING_INV,
  ZTGL_U_MESHOFFSET,
  ZTGL_U_MESHSCALE,
  ZTGL_U_TEXOFFSET,
  ZTGL_U_TEXSCALE,
  ZTGL_U_HEIGHTS_DIM_INV,
  ZTGL_U_ATLAS_DIM_INV,
  ZTGL_U_TILEMAP_DIM_INV,
  ZTGL_U_ENVMAT,
  ZTGL_UNIFORM_COUNT
};

struct ztgl_matrix_state {
  float stacks[ZTGL_MATRIX_MODES][ZTGL_STACK_DEPTH][16];
  int32_t depth[ZTGL_MATRIX_MODES];
  int32_t active_unit;  // 0..7
  int32_t mode;         // 0..9
  uint32_t dirty;       // bit m: mode m's current matrix changed since the upload
  int32_t slot;         // current program slot, 0 = none
  GLuint program[ZTGL_SLOTS], vertex_shader[ZTGL_SLOTS], fragment_shader[ZTGL_SLOTS];
  // -2 = not looked up yet, -1 = the program has no such uniform.
  GLint matrix_location[ZTGL_SLOTS][ZTGL_MATRIX_MODES];
  GLint uniform_location[ZTGL_SLOTS][ZTGL_UNIFORM_COUNT];
  int32_t program_switches;
  int32_t bones_clamp_logged;  // the clamp of ztgl_set_bones is logged once a context
  const char* vendor;
  const char* renderer;
  const char* version;
  const char* extensions;
  int32_t major, minor;
  int32_t es;
  GLuint white_texture, black_texture, flat_normal_texture;
};
extern ztgl_matrix_state ztgl_state;

// Start-up. ztgl_load_entry_points reads the GL strings and version and fills
// the function table (0 when an entry point is missing); ztgl_init does that,
// then makes the immediate-mode objects and the three 1x1 textures and resets
// every stack to the identity.
int ztgl_load_entry_points(vesk_window* window);
int ztgl_init(vesk_window* window);
// Splits a GL_VERSION string: "OpenGL ES %d.%d" sets es, else "%d.%d".
void ztgl_parse_version(const char* text, int* major, int* minor, int* es);
// 1 when the context can run the built-in programs (GL 3.1, GL ES 3.0 or later).
int ztgl_version_supported();
// Deletes the programs, the 1x1 textures and the immediate-mode objects.
void ztgl_shutdown();
// Every stack back to depth 0 holding the identity; mode 0, unit 0, all dirty.
void ztgl_reset_stacks();

// Programs. ztgl_build_programs returns 1, or 0 after logging why (the
// caller then ends start-up with "Can't initialize shaders\n").
int ztgl_build_programs();
void ztgl_delete_programs();
void ztgl_use_program(int slot);
void ztgl_set_sampler(int slot, const char* name, int unit);
GLuint ztgl_get_program(int slot);
// The source of a program as the current context compiles it: the version
// line suits the dialect (see ztgl_program.cpp).
const char* ztgl_source_for_context(const char* source, char* buffer, int size);

// Uniform setters on the current program; each flushes the queue first.
void ztgl_set_fog_color(const float rgb[3]);
void ztgl_set_fog_density(float density);
void ztgl_set_ambient(const float rgba[4]);
void ztgl_set_diffuse(const float rgb[3]);
void ztgl_set_shininess(float shininess);
void ztgl_set_specular_color(const float rgb[3]);
void ztgl_set_light_position(const float xyz[3]);
// n is clamped to ZTGL_MAX_BONES; centres and translations are n vec3s,
// rotations n column-major 3x3 matrices.
void ztgl_set_bones(int n, const float* centres, const float* translations, const float* rotations);
void ztgl_set_spacing(float spacing);
void ztgl_set_mesh_transform(const float offset[2], float scale);
void ztgl_set_tex_transform(const float offset[2], float scale);
void ztgl_set_heights_dim_inv(float x);
void ztgl_set_tilemap_dims(float spacing_inv, float tilemap_dim_inv, float atlas_dim_inv);
// m: a column-major 4x4 matrix; its upper-left 3x3 becomes the environment
// map rotation of program 2. Leaves program 1 current.
void ztgl_set_envmat(const float m[16]);

// Matrix emulation, run by the queue's executor.
void ztgl_matrix_active_texture(GLenum unit);
void ztgl_matrix_mode(GLenum mode);
void ztgl_matrix_load(const float m[16]);
void ztgl_matrix_multiply(const float m[16]);  // current = current * m
void ztgl_matrix_push();
void ztgl_matrix_pop();
const float* ztgl_current_matrix(int mode);

// Guarded draws: with no program current they end the process with status 1
// ("Error: Fixed shader used\n"); otherwise they upload the dirty matrices.
void ztgl_guarded_draw_arrays(GLenum mode, GLint first, GLsizei count);
void ztgl_guarded_draw_range_elements(GLenum mode, GLuint start, GLuint end, GLsizei count,
                                      GLenum type, const void* offset);
void ztgl_upload_matrices();
// The check and the upload that precede every draw.
void ztgl_draw_guard();

// Direct wrappers: flush the queue, then make the GL call.
void ztglBindBuffer(GLenum target, GLuint buffer);
void ztglBindFramebuffer(GLenum target, GLuint framebuffer);
void ztglBindVertexArray(GLuint array);
void ztglBufferData(GLenum target, GLsizeiptr size, const void* data, GLenum usage);
void ztglBufferSubData(GLenum target, GLintptr offset, GLsizeiptr size, const void* data);
GLenum ztglCheckFramebufferStatus(GLenum target);
void ztglClear(GLbitfield mask);
void ztglClearColor(float r, float g, float b, float a);
void ztglDeleteBuffers(GLsizei n, const GLuint* buffers);
void ztglDeleteFramebuffers(GLsizei n, const GLuint* framebuffers);
void ztglDeleteTextures(GLsizei n, const GLuint* textures);
void ztglDeleteVertexArrays(GLsizei n, const GLuint* arrays);
void ztglEnableVertexAttribArray(GLuint index);
void ztglFlush();
void ztglFinish();
void ztglFramebufferTexture2D(GLenum target, GLenum attachment, GLenum textarget, GLuint texture,
                              GLint level);
void ztglGenBuffers(GLsizei n, GLuint* buffers);
void ztglGenerateMipmap(GLenum target);
void ztglGenFramebuffers(GLsizei n, GLuint* framebuffers);
void ztglGenTextures(GLsizei n, GLuint* textures);
void ztglGenVertexArrays(GLsizei n, GLuint* arrays);
GLenum ztglGetError();
// Clears pending errors. Bounded: a lost context or a driver without a current
// context can report an error forever.
void ztgl_drain_errors();
// Reads 0 where the context lacks the call (GL ES 3.0).
void ztglGetTexLevelParameteriv(GLenum target, GLint level, GLenum name, GLint* params);
void ztglPixelStorei(GLenum name, GLint value);
// Reads into a tightly packed buffer (rows width × pixel size, no padding).
void ztglReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                    void* pixels);
void ztglTexImage2D(GLenum target, GLint level, GLint internal_format, GLsizei width,
                    GLsizei height, GLint border, GLenum format, GLenum type, const void* pixels);
void ztglTexParameterf(GLenum target, GLenum name, float value);
void ztglTexParameterfv(GLenum target, GLenum name, const float* values);
void ztglTexParameteri(GLenum target, GLenum name, GLint value);
void ztglTexSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei width, GLsizei height,
                       GLenum format, GLenum type, const void* pixels);
void ztglVertexAttrib4f(GLuint index, float x, float y, float z, float w);
void ztglVertexAttribPointer(GLuint index, GLint size, GLenum type, GLuint normalized,
                             GLsizei stride, const void* offset);
void ztglViewport(GLint x, GLint y, GLsizei width, GLsizei height);
void ztglDrawArrays(GLenum mode, GLint first, GLsizei count);
void ztglDrawElements(GLenum mode, GLsizei count, GLenum type, const void* offset);
void ztglDrawRangeElements(GLenum mode, GLuint start, GLuint end, GLsizei count, GLenum type,
                           const void* offset);
