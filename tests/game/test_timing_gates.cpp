// The "timing_gates" file: lap-entry clamps, angle folding, the start-gate
// section and its 160-gate limit, the four error lines, the version2 marker,
// and save then load.
#include <cmath>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "core/game_state.h"
#include "game/timing_gates.h"
#include "game/track_objects.h"
#include "track_fixture.h"

namespace {

const char* const three_gates = "checkpoints:\n"
                                "10 [0 0 0] [1 0 0]\n10 [50 0 0] [1 0 0]\n10 [100 0 0] [1 0 0]\n"
                                "firstlap: 0 1 2\nnormallap: 0 1 2\n";

struct entry_case {
    int32_t value, checkpoints, stored;
};

TEST(timing_gate_entries, clamp_into_the_checkpoints_keeping_marks)
{
    const entry_case cases[] = {
        {5, 3, 2},               // past the last checkpoint
        {-7, 3, 0},              // below the first
        {100007, 3, 100002},     // marked, past the last: stays marked
        {2, 3, 2},               // in range
        {100001, 3, 100001},     // marked, in range
        {200001, 3, 100001},     // only the checkpoint part of a marked entry counts
        {INT32_MAX, 3, 100002},  // the largest int: 2147483647 mod 100000 = 83647
        {INT32_MIN, 3, 0},
        {-1, 0, -1},             // no checkpoints at all
        {4, 0, -1},
    };
    for (const entry_case& c : cases)
        EXPECT_EQ(timing_gate_entry_clamp(c.value, c.checkpoints), c.stored) << c.value << " on " << c.checkpoints;
}

TEST(timing_gate_angles, fold_into_one_turn)
{
    const float pi = float(M_PI);
    const struct {
        float given, folded;
    } cases[] = {{4.0f, 4.0f - 2 * pi}, {-4.0f, -4.0f + 2 * pi}, {1.0f, 1.0f}, {pi, pi}, {-pi, -pi},
                 {10.0f, 10.0f - 4 * pi}, {7 * pi / 2, -pi / 2}};
    for (const auto& c : cases) {
        float a = timing_gate_angle_fold(c.given);
        EXPECT_NEAR(a, c.folded, 2e-5f) << c.given;
        EXPECT_GE(a, -pi);
        EXPECT_LE(a, pi);
    }
}

using timing_gates_file = track_fixture;

TEST_F(timing_gates_file, without_start_gates_loads_the_laps)
{
    write_track_file("timing_gates", three_gates);
    timing_gates_load(track_path("timing_gates").c_str());
    EXPECT_TRUE(console.empty()) << console.front();
    EXPECT_EQ(timing_gates.start_gate_count, 0);
    EXPECT_EQ(timing_gates.checkpoint_count, 3);
    EXPECT_EQ(timing_gates.counted_first_lap, 3);
    EXPECT_EQ(timing_gates.counted_normal_lap, 3);
    EXPECT_FLOAT_EQ(timing_gates.checkpoints[1].x, 50);
    EXPECT_FLOAT_EQ(timing_gates.checkpoints[1].width, 10);
    EXPECT_EQ(timing_gates.checkpoints[1].flag, 0);
}

TEST_F(timing_gates_file, a_missing_file_is_a_track_without_gates)
{
    timing_gates.checkpoint_count = 9;
    timing_gates_load(track_path("timing_gates").c_str());
    EXPECT_EQ(timing_gates.checkpoint_count, 0);
    EXPECT_TRUE(console.empty());
}

struct bad_file_case {
    const char* what;
    std::string text;
    const char* line;        // the one console line
    int32_t start_gates;     // kept from before the damage
};

TEST_F(timing_gates_file, damaged_files_stop_with_one_line)
{
    const std::string cps = "checkpoints:\n10 [0 0 0] [1 0 0]\n10 [50 0 0] [1 0 0]\n10 [100 0 0] [1 0 0]\n";
    std::string many_checkpoints = "checkpoints:\n";
    for (int i = 0; i < 1100; i++) many_checkpoints += "1 [0 0 0] [1 0 0]\n";
    std::string many_entries = cps + "firstlap:";
    for (int i = 0; i < 1100; i++) many_entries += " 1";
    many_entries += "\nnormallap: 0 1 2\n";
    const bad_file_case cases[] = {
        {"empty", "", "Error reading starting gate", 0},
        {"junk", "\x01\x02garbage\xff", "Error reading starting gate", 0},
        {"gates then end", "startinggate:\n[1 0 1] 0\n", "Error reading starting gate", 1},
        {"bad gate line", "startinggate:\n[1 0 1] 0\n[2 0 x] 0\ncheckpoints:\n", "Error reading starting gate", 1},
        {"angle beyond a float", "startinggate:\n[1 0 1] 1e39\n" + cps, "Error reading starting gate", 0},
        {"no firstlap", cps + "normallap: 0 1 2\n", "Error reading checkpoints", 0},
        {"checkpoint beyond a float", "checkpoints:\n10 [1e39 0 0] [1 0 0]\nfirstlap: 0\n", "Error reading checkpoints", 0},
        {"truncated checkpoint", "checkpoints:\n10 [0 0", "Error reading checkpoints", 0},
        {"more checkpoints than the table", many_checkpoints + "firstlap: 0 1 2\nnormallap: 0 1 2\n",
         "Error reading checkpoints", 0},
        // A line longer than 1024 bytes reads as two; the second is no gate.
        {"gate name longer than a line", "startinggate:\n[1 0 1] 0 " + std::string(3000, 'n') + "\n" + cps,
         "Error reading starting gate", 1},
        {"no normallap", cps + "firstlap: 0 1 2\n", "Error reading firstlap", 0},
        {"more entries than a lap", many_entries, "Error reading firstlap", 0},
        {"marked entry leaves two", cps + "firstlap: 0 1 100002\nnormallap: 0 1 2\n",
         "Timing gate error: lap length must be at least 3", 0},
        {"short normal lap", cps + "firstlap: 0 1 2\nnormallap: 0 1\n", "Timing gate error: lap length must be at least 3", 0},
        {"no checkpoints", "checkpoints:\nfirstlap: 0 1 2\nnormallap: 0 1 2\n",
         "Timing gate error: lap length must be at least 3", 0},
    };
    write_data_file("startgate.shp", "1\n0 0 0 1 1 1 0\n");
    for (const bad_file_case& c : cases) {
        console.clear();
        track_objects_free();
        write_track_file("timing_gates", c.text);
        timing_gates_load(track_path("timing_gates").c_str());
        ASSERT_EQ(console.size(), 1u) << c.what;
        EXPECT_EQ(console[0], c.line) << c.what;
        EXPECT_EQ(timing_gates.start_gate_count, c.start_gates) << c.what;
        EXPECT_EQ(timing_gates.checkpoint_count, 0) << c.what;
        EXPECT_EQ(timing_gates.first_lap_entries, 0) << c.what;
        EXPECT_EQ(timing_gates.counted_normal_lap, 0) << c.what;
        EXPECT_EQ(timing_gates.line_set_count, 0) << c.what;
    }
}

TEST_F(timing_gates_file, entries_are_stored_clamped_and_marks_not_counted)
{
    write_track_file("timing_gates", "checkpoints:\n10 [0 0 0] [1 0 0]\n10 [50 0 0] [1 0 0]\n10 [100 0 0] [1 0 0]\n"
                                     "firstlap: 5 -7 100007 1\nnormallap: 0 1 2 100000\n");
    timing_gates_load(track_path("timing_gates").c_str());
    ASSERT_TRUE(console.empty()) << console.front();
    const int32_t expected[] = {2, 0, 100002, 1, 0, 1, 2, 100000};
    EXPECT_EQ(timing_gates.first_lap_entries, 4);
    EXPECT_EQ(timing_gates.normal_lap_entries, 4);
    for (int i = 0; i < 8; i++) EXPECT_EQ(timing_gates.lap_entries[i], expected[i]) << i;
    EXPECT_EQ(timing_gates.counted_first_lap, 3);
    EXPECT_EQ(timing_gates.counted_normal_lap, 3);
    // One line set per counted gate of each lap: 3 + 3, where sets for every
    // pair of gates would be 9.
    EXPECT_EQ(timing_gates.line_set_count, 6);
}

TEST_F(timing_gates_file, numbers_beyond_an_int_still_land_on_checkpoints)
{
    write_track_file("timing_gates", std::string(three_gates).replace(
                                         std::string(three_gates).find("firstlap: 0 1 2"), 15,
                                         "firstlap: 99999999999999999999 -99999999999999999999 4294967297 2"));
    timing_gates_load(track_path("timing_gates").c_str());
    ASSERT_TRUE(console.empty()) << console.front();
    ASSERT_EQ(timing_gates.first_lap_entries, 4);
    for (int i = 0; i < timing_gates.first_lap_entries + timing_gates.normal_lap_entries; i++) {
        int32_t e = timing_gates.lap_entries[i];
        int32_t c = e >= lap_entry_marked ? e - lap_entry_marked : e;
        EXPECT_TRUE(c >= 0 && c < 3) << i << ": " << e;
    }
}

TEST_F(timing_gates_file, line_sets_are_the_sum_of_the_laps)
{
    // 600 counted gates a lap: the sum is 1200 sets; a table of 360000 sets
    // of 45 lines each would be gigabytes.
    std::string text = "checkpoints:\n";
    for (int i = 0; i < 600; i++) text.append("10 [").append(std::to_string(i)).append(" 0 0] [1 0 0]\n");
    std::string lap;
    for (int i = 0; i < 600; i++) lap.append(" ").append(std::to_string(i));
    write_track_file("timing_gates", text + "firstlap:" + lap + "\nnormallap:" + lap + "\n");
    timing_gates_load(track_path("timing_gates").c_str());
    ASSERT_TRUE(console.empty()) << console.front();
    EXPECT_EQ(timing_gates.line_set_count, 1200);
}

TEST_F(timing_gates_file, start_gates_make_their_statues_ahead_of_the_line)
{
    write_track_file("timing_gates", std::string("startinggate:\n"
                                                 "[10 0.5 20] 1.5\n"
                                                 "[14 0 20] 4.0 @gate.qm\n"
                                                 "[18 0 20] -1.5707963 @gate.qm @gate.png\n"
                                                 "[22 0 20] 0 null null null\n") +
                                         three_gates);
    timing_gates_load(track_path("timing_gates").c_str());
    ASSERT_EQ(timing_gates.start_gate_count, 4);
    EXPECT_EQ(timing_gates.checkpoint_count, 3);
    struct expected_gate {
        float angle;
        const char *model, *texture, *shape;
    } expected[4] = {{1.5f, "@startgate.qm", "@startgate.ppm", "@startgate.shp"},
                     {4.0f - 2 * float(M_PI), "@gate.qm", "@startgate.ppm", "@startgate.shp"},
                     {-1.5707963f, "@gate.qm", "@gate.png", "@startgate.shp"},
                     {0.0f, "null", "null", "null"}};
    for (int i = 0; i < 4; i++) {
        const start_gate& g = timing_gates.start_gates[i];
        EXPECT_NEAR(g.angle, expected[i].angle, 1e-5f) << i;
        ASSERT_EQ(g.statue, i) << i;
        const statue* s = statue_at(g.statue);
        // 3 ft ahead: riders face (-sin a, -cos a).
        EXPECT_NEAR(s->x, g.x - 3 * sinf(g.angle), 1e-4f) << i;
        EXPECT_NEAR(s->z, g.z - 3 * cosf(g.angle), 1e-4f) << i;
        EXPECT_FLOAT_EQ(s->relative_height, g.y) << i;
        EXPECT_STREQ(s->model_name, expected[i].model) << i;
        EXPECT_STREQ(s->texture_name, expected[i].texture) << i;
        EXPECT_STREQ(s->shape_name, expected[i].shape) << i;
    }
    // No shape file exists here: one warning per gate, naming the shape.
    EXPECT_EQ(count_containing("Warning: missing shape file @startgate.shp"), 3);
    EXPECT_EQ(count_containing("Warning: missing shape file null"), 1);
}

TEST_F(timing_gates_file, at_most_160_start_gates)
{
    for (int gates : {160, 161}) {
        console.clear();
        track_objects_free();
        std::string text = "startinggate:\n";
        for (int i = 0; i < gates; i++) text.append("[").append(std::to_string(i * 3)).append(" 0 0] 0 null null null\n");
        write_track_file("timing_gates", text + three_gates);
        timing_gates_load(track_path("timing_gates").c_str());
        EXPECT_EQ(timing_gates.start_gate_count, 160) << gates;
        int errors = count_containing("Error reading starting gate");
        if (gates == 160) {
            EXPECT_EQ(errors, 0);
            EXPECT_EQ(timing_gates.checkpoint_count, 3);
        } else {
            EXPECT_EQ(errors, 1);
            EXPECT_EQ(timing_gates.checkpoint_count, 0);
        }
    }
}

TEST_F(timing_gates_file, version2_marks_counts_above_254)
{
    // (checkpoints, first-lap entries, normal-lap entries, marked)
    const struct {
        int checkpoints, first, normal;
        bool marked;
    } cases[] = {{200, 30, 30, false}, {254, 3, 3, false}, {255, 3, 3, false}, {10, 127, 127, false},
                 {10, 128, 127, true}};
    for (const auto& c : cases) {
        track_objects_free();
        timing_gates.checkpoint_count = c.checkpoints;
        timing_gates.first_lap_entries = c.first;
        timing_gates.normal_lap_entries = c.normal;
        timing_gates.counted_first_lap = c.first;
        timing_gates.counted_normal_lap = c.normal;
        for (int i = 0; i < c.checkpoints; i++) timing_gates.checkpoints[i] = {float(i), 0, 0, 1, 0, 0, 10, 0};
        for (int i = 0; i < c.first + c.normal; i++) timing_gates.lap_entries[i] = i % c.checkpoints;
        ASSERT_EQ(timing_gates_save(), 1);
        std::string text = saved("timing_gates");
        EXPECT_EQ(text.rfind("version2\n", 0) == 0, c.marked || c.checkpoints > 254) << c.checkpoints;
        // What was written reads back.
        console.clear();
        timing_gates_load(track_path("timing_gates").c_str());
        EXPECT_TRUE(console.empty()) << console.front();
        EXPECT_EQ(timing_gates.checkpoint_count, c.checkpoints);
        EXPECT_EQ(timing_gates.first_lap_entries, c.first);
    }
}

TEST_F(timing_gates_file, save_then_load_is_the_identity)
{
    write_track_file("timing_gates",
                     "startinggate:\n"
                     "[10.5 0.25 20] 1.5\n"                           // default names: written without names
                     "[14 0 20] -3 null null null\n"                  // "null" names are names like any other
                     "[18 0 20] 0.5 @missing_gate.qm @g.png @missing.shp\n"  // a model that fails keeps its name
                     "checkpoints:\n"
                     "12.5 [0 1 0] [1 0 0]\n10 [50 2 0.5] [0.6 0 0.8]\n10 [100 0 0] [-1 0 0]\n8 [120 0 30] [0 0 1]\n"
                     "firstlap: 3 0 1 100002 2\nnormallap: 0 100001 1 2 3\n");
    timing_gates_load(track_path("timing_gates").c_str());
    ASSERT_EQ(timing_gates.checkpoint_count, 4);
    ASSERT_EQ(timing_gates.start_gate_count, 3);
    EXPECT_EQ(statue_at(2)->model, nullptr);
    timing_gates_record before = timing_gates;
    ASSERT_EQ(timing_gates_save(), 1);
    std::string first_save = saved("timing_gates");
    EXPECT_NE(first_save.find("[10.500000 0.250000 20.000000] 1.500000\n"), std::string::npos) << first_save;
    EXPECT_NE(first_save.find(" null null null\n"), std::string::npos);
    EXPECT_NE(first_save.find(" @missing_gate.qm @g.png @missing.shp\n"), std::string::npos);

    track_objects_free();
    timing_gates_load(track_path("timing_gates").c_str());
    EXPECT_EQ(timing_gates.start_gate_count, before.start_gate_count);
    EXPECT_EQ(timing_gates.checkpoint_count, before.checkpoint_count);
    EXPECT_EQ(timing_gates.first_lap_entries, before.first_lap_entries);
    EXPECT_EQ(timing_gates.normal_lap_entries, before.normal_lap_entries);
    EXPECT_EQ(timing_gates.counted_first_lap, before.counted_first_lap);
    EXPECT_EQ(timing_gates.counted_normal_lap, before.counted_normal_lap);
    for (int i = 0; i < before.start_gate_count; i++) {
        const start_gate &a = before.start_gates[i], &b = timing_gates.start_gates[i];
        EXPECT_EQ(a.x, b.x);
        EXPECT_EQ(a.y, b.y);
        EXPECT_EQ(a.z, b.z);
        EXPECT_NEAR(a.angle, b.angle, 1e-6f);
    }
    for (int i = 0; i < before.checkpoint_count; i++) {
        const checkpoint &a = before.checkpoints[i], &b = timing_gates.checkpoints[i];
        EXPECT_EQ(a.x, b.x);
        EXPECT_EQ(a.dz, b.dz);
        EXPECT_EQ(a.width, b.width);
    }
    for (int i = 0; i < before.first_lap_entries + before.normal_lap_entries; i++)
        EXPECT_EQ(before.lap_entries[i], timing_gates.lap_entries[i]) << i;
    EXPECT_STREQ(statue_at(1)->model_name, "null");
    EXPECT_STREQ(statue_at(2)->model_name, "@missing_gate.qm");
    ASSERT_EQ(timing_gates_save(), 1);
    EXPECT_EQ(saved("timing_gates"), first_save);
}

TEST_F(timing_gates_file, debug_level_logs_the_counts)
{
    track_object_hooks.verbose = 1;
    write_track_file("timing_gates", three_gates);
    timing_gates_load(track_path("timing_gates").c_str());
    ASSERT_EQ(console.size(), 1u);
    EXPECT_EQ(console[0], "Found 3 timing gates, first lap has 3 gates, normal lap has 3");
}

TEST_F(timing_gates_file, a_failed_save_names_the_file)
{
    // A folder name that climbs out of the roots is refused.
    snprintf(track_dir, sizeof track_dir, "../t");
    EXPECT_EQ(timing_gates_save(), 0);
    ASSERT_EQ(console.size(), 1u);
    EXPECT_EQ(console[0], "Can't open 'timing_gates'");
}

} // namespace
