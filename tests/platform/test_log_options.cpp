#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/vesk_clock.h"
#include "platform/vesk_log.h"
#include "support/temp_dir.h"

namespace {

struct log_env : ::testing::Test {
    temp_dir dir;
    void SetUp() override
    {
        unsetenv("VESK_LOGFILE");
        unsetenv("VESK_LOGFILE_FLAGS");
        unsetenv("VESK_OPTIONS");
        vesk_log_reset_for_tests();
    }
    void TearDown() override
    {
        vesk_log(nullptr);
        SetUp();
    }
    // The lines of a log file with their "[h:mm:ss.hh] " prefixes removed.
    std::vector<std::string> lines_of(const std::string& path)
    {
        std::string text = read_whole_file(path);
        std::vector<std::string> lines;
        std::regex prefix(R"(^\[\d+:\d\d:\d\d\.\d\d\] )");
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            std::string line = text.substr(start, end - start);
            EXPECT_TRUE(std::regex_search(line, prefix)) << line;
            lines.push_back(std::regex_replace(line, prefix, ""));
            start = end == std::string::npos ? text.size() : end + 1;
        }
        return lines;
    }
};

TEST_F(log_env, first_message_naming_a_file_opens_it)
{
    std::string path = dir.file("lastlog.txt");
    vesk_log("VESK_LOGFILE=%s", path.c_str()); // the game's very first log line
    vesk_log("Zentrik version %s\n", "0.1");
    vesk_log(nullptr);
    auto lines = lines_of(path);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Logfile \"" + path + "\" opened");
    EXPECT_EQ(lines[1], "VESK 0.31");
    EXPECT_EQ(lines[2], "Zentrik version 0.1");
}

TEST_F(log_env, environment_path_wins_and_append_prefix_appends)
{
    std::string path = dir.file("env.log");
    write_whole_file(path, "old line\n");
    setenv("VESK_LOGFILE", (">>" + path).c_str(), 1);
    vesk_log("VESK_LOGFILE=%s", dir.file("ignored.log").c_str());
    vesk_log("after\n");
    vesk_log(nullptr);
    std::string text = read_whole_file(path);
    EXPECT_EQ(text.rfind("old line\n", 0), 0u) << text;
    EXPECT_NE(text.find("VESK 0.31\n"), std::string::npos);
    EXPECT_NE(text.find("] after\n"), std::string::npos);
    EXPECT_EQ(text.find("VESK_LOGFILE="), std::string::npos);
    EXPECT_FALSE(std::ifstream(dir.file("ignored.log")).good());
}

TEST_F(log_env, environment_path_with_an_ordinary_first_message_writes_it)
{
    std::string path = dir.file("env.log");
    write_whole_file(path, "old line\n");
    setenv("VESK_LOGFILE", (">" + path).c_str(), 1);
    vesk_log("hello %d\n", 7);
    vesk_log(nullptr);
    auto lines = lines_of(path); // ">" truncates
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "hello 7");
}

TEST_F(log_env, without_a_file_everything_is_dropped_for_the_run)
{
    std::string path = dir.file("late.log");
    vesk_log("an early line\n");
    vesk_log("VESK_LOGFILE=%s", path.c_str());
    vesk_log("more\n");
    EXPECT_FALSE(std::ifstream(path).good());
}

TEST_F(log_env, closed_log_is_not_reopened_and_0x13_lines_are_dropped)
{
    std::string path = dir.file("a.log");
    vesk_log("VESK_LOGFILE=%s", path.c_str());
    // The rule reads the finished message: its first byte may come from the
    // format or from an argument, and a 0x13 later in it drops nothing.
    vesk_log("\x13 hidden\n");
    vesk_log("%s", "\x13 hidden by its argument\n");
    vesk_log("%c hidden by a character\n", 0x13);
    vesk_log("%s shown\n", "");
    vesk_log("kept \x13 within\n");
    vesk_log(nullptr);
    vesk_log("VESK_LOGFILE=%s", dir.file("b.log").c_str());
    vesk_log("after close\n");
    auto lines = lines_of(path);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], " shown");
    EXPECT_EQ(lines[3], "kept \x13 within");
    EXPECT_FALSE(std::ifstream(dir.file("b.log")).good());
}

TEST_F(log_env, lines_from_several_threads_never_interleave)
{
    std::string path = dir.file("threads.log");
    vesk_log("VESK_LOGFILE=%s", path.c_str());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++)
        threads.emplace_back([t] {
            for (int i = 0; i < 500; i++) vesk_log("thread %d line %d %s\n", t, i, "payload-payload-payload");
        });
    for (auto& th : threads) th.join();
    vesk_log(nullptr);
    auto lines = lines_of(path);
    ASSERT_EQ(lines.size(), 2u + 2000u);
    std::regex whole(R"(thread \d line \d+ payload-payload-payload)");
    for (size_t i = 2; i < lines.size(); i++) ASSERT_TRUE(std::regex_match(lines[i], whole)) << lines[i];
}

