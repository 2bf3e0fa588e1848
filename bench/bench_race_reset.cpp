// The race reset of the generated practice track, headless (no GL: no
// textures are uploaded): a cold load (the track freed before each reset)
// and a same-track restart, each with 1 and 40 AI riders, so the share of
// the track files and of the riders shows.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/game_state.h"
#include "core/vfs.h"
#include "game/lighting.h"
#include "game/race_reset.h"
#include "game/track_list.h"
#include "physics/physics_world.h"
#include "physics/rider.h"
#include "ui/settings.h"

namespace {

int no_texture(const char*) { return 0; }

// build/bench/<program> is beside build/data.
void open_generated_root()
{
    static bool done = false;
    if (done) return;
    done = true;
    char exe[PATH_MAX] = "";
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string dir = n > 0 ? std::string(exe, size_t(n)) : std::string("./x");
    dir = dir.substr(0, dir.rfind('/'));
    setenv("ZT_HOME", (dir + "/../data").c_str(), 0);
    std::string home = "/tmp/zt_bench_reset_" + std::to_string(getpid());
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    setenv("ZT_SEED", "7", 1);
    vfs_build_index();
    track_list_build();
    physics_world_create();
    lighting_texture_loader = no_texture;
    snprintf(settings.track, sizeof settings.track, "tracks/practice");
}

void race(int riders)
{
    int32_t kinds[slot_total] = {};
    for (int k = 0; k < riders; k++) kinds[k] = 2;
    reset_session(kinds, 0, 0, 0, 3, 0);
}

void BM_reset_cold(benchmark::State& state)
{
    open_generated_root();
    int riders = int(state.range(0));
    for (auto _ : state) {
        track_free();
        race(riders);
    }
    if (!track_dir[0]) state.SkipWithError("the practice track did not load");
}
BENCHMARK(BM_reset_cold)->Arg(1)->Arg(40)->Unit(benchmark::kMillisecond);

void BM_reset_restart(benchmark::State& state)
{
    open_generated_root();
    int riders = int(state.range(0));
    race(riders);
    for (auto _ : state) race(riders);
    if (!track_dir[0]) state.SkipWithError("the practice track did not load");
}
BENCHMARK(BM_reset_restart)->Arg(1)->Arg(40)->Unit(benchmark::kMillisecond);

}  // namespace
