// The generated tracks' scripts in the real program: a 3-lap race of the
// player and nine computer riders on each track, recorded with
// "--record-audio", the player riding off at full throttle; the stadium's
// race is watched until its leader finishes (the practice loop's field takes
// minutes a lap, and its flag needs only the first 30 s). The
// script's objects move, the stadium's cheer is heard at the gate drop at
// the level its file and the volume settings give, and twenty restarts of
// the track leave the object, sound and pose-sequence counts as they were.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/game_state.h"
#include "game/capture.h"
#include "ui/menu.h"
#include <ode/ode.h>
#include "game/race_reset.h"
#include "game/main_loop.h"
#include "game/timing_gates.h"
#include "tools/linegen/tool_path.h"
#include "game/startup.h"
#include "game/track_objects.h"
#include "physics/physics_world.h"
#include "physics/rider.h"
#include "platform/vesk_log.h"
#include "script/script_api.h"
#include "script/script_sound.h"
#include "support_zentrik.h"
#include "ui/engine_sound.h"
#include "ui/settings.h"

namespace {

// "--warp": every frame is 100 tics, as fast as the machine runs them.
constexpr int tics_per_frame = 100;
constexpr int riders = 10, laps = 3;
// The player rides at full throttle from the gate drop for 30 s; on the
// stadium the computer riders race on until the leader's third lap ends the
// race and "--warp" starts the next.
constexpr int32_t ride_tics = 30 * 128;
constexpr int restarts = 20;

struct track_case {
    const char* track;
    int script_billboards, script_statues, script_sounds;  // what its script adds
    bool must_finish;  // the race is watched to its end
};

void PrintTo(const track_case& c, std::ostream* os) { *os << c.track; }

// A bound no racing field comes near: every class cruises at well over
// 25 ft/s and takes the tightest bends at about 15 ft/s, so a lap at an
// average of 10 ft/s is a race that stands still; the gate drops by 15 s.
int32_t finish_bound_tics(const std::string& track)
{
    std::string error;
    std::vector<tool_point> loop = read_centre_line(read_whole_file(zentrik_data_root() + "/tracks/" + track + "/centre_line"), &error);
    double length = 0;
    for (size_t i = 0; i < loop.size(); i++) {
        const tool_point &a = loop[i], &b = loop[(i + 1) % loop.size()];
        length += std::hypot(b.x - a.x, b.z - a.z);
    }
    return int32_t((15.0 + laps * length / 10.0) * 128);
}

struct counts {
    int32_t billboards = -1, statues = -1, sounds = -1, sequences = -1;
    bool operator==(const counts&) const = default;
};
counts counts_now()
{
    return {track_objects.billboards.count, track_objects.statues.count, script_sound_count, pose_sequence_count};
}

struct race_record {
    track_case c{};
    int32_t kinds[slot_total] = {};
    int finish_frame = -1, restart_frame = -1, frames = 0;
    int32_t last_tic = -1, finish_bound = 0;
    bool race_finished = false;  // the warp restart after the leader's third lap
    bool tics_in_step = true;
    int32_t gate_drop = -1;
    bool throttle = false;
    int menu_seen = -1;  // a menu open during the race (none expected)
    double player_moved = 0, player_start[3] = {};
    counts loaded, after[restarts];
    // Each script billboard's range of positions over the race.
    std::vector<float> lo, hi;
    bool fan_posed = false;
    float sound_at[3] = {};
} race;

int hide_every_slot(int) { return 1; }

void frame_hook_race(int frame)
{
    race_record& r = race;
    r.frames = frame;
    if (frame == 0) {
        r.kinds[0] = slot_kind_player;
        for (int k = 1; k < riders; k++) r.kinds[k] = slot_kind_ai;
        reset_session(r.kinds, 0, 0, 0, laps, 0);
        if (rider_table[0]) {
            const dReal* p = dBodyGetPosition(rider_table[0]->frame_body);
            for (int a = 0; a < 3; a++) r.player_start[a] = p[a];
        }
        r.loaded = counts_now();
        r.gate_drop = gate_drop_tic;
        watched_slot = 0;
        r.lo.assign(size_t(r.c.script_billboards) * 3, 1e30f);
        r.hi.assign(size_t(r.c.script_billboards) * 3, -1e30f);
    }
    if (r.restart_frame < 0) {
        // The program restarts a race under "--warp" only once its leader
        // has ridden the laps: the tic count then starts again.
        if (frame > 0 && tic_counter < r.last_tic) r.race_finished = true;
        r.last_tic = tic_counter;
        bool rode = !r.c.must_finish && tic_counter >= r.gate_drop + ride_tics;
        if (r.race_finished || rode || tic_counter >= r.finish_bound) {
            push_key_event(SDL_SCANCODE_X, false);
            r.finish_frame = frame;
            r.restart_frame = frame + 1;
            return;
        }
        if (tic_counter != frame * tics_per_frame) r.tics_in_step = false;
        if (menu_page >= 0) r.menu_seen = menu_page;
        if (!r.throttle && tic_counter + tics_per_frame >= r.gate_drop) {
            push_key_event(SDL_SCANCODE_X, true);
            r.throttle = true;
        }
        if (rider_table[0]) {
            const dReal* p = dBodyGetPosition(rider_table[0]->frame_body);
            r.player_moved = std::max(r.player_moved, std::hypot(p[0] - r.player_start[0], p[2] - r.player_start[2]));
        }
        int32_t first = track_objects.billboards.count - r.c.script_billboards;
        for (int i = 0; i < r.c.script_billboards; i++) {
            const billboard* b = billboard_at(first + i);
            const float p[3] = {b->x, b->y, b->z};
            for (int a = 0; a < 3; a++) {
                r.lo[size_t(3 * i + a)] = std::min(r.lo[size_t(3 * i + a)], p[a]);
                r.hi[size_t(3 * i + a)] = std::max(r.hi[size_t(3 * i + a)], p[a]);
            }
        }
        if (r.c.script_statues) {
            // The fan's left upper arm (bone 2) leaves its rest rotation.
            const statue* fan = statue_at(track_objects.statues.count - 1);
            const float* rotations = fan->bone_count > 2 ? static_cast<const float*>(fan->bone_buffers[2]) : nullptr;
            if (rotations && rotations[2 * 9 + 4] < 0.9f) r.fan_posed = true;
        }
        // Only the script is heard, from where its sound stands: the sound
        // update runs after this hook, the tics (which put the race's own
        // hook back) after the update.
        slot_is_hidden_hook = hide_every_slot;
        if (script_sound_count > 0) {
            for (int a = 0; a < 3; a++) r.sound_at[a] = script_sounds[0].position[a];
            sound_listener = {{r.sound_at[0], r.sound_at[1], r.sound_at[2]}, {1, 0, 0}, {0, 0, 0}};
        }
        return;
    }
    int k = frame - r.restart_frame;
    if (k > 0) r.after[k - 1] = counts_now();
    if (k < restarts) {
        reset_session(r.kinds, 0, 0, 0, laps, 0);
        return;
    }
    SDL_Event e{};
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
}

double rms(const std::vector<double>& s, size_t from, size_t count)
{
    double sum = 0;
    for (size_t i = from; i < from + count; i++) sum += s[i] * s[i];
    return std::sqrt(sum / double(count));
}

// Raw signed 16-bit little-endian samples.
std::vector<double> samples_of(const std::string& bytes, bool eight_bit)
{
    std::vector<double> s(bytes.size() / 2);
    for (size_t i = 0; i < s.size(); i++) {
        int v = int16_t(uint8_t(bytes[2 * i]) | (uint8_t(bytes[2 * i + 1]) << 8));
        // A script sound keeps the high byte only.
        s[i] = eight_bit ? double((v >> 8) * 256) : double(v);
    }
    return s;
}

struct track_scripts : ::testing::TestWithParam<track_case> {};

TEST_P(track_scripts, run_in_a_three_lap_race_are_heard_and_restart_unchanged)
{
    zentrik_setup setup;
    std::string raw = setup.scratch.file("race.raw");
    zentrik_environment_here(setup);
    vesk_log_reset_for_tests();  // the log opens anew in this run's folder
    static bool held = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && SDL_GL_LoadLibrary(nullptr) == 0;
    ASSERT_TRUE(held) << SDL_GetError();
    race = race_record{};
    race.c = GetParam();
    race.finish_bound = finish_bound_tics(race.c.track);
    frame_hook = frame_hook_race;
    sound_listener_follows_view = 0;
    // A queued console line keeps the main menu closed at the start.
    std::vector<std::string> words = {"zentrik",    "--track", race.c.track, "--record-audio", raw, "--warp",
                                      "--console-commands", "/echo scripts"};
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    int status = game_main(int(argv.size()), argv.data());
    frame_hook = nullptr;
    sound_listener_follows_view = 1;
    std::string log = read_whole_file(setup.log_path());
    ASSERT_EQ(status, 0) << log;
    EXPECT_EQ(log.find("javascript"), std::string::npos) << "no script error: " << log;

    // The race ran to its end with no menu over it; the player rode off.
    ASSERT_GT(race.finish_frame, 0);
    if (race.c.must_finish) {
        EXPECT_TRUE(race.race_finished) << "the leader rode " << laps << " laps within " << race.finish_bound / 128 << " s";
    }
    EXPECT_EQ(race_laps, laps);
    EXPECT_TRUE(race.tics_in_step);
    EXPECT_EQ(race.menu_seen, -1);
    EXPECT_GT(race.player_moved, 100.0) << "30 s at full throttle";
    printf("%s: the %d-lap race %s %.0f s after the reset; the player rode %.0f ft\n", race.c.track, laps,
           race.race_finished ? "finished" : "was stopped", race.finish_frame * tics_per_frame / 128.0, race.player_moved);

    // The objects moved: the stadium's banners wave 0.8 ft either way of
    // their height (more than a foot from top to bottom over a race), the
    // practice flag follows the leader, who rode off more than 100 ft.
    for (int i = 0; i < race.c.script_billboards; i++) {
        double dy = race.hi[size_t(3 * i + 1)] - race.lo[size_t(3 * i + 1)];
        double dxz = std::hypot(race.hi[size_t(3 * i)] - race.lo[size_t(3 * i)],
                                race.hi[size_t(3 * i + 2)] - race.lo[size_t(3 * i + 2)]);
        if (race.c.script_statues)
            EXPECT_GT(dy, 1.0) << "banner " << i;
        else
            EXPECT_GT(dxz, 50.0) << "flag";
    }
    if (race.c.script_statues) {
        EXPECT_TRUE(race.fan_posed) << "the fan cheered";
    }

    // Twenty restarts: the script's objects, sounds and sequences are made
    // once per restart, never on top of the last ones.
    EXPECT_EQ(race.loaded.sounds, race.c.script_sounds);
    for (int k = 0; k < restarts; k++) EXPECT_EQ(race.after[k], race.loaded) << "restart " << k + 1;

    if (!race.c.script_sounds) return;
    // The cheer, heard from where it stands with the engines silent: nothing
    // before the gate drops; then the file itself, played at its own rate
    // (22,050 a second), at the level of the settings: 0.1 x "volume" (x the
    // master level 1 with no menu), x 0.1 x "comp_volume" as other riders
    // are heard.
    std::vector<double> heard = samples_of(read_whole_file(raw), false);
    std::vector<double> cheer = samples_of(read_whole_file(zentrik_data_root() + "/tracks/stadium/cheer.raw"), true);
    const size_t per_tic = capture_samples_per_tic;
    ASSERT_GT(race.gate_drop, 256);
    ASSERT_GE(heard.size(), size_t(race.finish_frame) * tics_per_frame * per_tic);
    double before = rms(heard, 128 * per_tic, size_t(race.gate_drop - 160) * per_tic);
    EXPECT_EQ(before, 0.0) << "silent before the gate drop";
    // The frame after the start sets the voice's level: from the first frame
    // boundary past the gate drop (two tics' margin) until 1.4 s in, before
    // the 1.5 s cheer ends.
    const int32_t boundary = (race.gate_drop / tics_per_frame + 1) * tics_per_frame + 2;
    const double from = double(boundary - race.gate_drop) / 128, to = 1.4;
    ASSERT_LT(from, to - 0.5);
    double gain = 0.1 * settings.volume.value * 0.1 * settings.comp_volume.value;
    double expected = gain * rms(cheer, size_t(from * 22050), size_t((to - from) * 22050));
    double measured = rms(heard, size_t(race.gate_drop) * per_tic + size_t(from * capture_audio_rate),
                          size_t((to - from) * capture_audio_rate));
    ASSERT_GT(expected, 10.0) << "the cheer is loud enough to measure";
    // Linear interpolation of a sound whose energy lies below 2 kHz keeps
    // its level within a few per cent; a tic's offset in the window moves
    // the dying envelope by a few per cent more.
    EXPECT_NEAR(measured, expected, 0.15 * expected);
    printf("%s: gate drop %.2f s; cheer heard at %.0f rms, %.0f expected\n", race.c.track, race.gate_drop / 128.0,
           measured, expected);
}

INSTANTIATE_TEST_SUITE_P(generated, track_scripts,
                         ::testing::Values(track_case{"stadium", 5, 1, 1, true}, track_case{"practice", 1, 0, 0, false}),
                         [](const ::testing::TestParamInfo<track_case>& p) { return std::string(p.param.track); });

}  // namespace
