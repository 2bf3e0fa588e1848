// Windows and GL contexts under a real X server with Mesa.
#include <atomic>
#include <thread>

#include "support_gl_window.h"

namespace {

using gl_clear_color_fn = void (*)(float, float, float, float);
using gl_clear_fn = void (*)(unsigned);
using gl_read_pixels_fn = void (*)(int, int, int, int, unsigned, unsigned, void*);
using gl_bind_vertex_array_fn = void (*)(unsigned);

struct gl_table {
    void* clear_color = nullptr;
    void* clear = nullptr;
    void* read_pixels = nullptr;
    void* bind_vertex_array = nullptr;
    void* polygon_mode = nullptr;
};

int load(vesk_window* window, gl_table* t)
{
    const vesk_gl_entry entries[] = {
        {"glClearColor", &t->clear_color, 11, 20},
        {"glClear", &t->clear, 11, 20},
        {"glReadPixels", &t->read_pixels, 11, 20},
        {"glBindVertexArray", &t->bind_vertex_array, 30, 30},
        {"glPolygonMode", &t->polygon_mode, 11, 0},
    };
    return vesk_gl_load(window, entries, 5);
}

bool lock_free_elsewhere(vesk_window* window)
{
    std::atomic<bool> got{false};
    std::thread other([&] {
        if (window->window_mutex.try_lock()) {
            got = true;
            window->window_mutex.unlock();
        }
    });
    other.join();
    return got;
}

struct contexts : gl_window_test {};

TEST_F(contexts, compatibility_context_and_frame_bracket)
{
    ASSERT_NE(open_gl(), nullptr);
    int major, minor;
    EXPECT_EQ(vesk_gl_version(window, &major, &minor), vesk_gl_compatibility);
    EXPECT_GE(major * 10 + minor, 31);
    gl_table gl;
    EXPECT_EQ(load(window, &gl), 0);

    const vesk_rect* rect = vesk_gl_frame_begin(window);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->x, 0);
    EXPECT_EQ(rect->width, 320);
    EXPECT_EQ(rect->height, 240);
    EXPECT_FALSE(lock_free_elsewhere(window));
    reinterpret_cast<gl_clear_color_fn>(gl.clear_color)(1.0f, 0.0f, 0.0f, 1.0f);
    reinterpret_cast<gl_clear_fn>(gl.clear)(0x4000);
    unsigned char pixel[4] = {};
    reinterpret_cast<gl_read_pixels_fn>(gl.read_pixels)(10, 10, 1, 1, 0x1908, 0x1401, pixel);
    EXPECT_EQ(pixel[0], 255);
    EXPECT_EQ(pixel[1], 0);
    EXPECT_EQ(vesk_gl_frame_end(window), 1);
    EXPECT_TRUE(lock_free_elsewhere(window));

