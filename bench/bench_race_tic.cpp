// The race tic against the physics step it is built around: 40 riders on the
// generated practice track, run by run_tic (contacts with the statues near
// each rider and with each other, roost and treadmarks, the world step,
// wheel effects, per-slot driving, gates, history and the rest) and by
// ride_step alone on the same riders in the same places. The difference is
// what the race adds to the physics. The riders stand as the physics tic
// benchmark places them, so the figures compare with its own.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include <ode/ode.h>

#include "core/game_state.h"
#include "core/vfs.h"
#include "game/race_reset.h"
#include "game/sim_tic.h"
#include "game/timing_gates.h"
#include "game/track_objects.h"
#include "physics/physics_constants.h"
#include "physics/physics_ground.h"
#include "physics/physics_tic.h"
#include "physics/physics_world.h"
#include "physics/rider.h"
#include "physics/rider_access.h"
#include "physics/rider_build.h"
#include "physics/wheel_effects.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"
#include "terrain/terrain_load.h"

namespace {

struct race_bench {
    rider* riders[rider_slot_count] = {};
    int count = 0;
    bool track = false;

    explicit race_bench(int n)
    {
        // The bench runs in build/bench; the generator writes build/data.
        std::filesystem::path data = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "data";
        setenv("ZT_HOME", data.c_str(), 1);
        vfs_shutdown();
        vfs_build_index();
        track_object_services_reset();
        track_object_hooks.texture_load = [](const char*) { return 0; };
        track_object_hooks.model_load = [](const char*) -> mesh* { return nullptr; };
        physics_world_create();
        track = terrain_load(&track_terrain, "@tracks/practice") != 0;
        if (track) {
            physics_ground_from_terrain(&track_terrain);
            track_objects_init();
            timing_gates_load("@tracks/practice/timing_gates");
            // The statues the riders meet, as the race reset leaves them.
            statues_load("@tracks/practice/statues");
            rebuild_statue_grid();
        }
        tic_counter = race_start_tic = 0;
        gate_drop_tic = 13 * 128;
        const char* bikes[4] = {"crf250(2013)", "crf450(2011)", "cr125", "kx250f(2013)"};
        for (int i = 0; i < n; i++) {
            rider* r = rider_create(bikes[i % 4], i, 0, "1", nullptr, nullptr, nullptr, nullptr);
            rider_table[i] = r;
            slot_status[i] = slot_driven_by_autopilot;
            rider_fall(r);
            double x = 140.0 + (i % 10) * 45.0, z = 108.0 + (i / 10) * 8.0;
            double y = track ? terrain_height_at(&track_terrain, float(x), float(z)) : 0.0;
            for (int tries = 0; tries < 4096; tries++) {
                rider_reset_pose(r);
                rider_set_orientation(r, 0, 1, 0, -phys::pi / 2);
                rider_translate(r, x, y, z);
                int touching = bike_tyre_forces(r);
                dJointGroupEmpty(contact_joint_group);
                if (!touching) break;
                y += 0.25;
            }
            rider_reset_controls(r);
            r->throttle = 0.6f;
            r->clutch = 1.0f;
            riders[count++] = r;
        }
    }
    ~race_bench()
    {
        for (int i = 0; i < count; i++) {
            rider_destroy(riders[i]);
            rider_table[i] = nullptr;
        }
        track_objects_free();
        timing_gates_clear();
        terrain_free(&track_terrain);
        physics_ground_flat();
        physics_world_destroy();
        vfs_shutdown();
    }
};

void BM_run_tic(benchmark::State& state)
{
    race_bench bench(int(state.range(0)));
    for (int i = 0; i < 128; i++) run_tic();  // settled and rolling
    for (auto _ : state) run_tic();
    if (state.range(0) > 0)
        state.counters["us_per_rider"] = benchmark::Counter(double(state.iterations()) * double(state.range(0)),
                                                            benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_run_tic)->Arg(0)->Arg(40)->Unit(benchmark::kMicrosecond);

void BM_ride_step_alone(benchmark::State& state)
{
    race_bench bench(int(state.range(0)));
    ride_world w = physics_current();
    for (int i = 0; i < 128; i++) ride_step(w, bench.riders, bench.count);
    for (auto _ : state) ride_step(w, bench.riders, bench.count);
    state.counters["us_per_rider"] = benchmark::Counter(double(state.iterations()) * double(state.range(0)),
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ride_step_alone)->Arg(40)->Unit(benchmark::kMicrosecond);

// The largest part of what the race adds: roost and treadmarks, whose wheel
// contact refresh (one ground query per wheel, once per tic) runs for every
// rider, here on riders standing still so each tic queries the same ground.
void BM_roost_and_treadmarks(benchmark::State& state)
{
    race_bench bench(int(state.range(0)));
    ride_world w = physics_current();
    int32_t order[rider_slot_count];
    for (auto _ : state) {
        w.tic = ++tic_counter;
        int n = roost_serving_order(tic_counter, order);
        for (int k = 0; k < n; k++) {
            roost_tic(w, rider_table[order[k]]);
            treadmarks_tic(w, rider_table[order[k]]);
        }
    }
    state.counters["us_per_rider"] = benchmark::Counter(double(state.iterations()) * double(state.range(0)),
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_roost_and_treadmarks)->Arg(40)->Unit(benchmark::kMicrosecond);

}  // namespace
