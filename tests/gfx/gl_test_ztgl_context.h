#pragma once
// A real GL context for the GL layer's tests: a hidden SDL window with a
// compatibility, core or ES 3.0 context, the layer initialised on it, and a
// small offscreen target whose pixels the tests read back.
#include <cstdint>
#include <string>
#include <vector>

#include "gfx/ztgl.h"

enum gl_test_dialect { GL_TEST_COMPAT, GL_TEST_CORE, GL_TEST_ES };
const char* gl_test_dialect_name(int dialect);

// Opens the context and runs ztgl_init; "" on success, else why not. version
// (major * 10 + minor) overrides the version asked for.
std::string gl_test_open(int dialect, int version = 0);
void gl_test_close();
// The entry point by name, for the fixed-function calls the layer never makes.
void* gl_test_proc(const char* name);

struct gl_test_target {
  GLuint framebuffer, color;
  int width, height;
};
// An RGBA8 framebuffer object, bound, with the viewport set and cleared to
// transparent black.
gl_test_target gl_test_target_open(int width, int height);
void gl_test_target_close(gl_test_target* t);
// Flushes the layer and reads the target, rows bottom-up, 4 bytes a pixel.
std::vector<uint8_t> gl_test_read(const gl_test_target& t);

// A texture of RGBA8 pixels with nearest filtering, left bound on unit.
GLuint gl_test_texture(int unit, int width, int height, const uint8_t* rgba);
// The same for one channel of floats (GL_R32F).
GLuint gl_test_float_texture(int unit, int width, int height, const float* values);
// And one channel of bytes (GL_R8).
GLuint gl_test_byte_texture(int unit, int width, int height, const uint8_t* values);
