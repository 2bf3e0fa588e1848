// The generated tracks' scripts, run over the generated data root: they load
// without an error, their objects move, the stadium's fan cheers and its
// sound starts at the gate drop, and loading them again after a restart
// leaves the object counts as they were.
#include <filesystem>
#include <string>

#include "core/game_state.h"
#include "core/vfs.h"
#include "game/startup.h"
#include "game/track_objects.h"
#include "platform/vesk_audio.h"
#include "platform/vesk_mixer.h"
#include "script/script_api.h"
#include "script/script_host.h"
#include "script/script_sound.h"
#include "terrain/terrain.h"
#include "terrain/terrain_load.h"
#include "script_fixture.h"

namespace fs = std::filesystem;

namespace {

struct generated_script : script_fixture, ::testing::WithParamInterface<const char*> {
    void SetUp() override
    {
        script_fixture::SetUp();
        ASSERT_EQ(use_generated_track(GetParam()), 1);
    }
    // The race reset's order: the script's objects are cut back, the old
    // script and its sounds go, the new one loads.
    void restart(int32_t billboards, int32_t statues)
    {
        script_unload();
        script_sounds_release();
        track_objects_truncate(billboards, statues);
        char path[256];
        script_path_for_track((std::string("tracks/") + GetParam()).c_str(), path, sizeof path);
        ASSERT_EQ(script_load(path), 1);
    }
};

TEST_P(generated_script, runs_moves_its_objects_and_restarts_without_growing)
{
    int32_t billboards = track_objects.billboards.count, statues = track_objects.statues.count;
    restart(billboards, statues);
    EXPECT_EQ(errors(), 0);
    int32_t loaded_billboards = track_objects.billboards.count, loaded_statues = track_objects.statues.count;
    EXPECT_GT(loaded_billboards, billboards);  // the script adds its own

    // Two seconds of tics and frames: every script billboard moves.
    const billboard first = *billboard_at(billboards);
    for (tic_counter = 0; tic_counter < 256; tic_counter++) {
        script_tic();
        if (tic_counter % 2 == 0) script_frame();
    }
    const billboard* later = billboard_at(billboards);
    EXPECT_TRUE(later->y != first.y || later->x != first.x || later->z != first.z);
    EXPECT_EQ(errors(), 0);
    EXPECT_EQ(script_hooks_stopped, 0);

    for (int k = 0; k < 20; k++) restart(billboards, statues);
    EXPECT_EQ(track_objects.billboards.count, loaded_billboards);
    EXPECT_EQ(track_objects.statues.count, loaded_statues);
    EXPECT_LE(script_sound_count, 1);
    EXPECT_LE(pose_sequence_count, 1);
    EXPECT_EQ(errors(), 0);
}

INSTANTIATE_TEST_SUITE_P(tracks, generated_script, ::testing::Values("stadium", "practice"));

struct stadium_script : generated_script {};

TEST_P(stadium_script, the_fan_cheers_and_the_crowd_is_heard_at_the_gate_drop)
{
    int32_t statues = track_objects.statues.count;
    restart(track_objects.billboards.count, statues);
    ASSERT_EQ(script_sound_count, 1);
    ASSERT_EQ(pose_sequence_count, 1);
    const statue* fan = statue_at(statues);
    ASSERT_EQ(fan->bone_count, 10);
    const float* rotations = static_cast<const float*>(fan->bone_buffers[2]);
    EXPECT_EQ(rotations[2 * 9 + 4], 1.0f);  // the left upper arm hangs at rest
    gate_drop_tic = 100;
    for (tic_counter = 0; tic_counter <= 120; tic_counter++) script_tic();
    script_frame();  // 20 tics (0.16 s) into the cheer: the arms are rising
    EXPECT_LT(rotations[2 * 9 + 4], 0.99f);
    EXPECT_TRUE(script_sounds[0].voice->playing);
    // Heard through the mixer once the frame's update has set the voice.
    script_sound_listener l = {{150, 4, 200}, {1, 0, 0}, 1.0f, nullptr};
    script_sounds_apply(l);
    int16_t mixed[2048];
    ASSERT_EQ(vesk_audio_readback(main_audio, mixed, 2048), 2048);
    int loudest = 0;
    for (int16_t v : mixed) loudest = std::max(loudest, std::abs(int(v)));
    EXPECT_GT(loudest, 0);
    EXPECT_EQ(errors(), 0);
}

TEST_P(stadium_script, ground_queries_read_the_terrain_and_its_tile_map)
{
    ASSERT_EQ(load(""), 1);
    // The stadium: 256 ft a side in 128 cells of 2 ft, a tile map of 64 x 64
    // tiles, so a tile is 4 ft and (x, z) lies in tile (x / 4, z / 4).
    ASSERT_EQ(track_terrain.exponent, 6);
    ASSERT_EQ(track_terrain.spacing, 2.0f);
    auto tile = [](int col, int row) { return std::to_string(track_terrain.tile_map[col + 64 * row]); };
    EXPECT_EQ(js("zt.get_tile_number(130, 41)"), tile(32, 10));
    EXPECT_EQ(js("zt.get_tile_number(3.99, 251.9)"), tile(0, 62));
    EXPECT_EQ(js("zt.get_tile_number(-50, 1e9)"), tile(0, 63));  // clamped to the map
    EXPECT_EQ(js("zt.get_tile_number(1e30, -0.5)"), tile(63, 0));
    // The floor is flat at the start straight's middle; the wall stands 6 ft.
    // The height image holds 16-bit samples: over the stadium's 18 ft of
    // relief a step is under 0.001 ft, well inside 0.01 ft.
    EXPECT_EQ(js("Math.abs(zt.get_elevation(100, 40)) < 0.01"), "true");
    EXPECT_EQ(js("Math.abs(zt.get_elevation(128, 247.5) - 6) < 0.01"), "true");
}

INSTANTIATE_TEST_SUITE_P(tracks, stadium_script, ::testing::Values("stadium"));

}  // namespace
