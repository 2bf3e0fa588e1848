// The emulated matrix stacks. Pure state changes: the matrices reach GL only
// at draw time, as uniforms of the current program.
#include <cstring>

#include "gfx/ztgl.h"
#include "platform/vesk_log.h"

ztgl_matrix_state ztgl_state;

void ztgl_reset_stacks() {
  for (int m = 0; m < ZTGL_MATRIX_MODES; m++) {
    ztgl_mat4_identity(ztgl_state.stacks[m][0]);
    ztgl_state.depth[m] = 0;
  }
  ztgl_state.active_unit = 0;
  ztgl_state.mode = 0;
  ztgl_state.dirty = (1u << ZTGL_MATRIX_MODES) - 1;
}

static float* current() { return ztgl_state.stacks[ztgl_state.mode][ztgl_state.depth[ztgl_state.mode]]; }

const float* ztgl_current_matrix(int mode) { return ztgl_state.stacks[mode][ztgl_state.depth[mode]]; }

void ztgl_matrix_active_texture(GLenum unit_enum) {
  uint32_t unit = unit_enum - GL_TEXTURE0;
  if (unit > 7) {
    vesk_log("Error: glActiveTexture out of range\n");
    return;
  }
  ztgl_state.active_unit = (int32_t)unit;
  if (ztgl_state.mode >= 2) ztgl_state.mode = (int32_t)unit + 2;
}

void ztgl_matrix_mode(GLenum mode) {
  if (mode == ZTGL_MODELVIEW)
    ztgl_state.mode = 0;
  else if (mode == ZTGL_PROJECTION)
    ztgl_state.mode = 1;
  else if (mode == ZTGL_TEXTURE)
    ztgl_state.mode = ztgl_state.active_unit + 2;
}

void ztgl_matrix_load(const float m[16]) {
  memcpy(current(), m, 16 * sizeof(float));
  ztgl_state.dirty |= 1u << ztgl_state.mode;
}

void ztgl_matrix_multiply(const float m[16]) {
  float* c = current();
  ztgl_mat4_multiply(c, c, m);
  ztgl_state.dirty |= 1u << ztgl_state.mode;
}

void ztgl_matrix_push() {
  int mode = ztgl_state.mode;
  if (ztgl_state.depth[mode] >= ZTGL_STACK_DEPTH - 1) {
    vesk_log("Error: ztglPushMatrix overflowed\n");
    return;
  }
  float* c = current();
  memcpy(c + 16, c, 16 * sizeof(float));
  ztgl_state.depth[mode]++;
}

void ztgl_matrix_pop() {
  int mode = ztgl_state.mode;
  if (ztgl_state.depth[mode] <= 0) {
    vesk_log("Error: ztglPopMatrix with empty stack\n");
    return;
  }
  ztgl_state.depth[mode]--;
  ztgl_state.dirty |= 1u << mode;
}
