#pragma once
// The exhaust-pipe resonator of an engine sound: sixteen feedback delay taps
// (ring offsets and gains) that a pipe shape sets. The engine sound keeps
// one of these per slot and per built-in template; the ".braap" "pipe" line
// and the console's "pipe" command reshape it.
#include <cstdint>

constexpr int engine_pipe_taps = 16;
// The synthesiser's output ring: a tap's offset is this minus its delay.
constexpr int32_t engine_pipe_ring = 32768;
// Samples per foot of pipe: the round trip of sound at 44,100 samples/s.
constexpr double engine_pipe_samples_per_foot = 77.32568794162944;

struct engine_pipe {
    int32_t tap_offset[engine_pipe_taps];  // ring offsets: ring length - delay in samples
    float tap_gain[engine_pipe_taps];      // feedback gain of each tap
};

// Sets taps first..last (each clamped to 0..15) for a pipe of length L and
// spread S (feet) with reflection R: n = last - first + 1 taps spread their
// delays from L back by up to min(L, S), each with gain R / n. One tap (or
// last < first) gets the plain length L and the whole R at tap first. Taps
// outside the range keep their values, so several shapes can share a bank.
void set_pipe_shape(engine_pipe* pipe, float length, float spread, float reflection, int first, int last);
