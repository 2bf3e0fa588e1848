// The SDL back end of the window: creation, GL context, display modes, mode
// switches, the frame bracket and the translation of native events.
#include <SDL.h>

#include <cstdio>
#include <cstring>

#include "core/alloc.h"
#include "platform/vesk_window_record.h"

bool vesk_gl_pretend_no_es;

namespace {

int requested_major = 3, requested_minor = 1, requested_dialect = vesk_gl_compatibility;
bool options_logged;
bool scaling_logged;

vesk_display_mode* mode_list;
int desktop_width = 640, desktop_height = 480;
bool desktop_known;

SDL_Window* native(vesk_window* window) { return static_cast<SDL_Window*>(window->native); }

void note_display_scaling()
{
    if (scaling_logged) return;
    scaling_logged = true;
    // There is no system scaling to switch off here: the window asks for a
    // high-DPI drawable and the frame reports the drawable's pixel size.
    vesk_log("Display scaling: drawable in device pixels\n");
}

bool init_video()
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        vesk_log("Can't initialise video: %s\n", SDL_GetError());
        return false;
    }
    return true;
}

void build_mode_list()
{
    if (mode_list) return;
    note_display_scaling();
    bool own_init = !SDL_WasInit(SDL_INIT_VIDEO);
    if (own_init && !init_video()) {
        mode_list = static_cast<vesk_display_mode*>(xmalloc(sizeof(vesk_display_mode)));
        mode_list[0] = {0, 0, 0};
        return;
    }
    int count = SDL_GetNumDisplayModes(0);
    if (count < 0) count = 0;
    vesk_mode_report* reports = static_cast<vesk_mode_report*>(xmalloc(sizeof(vesk_mode_report) * size_t(count + 1)));
    int n = 0;
    for (int i = 0; i < count; i++) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(0, i, &m) != 0) break;
        reports[n++] = {m.w, m.h, int32_t(SDL_BITSPERPIXEL(m.format)), m.refresh_rate};
    }
    SDL_DisplayMode d;
    vesk_mode_report desktop{};
    bool have_desktop = SDL_GetDesktopDisplayMode(0, &d) == 0;
    if (have_desktop) {
        desktop = {d.w, d.h, int32_t(SDL_BITSPERPIXEL(d.format)), d.refresh_rate};
        if (d.w > 0 && d.h > 0) {
            desktop_width = d.w;
            desktop_height = d.h;
            desktop_known = true;
        }
    }
    mode_list = static_cast<vesk_display_mode*>(xmalloc(sizeof(vesk_display_mode) * size_t(n + 2)));
    vesk_build_mode_list(have_desktop ? &desktop : nullptr, reports, n, mode_list);
    alloc_check_free(reports);
    if (own_init) SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
}

// Full screen at the size chosen for width x height; the desktop's own mode
// needs no change of mode.
bool enter_full_screen(vesk_window* window, int width, int height)
{
    vesk_choose_full_screen(mode_list, width, height, desktop_width, desktop_height, &window->full_width,
                            &window->full_height);
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) memset(&mode, 0, sizeof mode);
    mode.w = window->full_width;
    mode.h = window->full_height;
    bool desktop_size = desktop_known && mode.w == desktop_width && mode.h == desktop_height;
    Uint32 how = desktop_size ? SDL_WINDOW_FULLSCREEN_DESKTOP : SDL_WINDOW_FULLSCREEN;
    if (!desktop_size && SDL_SetWindowDisplayMode(native(window), &mode) != 0) {
        vesk_log("Can't set display mode %dx%d: %s\n", mode.w, mode.h, SDL_GetError());
        return false;
    }
    if (SDL_SetWindowFullscreen(native(window), how) != 0) {
        vesk_log("Can't switch to full screen: %s\n", SDL_GetError());
        return false;
    }
    window->flags |= vesk_flag_full_screen;
    return true;
}

