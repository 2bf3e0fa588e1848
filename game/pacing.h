#pragma once
// Frame pacing: how much simulated time a frame advances, and which input
// events belong to which tic. Pure over a clock given as two functions, so the
// rules can be checked over a fake clock and event ring.
#include <cstdint>

// A clock in seconds (64-bit monotonic underneath, so it neither wraps nor
// goes backward) and a sleep.
struct pacing_clock {
    double (*now)(void* context);
    void (*sleep)(void* context, double seconds);
    void* context;
};

struct pacing_state {
    double previous_frame_end;   // clock seconds
    double target_time;          // simulated seconds the tics must reach
    double simulated_time;       // simulated seconds the tics have reached
    uint32_t frame_histogram[8]; // frames by length: <1, <2, <4 ... <64 tics, longer
    double shortest_step, longest_step;
};

// What the step depends on besides the clock.
struct pacing_rules {
    int32_t online;       // a race server is set: lock-fps and warp are off
    int32_t warp;         // 100 tics a frame
    double lock_fps;      // > 0: exactly 1/F s a frame
    int32_t server_tic;   // online: the server's tic count
    int32_t current_tic;  // the race's tic count
    int32_t gate_drop_tic;
};

// Seconds per tic and the longest step of one frame (16 tics).
constexpr double pacing_tic = 1.0 / 128.0;
constexpr double pacing_step_cap = 0.125;

// Starts pacing at the clock's now.
void pacing_begin(pacing_state* p, double now);
// The histogram bin of a frame that took e seconds.
int pacing_histogram_bin(double e);
// The online speed factor: ahead of the server down to half speed; behind it
// up to 4 times before the gate drop and 1.125 times after it.
double pacing_online_scale(int32_t server_tic, int32_t current_tic, int32_t gate_drop_tic);
// One frame's pacing: measures the time since the previous frame end,
// counts it, sleeps where the rules say, and returns the step (already scaled
// online) that was added to the target time. *elapsed gets the wall time of
// the frame as measured.
double pacing_frame(pacing_state* p, const pacing_rules& rules, const pacing_clock& clock, double* elapsed);
// The frame is done: the clock's now becomes the previous frame end.
void pacing_frame_end(pacing_state* p, double now);

// Tic passes: while the simulated time is behind the target, 1 and the
// simulated time moved on by one tic; else 0. *event_limit gets the clock time up to which input
// events belong to this tic: now - target + simulated, so an event stamped
// between two tics of the frame lands in the later one.
int pacing_next_tic(pacing_state* p, double now, double* event_limit);
