// The generated sample tracks load whole and are rideable where it matters.
#include <cmath>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "support_terrain.h"
#include "terrain/heightfield.h"
#include "core/vfs.h"
#include "terrain/terrain_load.h"

namespace {

// Tests run in build/tests; the generator writes build/data.
const std::string data_root = "../data/tracks/";

struct sample_track_test : ::testing::TestWithParam<const char*> {
    terrain_test_env env;
    terrain* t = &track_terrain;
};

TEST_P(sample_track_test, loads_without_messages_and_has_sane_ground)
{
    ASSERT_EQ(terrain_load(t, (data_root + GetParam()).c_str()), 1);
    EXPECT_TRUE(env.console.empty()) << env.console.front();
    EXPECT_EQ(t->tile_count, 4);
    EXPECT_STREQ(t->tile_names[2], "mud");
    EXPECT_GT(t->decals.count, 0);
    int tiles = 1 << t->exponent, used[4] = {0, 0, 0, 0};
    for (int k = 0; k < tiles * tiles; k++) used[t->tile_map[k]]++;
    for (int k = 0; k < 4; k++) EXPECT_GT(used[k], 0) << "tile " << k;
    int shaded = 0;
    for (int k = 0; k < t->size * t->size; k++) shaded += t->shadow[k] > 0;
    EXPECT_GT(shaded, 0);
    EXPECT_LT(shaded, t->size * t->size / 2);
    // No cliff on the dirt: every triangle's slope stays below 60 degrees
    // (grass, tile 3, holds the stands and banks).
    for (float z = 1; z < t->extent; z += t->spacing * 0.7f) {
        for (float x = 1; x < t->extent; x += t->spacing * 0.7f) {
            if (terrain_tile_at(t, x, z) == 3) continue;
            float n[3];
            terrain_normal_at(t, x, z, n);
            ASSERT_GT(n[1] / sqrtf(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]), 0.5f) << x << "," << z;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(tracks, sample_track_test, ::testing::Values("stadium", "practice"));

TEST(sample_tracks, start_straights_are_flat)
{
    terrain_test_env env;
    terrain* t = &track_terrain;
    ASSERT_EQ(terrain_load(t, (data_root + "stadium").c_str()), 1);
    for (float x = 50; x < 160; x += 1.3f) EXPECT_NEAR(terrain_height_at(t, x, 40), terrain_height_at(t, 50, 40), 0.05f);
    ASSERT_EQ(terrain_load(t, (data_root + "practice").c_str()), 1);
    float previous = terrain_height_at(t, 130, 120);
    for (float x = 130; x < 600; x += 3) {
        float h = terrain_height_at(t, x, 120);
        EXPECT_LT(fabsf(h - previous), 0.6f) << x;  // gentle grade, no jump on the straight
        previous = h;
    }
}

} // namespace

namespace {

TEST(sample_tracks, load_through_game_data_names)
{
    terrain_test_env env;
    const char* old = getenv("ZT_HOME");
    std::string saved = old ? old : "";
    setenv("ZT_HOME", "../data", 1);
    vfs_shutdown();
    EXPECT_EQ(terrain_load(&track_terrain, "@tracks/stadium"), 1);
    EXPECT_EQ(track_terrain.size, 129);
    EXPECT_EQ(terrain_load(&track_terrain, "@tracks/no_such_track"), 0);
    if (old)
        setenv("ZT_HOME", saved.c_str(), 1);
    else
        unsetenv("ZT_HOME");
    vfs_shutdown();
}

} // namespace
