#pragma once
// Window, display modes and GL context.
#include <cstdint>

struct vesk_window;  // one open window (vesk_window_record.h holds its fields)

enum : int {
    vesk_window_fixed_size = 0x100,   // open flags: no resizing
    vesk_window_full_screen = 0x200,  // open flags and set_mode: full screen
};
enum : int { vesk_gl_compatibility = 0, vesk_gl_core = 1, vesk_gl_es = 2 };

struct vesk_rect {
    int32_t x, y, width, height;
};
struct vesk_display_mode {
    int32_t width, height, bits;  // the list ends with an all-zero entry
};

// Stores the version and dialect (vesk_gl_compatibility, _core, _es) asked of
// the next context; the options "glmajor", "glminor", "glcore" and "gles"
// override them.
void vesk_gl_request_version(int major, int minor, int dialect);
// The low 8 bits of flags are the colour depth (32 asks for 24 colour bits);
// 0x100 fixed size, 0x200 full screen (0 x 0 means the desktop's size).
// Null on failure, with the reason in the log.
vesk_window* vesk_gl_window_open(const char* title, int width, int height, int flags, int alpha_bits,
                                 int depth_bits, int stencil_bits, int accum_bits);
void vesk_gl_window_close(vesk_window* window);
// A window without a GL context.
vesk_window* vesk_window_open(const char* title, int width, int height, int flags);
void vesk_window_close(vesk_window* window);

// The drawing rectangle, or null when there is no context or the window is
// minimised, hidden or suspended. On success the window lock stays held until
// vesk_gl_frame_end, which must be called only after a non-null begin. The lock
// is recursive, so pumping events inside a frame is safe.
const vesk_rect* vesk_gl_frame_begin(vesk_window* window);
// Swaps, releases the lock; 0 without a context or when the swap failed.
int vesk_gl_frame_end(vesk_window* window);

// The cached display-mode list of the primary display (built on first use).
const vesk_display_mode* vesk_display_modes();
// Asks for full screen (flags 0x200) at width x height, or a window of that
// client size; the switch happens at the next event pump (failures are logged).
int vesk_window_set_mode(vesk_window* window, int width, int height, int flags);

// GL entry points. Nothing links libGL: every GL function the game calls, the
// GL 1.1 ones included, is fetched by name into the GL layer's one table of
// entry points with vesk_gl_load. The back end hands out an address for any
// name at all, even one the driver lacks, so an address alone proves nothing:
// availability is decided from the context's version and dialect. The GL layer
// treats a null required entry as "OpenGL version too old".
struct vesk_gl_entry {
    const char* name;  // "glDrawArrays"
    void** slot;       // where the address is stored (null when unavailable)
    // First version that has the function, major * 10 + minor (11, 15, 20,
    // 30, 31...), for desktop GL and for GL ES; 0 means never in that dialect.
    uint8_t desktop;
    uint8_t es;
};
// Fills every slot of the table for the current context; returns how many
// entries were left null (0: all present).
int vesk_gl_load(vesk_window* window, const vesk_gl_entry* table, int count);
// The raw address by name (any name gives an address while a context is
// current); null only without a context. Prefer vesk_gl_load.
void* vesk_gl_proc_address(vesk_window* window, const char* name);
// The context's version as parsed from GL_VERSION; returns the dialect
// (vesk_gl_es for an ES context, else vesk_gl_core or vesk_gl_compatibility),
// or -1 without a context.
int vesk_gl_version(vesk_window* window, int* major, int* minor);
