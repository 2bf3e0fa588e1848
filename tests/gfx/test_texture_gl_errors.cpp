// Texture creation against a GL that never stops reporting errors, as some
// drivers do without a current context.
#include <gtest/gtest.h>

#include "gfx/pixel_buffer.h"
#include "gfx/texture.h"
#include "test_ztgl_fake_gl.h"

namespace {

int error_reads;
// Errors for far longer than any bounded drain reads, then quiet, so that an
// unbounded drain ends too and the test can count what it read.
constexpr int stuck_errors = 100000;

TEST(texture_gl_errors, a_driver_stuck_on_an_error_cannot_hold_up_creation) {
  fake_gl_layer_setup();
  ztgl_state.es = 0;
  ztgl_state.major = 3;
  error_reads = 0;
  ztgl_fn.GetError = []() -> GLenum { return error_reads++ < stuck_errors ? GL_INVALID_OPERATION : GL_NO_ERROR; };
  ztgl_fn.GenTextures = [](GLsizei, GLuint* v) { *v = 77; };
  ztgl_fn.TexParameteri = [](GLenum, GLenum name, GLint value) {
    fake_record("TexParameteri", name, (unsigned)value);
  };
  ztgl_fn.TexParameterfv = [](GLenum, GLenum, const GLfloat*) {};
  ztgl_fn.PixelStorei = [](GLenum, GLint) {};
  ztgl_fn.TexImage2D = [](GLenum, GLint level, GLint, GLsizei w, GLsizei h, GLint, GLenum, GLenum, const void*) {
    fake_record("TexImage2D", (unsigned)level, (unsigned)w, (unsigned)h);
  };
  const uint8_t pixels[4 * 3] = {};
  EXPECT_EQ(texture_create(pixels, 1, 1, 3, TEXTURE_NO_MIPS), 77);
  // The drain reads a bounded number of errors (32), then one read decides
  // the filter: a few dozen reads, nowhere near the driver's endless supply.
  EXPECT_LE(error_reads, 64);
  EXPECT_EQ(fake_calls("TexImage2D").size(), 1u);
  // The error that would not clear chooses the nearest filter.
  bool nearest = false;
  for (const auto& c : fake_calls("TexParameteri"))
    if (c.a == GL_TEXTURE_MIN_FILTER) nearest = c.b == GL_NEAREST;
  EXPECT_TRUE(nearest);
}

// The context check at start-up clears what reading the strings left; a lost
// context reports an error (0x0507, context lost) on every read, so the clear must give up.
TEST(texture_gl_errors, clearing_pending_errors_gives_up_on_a_lost_context) {
  fake_gl_layer_setup();
  error_reads = 0;
  ztgl_fn.GetError = []() -> GLenum { return error_reads++ < stuck_errors ? GLenum(0x0507) : GL_NO_ERROR; };
  ztgl_drain_errors();
  EXPECT_LE(error_reads, 64);
  EXPECT_GE(error_reads, 1);
}

}  // namespace
