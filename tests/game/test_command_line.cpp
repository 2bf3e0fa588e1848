// The command line: every value form, the clamps, and each way an argument
// is refused with its message.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "game/startup.h"

namespace {

struct parsed {
    int status;
    std::string message;
    run_options o;
};

parsed parse(std::vector<std::string> words)
{
    // The options point into the words, so they live for the whole run.
    static std::vector<std::vector<std::string>> keep;
    keep.push_back(std::move(words));
    std::vector<char*> argv;
    for (std::string& w : keep.back()) argv.push_back(w.data());
    parsed p;
    char message[256];
    p.status = parse_command_line(int(argv.size()), argv.data(), &p.o, message, sizeof message);
    p.message = message;
    return p;
}

struct refused_case {
    std::vector<std::string> words;
    const char* message;
};

class refused : public ::testing::TestWithParam<refused_case> {};

TEST_P(refused, prints_its_message_and_stops)
{
    parsed p = parse(GetParam().words);
    EXPECT_EQ(p.status, command_line_error);
    EXPECT_EQ(p.message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    arguments, refused,
    ::testing::Values(
        refused_case{{"--bogus"}, "bad option '--bogus'\n"},
        refused_case{{"-x"}, "bad option '-x'\n"},
        refused_case{{"a.ztdemo", "b.ztdemo"}, "Too many files!\n"},
        refused_case{{"--", "-x", "-y"}, "Too many files!\n"},
        refused_case{{"--glversion", "3"}, "bad arg for --glversion\n"},
        refused_case{{"--glversion", "3.3xyz"},
                     "unknown OpenGL dialect for --glversion (must be 'compatibility', 'core' or 'es')\n"},
        refused_case{{"--texture-detail", "many"}, "Bad arg for --texture-detail\n"},
        refused_case{{"--ground-texture-detail=x"}, "Bad arg for --ground-texture-detail\n"},
        refused_case{{"--chase-center", "1,2"}, "Bad arg for --chase-center\n"},
        // A value option standing last has no value: refused, never read.
        refused_case{{"--width"}, "Bad arg for --width\n"},
        refused_case{{"--track"}, "Bad arg for --track\n"},
        refused_case{{"--connect"}, "Bad arg for --connect\n"},
        refused_case{{"--password"}, "Bad arg for --password\n"},
        refused_case{{"--record-audio"}, "Bad arg for --record-audio\n"},
        refused_case{{"--console-commands"}, "Bad arg for --console-commands\n"},
        refused_case{{"--nosound", "--lock-fps"}, "Bad arg for --lock-fps\n"},
        // "%f" reads "nan" and "inf"; no clamp removes them.
        refused_case{{"--erode", "nan"}, "Bad arg for --erode\n"},
        refused_case{{"--lod-scale", "inf"}, "Bad arg for --lod-scale\n"},
        refused_case{{"--chase-center", "0,nan,1"}, "Bad arg for --chase-center\n"},
        // Sizes of the window and pixel format must be positive.
        refused_case{{"--width", "0"}, "Bad arg for --width\n"},
        refused_case{{"--height=-600"}, "Bad arg for --height\n"},
        refused_case{{"--depth", "zero"}, "Bad arg for --depth\n"},
        refused_case{{"--zdepth", "-24"}, "Bad arg for --zdepth\n"},
        // A rate of 0.001 would ask for 128,000 tics a frame, infinity for none.
        refused_case{{"--lock-fps", "0.001"}, "Bad arg for --lock-fps\n"},
        refused_case{{"--lock-fps", "0"}, "Bad arg for --lock-fps\n"},
        refused_case{{"--lock-fps", "1001"}, "Bad arg for --lock-fps\n"},
        refused_case{{"--lock-fps", "inf"}, "Bad arg for --lock-fps\n"}));

TEST(command_line, values_come_as_next_argument_or_after_equals)
{
    parsed a = parse({"--width", "800", "--height=600", "--track", "practice", "--glversion=3.3"});
    ASSERT_EQ(a.status, command_line_run) << a.message;
    EXPECT_EQ(a.o.width, 800);
    EXPECT_EQ(a.o.height, 600);
    EXPECT_STREQ(a.o.track, "practice");
    EXPECT_EQ(a.o.gl_major, 3);
    EXPECT_EQ(a.o.gl_minor, 3);
    EXPECT_EQ(a.o.gl_dialect, 0) << "no dialect asks for compatibility";
    parsed es = parse({"--glversion", "3.0es"});
    EXPECT_EQ(es.o.gl_dialect, 2);
    parsed core = parse({"--glversion", "4.5core"});
    EXPECT_EQ(core.o.gl_dialect, 1);
}

TEST(command_line, defaults_without_options)
{
    parsed p = parse({});
    ASSERT_EQ(p.status, command_line_run);
    EXPECT_EQ(p.o.gl_major, 3);
    EXPECT_EQ(p.o.gl_minor, 1);
    EXPECT_EQ(p.o.gl_dialect, 1) << "3.1 core";
    EXPECT_EQ(p.o.colour_bits, 16);
    EXPECT_EQ(p.o.depth_bits, 16);
    EXPECT_FLOAT_EQ(p.o.chase_centre[1], 2.52f);
    EXPECT_EQ(p.o.file, nullptr);
}

TEST(command_line, clamps_of_the_option_table)
{
    parsed p = parse({"--lod-scale", "0", "--roostfrequency", "5000", "--texture-detail", "-3", "--fake-lag",
                      "2500", "--fake-loss", "150", "--erode", "250", "--lock-fps", "32"});
    ASSERT_EQ(p.status, command_line_run) << p.message;
    EXPECT_DOUBLE_EQ(p.o.lod_scale, 0.000001);
    EXPECT_EQ(p.o.roost_frequency, 1000);
    EXPECT_EQ(p.o.texture_reduction, 0);
    EXPECT_DOUBLE_EQ(p.o.fake_lag, 1.0);
    EXPECT_EQ(p.o.fake_loss, 100);
    EXPECT_EQ(p.o.erosion, 100 * 1024);
    EXPECT_DOUBLE_EQ(p.o.lock_fps, 32.0);
    parsed e = parse({"--erode", "0.5"});
    EXPECT_EQ(e.o.erosion, 512);
}

TEST(command_line, rotation_is_kept_within_the_lineup)
{
    // Entry i moves to (i + n) mod 160: -1 is the same rotation as 159.
    struct {
        const char* value;
        int expect;
    } cases[] = {{"0", 0}, {"1", 1}, {"-1", 159}, {"160", 0}, {"-161", 159}, {"-2147483648", 32}};
    for (auto& c : cases) {
        parsed p = parse({"--rotate-lineup", c.value});
        ASSERT_EQ(p.status, command_line_run) << c.value;
        EXPECT_EQ(p.o.rotate_lineup, c.expect) << c.value;
    }
}

TEST(command_line, file_arguments_and_the_end_of_options)
{
    parsed p = parse({"--", "-x"});
    ASSERT_EQ(p.status, command_line_run);
    EXPECT_STREQ(p.o.file, "-x");
    parsed d = parse({"--nosound", "race.ztdemo", "--warp"});
    ASSERT_EQ(d.status, command_line_run);
    EXPECT_STREQ(d.o.file, "race.ztdemo");
    EXPECT_EQ(d.o.no_sound, 1);
    EXPECT_EQ(d.o.warp, 1);
}

TEST(command_line, connect_drops_its_scheme_and_open_home_stops)
{
    parsed a = parse({"--connect", "zentrik:race.example"});
    parsed b = parse({"--connect", "race.example"});
    EXPECT_STREQ(a.o.connect, "race.example");
    EXPECT_STREQ(b.o.connect, "race.example");
    EXPECT_EQ(parse({"--nosound", "--open-home"}).status, command_line_open_home);
    parsed c = parse({"--chase-center", "1.5,-2,3"});
    EXPECT_FLOAT_EQ(c.o.chase_centre[0], 1.5f);
    EXPECT_FLOAT_EQ(c.o.chase_centre[1], -2.0f);
    EXPECT_FLOAT_EQ(c.o.chase_centre[2], 3.0f);
}

}  // namespace

namespace {

TEST(graphics_values, settings_give_the_values_the_options_start_from)
{
    struct row {
        double ground, model, texture, roost;
        double lod_step, lod_scale, lod_bias;
        int reduction;
    } rows[] = {
        // m = 50: s = 1, not above 1, so the scale is s; bias 50 - 50 x 1.
        {70, 50, 9, 1000, 0.125 / 70, 1.0, 0.0, 1},
        // m = 0: s = 2, cubed to 8; bias 50 - 50 x clamp(-0.5) = 50.
        {50, 0, 7, 0, 0.125 / 50, 8.0, 50.0, 3},
        // m = 20: s = 1.6 cubed; bias 50 - 50 x 0.5 = 25.
        {90, 20, 10, 500, 0.125 / 90, 1.6 * 1.6 * 1.6, 25.0, 0},
        // m = 100: s = 0; texture detail 0 reduces by the most, 10.
        {100, 100, 0, 100, 0.00125, 0.0, 0.0, 10},
    };
    for (const row& r : rows) {
        run_options o;
        derive_graphics_values(r.ground, r.model, r.texture, r.roost, &o);
        EXPECT_DOUBLE_EQ(o.ground_lod_step, r.lod_step);
        EXPECT_NEAR(o.lod_scale, r.lod_scale, 1e-12) << "model detail " << r.model;
        EXPECT_DOUBLE_EQ(o.lod_bias, r.lod_bias);
        EXPECT_EQ(o.texture_reduction, r.reduction);
        EXPECT_EQ(o.roost_frequency, int(r.roost));
    }
}

}  // namespace
