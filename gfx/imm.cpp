#include "gfx/imm.h"

#include <cstring>

#include "gfx/ztgl.h"
#include "platform/vesk_log.h"

imm_batch_state imm_batch;

static const GLenum array_modes[7] = {GL_POINTS,    GL_LINES,          GL_LINE_LOOP,  GL_LINE_STRIP,
                                      GL_TRIANGLES, GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN};

int imm_make_indices(int primitive, int first, int n, uint16_t* out) {
  int k = 0;
  switch (primitive) {
    case IMM_QUADS:
      if (n < 4) return 0;
      for (int q = 0; q + 4 <= n; q += 4) {
        const int a = first + q, b = a + 1, c = a + 2, d = a + 3;
        const int tri[6] = {a, b, d, d, b, c};
        for (int v : tri) out[k++] = (uint16_t)v;
      }
      return k;
    case IMM_QUAD_STRIP:
      if (n < 4) return 0;
      n &= ~1;
      for (int i = 0; i < n - 2; i++) {
        const int a = first + i;
        // Every other triangle is flipped so that all keep the strip's winding.
        out[k++] = (uint16_t)a;
        out[k++] = (uint16_t)(a + 1 + (i & 1));
        out[k++] = (uint16_t)(a + 2 - (i & 1));
      }
      return k;
    case IMM_POLYGON:
      if (n < 3) return 0;
      for (int i = 2; i < n; i++) {
        out[k++] = (uint16_t)first;
        out[k++] = (uint16_t)(first + i - 1);
        out[k++] = (uint16_t)(first + i);
      }
      return k;
  }
  return 0;
}

// The newest queued command when it has this opcode, else null.
static uint32_t* last_command(uint32_t opcode) {
  int at = ztgl_queue.last_command;
  if (at < 0 || ztgl_queue.words[at] != opcode) return nullptr;
  return ztgl_queue.words + at + 1;
}

// Queues the draw of vertices first .. first + n - 1. A draw that continues
// the newest queued one (same list kind, adjacent vertices and indices) just
// extends it: thousands of small primitives in a row cost one GL draw.
static void queue_primitive(int primitive, int first, int n) {
  imm_batch_state& b = imm_batch;
  if (primitive <= IMM_TRIANGLE_FAN) {
    if (n <= 0) return;
    static const int list_size[7] = {1, 2, 0, 0, 3, 0, 0};
    GLenum mode = array_modes[primitive];
    int size = list_size[primitive];
    uint32_t* w = last_command(ZTGL_OP_DRAW_ARRAYS);
    if (size && w && w[0] == mode && (int)(w[1] + w[2]) == first && w[2] % size == 0) {
      w[2] += (uint32_t)n;
      return;
    }
    ztgl_queue_draw_arrays(mode, first, n);
    return;
  }
  int k = imm_make_indices(primitive, first, n, b.indices + b.committed_indices);
  if (k == 0) return;
  uint32_t* w = last_command(ZTGL_OP_DRAW_ELEMENTS);
  if (w && (int)(w[0] + w[1]) == b.committed_indices && (int)(w[2] + w[3]) == first) {
    w[1] += (uint32_t)k;
    w[3] += (uint32_t)n;
  } else {
    ztgl_queue_draw_elements(b.committed_indices, k, first, n);
  }
  b.committed_indices += k;
}

// The open primitive has taken all 8192 vertices: draw what it has and start
// a new part of it with the vertices the rest continues from.
static void split_primitive() {
  imm_batch_state& b = imm_batch;
  const int n = b.open_vertices;
  int kind = b.primitive;
  if (kind == IMM_LINE_LOOP) {
    if (!b.loop_split) b.first_of_loop = b.vertices[0];
    b.loop_split = 1;
    kind = IMM_LINE_STRIP;
  }
  int drawn = kind == IMM_TRIANGLES ? n - n % 3 : n;
  ztgl_queue_reserve(ztgl_command_words(ZTGL_OP_DRAW_ELEMENTS));
  queue_primitive(kind, 0, drawn);
  b.committed_vertices = n;
  b.open_vertices = 0;
  ztgl_flush();
  int carry_from = n, carry = 0;
  switch (kind) {
    case IMM_TRIANGLES: carry_from = drawn, carry = n - drawn; break;
    case IMM_TRIANGLE_STRIP:
    case IMM_QUAD_STRIP: carry_from = n - 2, carry = 2; break;
    case IMM_LINE_STRIP: carry_from = n - 1, carry = 1; break;
    case IMM_TRIANGLE_FAN:
    case IMM_POLYGON: carry_from = n - 1, carry = 2; break;  // the centre stays at 0
  }
  if (carry == 2 && (kind == IMM_TRIANGLE_FAN || kind == IMM_POLYGON))
    b.vertices[1] = b.vertices[n - 1];
  else if (carry > 0)
    memmove(b.vertices, b.vertices + carry_from, (size_t)carry * sizeof(imm_vertex));
  b.open_vertices = carry;
}

