#include "gl_test_ztgl_context.h"

#include <SDL.h>

#include "gfx/imm.h"

static SDL_Window* window;
static SDL_GLContext context;

const char* gl_test_dialect_name(int dialect) {
  static const char* const names[] = {"compat", "core", "es"};
  return names[dialect];
}

void* gl_test_proc(const char* name) { return SDL_GL_GetProcAddress(name); }

static void* lookup(void*, const char* name) { return SDL_GL_GetProcAddress(name); }

// The GL driver and the desktop-bus library keep a few blocks for the life of
// the process; they are theirs, not leaks of the game.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\nleak:swrast_dri.so\nleak:libGLX_mesa.so\nleak:libglapi.so\n"
         "leak:libLLVM\nleak:libX11.so\n";
}

std::string gl_test_open(int dialect) {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return std::string("SDL_Init: ") + SDL_GetError();
  // Held once more than the windows hold it, so the driver is never unloaded
  // and what it leaves at exit can be told apart by its module name.
  static bool library_held = SDL_GL_LoadLibrary(nullptr) == 0;
  if (!library_held) return std::string("SDL_GL_LoadLibrary: ") + SDL_GetError();
  SDL_GL_ResetAttributes();
  static const int profiles[] = {SDL_GL_CONTEXT_PROFILE_COMPATIBILITY, SDL_GL_CONTEXT_PROFILE_CORE,
                                 SDL_GL_CONTEXT_PROFILE_ES};
  static const int versions[][2] = {{2, 1}, {3, 2}, {3, 0}};
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, profiles[dialect]);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, versions[dialect][0]);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, versions[dialect][1]);
  window = SDL_CreateWindow("gl test", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!window) return std::string("SDL_CreateWindow: ") + SDL_GetError();
  context = SDL_GL_CreateContext(window);
  if (!context) {
    std::string why = std::string("SDL_GL_CreateContext: ") + SDL_GetError();
    gl_test_close();
    return why;
  }
  SDL_GL_MakeCurrent(window, context);
  if (!ztgl_init(lookup, nullptr)) {
    gl_test_close();
    return "ztgl_init failed";
  }
  return "";
}

void gl_test_close() {
  if (context) {
    ztgl_shutdown();
    SDL_GL_DeleteContext(context);
  }
  if (window) SDL_DestroyWindow(window);
  context = nullptr;
  window = nullptr;
  // The video subsystem stays up: closing the display unloads the X input
  // method modules, and their blocks would then show up as anonymous leaks.
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