void do_mode_switch(vesk_window* window, int width, int height, int flags)
{
    std::lock_guard<std::recursive_mutex> lock(window->window_mutex);
    window->suspended = 1;
    if (flags & vesk_window_full_screen) {
        enter_full_screen(window, width, height);
    } else {
        window->flags &= uint8_t(~vesk_flag_full_screen);
        if (SDL_SetWindowFullscreen(native(window), 0) != 0) vesk_log("Can't leave full screen: %s\n", SDL_GetError());
        if (window->flags & vesk_flag_resizable) {
            if (width == 0 || height == 0) {
                width = desktop_width;
                height = desktop_height;
            }
            SDL_SetWindowSize(native(window), width, height);
            SDL_SetWindowPosition(native(window), 0, 0);
        }
    }
    window->suspended = 0;
}

// Code points 1..255 only: the low byte of a wider character would pose as
// another key (U+010D as Enter).
void push_text(vesk_window* window, const char* text, int32_t s, int32_t us)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        uint32_t cp;
        int extra;
        if (*p < 0x80) cp = *p, extra = 0;
        else if ((*p & 0xE0) == 0xC0) cp = *p & 0x1F, extra = 1;
        else if ((*p & 0xF0) == 0xE0) cp = *p & 0x0F, extra = 2;
        else if ((*p & 0xF8) == 0xF0) cp = *p & 0x07, extra = 3;
        else {
            p++;
            continue;
        }
        p++;
        for (; extra > 0 && (*p & 0xC0) == 0x80; extra--, p++) cp = (cp << 6) | (*p & 0x3F);
        if (extra == 0 && cp >= 1 && cp <= 255) vesk_push_event(window, cp, 1, s, us);
    }
}

// The characters of keys that never arrive as text.
uint32_t key_character(SDL_Scancode scancode)
{
    switch (scancode) {
    case SDL_SCANCODE_BACKSPACE: return 8;
    case SDL_SCANCODE_TAB: return 9;
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER: return 13;
    case SDL_SCANCODE_ESCAPE: return 27;
    default: return 0;
    }
}

void window_event(vesk_window* window, const SDL_WindowEvent& e)
{
    switch (e.event) {
    case SDL_WINDOWEVENT_SIZE_CHANGED: {
        std::lock_guard<std::recursive_mutex> lock(window->window_mutex);
        window->client_width = e.data1;
        window->client_height = e.data2;
        vesk_log("WM_SIZE message %dx%d\n", e.data1, e.data2);
        break;
    }
    case SDL_WINDOWEVENT_MINIMIZED:
    case SDL_WINDOWEVENT_HIDDEN: {
        std::lock_guard<std::recursive_mutex> lock(window->window_mutex);
        window->minimised = 1;
        break;
    }
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_MAXIMIZED: {
        std::lock_guard<std::recursive_mutex> lock(window->window_mutex);
        window->minimised = 0;
        break;
    }
    case SDL_WINDOWEVENT_CLOSE: {
        int32_t s, us;
        vesk_get_time(&s, &us);
        vesk_push_event(window, vesk_code_close, 1, s, us);
        break;
    }
    default: break;
    }
}

void device_button(vesk_window* window, int32_t instance, bool controller, int button, bool pressed)
{
    for (int i = 0; i < window->device_count; i++) {
        vesk_device& d = window->devices[i];
        if (d.instance != instance || d.is_controller != int(controller) || !d.polling) continue;
        if (button < 0 || button >= d.button_count || button > 255) return;
        int32_t s, us;
        vesk_get_time(&s, &us);
        vesk_push_event(window, d.id | uint32_t(button), pressed, s, us);
        return;
    }
}

