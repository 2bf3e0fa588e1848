#include "ui/loading.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/game_state.h"
#include "core/util.h"
#include "gfx/imm.h"
#include "gfx/text.h"
#include "gfx/texture.h"
#include "gfx/ztgl.h"
#include "platform/vesk_clock.h"
#include "platform/vesk_input.h"
#include "platform/vesk_log.h"
#include "platform/vesk_window.h"
#include "ui/bindings.h"
#include "ui/settings.h"
#include "ui/view.h"

loading_state loading;
const char loading_build_text[] = "2026-01-07-1682 snapshot";

namespace {

double wall_seconds()
{
    int32_t s, us;
    vesk_get_time(&s, &us);
    return s + us * 1e-6;
}

// Drawing needs the programs; without them (no window yet, tests) the
// screens only keep their state.
bool gl_ready() { return ztgl_state.program[ZTGL_UNLIT] != 0; }

void fill_rect(float r, float g, float b, float a, float x0, float y0, float x1, float y1)
{
    ztglBindTexture(GL_TEXTURE_2D, ztgl_state.white_texture);
    imm_begin(IMM_QUADS);
    imm_color(r, g, b, a);
    imm_texcoord(0, 0);
    imm_vertex3(x0, y0, -1);
    imm_vertex3(x1, y0, -1);
    imm_vertex3(x1, y1, -1);
    imm_vertex3(x0, y1, -1);
    imm_end();
}

// Begins a frame with the perspective set; null when the window can't draw.
const vesk_rect* frame_begin()
{
    if (!game_window || !gl_ready()) return nullptr;
    const vesk_rect* r = vesk_gl_frame_begin(game_window);
    if (!r) return nullptr;
    ztgl_use_program(ZTGL_UNLIT);
    set_perspective(r->width, r->height, float(settings.fov.value));
    return r;
}

void frame_end()
{
    ztgl_flush();
    vesk_gl_frame_end(game_window);
}

} // namespace

double (*loading_clock)() = wall_seconds;

void loading_drain_input()
{
    uint32_t code;
    int pressed;
    if (game_window)
        while (vesk_get_event(game_window, &code, &pressed))
            // The window's close request must outlive the drain, or closing
            // the window during a long load would be lost.
            if (code == vesk_code_close) quit_requested = 1;
    for (auto& c : control_binding_list) c.value = 0;
    for (float& v : control_channels) v = 0;
}

void loading_title_rect(float w, float h, float out[4])
{
    // A 2:1 image: full width when the view is wider than 2:1, else full height.
    if (w > 2 * h) {
        out[0] = -w, out[1] = 0.5f * w, out[2] = w, out[3] = -0.5f * w;
    } else {
        out[0] = -2 * h, out[1] = h, out[2] = 2 * h, out[3] = -h;
    }
}

void loading_screen(const char* text)
{
    copy_bounded(loading.drawn, text, sizeof loading.drawn);
    if (!gl_ready()) return;
    float w = view_extent_w, h = view_extent_h;
    ztglDisable(GL_DEPTH_TEST);
    fill_rect(0, 0, 0, 1, -w, -h, w, h);
    // Looked up at every drawing: shut-down draws its status lines while it
    // deletes the textures.
    loading.title_texture = texture_find("@title.png");
    if (loading.title_texture) {
        float r[4];
        loading_title_rect(w, h, r);
        ztglBindTexture(GL_TEXTURE_2D, GLuint(loading.title_texture));
        imm_begin(IMM_QUADS);
        imm_color(1, 1, 1, 1);
        imm_texcoord(0, 0), imm_vertex3(r[0], r[1], -1);
        imm_texcoord(1, 0), imm_vertex3(r[2], r[1], -1);
        imm_texcoord(1, 1), imm_vertex3(r[2], r[3], -1);
        imm_texcoord(0, 1), imm_vertex3(r[0], r[3], -1);
        imm_end();
    }
    if (fonts[FONT_MAIN].texture) {
        // The text in a view 25 lines high, centred a little below the middle.
        float unit = 2 * h / 25;
        if (text[0]) {
            ztglPushMatrix();
            ztglTranslatef(0, -4 * unit, -1);
            ztglScalef(unit, unit, 1);
            float half = w / unit;
            draw_text_centred(1, 1, 1, 1, -half, half, text);
            ztglPopMatrix();
        }
        float small = h / 16;
        ztglPushMatrix();
        ztglTranslatef(w - text_width(loading_build_text) * small, -h, -1);
        ztglScalef(small, small, 1);
        draw_text(0.75f, 0.75f, 0.75f, 1, loading_build_text);
        ztglPopMatrix();
    }
    ztglEnable(GL_DEPTH_TEST);
    loading.screens_drawn++;
}

