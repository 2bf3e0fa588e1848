// The engine synthesis' cost: 40 engines (16 pipe taps and 4 grains a
// sample) at 44.1 kHz, each a frame's 735 samples at a time into its voice,
// rpm sweeping so that firings restart grains all the time. "core_share" is
// the share of one core that keeps up (seconds of work per second of sound);
// the goal is under 0.05.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "game/startup.h"
#include "platform/vesk_audio.h"
#include "ui/engine_sound.h"

namespace {

void synthesise_40_engines(benchmark::State& state)
{
    main_audio = vesk_audio_open_readback(88320);
    const char* classes[] = {"250f", "450f", "125", "250", "50"};
    constexpr int engines = 40;
    std::vector<std::unique_ptr<engine_sound>> recs;
    for (int i = 0; i < engines; i++) {
        recs.emplace_back(new engine_sound());
        setup_engine_sound(recs.back().get(), nullptr, nullptr);
        engine_sound_use_template(recs.back().get(), classes[i % 5]);
    }
    constexpr int frame_samples = engine_sample_rate / 60;
    int32_t play = engine_setup_lead - engine_write_ahead;
    int64_t frames = 0;
    for (auto _ : state) {
        play = (play + frame_samples) & engine_ring_mask;
        for (int i = 0; i < engines; i++) {
            float rpm = 3000.0f + float((frames * 37 + i * 500) % 9000);
            benchmark::DoNotOptimize(engine_sound_synthesise(recs[size_t(i)].get(), rpm, float(i % 5) - 2, play));
        }
        frames++;
    }
    double sound_seconds = double(frames) * frame_samples / engine_sample_rate;
    state.counters["sound_seconds"] = sound_seconds;
    state.counters["core_share"] =
        benchmark::Counter(sound_seconds, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    for (auto& r : recs) vesk_sound_free(r->voice);
    vesk_audio_close(main_audio);
    main_audio = nullptr;
    engine_sounds_free();
}
BENCHMARK(synthesise_40_engines)->Unit(benchmark::kMicrosecond);

}  // namespace