// Every stamp is one reading of the platform clock, taken as the native event
// is translated. SDL's own tick is a second millisecond clock whose
// milliseconds turn over at other instants: an age measured on it and taken
// from the platform clock could put an event up to 1 ms before it happened.
void translate(vesk_window* window, const SDL_Event& e)
{
    int32_t s, us;
    switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        bool pressed = e.type == SDL_KEYDOWN;
        vesk_get_time(&s, &us);
        uint32_t code = vesk_key_code_for_usage(e.key.keysym.scancode);
        if (code) vesk_push_event(window, code, pressed, s, us);
        uint32_t character = pressed ? key_character(e.key.keysym.scancode) : 0;
        if (character) vesk_push_event(window, character, 1, s, us);
        break;
    }
    case SDL_TEXTINPUT:
        vesk_get_time(&s, &us);
        push_text(window, e.text.text, s, us);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        uint32_t code = e.button.button == SDL_BUTTON_LEFT     ? uint32_t(vesk_code_mouse_left)
                        : e.button.button == SDL_BUTTON_MIDDLE ? vesk_code_mouse_middle
                        : e.button.button == SDL_BUTTON_RIGHT  ? vesk_code_mouse_right
                                                               : 0u;
        vesk_get_time(&s, &us);
        if (code) vesk_push_event(window, code, e.type == SDL_MOUSEBUTTONDOWN, s, us);
        break;
    }
    case SDL_QUIT:
        vesk_get_time(&s, &us);
        vesk_push_event(window, vesk_code_close, 1, s, us);
        break;
    case SDL_WINDOWEVENT: window_event(window, e.window); break;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
        device_button(window, e.cbutton.which, true, e.cbutton.button, e.type == SDL_CONTROLLERBUTTONDOWN);
        break;
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
        device_button(window, e.jbutton.which, false, e.jbutton.button, e.type == SDL_JOYBUTTONDOWN);
        break;
    default: break;
    }
}

SDL_Window* create_native(vesk_window* window, bool gl)
{
    int width = window->requested_width, height = window->requested_height;
    Uint32 style = SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_HIDDEN;
    if (gl) style |= SDL_WINDOW_OPENGL;
    if (window->flags & vesk_flag_resizable) style |= SDL_WINDOW_RESIZABLE;
    if (width == 0 || height == 0) {
        width = desktop_width;
        height = desktop_height;
    }
    vesk_log("Creating window\n");
    SDL_Window* w = SDL_CreateWindow(window->title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                                     style);
    if (!w) {
        vesk_log("SDL: %s\n", SDL_GetError());
        vesk_error("Can't create window!\n");
    }
    return w;
}

// Shows the window, full screen when asked, and brings it to the front.
void present_native(vesk_window* window)
{
    SDL_SetWindowData(native(window), "vesk", window);
    if (SDL_GetWindowData(native(window), "vesk") != window) vesk_error("Can't set window user data\n");
    if (window->flags & vesk_flag_full_screen) {
        window->flags &= uint8_t(~vesk_flag_full_screen);
        enter_full_screen(window, window->requested_width, window->requested_height);
    }
    SDL_ShowWindow(native(window));
    SDL_RaiseWindow(native(window));
    vesk_log("Foregrounded\n");
    int w, h;
    SDL_GetWindowSize(native(window), &w, &h);
    window->client_width = w;
    window->client_height = h;
    SDL_StartTextInput();
}

vesk_window* new_window(const char* title, int width, int height, int flags)
{
    note_display_scaling();
    build_mode_list();
    if (!options_logged) {
        options_logged = true;
        // The window and its events stay on the main thread whatever the
        // option says: the back end requires it.
        int threaded = vesk_option_bool("threaded", 0);
        vesk_log("Options:\n");
        vesk_log("%10s [%s]\n", "threaded:", threaded ? "on" : "off");
    }
    vesk_window* window = vesk_window_record_new(title ? title : "");
    window->requested_width = width;
    window->requested_height = height;
    window->depth = flags & 0xFF;
    if (!(flags & vesk_window_fixed_size)) window->flags |= vesk_flag_resizable;
    if (flags & vesk_window_full_screen) window->flags |= vesk_flag_full_screen;
    return window;
}

