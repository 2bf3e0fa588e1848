// GL calls that bypass the queue: each flushes it first, so that GL sees
// them in order with the queued commands.
#include "gfx/ztgl.h"
#include "platform/vesk_log.h"

void ztglBindBuffer(GLenum target, GLuint buffer) {
  ztgl_flush();
  ztgl_fn.BindBuffer(target, buffer);
}

void ztglBindFramebuffer(GLenum target, GLuint framebuffer) {
  ztgl_flush();
  ztgl_fn.BindFramebuffer(target, framebuffer);
}

void ztglBindVertexArray(GLuint array) {
  ztgl_flush();
  ztgl_fn.BindVertexArray(array);
}

void ztglBufferData(GLenum target, GLsizeiptr size, const void* data, GLenum usage) {
  ztgl_flush();
  ztgl_fn.BufferData(target, size, data, usage);
}

void ztglBufferSubData(GLenum target, GLintptr offset, GLsizeiptr size, const void* data) {
  ztgl_flush();
  ztgl_fn.BufferSubData(target, offset, size, data);
}

GLenum ztglCheckFramebufferStatus(GLenum target) {
  ztgl_flush();
  return ztgl_fn.CheckFramebufferStatus(target);
}

void ztglClear(GLbitfield mask) {
  ztgl_flush();
  ztgl_fn.Clear(mask);
}

void ztglClearColor(float r, float g, float b, float a) {
  ztgl_flush();
  ztgl_fn.ClearColor(r, g, b, a);
}

void ztglDeleteBuffers(GLsizei n, const GLuint* buffers) {
  ztgl_flush();
  ztgl_fn.DeleteBuffers(n, buffers);
}

void ztglDeleteFramebuffers(GLsizei n, const GLuint* framebuffers) {
  ztgl_flush();
  ztgl_fn.DeleteFramebuffers(n, framebuffers);
}

void ztglDeleteTextures(GLsizei n, const GLuint* textures) {
  ztgl_flush();
  ztgl_fn.DeleteTextures(n, textures);
}

void ztglDeleteVertexArrays(GLsizei n, const GLuint* arrays) {
  ztgl_flush();
  ztgl_fn.DeleteVertexArrays(n, arrays);
}

void ztglEnableVertexAttribArray(GLuint index) {
  ztgl_flush();
  ztgl_fn.EnableVertexAttribArray(index);
}

void ztglFlush() {
  ztgl_flush();
  ztgl_fn.Flush();
}

void ztglFinish() {
  ztgl_flush();
  ztgl_fn.Finish();
}

void ztglFramebufferTexture2D(GLenum target, GLenum attachment, GLenum textarget, GLuint texture,
                              GLint level) {
  ztgl_flush();
  ztgl_fn.FramebufferTexture2D(target, attachment, textarget, texture, level);
}

void ztglGenBuffers(GLsizei n, GLuint* buffers) {
  ztgl_flush();
  ztgl_fn.GenBuffers(n, buffers);
}

void ztglGenerateMipmap(GLenum target) {
  ztgl_flush();
  ztgl_fn.GenerateMipmap(target);
}

void ztglGenFramebuffers(GLsizei n, GLuint* framebuffers) {
  ztgl_flush();
  ztgl_fn.GenFramebuffers(n, framebuffers);
}

void ztglGenTextures(GLsizei n, GLuint* textures) {
  ztgl_flush();
  ztgl_fn.GenTextures(n, textures);
}

void ztglGenVertexArrays(GLsizei n, GLuint* arrays) {
  ztgl_flush();
  ztgl_fn.GenVertexArrays(n, arrays);
}

void ztgl_drain_errors() {
  for (int i = 0; i < 32 && ztgl_fn.GetError() != GL_NO_ERROR; i++) {
  }
}

GLenum ztglGetError() {
  ztgl_flush();
  return ztgl_fn.GetError();
}

void ztglGetTexLevelParameteriv(GLenum target, GLint level, GLenum name, GLint* params) {
  ztgl_flush();
  if (ztgl_fn.GetTexLevelParameteriv)
    ztgl_fn.GetTexLevelParameteriv(target, level, name, params);
  else
    *params = 0;
}

void ztglPixelStorei(GLenum name, GLint value) {
  ztgl_flush();
  ztgl_fn.PixelStorei(name, value);
}

void ztglReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                    void* pixels) {
  ztgl_flush();
  // Every buffer read into is tightly packed; GL's default pads each row to 4
  // bytes, so an RGB row of a width that is not a multiple of 4 would run on
  // past the buffer's end.
  ztgl_fn.PixelStorei(GL_PACK_ALIGNMENT, 1);
  ztgl_fn.ReadPixels(x, y, width, height, format, type, pixels);
}

void ztglTexImage2D(GLenum target, GLint level, GLint internal_format, GLsizei width,
                    GLsizei height, GLint border, GLenum format, GLenum type, const void* pixels) {
  ztgl_flush();
  ztgl_fn.TexImage2D(target, level, internal_format, width, height, border, format, type, pixels);
}

void ztglTexParameterf(GLenum target, GLenum name, float value) {
  ztgl_flush();
  ztgl_fn.TexParameterf(target, name, value);
}

void ztglTexParameterfv(GLenum target, GLenum name, const float* values) {
  ztgl_flush();
  ztgl_fn.TexParameterfv(target, name, values);
}

void ztglTexParameteri(GLenum target, GLenum name, GLint value) {
  ztgl_flush();
  ztgl_fn.TexParameteri(target, name, value);
}

void ztglTexSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei width, GLsizei height,
                       GLenum format, GLenum type, const void* pixels) {
  ztgl_flush();
  ztgl_fn.TexSubImage2D(target, level, x, y, width, height, format, type, pixels);
}

void ztglVertexAttrib4f(GLuint index, float x, float y, float z, float w) {
  ztgl_flush();
  ztgl_fn.VertexAttrib4f(index, x, y, z, w);
}

void ztglVertexAttribPointer(GLuint index, GLint size, GLenum type, GLuint normalized,
                             GLsizei stride, const void* offset) {
  ztgl_flush();
  ztgl_fn.VertexAttribPointer(index, size, type, (GLboolean)(normalized & 0xff), stride, offset);
}

void ztglViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
  ztgl_flush();
  ztgl_fn.Viewport(x, y, width, height);
}

void ztglDrawArrays(GLenum mode, GLint first, GLsizei count) {
  ztgl_flush();
  ztgl_guarded_draw_arrays(mode, first, count);
}

void ztglDrawElements(GLenum mode, GLsizei count, GLenum type, const void* offset) {
  ztgl_flush();
  ztgl_draw_guard();
  ztgl_fn.DrawElements(mode, count, type, offset);
}

void ztglDrawRangeElements(GLenum mode, GLuint start, GLuint end, GLsizei count, GLenum type,
                           const void* offset) {
  ztgl_flush();
  ztgl_guarded_draw_range_elements(mode, start, end, count, type, offset);
}
