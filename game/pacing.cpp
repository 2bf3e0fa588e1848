// Frame pacing rules: the step of a frame and the tics it runs.
#include "game/pacing.h"

#include <algorithm>
#include <cstring>

void pacing_begin(pacing_state* p, double now)
{
    memset(p, 0, sizeof *p);
    p->previous_frame_end = now;
    p->shortest_step = 1.0;
}

int pacing_histogram_bin(double e)
{
    int bin = 0;
    for (double limit = pacing_tic; bin < 7 && e >= limit; limit *= 2) bin++;
    return bin;
}

double pacing_online_scale(int32_t server_tic, int32_t current_tic, int32_t gate_drop_tic)
{
    float d = float(double(int64_t(server_tic) - current_tic - 1) * pacing_tic);
    if (d < 0) return (std::clamp(d + 1.0f, 0.0f, 1.0f) + 1.0f) * 0.5f;
    if (current_tic < gate_drop_tic) return 1.0 + 3.0 * std::clamp(d, 0.0f, 1.0f);
    return 1.0 + 0.125 * std::clamp(8.0f * d, 0.0f, 1.0f);
}

double pacing_frame(pacing_state* p, const pacing_rules& rules, const pacing_clock& clock, double* elapsed)
{
    double now = clock.now(clock.context);
    // A monotonic clock never runs back; should one ever, the frame counts as
    // empty instead of waiting out a negative time.
    double e = std::max(0.0, now - p->previous_frame_end);
    p->frame_histogram[pacing_histogram_bin(e)]++;
    double step;
    if (!rules.online && rules.lock_fps > 0) {
        double period = 1.0 / rules.lock_fps;
        if (e < period) {
            clock.sleep(clock.context, period - e);
            now = clock.now(clock.context);
            e = std::max(0.0, now - p->previous_frame_end);
        }
        step = period;
    } else if (!rules.online && rules.warp) {
        step = 100 * pacing_tic;
    } else {
        // Shorter than a tic: sleep out the rest instead of spinning.
        while (e < pacing_tic) {
            clock.sleep(clock.context, pacing_tic - e);
            now = clock.now(clock.context);
            e = std::max(0.0, now - p->previous_frame_end);
        }
        step = std::min(e, pacing_step_cap);
    }
    p->shortest_step = std::min(p->shortest_step, step);
    p->longest_step = std::max(p->longest_step, step);
    if (rules.online) step *= pacing_online_scale(rules.server_tic, rules.current_tic, rules.gate_drop_tic);
    p->target_time += step;
    if (elapsed) *elapsed = e;
    return step;
}

void pacing_frame_end(pacing_state* p, double now)
{
    p->previous_frame_end = now;
}

int pacing_next_tic(pacing_state* p, double now, double* event_limit)
{
    // The last tic of a frame may pass the target; the next frame starts
    // from there, so the tics keep pace with the clock on average.
    if (p->simulated_time >= p->target_time) return 0;
    p->simulated_time += pacing_tic;
    *event_limit = now - p->target_time + p->simulated_time;
    return 1;
}