// Shows the window, then its input devices, their axis names and the
// mouse-button aliases.
void finish_window(vesk_window* window)
{
    present_native(window);
    vesk_input_devices_open(window);
    vesk_devices_collect_axis_names(window);
    const char* aliases[][2] = {
        {"cursor-left", "Mouse Left"}, {"cursor-middle", "Mouse Middle"}, {"cursor-right", "Mouse Right"}};
    for (auto& a : aliases) {
        if (vesk_alias_lookup(a[0]) == a[0]) vesk_alias_add(a[0], a[1]);
    }
    vesk_current_window = window;
}

// The record and this window's hold on the video subsystem.
void release_window(vesk_window* window)
{
    vesk_window_record_free(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
}

void destroy_native(vesk_window* window)
{
    if (!window->native) return;
    vesk_log("Destroying window\n");
    // Leaving full screen gives the desktop its own mode back.
    if (window->flags & vesk_flag_full_screen) SDL_SetWindowFullscreen(native(window), 0);
    SDL_DestroyWindow(native(window));
    window->native = nullptr;
}

void set_gl_attributes(vesk_window* window, int alpha, int depth, int stencil, int accum, int major, int minor,
                       int profile)
{
    int r, g, b;
    vesk_color_bits(window->depth, &r, &g, &b);
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, r);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, g);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, b);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, alpha);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, stencil);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, accum);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, accum);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, accum);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, accum);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, major);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, minor);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, profile);
}

// A window and a context for one set of attributes; false (and nothing left
// open) on failure.
bool try_context(vesk_window* window, int profile)
{
    window->native = create_native(window, true);
    if (!window->native) return false;
    window->gl_context = SDL_GL_CreateContext(native(window));
    if (!window->gl_context) {
        vesk_log("SDL: %s\n", SDL_GetError());
        destroy_native(window);
        return false;
    }
    if (SDL_GL_MakeCurrent(native(window), window->gl_context) != 0) {
        vesk_log("SDL: %s\n", SDL_GetError());
        SDL_GL_DeleteContext(window->gl_context);
        window->gl_context = nullptr;
        destroy_native(window);
        return false;
    }
    using get_string_fn = const unsigned char* (*)(unsigned);
    auto get_string = reinterpret_cast<get_string_fn>(SDL_GL_GetProcAddress("glGetString"));
    const char* version = get_string ? reinterpret_cast<const char*>(get_string(0x1F02 /* GL_VERSION */)) : nullptr;
    int desktop = profile == SDL_GL_CONTEXT_PROFILE_CORE ? vesk_gl_core : vesk_gl_compatibility;
    if (!vesk_gl_parse_version(version, desktop, &window->gl_major, &window->gl_minor, &window->gl_dialect)) {
        window->gl_major = window->gl_minor = 0;
        window->gl_dialect = desktop;
    }
    vesk_log("OpenGL context %d.%d %s\n", window->gl_major, window->gl_minor,
             window->gl_dialect == vesk_gl_es     ? "ES"
             : window->gl_dialect == vesk_gl_core ? "core"
                                                  : "compatibility");
    return true;
}

}  // namespace

void vesk_gl_request_version(int major, int minor, int dialect)
{
    requested_major = major;
    requested_minor = minor;
    requested_dialect = dialect;
}

const vesk_display_mode* vesk_display_modes()
{
    build_mode_list();
    return mode_list;
}

vesk_window* vesk_window_open(const char* title, int width, int height, int flags)
{
    if (!init_video()) return nullptr;
    vesk_window* window = new_window(title, width, height, flags);
    window->native = create_native(window, false);
    if (!window->native) {
        release_window(window);
        return nullptr;
    }
    finish_window(window);
    return window;
}

