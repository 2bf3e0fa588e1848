// The flaggers' timelines as tables of (time -> texture): the start flagger's
// walk and sequence, the lap board, and which checkpoint a fallen rider flags.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/game_state.h"
#include "game/timing_gates.h"
#include "ui/flagger_view.h"

namespace {

TEST(start_flagger_frame, sequence_and_walk_over_time)
{
    // Start sequence at S = 5 s, a walk of D = 2 s from S + 1.
    struct row {
        double T;
        int texture;
        float walk;
    } rows[] = {
        {0, 0, 0},      {5.05, 0, 0},   {5.1, 1, 0},    {5.39, 1, 0},   {5.4, 2, 0},
        {5.99, 2, 0},   {6.0, 3, 0},    {7.0, 3, 0.5f}, {7.99, 3, 0.995f}, {8.0, 4, 1},
        {30, 4, 1},
    };
    for (const row& r : rows) {
        float w = -1;
        EXPECT_EQ(start_flagger_frame(r.T, 5, 2, &w), r.texture) << r.T;
        EXPECT_NEAR(w, r.walk, 1e-4) << r.T;
    }
    // A walk time of 0 or below (read from the file as it stands) is a step,
    // never a division by zero.
    for (double D : {0.0, -3.0}) {
        float w = -1;
        EXPECT_EQ(start_flagger_frame(5.5, 5, D, &w), 2);
        EXPECT_EQ(w, 0);
        EXPECT_EQ(start_flagger_frame(6.0, 5, D, &w), 4);
        EXPECT_EQ(w, 1);
    }
}

TEST(lap_board, laps_and_texture_over_a_race)
{
    // First lap 4 gates, later laps 3: lap 1 is done at count 3 (4 gates
    // passed is count 3 + 1).
    struct row {
        int32_t c, laps;
    } laps[] = {{0, 0}, {2, 0}, {3, 1}, {5, 1}, {6, 2}, {9, 3}};
    for (const row& r : laps) EXPECT_EQ(lap_board_laps(r.c, 4, 3), r.laps) << r.c;
    EXPECT_EQ(lap_board_laps(10, 0, 0), 0);  // no laps on a track without gates

    // A five-lap race, halfway at lap 2.
    const int textures[] = {0, 0, 1, 0, 2, 3, 3};
    for (int l = 0; l <= 6; l++) EXPECT_EQ(lap_board_frame(l, 5, 2), textures[l]) << l;
}

// The lap sequences come from a real "timing_gates" file through the track
// loader, so the test reads them where the loader stores them: the first
// lap's four entries, then the normal lap's four right after them.
TEST(last_checkpoint, first_lap_then_normal_laps_wrapping)
{
    timing_gates_record saved = timing_gates;
    char folder[] = "/tmp/zt_flagger_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string path = std::string(folder) + "/timing_gates";
    {
        std::ofstream out(path);
        out << "checkpoints:\n";
        for (int i = 0; i < 7; i++) out << "10 [" << 40 * i << " 0 0] [1 0 0]\n";
        out << "firstlap: 6 0 1 2\nnormallap: 3 100004 5 1\n";
    }
    timing_gates_load(path.c_str());
    std::filesystem::remove_all(folder);
    ASSERT_EQ(timing_gates.first_lap_entries, 4);
    ASSERT_EQ(timing_gates.normal_lap_entries, 4);
    // c gates passed: the c-th entry of 6 0 1 2, then of 3 4 5 1 over and
    // over (the marked entry names checkpoint 4 too).
    struct row {
        int32_t c, checkpoint;
    } rows[] = {{0, -1}, {1, 6}, {2, 0}, {4, 2}, {5, 3}, {6, 4}, {7, 5}, {8, 1}, {9, 3}, {11, 5}, {13, 3}};
    for (const row& r : rows) EXPECT_EQ(last_checkpoint(r.c), r.checkpoint) << r.c;
    // A track with a first lap but no normal lap flags nothing past it.
    timing_gates.normal_lap_entries = 0;
    EXPECT_EQ(last_checkpoint(4), 2);
    EXPECT_EQ(last_checkpoint(5), -1);
    timing_gates = saved;
}

}  // namespace
