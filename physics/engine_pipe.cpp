#include "physics/engine_pipe.h"

#include <algorithm>

void set_pipe_shape(engine_pipe* pipe, float length, float spread, float reflection, int first, int last)
{
    first = std::clamp(first, 0, engine_pipe_taps - 1);
    last = std::clamp(last, 0, engine_pipe_taps - 1);
    double L = length, S = spread;
    if (last <= first) {
        pipe->tap_offset[first] = engine_pipe_ring - (int32_t)(L * engine_pipe_samples_per_foot);
        pipe->tap_gain[first] = reflection;
        return;
    }
    int n = last - first + 1;
    double step = std::min(L, S) / n;
    for (int k = 0; k < n; k++) {
        // The taps crowd toward the far end: the k-th is k steps shorter,
        // plus a square term that bends the spread toward the last tap.
        double t = (double)k / (n - 1);
        double delay = (L - (t * t + k) * step) * engine_pipe_samples_per_foot;
        pipe->tap_offset[first + k] = engine_pipe_ring - (int32_t)delay;
        pipe->tap_gain[first + k] = (float)(reflection / n);
    }
}
