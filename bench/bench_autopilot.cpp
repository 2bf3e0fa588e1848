// The auto pilot per rider and tic (compare with bench_physics_tic's
// per-rider physics tic), the look-ahead plan of a line pick, and the
// whole-lap plan over full sets of 45 lines.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <ode/ode.h>

#include "ai/autopilot.h"
#include "ai/line_planner.h"
#include "core/alloc.h"
#include "core/array.h"
#include "core/vfs.h"
#include "core/game_state.h"
#include "physics/physics_world.h"
#include "physics/rider.h"
#include "physics/rider_build.h"

namespace {

// 30 sections (10 first-lap, 20 normal-lap) of 45 lines each: lanes round
// a circle of radius 400, 0.1 ft apart, so nearly every line joins every
// line of the next set (the planner's worst case).
struct full_sets {
    std::vector<line_set> sets;
    full_sets() : sets(30)
    {
        const double pi = 3.14159265358979323846;
        for (int s = 0; s < 30; s++)
            for (int i = 0; i < line_set_size; i++) {
                racing_line& l = sets[s].lines[i];
                memset(&l, 0, sizeof l);
                int n = 20;
                l.points = static_cast<line_point*>(xmalloc(sizeof(line_point) * n));
                double radius = 400.0 + 0.1 * i, a0 = 2.0 * pi * (s % 20) / 20.0;
                for (int k = 0; k < n; k++) {
                    double a = a0 + (2.0 * pi / 20.0) * k / n;
                    l.points[k] = {float(radius * std::cos(a)), 0.0f, float(radius * std::sin(a)), 40.0f, 0.0f};
                }
                l.point_count = n;
                l.tested = 5 + (i * 7 + s) % 13;
                l.failures = (i + s) % 3;
                l.sum_time_mid = l.tested * (300 + (i * 31 + s * 17) % 50);
                l.id = 1 + s * line_set_size + i;
            }
        racing_line_sets = racing_line_store{};
        racing_line_sets.sets = sets.data();
        racing_line_sets.first_lap_sections = 10;
        racing_line_sets.normal_lap_sections = 20;
    }
    ~full_sets()
    {
        for (line_set& s : sets)
            for (racing_line& l : s.lines) racing_line_empty(&l);
        racing_line_sets = racing_line_store{};
    }
};

void BM_ai_estimate_laps(benchmark::State& state)
{
    full_sets f;
    std::vector<int32_t> table(30);
    for (auto _ : state) benchmark::DoNotOptimize(ai_estimate_laps(table.data(), 0));
}
BENCHMARK(BM_ai_estimate_laps)->Unit(benchmark::kMillisecond);

void BM_plan_ahead(benchmark::State& state)
{
    full_sets f;
    float scores[45];
    for (auto _ : state) {
        plan_ahead(12, scores, 1);
        benchmark::DoNotOptimize(scores[0]);
    }
}
BENCHMARK(BM_plan_ahead)->Unit(benchmark::kMicrosecond);

// The whole-lap plan over the practice track's shipped expert lines, read
// from the generated data root with the game's cache reader (22 sets).
void BM_ai_estimate_laps_practice(benchmark::State& state)
{
    std::string root =
        std::filesystem::canonical(std::filesystem::read_symlink("/proc/self/exe").parent_path() / ".." / "data");
    setenv("ZT_HOME", root.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    unsetenv("HOME");
    vfs_shutdown();
    snprintf(track_dir, sizeof track_dir, "%s", "tracks/practice");
    std::vector<line_set> sets(22);
    memset(sets.data(), 0, sizeof(line_set) * sets.size());
    racing_line_sets = racing_line_store{};
    racing_line_sets.sets = sets.data();
    racing_line_sets.first_lap_sections = 11;
    racing_line_sets.normal_lap_sections = 11;
    line_sets_empty();
    if (lines_read(2) != 22) {
        state.SkipWithError("no shipped practice lines");
        return;
    }
    std::vector<int32_t> table(22);
    for (auto _ : state) benchmark::DoNotOptimize(ai_estimate_laps(table.data(), 0));
    line_sets_empty();
    racing_line_sets = racing_line_store{};
    track_dir[0] = 0;
    vfs_shutdown();
}
BENCHMARK(BM_ai_estimate_laps_practice)->Unit(benchmark::kMillisecond);

// One rider standing in a world, following a long straight path: the
// per-tic work of riding (no pick, no stepping).
void BM_autopilot_tic(benchmark::State& state)
{
    dInitODE2(0);
    dWorldID world = dWorldCreate();
    physics_world_setup(world);
    rider* r = rider_create("crf250(2013)", 0, 0, "1", nullptr, nullptr, nullptr, nullptr);
    rider_build(r, world);
    array_init(&r->line_path, sizeof(line_point));
    for (int i = 0; i < 4000; i++) {
        line_point p = {0.0f, 0.0f, -5.0f * i, 30.0f, 0.0f};
        array_push(&r->line_path, &p);
    }
    r->autopilot_personality = 2;
    r->path_target = 10;
    gate_drop_tic = 0;
    start_sequence_tic = 0;
    tic_counter = 128 * 10;
    for (auto _ : state) {
        r->progress_stamp = tic_counter;  // never stuck
        autopilot_tic(r);
        benchmark::DoNotOptimize(r->steer);
    }
    rider_destroy(r);
    dWorldDestroy(world);
    dCloseODE();
}
BENCHMARK(BM_autopilot_tic);

}  // namespace
