// Start-up to the first swapped frame, split by stage, and the main loop's
// own cost per frame outside drawing and tics. Run under a display (for
// example xvfb-run) in a Release build; the start-up goal is under 1 s and the
// loop's goal under 2 % of a 60-fps frame.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/game_state.h"
#include "game/main_loop.h"
#include "game/startup.h"
#include "platform/vesk.h"

namespace {

// Ends the run at its first frame: start-up through the race reset, one pass.
void quit_at_once(int)
{
    quit_requested = 1;
}

void BM_startup_to_first_frame(benchmark::State& state)
{
    if (!getenv("DISPLAY")) {
        state.SkipWithError("needs a display (xvfb-run)");
        return;
    }
    // build/bench is beside build/data.
    setenv("ZT_HOME", "../data", 0);
    setenv("VESK_OPTIONS", "[msgbox:off]", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    std::vector<double> stage_sum(startup_mark_max, 0.0);
    std::vector<const char*> stage_name(startup_mark_max, nullptr);
    int runs = 0;
    for (auto _ : state) {
        std::vector<std::string> words = {"zentrik", "--track", "practice", "--nosound", "--width", "640",
                                          "--height", "480"};
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        frame_hook = quit_at_once;
        quit_requested = 0;
        game_main(int(argv.size()), argv.data());
        // The closing sleep of the shut-down is not start-up.
        double first_frame = 0;
        for (int i = 1; i < startup_mark_count; i++) {
            stage_sum[i] += startup_marks[i].seconds - startup_marks[i - 1].seconds;
            stage_name[i] = startup_marks[i].stage;
            if (std::string(startup_marks[i].stage) == "fonts, images and first frame")
                first_frame = startup_marks[i].seconds - startup_marks[0].seconds;
        }
        state.SetIterationTime(first_frame);
        runs++;
    }
    for (int i = 1; i < startup_mark_max; i++)
        if (stage_name[i]) state.counters[stage_name[i]] = stage_sum[i] / runs;
}
BENCHMARK(BM_startup_to_first_frame)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// The loop with no window and no track: pacing, the event queries, the
// binding mix, the console queue and the upkeep, but no drawing and no race
// tic. Warp makes each pass 100 tic passes without sleeping.
void BM_main_loop_own_cost(benchmark::State& state)
{
    options = run_options{};
    options.warp = 1;
    quit_requested = 0;
    frame_hook = nullptr;
    game_window = nullptr;
    view_state = view_no_track;
    track_dir[0] = 0;
    pacing_begin(&pacing, loop_clock_now());
    for (auto _ : state) main_loop_frame();
}
BENCHMARK(BM_main_loop_own_cost)->Unit(benchmark::kMicrosecond);

// One tic pass alone: a 60-fps frame runs 128 / 60 of them, so the loop's
// cost of such a frame is the pass above less 100 of these, plus 2.1 of them.
void BM_tic_pass_own_cost(benchmark::State& state)
{
    options = run_options{};
    quit_requested = 0;
    game_window = nullptr;
    view_state = view_no_track;
    track_dir[0] = 0;
    for (auto _ : state) {
        double now = loop_clock_now();
        tic_pass(now, now);
    }
}
BENCHMARK(BM_tic_pass_own_cost)->Unit(benchmark::kNanosecond);

}  // namespace