static void add_vertex(float x, float y, float z, float w) {
  imm_batch_state& b = imm_batch;
  if (!b.in_primitive) return;
  imm_vertex* v = &b.vertices[b.committed_vertices + b.open_vertices];
  v->position[0] = x;
  v->position[1] = y;
  v->position[2] = z;
  v->position[3] = w;
  memcpy(v->texcoord, b.texcoord, sizeof b.texcoord);
  memcpy(v->color, b.color, sizeof b.color);
  b.open_vertices++;
  if (b.committed_vertices + b.open_vertices < IMM_MAX_VERTICES) return;
  if (b.committed_vertices > 0)
    ztgl_flush();  // moves the open primitive to the start of the batch
  else
    split_primitive();
}

void imm_begin(int primitive) {
  imm_batch_state& b = imm_batch;
  if (!b.has_objects) imm_create_objects();
  if (b.in_primitive) {
    // A primitive left without imm_end: its vertices stay, undrawn.
    b.committed_vertices += b.open_vertices;
  }
  b.open_vertices = 0;
  b.open_indices = 0;
  b.loop_split = 0;
  b.in_primitive = primitive >= IMM_POINTS && primitive <= IMM_POLYGON;
  if (!b.in_primitive) {
    vesk_log("imm_begin: unknown primitive %d\n", primitive);
    return;
  }
  b.primitive = primitive;
}

void imm_texcoord(float s, float t) { imm_texcoord4(s, t, 0, 1); }

void imm_texcoord4(float s, float t, float r, float q) {
  float* tc = imm_batch.texcoord;
  tc[0] = s;
  tc[1] = t;
  tc[2] = r;
  tc[3] = q;
}

void imm_color(float r, float g, float b, float a) {
  float* c = imm_batch.color;
  c[0] = r;
  c[1] = g;
  c[2] = b;
  c[3] = a;
}

void imm_vertex2(float x, float y) { add_vertex(x, y, 0, 1); }
void imm_vertex3(float x, float y, float z) { add_vertex(x, y, z, 1); }
void imm_vertex4(float x, float y, float z, float w) { add_vertex(x, y, z, w); }

void imm_end() {
  imm_batch_state& b = imm_batch;
  if (!b.in_primitive) return;
  int kind = b.primitive;
  if (b.loop_split) {
    const imm_vertex& v = b.first_of_loop;
    imm_color(v.color[0], v.color[1], v.color[2], v.color[3]);
    imm_texcoord4(v.texcoord[0], v.texcoord[1], v.texcoord[2], v.texcoord[3]);
    add_vertex(v.position[0], v.position[1], v.position[2], v.position[3]);
    kind = IMM_LINE_STRIP;
  }
  // Room for the draw first: a flush now moves the open vertices to the start,
  // so the draw refers to where they will be uploaded.
  ztgl_queue_reserve(ztgl_command_words(ZTGL_OP_DRAW_ELEMENTS));
  queue_primitive(kind, b.committed_vertices, b.open_vertices);
  b.committed_vertices += b.open_vertices;
  b.open_vertices = 0;
  b.open_indices = 0;
  b.in_primitive = 0;
  b.loop_split = 0;
}

void imm_flush() { ztgl_flush(); }

