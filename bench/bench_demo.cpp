// Demo replay: a 40-rider recording of ten minutes (a state chunk every 16
// tics, four entries per rider each, as the recorder writes them), read from
// its start to minute 10 as a forward seek replays it, walked back to the
// start, and the chunks of one tic in steady replay.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/game_state.h"
#include "core/vfs.h"
#include "game/demo.h"
#include "game/state_history.h"

namespace {

constexpr int riders = 40;
constexpr int32_t minute_10 = 10 * 60 * 128;

void put32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; i++) out.push_back(char(v >> (8 * i)));
}

// Writes the demo once into a scratch player folder.
const char* demo_file()
{
    static std::string path;
    if (!path.empty()) return path.c_str();
    char pattern[] = "/tmp/zt_bench_demo_XXXXXX";
    if (!mkdtemp(pattern)) abort();
    path = std::string(pattern) + "/ten_minutes.ztdemo";
    std::string b = "ZT06 " + std::to_string(riders) + "          0    3 1792\nstadium\n";
    for (int i = 0; i < riders; i++) b += "kx450f(2016)|a|b|c|d\n" + std::to_string(i) + "\nRider\n\n";
    uint32_t previous = 0;
    std::string payload;
    for (int32_t t = 0; t <= minute_10 + 64; t += 16) {
        payload.clear();
        for (int r = 0; r < riders; r++)
            for (int k = 0; k < 4; k++) {
                payload.push_back(char(r));
                put32(payload, uint32_t(t - 12 + 4 * k));
                payload += std::string(rider_state_size, char(r + k));
            }
        put32(b, uint32_t(payload.size()) ^ previous);
        put32(b, uint32_t(t));
        b.push_back(char(demo_channel_states));
        b += payload;
        previous = uint32_t(payload.size());
    }
    FILE* f = fopen(path.c_str(), "wb");
    if (!f || fwrite(b.data(), 1, b.size(), f) != b.size()) abort();
    fclose(f);
    return path.c_str();
}

void open_demo()
{
    lap_mode = 0;
    history_clear_all();
    if (!demo_open(demo_file())) abort();
    for (int i = 0; i < riders; i++) demo_slot_map[i] = i;
    tic_counter = 0;
}

// A forward seek replays the file: every chunk up to minute 10 goes into the
// histories.
void seek_forward_to_minute_10(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        open_demo();
        state.ResumeTiming();
        for (tic_counter = 0; tic_counter <= minute_10; tic_counter += 64) demo_read_step();
        benchmark::DoNotOptimize(state_history[riders - 1].head);
    }
    demo_close();
}
BENCHMARK(seek_forward_to_minute_10)->Unit(benchmark::kMillisecond);

// The backward walk from minute 10 to the start through the length chain.
void seek_back_from_minute_10(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        open_demo();
        for (tic_counter = 0; tic_counter <= minute_10; tic_counter += 64) demo_read_step();
        state.ResumeTiming();
        benchmark::DoNotOptimize(demo_position(0));
    }
    demo_close();
}
BENCHMARK(seek_back_from_minute_10)->Unit(benchmark::kMillisecond);

// Steady replay: one tic's share of reading (a chunk every 16 tics).
void read_one_tic(benchmark::State& state)
{
    open_demo();
    for (auto _ : state) {
        if (tic_counter >= minute_10) {
            state.PauseTiming();
            open_demo();
            state.ResumeTiming();
        }
        demo_read_step();
        tic_counter++;
    }
    demo_close();
}
BENCHMARK(read_one_tic)->Unit(benchmark::kMicrosecond);

}  // namespace
