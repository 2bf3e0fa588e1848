// The program as a player starts it, run headless: the start-up failures and
// their exit statuses, a scripted run with its log, and the capture outputs.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "support_zentrik.h"

namespace {

struct failure_case {
    std::vector<std::string> args;
    const char* message;  // on standard error
};

class start_up_failure : public ::testing::TestWithParam<failure_case> {};

// The player's settings, as a failed start must leave them.
const char players_config[] = "video_mode=Windowed\nxres=320\nyres=240\nfov=91\n";

TEST_P(start_up_failure, prints_why_and_exits_1)
{
    zentrik_setup setup;
    setup.config = players_config;
    zentrik_result r = run_zentrik(setup, GetParam().args);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(GetParam().message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(read_whole_file(setup.player_folder() + "/config"), players_config) << "settings left alone";
}

INSTANTIATE_TEST_SUITE_P(
    command_line, start_up_failure,
    ::testing::Values(
        failure_case{{"--bogus"}, "bad option '--bogus'\n"},
        failure_case{{"a.ztdemo", "b.ztdemo"}, "Too many files!\n"},
        failure_case{{"--glversion", "3"}, "bad arg for --glversion\n"},
        failure_case{{"--glversion", "3.3xyz"},
                     "unknown OpenGL dialect for --glversion (must be 'compatibility', 'core' or 'es')\n"},
        failure_case{{"--nosound", "--width"}, "Bad arg for --width\n"},
        failure_case{{"--track"}, "Bad arg for --track\n"},
        failure_case{{"--lock-fps", "nan"}, "Bad arg for --lock-fps\n"}));

TEST(start_up, without_game_data_says_so_and_exits_1)
{
    zentrik_setup setup;
    setup.config = players_config;
    temp_dir empty;
    setup.data_root = empty.path;
    zentrik_result r = run_zentrik(setup, {"--nosound"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read_whole_file(setup.player_folder() + "/config"), players_config) << "never read, never written";
    EXPECT_NE(r.err.find("Can't find game data"), std::string::npos) << r.err;
    EXPECT_NE(r.log.find("Can't find game data"), std::string::npos) << r.log;
}

TEST(start_up, an_old_gl_version_says_so_and_exits_1)
{
    zentrik_setup setup;
    // Mesa reports what it is told; 3.0 compatibility is below the 3.1 the
    // built-in programs need.
    setup.env["MESA_GL_VERSION_OVERRIDE"] = "3.0";
    zentrik_result r = run_zentrik(setup, {"--nosound", "--glversion", "3.0", "--track", "practice"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("OpenGL version too old\n"), std::string::npos) << r.err;
    std::vector<std::string> lines = log_lines(r.log);
    int too_old = find_line(lines, "OpenGL version too old");
    EXPECT_GE(too_old, 0) << r.log;
    // Shut down from where start-up stood: no race had begun.
    EXPECT_EQ(find_line(lines, "Resetting"), -1);
    EXPECT_GT(find_line(lines, "Closing audio", too_old), too_old);
}

TEST(start_up, a_data_root_without_tracks_exits_1)
{
    zentrik_setup setup;
    temp_dir root;
    // The stock archive alone marks a data root; it holds no track.
    ASSERT_EQ(symlink((zentrik_data_root() + "/zentrik.saf").c_str(), (root.path + "/zentrik.saf").c_str()), 0);
    setup.data_root = root.path;
    zentrik_result r = run_zentrik(setup, {"--nosound"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("No tracks found\n"), std::string::npos) << r.err;
}

TEST(start_up, open_home_creates_the_folder_and_calls_the_file_browser)
{
    zentrik_setup setup;
    setup.config.clear();
    temp_dir bin;
    std::string called = bin.file("called.txt");
    write_whole_file(bin.file("xdg-open"), "#!/bin/sh\necho \"$1\" > '" + called + "'\n");
    chmod(bin.file("xdg-open").c_str(), 0755);
    setup.env["PATH"] = bin.path + ":" + std::string(getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin");
    zentrik_result r = run_zentrik(setup, {"--open-home"});
    EXPECT_EQ(r.status, 0) << r.err;
    struct stat st {};
    EXPECT_EQ(stat(setup.player_folder().c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    // The spawned browser may still be finishing when the game has exited.
    std::string seen;
    for (int i = 0; i < 100 && seen.empty(); i++) {
        seen = read_whole_file(called);
        if (seen.empty()) usleep(50000);
    }
    EXPECT_NE(seen.find("Zentrik"), std::string::npos) << seen;
}

// Three queued commands run on three frames, and the third ends the run.
const char three_frames[] = "/echo a;/echo b;/quit";

TEST(scripted_run, warp_run_quits_cleanly_and_logs_in_order)
{
    zentrik_setup setup;
    zentrik_result r = run_zentrik(setup, {"--track", "practice", "--nosound", "--warp", "--console-commands", three_frames});
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    std::vector<std::string> lines = log_lines(r.log);
    const char* order[] = {"Zentrik version", "GL_VENDOR: ", "GL_RENDERER: ", "GL_VERSION: ", "GL_EXTENSIONS: ",
                           "Resetting", "Loading terrain...done", "Deallocating bikes", "Finished deallocating bikes",
                           "Deallocating track", "Freeing memory (1)", "Closing input devices", "Closing audio",
                           "Writing config files", "Freeing memory (2)", "Freeing memory (3)", "Freeing file list",
                           "Freeing memory (4)", "Deleting textures", "Deleting models"};
    int at = 0;
    for (const char* text : order) {
        int found = find_line(lines, text, at);
        EXPECT_GE(found, 0) << "\"" << text << "\" after line " << at << "\n" << r.log;
        if (found >= 0) at = found + 1;
    }
    // The two echoes ran before the quit, one a frame.
    auto exact = [&](const char* text) {
        for (size_t i = 0; i < lines.size(); i++)
            if (lines[i] == text) return int(i);
        return -1;
    };
    EXPECT_GE(exact("a"), 0) << r.log;
    EXPECT_GT(exact("b"), exact("a"));
    // The settings were written back.
    EXPECT_NE(read_whole_file(setup.player_folder() + "/config").find("video_mode=Windowed"), std::string::npos);
}

TEST(scripted_run, video_capture_gives_a_frame_of_the_window_per_drawn_frame)
{
    zentrik_setup setup;
    zentrik_result r = run_zentrik(setup, {"--track", "practice", "--nosound", "--warp", "--record-video",
                                           "--console-commands", three_frames});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<p6_frame> frames;
    ASSERT_TRUE(parse_p6_frames(r.out, &frames)) << "standard output holds only whole P6 images";
    ASSERT_EQ(frames.size(), 3u);
    for (const p6_frame& f : frames) {
        // The windowed size the player's config asks for.
        EXPECT_EQ(f.width, 320);
        EXPECT_EQ(f.height, 240);
        std::set<std::string> colours;
        for (size_t i = 0; i + 3 <= f.pixels.size(); i += 3 * 97) colours.insert(f.pixels.substr(i, 3));
        EXPECT_GT(colours.size(), 20u) << "sky, ground and bike, not one colour";
    }
}

TEST(scripted_run, a_closed_video_pipe_stops_the_capture_not_the_game)
{
    zentrik_setup setup;
    setup.stdout_reader_gone = true;
    zentrik_result r = run_zentrik(setup, {"--track", "practice", "--nosound", "--warp", "--record-video",
                                           "--console-commands", three_frames});
    // Killed by the broken pipe it would have no exit status at all.
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.log.find("Video capture stopped"), std::string::npos) << r.log;
    EXPECT_NE(r.log.find("Deleting models"), std::string::npos) << "shut down normally";
}

TEST(scripted_run, print_orientation_gives_one_line_a_riding_frame)
{
    zentrik_setup setup;
    zentrik_result r = run_zentrik(setup, {"--track", "practice", "--nosound", "--warp", "--print-orientation",
                                           "--console-commands", three_frames});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<double> times;
    size_t at = 0;
    while ((at = r.out.find("t=", at)) != std::string::npos) {
        double t, p[3], x[3], z[3];
        ASSERT_EQ(sscanf(r.out.c_str() + at, "t=%lf p0=%lf p1=%lf p2=%lf x0=%lf x1=%lf x2=%lf z0=%lf z1=%lf z2=%lf\n", &t,
                         &p[0], &p[1], &p[2], &x[0], &x[1], &x[2], &z[0], &z[1], &z[2]),
                  10);
        // The two axes are unit length and at right angles.
        EXPECT_NEAR(x[0] * x[0] + x[1] * x[1] + x[2] * x[2], 1.0, 1e-4);
        EXPECT_NEAR(z[0] * z[0] + z[1] * z[1] + z[2] * z[2], 1.0, 1e-4);
        EXPECT_NEAR(x[0] * z[0] + x[1] * z[1] + x[2] * z[2], 0.0, 1e-4);
        times.push_back(t);
        at++;
    }
    // Drawn before each frame's tics: 0, then 100 tics (100/128 s) a frame.
    ASSERT_EQ(times.size(), 3u) << r.out;
    for (int i = 0; i < 3; i++) EXPECT_NEAR(times[size_t(i)], i * 100.0 / 128.0, 1e-5);
}

struct audio_case {
    std::vector<std::string> pacing;
    int tics_per_frame;
};

class audio_capture : public ::testing::TestWithParam<audio_case> {};

TEST_P(audio_capture, writes_690_samples_for_every_tic)
{
    zentrik_setup setup;
    std::string raw = setup.scratch.file("out.raw");
    std::vector<std::string> args = {"--track", "practice", "--record-audio", raw, "--console-commands", three_frames};
    for (const std::string& p : GetParam().pacing) args.push_back(p);
    zentrik_result r = run_zentrik(setup, args);
    ASSERT_EQ(r.status, 0) << r.err;
    // Three frames, 690 samples of 2 bytes a tic.
    EXPECT_EQ(read_whole_file(raw).size(), size_t(3 * GetParam().tics_per_frame * 690 * 2));
}

INSTANTIATE_TEST_SUITE_P(pacing, audio_capture,
                         ::testing::Values(audio_case{{"--warp"}, 100}, audio_case{{"--lock-fps", "32"}, 4}));

}  // namespace
