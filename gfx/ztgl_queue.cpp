#include "gfx/ztgl_queue.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gfx/imm.h"
#include "gfx/ztgl.h"
#include "platform/vesk_log.h"

ztgl_command_queue ztgl_queue = {0, -1, {}};

static const uint8_t command_words[ZTGL_OP_COUNT] = {
    0, 2, 3, 3, 2, 2, 2, 4, 5, 2, 7, 17, 1, 2, 17, 7, 1, 1, 5, 4, 4,
};

int ztgl_command_words(uint32_t opcode) {
  return opcode < ZTGL_OP_COUNT ? command_words[opcode] : 0;
}

void ztgl_queue_reserve(int words) {
  if (ztgl_queue.count + words > ZTGL_QUEUE_WORDS) ztgl_flush();
}

// Room for a command of n words; returns where its operands go.
static uint32_t* append(uint32_t opcode) {
  int n = command_words[opcode];
  ztgl_queue_reserve(n);
  uint32_t* w = ztgl_queue.words + ztgl_queue.count;
  ztgl_queue.last_command = ztgl_queue.count;
  ztgl_queue.count += n;
  w[0] = opcode;
  return w + 1;
}

static uint32_t float_word(float f) {
  uint32_t u;
  memcpy(&u, &f, 4);
  return u;
}

static float word_float(uint32_t u) {
  float f;
  memcpy(&f, &u, 4);
  return f;
}

static void append_1(uint32_t opcode, uint32_t a) { append(opcode)[0] = a; }

static void append_2(uint32_t opcode, uint32_t a, uint32_t b) {
  uint32_t* w = append(opcode);
  w[0] = a;
  w[1] = b;
}

static void append_floats(uint32_t opcode, const float* f, int n) {
  uint32_t* w = append(opcode);
  for (int i = 0; i < n; i++) w[i] = float_word(f[i]);
}

void ztglActiveTexture(GLenum unit) { append_1(ZTGL_OP_ACTIVE_TEXTURE, unit); }
void ztglBindTexture(GLenum target, GLuint texture) { append_2(ZTGL_OP_BIND_TEXTURE, target, texture); }
void ztglBlendFunc(GLenum s, GLenum d) { append_2(ZTGL_OP_BLEND_FUNC, s, d); }
void ztglDepthFunc(GLenum function) { append_1(ZTGL_OP_DEPTH_FUNC, function); }
void ztglDepthMask(GLuint flag) { append_1(ZTGL_OP_DEPTH_MASK, flag & 0xff); }
void ztglDisable(GLenum capability) { append_1(ZTGL_OP_DISABLE, capability); }
void ztglEnable(GLenum capability) { append_1(ZTGL_OP_ENABLE, capability); }
void ztglLoadIdentity() { append(ZTGL_OP_LOAD_IDENTITY); }
void ztglMatrixMode(GLenum mode) { append_1(ZTGL_OP_MATRIX_MODE, mode); }
void ztglLoadMatrixf(const float m[16]) { append_floats(ZTGL_OP_LOAD_MATRIX, m, 16); }
void ztglMultMatrixf(const float m[16]) { append_floats(ZTGL_OP_MULT_MATRIX, m, 16); }
void ztglPopMatrix() { append(ZTGL_OP_POP_MATRIX); }
void ztglPushMatrix() { append(ZTGL_OP_PUSH_MATRIX); }

void ztglFrustum(double l, double r, double b, double t, double n, double f) {
  const float v[6] = {(float)l, (float)r, (float)b, (float)t, (float)n, (float)f};
  append_floats(ZTGL_OP_FRUSTUM, v, 6);
}

void ztglOrtho(double l, double r, double b, double t, double n, double f) {
  const float v[6] = {(float)l, (float)r, (float)b, (float)t, (float)n, (float)f};
  append_floats(ZTGL_OP_ORTHO, v, 6);
}

void ztglRotatef(float angle, float x, float y, float z) {
  const float v[4] = {angle, x, y, z};
  append_floats(ZTGL_OP_ROTATE, v, 4);
}

void ztglScalef(float x, float y, float z) {
  const float v[3] = {x, y, z};
  append_floats(ZTGL_OP_SCALE, v, 3);
}

void ztglTranslatef(float x, float y, float z) {
  const float v[3] = {x, y, z};
  append_floats(ZTGL_OP_TRANSLATE, v, 3);
}

void ztgl_queue_draw_arrays(GLenum mode, int first, int count) {
  uint32_t* w = append(ZTGL_OP_DRAW_ARRAYS);
  w[0] = mode;
  w[1] = (uint32_t)first;
  w[2] = (uint32_t)count;
}

