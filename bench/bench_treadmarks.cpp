// Treadmarks at 1280 x 720 (run under xvfb-run: llvmpipe): the practice
// track's riding frame from the chase camera at the start with a full ring
// of prints (the default limit, 100000, laid by a pack of twenty riders
// going round from the start line) against the same frame without prints; the frame that also sends a tic's worth of new prints
// of twenty riders, and the one that re-seats prints on changed ground. And
// the laying itself, per print, as the wheel contact does it each tic.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>

#include <ode/ode.h>

#include "bench/in_game.h"
#include "core/game_state.h"
#include "game/cameras.h"
#include "game/race_reset.h"
#include "game/startup.h"
#include "gfx/ztgl.h"
#include "physics/rider.h"
#include "platform/vesk_window.h"
#include "terrain/terrain.h"
#include "terrain/treadmarks.h"
#include "ui/settings.h"
#include "ui/treadmark_draw.h"
#include "ui/view.h"
#include "ui/world_view.h"

namespace {

float start_x, start_z;

// A pack of twenty riders going round the practice track's centre line at
// 38 ft/s, 20 ft apart and spread across 8 ft, each wheel calling the
// placement every tic as the wheel contact does (slip 10 ft/s: every
// surface's rule lays): the prints interleave as a race lays them.
std::vector<float> line;  // x, z pairs of the closed centre line
float pack_s;             // the leader's distance along it

void read_centre_line()
{
    FILE* f = fopen("../data/tracks/practice/centre_line", "r");
    if (!f) return;
    char text[128];
    float x, z;
    while (fgets(text, sizeof text, f))
        if (sscanf(text, "%f %f", &x, &z) == 2) line.push_back(x), line.push_back(z);
    fclose(f);
}

void point_on_line(float s, float across, float out[3])
{
    size_t n = line.size() / 2;
    for (int lap = 0; lap < 1000; lap++)
        for (size_t k = 0; k < n; k++) {
            float x0 = line[2 * k], z0 = line[2 * k + 1];
            float x1 = line[2 * ((k + 1) % n)], z1 = line[2 * ((k + 1) % n) + 1];
            float length = std::hypot(x1 - x0, z1 - z0);
            if (s > length) {
                s -= length;
                continue;
            }
            float dx = (x1 - x0) / length, dz = (z1 - z0) / length;
            out[0] = x0 + dx * s + dz * across, out[1] = 0, out[2] = z0 + dz * s - dx * across;
            return;
        }
}

float trackers[20][2][3];
void lay_pack(int64_t n);

// A clean ring filled by the pack from the start line on.
void fill_ring()
{
    treadmarks_clear(&track_treadmarks);
    pack_s = 0;
    lay_pack(track_treadmarks.capacity);
}

void lay_pack(int64_t n)
{
    if (line.size() < 4) return;
    uint64_t target = track_treadmarks.laid + uint64_t(n);
    for (int tic = 0; tic < 1000000 && track_treadmarks.laid < target; tic++) {
        pack_s += 38.0f / 128.0f;
        for (int r = 0; r < 20; r++)
            for (int w = 0; w < 2; w++) {
                float p[3];
                point_on_line(pack_s - 20.0f * float(r) + (w == 0 ? 2.5f : -2.5f), float(r % 5 - 2) * 2.0f, p);
                float* tr = trackers[r][w];
                if (pack_s < 1.0f) tr[0] = p[0], tr[2] = p[2];
                terrain_treadmark_place(&track_terrain, &track_treadmarks, tr, p, 10.0f, 38.0f, w == 0);
            }
    }
}

// CPU seconds of the whole process, the rasteriser's threads included: on a
// shared machine it moves far less with other work than the wall clock.
double process_cpu_seconds()
{
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

void frame()
{
    const vesk_rect* rect = vesk_gl_frame_begin(game_window);
    if (!rect) return;
    set_perspective(rect->width, rect->height, float(settings.fov.value));
    orbit_view_draw();
    ztgl_flush();
    ztglFinish();
    vesk_gl_frame_end(game_window);
}

void BM_frame_without_prints(benchmark::State& state)
{
    treadmarks_clear(&track_treadmarks);
    frame();
    double cpu0 = process_cpu_seconds();
    for (auto _ : state) frame();
    state.counters["process_cpu_ms"] = 1000 * (process_cpu_seconds() - cpu0) / double(state.iterations());
}

void BM_frame_with_100000_prints(benchmark::State& state)
{
    fill_ring();
    frame();  // the first frame sends them all
    double cpu0 = process_cpu_seconds();
    for (auto _ : state) frame();
    state.counters["process_cpu_ms"] = 1000 * (process_cpu_seconds() - cpu0) / double(state.iterations());
    state.counters["prints"] = track_treadmarks.count;
    state.counters["drawn"] = treadmarks_drawn;
}

// Twenty riders at 32 frames a second: 4 tics of 40 wheels, about one print
// each a tic at 30 ft/s, sent with the frame.
void BM_frame_with_160_new_prints(benchmark::State& state)
{
    fill_ring();
    frame();
    double cpu0 = process_cpu_seconds(), paused = 0;
    for (auto _ : state) {
        state.PauseTiming();
        double p0 = process_cpu_seconds();
        lay_pack(160);
        paused += process_cpu_seconds() - p0;
        state.ResumeTiming();
        frame();
    }
    state.counters["process_cpu_ms"] = 1000 * (process_cpu_seconds() - cpu0 - paused) / double(state.iterations());
}

// Ruts dug every frame: each frame re-seats its share of the full ring.
void BM_frame_settling_on_changing_ground(benchmark::State& state)
{
    fill_ring();
    frame();
    double cpu0 = process_cpu_seconds();
    for (auto _ : state) {
        track_terrain.change_counter++;
        frame();
    }
    state.counters["process_cpu_ms"] = 1000 * (process_cpu_seconds() - cpu0) / double(state.iterations());
}

// One wheel's call a tic along the start straight (+x), 4.8 inches on each
// time: one print of the hardpack's 4-inch spacing a call.
void BM_lay_one_print(benchmark::State& state)
{
    treadmarks_clear(&track_treadmarks);
    float tracker[3] = {start_x, 0.0f, start_z};
    int k = 0;
    for (auto _ : state) {
        if (++k == 300) k = 1, tracker[0] = start_x, tracker[2] = start_z;
        const float point[3] = {start_x + float(k) / 2.5f, 0.0f, start_z};
        benchmark::DoNotOptimize(
            terrain_treadmark_place(&track_terrain, &track_treadmarks, tracker, point, 10.0f, 30.0f, 0));
    }
    state.counters["prints_per_call"] = double(track_treadmarks.laid) / double(state.iterations());
}

BENCHMARK(BM_frame_without_prints)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_frame_with_100000_prints)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_frame_with_160_new_prints)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_frame_settling_on_changing_ground)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_lay_one_print)->Unit(benchmark::kNanosecond);

void measure(int frame_number)
{
    if (frame_number == 0) {
        int32_t kinds[slot_total] = {};
        kinds[0] = 2;
        reset_session(kinds, 0, 0, 0, 3, 0);
        watched_slot = 0;
        const dReal* p = dBodyGetPosition(rider_table[0]->frame_body);
        start_x = float(p[0]), start_z = float(p[2]);
        read_centre_line();
        return;
    }
    if (frame_number != 8) return;
    in_game::run_benchmarks_and_quit();
}

} // namespace

int main(int argc, char** argv)
{
    // The default limit, whatever a config says.
    return in_game::run(argc, argv, "zt_bench_treadmarks", "treadmark_limit=100000\n", measure);
}
