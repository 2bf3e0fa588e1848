// Terrain queries and deformation: height queries per second and the frame
// cost of draining a backlog of queued rut points.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "core/game_state.h"
#include "terrain/erode.h"
#include "terrain/heightfield.h"
#include "terrain/surfaces.h"
#include "terrain/terrain_services.h"

namespace {

void quiet(const char*) {}

// A 513 x 513 rolling field of 2-ft cells with one default surface.
void build_terrain()
{
    static bool built;
    if (built) return;
    built = true;
    terrain_services_reset();
    terrain_hooks.console_print = quiet;
    std::string hf = "8 2 0 40\n:";
    for (int j = 0; j < 513; j++) {
        for (int i = 0; i < 513; i++) {
            int v = int(32768 + 20000 * sinf(float(i) * 0.05f) * cosf(float(j) * 0.037f));
            hf += char(v & 0xff);
            hf += char(v >> 8);
        }
    }
    heightfield_read(&track_terrain, reinterpret_cast<const uint8_t*>(hf.data()), hf.size(), nullptr);
    surfaces_ensure_tile(&track_terrain);
    tilemap_read(&track_terrain, nullptr, 0);
}

void BM_terrain_height_at(benchmark::State& state)
{
    build_terrain();
    float x = 1.3f, z = 7.9f, sum = 0;
    for (auto _ : state) {
        sum += terrain_height_at(&track_terrain, x, z);
        x += 3.71f;
        z += 1.13f;
        if (x > 1024) x -= 1024;
        if (z > 1024) z -= 1024;
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_terrain_height_at);

// One frame's drain with 8192 points waiting (the queue is topped up again
// outside the timing).
void BM_erode_drain_frame_8192(benchmark::State& state)
{
    build_terrain();
    uint8_t message[erode_strip_max_bytes];
    erode_point points[64];
    for (int i = 0; i < 64; i++) points[i] = {100.0f + 1.5f * float(i), 300.0f + 0.5f * float(i), 0.9f, 0.3f, 6};
    float bounds[4] = {1.5f, 0.5f, 1.5f, 0.5f};
    int32_t length = erode_strip_pack(points, 64, bounds, track_terrain.extent, message);
    erode_queue_reset();
    tic_counter = 0;
    for (auto _ : state) {
        state.PauseTiming();
        while (erode_queue.count < 8192) erode_message_receive(message, length);
        state.ResumeTiming();
        erode_queue_apply(nullptr, 100.0f);
    }
    state.counters["points_per_frame"] = erode_queue_budget(8192);
}
BENCHMARK(BM_erode_drain_frame_8192);

} // namespace
