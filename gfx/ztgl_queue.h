#pragma once
// The deferred GL command buffer. Renderers append state changes, matrix
// operations and immediate-mode draws here; ztgl_flush plays them to GL (and
// to the emulated matrix stacks) in one burst, after uploading the
// immediate-mode vertices of the whole batch in one transfer.
#include <cstdint>

#include "gfx/ztgl_gl.h"

constexpr int ZTGL_QUEUE_WORDS = 0x100000;

enum ztgl_opcode : uint32_t {
  ZTGL_OP_ACTIVE_TEXTURE = 1,
  ZTGL_OP_BIND_TEXTURE = 2,
  ZTGL_OP_BLEND_FUNC = 3,
  ZTGL_OP_DEPTH_FUNC = 4,
  ZTGL_OP_DEPTH_MASK = 5,
  ZTGL_OP_DISABLE = 6,
  ZTGL_OP_DRAW_ARRAYS = 7,
  ZTGL_OP_DRAW_ELEMENTS = 8,
  ZTGL_OP_ENABLE = 9,
  ZTGL_OP_FRUSTUM = 10,
  ZTGL_OP_LOAD_MATRIX = 11,
  ZTGL_OP_LOAD_IDENTITY = 12,
  ZTGL_OP_MATRIX_MODE = 13,
  ZTGL_OP_MULT_MATRIX = 14,
  ZTGL_OP_ORTHO = 15,
  ZTGL_OP_POP_MATRIX = 16,
  ZTGL_OP_PUSH_MATRIX = 17,
  ZTGL_OP_ROTATE = 18,
  ZTGL_OP_SCALE = 19,
  ZTGL_OP_TRANSLATE = 20,
  ZTGL_OP_COUNT = 21,
};

struct ztgl_command_queue {
  int32_t count;  // words in use
  // Word index of the newest command, -1 when none: lets the immediate mode
  // extend its previous draw instead of queuing another one.
  int32_t last_command;
  uint32_t words[ZTGL_QUEUE_WORDS];
};
extern ztgl_command_queue ztgl_queue;

// Total words of a command with this opcode, 0 for an invalid opcode.
int ztgl_command_words(uint32_t opcode);

// Flushes first when `words` more would not fit, so that a command of that
// size can then be appended without a flush.
void ztgl_queue_reserve(int words);

// The writers. Each flushes first when its command would not fit.
void ztglActiveTexture(GLenum unit);
void ztglBindTexture(GLenum target, GLuint texture);
void ztglBlendFunc(GLenum source, GLenum destination);
void ztglDepthFunc(GLenum function);
void ztglDepthMask(GLuint flag);  // only the low byte counts
void ztglDisable(GLenum capability);
void ztglEnable(GLenum capability);
void ztglFrustum(double left, double right, double bottom, double top, double near_z, double far_z);
void ztglLoadMatrixf(const float m[16]);
void ztglLoadIdentity();
void ztglMatrixMode(GLenum mode);
void ztglMultMatrixf(const float m[16]);
void ztglOrtho(double left, double right, double bottom, double top, double near_z, double far_z);
void ztglPopMatrix();
void ztglPushMatrix();
void ztglRotatef(float angle_degrees, float x, float y, float z);
void ztglScalef(float x, float y, float z);
void ztglTranslatef(float x, float y, float z);
// Written only by the immediate mode: a draw of batch vertices, and indexed
// triangles from the batch's index buffer.
void ztgl_queue_draw_arrays(GLenum mode, int first, int count);
void ztgl_queue_draw_elements(int first_index, int index_count, int first_vertex, int vertex_count);

// Uploads the immediate-mode batch, executes every queued command in order and
// empties the queue. An invalid opcode ends the process (status 1) after
// "Invalid GL command queued\n" to the log and standard error.
void ztgl_flush();
