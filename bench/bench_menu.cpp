// The busiest menu page, Suspension and Gearing (twenty sliders with their
// derived texts), drawn over a race frame (the practice track's ground seen
// from the start) at 1280 x 720, and its share of that frame. Run under
// xvfb-run (llvmpipe); the goal is a share under 10 %. On a busy machine
// LP_NUM_THREADS=0 (the driver draws on the calling thread) gives steadier
// figures; under callgrind the two kinds of frame have functions of their
// own, for instruction counts that no load changes (menu_figures.md).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <ctime>

#include "core/game_state.h"
#include "gfx/text.h"
#include "gfx/ztgl.h"
#include "gfx/ztgl_gl.h"
#include "physics/setup.h"
#include "platform/vesk_window.h"
#include "terrain/terrain_load.h"
#include "terrain/terrain_render.h"
#include "ui/menu.h"
#include "ui/widgets.h"
#include "ui/settings.h"
#include "ui/view.h"

namespace {

constexpr int width = 1280, height = 720;

struct scene {
    bool ready = false;
    GLuint framebuffer = 0, colour = 0, depth = 0;
};

scene& setup()
{
    static scene s;
    if (s.ready) return s;
    setenv("ZT_HOME", "../data", 0);
    vesk_gl_request_version(3, 2, vesk_gl_core);
    vesk_window* window = vesk_gl_window_open("bench", 16, 16, 32, 8, 24, 0, 0);
    if (!window || !ztgl_init(window) || !ztgl_build_programs() || !load_fonts()) return s;
    if (!terrain_load(&track_terrain, "@tracks/practice")) return s;
    settings_defaults();
    setup_defaults(&player_setup);
    GLuint* textures[] = {&s.colour, &s.depth};
    const GLint formats[] = {GL_RGBA8, GL_DEPTH_COMPONENT24};
    const GLenum kinds[][2] = {{GL_RGBA, GL_UNSIGNED_BYTE}, {GL_DEPTH_COMPONENT, GL_UNSIGNED_INT}};
    for (int i = 0; i < 2; i++) {
        ztglGenTextures(1, textures[i]);
        ztglBindTexture(GL_TEXTURE_2D, *textures[i]);
        ztglTexImage2D(GL_TEXTURE_2D, 0, formats[i], width, height, 0, kinds[i][0], kinds[i][1], nullptr);
    }
    ztglGenFramebuffers(1, &s.framebuffer);
    ztglBindFramebuffer(GL_FRAMEBUFFER, s.framebuffer);
    ztglFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, s.colour, 0);
    ztglFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, s.depth, 0);
    s.ready = true;
    return s;
}

// GL draws and matrix uploads counted through the loaded entry points.
int64_t gl_draws, gl_matrix_uploads;
PFNGLDRAWRANGEELEMENTSPROC real_draw_range_elements;
PFNGLDRAWARRAYSPROC real_draw_arrays;
PFNGLUNIFORMMATRIX4FVPROC real_uniform_matrix;

void APIENTRY counted_draw_range_elements(GLenum mode, GLuint start, GLuint end, GLsizei count, GLenum type,
                                            const void* offset)
{
    gl_draws++;
    real_draw_range_elements(mode, start, end, count, type, offset);
}

void APIENTRY counted_draw_arrays(GLenum mode, GLint first, GLsizei count)
{
    gl_draws++;
    real_draw_arrays(mode, first, count);
}

void APIENTRY counted_uniform_matrix(GLint location, GLsizei count, GLboolean transpose, const GLfloat* value)
{
    gl_matrix_uploads++;
    real_uniform_matrix(location, count, transpose, value);
}

void count_draws()
{
    if (real_draw_range_elements) return;
    real_draw_range_elements = ztgl_fn.DrawRangeElements;
    real_draw_arrays = ztgl_fn.DrawArrays;
    real_uniform_matrix = ztgl_fn.UniformMatrix4fv;
    ztgl_fn.DrawRangeElements = counted_draw_range_elements;
    ztgl_fn.DrawArrays = counted_draw_arrays;
    ztgl_fn.UniformMatrix4fv = counted_uniform_matrix;
}

