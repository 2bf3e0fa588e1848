#pragma once
// Benches that measure inside the running program: a scratch player folder
// with a windowed 1280 x 720 config, the generated data root beside the
// bench folder, and the program on the practice track calling a hook each
// frame. The hook runs the registered benchmarks once the scene is set and
// then asks the program to quit.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/game_state.h"
#include "game/startup.h"

namespace in_game {

inline int argc;
inline char** argv;

inline void run_benchmarks_and_quit()
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    quit_requested = 1;
}

// extra_config: config lines added after the window's.
inline int run(int bench_argc, char** bench_argv, const char* scratch_name, const char* extra_config,
               void (*hook)(int frame_number))
{
    argc = bench_argc;
    argv = bench_argv;
    std::string scratch = std::string("/tmp/") + scratch_name + "_XXXXXX";
    if (!mkdtemp(scratch.data())) return 1;
    std::string player = scratch + "/Zentrik";
    mkdir(player.c_str(), 0700);
    if (FILE* f = fopen((player + "/config").c_str(), "w")) {
        fputs("video_mode=Windowed\nxres=1280\nyres=720\n", f);
        fputs(extra_config, f);
        fclose(f);
    }
    setenv("XDG_DATA_HOME", scratch.c_str(), 1);
    setenv("ZT_HOME", "../data", 0);
    setenv("ZT_SEED", "1", 0);
    frame_hook = hook;
    std::vector<std::string> words = {"zentrik", "--track", "practice", "--nosound", "--lock-fps", "32",
                                      "--width", "1280", "--height", "720"};
    std::vector<char*> args;
    for (std::string& w : words) args.push_back(w.data());
    return game_main(int(args.size()), args.data());
}

}  // namespace in_game
