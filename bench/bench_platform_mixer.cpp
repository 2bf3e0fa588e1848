// The mixer's cost: 160 looping engine-style voices at varied rates, volumes
// and pans, mixed to 44.1 kHz stereo. "realtime_fraction" is the share of
// one core that keeps up with playback (seconds of work per second of sound).
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/vesk_mixer.h"

namespace {

void mix_160_voices(benchmark::State& state)
{
    vesk_audio* audio = vesk_audio_new(vesk_audio_kind_device, 44100, 2);
    std::vector<uint8_t> ring(32768);
    for (size_t i = 0; i < ring.size(); i++) ring[i] = uint8_t(128 + ((i * 37) % 97) - 48);
    std::vector<vesk_sound*> voices;
    for (int i = 0; i < 160; i++) {
        vesk_sound* v = vesk_sound_new(audio, int(ring.size()), ring.data(), 30000 + i * 211);
        vesk_sound_set_loop(v, 1);
        vesk_sound_set_volume(v, 2000 + i * 150);
        vesk_sound_set_pan(v, -32768 + i * 400);
        vesk_sound_play(v);
        voices.push_back(v);
    }
    const int frames = 1024;
    std::vector<int16_t> out(frames * 2);
    for (auto _ : state) {
        std::lock_guard<std::mutex> lock(audio->lock);
        vesk_mix(audio, out.data(), frames);
        benchmark::DoNotOptimize(out.data());
    }
    double sound_seconds = double(state.iterations()) * frames / 44100.0;
    state.counters["sound_seconds"] = sound_seconds;
    // Work per sound second, from the mean time per iteration.
    state.counters["realtime_fraction"] =
        benchmark::Counter(sound_seconds, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    for (vesk_sound* v : voices) vesk_sound_free(v);
    vesk_audio_delete(audio);
}
BENCHMARK(mix_160_voices)->Unit(benchmark::kMicrosecond);

}  // namespace