    std::string log = log_text();
    for (const char* line : {"Creating window\n", "Choosing pixel format\n", "Creating OpenGL context\n"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }
    vesk_gl_window_close(window);
    window = nullptr;
    log = log_text();
    for (const char* line : {"Deleting OpenGL context\n", "Closing input devices\n", "Destroying window\n",
                             "Window shutdown complete\n"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }
}

TEST_F(contexts, core_context)
{
    vesk_gl_request_version(3, 2, vesk_gl_core);
    ASSERT_NE(open_gl(), nullptr);
    int major, minor;
    EXPECT_EQ(vesk_gl_version(window, &major, &minor), vesk_gl_core);
    EXPECT_GE(major * 10 + minor, 32);
    gl_table gl;
    EXPECT_EQ(load(window, &gl), 0);
}

TEST_F(contexts, es_context_decides_availability_by_dialect)
{
    vesk_gl_request_version(3, 0, vesk_gl_es);
    ASSERT_NE(open_gl(), nullptr);
    int major, minor;
    ASSERT_EQ(vesk_gl_version(window, &major, &minor), vesk_gl_es);
    EXPECT_GE(major * 10 + minor, 30);
    gl_table gl;
    // glPolygonMode exists in desktop GL only, whatever address the driver
    // would hand out for the name.
    EXPECT_EQ(load(window, &gl), 1);
    EXPECT_EQ(gl.polygon_mode, nullptr);
    EXPECT_NE(gl.bind_vertex_array, nullptr);
    EXPECT_NE(vesk_gl_proc_address(window, "glPolygonMode"), nullptr);
}

TEST_F(contexts, es_request_falls_back_to_desktop_when_es_is_missing)
{
    vesk_gl_pretend_no_es = true;
    options("[gles:on]");
    ASSERT_NE(open_gl(), nullptr);
    int major, minor;
    EXPECT_EQ(vesk_gl_version(window, &major, &minor), vesk_gl_compatibility);
    EXPECT_NE(log_text().find("Can't create OpenGL ES context without ES profile support\n"), std::string::npos);
}

TEST_F(contexts, impossible_version_fails_and_says_so)
{
    options("[glmajor:9][glminor:9]");
    EXPECT_EQ(open_gl(), nullptr);
    EXPECT_NE(log_text().find("Couldn't create OpenGL context with attributes\n"), std::string::npos);
}

// A driver limited to GL 3.0 (Mesa's override) stands for an old card. The
// driver reads the override when it first meets the display, so this runs in
// a fresh process; the exit status tells which check failed.
int old_driver_checks(gl_window_test* test)
{
    setenv("MESA_GL_VERSION_OVERRIDE", "3.0", 1);
    vesk_gl_request_version(3, 1, vesk_gl_compatibility);
    if (vesk_gl_window_open("old", 64, 64, 32, 0, 24, 0, 0)) return 2;
    if (test->log_text().find("Couldn't create OpenGL context with attributes\n") == std::string::npos) return 7;
    // Asked for what it has, the context opens, and the functions of later
    // versions are missing however the driver answers for their names.
    vesk_gl_request_version(3, 0, vesk_gl_compatibility);
    vesk_window* window = vesk_gl_window_open("old", 64, 64, 32, 0, 24, 0, 0);
    if (!window) return 3;
    int major, minor;
    if (vesk_gl_version(window, &major, &minor) != vesk_gl_compatibility || major * 10 + minor != 30) return 4;
    void* instanced = reinterpret_cast<void*>(1);
    void* draw = nullptr;
    const vesk_gl_entry entries[] = {{"glDrawArraysInstanced", &instanced, 31, 30}, {"glDrawArrays", &draw, 11, 20}};
    if (vesk_gl_load(window, entries, 2) != 1 || instanced || !draw) return 5;
    if (!vesk_gl_proc_address(window, "glDrawArraysInstanced")) return 6;
    vesk_gl_window_close(window);
    return 0;
}

TEST_F(contexts, driver_below_the_minimum_version)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(exit(old_driver_checks(this)), ::testing::ExitedWithCode(0), "");
}

struct window_state : gl_window_test {};

TEST_F(window_state, minimised_window_gives_no_frame_and_takes_no_lock)
{
    ASSERT_NE(open_gl(), nullptr);
    push_window_event(SDL_WINDOWEVENT_MINIMIZED);
    uint32_t code;
    int pressed;
    while (vesk_get_event(window, &code, &pressed)) {
    }
    EXPECT_EQ(vesk_gl_frame_begin(window), nullptr);
    EXPECT_TRUE(lock_free_elsewhere(window));
    push_window_event(SDL_WINDOWEVENT_RESTORED);
    while (vesk_get_event(window, &code, &pressed)) {
    }
    ASSERT_NE(vesk_gl_frame_begin(window), nullptr);
    // Pumping inside a frame must not deadlock on the held lock.
    push_window_event(SDL_WINDOWEVENT_SIZE_CHANGED);
    while (vesk_get_event(window, &code, &pressed)) {
    }
    EXPECT_EQ(vesk_gl_frame_end(window), 1);
    EXPECT_NE(log_text().find("WM_SIZE message"), std::string::npos);
}

TEST_F(window_state, close_requests_become_close_events)
{
    ASSERT_NE(open_gl(), nullptr);
    uint32_t code;
    int pressed;
    while (vesk_get_event(window, &code, &pressed)) {
    }
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    push(quit);
    push_window_event(SDL_WINDOWEVENT_CLOSE);
    for (int i = 0; i < 2; i++) {
        ASSERT_EQ(vesk_get_event(window, &code, &pressed), 1);
        EXPECT_EQ(code, 0xDEADu);
        EXPECT_EQ(pressed, 1);
    }
}

TEST_F(window_state, frame_end_without_context_fails)
{
    window = vesk_window_open("plain", 200, 100, vesk_window_fixed_size);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(vesk_gl_frame_begin(window), nullptr);
    EXPECT_EQ(vesk_gl_frame_end(window), 0);
    EXPECT_EQ(window->flags & vesk_flag_resizable, 0);
}

TEST_F(window_state, mode_switch_happens_at_the_next_pump)
{
    ASSERT_NE(open_gl(), nullptr);
    EXPECT_EQ(vesk_window_set_mode(window, 0, 0, vesk_window_full_screen), 1);
    EXPECT_EQ(window->flags & vesk_flag_full_screen, 0);
    uint32_t code;
    int pressed;
    vesk_get_event(window, &code, &pressed);
    EXPECT_NE(window->flags & vesk_flag_full_screen, 0);
    vesk_window_set_mode(window, 300, 200, 0);
    vesk_get_event(window, &code, &pressed);
    EXPECT_EQ(window->flags & vesk_flag_full_screen, 0);
}

TEST_F(window_state, display_modes_are_listed_and_end_with_zero)
{
    const vesk_display_mode* modes = vesk_display_modes();
    ASSERT_NE(modes, nullptr);
    ASSERT_GT(modes[0].width, 0);
    int n = 0;
    while (modes[n].width) n++;
    EXPECT_EQ(modes[n].height, 0);
    EXPECT_EQ(modes[n].bits, 0);
}

TEST_F(window_state, fatal_close_shuts_the_window)
{
    ASSERT_NE(open_gl(), nullptr);
    EXPECT_EQ(vesk_current_window, window);
    vesk_close_for_fatal();
    EXPECT_EQ(vesk_current_window, nullptr);
    window = nullptr;
    EXPECT_NE(log_text().find("Window shutdown complete\n"), std::string::npos);
}

}  // namespace
