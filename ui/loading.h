#pragma once
// Loading screens. Long work runs on the main thread (start-up, track and
// terrain loading, the file index, the track list) and reports progress
// through these calls, which keep the window alive while it runs. Until the
// screens are drawn, the calls keep their state and log their texts.
#include <cstdint>

struct loading_state {
    char status[80];            // current status text (79 characters)
    double status_time;         // wall-clock seconds when it was set
    double slowest_interval;    // longest time between two status texts
    char slowest_status[80];    // the text shown during it
    int32_t progress_dots;      // 0..3
    double last_progress_time;  // wall-clock seconds of the last progress drawing
    uint32_t tick_count;        // loading_tick calls
    double last_tick_time;      // wall-clock seconds of the last spinner drawing
    char drawn[96];             // the text of the last status screen drawn
    uint32_t screens_drawn;     // status screens actually put on the window
    uint32_t spinners_drawn;    // spinner screens actually put on the window
    double spinner_fade_start;  // wall-clock seconds of the first spinner, 0 before
    int32_t title_texture;      // "!@title.png" when the last screen was drawn, 0 without
};

extern loading_state loading;
// Wall-clock seconds the screens measure with; tests put a fake clock here.
extern double (*loading_clock)();
// The build text drawn at the bottom-right corner.
extern const char loading_build_text[];

// Pops every pending input event so no stale press reaches the game after a
// long load, and zeroes the held control values. A close request among them
// is kept as quit_requested, so closing the window during a load still quits.
void loading_drain_input();

void show_status(const char* text);
// show_status, then "%s\n" to the log when the text is not empty.
void show_status_logged(const char* text);
// show_status_logged, and the progress dots start again from none.
void show_status_restart(const char* text);
// "%.64s" and 0 to 3 dots, at most every 1/8 s.
void show_progress(const char* text);
// "%.64s...done".
void show_done(const char* text);
// Cheap enough for tight loops: turns the spinner at most every 1/16 s.
void loading_tick();
// Draws the status screen with text into the current frame (the title image
// when loaded, the text when fonts are loaded); records the text.
void loading_screen(const char* text);
// Draws the spinner screen into the current frame at wall-clock time now.
void loading_spinner_draw(double now);
// The title image's rectangle at 2:1 over the view -w..w x -h..h:
// x0, y0 (top), x1, y1 (bottom).
void loading_title_rect(float w, float h, float out[4]);
