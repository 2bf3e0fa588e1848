// The message log ring and its echo to the platform log.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/vesk_log.h"
#include "core/game_state.h"
#include "ui/console.h"
#include "ui/widgets.h"
#include "platform/vesk_input.h"
#include <cstring>

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
    static std::string last_line() { return console_recent_line(1, 0); }
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

namespace {

class console_page_test : public console_test {
protected:
    void SetUp() override
    {
        console_test::SetUp();
        console_scroll = 0;
        history_count = 0;
        history_index = 0;
        memset(console_history, 0, sizeof console_history);
        menu_text_set(&chat_line, "");
        last_chat_time = -1e9;
        game_clock = 0;
    }
    static void type(const char* text) { menu_text_set(&chat_line, text); }
};

TEST_F(console_page_test, ring_indices_wrap_below_zero)
{
    struct row {
        int in, out;
    } rows[] = {{0, 0}, {999, 999}, {1000, 0}, {-1, 999}, {-50, 950}, {-1000, 0}, {-1001, 999}, {2345, 345}};
    for (const row& r : rows) EXPECT_EQ(console_ring_index(r.in), r.out) << r.in;
    // Three lines written: the overlay's three newest come from the ring's start.
    for (int i = 0; i < 3; i++) console_printf("n%d", i);
    EXPECT_STREQ(console_recent_line(5, 0), "") << "entry 998 of an unwrapped ring is empty";
    EXPECT_STREQ(console_recent_line(5, 2), "n0");
}

TEST_F(console_page_test, the_page_shows_the_newest_fifty_and_scrolls_back)
{
    for (int i = 0; i < 1234; i++) console_printf("line %d", i);
    for (int row = 0; row < console_page_rows; row++)
        EXPECT_EQ(std::string(console_page_row(row)), "line " + std::to_string(1184 + row)) << row;
    console_scroll_by(2000);
    EXPECT_EQ(console_scroll, 950);
    // Scrolled all the way back: the oldest 49 lines of the full ring, then the marker.
    for (int row = 0; row < 49; row++)
        EXPECT_EQ(std::string(console_page_row(row)), "line " + std::to_string(234 + row)) << row;
    EXPECT_STREQ(console_page_row(49), "^    ^    ^    ^    ^");
    console_scroll_by(-5000);
    EXPECT_EQ(console_scroll, 0);
}

TEST_F(console_page_test, shown_lines_fade_one_by_one)
{
    // Three lines at clock 10: all stay for 2 s, then one goes every 5 s.
    game_clock = 10;
    for (int i = 0; i < 3; i++) console_print("x");
    struct step {
        double clock;
        int shown;
    } timeline[] = {{10.5, 3}, {12.0, 3}, {12.01, 2}, {16.0, 2}, {17.02, 1}, {22.03, 0}, {40, 0}};
    for (const step& s : timeline) {
        console_fade(s.clock);
        EXPECT_EQ(message_log.shown_count, s.shown) << "clock " << s.clock;
    }
    // A new line brings every shown line back for 2 s.
    game_clock = 41;
    console_print("y");
    console_fade(42.9);
    EXPECT_EQ(message_log.shown_count, 1);
    console_fade(43.1);
    EXPECT_EQ(message_log.shown_count, 0);
}

TEST_F(console_page_test, toggles_print_their_new_state)
{
    int32_t setting = 0;
    std::string label(70, 'L');
    console_toggle(label.c_str(), &setting);
    EXPECT_EQ(setting, 1);
    EXPECT_EQ(last_line(), std::string(60, 'L') + " ON");
    setting = 7;
    console_toggle("Spam", &setting);
    EXPECT_EQ(setting, 0);
    EXPECT_EQ(last_line(), "Spam OFF");
}

TEST_F(console_page_test, history_up_on_nothing_stored_keeps_the_line)
{
    type("half typed");
    console_history_browse(+1);
    EXPECT_STREQ(chat_line.text, "half typed");
    EXPECT_EQ(history_index, 0);
    console_history_browse(-1);
    EXPECT_STREQ(chat_line.text, "half typed");
}

TEST_F(console_page_test, history_reaches_every_stored_line_and_the_edit_line)
{
    for (const char* line : {"/one", "/two", "/three"}) {
        type(line);
        console_history_record();
    }
    EXPECT_EQ(history_count, 3);
    EXPECT_STREQ(chat_line.text, "");
    type("draft");
    const char* up[] = {"/three", "/two", "/one", "/one"};
    for (const char* want : up) {
        console_history_browse(+1);
        EXPECT_STREQ(chat_line.text, want);
    }
    const char* down[] = {"/two", "/three", "draft", "draft"};
    for (const char* want : down) {
        console_history_browse(-1);
        EXPECT_STREQ(chat_line.text, want);
    }
    // A hundred more: 99 are kept, newest first.
    for (int i = 0; i < 100; i++) {
        type(("/n" + std::to_string(i)).c_str());
        console_history_record();
    }
    EXPECT_EQ(history_count, 99);
    for (int i = 0; i < 99; i++) console_history_browse(+1);
    EXPECT_STREQ(chat_line.text, "/n1");
}

TEST_F(console_page_test, submitting_commands_and_chat)
{
    type("/nosuchword");
    EXPECT_FALSE(console_submit(5));
    EXPECT_STREQ(chat_line.text, "/nosuchword") << "an unknown command stays in the line";
    EXPECT_EQ(history_count, 0);

    type("/echo hello");
    EXPECT_TRUE(console_submit(5));
    EXPECT_EQ(last_line(), "hello");
    EXPECT_EQ(history_count, 1);

    type("hi all");
    EXPECT_TRUE(console_submit(5));
    EXPECT_EQ(last_line(), "Not connected to server");
    EXPECT_EQ(history_count, 2) << "chat offline is still recorded";
    type("again");
    EXPECT_FALSE(console_submit(6.5));
    EXPECT_EQ(last_line(), "No one likes a spammer");
    EXPECT_STREQ(chat_line.text, "again");
    type("");
    int written = message_log.write_index;
    EXPECT_FALSE(console_submit(6.6));
    EXPECT_EQ(message_log.write_index, written) << "an empty line too soon prints nothing";
    type("later");
    EXPECT_TRUE(console_submit(7.01));
}

TEST_F(console_page_test, page_keys_submit_browse_and_scroll)
{
    auto code = [](const char* name) {
        uint32_t c = 0;
        EXPECT_TRUE(vesk_key_by_name(nullptr, &c, name)) << name;
        return c;
    };
    for (int i = 0; i < 60; i++) console_printf("l%d", i);
    type("/echo first");
    EXPECT_TRUE(console_page_key(code("enter"), 1));
    EXPECT_EQ(last_line(), "first");
    type("/echo second");
    EXPECT_TRUE(console_page_key(code("keypad enter"), 1));
    EXPECT_TRUE(console_page_key(code("up"), 1));
    EXPECT_STREQ(chat_line.text, "/echo second");
    EXPECT_TRUE(console_page_key(code("up"), 1));
    EXPECT_STREQ(chat_line.text, "/echo first");
    EXPECT_TRUE(console_page_key(code("down"), 1));
    EXPECT_STREQ(chat_line.text, "/echo second");
    EXPECT_TRUE(console_page_key(code("page up"), 1));
    EXPECT_TRUE(console_page_key(code("page up"), 1));
    EXPECT_TRUE(console_page_key(code("page down"), 1));
    EXPECT_EQ(console_scroll, 1);
    EXPECT_FALSE(console_page_key(code("a"), 1)) << "typing belongs to the text field";
}

TEST(console_queue, pieces_split_at_semicolons)
{
    std::string long_piece(150, 'c');
    std::string text = "/echo a;hello there;\\quit;" + long_piece + ";;/last";
    const char* queue = text.c_str();
    struct piece {
        console_piece_kind kind;
        std::string text;
    } want[] = {
        {console_piece_command, "/echo a"},
        {console_piece_chat, "hello there"},
        {console_piece_command, "\\quit"},
        {console_piece_chat, long_piece.substr(0, 119)},
        {console_piece_chat, ""},
        {console_piece_command, "/last"},
    };
    char out[256];
    for (const piece& p : want) {
        EXPECT_EQ(console_queue_take(&queue, out, sizeof out), p.kind) << p.text;
        EXPECT_EQ(std::string(out), p.text);
    }
    EXPECT_EQ(queue, nullptr);
    EXPECT_EQ(console_queue_take(&queue, out, sizeof out), console_piece_none);
}

} // namespace
