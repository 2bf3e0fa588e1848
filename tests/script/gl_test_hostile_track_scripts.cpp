// Hostile track scripts in the real program: a copy of the generated
// practice track in the player's folder carries each script of the table as
// its "frills.js", and the whole program races ten riders on it at a locked
// 32 frames a second.
//
// The frame rate is argued, not timed: a locked frame advances exactly four
// tics, so the tics keep step with the frames by construction; what a script
// can take from a frame is its calls' time, each call cut off after
// script_time_limit_ms of its own work (at the first instruction past it,
// or at the next big block a native such as a join of a large array asks
// the heap for). A script that hits a limit must be called no more
// after that (its cost is then one cut-off call, a single hitch), and one
// that merely throws runs on, each call ending at its throw. The scripts
// count their own calls in zt.calls, so the bound is read back exactly.
#include <SDL.h>
#include <gtest/gtest.h>
#include <ode/ode.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/game_state.h"
#include "game/race_reset.h"
#include "game/startup.h"
#include "game/track_objects.h"
#include "physics/rider.h"
#include "platform/vesk_log.h"
#include "script/script_api.h"
#include "script/script_host.h"
#include "support_zentrik.h"
#include "ui/console.h"

namespace {

// Four tics a frame.
constexpr int lock_fps = 32, tics_per_frame = 128 / lock_fps;
constexpr int riders = 10;
// The riders race on for three seconds after the gate drop. A computer rider
// pulls away from the gate at well over 0.1 g (3.2 ft/s^2), which alone
// carries it 1/2 x 3.2 x 3^2 = 14.4 ft: one that moved less stood still.
constexpr int32_t race_on_tics = 3 * 128;
constexpr double least_travel = 10.0;

// What the script's calls may cost the race after its error.
enum cost {
    one_call,   // it hits a limit: the hooks stop after its first call
    every_tic,  // each tic's call runs and returns (throwing is cheap)
    // Its load runs a million natives against a 500 ms limit: it ends in
    // time and every tic's call runs, or it runs out (a slow or shared
    // processor, a sanitizer build) and the hooks stop before any.
    every_tic_or_none,
};

struct hostile_case {
    const char* what;
    const char* script;
    const char* error;  // in the one error line
    cost after;
};

// Each script counts its handler's calls in zt.calls.
const hostile_case cases[] = {
    {"an endless loop in the tic handler", "zt.tic_handler = function () { zt.calls++; while (true) {} };",
     "execution timeout", one_call},
    {"an endless loop in the frame handler", "zt.frame_handler = function () { zt.calls++; for (;;) {} };",
     "execution timeout", one_call},
    {"a recursion without end",
     "function f(n) { return f(n + 1) + 1; } zt.tic_handler = function () { zt.calls++; f(0); };", "RangeError",
     one_call},
    // Out of time or out of heap, whichever comes first.
    {"an allocation loop",
     "zt.tic_handler = function () { zt.calls++; var a = []; for (;;) a.push(new Array(100000).join('x') + a.length); };",
     "javascript error", one_call},
    {"a handler that throws every tic", "zt.tic_handler = function (s) { zt.calls++; throw new Error('tic ' + s); };",
     "Error: tic", every_tic},
    // The first 4096 are made; the rest are refused, the first refusal
    // with the one line.
    {"a million add_billboard calls at load",
     "for (var i = 0; i < 1e6; i++) zt.add_billboard(60 + i % 64, 2, 100 + (i >> 6) % 64, 1, 1, '@banner.png');"
     "zt.tic_handler = function () { zt.calls++; };",
     "add_billboard", every_tic_or_none},
};

void PrintTo(const hostile_case& c, std::ostream* os) { *os << c.what; }

const char* const counter = "zt.calls = 0; zt.call_count = function () { return zt.calls; };\n";

struct race_record {
    int reset_frame = -1, end_frame = -1;
    int32_t gate_drop = -1;
    bool tics_in_step = true;
    double start[riders][3] = {}, travel[riders] = {};
    bool started[riders] = {};
    // After the race: the script's calls, whether its hooks stopped, the
    // objects it added.
    int calls = -1;
    int32_t hooks_stopped = -1, added_billboards = -1;
    int32_t tics = 0;
    // Shown, not tested: the wall times of the frames.
    std::chrono::steady_clock::time_point last;
    std::vector<double> frame_ms;
} race;

void frame_hook_race(int frame)
{
    race_record& r = race;
    auto now = std::chrono::steady_clock::now();
    if (r.reset_frame >= 0 && frame > r.reset_frame + 1)
        r.frame_ms.push_back(std::chrono::duration<double, std::milli>(now - r.last).count());
    r.last = now;
    if (frame == 0) {
        // The start-up's load of the script came first; the count starts here.
        console_printf("hostile race");
        int32_t kinds[slot_total + 1] = {};
        kinds[0] = slot_kind_player;
        for (int k = 1; k < riders; k++) kinds[k] = slot_kind_ai;
        reset_session(kinds, 0, 0, 0, 3, 0);
        // The gate drops 2 s in rather than the 13 to 15 s of an offline
        // race, as a race server may set it: the race is what is watched.
        start_sequence_tic = 0;
        gate_drop_tic = 256;
        r.reset_frame = frame;
        r.gate_drop = gate_drop_tic;
        return;
    }
    if (tic_counter != (frame - r.reset_frame) * tics_per_frame) r.tics_in_step = false;
    for (int k = 1; k < riders; k++) {
        if (!rider_table[k]) continue;
        const dReal* p = dBodyGetPosition(rider_table[k]->frame_body);
        if (!r.started[k] && tic_counter >= r.gate_drop) {
            for (int a = 0; a < 3; a++) r.start[k][a] = p[a];
            r.started[k] = true;
        }
        if (r.started[k])
            r.travel[k] = std::max(r.travel[k], std::hypot(p[0] - r.start[k][0], p[2] - r.start[k][2]));
    }
    if (tic_counter < r.gate_drop + race_on_tics) return;
    r.end_frame = frame;
    r.tics = tic_counter;
    r.hooks_stopped = script_hooks_stopped;
    r.calls = current_script ? script_call_path(current_script, "zt.call_count", static_cast<const char*>(nullptr)) : -1;
    r.added_billboards = track_objects.billboards.count - track_file_billboards;
    SDL_Event e{};
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
    frame_hook = nullptr;
}

struct hostile_track_scripts : ::testing::TestWithParam<hostile_case> {};

TEST_P(hostile_track_scripts, leave_the_race_running_at_its_frame_rate_with_one_error_line)
{
    const hostile_case& c = GetParam();
    zentrik_setup setup;
    // The copy goes into the player's folder, which the data root's
    // folders are looked up after.
    namespace fs = std::filesystem;
    fs::path copy = fs::path(setup.player_folder()) / "tracks" / "hostile";
    fs::create_directories(copy);
    fs::copy(fs::path(zentrik_data_root()) / "tracks" / "practice", copy, fs::copy_options::recursive);
    fs::remove(copy / "frills.js");
    write_whole_file((copy / "frills.js").string(), std::string(counter) + c.script);
    zentrik_environment_here(setup);
    vesk_log_reset_for_tests();  // the log opens anew in this run's folder
    static bool held = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && SDL_GL_LoadLibrary(nullptr) == 0;
    ASSERT_TRUE(held) << SDL_GetError();
    race = race_record{};
    frame_hook = frame_hook_race;
    char fps[16];
    snprintf(fps, sizeof fps, "%d", lock_fps);
    std::vector<std::string> words = {"zentrik", "--track", "hostile", "--lock-fps", fps, "--nosound",
                                      "--console-commands", "/echo hostile"};
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    int status = game_main(int(argv.size()), argv.data());
    frame_hook = nullptr;
    std::string log = read_whole_file(setup.log_path());
    ASSERT_EQ(status, 0) << log;

    // The race reached three seconds past the gate drop, four tics a frame.
    ASSERT_GT(race.end_frame, 0) << log;
    EXPECT_TRUE(race.tics_in_step);
    EXPECT_EQ(race.tics, (race.end_frame - race.reset_frame) * tics_per_frame);

    // One error line after the race's load, naming what went wrong; no fatal
    // error anywhere.
    std::vector<std::string> lines = log_lines(log);
    int from = find_line(lines, "hostile race");
    ASSERT_GE(from, 0) << log;
    int errors = 0, named = 0;
    for (size_t i = size_t(from); i < lines.size(); i++) {
        if (lines[i].find("javascript") == std::string::npos) continue;
        errors++;
        if (lines[i].find(c.error) != std::string::npos) named++;
    }
    EXPECT_EQ(errors, 1) << log;
    EXPECT_EQ(named, 1) << log;
    EXPECT_EQ(log.find("javascript fatal"), std::string::npos) << log;

    // The script's cost: one cut-off call for a script that hit a limit;
    // otherwise every tic's call (its handler is the tic handler) ran and
    // returned.
    switch (c.after) {
    case one_call:
        EXPECT_EQ(race.hooks_stopped, 1);
        EXPECT_EQ(race.calls, 1);
        break;
    case every_tic_or_none:
        if (race.hooks_stopped) {
            EXPECT_EQ(race.calls, 0);
            break;
        }
        [[fallthrough]];
    case every_tic:
        EXPECT_EQ(race.hooks_stopped, 0);
        EXPECT_EQ(race.calls, race.tics);
        break;
    }
    if (std::string(c.what).find("add_billboard") != std::string::npos) {
        EXPECT_EQ(race.added_billboards, script_object_limit);
    }

    // The race went on: the field left the gate. The scripts have no hold
    // on a rider, so the field as a whole answers; its median is not
    // swayed by one rider held at its grid place by the track itself.
    std::vector<double> travel(race.travel + 1, race.travel + riders);
    std::nth_element(travel.begin(), travel.begin() + travel.size() / 2, travel.end());
    EXPECT_GT(travel[travel.size() / 2], least_travel);
    std::vector<double> ms = race.frame_ms;
    ASSERT_FALSE(ms.empty());
    std::sort(ms.begin(), ms.end());
    printf("%s: %d frames, %d tics, %d script calls; frames took %.0f ms (median), %.0f ms (longest)\n", c.what,
           race.end_frame - race.reset_frame, race.tics, race.calls, ms[ms.size() / 2], ms.back());
}

INSTANTIATE_TEST_SUITE_P(table, hostile_track_scripts, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<hostile_case>& p) {
                             std::string name;
                             for (const char* s = p.param.what; *s; s++) name += isalnum(uint8_t(*s)) ? *s : '_';
                             return name;
                         });

}  // namespace