int imm_create_objects() {
  imm_batch_state& b = imm_batch;
  if (b.has_objects) return 1;
  GLint vertex_array = 0, array_buffer = 0;
  ztgl_fn.GetIntegerv(GL_VERTEX_ARRAY_BINDING, &vertex_array);
  ztgl_fn.GetIntegerv(GL_ARRAY_BUFFER_BINDING, &array_buffer);
  ztgl_fn.GenVertexArrays(1, &b.vertex_array);
  ztgl_fn.GenBuffers(1, &b.vertex_buffer);
  ztgl_fn.GenBuffers(1, &b.index_buffer);
  if (!b.vertex_array || !b.vertex_buffer || !b.index_buffer) {
    vesk_log("Can't create the immediate-mode buffers\n");
    return 0;
  }
  ztgl_fn.BindVertexArray(b.vertex_array);
  ztgl_fn.BindBuffer(GL_ARRAY_BUFFER, b.vertex_buffer);
  ztgl_fn.BufferData(GL_ARRAY_BUFFER, sizeof b.vertices, nullptr, GL_STREAM_DRAW);
  static const GLuint attributes[3] = {ZTGL_ATTR_POSITION, ZTGL_ATTR_TEXCOORD, ZTGL_ATTR_COLOR};
  for (int i = 0; i < 3; i++) {
    ztgl_fn.EnableVertexAttribArray(attributes[i]);
    ztgl_fn.VertexAttribPointer(attributes[i], 4, GL_FLOAT, GL_FALSE, sizeof(imm_vertex),
                                (const void*)(uintptr_t)(16 * i));
  }
  ztgl_fn.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, b.index_buffer);
  ztgl_fn.BufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof b.indices, nullptr, GL_STREAM_DRAW);
  ztgl_fn.BindVertexArray((GLuint)vertex_array);
  ztgl_fn.BindBuffer(GL_ARRAY_BUFFER, (GLuint)array_buffer);
  b.has_objects = 1;
  return 1;
}

void imm_delete_objects() {
  imm_batch_state& b = imm_batch;
  if (!b.has_objects) return;
  ztgl_fn.DeleteVertexArrays(1, &b.vertex_array);
  GLuint buffers[2] = {b.vertex_buffer, b.index_buffer};
  ztgl_fn.DeleteBuffers(2, buffers);
  b.vertex_array = b.vertex_buffer = b.index_buffer = 0;
  b.has_objects = 0;
}

void imm_upload() {
  imm_batch_state& b = imm_batch;
  int total = b.committed_vertices + b.open_vertices;
  b.uploaded = 0;
  if (total == 0 || !b.has_objects) return;
  ztgl_fn.GetIntegerv(GL_VERTEX_ARRAY_BINDING, &b.saved_vertex_array);
  ztgl_fn.GetIntegerv(GL_ARRAY_BUFFER_BINDING, &b.saved_array_buffer);
  ztgl_fn.GetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &b.saved_element_buffer);
  ztgl_fn.BindVertexArray(b.vertex_array);
  ztgl_fn.BindBuffer(GL_ARRAY_BUFFER, b.vertex_buffer);
  // Orphaned first, so GL need not wait for draws still reading the old data.
  ztgl_fn.BufferData(GL_ARRAY_BUFFER, sizeof b.vertices, nullptr, GL_STREAM_DRAW);
  ztgl_fn.BufferSubData(GL_ARRAY_BUFFER, 0, (GLsizeiptr)total * (GLsizeiptr)sizeof(imm_vertex),
                        b.vertices);
  ztgl_fn.BufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof b.indices, nullptr, GL_STREAM_DRAW);
  if (b.committed_indices > 0)
    ztgl_fn.BufferSubData(GL_ELEMENT_ARRAY_BUFFER, 0, (GLsizeiptr)b.committed_indices * 2, b.indices);
  b.uploaded = 1;
}

void imm_finish() {
  imm_batch_state& b = imm_batch;
  if (b.uploaded) {
    // The vertex array first: the element-buffer binding belongs to it.
    ztgl_fn.BindVertexArray((GLuint)b.saved_vertex_array);
    ztgl_fn.BindBuffer(GL_ARRAY_BUFFER, (GLuint)b.saved_array_buffer);
    if (b.saved_vertex_array || b.saved_element_buffer)
      ztgl_fn.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, (GLuint)b.saved_element_buffer);
    b.uploaded = 0;
  }
  // An open primitive survives the flush: its vertices move to the start.
  if (b.in_primitive && b.open_vertices > 0 && b.committed_vertices > 0)
    memmove(b.vertices, b.vertices + b.committed_vertices, (size_t)b.open_vertices * sizeof(imm_vertex));
  if (!b.in_primitive) b.open_vertices = 0;
  b.committed_vertices = 0;
  b.committed_indices = 0;
  b.open_indices = 0;
}

void imm_reset() {
  imm_batch_state& b = imm_batch;
  b.committed_vertices = b.committed_indices = b.open_vertices = b.open_indices = 0;
  b.in_primitive = 0;
  b.loop_split = 0;
  b.uploaded = 0;
  imm_texcoord4(0, 0, 0, 1);
  imm_color(1, 1, 1, 1);
}
