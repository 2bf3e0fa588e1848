// A whole riding frame at 1280 x 720 (run under xvfb-run: llvmpipe): twenty
// riders on the practice track from the chase camera with billboards,
// statues and the HUD, against the terrain alone from the same camera, and
// each layer added in turn to give its share. The program runs as it does
// for a player (its own start-up, track load and race reset); the timing
// happens inside its first frames.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>

#include "bench/in_game.h"
#include "core/game_state.h"
#include "game/cameras.h"
#include "game/flaggers.h"
#include "game/race_reset.h"
#include "game/startup.h"
#include "game/track_cameras.h"
#include "game/track_objects.h"
#include "gfx/ztgl.h"
#include "physics/physics_world.h"
#include "platform/vesk_window.h"
#include "ui/hud.h"
#include "ui/menu.h"
#include "ui/widgets.h"
#include "ui/settings.h"
#include "ui/view.h"
#include "ui/world_view.h"

namespace {

int hide_every_slot(int) { return 1; }

// Which layers a frame draws; page: the busiest menu page, Suspension and
// Gearing, open over the race as the program draws it.
struct layers {
    bool sky, riders, objects, hud, page = false;
};

void frame(const layers& l)
{
    const vesk_rect* rect = vesk_gl_frame_begin(game_window);
    if (!rect) return;
    set_perspective(rect->width, rect->height, float(settings.fov.value));
    options.fugly = !l.sky;
    auto hidden = slot_is_hidden_hook;
    if (!l.riders) slot_is_hidden_hook = hide_every_slot;
    int32_t billboards = track_objects.billboards.count, statues = track_objects.statues.count;
    if (!l.objects) track_objects.billboards.count = 0, track_objects.statues.count = 0;
    orbit_view_draw();
    if (l.hud) draw_hud(watched_slot), results_overlay_draw(watched_slot);
    if (l.page) {
        menu_page = page_suspension;
        menu_line = 5;
        menu_drawable_w = rect->width, menu_drawable_h = rect->height;
        menu_draw();
        menu_page = page_none;
    }
    track_objects.billboards.count = billboards, track_objects.statues.count = statues;
    slot_is_hidden_hook = hidden;
    options.fugly = 0;
    ztgl_flush();
    ztglFinish();
    vesk_gl_frame_end(game_window);
}

// CPU seconds of the whole process, the rasteriser's threads included: on a
// shared machine it moves far less with other work than the wall clock.
double process_cpu_seconds()
{
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

void run_layers(benchmark::State& state, layers l)
{
    double cpu0 = process_cpu_seconds();
    for (auto _ : state) frame(l);
    state.counters["process_cpu_ms"] = 1000 * (process_cpu_seconds() - cpu0) / double(state.iterations());
    state.counters["ground_polygons"] = view_stats.ground_polygons;
    state.counters["billboards"] = view_stats.billboards;
}

void BM_terrain_alone(benchmark::State& s) { run_layers(s, {false, false, false, false}); }
void BM_terrain_sky(benchmark::State& s) { run_layers(s, {true, false, false, false}); }
void BM_terrain_sky_riders(benchmark::State& s) { run_layers(s, {true, true, false, false}); }
void BM_terrain_sky_riders_objects(benchmark::State& s) { run_layers(s, {true, true, true, false}); }
void BM_whole_frame(benchmark::State& s) { run_layers(s, {true, true, true, true}); }
BENCHMARK(BM_terrain_alone)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_terrain_sky)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_terrain_sky_riders)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_terrain_sky_riders_objects)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_whole_frame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The menu's busiest page over the whole frame: frames alternate without
// and with it, so that both kinds see the same load, and the page's share
// is what it adds over the frame with it, in wall-clock and in processor
// time (the rasteriser's threads included).
void BM_suspension_page_over_whole_frame(benchmark::State& state)
{
    const layers kinds[2] = {{true, true, true, true, false}, {true, true, true, true, true}};
    double seconds[2] = {}, cpu[2] = {};
    int64_t counts[2] = {};
    int64_t n = 0;
    for (auto _ : state) {
        int with = int(n++ & 1);
        auto t0 = std::chrono::steady_clock::now();
        double c0 = process_cpu_seconds();
        frame(kinds[with]);
        cpu[with] += process_cpu_seconds() - c0;
        seconds[with] += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        counts[with]++;
    }
    if (!counts[0] || !counts[1]) return;
    double bare = seconds[0] / double(counts[0]), with_page = seconds[1] / double(counts[1]);
    double cpu_bare = cpu[0] / double(counts[0]), cpu_with = cpu[1] / double(counts[1]);
    state.counters["frame_ms"] = 1000 * bare;
    state.counters["with_page_ms"] = 1000 * with_page;
    state.counters["page_share_pct"] = 100 * (with_page - bare) / with_page;
    state.counters["page_cpu_share_pct"] = 100 * (cpu_with - cpu_bare) / cpu_with;
}
BENCHMARK(BM_suspension_page_over_whole_frame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(4.0);

void measure(int frame_number)
{
    if (frame_number == 0) {
        // Twenty AI riders on the start line, the track's furniture loaded.
        int32_t kinds[slot_total] = {};
        for (int i = 0; i < 20; i++) kinds[i] = 2;
        reset_session(kinds, 0, 0, 0, 3, 0);
        watched_slot = 0;
        std::string folder = std::string("@") + track_dir + "/";
        track_cameras_load((folder + "cameras").c_str());
        billboards_load((folder + "billboards").c_str());
        statues_load((folder + "statues").c_str());
        flaggers_load((folder + "flaggers").c_str());
        return;
    }
    if (frame_number != 32) return;
    in_game::run_benchmarks_and_quit();
}

}  // namespace

int main(int argc, char** argv)
{
    return in_game::run(argc, argv, "zt_bench_frame", "", measure);
}
