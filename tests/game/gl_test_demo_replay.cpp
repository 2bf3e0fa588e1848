// A recorded race played back by the program: the player (riding off on
// three seconds of throttle) and two computer riders on the stadium for forty seconds while the game records the demo and this
// test notes where every rider was at every frame (32 frames a second, four
// tics each) and the race order at the end. Then the program runs again
// with the demo file as its argument and "--warp": every replayed rider
// must stand where the recorded run had it, the race order must come out
// the same, and seeking back from late in the replay to tic 0 and riding
// forward again must pose the riders as straight play did.
#include <SDL.h>
#include <gtest/gtest.h>
#include <ode/ode.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/game_state.h"
#include "game/demo.h"
#include "game/main_loop.h"
#include "game/race_reset.h"
#include "game/results.h"
#include "game/sim_tic.h"
#include "game/state_history.h"
#include "game/startup.h"
#include "physics/rider.h"
#include "support_zentrik.h"
#include "ui/settings.h"

namespace fs = std::filesystem;

namespace {

constexpr int rider_total = 3;

struct sample {
    int32_t tic;
    double at[3];
};

// The recorded run, by the riders' demo index.
std::vector<sample> recorded[rider_total];
constexpr int32_t record_tics = 40 * 128;
int32_t results_seen_tic = -1;
bool quit_pushed = false;
bool throttle_held = false, throttle_released = false;

void push_quit()
{
    if (quit_pushed) return;
    SDL_Event e{};
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
    quit_pushed = true;
}

// The race order as demo indices and gates passed: the same in the
// recorded run (indices from the recorder) and the replay (from the slot map).
std::vector<std::pair<int, int>> order_by_index()
{
    race_order_build();
    std::vector<std::pair<int, int>> out;
    for (int e = 0; e < race_order_count; e++) {
        int slot = race_order[e].slot, index = -1;
        for (int i = 0; i < rider_total; i++)
            if ((demo_recording() ? demo_rider_index(slot) == i : demo_slot_map[i] == slot)) index = i;
        out.emplace_back(index, race_order[e].gates_passed);
    }
    return out;
}
std::vector<std::pair<int, int>> recorded_order;

void record_hook(int frame)
{
    if (frame == 0) {
        settings.demo_backups = 0;
        int32_t kinds[slot_total] = {};
        // The player in slot 0 rides off with the throttle held once the
        // gate is down; two computer riders beside it.
        kinds[0] = slot_kind_player;
        for (int k = 1; k < rider_total; k++) kinds[k] = slot_kind_ai;
        reset_session(kinds, 0, 1, 0, 1, 0);
        // The main menu start-up opened holds a race with a player.
        menu_page = -1;
        return;
    }
    if (!throttle_held && tic_counter > gate_drop_tic + 64) {
        push_key_event(SDL_SCANCODE_X, true);
        throttle_held = true;
    }
    // Three seconds of throttle, then it rolls out: it stays on the track.
    if (throttle_held && !throttle_released && tic_counter > gate_drop_tic + 64 + 3 * 128) {
        push_key_event(SDL_SCANCODE_X, false);
        throttle_released = true;
    }
    for (int slot = 0; slot < slot_total; slot++) {
        int32_t i = demo_rider_index(slot);
        if (i < 0 || i >= rider_total || !rider_table[slot]) continue;
        sample s{tic_counter, {}};
        memcpy(s.at, dBodyGetPosition(rider_table[slot]->frame_body), sizeof s.at);
        recorded[i].push_back(s);
    }
    // Forty seconds of game time: the gate drops after 13 to 15 and the
    // riders are well away from it by the end.
    if (tic_counter >= record_tics && !quit_pushed) {
        results_seen_tic = tic_counter;
        recorded_order = order_by_index();
        push_quit();
    }
}

// ---- The replay --------------------------------------------------------------

struct replay_record {
    int frames = 0, poses = 0, outside = 0;
    double worst = 0;
    std::map<int32_t, std::vector<std::array<double, 3>>> straight;  // tic -> pose per index
    bool seeked = false;
    int32_t seek_from = -1, seek_lowest = 1 << 30;
    int compared = 0;
    double seek_worst = 0;
    bool replaying = false, ended = false;
    std::vector<std::pair<int, int>> order;
} replay;

// Where the recorded run had rider i around tic b: the frames just before
// and after it. The pose may lie anywhere between them, and beyond by the
// way covered in one such interval (states go into the demo every fourth
// tic and the replay blends and follows them), plus 1/4 ft for the record's
// packing.
bool recorded_bounds(int i, int32_t b, double low[3], double high[3])
{
    const std::vector<sample>& v = recorded[i];
    auto after = std::lower_bound(v.begin(), v.end(), b, [](const sample& s, int32_t t) { return s.tic < t; });
    if (after == v.end() || after == v.begin()) return false;
    auto before = after - 1;
    if (after->tic - before->tic > 8) return false;
    double span = std::sqrt((after->at[0] - before->at[0]) * (after->at[0] - before->at[0]) +
                            (after->at[1] - before->at[1]) * (after->at[1] - before->at[1]) +
                            (after->at[2] - before->at[2]) * (after->at[2] - before->at[2]));
    double widen = span + 0.25;
    for (int k = 0; k < 3; k++) {
        low[k] = std::min(before->at[k], after->at[k]) - widen;
        high[k] = std::max(before->at[k], after->at[k]) + widen;
    }
    return true;
}

std::array<double, 3> pose_of(int i)
{
    int32_t slot = demo_slot_map[i];
    const double* p = dBodyGetPosition(rider_table[slot]->frame_body);
    return {p[0], p[1], p[2]};
}

bool replayed(int i)
{
    int32_t slot = i < demo_header.rider_count ? demo_slot_map[i] : -1;
    return slot >= 0 && slot < slot_total && rider_table[slot];
}

// Back from where the replay stands to tic 0 a second at a time, then
// forward tic by tic, comparing with the poses straight play showed.
void seek_round_trip()
{
    printf("seeking back from tic %d\n", tic_counter);
    fflush(stdout);
    replay.seeked = true;
    replay.seek_from = tic_counter;
    for (int n = 0; n < 100000 && tic_counter > 0; n++) {
        seek_demo(-1.0f);
        replay.seek_lowest = std::min(replay.seek_lowest, tic_counter);
    }
    replay.seek_lowest = std::min(replay.seek_lowest, tic_counter);
    while (tic_counter < replay.seek_from) {
        run_tic();
        auto it = replay.straight.find(tic_counter);
        if (it == replay.straight.end()) continue;
        for (int i = 0; i < rider_total; i++) {
            if (!replayed(i)) continue;
            std::array<double, 3> now = pose_of(i);
            double d = std::sqrt((now[0] - it->second[i][0]) * (now[0] - it->second[i][0]) +
                                 (now[1] - it->second[i][1]) * (now[1] - it->second[i][1]) +
                                 (now[2] - it->second[i][2]) * (now[2] - it->second[i][2]));
            replay.seek_worst = std::max(replay.seek_worst, d);
            replay.compared++;
        }
    }
}

void replay_hook(int)
{
    if (demo_replay_version() == 0) return;
    replay.replaying = true;
    replay.frames++;
    int32_t b = tic_counter - 1 - history_delay;
    std::vector<std::array<double, 3>> poses(rider_total);
    for (int i = 0; i < rider_total; i++) {
        if (!replayed(i)) continue;
        poses[i] = pose_of(i);
        double low[3], high[3];
        if (!recorded_bounds(i, b, low, high)) continue;
        double outside = 0;
        for (int k = 0; k < 3; k++) outside = std::max({outside, low[k] - poses[i][k], poses[i][k] - high[k]});
        replay.poses++;
        if (outside > 0 && replay.outside < 3)
            printf("tic %d index %d slot %d pose %.2f %.2f %.2f bounds %.2f..%.2f %.2f..%.2f %.2f..%.2f\n", b, i,
                   demo_slot_map[i], poses[i][0], poses[i][1], poses[i][2], low[0], high[0], low[1], high[1], low[2],
                   high[2]);
        if (outside > 0) {
            replay.outside++;
            replay.worst = std::max(replay.worst, outside);
        }
    }
    replay.straight[tic_counter] = poses;
    // Late in the recorded stretch: back to tic 0 and forward again.
    if (!replay.seeked && tic_counter >= results_seen_tic - 256) seek_round_trip();
    if (tic_counter >= results_seen_tic && !replay.ended) {
        replay.order = order_by_index();
        replay.ended = true;
        push_quit();
    }
}

int run_game(const std::vector<std::string>& words)
{
    static bool held = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && SDL_GL_LoadLibrary(nullptr) == 0;
    if (!held) return -1;
    std::vector<std::string> w = words;
    std::vector<char*> argv;
    for (std::string& s : w) argv.push_back(s.data());
    quit_pushed = false;
    return game_main(int(argv.size()), argv.data());
}

TEST(demo_replay, poses_results_and_seeks_follow_the_recorded_race)
{
    zentrik_setup setup;
    zentrik_environment_here(setup);

    frame_hook = record_hook;
    int status = run_game({"zentrik", "--track", "stadium", "--nosound", "--lock-fps", "32"});
    frame_hook = nullptr;
    ASSERT_EQ(status, 0) << read_whole_file(setup.log_path());
    ASSERT_GT(results_seen_tic, 0);
    for (int i = 0; i < rider_total; i++) ASSERT_GT(recorded[i].size(), 100u) << i;
    std::string demo = setup.player_folder() + "/demos/default.ztdemo";
    ASSERT_TRUE(fs::exists(demo));

    printf("recorded to tic %d\n", results_seen_tic);
    fflush(stdout);
    frame_hook = replay_hook;
    status = run_game({"zentrik", demo, "--nosound", "--warp"});
    frame_hook = nullptr;
    ASSERT_EQ(status, 0) << read_whole_file(setup.log_path());

    // Every replayed rider where the recorded run had it.
    EXPECT_GT(replay.poses, 60);
    EXPECT_EQ(replay.outside, 0) << "worst " << replay.worst << " ft";
    // The same race order and gates at the end of the recorded stretch.
    EXPECT_TRUE(replay.ended);
    EXPECT_EQ(replay.order, recorded_order);
    // Back to tic 0 and forward again: the poses straight play showed.
    EXPECT_TRUE(replay.seeked);
    // The last step back lands on tic 0 and runs one tic from there.
    EXPECT_LE(replay.seek_lowest, 1);
    EXPECT_GT(replay.compared, 60);
    EXPECT_LT(replay.seek_worst, 0.25);
    double moved = 0;
    for (int i = 0; i < rider_total; i++)
        moved = std::max(moved, std::hypot(recorded[i].back().at[0] - recorded[i].front().at[0],
                                           recorded[i].back().at[2] - recorded[i].front().at[2]));
    EXPECT_GT(moved, 20.0) << "the player rode off";
    printf("farthest rider moved %.1f ft; ", moved);
    printf("recorded %zu frames, replay %d frames, %d poses checked (%d outside, worst %.3f ft); seek from tic %d: "
           "%d poses compared, worst %.4f ft\n",
           recorded[0].size(), replay.frames, replay.poses, replay.outside, replay.worst, replay.seek_from,
           replay.compared, replay.seek_worst);
}

}  // namespace
