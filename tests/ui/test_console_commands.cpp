// The console's command table: every word's match kind, and every command's
// effect or message.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "core/game_state.h"
#include "game/main_loop.h"
#include "game/startup.h"
#include "net/reliable.h"
#include "physics/engine_pipe.h"
#include "physics/physics_ground.h"
#include "physics/rider.h"
#include "physics/setup.h"
#include "terrain/terrain.h"
#include "ui/console.h"
#include "ui/console_commands.h"
#include "game/race_reset.h"
#include "ui/engine_sound.h"
#include "ui/keycam.h"
#include "ui/screenshot.h"
#include "ui/settings.h"
#include "ui_test_roots.h"

namespace {

class console_commands_test : public ui_roots_test {
protected:
    void SetUp() override
    {
        ui_roots_test::SetUp();
        settings_defaults();
        keyframe_list_init();
        keyframe_list.count = 0;
        watched_slot = 0;
        view_state = view_riding;
    }
    void TearDown() override
    {
        for (rider*& r : rider_table)
            if (r) rider_destroy(r), r = nullptr;
        quit_requested = 0;
        track_dir[0] = 0;
        ui_roots_test::TearDown();
    }
    // Runs a line; the number of messages it printed is left in printed.
    int run(const std::string& line)
    {
        int before = message_log.write_index;
        int known = console_command(line.c_str());
        printed = console_ring_index(message_log.write_index - before);
        return known;
    }
    int printed = 0;
};

// ---- Matching -------------------------------------------------------------------

TEST(console_match, each_kind_meets_the_text_as_its_row_says)
{
    struct row {
        const char* text;
        const char* word;  // null: no row
        const char* arguments;
    };
    const row cases[] = {
        {"savetrackinfo", "savetrackinfo", ""},
        {"savetrackinfo now", nullptr, nullptr},  // exact: nothing may follow
        {" togglefps", nullptr, nullptr},         // exact: no blanks before
        {"fov 90", "fov", " 90"},                 // prefix: arguments right after the word
        {"fov90", "fov", "90"},                   // a number with no blank is read too
        {"fovx", "fov", "x"},
        {"pipe3 1", "pipe", "3 1"},
        {"fpshistory", "fpshist", "ory"},
        {"echo  hello there", "echo", "hello there"},  // word: arguments after the blanks
        {"   echo hi", "echo", "hi"},
        {"echo", "echo", ""},
        {"echoes", nullptr, nullptr},
        {"rmkey", "rmkey", ""},
        {"clearlog", "clearlog", ""},
        {"log e 5", "log", "e 5"},
        {"logx", nullptr, nullptr},
        {"mode\tthird", "mode", "third"},
        {"frobnicate", nullptr, nullptr},
        {"", nullptr, nullptr},
    };
    for (const row& c : cases) {
        const char* arguments = nullptr;
        int i = console_command_match(c.text, &arguments);
        if (!c.word) {
            EXPECT_EQ(i, -1) << c.text;
            continue;
        }
        ASSERT_GE(i, 0) << c.text;
        EXPECT_STREQ(console_command_table[i].word, c.word) << c.text;
        EXPECT_STREQ(arguments, c.arguments) << c.text;
    }
}

TEST(console_match, the_table_has_its_forty_four_rows_in_order)
{
    ASSERT_EQ(console_command_count, 45) << "44 rows, deletekey and rmkey sharing one";
    EXPECT_STREQ(console_command_table[0].word, "savetrackinfo");
    EXPECT_STREQ(console_command_table[console_command_count - 1].word, "mode");
    // "clearlog" must come before "log", and every exact row must not be
    // shadowed by an earlier prefix row.
    for (int i = 0; i < console_command_count; i++)
        for (int j = 0; j < i; j++) {
            const console_command_row& a = console_command_table[j];
            const console_command_row& b = console_command_table[i];
            if (a.kind == match_prefix) {
                EXPECT_NE(strncmp(b.word, a.word, strlen(a.word)), 0) << a.word << " hides " << b.word;
            }
        }
}

TEST_F(console_commands_test, unknown_words_and_chat_are_not_commands)
{
    EXPECT_EQ(run("/frobnicate"), 0);
    EXPECT_EQ(run("echo hi"), 0) << "no slash";
    EXPECT_EQ(printed, 0);
    EXPECT_EQ(run("\\echo back slash"), 1);
    EXPECT_EQ(last_message(), "back slash");
}

// ---- Settings and their messages --------------------------------------------------

TEST_F(console_commands_test, numbers_are_clamped_and_a_bad_number_keeps_the_value)
{
    struct row {
        const char* line;
        const char* message;
    };
    const row cases[] = {
        {"/fov", "Usage: fov <degrees>"},
        {"/fov 500", "fov set"},
        {"/mapscale 100", "Map scale set to 8.000000"},
        {"/mapscale 0.01", "Map scale set to 0.125000"},
        {"/mapscale lots", "Map scale set to 0.125000"},
        {"/messagelines 5000", "Maximum showing messages is now 1000"},
        {"/messagelines -3", "Maximum showing messages is now 0"},
        {"/messagelines", "Maximum showing messages is now 0"},
        {"/bbopt12", "Billboard optimization window is now 12"},
        {"/bbopt x", "Billboard optimization window is now 12"},
        {"/demobackups 3", "Now keeping 3 demo backups"},
        {"/reportstutter 0.25", "Stutter threshold set to 0.250000"},
        {"/log e 5", "Logging 0x1, spacing 5.000000"},
        {"/log", "Logging 0x0, spacing 10.000000"},
        {"/log ee 2.5", "Logging 0x1, spacing 2.500000"},
        {"/forcereload", "Track will be reloaded on next restart"},
        {"/echo  a b ", "a b "},
    };
    for (const row& c : cases) {
        EXPECT_EQ(run(c.line), 1) << c.line;
        EXPECT_EQ(last_message(), c.message) << c.line;
    }
    EXPECT_EQ(settings.fov.value, 170);
    EXPECT_EQ(settings.map_scale, 0.125);
    EXPECT_EQ(message_lines, 0);
    EXPECT_EQ(settings.billboard_optimize_lookahead, 12);
    EXPECT_EQ(settings.demo_backups, 3);
    EXPECT_EQ(stutter_threshold, 0.25);
    EXPECT_EQ(debug_marker_flags, 1);
    EXPECT_EQ(debug_marker_spacing, 2.5f);
    EXPECT_EQ(track_reload_forced, 1);
    run("/fov 5");
    EXPECT_EQ(settings.fov.value, 10);
    stutter_threshold = 0;
    message_lines = 5;
}

TEST_F(console_commands_test, toggles_flip_their_setting_and_say_so)
{
    struct row {
        const char* line;
        const char* label;
        int32_t* setting;
    };
    const row cases[] = {
        {"/togglespy", "Spy mode", &spy_mode},
        {"/togglegraph", "Suspension graph", &suspension_graph_shown},
        {"/togglekeycam", "Keycam mode", &keycam_mode},
        {"/togglefps", "FPS display", &settings.draw_fps},
        {"/toggletime", "Time display", &settings.draw_time},
        {"/toggleping", "Ping display", &settings.draw_ping},
        {"/togglespam", "Hide spam", &hide_spam},
        {"/togglespeed", "Speed display", &settings.draw_speed},
        {"/toggledecals", "Hide decals", &track_terrain.hide_decals},
        {"/toggleterrainwireframe", "Terrain wireframe", &options.terrain_wireframe},
    };
    for (const row& c : cases) {
        *c.setting = 0;
        EXPECT_EQ(run(c.line), 1);
        EXPECT_EQ(*c.setting, 1) << c.line;
        EXPECT_EQ(last_message(), std::string(c.label) + " ON");
        run(c.line);
        EXPECT_EQ(*c.setting, 0) << c.line;
        EXPECT_EQ(last_message(), std::string(c.label) + " OFF");
    }
    hide_spam = 1;
}

TEST_F(console_commands_test, quiet_commands_print_nothing)
{
    run("/screenshot " + std::string(1024, 'n'));
    EXPECT_EQ(last_message().rfind("Error saving \"nnn", 0), 0u) << "a name over 1023 characters is not cut";
    for (const char* line : {"/randdump", "/clearlog", "/pov", "/renderstats", "/savetrackinfo"}) {
        EXPECT_EQ(run(line), 1) << line;
        EXPECT_EQ(printed, 0) << line;
    }
    EXPECT_EQ(options.draw_render_stats, 1);
    run("/quit");
    EXPECT_EQ(quit_requested, 1);
}

TEST_F(console_commands_test, mode_switches_views_but_not_without_a_track)
{
    struct row {
        int32_t from;
        int32_t editor;
        const char* line;
        int32_t to;
    };
    const row cases[] = {
        {view_no_track, 0, "/mode third", view_no_track},
        {view_riding, 0, "/mode third", view_orbit},
        {view_riding, 0, "/mode float", view_track_cameras},
        {view_orbit, 0, "/mode first", view_riding},
        {view_riding, 0, "/mode editor", view_orbit},
        {view_riding, 1, "/mode editor", view_editor},
        {view_orbit, 0, "/mode sideways", view_orbit},
    };
    for (const row& c : cases) {
        view_state = c.from;
        options.editor = c.editor;
        EXPECT_EQ(run(c.line), 1);
        EXPECT_EQ(view_state, c.to) << c.line << " from " << c.from;
    }
    options.editor = 0;
}

TEST_F(console_commands_test, fpshist_prints_the_counters_longest_label_first_and_clears_them)
{
    for (int i = 0; i < 8; i++) pacing.frame_histogram[i] = uint32_t(i + 1);
    run("/fpshist");
    EXPECT_EQ(last_message(), "128=1 64=2 32=3 16=4 8=5 4=6 2=7 1=8 ");
    for (uint32_t c : pacing.frame_histogram) EXPECT_EQ(c, 0u);
}

TEST_F(console_commands_test, saveframetimes_writes_one_line_per_frame_and_clears)
{
    float times[3] = {0.5f, 0.25f, 0.0078125f};
    frame_time_ring = times;
    frame_time_count = 3;
    run("/saveframetimes");
    EXPECT_EQ(last_message(), "Frame times saved to \"frametimes.txt\"");
    EXPECT_EQ(read_home("frametimes.txt"), "0.500000\n0.250000\n0.007812\n");
    EXPECT_EQ(frame_time_count, 0);
    frame_time_ring = nullptr;
}

TEST_F(console_commands_test, hfvol_sums_every_height)
{
    float heights[9] = {1, 2, 3, 4, 5, 6, 7, 8, -9.5f};
    track_terrain.heights = heights;
    track_terrain.size = 3;
    run("/hfvol");
    EXPECT_EQ(last_message().substr(0, 9), "26.500000");
    track_terrain.heights = nullptr;
    track_terrain.size = 0;
}

// ---- Files ------------------------------------------------------------------------

TEST_F(console_commands_test, savetrackinfo_writes_the_track_keys_and_its_digest)
{
    snprintf(track_dir, sizeof track_dir, "tracks/practice");
    timing_gates.counted_first_lap = 7;
    timing_gates.counted_normal_lap = 5;
    timing_gates.checkpoint_count = 9;
    for (int i = 0; i < 20; i++) track_digest[i] = uint8_t(i * 13 + 10);
    run("/savetrackinfo");
    EXPECT_EQ(last_message(), "Track info saved to tracks/practice.trackinfo");
    std::string text = read_home("tracks/practice.trackinfo");
    EXPECT_TRUE(std::regex_match(text, std::regex("dir=tracks/practice\nlongname=[^\n]+\nfirstlap=7\nnormallap=5\n"
                                                  "gatecount=9\nhash=[0-9a-f]{40}\n")))
        << text;
    EXPECT_NE(text.find("hash=0a172431"), std::string::npos) << "bytes 10, 23, 36, 49 in lower-case hex";
    // A name the file system refuses makes the write fail.
    snprintf(track_dir, sizeof track_dir, "../outside");
    run("/savetrackinfo");
    EXPECT_EQ(last_message(), "Error writing track info");
    memset(&timing_gates, 0, sizeof timing_gates);
}

TEST_F(console_commands_test, setups_written_read_back_and_refused)
{
    setup_defaults(&player_setup);
    setup_parse_pair(&player_setup, "name", "Written Name");
    run("/writesetup mine");
    EXPECT_EQ(last_message(), "Setup written");
    EXPECT_NE(read_home("setups/mine").find("name=Written Name\n"), std::string::npos);
    setup_parse_pair(&player_setup, "name", "Other");
    run("/readsetup mine");
    EXPECT_EQ(last_message(), "Setup updated");
    EXPECT_STREQ(player_setup.name, "Written Name");
    run("/readsetup nothere");
    EXPECT_EQ(last_message(), "Error reading setup");
    run("/writesetup");
    EXPECT_EQ(last_message(), "Error writing setup");
    setup_defaults(&player_setup);
}

TEST_F(console_commands_test, listfiles_filters_ignoring_case)
{
    write_home("MyPicture.PNG", "x");
    write_home("notes.txt", "x");
    vfs_shutdown();
    vfs_build_index();
    run("/listfiles png");
    ASSERT_GT(printed, 0);
    bool mine = false;
    for (int k = 0; k < printed; k++) {
        std::string line = last_message(k);
        std::string lower = line;
        for (char& c : lower) c = char(tolower(c));
        EXPECT_NE(lower.find("png"), std::string::npos) << line;
        EXPECT_NE(line.find(" -> "), std::string::npos) << line;
        mine = mine || line.find("MyPicture.PNG") != std::string::npos;
        EXPECT_EQ(line.find("notes.txt"), std::string::npos);
    }
    EXPECT_TRUE(mine);
}

TEST_F(console_commands_test, sendfile_names_and_offers)
{
    struct row {
        std::string name;
        const char* message;  // null: accepted
    };
    const std::string bad = "Filename may only contain alphanumeric characters, '_' or '.'";
    const row cases[] = {
        {"lap_1.txt", nullptr},
        {std::string(457, 'a'), nullptr},
        {std::string(458, 'a'), "Filename too long"},
        {"a..b", nullptr},
        {"../config", bad.c_str()},
        {"..", "Filename may not begin with '.'"},
        {".hidden", "Filename may not begin with '.'"},
        {"dir/file", bad.c_str()},
        {"sp ace", bad.c_str()},
        {"", "Can't open file"},
    };
    for (const row& c : cases) {
        const char* message = nullptr;
        int ok = net_upload_name_check(c.name.c_str(), &message);
        EXPECT_EQ(ok, c.message == nullptr) << c.name;
        if (c.message) {
            EXPECT_STREQ(message, c.message) << c.name;
        }
    }
    run("/sendfile ../config");
    EXPECT_EQ(last_message(), bad);
    run("/sendfile missing.txt");
    EXPECT_EQ(last_message(), "Can't open file");
    write_home("outgoing/lap.txt", "laps");
    run("/sendfile lap.txt");
    EXPECT_EQ(last_message(1), "Not connected to server");
    EXPECT_EQ(last_message(), "Sending file");
    run("/sendfile lap.txt");
    EXPECT_EQ(last_message(2), "Stopping previous transfer");
}

TEST_F(console_commands_test, namedemo_needs_a_recording_and_adds_the_extension)
{
    run("/namedemo best");
    EXPECT_EQ(last_message(), "Not currently recording a demo");
    struct row {
        std::string word;
        const char* name;  // null: too long
    };
    const row cases[] = {
        {"best", "best.ztdemo"},
        {"best.ztdemo", "best.ztdemo"},
        {"best.ztdem", "best.ztdem.ztdemo"},
        {std::string(1016, 'n'), ""},
        {std::string(1017, 'n'), nullptr},
    };
    for (const row& c : cases) {
        char out[1024];
        int ok = demo_name_with_extension(c.word.c_str(), out, sizeof out);
        EXPECT_EQ(ok, c.name != nullptr) << c.word.size();
        if (c.name && c.name[0]) {
            EXPECT_STREQ(out, c.name);
        }
    }
}

TEST(screenshot_numbering, counts_on_from_the_largest_listed_number)
{
    const char* none[] = {"config", nullptr};
    const char* some[] = {"screenshot007.png", "screenshot12.png", "screenshotx.png", "shot999.png",
                          "tracks/screenshot500.png", nullptr};
    EXPECT_EQ(screenshot_next_number(none), 1);
    EXPECT_EQ(screenshot_next_number(nullptr), 1);
    EXPECT_EQ(screenshot_next_number(some), 13);
}

// ---- Key frames -------------------------------------------------------------------

camera_keyframe key_at(int i)
{
    return array_items<camera_keyframe>(&keyframe_list)[i];
}

TEST_F(console_commands_test, addkey_keeps_tic_order_and_equal_tics_in_insertion_order)
{
    free_camera = {1, 2, 3, 0, 0, 0, 0, 90, 0};
    settings.fov.value = 75;
    tic_counter = 100;
    run("/addkey");
    EXPECT_EQ(last_message(), "Keyframe added");
    free_camera.x = 2;
    run("/addkey");
    tic_counter = 50;
    free_camera.x = 3;
    run("/addkey");
    ASSERT_EQ(keyframe_list.count, 3);
    EXPECT_EQ(key_at(0).position[0], 3);
    EXPECT_EQ(key_at(1).position[0], 1) << "the first of the two at tic 100";
    EXPECT_EQ(key_at(2).position[0], 2);
    EXPECT_EQ(key_at(1).fov, 75);
    EXPECT_EQ(key_at(1).tic, 100);
    run("/listkeys");
    EXPECT_EQ(last_message(), "pos = { 2.00, 2.00, 3.00 }, rot = { 0.00, 0.00, 0.00, 1.00 }, time = 0.78");
    // deletekey takes the first frame later than the tic (none later: the last).
    tic_counter = 60;
    run("/deletekey");
    EXPECT_EQ(last_message(), "Keyframe deleted");
    ASSERT_EQ(keyframe_list.count, 2);
    EXPECT_EQ(key_at(1).position[0], 2) << "the earlier of the equal pair went";
    tic_counter = 1000;
    run("/rmkey");
    ASSERT_EQ(keyframe_list.count, 1);
    EXPECT_EQ(key_at(0).position[0], 3);
    run("/deletekey");
    EXPECT_EQ(keyframe_list.count, 0) << "one frame: the list is emptied";
    run("/addkey");
    run("/clearkeys");
    EXPECT_EQ(last_message(), "Keyframes cleared");
    EXPECT_EQ(keyframe_list.count, 0);
    tic_counter = 0;
}

TEST(camera_quaternion, the_key_frame_looks_where_the_free_camera_looks)
{
    // The renderer turns a key frame's quaternion (q0..q3 = x, y, z, w) into
    // these rows and looks along minus their third column; for yaw y and
    // up-positive pitch p that must be (sin y cos p, sin p, cos y cos p),
    // the free camera's own direction, with an orthonormal rotation.
    const float angles[][2] = {{0, 0}, {0.5f, 0}, {0, 0.4f}, {1.2f, -0.3f}, {-2.5f, 0.7f}};
    for (const auto& a : angles) {
        float q[4];
        camera_quaternion(a[0], a[1], q);
        double q0 = q[0], q1 = q[1], q2 = q[2], q3 = q[3];
        double m[3][3] = {{2 * (q1 * q1 + q2 * q2) - 1, -2 * (q1 * q0 - q2 * q3), -2 * (q2 * q0 + q1 * q3)},
                          {2 * (q1 * q0 + q2 * q3), 1 - 2 * (q2 * q2 + q0 * q0), 2 * (q1 * q2 - q0 * q3)},
                          {-2 * (q2 * q0 - q1 * q3), -2 * (q1 * q2 + q0 * q3), 2 * (q1 * q1 + q0 * q0) - 1}};
        EXPECT_NEAR(-m[0][2], std::sin(a[0]) * std::cos(a[1]), 1e-6);
        EXPECT_NEAR(-m[1][2], std::sin(a[1]), 1e-6);
        EXPECT_NEAR(-m[2][2], std::cos(a[0]) * std::cos(a[1]), 1e-6);
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++) {
                double dot = m[i][0] * m[j][0] + m[i][1] * m[j][1] + m[i][2] * m[j][2];
                EXPECT_NEAR(dot, i == j ? 1 : 0, 1e-6) << i << " " << j;
            }
    }
}

