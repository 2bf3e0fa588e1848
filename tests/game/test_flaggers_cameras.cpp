// The "flaggers" value stream and the "cameras" lines.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/game_state.h"
#include "game/flaggers.h"
#include "game/track_cameras.h"
#include "game/track_objects.h"
#include "terrain/terrain.h"
#include "track_fixture.h"

namespace {

using flaggers_file = track_fixture;

const char* const start_part = "[10 0 20] [30 0 20] 6 0.5 2.5 @s0.png @s1.png @s2.png @s3.png @s4.png\n";
const char* const board_part = "[40 1 20] 4 1.5 @normal.png @half.png @last.png @done.png\n";

TEST_F(flaggers_file, start_flagger_only)
{
    write_track_file("flaggers", start_part);
    flaggers_load(track_path("flaggers").c_str());
    EXPECT_TRUE(console.empty()) << console.front();
    ASSERT_GE(start_flagger.billboard, 0);
    const billboard* b = billboard_at(start_flagger.billboard);
    EXPECT_FLOAT_EQ(b->x, 10);
    EXPECT_FLOAT_EQ(b->size, 6);
    EXPECT_FLOAT_EQ(b->aspect, 0.5f);
    EXPECT_EQ(b->texture, texture_id("@s0.png"));
    EXPECT_EQ(start_flagger.textures[4], texture_id("@s4.png"));
    EXPECT_FLOAT_EQ(start_flagger.end[0], 30);
    EXPECT_FLOAT_EQ(start_flagger.walk_time, 2.5f);
    EXPECT_EQ(lap_board.billboard, -1);
    EXPECT_EQ(flaggers.count, 0);
}

TEST_F(flaggers_file, missing_file_leaves_nobody)
{
    start_flagger.billboard = 5;
    flaggers_load(track_path("flaggers").c_str());
    EXPECT_EQ(start_flagger.billboard, -1);
    EXPECT_FLOAT_EQ(start_flagger.walk_time, 1);
    EXPECT_EQ(lap_board.billboard, -1);
    EXPECT_EQ(flaggers.count, 0);
    EXPECT_TRUE(console.empty());
}

TEST_F(flaggers_file, track_flaggers_watch_clamped_checkpoints)
{
    timing_gates.checkpoint_count = 20;
    write_track_file("flaggers", std::string(start_part) + board_part +
                                     "[50 0 60] 5 0.6 5000 -3 7 -1 @calm.png #ff8000#@warn.png\n"
                                     "[70 0 60] 5 0.6 0 19 20 -2 @calm.png @warn.png\n");
    flaggers_load(track_path("flaggers").c_str());
    EXPECT_TRUE(console.empty()) << console.front();
    EXPECT_EQ(lap_board.textures[3], texture_id("@done.png"));
    EXPECT_FLOAT_EQ(billboard_at(lap_board.billboard)->relative_height, 1);
    ASSERT_EQ(flaggers.count, 2);
    const flagger* f = array_items<flagger>(&flaggers);
    const int32_t expected[2][4] = {{19, -1, 7, -1}, {0, 19, 19, -1}};
    for (int i = 0; i < 2; i++)
        for (int k = 0; k < 4; k++) EXPECT_EQ(f[i].checkpoints[k], expected[i][k]) << i << "," << k;
    EXPECT_EQ(f[0].calm_texture, texture_id("@calm.png"));
    EXPECT_EQ(billboard_at(f[0].billboard)->texture, f[0].calm_texture);
    // The colour prefix belongs to the billboard's names; the texture is the name's.
    EXPECT_EQ(f[0].warning_texture, texture_id("@warn.png"));
    // Billboards: start flagger, lap board, two flaggers.
    EXPECT_EQ(track_objects.billboards.count, 4);
}

TEST_F(flaggers_file, a_track_without_checkpoints_gives_flaggers_none)
{
    timing_gates.checkpoint_count = 0;
    write_track_file("flaggers", std::string(start_part) + board_part + "[50 0 60] 5 0.6 3 0 -1 9 @c.png @w.png\n");
    flaggers_load(track_path("flaggers").c_str());
    ASSERT_EQ(flaggers.count, 1);
    for (int k = 0; k < 4; k++) EXPECT_EQ(array_items<flagger>(&flaggers)[0].checkpoints[k], -1);
}

TEST_F(flaggers_file, damage_ends_the_stream_keeping_what_was_read)
{
    const struct {
        const char* what;
        std::string text;
        bool start, board;
        int32_t track_flaggers;
    } cases[] = {
        {"start names cut short", "[10 0 20] [30 0 20] 6 0.5 2.5 @s0.png @s1.png", true, false, 0},
        {"board numbers are junk", std::string(start_part) + "[40 x 20] 4 1.5", true, false, 0},
        {"flagger without warning", std::string(start_part) + board_part + "[50 0 60] 5 0.6 1 2 3 4 @calm.png", true,
         true, 0},
        {"flagger numbers beyond a float", std::string(start_part) + board_part + "[50 0 1e39] 5 0.6 1 2 3 4 @c @w\n",
         true, true, 0},
        {"junk after one flagger", std::string(start_part) + board_part + "[50 0 60] 5 0.6 1 2 3 4 @c @w\n%%%", true,
         true, 1},
        {"binary", std::string("\xff\x00\x01", 3), false, false, 0},
    };
    for (const auto& c : cases) {
        console.clear();
        track_objects_free();
        write_track_file("flaggers", c.text);
        flaggers_load(track_path("flaggers").c_str());
        EXPECT_EQ(start_flagger.billboard >= 0, c.start) << c.what;
        EXPECT_EQ(lap_board.billboard >= 0, c.board) << c.what;
        EXPECT_EQ(flaggers.count, c.track_flaggers) << c.what;
        ASSERT_EQ(console.size(), 1u) << c.what;
        EXPECT_NE(console[0].find("@tracks/t/flaggers"), std::string::npos) << console[0];
    }
}

// ---- Cameras ---------------------------------------------------------------

using cameras_file = track_fixture;

struct camera_case {
    const char* what;
    const char* text;
    std::vector<float> fovs;             // per camera
    std::vector<std::pair<int, int>> gates;  // checkpoint -> camera; every other is -1
};

TEST_F(cameras_file, lines)
{
    const camera_case cases[] = {
        {"gate numbers up to the first word", "gate 3 7 x 9\naddcamera 1 2 3\n", {90}, {{3, 0}, {7, 0}}},
        {"a first number out of range maps nothing", "gate 2048 1\ngate -1 2\naddcamera 1 2 3\n", {90}, {}},
        {"the last number of the table", "gate 1023 0\naddcamera 1 2 3\n", {90}, {{1023, 0}, {0, 0}}},
        {"a longer word is not gate", "gatex 4\ngate4 5\naddcamera 1 2 3\n", {90}, {}},
        {"fov is its absolute value", "fov -60\naddcamera 1 2 3\n", {60}, {}},
        {"fov belongs to the next camera", "addcamera 1 2 3\nfov 40\naddcamera 4 5 6\n", {90, 40}, {}},
        {"no fov of nothing", "fov 0\naddcamera 1 2 3\nfov 180\naddcamera 1 2 3\nfov -1e30\naddcamera 1 2 3\n",
         {1, 179, 179}, {}},
        {"gates per camera", "gate 0 1\naddcamera 1 2 3\ngate 2\naddcamera 1 2 3\ngate 1\naddcamera 0 0 0\n",
         {90, 90, 90}, {{0, 0}, {1, 2}, {2, 1}}},
        {"gates after the last camera name none", "addcamera 1 2 3\ngate 4 5\n", {90}, {}},
        {"other lines are ignored", "# a camera\n\nzoom 3\naddcamera 1 2 3\n", {90}, {}},
    };
    for (const camera_case& c : cases) {
        console.clear();
        write_track_file("cameras", c.text);
        track_cameras_load(track_path("cameras").c_str());
        EXPECT_TRUE(console.empty()) << c.what << ": " << console.front();
        ASSERT_EQ(track_cameras.count, int(c.fovs.size())) << c.what;
        for (size_t k = 0; k < c.fovs.size(); k++)
            EXPECT_FLOAT_EQ(array_items<track_camera>(&track_cameras)[k].fov, c.fovs[k]) << c.what << " " << k;
        std::vector<int> expected(gate_camera_count, -1);
        for (auto [gate, camera] : c.gates) expected[gate] = camera;
        for (int g = 0; g < gate_camera_count; g++) ASSERT_EQ(gate_camera[g], expected[g]) << c.what << " gate " << g;
    }
}

TEST_F(cameras_file, positions_stand_above_the_ground_and_autofov_is_positive)
{
    make_terrain(3, 4, [](float x, float) { return 0.25f * x; });
    write_track_file("cameras", "autofovsize -12\naddcamera 8 20 4\n");
    track_cameras_load(track_path("cameras").c_str());
    ASSERT_EQ(track_cameras.count, 1);
    const track_camera& c = array_items<track_camera>(&track_cameras)[0];
    EXPECT_FLOAT_EQ(c.x, 8);
    EXPECT_NEAR(c.y, 22, 1e-3f);
    EXPECT_FLOAT_EQ(c.z, 4);
    EXPECT_FLOAT_EQ(c.autofov_size, 12);
    EXPECT_FLOAT_EQ(c.yaw, 0);
}

TEST_F(cameras_file, a_missing_file_empties_the_table)
{
    write_track_file("cameras", "gate 1\naddcamera 1 2 3\n");
    track_cameras_load(track_path("cameras").c_str());
    ASSERT_EQ(track_cameras.count, 1);
    std::filesystem::remove(data + "tracks/t/cameras");
    track_cameras_load(track_path("cameras").c_str());
    EXPECT_EQ(track_cameras.count, 0);
    EXPECT_EQ(gate_camera[1], -1);
}

TEST_F(cameras_file, hostile_lines_are_skipped_with_one_line)
{
    std::string text = "addcamera 1 nan 3\naddcamera 1e39 0 0\nfov x\naddcamera 1 2\n";
    text += std::string(3000, 'g') + "\n";  // longer than a line: read in pieces
    text += "addcamera 4 5 6\n";
    write_track_file("cameras", text);
    track_cameras_load(track_path("cameras").c_str());
    EXPECT_EQ(track_cameras.count, 1);
    ASSERT_EQ(console.size(), 1u);
    EXPECT_NE(console[0].find("@tracks/t/cameras"), std::string::npos) << console[0];
}

TEST_F(cameras_file, debug_level_counts_the_cameras)
{
    track_object_hooks.verbose = 1;
    write_track_file("cameras", "addcamera 1 2 3\naddcamera 1 2 3\n");
    track_cameras_load(track_path("cameras").c_str());
    ASSERT_EQ(console.size(), 1u);
    EXPECT_EQ(console[0], "2 cameras found");
}

} // namespace
