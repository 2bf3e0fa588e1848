#pragma once
// A stand-in GL for tests without a context: records the calls the queue and
// the immediate mode make, so their order and arguments can be checked.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gfx/imm.h"
#include "gfx/ztgl.h"
#include "platform/vesk_log.h"
#include "support/temp_dir.h"

struct fake_gl_call {
  const char* name;
  unsigned a, b, c, d;
  int uploaded_vertices;  // BufferSubData of the vertex buffer: bytes / 48
};

struct fake_gl_state {
  std::vector<fake_gl_call> calls;
  std::vector<imm_vertex> vertex_upload;
  std::vector<uint16_t> index_upload;
  GLint bound_array_buffer = 0;
  // Every vertex drawn, in order, as positions (x of each drawn vertex).
  std::vector<float> drawn_x;
  std::vector<GLenum> drawn_modes;
};
inline fake_gl_state fake_gl;

inline void fake_record(const char* name, unsigned a = 0, unsigned b = 0, unsigned c = 0, unsigned d = 0) {
  fake_gl.calls.push_back({name, a, b, c, d, 0});
}

// Calls of one name, in order.
inline std::vector<fake_gl_call> fake_calls(const char* name) {
  std::vector<fake_gl_call> out;
  for (const auto& c : fake_gl.calls)
    if (!strcmp(c.name, name)) out.push_back(c);
  return out;
}

inline void install_fake_gl() {
  fake_gl = fake_gl_state();
  memset(&ztgl_fn, 0, sizeof ztgl_fn);
  ztgl_fn.GetIntegerv = [](GLenum, GLint* v) { *v = 0; };
  ztgl_fn.GenVertexArrays = [](GLsizei, GLuint* v) { *v = 11; };
  ztgl_fn.GenBuffers = [](GLsizei, GLuint* v) { *v = 12; };
  ztgl_fn.BindVertexArray = [](GLuint v) { fake_record("BindVertexArray", v); };
  ztgl_fn.BindBuffer = [](GLenum t, GLuint v) {
    fake_record("BindBuffer", t, v);
    if (t == GL_ARRAY_BUFFER) fake_gl.bound_array_buffer = (GLint)v;
  };
  ztgl_fn.BufferData = [](GLenum t, GLsizeiptr size, const void*, GLenum) {
    fake_record("BufferData", t, (unsigned)size);
  };
  ztgl_fn.BufferSubData = [](GLenum t, GLintptr, GLsizeiptr size, const void* data) {
    fake_record("BufferSubData", t, (unsigned)size);
    if (t == GL_ARRAY_BUFFER) {
      const imm_vertex* v = (const imm_vertex*)data;
      fake_gl.vertex_upload.assign(v, v + size / sizeof(imm_vertex));
    } else {
      const uint16_t* i = (const uint16_t*)data;
      fake_gl.index_upload.assign(i, i + size / 2);
    }
  };
  ztgl_fn.EnableVertexAttribArray = [](GLuint) {};
  ztgl_fn.VertexAttribPointer = [](GLuint, GLint, GLenum, GLboolean, GLsizei, const void*) {};
  ztgl_fn.DrawArrays = [](GLenum mode, GLint first, GLsizei count) {
    fake_record("DrawArrays", mode, (unsigned)first, (unsigned)count);
    for (int i = first; i < first + count; i++) {
      fake_gl.drawn_x.push_back(fake_gl.vertex_upload.at(i).position[0]);
      fake_gl.drawn_modes.push_back(mode);
    }
  };
  ztgl_fn.DrawRangeElements = [](GLenum mode, GLuint start, GLuint end, GLsizei count, GLenum,
                                 const void* offset) {
    fake_record("DrawRangeElements", start, end, (unsigned)count, (unsigned)(uintptr_t)offset);
    for (int i = 0; i < count; i++) {
      uint16_t index = fake_gl.index_upload.at((uintptr_t)offset / 2 + i);
      fake_gl.drawn_x.push_back(fake_gl.vertex_upload.at(index).position[0]);
      fake_gl.drawn_modes.push_back(mode);
    }
  };
  ztgl_fn.GetUniformLocation = [](GLuint, const GLchar* name) -> GLint {
    return !strcmp(name, "u_modelview") ? 5 : !strcmp(name, "u_projection") ? 6 : -1;
  };
  ztgl_fn.UniformMatrix4fv = [](GLint l, GLsizei, GLboolean, const GLfloat*) {
    fake_record("UniformMatrix4fv", (unsigned)l);
  };
  ztgl_fn.UseProgram = [](GLuint p) { fake_record("UseProgram", p); };
  ztgl_fn.ActiveTexture = [](GLenum u) { fake_record("ActiveTexture", u); };
  ztgl_fn.BindTexture = [](GLenum t, GLuint n) { fake_record("BindTexture", t, n); };
  ztgl_fn.BlendFunc = [](GLenum s, GLenum d) { fake_record("BlendFunc", s, d); };
  ztgl_fn.DepthFunc = [](GLenum f) { fake_record("DepthFunc", f); };
  ztgl_fn.DepthMask = [](GLboolean f) { fake_record("DepthMask", f); };
  ztgl_fn.Enable = [](GLenum c) { fake_record("Enable", c); };
  ztgl_fn.Disable = [](GLenum c) { fake_record("Disable", c); };
}

// A fresh layer on the fake GL, with a program current in slot 1 so that
// draws pass the guard.
inline void fake_gl_layer_setup() {
  install_fake_gl();
  ztgl_queue.count = 0;
  ztgl_queue.last_command = -1;
  imm_batch.has_objects = 0;
  imm_reset();
  ztgl_reset_stacks();
  memset(ztgl_state.program, 0, sizeof ztgl_state.program);
  memset(ztgl_state.vertex_shader, 0, sizeof ztgl_state.vertex_shader);
  memset(ztgl_state.fragment_shader, 0, sizeof ztgl_state.fragment_shader);
  ztgl_state.slot = 0;
  ztgl_delete_programs();
  ztgl_state.program[1] = 1;
  ztgl_use_program(1);
  imm_create_objects();
  fake_gl.calls.clear();
}

// Sends the log to a temporary file for the life of the object.
struct log_capture {
  temp_dir dir;
  log_capture() {
    setenv("VESK_LOGFILE", dir.file("log.txt").c_str(), 1);
    vesk_log_reset_for_tests();
  }
  ~log_capture() {
    vesk_log(nullptr);
    unsetenv("VESK_LOGFILE");
    vesk_log_reset_for_tests();
  }
  std::string text() const { return read_whole_file(dir.file("log.txt")); }
  int count(const std::string& line) const {
    std::string t = text();
    int n = 0;
    for (size_t at = t.find(line); at != std::string::npos; at = t.find(line, at + 1)) n++;
    return n;
  }
};