void ztgl_queue_draw_elements(int first_index, int index_count, int first_vertex, int vertex_count) {
  uint32_t* w = append(ZTGL_OP_DRAW_ELEMENTS);
  w[0] = (uint32_t)first_index;
  w[1] = (uint32_t)index_count;
  w[2] = (uint32_t)first_vertex;
  w[3] = (uint32_t)vertex_count;
}

[[noreturn]] static void invalid_command() {
  static const char text[] = "Invalid GL command queued\n";
  vesk_log("%s", text);
  fputs(text, stderr);
  exit(1);
}

static void execute(const uint32_t* w) {
  float m[16];
  switch (w[0]) {
    case ZTGL_OP_ACTIVE_TEXTURE:
      ztgl_fn.ActiveTexture(w[1]);
      ztgl_matrix_active_texture(w[1]);
      break;
    case ZTGL_OP_BIND_TEXTURE: ztgl_fn.BindTexture(w[1], w[2]); break;
    case ZTGL_OP_BLEND_FUNC: ztgl_fn.BlendFunc(w[1], w[2]); break;
    case ZTGL_OP_DEPTH_FUNC: ztgl_fn.DepthFunc(w[1]); break;
    case ZTGL_OP_DEPTH_MASK: ztgl_fn.DepthMask((GLboolean)(w[1] & 0xff)); break;
    case ZTGL_OP_DISABLE: ztgl_fn.Disable(w[1]); break;
    case ZTGL_OP_ENABLE: ztgl_fn.Enable(w[1]); break;
    case ZTGL_OP_DRAW_ARRAYS: ztgl_guarded_draw_arrays(w[1], (GLint)w[2], (GLsizei)w[3]); break;
    case ZTGL_OP_DRAW_ELEMENTS:
      ztgl_guarded_draw_range_elements(GL_TRIANGLES, w[3], w[3] + w[4] - 1, (GLsizei)w[2],
                                       GL_UNSIGNED_SHORT, (const void*)((uintptr_t)w[1] * 2));
      break;
    case ZTGL_OP_FRUSTUM:
      ztgl_mat4_frustum(m, word_float(w[1]), word_float(w[2]), word_float(w[3]), word_float(w[4]),
                        word_float(w[5]), word_float(w[6]));
      ztgl_matrix_multiply(m);
      break;
    case ZTGL_OP_ORTHO:
      ztgl_mat4_ortho(m, word_float(w[1]), word_float(w[2]), word_float(w[3]), word_float(w[4]),
                      word_float(w[5]), word_float(w[6]));
      ztgl_matrix_multiply(m);
      break;
    case ZTGL_OP_LOAD_MATRIX:
    case ZTGL_OP_MULT_MATRIX:
      for (int i = 0; i < 16; i++) m[i] = word_float(w[1 + i]);
      if (w[0] == ZTGL_OP_LOAD_MATRIX)
        ztgl_matrix_load(m);
      else
        ztgl_matrix_multiply(m);
      break;
    case ZTGL_OP_LOAD_IDENTITY:
      ztgl_mat4_identity(m);
      ztgl_matrix_load(m);
      break;
    case ZTGL_OP_MATRIX_MODE: ztgl_matrix_mode(w[1]); break;
    case ZTGL_OP_POP_MATRIX: ztgl_matrix_pop(); break;
    case ZTGL_OP_PUSH_MATRIX: ztgl_matrix_push(); break;
    case ZTGL_OP_ROTATE:
      ztgl_mat4_rotate(m, word_float(w[1]), word_float(w[2]), word_float(w[3]), word_float(w[4]));
      ztgl_matrix_multiply(m);
      break;
    case ZTGL_OP_SCALE:
      ztgl_mat4_scale(m, word_float(w[1]), word_float(w[2]), word_float(w[3]));
      ztgl_matrix_multiply(m);
      break;
    case ZTGL_OP_TRANSLATE:
      ztgl_mat4_translate(m, word_float(w[1]), word_float(w[2]), word_float(w[3]));
      ztgl_matrix_multiply(m);
      break;
  }
}

void ztgl_flush() {
  imm_upload();
  int i = 0;
  while (i < ztgl_queue.count) {
    int n = ztgl_command_words(ztgl_queue.words[i]);
    // A command whose operands run past the end is as corrupt as a bad opcode.
    if (n == 0 || i + n > ztgl_queue.count) invalid_command();
    execute(ztgl_queue.words + i);
    i += n;
  }
  ztgl_queue.count = 0;
  ztgl_queue.last_command = -1;
  imm_finish();
}
