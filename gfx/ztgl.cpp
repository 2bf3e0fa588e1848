// Start-up of the GL layer: entry points, GL strings and version, the
// immediate-mode objects and the three 1x1 textures every program can fall
// back on.
#include "gfx/ztgl.h"

#include <cstdio>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "gfx/imm.h"
#include "gfx/pixel_buffer.h"
#include "gfx/texture.h"
#include "platform/vesk_log.h"
#include "platform/vesk_window.h"

ztgl_functions ztgl_fn;

int ztgl_load_functions(vesk_window* window) {
  static const vesk_gl_entry entries[] = {
#define ZTGL_ENTRY(type, name, desktop, es) {"gl" #name, (void**)&ztgl_fn.name, desktop, es},
      ZTGL_REQUIRED_FUNCTIONS(ZTGL_ENTRY) ZTGL_OPTIONAL_FUNCTIONS(ZTGL_ENTRY)
#undef ZTGL_ENTRY
  };
#define ZTGL_ONE(type, name, desktop, es) +1
  constexpr int optional = 0 ZTGL_OPTIONAL_FUNCTIONS(ZTGL_ONE);
#undef ZTGL_ONE
  constexpr int count = (int)(sizeof entries / sizeof entries[0]);
  if (vesk_gl_load(window, entries, count) == 0) return 1;
  int ok = 1;
  for (int i = 0; i < count - optional; i++) {
    if (*entries[i].slot) continue;
    vesk_log("Can't find GL function %s\n", entries[i].name);
    ok = 0;
  }
  return ok;
}

void ztgl_parse_version(const char* text, int* major, int* minor, int* es) {
  *major = *minor = 0;
  *es = 0;
  if (!text) return;
  if (sscanf(text, "OpenGL ES %d.%d", major, minor) == 2) {
    *es = 1;
    return;
  }
  if (sscanf(text, "%d.%d", major, minor) != 2) *major = *minor = 0;
}

int ztgl_version_supported() {
  int v = ztgl_state.major * 10 + ztgl_state.minor;
  return ztgl_state.es ? v >= 30 : v >= 31;
}

static const char* gl_string(GLenum name) {
  const char* s = (const char*)ztgl_fn.GetString(name);
  return s ? s : "NULL";
}

int ztgl_load_entry_points(vesk_window* window) {
  // The strings are read even when functions are missing: they tell why.
  int ok = ztgl_load_functions(window);
  if (!ztgl_fn.GetString || !ztgl_fn.GetError) return 0;
  ztgl_state.vendor = gl_string(GL_VENDOR);
  ztgl_state.renderer = gl_string(GL_RENDERER);
  ztgl_state.version = gl_string(GL_VERSION);
  ztgl_state.extensions = gl_string(GL_EXTENSIONS);
  // Core and ES contexts refuse GL_EXTENSIONS here; don't leave the error
  // pending for whoever checks next.
  ztgl_drain_errors();
  int major, minor, es;
  ztgl_parse_version(ztgl_state.version, &major, &minor, &es);
  ztgl_state.major = major;
  ztgl_state.minor = minor;
  ztgl_state.es = es;
  return ok;
}

// One pixel that repeats: a neutral stand-in for a missing texture.
static GLuint make_pixel_texture(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  const uint8_t pixel[4] = {r, g, b, a};
  GLuint t = GLuint(texture_create(pixel, 1, 1, 4, TEXTURE_REPEAT_S | TEXTURE_REPEAT_T | TEXTURE_NO_MIPS));
  // One texel reads the same with any filter; nearest spares a software
  // driver the blend of four texels on every pixel of every plain quad
  // (the menu page's full-window shade among them).
  ztglBindTexture(GL_TEXTURE_2D, t);
  ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  return t;
}

// A software GL driver allocates and frees vertex buffers of several hundred
// kilobytes at every draw. By default the C heap hands such blocks straight
// back to the kernel and faults fresh pages in at the next draw, which under
// llvmpipe costs more than the drawing; keep them in the heap instead.
static void keep_freed_memory() {
#ifdef __GLIBC__
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

int ztgl_init(vesk_window* window) {
  if (!ztgl_load_entry_points(window)) return 0;
  keep_freed_memory();
  ztgl_queue.count = 0;
  ztgl_queue.last_command = -1;
  ztgl_state.bones_clamp_logged = 0;
  imm_reset();
  if (ztgl_state.major > 2 && !imm_create_objects()) return 0;
  ztgl_state.white_texture = make_pixel_texture(255, 255, 255, 255);
  ztgl_state.black_texture = make_pixel_texture(0, 0, 0, 255);
  ztgl_state.flat_normal_texture = make_pixel_texture(128, 128, 255, 255);
  ztgl_reset_stacks();
  ztgl_delete_programs();
  return 1;
}

void ztgl_shutdown() {
  ztgl_queue.count = 0;
  ztgl_queue.last_command = -1;
  imm_reset();
  ztgl_delete_programs();
  GLuint textures[3] = {ztgl_state.white_texture, ztgl_state.black_texture,
                        ztgl_state.flat_normal_texture};
  ztgl_fn.DeleteTextures(3, textures);
  ztgl_state.white_texture = ztgl_state.black_texture = ztgl_state.flat_normal_texture = 0;
  imm_delete_objects();
}
