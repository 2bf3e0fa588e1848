// The message log ring and its echo to the platform log.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/vesk_log.h"
#include "ui/console.h"

namespace {

class console_test : public ::testing::Test {
protected:
    std::string log_path;

    void SetUp() override
    {
        char pattern[] = "/tmp/zt_console_XXXXXX";
        int fd = mkstemp(pattern);
        ASSERT_GE(fd, 0);
        close(fd);
        log_path = pattern;
        vesk_log_reset_for_tests();
        setenv("VESK_LOGFILE", log_path.c_str(), 1);
        console_clear();
        hide_spam = 1;
        message_lines = 5;
    }
    void TearDown() override
    {
        vesk_log(nullptr);
        vesk_log_reset_for_tests();
        unsetenv("VESK_LOGFILE");
        unlink(log_path.c_str());
    }
    std::string log_text()
    {
        std::ifstream in(log_path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

TEST_F(console_test, the_ring_keeps_the_newest_thousand_lines)
{
    for (int i = 0; i < 1000; i++) console_printf("line %d", i);
    EXPECT_EQ(message_log.write_index, 0);
    EXPECT_STREQ(message_log.lines[0], "line 0");
    console_print("line 1000");
    EXPECT_STREQ(message_log.lines[0], "line 1000") << "the 1001st line replaces line 0";
    EXPECT_EQ(message_log.write_index, 1);
    for (int k = 0; k < 50; k++)
        EXPECT_EQ(std::string(console_recent_line(50, k)), "line " + std::to_string(951 + k));
}

TEST_F(console_test, lines_are_cut_and_echoed)
{
    std::string long_text(300, 'w');
    console_print(long_text.c_str());
    EXPECT_EQ(std::string(console_recent_line(1, 0)), long_text.substr(0, 255));
    console_print("ends with newline\n");
    console_print("\033[31mred");
    std::string log = log_text();
    EXPECT_NE(log.find(long_text + "\n"), std::string::npos) << "the log gets the whole text";
    EXPECT_NE(log.find("ends with newline\n["), std::string::npos) << "no second line break";
    EXPECT_NE(log.find("\033[31mred\033[0m\n"), std::string::npos) << "an escape is reset";
}

TEST_F(console_test, spam_is_dropped_while_hidden)
{
    console_print("[SPAM] Setup change abc");
    EXPECT_EQ(message_log.write_index, 0);
    EXPECT_EQ(log_text().find("Setup change"), std::string::npos);
    hide_spam = 0;
    console_print("[SPAM] Setup change abc");
    EXPECT_EQ(message_log.write_index, 1);
    EXPECT_NE(log_text().find("Setup change"), std::string::npos);
}

TEST_F(console_test, shown_lines_grow_up_to_the_setting)
{
    for (int i = 0; i < 3; i++) console_print("x");
    EXPECT_EQ(message_log.shown_count, 3);
    message_lines = 2;
    console_print("y");
    EXPECT_EQ(message_log.shown_count, 3) << "lowering the setting drops nothing at once";
    message_lines = 5;
    for (int i = 0; i < 5; i++) console_print("z");
    EXPECT_EQ(message_log.shown_count, 5);
}

} // namespace
