// 10,000 textured quads a frame: through the immediate mode and the command
// queue, against the same quads drawn from one static vertex buffer with plain
// GL calls. Needs a display (run under xvfb-run); both end each frame with
// glFinish, so the figures include the rasterising. On a busy machine the
// rasteriser's threads make wall times noisy: LP_NUM_THREADS=0 keeps llvmpipe
// on the calling thread and the two figures comparable.
#include <benchmark/benchmark.h>

#include <vector>

#include "gfx/imm.h"
#include "gfx/ztgl.h"
#include "platform/vesk_window.h"

namespace {

constexpr int SIZE = 512;
constexpr int QUADS = 10000;

vesk_window* window;
GLuint framebuffer, target, texture;

bool open_context() {
  if (window) return true;
  vesk_gl_request_version(3, 2, vesk_gl_core);
  window = vesk_gl_window_open("bench", 16, 16, 32, 8, 24, 0, 0);
  if (!window) return false;
  if (!ztgl_init(window) || !ztgl_build_programs()) return false;
  ztglGenTextures(1, &target);
  ztglBindTexture(GL_TEXTURE_2D, target);
  ztglTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, SIZE, SIZE, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  ztglGenFramebuffers(1, &framebuffer);
  ztglBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  ztglFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
  ztglViewport(0, 0, SIZE, SIZE);
  std::vector<uint8_t> texels(64 * 64 * 4);
  for (size_t i = 0; i < texels.size(); i++) texels[i] = (uint8_t)(i * 37);
  ztglGenTextures(1, &texture);
  ztglBindTexture(GL_TEXTURE_2D, texture);
  ztglTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  ztgl_use_program(ZTGL_UNLIT);
  ztglMatrixMode(ZTGL_PROJECTION);
  ztglLoadIdentity();
  ztglOrtho(0, SIZE, 0, SIZE, -1, 1);
  ztglMatrixMode(ZTGL_MODELVIEW);
  ztglLoadIdentity();
  ztgl_flush();
  return true;
}

// Quad q: 4 x 4 pixels on a 100 x 100 grid, 5 pixels apart.
void quad_corner(int q, int corner, float* x, float* y, float* s, float* t) {
  static const float cx[4] = {0, 1, 1, 0}, cy[4] = {0, 0, 1, 1};
  *x = 4.0f + (float)(q % 100) * 5 + cx[corner] * 4;
  *y = 4.0f + (float)(q / 100) * 5 + cy[corner] * 4;
  *s = cx[corner];
  *t = cy[corner];
}

void immediate_quads(benchmark::State& state) {
  if (!open_context()) {
    state.SkipWithError("no GL context (run under xvfb-run)");
    return;
  }
  for (auto _ : state) {
    ztglClear(GL_COLOR_BUFFER_BIT);
    ztglBindTexture(GL_TEXTURE_2D, texture);
    imm_color(1, 1, 1, 1);
    for (int q = 0; q < QUADS; q++) {
      imm_begin(IMM_QUADS);
      for (int c = 0; c < 4; c++) {
        float x, y, s, t;
        quad_corner(q, c, &x, &y, &s, &t);
        imm_texcoord(s, t);
        imm_vertex2(x, y);
      }
      imm_end();
    }
    ztglFinish();
  }
  state.SetItemsProcessed(state.iterations() * QUADS);
}
BENCHMARK(immediate_quads)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void direct_quads(benchmark::State& state) {
  if (!open_context()) {
    state.SkipWithError("no GL context (run under xvfb-run)");
    return;
  }
  std::vector<imm_vertex> vertices(QUADS * 4);
  std::vector<uint16_t> indices;
  for (int q = 0; q < QUADS; q++)
    for (int c = 0; c < 4; c++) {
      imm_vertex& v = vertices[q * 4 + c];
      quad_corner(q, c, &v.position[0], &v.position[1], &v.texcoord[0], &v.texcoord[1]);
      v.position[2] = 0, v.position[3] = 1, v.texcoord[2] = 0, v.texcoord[3] = 1;
      for (float& k : v.color) k = 1;
    }
  for (int q = 0; q < QUADS; q++) {
    const int tri[6] = {0, 1, 3, 3, 1, 2};
    for (int k : tri) indices.push_back((uint16_t)(q * 4 + k));
  }
  ztgl_flush();
  const ztgl_functions& gl = ztgl_fn;
  GLuint vao, buffers[2];
  gl.GenVertexArrays(1, &vao);
  gl.GenBuffers(2, buffers);
  gl.BindVertexArray(vao);
  gl.BindBuffer(GL_ARRAY_BUFFER, buffers[0]);
  gl.BufferData(GL_ARRAY_BUFFER, (GLsizeiptr)(vertices.size() * sizeof(imm_vertex)), vertices.data(), GL_STATIC_DRAW);
  const GLuint attributes[3] = {ZTGL_ATTR_POSITION, ZTGL_ATTR_TEXCOORD, ZTGL_ATTR_COLOR};
  for (int i = 0; i < 3; i++) {
    gl.EnableVertexAttribArray(attributes[i]);
    gl.VertexAttribPointer(attributes[i], 4, GL_FLOAT, GL_FALSE, sizeof(imm_vertex), (const void*)(uintptr_t)(16 * i));
  }
  gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[1]);
  gl.BufferData(GL_ELEMENT_ARRAY_BUFFER, (GLsizeiptr)(indices.size() * 2), indices.data(), GL_STATIC_DRAW);
  GLuint program = ztgl_get_program(ZTGL_UNLIT);
  float projection[16];
  ztgl_mat4_ortho(projection, 0, SIZE, 0, SIZE, -1, 1);
  const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  for (auto _ : state) {
    gl.Clear(GL_COLOR_BUFFER_BIT);
    gl.UseProgram(program);
    gl.UniformMatrix4fv(gl.GetUniformLocation(program, "u_projection"), 1, GL_FALSE, projection);
    gl.UniformMatrix4fv(gl.GetUniformLocation(program, "u_modelview"), 1, GL_FALSE, identity);
    gl.UniformMatrix4fv(gl.GetUniformLocation(program, "u_texture0"), 1, GL_FALSE, identity);
    gl.BindTexture(GL_TEXTURE_2D, texture);
    gl.BindVertexArray(vao);
    gl.DrawElements(GL_TRIANGLES, (GLsizei)indices.size(), GL_UNSIGNED_SHORT, nullptr);
    gl.Finish();
  }
  gl.BindVertexArray(0);
  gl.DeleteVertexArrays(1, &vao);
  gl.DeleteBuffers(2, buffers);
  state.SetItemsProcessed(state.iterations() * QUADS);
}
BENCHMARK(direct_quads)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
