// The generated tracks' furniture loads whole, without a message, with the
// counts the generator lays out, every asset it names present, and the start
// grid and checkpoints on the ridden ground.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/game_state.h"
#include "core/vfs.h"
#include "game/flaggers.h"
#include "game/timing_gates.h"
#include "game/track_cameras.h"
#include "game/track_objects.h"
#include "physics/collision_shape.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"
#include "terrain/terrain_load.h"
#include "terrain/terrain_services.h"
#include "track_fixture.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> lines;
std::set<std::string> missing;
alignas(16) unsigned char fake_model[64];

void capture(const char* text) { lines.push_back(text); }
int present_texture(const char* name)
{
    if (vfs_exists(name + (name[0] == '@'))) return 1;
    missing.insert(name);
    return 0;
}
int present_suffix(const char*, const char*, const char*) { return 0; }
mesh* present_model(const char* name)
{
    if (vfs_exists(name + (name[0] == '@'))) return reinterpret_cast<mesh*>(fake_model);
    missing.insert(name);
    return nullptr;
}

struct expected_track {
    const char* folder;
    int start_gates, checkpoints, first_lap, normal_lap;
    int track_flaggers, banners, statues, cameras;
    float ridden_half_width;  // how far the ridden ground reaches either side of the centre line
};

struct generated_track : ::testing::TestWithParam<expected_track> {
    std::string tmp;
    void SetUp() override
    {
        char pattern[] = "/tmp/zt_gentrack_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        tmp = pattern;
        // Tests run in build/tests; the generator writes build/data.
        fs::path data = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "data";
        setenv("ZT_HOME", data.c_str(), 1);
        setenv("XDG_DATA_HOME", tmp.c_str(), 1);
        vfs_shutdown();
        vfs_build_index();
        lines.clear();
        missing.clear();
        track_object_services_reset();
        track_object_hooks.console_print = capture;
        track_object_hooks.texture_load = present_texture;
        track_object_hooks.replace_suffix_lookup = present_suffix;
        track_object_hooks.model_load = present_model;
        terrain_services_reset();
        terrain_hooks.console_print = capture;
        track_objects_free();
    }
    void TearDown() override
    {
        free_loaded_track();
        vfs_shutdown();
        unsetenv("ZT_HOME");
        unsetenv("XDG_DATA_HOME");
        fs::remove_all(tmp);
    }

    static bool on_dirt(float x, float z)
    {
        return x > 0 && z > 0 && x < track_terrain.extent && z < track_terrain.extent &&
               terrain_tile_at(&track_terrain, x, z) != 3;  // tile 3 is the grass off the track
    }
};

TEST_P(generated_track, loads_whole_with_the_expected_counts)
{
    const expected_track& e = GetParam();
    std::string folder = std::string("tracks/") + e.folder;
    ASSERT_EQ(load_track_folder(folder), 1);
    EXPECT_TRUE(lines.empty()) << lines.front();
    EXPECT_TRUE(missing.empty()) << *missing.begin();
    EXPECT_EQ(timing_gates.start_gate_count, e.start_gates);
    EXPECT_EQ(timing_gates.checkpoint_count, e.checkpoints);
    EXPECT_EQ(timing_gates.counted_first_lap, e.first_lap);
    EXPECT_EQ(timing_gates.counted_normal_lap, e.normal_lap);
    EXPECT_GE(timing_gates.counted_first_lap, 3);
    EXPECT_GE(start_flagger.billboard, 0);
    EXPECT_GE(lap_board.billboard, 0);
    for (int k = 0; k < 5; k++) EXPECT_NE(start_flagger.textures[k], 0) << k;
    for (int k = 0; k < 4; k++) EXPECT_NE(lap_board.textures[k], 0) << k;
    EXPECT_EQ(flaggers.count, e.track_flaggers);
    EXPECT_EQ(track_objects.billboards.count - track_objects.first_file_billboard, e.banners);
    EXPECT_EQ(track_objects.statues.count - track_objects.first_file_statue, e.statues);
    EXPECT_EQ(track_cameras.count, e.cameras);
    // Every statue, start gates included, has its model and its shape.
    for (int i = 0; i < track_objects.statues.count; i++) {
        EXPECT_NE(statue_at(i)->model, nullptr) << i;
        EXPECT_NE(statue_at(i)->shape, nullptr) << i;
    }
    // Every checkpoint has a camera watching it.
    for (int c = 0; c < timing_gates.checkpoint_count; c++) EXPECT_GE(gate_camera[c], 0) << c;
    EXPECT_TRUE(vfs_exists((folder + "/map.png").c_str()));
}

