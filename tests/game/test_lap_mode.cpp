// The lap mode: a lone player's laps, each recorded as the track folder's
// "lastlap.ztdemo", the fastest kept as "fastlap.ztdemo" and ridden again by
// its ghost. First on a straight of gates with the player's front wheel
// carried through them (cheap, exact tics), then a whole lap-mode race
// through the real race reset and tic on a generated track.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <ode/ode.h>

#include "ai/autopilot.h"
#include "core/game_state.h"
#include "core/vfs.h"
#include "game/demo.h"
#include "game/generated_race.h"
#include "game/startup.h"
#include "game/lighting.h"
#include "game/race_reset.h"
#include "game/results.h"
#include "game/sim_tic.h"
#include "game/state_history.h"
#include "game/track_list.h"
#include "physics/bike_info.h"
#include "physics/lap_timing.h"
#include "physics/physics_world.h"
#include "physics/rider_access.h"
#include "physics/rider.h"
#include "physics/rider_build.h"
#include "support/straight_gates.h"
#include "physics/setup.h"
#include "track_fixture.h"
#include "ui/settings.h"

namespace fs = std::filesystem;

namespace {

std::string file_text(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<none>";
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A file of the loaded track's folder as the player's folder holds it.
fs::path track_file(const fs::path& player_folder, const char* name) { return player_folder / track_dir / name; }

// ---- on a straight of gates ---------------------------------------------------

// Checkpoints across a straight along +x at x = 10, 20, 30, ..., each
// reaching 5 ft and passed toward +x; the laps are given as entries, an
// entry of 100000 + c being checkpoint c without an AI switch point.
void load_lap_entries(const std::vector<int32_t>& first, const std::vector<int32_t>& normal)
{
    memset(&timing_gates, 0, sizeof timing_gates);
    int32_t most = 0, counted_first = 0, counted_normal = 0, n = 0;
    for (int32_t e : first) {
        most = std::max(most, e % lap_entry_marked);
        counted_first += e < lap_entry_marked;
        timing_gates.lap_entries[n++] = e;
    }
    for (int32_t e : normal) {
        most = std::max(most, e % lap_entry_marked);
        counted_normal += e < lap_entry_marked;
        timing_gates.lap_entries[n++] = e;
    }
    timing_gates.checkpoint_count = most + 1;
    for (int c = 0; c <= most; c++) timing_gates.checkpoints[c] = {10.0f * (c + 1), 0, 0, 1, 0, 0, 5.0f, 0};
    timing_gates.first_lap_entries = int32_t(first.size());
    timing_gates.normal_lap_entries = int32_t(normal.size());
    timing_gates.counted_first_lap = counted_first;
    timing_gates.counted_normal_lap = counted_normal;
}

struct lap_gates : track_fixture {
    rider* player = nullptr;
    void SetUp() override
    {
        track_fixture::SetUp();
        for (rider*& r : rider_table) r = nullptr;
        for (int32_t& s : slot_status) s = slot_driven_by_history;
        history_clear_all();
        physics_world_create();
        load_lap_entries({0, 1, 2}, {0, 1, 2});
        player = rider_create("kx250f(2008)", 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(player, nullptr);
        rider_table[0] = player;
        slot_status[0] = slot_driven_by_player;
        lap_mode = 1;
        lap_limit = 1000000;
        gate_drop_tic = 100;
        history_delay = 0;
        tic_counter = 38400;
        results_final = 0;
        best_lap_tics = last_lap_tics = 0;
        fs::create_directories(home + "tracks/t");
    }
    void TearDown() override
    {
        demo_close();
        demo_finish();
        riders_destroy_all();
        lap_mode = 0;
        tic_counter = 0;
        memset(&timing_gates, 0, sizeof timing_gates);
        physics_world_destroy();
        track_fixture::TearDown();
    }
    int32_t ride_to(int c, int tics = 1) { return ride_past_checkpoint(player, c, tics); }
    // Rides the checkpoints of entries, each held `hold` tics, the last one
    // tic; the tic the last was passed at.
    int32_t ride_entries(const int32_t* entries, int32_t count, int hold)
    {
        int32_t at = -1;
        for (int32_t i = 0; i < count; i++) at = ride_to(entries[i] % lap_entry_marked, i + 1 < count ? hold : 1);
        return at;
    }
};

// A lap ends where the gate passage ends it, after every entry of the lap,
// a marked entry (a gate without an AI switch point) included. The lap end
// cuts the player back to the gates a restart leaves (the first lap's less
// one) and the finish line is taken again at once, on the next tic; the lap
// that follows is timed from there to the finish one normal lap later.
TEST_F(lap_gates, a_lap_ends_after_every_entry_marked_ones_too_and_cuts_back_as_a_restart)
{
    struct table {
        const char* what;
        std::vector<int32_t> first, normal;
    } tables[] = {
        {"no marked entries", {0, 1, 2}, {0, 1, 2}},
        {"a marked entry in each lap", {0, 100001, 2, 3}, {0, 100001, 2, 3}},
        {"marked entries in the first lap only", {100000, 1, 100002, 3}, {0, 1, 2, 3}},
    };
    for (const table& t : tables) {
        SCOPED_TRACE(t.what);
        load_lap_entries(t.first, t.normal);
        rider_truncate_gates(player, 0);
        best_lap_tics = last_lap_tics = 0;
        int32_t f = int32_t(t.first.size()), n = int32_t(t.normal.size());
        // The first lap, to its last entry: only there does a lap end.
        for (int32_t i = 0; i + 1 < f; i++) {
            ride_to(t.first[i] % lap_entry_marked);
            ASSERT_EQ(rider_gate_count(player), i + 1) << "entry " << i;
        }
        int32_t first_end = ride_to(t.first[f - 1] % lap_entry_marked);
        // Cut back to f - 1 gates as a restart cuts, then the finish line
        // taken again in the step, after the clock moved on.
        EXPECT_EQ(rider_gate_count(player), f);
        EXPECT_EQ(rider_gate_tic(player, f - 1), first_end + 1);
        EXPECT_EQ(last_lap_tics, 0) << "no whole lap yet";
        // A normal lap: 40 tics at each gate but the last.
        int32_t lap_end = ride_entries(t.normal.data(), n, 40);
        EXPECT_EQ(last_lap_tics, lap_end - (first_end + 1));
        EXPECT_EQ(last_lap_tics, 40 * (n - 1));
        EXPECT_EQ(best_lap_tics, last_lap_tics);
        EXPECT_EQ(rider_gate_count(player), f);
        demo_stop();
    }
}

// The ghost made by a lap end from the fast lap's rider line is made as the
// race reset makes a demo's riders: the line's name and number, the bike
// upgraded, only paints that stay inside the data roots, steering damped for
// replayed poses, driven by its history, the demo's rider index mapped to its
// slot, and its gates cut back like the player's.
TEST_F(lap_gates, the_ghost_is_made_as_the_reset_makes_demo_riders)
{
    std::ofstream(track_file(home, "fastlap.ztdemo"), std::ios::binary)
        << "ZT06   1          0    0 1792\ntracks/t\n"
        << "yz250f|@rider_body-alt1.png|../../../etc/passwd|@wheels-alt1.png|@rider_head-alt2.png\n"
        << "42\nGhost Name\n\n";
    ride_to(0);
    ride_to(1);
    ride_to(2);
    const rider* g = rider_table[1];
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(slot_status[1], slot_driven_by_history);
    EXPECT_STREQ(g->number, "42");
    EXPECT_STREQ(slot_rider_name[1], "Ghost Name");
    const bike_info* bikes = bike_info_table();
    ASSERT_NE(bikes, nullptr);
    EXPECT_STREQ(bikes[g->bike_index].name, "yz250f(2008)");
    EXPECT_STREQ(g->rider_texture.name, "@rider_body-alt1.png");
    EXPECT_EQ(std::string(g->bike_texture.name).find(".."), std::string::npos) << g->bike_texture.name;
    EXPECT_FLOAT_EQ(g->roll_damping, 100.0f);
    EXPECT_FLOAT_EQ(g->full_lock_speed, 5.0f);
    EXPECT_FLOAT_EQ(g->restricted_lock_speed, 50.0f);
    EXPECT_NEAR(g->restricted_lock, 2.5 * M_PI / 180.0, 1e-6);
    EXPECT_EQ(g->crash_tics, 0);
    EXPECT_EQ(demo_slot_map[0], 1);
    EXPECT_EQ(rider_gate_count(g), timing_gates.first_lap_entries - 1);
    EXPECT_EQ(rider_table[2], nullptr) << "one rider line, one ghost";
}

// The fast lap is replaced through a second name: when that name cannot be
// written the old fast lap stays whole, byte for byte, and nothing is left
// under the second name once a copy succeeds.
TEST_F(lap_gates, a_faster_lap_replaces_the_fast_lap_through_a_second_name)
{
    const int32_t lap[3] = {0, 1, 2};
    ride_entries(lap, 3, 1);  // lap 1 ends: recording starts
    ride_entries(lap, 3, 40);  // the first timed lap: no fast lap yet, so it is kept
    std::string kept = file_text(track_file(home, "fastlap.ztdemo"));
    ASSERT_EQ(kept.compare(0, 4, "ZT06"), 0);
    EXPECT_FALSE(fs::exists(track_file(home, "fastlap.ztdemo.tmp")));
    // A faster lap while the second name is a folder: no copy, the old file whole.
    fs::create_directories(track_file(home, "fastlap.ztdemo.tmp"));
    ride_entries(lap, 3, 10);
    EXPECT_EQ(last_lap_tics, 20);
    EXPECT_EQ(file_text(track_file(home, "fastlap.ztdemo")), kept);
    fs::remove(track_file(home, "fastlap.ztdemo.tmp"));
    // Faster again with the name free: replaced.
    ride_entries(lap, 3, 5);
    EXPECT_EQ(last_lap_tics, 10);
    EXPECT_NE(file_text(track_file(home, "fastlap.ztdemo")), kept);
    EXPECT_FALSE(fs::exists(track_file(home, "fastlap.ztdemo.tmp")));
}

// ---- a lap-mode race ------------------------------------------------------------

struct lap_mode_race : generated_race {
    void SetUp() override
    {
        home_name = "zt_lapmode";
        seed = "19";
        generated_race::SetUp();
        setup_defaults(&player_setup);  // as start-up does before the settings file
    }
    void TearDown() override
    {
        demo_close();
        demo_finish();
        generated_race::TearDown();
        lap_mode = 0;
        player_setup = bike_setup{};
    }
};

// The chunk tics of a version-6 demo, read here from the format: the text
// lines (header, track, four lines per rider), then chunks of {u32 length
// XOR the previous length, i32 tic, u8 channel, payload}.
std::vector<int32_t> chunk_tics(const std::string& bytes)
{
    std::vector<int32_t> tics;
    std::istringstream in(bytes);
    std::string line;
    int riders = 0;
    std::getline(in, line);
    if (sscanf(line.c_str(), "ZT06 %d", &riders) != 1) return tics;
    std::getline(in, line);
    for (int i = 0; i < riders * 4; i++) std::getline(in, line);
    size_t at = size_t(in.tellg());
    uint32_t previous = 0;
    while (at + 9 <= bytes.size()) {
        auto u32 = [&](size_t p) {
            return uint32_t(uint8_t(bytes[p])) | uint32_t(uint8_t(bytes[p + 1])) << 8 |
                   uint32_t(uint8_t(bytes[p + 2])) << 16 | uint32_t(uint8_t(bytes[p + 3])) << 24;
        };
        uint32_t length = u32(at) ^ previous;
        tics.push_back(int32_t(u32(at + 4)));
        previous = length;
        at += 9 + length;
    }
    if (at != bytes.size()) tics.push_back(-1);  // a chunk cut short
    return tics;
}

struct lap_sample {
    double x, z;
};

// On a generated track, the player's slot driven by the auto pilot from the
// finish line: passing it starts the lap recording; the clean lap after it
// becomes "fastlap.ztdemo"; on the next lap its ghost rides in slot 1 along
// the recorded path and passes the lap's gates in the recorded time; that
// lap, held at its start for longer than the clean lap took, is slower and
// leaves the fast lap byte for byte.
void clean_lap_then_its_ghost(const char* folder, const fs::path& home)
{
    snprintf(settings.track, sizeof settings.track, "%s", folder);
    reset_session(nullptr, 0, 0, 0, 1000, 2);
    ASSERT_STREQ(track_dir, folder);
    ASSERT_EQ(lap_mode, 1);
    rider* player = rider_table[0];
    ASSERT_NE(player, nullptr);
    slot_status[0] = slot_driven_by_autopilot;
    ASSERT_NE(rider_set_autopilot_personality(player, "pell"), 0);
    const int32_t f = timing_gates.first_lap_entries, n = timing_gates.normal_lap_entries;
    ASSERT_GT(n, 2);
    ASSERT_EQ(rider_gate_count(player), f - 1);
    // The reset stood the player at the restart gate its counter picks; as
    // many restarts as a lap has gates bring it round to the finish line.
    lap_mode_restart_count = n;
    lap_mode_restart();
    ASSERT_EQ(rider_table[0], player);

    // A lap at an average of 5 ft/s is a rider that is not riding (every
    // class cruises well above 25 ft/s); a lap of either generated track is
    // under 4000 ft (the practice loop 2800 ft, the stadium five lanes of 190 ft and their turns).
    const int32_t lap_bound = int32_t(4000.0 / 5.0 * 128);
    // Rides until the player's lap ends, held at the line with the brakes on
    // for the first hold tics (its own input), the auto pilot after that;
    // each_tic sees every tic but the last. A lap end is seen from outside
    // as the laps done changing, or the gates cut back (the finish line is
    // taken again at once, so the laps done may read the same). 1 when the
    // lap ended.
    auto ride_lap = [&](int32_t hold, const std::function<void()>& each_tic) {
        int32_t start = tic_counter;
        while (tic_counter - start < lap_bound + hold) {
            bool held = tic_counter - start < hold;
            slot_status[0] = held ? slot_driven_by_player : slot_driven_by_autopilot;
            if (held) rider_set_throttle(player, 0);
            rider_set_front_brake(player, held ? 1.0f : 0.0f);
            rider_set_rear_brake(player, held ? 1.0f : 0.0f);
            int32_t laps = rider_laps_done(player), gates = rider_gate_count(player);
            run_tic();
            if (rider_laps_done(player) != laps || rider_gate_count(player) < gates) return true;
            each_tic();
        }
        return false;
    };
    // Over the finish line: the lap recording starts (nothing was recorded
    // before it, so there is no lap to keep yet).
    ASSERT_TRUE(ride_lap(0, [] {})) << "gates " << rider_gate_count(player);
    EXPECT_FALSE(fs::exists(track_file(home / "Zentrik", "fastlap.ztdemo")));
    EXPECT_EQ(last_lap_tics, 0);

    // The clean lap.
    int32_t clean_start = tic_counter;
    int crashes = player->crash_count;
    std::vector<lap_sample> clean;  // the player's frame after each tic of the lap
    ASSERT_TRUE(ride_lap(0, [&] {
        const dReal* p = dBodyGetPosition(player->frame_body);
        clean.push_back({p[0], p[2]});
    })) << "the clean lap did not end: " << rider_gate_count(player) << " gates";
    int32_t clean_end = tic_counter;
    int32_t clean_lap = last_lap_tics;
    // Timed from the finish line, taken again in the tic that ended the last
    // lap (after its clock moved on: clean_start), to the finish line passed
    // in the last tic (before its clock moved on: clean_end - 1).
    EXPECT_EQ(clean_lap, clean_end - 1 - clean_start);
    EXPECT_EQ(best_lap_tics, clean_lap);
    std::string fast = file_text(track_file(home / "Zentrik", "fastlap.ztdemo"));
    EXPECT_FALSE(fs::exists(track_file(home / "Zentrik", "fastlap.ztdemo.tmp")));
    // The file is the clean lap's recording: one rider, this track, chunks
    // from the lap's first tic to its last.
    int riders = -1;
    ASSERT_EQ(sscanf(fast.c_str(), "ZT06 %d", &riders), 1);
    EXPECT_EQ(riders, 1);
    EXPECT_EQ(fast.substr(fast.find('\n') + 1, strlen(folder) + 1), std::string(folder) + "\n");
    std::vector<int32_t> tics = chunk_tics(fast);
    ASSERT_GE(tics.size(), 2u);
    EXPECT_EQ(tics.front(), clean_start);
    EXPECT_EQ(tics.back(), clean_end);
    EXPECT_TRUE(std::is_sorted(tics.begin(), tics.end()));

    // The ghost rides the next lap while the player is held at the line.
    rider* ghost = rider_table[1];
    ASSERT_NE(ghost, nullptr);
    EXPECT_EQ(slot_status[1], slot_driven_by_history);
    EXPECT_STREQ(ghost->number, player->number);
    EXPECT_STREQ(slot_rider_name[1], slot_rider_name[0]);
    EXPECT_EQ(ghost->bike_index, player->bike_index);
    EXPECT_EQ(demo_slot_map[0], 1);
    std::vector<lap_sample> ghost_path;
    int32_t ghost_start_tic = -1, ghost_end_tic = -1;
    ASSERT_TRUE(ride_lap(clean_lap + 128, [&] {
        const dReal* p = dBodyGetPosition(ghost->frame_body);
        ghost_path.push_back({p[0], p[2]});
        if (ghost_end_tic < 0 && rider_gate_count(ghost) >= f + n) {
            ghost_start_tic = rider_gate_tic(ghost, f - 1);
            ghost_end_tic = rider_gate_tic(ghost, f + n - 1);
        }
    })) << "the held lap did not end";
    // The ghost's lap, timed by its own gate passage, is the clean lap's.
    // The replay poses the ghost from states written every 16 tics, so it
    // crosses each gate within one such interval of the recorded crossing.
    ASSERT_GE(ghost_end_tic, 0) << "the ghost did not finish its lap";
    ASSERT_GE(ghost_start_tic, 0);
    EXPECT_NEAR(ghost_end_tic - ghost_start_tic, clean_lap, 16);
    // Along the recorded path: the ghost at replay tic k is where the
    // player was about k tics into the clean lap. Between two states it is
    // posed on the chord of the recorded path, moved a tic on by their
    // velocity; a bike at 80 ft/s covers 10 ft in 16 tics, and the chord
    // of a 10-ft piece of a bend of 20 ft radius strays 0.6 ft from it
    // (10^2 / (8 x 20)); a tic's motion adds 0.6 ft. So within 16 tics of
    // its own time it is never more than 2 ft from the recorded path.
    double worst = 0;
    size_t checked = 0;
    // The ghost's first states arrive with the replay's first read, at the
    // end of its first tic: its first pose is the recorded one from then on.
    for (size_t k = 2; k < ghost_path.size() && k < clean.size(); k++) {
        double nearest = 1e9;
        for (size_t j = k >= 17 ? k - 17 : 0; j < std::min(clean.size(), k + 17); j++)
            nearest = std::min(nearest, std::hypot(ghost_path[k].x - clean[j].x, ghost_path[k].z - clean[j].z));
        worst = std::max(worst, nearest);
        checked++;
    }
    EXPECT_GT(checked, clean.size() / 2);
    EXPECT_LT(worst, 2.0) << "the ghost left the recorded path";
    // The slower lap leaves the fast lap alone.
    EXPECT_GT(last_lap_tics, clean_lap);
    EXPECT_EQ(best_lap_tics, clean_lap);
    EXPECT_EQ(file_text(track_file(home / "Zentrik", "fastlap.ztdemo")), fast);
    printf("%s: clean lap %.2f s (%d crashes), ghost's lap %.2f s, held lap %.2f s, ghost within %.2f ft of the "
           "recorded path\n",
           folder, clean_lap / 128.0, player->crash_count - crashes, (ghost_end_tic - ghost_start_tic) / 128.0,
           last_lap_tics / 128.0, worst);
}

TEST_F(lap_mode_race, a_clean_practice_lap_becomes_the_fast_lap_and_its_ghost_rides_the_next)
{
    clean_lap_then_its_ghost("tracks/practice", home);
}

TEST_F(lap_mode_race, a_clean_stadium_lap_becomes_the_fast_lap_and_its_ghost_rides_the_next)
{
    clean_lap_then_its_ghost("tracks/stadium", home);
}

}  // namespace