TEST_F(console_commands_test, keys_written_and_read_back_give_the_same_path)
{
    tic_counter = 0;
    const float path[][6] = {{0, 5, 0, 0, 0, 90}, {10.5f, 6, -3.25f, 0.7f, 0.2f, 80}, {20, 4.5f, 8, -1.1f, -0.1f, 60}};
    for (int i = 0; i < 3; i++) {
        free_camera = {path[i][0], path[i][1], path[i][2], path[i][3], path[i][4], 0, 0, 90, 0};
        settings.fov.value = path[i][5];
        tic_counter = 128 * i;
        run("/addkey");
    }
    std::vector<camera_keyframe> before(array_items<camera_keyframe>(&keyframe_list),
                                        array_items<camera_keyframe>(&keyframe_list) + keyframe_list.count);
    run("/writekeys flyby");
    EXPECT_EQ(last_message(), "Camera keys saved");
    run("/clearkeys");
    run("/readkeys flyby");
    EXPECT_EQ(last_message(), "Camera keys updated");
    ASSERT_EQ(keyframe_list.count, 3);
    for (int i = 0; i < 3; i++) {
        camera_keyframe k = key_at(i);
        for (int c = 0; c < 3; c++) EXPECT_NEAR(k.position[c], before[size_t(i)].position[c], 5e-5);
        for (int c = 0; c < 4; c++) EXPECT_NEAR(k.q[c], before[size_t(i)].q[c], 5e-5);
        EXPECT_NEAR(k.fov, before[size_t(i)].fov, 5e-3);
        EXPECT_EQ(k.tic, before[size_t(i)].tic);
    }
    run("/writekeys");
    EXPECT_EQ(last_message(), "Error saving camera keys");
    run("/readkeys");
    EXPECT_EQ(last_message(), "Error reading camera keys");
    run("/readkeys nothere");
    EXPECT_EQ(last_message(), "Error reading camera keys");
    tic_counter = 0;
}

