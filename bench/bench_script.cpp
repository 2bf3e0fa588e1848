// The track script's cost: the generated stadium script's tic and frame
// handlers with 20 riders in the race order (goal: under 50 us a tic), and
// one native call from JavaScript against one plain JavaScript call.
//
// The riders are bare records (no physics bodies): the handler walks the
// race order and reads both tyre contacts of each every tic; half of them
// are on the ground, so the landing test reads their positions too.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/array.h"
#include "core/game_state.h"
#include "core/vfs.h"
#include "game/track_objects.h"
#include "physics/lap_timing.h"
#include "physics/rider.h"
#include "script/script_api.h"
#include "script/script_host.h"
#include "script/script_sound.h"
#include "terrain/terrain.h"
#include "terrain/terrain_load.h"

namespace {

constexpr int rider_count = 20;

struct stadium_race {
    rider* riders[rider_count] = {};
    bool ready = false;

    stadium_race()
    {
        // Benches run in build/bench; the generator writes build/data.
        std::filesystem::path data =
            std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "data";
        setenv("ZT_HOME", data.c_str(), 1);
        vfs_shutdown();
        track_objects_init();
        if (!terrain_load(&track_terrain, "@tracks/stadium")) return;
        track_objects.first_file_billboard = track_objects.billboards.count;
        track_objects.first_file_statue = track_objects.statues.count;
        billboards_load("@tracks/stadium/billboards");
        statues_load("@tracks/stadium/statues");
        for (int i = 0; i < rider_count; i++) {
            rider* r = static_cast<rider*>(calloc(1, sizeof(rider)));
            rider_gates_init(r);
            r->slot = i;
            r->front_contact.depth = r->rear_contact.depth = i % 2 ? 0.1f : 0.0f;
            rider_table[i] = riders[i] = r;
            race_order[i] = {i, 3, 1000 + i};
        }
        race_order_count = rider_count;
        gate_drop_tic = 0;
        ready = script_load("@tracks/stadium/frills.js") && current_script;
    }

    ~stadium_race()
    {
        script_unload();
        script_sounds_release();
        for (rider*& r : riders) {
            rider_table[r->slot] = nullptr;
            array_free(&r->gate_tics);
            free(r);
        }
        race_order_count = 0;
        track_objects_free();
        terrain_free(&track_terrain);
    }
};

void script_tic_stadium(benchmark::State& state)
{
    stadium_race race;
    if (!race.ready) {
        state.SkipWithError("the stadium script did not load (is the data root generated?)");
        return;
    }
    for (auto _ : state) {
        tic_counter++;
        script_tic();
    }
    if (script_last_message(current_script)[0]) state.SkipWithError(script_last_message(current_script));
}
BENCHMARK(script_tic_stadium)->Unit(benchmark::kMicrosecond);

void script_frame_stadium(benchmark::State& state)
{
    stadium_race race;
    if (!race.ready) {
        state.SkipWithError("the stadium script did not load (is the data root generated?)");
        return;
    }
    tic_counter = 1000;
    script_tic();  // the gate has dropped: the fan is cheering
    for (auto _ : state) {
        tic_counter++;
        script_frame();
    }
    if (script_last_message(current_script)[0]) state.SkipWithError(script_last_message(current_script));
}
BENCHMARK(script_frame_stadium)->Unit(benchmark::kMicrosecond);

// 1000 calls a pass from a JavaScript loop, through the host's call by
// path; items are single calls. The plain JavaScript function gives the
// loop's and the call's own cost, so the difference is the native's.
void calls_in_a_loop(benchmark::State& state, const char* callee)
{
    script_context* c = script_context_create();
    script_register_natives(c, "zt", script_native_names, script_native_functions, script_native_counts);
    std::string source = std::string("zt.one = function () { return 1; };"
                                     "zt.loop = function (n) { var s = 0; for (var i = 0; i < n; i++) s += ") +
                         callee + "(); return s; };";
    if (!script_eval(c, source.c_str())) {
        state.SkipWithError(script_last_message(c));
        script_context_destroy(c);
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(script_call_path(c, "zt.loop", "1000", static_cast<const char*>(nullptr)));
    state.SetItemsProcessed(state.iterations() * 1000);
    script_context_destroy(c);
}

void native_call(benchmark::State& state) { calls_in_a_loop(state, "zt.get_seed"); }
void javascript_call(benchmark::State& state) { calls_in_a_loop(state, "zt.one"); }
BENCHMARK(native_call)->Unit(benchmark::kMicrosecond);
BENCHMARK(javascript_call)->Unit(benchmark::kMicrosecond);

}  // namespace