void loading_spinner_draw(double now)
{
    if (!gl_ready()) return;
    float w = view_extent_w, h = view_extent_h;
    ztglDisable(GL_DEPTH_TEST);
    fill_rect(0.25f, 0.25f, 0.25f, 1, -w, -h, w, h);
    ztglBindTexture(GL_TEXTURE_2D, ztgl_state.white_texture);
    imm_begin(IMM_TRIANGLE_FAN);
    imm_color(0.5f, 0.5f, 0.5f, 1);
    imm_vertex3(0, 0, -1);
    imm_color(0.25f, 0.25f, 0.25f, 1);
    for (int i = 0; i <= 16; i++) {
        float a = float(i) * float(M_PI) / 8;
        imm_vertex3(2 * h * std::cos(a), 2 * h * std::sin(a), -1);
    }
    imm_end();
    if (loading.spinner_fade_start == 0) loading.spinner_fade_start = now;
    double a = (now - loading.spinner_fade_start - 0.25) * 4;
    float alpha = float(a < 0 ? 0 : a > 1 ? 1 : a);
    if (alpha > 0) {
        double t = now / 2;
        int phase = int((t - std::floor(t)) * 64);
        for (int j = 0; j < 32; j++) {
            float x = h - float(j) * h / 16;
            bool large = (phase + j) & 32;
            float shadow = large ? 0.0234375f * h : 0.017578125f * h;
            float face = large ? 0.017578125f * h : 0.013183594f * h;
            float grey = (loading.tick_count >> j) & 1 ? 0.875f : 0.75f;
            fill_rect(0, 0, 0, 0.1f * alpha, x - shadow, -shadow, x + shadow, shadow);
            fill_rect(grey, grey, grey, alpha, x - face, -face, x + face, face);
        }
    }
    ztglEnable(GL_DEPTH_TEST);
    loading.spinners_drawn++;
}

namespace {
// Drains input and puts one status screen on the window when it can draw.
void show_line(const char* line)
{
    loading_drain_input();
    if (frame_begin()) {
        loading_screen(line);
        frame_end();
    } else {
        copy_bounded(loading.drawn, line, sizeof loading.drawn);
    }
}
} // namespace

void show_status(const char* text)
{
    show_line(text);
    double now = loading_clock();
    if (loading.status_time > 0 && now - loading.status_time > loading.slowest_interval) {
        loading.slowest_interval = now - loading.status_time;
        copy_bounded(loading.slowest_status, loading.status, sizeof loading.slowest_status);
    }
    loading.status_time = now;
    copy_bounded(loading.status, text, sizeof loading.status);
}

void show_status_logged(const char* text)
{
    show_status(text);
    if (text[0]) vesk_log("%s\n", text);
}

void show_status_restart(const char* text)
{
    show_status_logged(text);
    loading.progress_dots = 0;
}


void show_progress(const char* text)
{
    double now = loading_clock();
    if (now - loading.last_progress_time < 0.125) return;
    loading.last_progress_time = now;
    static const char* const dots[] = {"", ".", "..", "..."};
    char line[80];
    snprintf(line, sizeof line, "%.64s%s", text, dots[loading.progress_dots & 3]);
    loading.progress_dots = (loading.progress_dots + 1) % 4;
    show_line(line);
    vesk_log("%s\n", line);
}

void show_done(const char* text)
{
    char line[80];
    snprintf(line, sizeof line, "%.64s...done", text);
    show_line(line);
    vesk_log("%s\n", line);
}

void loading_tick()
{
    loading.tick_count++;
    loading_drain_input();
    double now = loading_clock();
    if (now - loading.last_tick_time < 0.0625) return;
    loading.last_tick_time = now;
    if (frame_begin()) {
        loading_spinner_draw(now);
        frame_end();
    }
}
