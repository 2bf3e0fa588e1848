// A race of 20 computer riders on the shipped lines of the generated
// practice track, through the real race reset and simulation tic: every
// rider finishes its 3 laps in a sane time, none stands stuck beyond the
// auto pilot's recovery, and crashes stay rare.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ai/racing_lines.h"
#include "core/game_state.h"
#include "core/vfs.h"
#include "game/lighting.h"
#include "game/race_reset.h"
#include "game/sim_tic.h"
#include "game/startup.h"
#include "game/track_list.h"
#include "physics/lap_timing.h"
#include "physics/physics_world.h"
#include "physics/rider.h"
#include "ui/settings.h"

namespace fs = std::filesystem;

namespace {

std::string generated_data_root()
{
    return fs::canonical(fs::read_symlink("/proc/self/exe").parent_path() / ".." / "data").string();
}

// The length of a closed "x z" loop file, worked out here from its points.
double loop_length(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::pair<double, double>> p;
    std::string line;
    while (std::getline(in, line)) {
        double x, z;
        if (line.empty() || line[0] == '#' || sscanf(line.c_str(), "%lf %lf", &x, &z) != 2) continue;
        p.push_back({x, z});
    }
    double length = 0.0;
    for (size_t i = 0; i < p.size(); i++) {
        const auto &a = p[i], &b = p[(i + 1) % p.size()];
        length += std::hypot(b.first - a.first, b.second - a.second);
    }
    return length;
}

struct shipped_race : ::testing::Test {
    fs::path home;
    decltype(lighting_texture_loader) saved_loader = lighting_texture_loader;
    void SetUp() override
    {
        home = fs::temp_directory_path() / ("zt_race_" + std::to_string(getpid()));
        fs::create_directories(home);
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        setenv("ZT_HOME", generated_data_root().c_str(), 1);
        setenv("ZT_SEED", "11", 1);
        vfs_shutdown();
        vfs_build_index();
        track_list_free();
        ASSERT_TRUE(track_list_build());
        physics_world_create();
        lighting_texture_loader = [](const char*) { return 0; };  // no GL: no sky textures
        options.learn_lines = 0;
    }
    void TearDown() override
    {
        riders_destroy_all();
        track_free();
        lighting_texture_loader = saved_loader;
        physics_world_destroy();
        track_list_free();
        vfs_shutdown();
        unsetenv("ZT_SEED");
        unsetenv("ZT_HOME");
        unsetenv("XDG_DATA_HOME");
        fs::remove_all(home);
    }
};

TEST_F(shipped_race, twenty_riders_finish_three_laps_of_the_practice_track)
{
    const char* folder = "tracks/practice";
#ifdef __SANITIZE_ADDRESS__
    // The sanitizer build runs the same race smaller: the memory checks see
    // every path of the race in a lap of six riders.
    const int riders = 6, laps = 1;
#else
    const int riders = 20, laps = 3;
#endif
    double length = loop_length(generated_data_root() + "/" + folder + "/centre_line");
    ASSERT_GT(length, 1000.0);
    snprintf(settings.track, sizeof settings.track, "%s", folder);
    int32_t kinds[slot_total] = {};
    for (int k = 0; k < riders; k++) kinds[k] = slot_kind_ai;
    reset_session(kinds, 0, 0, 0, laps, 2);
    ASSERT_STREQ(track_dir, folder);
    ASSERT_NE(racing_line_sets.sets, nullptr);
    int lines = 0;
    for (int32_t i = 0; i < timing_gates.line_set_count; i++)
        for (const racing_line& l : racing_line_sets.sets[i].lines) lines += l.point_count > 0;
    ASSERT_GT(lines, 0) << "the shipped lines did not load";

    // A bound no working race comes near: every class cruises at well over
    // 25 ft/s and takes the track's tightest bends at about 15 ft/s, so a
    // lap at an average of 10 ft/s is a rider that is not racing. The gate
    // drops at 13..15 s; the last rider gets a further lap's time.
    int32_t bound = int32_t((15.0 + (laps + 1) * length / 10.0) * 128);
    std::vector<double> last_x(riders), last_z(riders);
    std::vector<int32_t> still_since(riders, -1), worst_still(riders, 0);
    while (tic_counter < bound) {
        run_tic();
        bool all = true;
        for (int k = 0; k < riders; k++) all = all && rider_table[k] && rider_table[k]->finished;
        if (all) break;
        // Stuck: the main body within 5 ft of where it was, checked every
        // second from the gate drop until the rider finishes.
        if (tic_counter % 128 != 0 || tic_counter < gate_drop_tic + 3 * 128) continue;
        for (int k = 0; k < riders; k++) {
            rider* r = rider_table[k];
            if (!r || r->finished) continue;
            const dReal* p = dBodyGetPosition(r->frame_body);
            if (still_since[k] < 0 || std::hypot(p[0] - last_x[k], p[2] - last_z[k]) > 5.0) {
                still_since[k] = tic_counter;
                last_x[k] = p[0], last_z[k] = p[2];
            }
            worst_still[k] = std::max(worst_still[k], tic_counter - still_since[k]);
        }
    }
    int crashes = 0;
    int32_t longest_still = 0;
    std::vector<double> best_laps;
    for (int k = 0; k < riders; k++) {
        rider* r = rider_table[k];
        ASSERT_NE(r, nullptr) << k;
        EXPECT_TRUE(r->finished) << "rider " << k << " (" << r->number << ") passed " << r->gate_count << " gates";
        // The auto pilot's recovery starts 3 s after progress stops, drags
        // the bike from 19 s and starts its way afresh at 40 s. This check
        // samples once a second and needs 5 ft of movement, which a bike
        // pulling away at a third of a g covers in about 1 s: a rider
        // standing longer than 40 + 1 + 1 s (and a second of margin) is one
        // the recovery lost.
        EXPECT_LE(worst_still[k], 43 * 128) << "rider " << k << " stood still for " << worst_still[k] / 128.0 << " s";
        longest_still = std::max(longest_still, worst_still[k]);
        crashes += r->crash_count;
        double best = 0.0;
        for (int n = 1; n <= rider_laps_done(r); n++) {
            double t = rider_lap_time(r, n);
            if (t > 0.0 && (best == 0.0 || t < best)) best = t;
        }
        if (best > 0.0) best_laps.push_back(best);
    }
    // Fewer than one crash per rider per lap.
    EXPECT_LT(crashes, riders * laps);
    std::sort(best_laps.begin(), best_laps.end());
    ASSERT_FALSE(best_laps.empty());
    printf("practice: %d riders, %.0f s of race, %d crashes, longest standstill %.0f s, best lap %.1f s, median best "
           "lap %.1f s, lap %.0f ft\n",
           riders, tic_counter / 128.0, crashes, longest_still / 128.0, best_laps.front(),
           best_laps[best_laps.size() / 2], length);
}

}  // namespace