vesk_window* vesk_gl_window_open(const char* title, int width, int height, int flags, int alpha_bits,
                                 int depth_bits, int stencil_bits, int accum_bits)
{
    if (!init_video()) return nullptr;
    vesk_window* window = new_window(title, width, height, flags);
    vesk_log("Choosing pixel format\n");
    vesk_log("Creating OpenGL context\n");
    vesk_log("Video driver: %s\n", SDL_GetCurrentVideoDriver());
    int gles = vesk_option_bool("gles", requested_dialect == vesk_gl_es);
    int major = vesk_option_int("glmajor", requested_major);
    int minor = vesk_option_int("glminor", requested_minor);
    bool made = false;
    if (gles) {
        if (vesk_gl_pretend_no_es) {
            vesk_log("Can't create OpenGL ES context without ES profile support\n");
        } else {
            set_gl_attributes(window, alpha_bits, depth_bits, stencil_bits, accum_bits, major, minor,
                              SDL_GL_CONTEXT_PROFILE_ES);
            made = try_context(window, SDL_GL_CONTEXT_PROFILE_ES);
            if (!made) vesk_log("Can't create OpenGL ES context, trying desktop OpenGL\n");
        }
    }
    if (!made) {
        int core = vesk_option_bool("glcore", requested_dialect == vesk_gl_core);
        int profile = core ? SDL_GL_CONTEXT_PROFILE_CORE : SDL_GL_CONTEXT_PROFILE_COMPATIBILITY;
        // An ES request that fell back asks desktop GL for the requested
        // version, not the ES one.
        if (gles) {
            major = requested_dialect == vesk_gl_es ? 3 : requested_major;
            minor = requested_dialect == vesk_gl_es ? 1 : requested_minor;
        }
        set_gl_attributes(window, alpha_bits, depth_bits, stencil_bits, accum_bits, major, minor, profile);
        made = try_context(window, profile);
    }
    if (!made) {
        vesk_log("Couldn't create OpenGL context with attributes\n");
        release_window(window);
        return nullptr;
    }
    finish_window(window);
    return window;
}

void vesk_window_close(vesk_window* window)
{
    if (!window) return;
    window->close_flag = 1;
    vesk_log("Closing input devices\n");
    vesk_input_devices_close(window);
    destroy_native(window);
    vesk_log("Window shutdown complete\n");
    if (vesk_current_window == window) vesk_current_window = nullptr;
    release_window(window);
}

void vesk_gl_window_close(vesk_window* window)
{
    if (!window) return;
    if (window->gl_context) {
        vesk_log("Deleting OpenGL context\n");
        SDL_GL_MakeCurrent(native(window), nullptr);
        SDL_GL_DeleteContext(window->gl_context);
        window->gl_context = nullptr;
        window->gl_dialect = -1;
    }
    vesk_window_close(window);
}

void* vesk_gl_proc_address(vesk_window* window, const char* name)
{
    if (!window || !window->gl_context || !name) return nullptr;
    return SDL_GL_GetProcAddress(name);
}

const vesk_rect* vesk_gl_frame_begin(vesk_window* window)
{
    if (!window || !window->gl_context) return nullptr;
    Uint32 state = SDL_GetWindowFlags(native(window));
    if (window->minimised || (state & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN))) return nullptr;
    window->window_mutex.lock();
    if (window->suspended) {
        window->window_mutex.unlock();
        return nullptr;
    }
    int w, h;
    SDL_GL_GetDrawableSize(native(window), &w, &h);
    window->rect = {0, 0, w, h};
    window->frame_held++;
    return &window->rect;
}

int vesk_gl_frame_end(vesk_window* window)
{
    if (!window || !window->gl_context) return 0;
    SDL_GL_SwapWindow(native(window));
    // Only a lock that a frame begin took is released.
    if (window->frame_held > 0) {
        window->frame_held--;
        window->window_mutex.unlock();
    }
    return 1;
}

int vesk_window_set_mode(vesk_window* window, int width, int height, int flags)
{
    if (!window) return 0;
    std::lock_guard<std::recursive_mutex> lock(window->window_mutex);
    window->pending_mode = 1;
    window->pending_width = width;
    window->pending_height = height;
    window->pending_flags = flags;
    return 1;
}

void vesk_window_pump(vesk_window* window)
{
    if (!window->native) return;
    if (window->pending_mode) {
        window->pending_mode = 0;
        do_mode_switch(window, window->pending_width, window->pending_height, window->pending_flags);
    }
    SDL_Event e;
    while (SDL_PollEvent(&e)) translate(window, e);
}
