// Rider state records, per record: packing and reading the bytes, the
// history's blend, and packing and showing a live rider. 160 riders at 128
// tics a second need one of each per rider and tic.
#include <benchmark/benchmark.h>

#include <cmath>

#include <ode/ode.h>

#include "physics/physics_tic.h"
#include "physics/rider.h"
#include "physics/rider_build.h"
#include "physics/rider_state.h"

namespace {

const rider_state_scales scales = {1024.0f, -8.0f, 0.53f, 1.0f};

rider_state_values sample_pose(int i)
{
    rider_state_values v{};
    double a = 0.001 * i;
    v.frame_position[0] = 300.0 + a;
    v.frame_position[1] = 12.0;
    v.frame_position[2] = 500.0 - a;
    v.frame_quaternion[0] = std::cos(a);
    v.frame_quaternion[2] = std::sin(a);
    v.rider_quaternion[0] = 1.0;
    v.steering_angle = 0.1;
    v.swingarm_angle = -0.2;
    v.fork_position = -0.3;
    v.rider_offset[1] = 1.5;
    v.front_wheel_angle = std::fmod(a * 50.0, 3.0);
    v.drive.gear = 3;
    v.drive.throttle = 0.6f;
    v.engine_rpm = 8000.0;
    return v;
}

void codec_encode(benchmark::State& state)
{
    rider_state_values v = sample_pose(7);
    rider_state_record r;
    for (auto _ : state) {
        rider_state_encode(v, scales, &r);
        benchmark::DoNotOptimize(r);
        v.frame_position[0] += 1e-6;
    }
}
BENCHMARK(codec_encode);

void codec_decode(benchmark::State& state)
{
    rider_state_record r;
    rider_state_encode(sample_pose(7), scales, &r);
    rider_state_values v;
    for (auto _ : state) {
        benchmark::DoNotOptimize(rider_state_decode(r.bytes, 5, scales, &v));
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(codec_decode);

void history_blend(benchmark::State& state)
{
    rider_state_record a, b, out;
    rider_state_encode(sample_pose(0), scales, &a);
    rider_state_encode(sample_pose(400), scales, &b);
    float f = 0.0f;
    for (auto _ : state) {
        rider_state_blend(a, b, f, &out);
        benchmark::DoNotOptimize(out);
        f = f < 1.0f ? f + 0.25f : 0.0f;
    }
}
BENCHMARK(history_blend);

// A built rider in a world of its own, for the rider-layer figures.
struct bench_rider {
    dWorldID world;
    rider* r;
    bench_rider()
    {
        dInitODE2(0);
        world = dWorldCreate();
        r = rider_create("crf450(2011)", 0, 0, "1", nullptr, nullptr, nullptr, nullptr);
        rider_build(r, world);
        rider_translate(r, 300.0, 1.0, 500.0);
        rider_recover(r);
    }
    ~bench_rider()
    {
        rider_destroy(r);
        dWorldDestroy(world);
        dCloseODE();
    }
};

const rider_state_ground ground = {1024.0f, -8.0f, nullptr};

void rider_pack(benchmark::State& state)
{
    bench_rider b;
    rider_state_record rec;
    for (auto _ : state) {
        rider_state_pack(b.r, ground, &rec);
        benchmark::DoNotOptimize(rec);
    }
}
BENCHMARK(rider_pack);

// One history-driven rider shown for one tic: the blended record with the
// velocities of its span.
void rider_apply(benchmark::State& state)
{
    bench_rider b;
    rider_state_record older, newer, shown;
    rider_state_pack(b.r, ground, &older);
    rider_translate(b.r, 0.0, 0.0, -0.5);
    rider_state_pack(b.r, ground, &newer);
    rider_state_blend(older, newer, 0.5f, &shown);
    for (auto _ : state) benchmark::DoNotOptimize(rider_state_apply(b.r, ground, shown, older, newer, 4, 5));
}
BENCHMARK(rider_apply);

} // namespace
