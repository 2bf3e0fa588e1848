// A whole riding frame at 1280 x 720 (run under xvfb-run: llvmpipe): twenty
// riders on the practice track from the chase camera with billboards,
// statues and the HUD, against the terrain alone from the same camera, and
// each layer added in turn to give its share. The program runs as it does
// for a player (its own start-up, track load and race reset); the timing
// happens inside its first frames.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>

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
#include "ui/settings.h"
#include "ui/view.h"
#include "ui/world_view.h"

namespace {

int hide_every_slot(int) { return 1; }

// Which layers a frame draws.
struct layers {
    bool sky, riders, objects, hud;
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

int bench_argc;
char** bench_argv;

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
    benchmark::Initialize(&bench_argc, bench_argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    quit_requested = 1;
}

}  // namespace

int main(int argc, char** argv)
{
    bench_argc = argc;
    bench_argv = argv;
    // A scratch player folder holding a windowed 1280 x 720 config, the
    // generated data root beside the bench folder.
    char scratch[] = "/tmp/zt_bench_frame_XXXXXX";
    if (!mkdtemp(scratch)) return 1;
    std::string player = std::string(scratch) + "/Zentrik";
    mkdir(player.c_str(), 0700);
    if (FILE* f = fopen((player + "/config").c_str(), "w")) {
        fputs("video_mode=Windowed\nxres=1280\nyres=720\n", f);
        fclose(f);
    }
    setenv("XDG_DATA_HOME", scratch, 1);
    setenv("ZT_HOME", "../data", 0);
    setenv("ZT_SEED", "1", 0);
    frame_hook = measure;
    std::vector<std::string> words = {"zentrik", "--track", "practice", "--nosound", "--lock-fps", "32",
                                      "--width", "1280", "--height", "720"};
    std::vector<char*> args;
    for (std::string& w : words) args.push_back(w.data());
    return game_main(int(args.size()), args.data());
}