double process_cpu_seconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// A race frame: the ground from a rider's height at the start, then the
// open menu page (none when menu_page is -1), through to the finish.
void frame(scene& s)
{
    terrain* t = &track_terrain;
    ztglBindFramebuffer(GL_FRAMEBUFFER, s.framebuffer);
    ztgl_use_program(ZTGL_UNLIT);
    set_perspective(width, height, 110);
    ztglClearColor(0.45f, 0.62f, 0.85f, 1);
    ztglClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    ztglMatrixMode(ZTGL_MODELVIEW);
    ztglLoadIdentity();
    const float eye[3] = {110, 25, 120};
    ztglRotatef(90, 0, 1, 0);
    ztglTranslatef(-eye[0], -eye[1], -eye[2]);
    for (int i = 0; i < 3; i++) t->camera[i] = eye[i];
    terrain_update_pyramid(t);
    ztglEnable(GL_DEPTH_TEST);
    ztgl_use_program(ZTGL_TERRAIN);
    terrain_draw(t);
    ztgl_use_program(ZTGL_UNLIT);
    menu_drawable_w = width, menu_drawable_h = height;
    menu_draw();
    ztgl_flush();
    ztglFinish();
}

// The two kinds of frame apart, so that an instruction count (valgrind
// --tool=callgrind, which the machine's load does not change) gives each
// its own inclusive cost per call.
__attribute__((noinline)) void frame_bare(scene& s)
{
    menu_page = page_none;
    frame(s);
}

__attribute__((noinline)) void frame_with_page(scene& s, int page)
{
    menu_page = page;
    frame(s);
}

// Frames alternate without and with the page; the page's share is what it
// adds to a frame, over the whole frame with it.
void page_over_race(benchmark::State& state, int page)
{
    scene& s = setup();
    if (!s.ready) {
        state.SkipWithError("no GL context, fonts or data root");
        return;
    }
    using clock = std::chrono::steady_clock;
    count_draws();
    double seconds[2] = {}, cpu[2] = {};
    int64_t counts[2] = {}, draws[2] = {}, uploads[2] = {};
    menu_line = 5;
    // Shaders and driver state are made on first use: once here, unmeasured.
    // (per page and way of drawing it).
    static bool warm[1024];
    int way = (page & 31) | (menu_draw_passes & 3) << 5 | (menu_quads_on & 1) << 7 | (text_drawing_on & 1) << 8;
    if (!warm[way]) {
        for (int with = 0; with < 2; with++) {
            menu_page = with ? page : page_none;
            frame(s);
        }
        warm[way] = true;
    }
    // Alternating across calls too: a run of one frame a repetition (as
    // under valgrind) still draws both kinds.
    static int64_t frames_drawn = 0;
    for (auto _ : state) {
        int with = int(frames_drawn++ & 1);
        auto t0 = clock::now();
        double c0 = process_cpu_seconds();
        int64_t d0 = gl_draws, u0 = gl_matrix_uploads;
        if (with) frame_with_page(s, page);
        else frame_bare(s);
        draws[with] += gl_draws - d0;
        uploads[with] += gl_matrix_uploads - u0;
        cpu[with] += process_cpu_seconds() - c0;
        seconds[with] += std::chrono::duration<double>(clock::now() - t0).count();
        counts[with]++;
    }
    menu_page = page_none;
    if (!counts[0] || !counts[1]) return;
    double bare = seconds[0] / double(counts[0]), with_page = seconds[1] / double(counts[1]);
    state.counters["race_ms"] = bare * 1000;
    state.counters["with_page_ms"] = with_page * 1000;
    state.counters["page_share_pct"] = 100 * (with_page - bare) / with_page;
    // The same share in processor time over all the driver's threads: on a
    // shared machine the wall clock also counts the waits for other
    // programs, the processor time only the work of the frame.
    double cpu_bare = cpu[0] / double(counts[0]), cpu_with = cpu[1] / double(counts[1]);
    state.counters["page_cpu_share_pct"] = 100 * (cpu_with - cpu_bare) / cpu_with;
    // What the page asks of the driver: its draws and matrix uploads.
    state.counters["page_draws"] = double(draws[1]) / double(counts[1]) - double(draws[0]) / double(counts[0]);
    state.counters["page_matrix_uploads"] =
        double(uploads[1]) / double(counts[1]) - double(uploads[0]) / double(counts[0]);
}

void BM_suspension_page_over_race(benchmark::State& state)
{
    page_over_race(state, page_suspension);
}
BENCHMARK(BM_suspension_page_over_race)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same page's quads alone (argument 0) and its text alone (1), drawn
// in one pass in order with the other half switched off: where the page's
// cost lies.
void BM_suspension_half(benchmark::State& state)
{
    int32_t* half = state.range(0) == 0 ? &text_drawing_on : &menu_quads_on;
    menu_draw_passes = 1;
    *half = 0;
    page_over_race(state, page_suspension);
    *half = 1;
    menu_draw_passes = 2;
}
BENCHMARK(BM_suspension_half)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The exit screen: the page background and four lines of text, for what
// the background alone costs.
void BM_exit_screen_over_race(benchmark::State& state)
{
    page_over_race(state, page_exit);
}
BENCHMARK(BM_exit_screen_over_race)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