TEST(log_prefix, hours_minutes_seconds_hundredths)
{
    const struct {
        int s, us;
        const char* text;
    } cases[] = {{3725, 120000, "[1:02:05.12] "}, {0, 0, "[0:00:00.00] "}, {59, 999000, "[0:00:59.99] "},
                 {360000, 0, "[100:00:00.00] "}, {2147483, 5000, "[596:31:23.00] "}};
    for (const auto& c : cases) {
        char out[64];
        vesk_log_prefix(out, sizeof out, c.s, c.us);
        EXPECT_STREQ(out, c.text);
    }
}

struct options_env : log_env {
    void with_options(const char* text)
    {
        setenv("VESK_OPTIONS", text, 1);
        vesk_log_reset_for_tests();
        std::string path = dir.file("opt.log");
        vesk_log("VESK_LOGFILE=%s", path.c_str());
    }
};

TEST_F(options_env, boolean_and_integer_options)
{
    with_options("[threaded:yes][gles:off] [sound-rate:44100xyz][glmajor:x][dsndx:on][xinput:maybe]");
    EXPECT_EQ(vesk_option_bool("threaded", 0), 1);
    EXPECT_EQ(vesk_option_bool("gles", 1), 0);
    EXPECT_EQ(vesk_option_int("sound-rate", 22050), 44100);
    EXPECT_EQ(vesk_option_int("glmajor", 3), 3);
    EXPECT_EQ(vesk_option_bool("dsnd", 1), 1);  // "[dsndx:" is another option
    EXPECT_EQ(vesk_option_bool("xinput", 1), 1); // unreadable: default
    EXPECT_EQ(vesk_option_bool("waveout", 0), 0);
    EXPECT_EQ(vesk_option_int("sound-channels", 16), 16);
    vesk_log(nullptr);
    std::string text = read_whole_file(dir.file("opt.log"));
    EXPECT_NE(text.find("unrecognized setting for glmajor\n"), std::string::npos);
    EXPECT_NE(text.find("unrecognized setting for xinput\n"), std::string::npos);
    EXPECT_EQ(text.find("unrecognized setting for dsnd"), std::string::npos);
}

TEST(names, intern_keeps_one_stable_copy)
{
    std::string a = "Left Shift", b = "Left Shift";
    const char* p = vesk_intern(a.c_str());
    EXPECT_EQ(vesk_intern(b.c_str()), p);
    EXPECT_NE(p, a.c_str());
    for (int i = 0; i < 100; i++) vesk_intern(("key " + std::to_string(i)).c_str());
    EXPECT_EQ(vesk_intern("Left Shift"), p);
    EXPECT_NE(vesk_intern("left shift"), p);
}

TEST(names, aliases_first_wins_and_misses_return_the_same_pointer)
{
    EXPECT_EQ(vesk_alias_add("test-throttle", "pad.axis[1]"), 1);
    EXPECT_EQ(vesk_alias_add("test-throttle", "pad.axis[2]"), 0);
    EXPECT_STREQ(vesk_alias_lookup("test-throttle"), "pad.axis[1]");
    const char* name = "no such alias";
    EXPECT_EQ(vesk_alias_lookup(name), name);
}

TEST(names, relaxed_compare)
{
    EXPECT_EQ(vesk_name_compare("left_shift", "Left Shift"), 0);
    EXPECT_EQ(vesk_name_compare("KEYPAD\t+", "keypad_+"), 0);
    EXPECT_LT(vesk_name_compare("a", "b"), 0);
    EXPECT_GT(vesk_name_compare("Shift", "Shif"), 0);
    EXPECT_LT(vesk_name_compare("Shif", "shift"), 0);
    EXPECT_NE(vesk_name_compare("\xc0", "\xe0"), 0); // high bytes are compared, never lowered as negative chars
    // Bytes compare as unsigned, as strcmp orders them: a name holding a byte
    // above 127 sorts after plain letters, and 0xFF is a byte, not EOF.
    const struct {
        const char *a, *b;
    } high[] = {{"\xe9", "a"}, {"caf\xe9", "cafe"}, {"\xff", "\x7f"}, {"x\x80", "x_"}, {"\xff", " "}};
    for (const auto& c : high) {
        EXPECT_GT(vesk_name_compare(c.a, c.b), 0) << c.a << " / " << c.b;
        EXPECT_LT(vesk_name_compare(c.b, c.a), 0) << c.b << " / " << c.a;
        EXPECT_GT(strcmp(c.a, c.b), 0) << "the reference order";
    }
}

TEST(clock, monotonic_and_sleep_returns_at_once_for_nonpositive_totals)
{
    int32_t s0, us0, s1, us1;
    vesk_get_time(&s0, &us0);
    EXPECT_EQ(us0 % 1000, 0);
    EXPECT_GE(us0, 0);
    EXPECT_LT(us0, 1000000);
    vesk_sleep(0, 20000);
    vesk_sleep(-5, 0);
    vesk_sleep(0, -1000000);
    vesk_sleep(1, -1000000);
    vesk_get_time(&s1, &us1);
    int64_t elapsed_us = (int64_t(s1) - s0) * 1000000 + (us1 - us0);
    EXPECT_GE(elapsed_us, 19000); // the one real sleep happened; the others did not hang
}

} // namespace
