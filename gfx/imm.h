#pragma once
// Immediate-mode emulation: begin / vertex / end drawing collected into one
// batch of 8192 vertices. Primitives GL 3 lacks (quads, quad strips,
// polygons) become indexed triangles; each primitive queues one draw in the
// command queue, and the whole batch is uploaded once when the queue flushes.
#include <cstdint>

#include "gfx/ztgl_gl.h"

constexpr int IMM_MAX_VERTICES = 8192;
constexpr int IMM_MAX_INDICES = 3 * IMM_MAX_VERTICES;

// Primitive kinds, in GL order.
enum imm_primitive {
  IMM_POINTS = 0,
  IMM_LINES = 1,
  IMM_LINE_LOOP = 2,
  IMM_LINE_STRIP = 3,
  IMM_TRIANGLES = 4,
  IMM_TRIANGLE_STRIP = 5,
  IMM_TRIANGLE_FAN = 6,
  IMM_QUADS = 7,
  IMM_QUAD_STRIP = 8,
  IMM_POLYGON = 9,
};

struct imm_vertex {
  float position[4];  // attribute 0
  float texcoord[4];  // attribute 8
  float color[4];     // attribute 3
};
static_assert(sizeof(imm_vertex) == 48);

struct imm_batch_state {
  imm_vertex vertices[IMM_MAX_VERTICES];
  uint16_t indices[IMM_MAX_INDICES];
  int32_t committed_vertices, committed_indices;
  int32_t open_vertices, open_indices;
  int32_t primitive;
  int32_t in_primitive;  // between imm_begin and imm_end
  float texcoord[4], color[4];
  int32_t loop_split;  // a line loop was split: close it with first_of_loop
  imm_vertex first_of_loop;
  GLuint vertex_array, vertex_buffer, index_buffer;
  int32_t has_objects;
  int32_t uploaded;  // the queue's upload bound the batch: restore at the finish
  GLint saved_vertex_array, saved_array_buffer, saved_element_buffer;
};
extern imm_batch_state imm_batch;

void imm_begin(int primitive);
void imm_texcoord(float s, float t);
void imm_texcoord4(float s, float t, float r, float q);
void imm_color(float r, float g, float b, float a);
void imm_vertex2(float x, float y);
void imm_vertex3(float x, float y, float z);
void imm_vertex4(float x, float y, float z, float w);
void imm_end();
// Draws everything queued so far; an open primitive carries over.
void imm_flush();

// The index list of one primitive of n vertices starting at vertex first,
// appended at out; returns the index count (0 when the kind draws arrays or
// has too few vertices). At most 3 * n indices.
int imm_make_indices(int primitive, int first, int n, uint16_t* out);

// Creates the vertex array and the two stream buffers; 1 on success.
int imm_create_objects();
void imm_delete_objects();
// The queue's hooks: upload before executing, finish after.
void imm_upload();
void imm_finish();
// Forgets everything in the batch (tests).
void imm_reset();