TEST_F(console_commands_test, readkeys_keeps_the_frames_before_a_short_line)
{
    write_home("keycam/short", "1 2 3 0 0 0 1 90 10\n4 5 6 0 0 0 1 90 20\n7 8 9 0 0 0\n1 1 1 0 0 0 1 90 40\n");
    run("/readkeys short");
    EXPECT_EQ(last_message(), "Error reading camera keys");
    ASSERT_EQ(keyframe_list.count, 2);
    EXPECT_EQ(key_at(1).tic, 20);
    // Out of order in the file: kept in file order. With no frame later
    // than the tic the last one is chosen, but the frame before it is not
    // earlier, so that one goes.
    write_home("keycam/unsorted", "0 0 0 0 0 0 1 90 10\n1 0 0 0 0 0 1 90 50\n2 0 0 0 0 0 1 90 30\n");
    run("/readkeys unsorted");
    ASSERT_EQ(keyframe_list.count, 3);
    EXPECT_EQ(key_at(2).tic, 30);
    tic_counter = 100;
    run("/deletekey");
    ASSERT_EQ(keyframe_list.count, 2);
    EXPECT_EQ(key_at(0).tic, 10);
    EXPECT_EQ(key_at(1).tic, 30);
    tic_counter = 0;
}

// ---- Commands on the watched rider ------------------------------------------------

