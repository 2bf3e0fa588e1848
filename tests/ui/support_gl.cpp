#include "support_gl.h"

#include <SDL2/SDL.h>

#include <cstdlib>

#include "core/vfs.h"
#include "gfx/text.h"
#include "gfx/texture.h"
#include "platform/vesk.h"

// The desktop bus and the GL driver keep blocks for the life of the process.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\nleak:swrast_dri.so\nleak:libGLX_mesa.so\nleak:libglapi.so\n"
           "leak:libLLVM\nleak:libX11.so\nleak:libSDL2\n";
}

vesk_window* gl_test_window_open(const char* title)
{
    setenv("ZT_HOME", "../data", 1);
    vfs_shutdown();
    // The video subsystem and the GL library stay loaded for the whole run.
    static bool held = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && SDL_GL_LoadLibrary(nullptr) == 0;
    if (!held) return nullptr;
    vesk_gl_request_version(3, 2, vesk_gl_core);
    vesk_window* window = vesk_gl_window_open(title, 16, 16, 32, 8, 24, 0, 0);
    if (!window) return nullptr;
    if (ztgl_init(window) != 1 || ztgl_build_programs() != 1 || load_fonts() != 1) {
        gl_test_window_close(window);
        return nullptr;
    }
    return window;
}

void gl_test_window_close(vesk_window* window)
{
    textures_purge(1);
    free_fonts();
    if (window) {
        ztgl_shutdown();
        vesk_gl_window_close(window);
    }
    unsetenv("ZT_HOME");
    vfs_shutdown();
}

int gl_test_target_create(gl_test_target* target, int width, int height)
{
    ztglGenTextures(1, &target->colour);
    ztglBindTexture(GL_TEXTURE_2D, target->colour);
    ztglTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    ztglGenFramebuffers(1, &target->framebuffer);
    ztglBindFramebuffer(GL_FRAMEBUFFER, target->framebuffer);
    ztglFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target->colour, 0);
    return ztglCheckFramebufferStatus(GL_FRAMEBUFFER) == GLenum(GL_FRAMEBUFFER_COMPLETE);
}

void gl_test_target_delete(gl_test_target* target)
{
    ztglBindFramebuffer(GL_FRAMEBUFFER, 0);
    ztglDeleteFramebuffers(1, &target->framebuffer);
    ztglDeleteTextures(1, &target->colour);
    *target = gl_test_target{};
}
