#pragma once
// A fixture for tests that open real windows: a log file of its own per test,
// options cleared, and the window's native handle for injecting events.
#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/vesk_window_record.h"

struct gl_window_test : ::testing::Test {
    std::string log_path;
    vesk_window* window = nullptr;

    void SetUp() override
    {
        log_path = std::string("/tmp/vesk_") + std::to_string(getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
        setenv("VESK_LOGFILE", log_path.c_str(), 1);
        unsetenv("VESK_OPTIONS");
        vesk_log_reset_for_tests();
        vesk_gl_pretend_no_es = false;
        vesk_gl_request_version(3, 1, vesk_gl_compatibility);
    }
    void TearDown() override
    {
        if (window) vesk_gl_window_close(window);
        vesk_log_reset_for_tests();
        unsetenv("VESK_LOGFILE");
        unsetenv("MESA_GL_VERSION_OVERRIDE");
        remove(log_path.c_str());
    }
    std::string log_text()
    {
        std::ifstream in(log_path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void options(const char* text)
    {
        setenv("VESK_OPTIONS", text, 1);
        vesk_log_reset_for_tests();
    }
    vesk_window* open_gl(int width = 320, int height = 240, int flags = 32)
    {
        window = vesk_gl_window_open("test", width, height, flags, 0, 24, 0, 0);
        return window;
    }
    uint32_t window_id() { return SDL_GetWindowID(static_cast<SDL_Window*>(window->native)); }
    void push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }
    void push_window_event(Uint8 what)
    {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = window_id();
        e.window.event = what;
        push(e);
    }
};