TEST_P(generated_track, a_full_grid_and_the_checkpoints_are_on_the_ridden_ground)
{
    const expected_track& e = GetParam();
    std::string folder = std::string("tracks/") + e.folder;
    ASSERT_EQ(load_track_folder(folder), 1);
    int gates = timing_gates.start_gate_count;
    ASSERT_GT(gates, 0);
    // A 40-rider grid: rider p stands on gate p mod G, row p div G, a tenth
    // of a row plus whole rows of 10 ft behind it.
    for (int p = 0; p < 40; p++) {
        const start_gate& g = timing_gates.start_gates[p % gates];
        float d = (p / gates + 0.0625f) * 10;
        float x = g.x + d * sinf(g.angle), z = g.z + d * cosf(g.angle);
        EXPECT_TRUE(on_dirt(x, z)) << "rider " << p << " at " << x << "," << z;
        // No statue other than the start gates within a bike's length.
        for (int i = gates; i < track_objects.statues.count; i++)
            EXPECT_GT(hypotf(statue_at(i)->x - x, statue_at(i)->z - z), 6) << "rider " << p << ", statue " << i;
    }
    for (int c = 0; c < timing_gates.checkpoint_count; c++) {
        const checkpoint& cp = timing_gates.checkpoints[c];
        EXPECT_TRUE(on_dirt(cp.x, cp.z)) << "checkpoint " << c;
        EXPECT_NEAR(hypotf(cp.dx, cp.dz), 1, 1e-3f) << c;
    }
}

// Riders collide with every statue that has a shape, so none may stand where
// they ride: each keeps its whole shape beyond the ridden ground (the stadium's
// lanes and berms reach 9 ft either side of the centre line, the outdoor
// loop's dirt 13 ft) by half a bike's length, 3 ft, so a rider whose middle
// stays on the ground cannot reach it with a wheel.
TEST_P(generated_track, every_solid_statue_stands_clear_of_where_riders_ride)
{
    const expected_track& e = GetParam();
    std::string folder = std::string("tracks/") + e.folder;
    ASSERT_EQ(load_track_folder(folder), 1);
    std::ifstream in(std::string(getenv("ZT_HOME")) + "/" + folder + "/centre_line");
    ASSERT_TRUE(in) << folder << "/centre_line";
    std::vector<float> xs, zs;
    for (std::string line; std::getline(in, line);) {
        float x, z;
        if (line.empty() || line[0] == '#') continue;
        std::istringstream(line) >> x >> z;
        xs.push_back(x), zs.push_back(z);
    }
    ASSERT_GE(xs.size(), 3u);
    // The closed loop's nearest piece, worked out segment by segment.
    auto distance_to_line = [&](float px, float pz) {
        float best = 1e30f;
        for (size_t k = 0; k < xs.size(); k++) {
            size_t n = (k + 1) % xs.size();
            float dx = xs[n] - xs[k], dz = zs[n] - zs[k], len2 = dx * dx + dz * dz;
            float f = len2 > 0 ? std::clamp(((px - xs[k]) * dx + (pz - zs[k]) * dz) / len2, 0.0f, 1.0f) : 0;
            best = std::min(best, hypotf(px - xs[k] - f * dx, pz - zs[k] - f * dz));
        }
        return best;
    };
    int solid = 0;
    for (int i = timing_gates.start_gate_count; i < track_objects.statues.count; i++) {
        const statue* s = statue_at(i);
        if (!s->shape) continue;
        solid++;
        float clearance = distance_to_line(s->x, s->z) - collision_shape_radius(s->shape);
        EXPECT_GE(clearance, e.ridden_half_width + 3)
            << s->model_name << " " << i << " at " << s->x << "," << s->z;
    }
    EXPECT_EQ(solid, e.statues);
}

TEST_P(generated_track, reloading_after_a_free_does_not_grow)
{
    std::string folder = std::string("tracks/") + GetParam().folder;
    ASSERT_EQ(load_track_folder(folder), 1);
    int billboards = track_objects.billboards.count, statues = track_objects.statues.count;
    int capacity = track_objects.billboards.capacity;
    for (int round = 0; round < 5; round++) {
        track_objects_free();
        load_track_folder(folder);
        EXPECT_EQ(track_objects.billboards.count, billboards);
        EXPECT_EQ(track_objects.statues.count, statues);
        EXPECT_EQ(track_objects.billboards.capacity, capacity);
    }
}

INSTANTIATE_TEST_SUITE_P(tracks, generated_track,
                         ::testing::Values(expected_track{"stadium", 6, 5, 5, 5, 3, 10, 21, 4, 9},
                                           expected_track{"practice", 8, 11, 11, 11, 3, 12, 39, 5, 13}),
                         [](const auto& info) { return std::string(info.param.folder); });

} // namespace
