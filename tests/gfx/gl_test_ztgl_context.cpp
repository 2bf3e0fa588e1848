#include "gl_test_ztgl_context.h"

#include <SDL.h>

#include "gfx/imm.h"
#include "platform/vesk_window.h"

static vesk_window* window;

const char* gl_test_dialect_name(int dialect) {
  static const char* const names[] = {"compat", "core", "es"};
  return names[dialect];
}

void* gl_test_proc(const char* name) { return vesk_gl_proc_address(window, name); }

// The GL driver and the desktop-bus library keep a few blocks for the life of
// the process; they are theirs, not leaks of the game.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\nleak:swrast_dri.so\nleak:libGLX_mesa.so\nleak:libglapi.so\n"
         "leak:libLLVM\nleak:libX11.so\n";
}

std::string gl_test_open(int dialect, int version) {
  // One reference of our own keeps the display open between windows: closing
  // it unloads the input-method modules, whose blocks would then show up as
  // anonymous leaks. The GL library is held loaded for the same reason.
  static bool held = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && SDL_GL_LoadLibrary(nullptr) == 0;
  if (!held) return std::string("SDL: ") + SDL_GetError();
  static const int versions[][2] = {{3, 1}, {3, 2}, {3, 0}};
  static const int dialects[] = {vesk_gl_compatibility, vesk_gl_core, vesk_gl_es};
  if (version)
    vesk_gl_request_version(version / 10, version % 10, dialects[dialect]);
  else
    vesk_gl_request_version(versions[dialect][0], versions[dialect][1], dialects[dialect]);
  window = vesk_gl_window_open("gl test", 16, 16, 32, 8, 24, 0, 0);
  if (!window) return "vesk_gl_window_open failed";
  int major = 0, minor = 0;
  if (vesk_gl_version(window, &major, &minor) != dialects[dialect]) {
    gl_test_close();
    return "the context is not of the dialect asked for";
  }
  if (!ztgl_init(window)) {
    gl_test_close();
    return "ztgl_init failed";
  }
  return "";
}

void gl_test_close() {
  if (window) {
    ztgl_shutdown();
    vesk_gl_window_close(window);
  }
  window = nullptr;
}

gl_test_target gl_test_target_open(int width, int height) {
  gl_test_target t = {0, 0, width, height};
  ztglGenTextures(1, &t.color);
  ztglBindTexture(GL_TEXTURE_2D, t.color);
  ztglTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  ztglGenFramebuffers(1, &t.framebuffer);
  ztglBindFramebuffer(GL_FRAMEBUFFER, t.framebuffer);
  ztglFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, t.color, 0);
  ztglViewport(0, 0, width, height);
  ztglClearColor(0, 0, 0, 0);
  ztglClear(GL_COLOR_BUFFER_BIT);
  return t;
}

void gl_test_target_close(gl_test_target* t) {
  ztglBindFramebuffer(GL_FRAMEBUFFER, 0);
  ztglDeleteFramebuffers(1, &t->framebuffer);
  ztglDeleteTextures(1, &t->color);
}

std::vector<uint8_t> gl_test_read(const gl_test_target& t) {
  std::vector<uint8_t> pixels((size_t)t.width * t.height * 4);
  ztglPixelStorei(GL_PACK_ALIGNMENT, 1);
  ztglReadPixels(0, 0, t.width, t.height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

static GLuint texture(int unit, int width, int height, GLint internal, GLenum format, GLenum type,
                      const void* data) {
  GLuint name = 0;
  ztglGenTextures(1, &name);
  ztglActiveTexture(GL_TEXTURE0 + unit);
  ztglBindTexture(GL_TEXTURE_2D, name);
  ztglPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  ztglTexImage2D(GL_TEXTURE_2D, 0, internal, width, height, 0, format, type, data);
  ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  ztglActiveTexture(GL_TEXTURE0);
  return name;
}

GLuint gl_test_texture(int unit, int width, int height, const uint8_t* rgba) {
  return texture(unit, width, height, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}

GLuint gl_test_float_texture(int unit, int width, int height, const float* values) {
  return texture(unit, width, height, GL_R32F, GL_RED, GL_FLOAT, values);
}

GLuint gl_test_byte_texture(int unit, int width, int height, const uint8_t* values) {
  return texture(unit, width, height, GL_R8, GL_RED, GL_UNSIGNED_BYTE, values);
}