TEST_F(console_commands_test, rider_commands_do_nothing_without_a_rider)
{
    for (const char* line : {"/pipe", "/camangle 10 20", "/campos 1 2 3", "/camangle"}) {
        EXPECT_EQ(run(line), 1);
        EXPECT_EQ(printed, 0) << line;
    }
}

int delay_of(const engine_pipe& p, int tap)
{
    return engine_pipe_ring - p.tap_offset[tap];
}

TEST_F(console_commands_test, pipe_uses_the_class_defaults_for_missing_values)
{
    riders_init_all();
    // Delays of the built-in templates (samples), worked out from the pipe
    // formula with the defaults of each class.
    const int two_stroke[16] = {135, 133, 132, 130, 129, 127, 126, 124, 123, 121, 120, 118, 116, 115, 113, 112};
    const int four_stroke[16] = {386, 382, 377, 373, 368, 363, 359, 354, 349, 345, 340, 335, 330, 325, 320, 315};
    struct row {
        const char* bike;
        const char* line;
        const int* delays;
        float gain;
    };
    const row cases[] = {
        {"yz125", "/pipe", two_stroke, -0.75f / 16},
        {"yz250f(2017)", "/pipe", four_stroke, -0.85f / 16},
        {"yz450f(2018)", "/pipe 5", four_stroke, -0.85f / 16},
    };
    for (const row& c : cases) {
        rider_table[0] = rider_create(c.bike, 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(rider_table[0], nullptr);
        memset(&engine_sounds[0].pipe, 0, sizeof engine_sounds[0].pipe);
        run(c.line);
        EXPECT_EQ(last_message(), "Pipe updated");
        for (int t = 0; t < 16; t++) {
            EXPECT_EQ(delay_of(engine_sounds[0].pipe, t), c.delays[t]) << c.bike << " tap " << t;
            EXPECT_FLOAT_EQ(engine_sounds[0].pipe.tap_gain[t], c.gain);
        }
        rider_destroy(rider_table[0]);
        rider_table[0] = nullptr;
    }
    // Two numbers replace length and spread; reflection and taps stay the
    // 125's: L = 3, S = 1, n = 16, tap 0 = trunc(3 x 77.32568794) = 231.
    rider_table[0] = rider_create("yz125", 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
    run("/pipe3 1");
    EXPECT_EQ(delay_of(engine_sounds[0].pipe, 0), 231);
    // tap 15: (3 - (1 + 15) x 1 / 16) x 77.32568794 = 154.65
    EXPECT_EQ(delay_of(engine_sounds[0].pipe, 15), 154);
    EXPECT_FLOAT_EQ(engine_sounds[0].pipe.tap_gain[15], -0.75f / 16);
}

TEST_F(console_commands_test, camangle_and_campos_place_the_free_camera)
{
    riders_init_all();
    rider_table[0] = rider_create("yz125", 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
    free_camera.yaw_rate = free_camera.pitch_rate = 3;
    run("/camangle 90 -45");
    EXPECT_EQ(last_message(), "Camera aimed");
    EXPECT_NEAR(free_camera.yaw, M_PI / 2, 1e-6);
    EXPECT_NEAR(free_camera.pitch, -M_PI / 4, 1e-6);
    EXPECT_EQ(free_camera.yaw_rate, 0);
    EXPECT_EQ(free_camera.pitch_rate, 0);
    run("/camangle 10");
    EXPECT_EQ(last_message(), "Usage: camangle <yaw> <pitch>");
    EXPECT_NEAR(free_camera.yaw, M_PI / 2, 1e-6);
    run("/campos 1 -2.5 300");
    EXPECT_EQ(last_message(), "Camera positioned");
    EXPECT_EQ(free_camera.y, -2.5f);
    EXPECT_EQ(free_camera.z, 300);
    run("/campos 1 2");
    EXPECT_EQ(last_message(), "Usage: campos <x> <y> <z>");
}

}  // namespace

namespace {

TEST_F(console_commands_test, stutter_check_reports_a_gap_over_the_threshold)
{
    run("/reportstutter 0.005");
    stutter_check("draw");
    usleep(30000);  // 30 ms: six times the threshold
    stutter_check("update");
    EXPECT_EQ(last_message().rfind("Stutter in update - 0.0", 0), 0u) << last_message();
    run("/reportstutter 1000");
    stutter_check("draw");
    stutter_check("flip");
    EXPECT_EQ(last_message(), "Stutter threshold set to 1000.000000") << "a short gap says nothing";
    stutter_threshold = 0;
}

}  // namespace
