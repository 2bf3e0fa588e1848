#pragma once
// What the ui folder's GL tests share: a hidden window with a GL context,
// the programs and the fonts over the generated data root, and an
// off-screen colour target to draw into and read back.
#include "gfx/ztgl.h"

struct vesk_window;

// The window, context, programs and fonts (ZT_HOME = the build's data
// root); null when any step fails. Close with gl_test_window_close.
vesk_window* gl_test_window_open(const char* title);
void gl_test_window_close(vesk_window* window);

// An RGBA colour texture of width x height behind a framebuffer, bound.
struct gl_test_target {
    GLuint framebuffer = 0, colour = 0;
};
// 1 when the framebuffer is complete.
int gl_test_target_create(gl_test_target* target, int width, int height);
void gl_test_target_delete(gl_test_target* target);
