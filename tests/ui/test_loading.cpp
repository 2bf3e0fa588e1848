// The loading-screen calls: progress dots, cut texts and the spinner count.
#include <gtest/gtest.h>

#include <string>

#include "core/game_state.h"
#include "platform/vesk_input.h"
#include "platform/vesk_window_record.h"
#include "ui/bindings.h"
#include "ui/loading.h"

namespace {

TEST(loading, progress_dots_cycle_and_texts_are_cut)
{
    loading = loading_state{};
    const char* expected[] = {"Loading heights", "Loading heights.", "Loading heights..", "Loading heights...",
                              "Loading heights"};
    for (const char* e : expected) {
        loading.last_progress_time = -1; // as if 1/8 s had passed
        show_progress("Loading heights");
        EXPECT_STREQ(loading.drawn, e);
    }
    // A call right after a drawing draws nothing.
    show_progress("Loading heights");
    EXPECT_STREQ(loading.drawn, "Loading heights");
    EXPECT_EQ(loading.progress_dots, 1);

    std::string hundred(100, 'h');
    loading.last_progress_time = -1;
    loading.progress_dots = 0;
    show_progress(hundred.c_str());
    EXPECT_EQ(std::string(loading.drawn), hundred.substr(0, 64));
    show_done(hundred.c_str());
    EXPECT_EQ(std::string(loading.drawn), hundred.substr(0, 64) + "...done");
    show_status_restart(hundred.c_str());
    EXPECT_EQ(std::string(loading.status), hundred.substr(0, 79));
    EXPECT_EQ(loading.progress_dots, 0);
}

TEST(loading, every_tick_is_counted)
{
    uint32_t before = loading.tick_count;
    for (int i = 0; i < 100; i++) loading_tick();
    EXPECT_EQ(loading.tick_count - before, 100u);
}

double fake_now;
double fake_clock() { return fake_now; }

struct loading_clock_test : ::testing::Test {
    void SetUp() override
    {
        loading = loading_state{};
        loading_clock = fake_clock;
        fake_now = 100;
    }
    void TearDown() override
    {
        loading_clock = saved;
        game_window = nullptr;
        quit_requested = 0;
    }
    double (*saved)() = loading_clock;
};

TEST_F(loading_clock_test, progress_draws_at_most_every_eighth_of_a_second)
{
    for (int i = 0; i < 10; i++) {
        show_progress("Loading");
        fake_now += 0.01;  // ten calls within 0.1 s
    }
    EXPECT_EQ(loading.progress_dots, 1) << "one drawing";
    fake_now = 100.125;
    show_progress("Loading");
    EXPECT_EQ(loading.progress_dots, 2);
    EXPECT_STREQ(loading.drawn, "Loading.");
}

TEST_F(loading_clock_test, the_slowest_step_is_kept)
{
    show_status("one");
    fake_now += 2;
    show_status("two");
    fake_now += 0.5;
    show_status("three");
    EXPECT_DOUBLE_EQ(loading.slowest_interval, 2);
    EXPECT_STREQ(loading.slowest_status, "one");
}

TEST_F(loading_clock_test, draining_keeps_a_close_request_and_drops_held_controls)
{
    vesk_window* window = vesk_window_record_new("test");
    game_window = window;
    control_binding_list[2].value = 1;
    control_channels[channel_throttle] = 1;
    vesk_push_event(window, 0x1010, 1, 0, 0);
    vesk_push_event(window, vesk_code_close, 1, 0, 0);
    vesk_push_event(window, 0x1011, 1, 0, 0);
    show_status("Loading track");
    uint32_t code;
    int pressed;
    EXPECT_FALSE(vesk_get_event(window, &code, &pressed)) << "every event is drained";
    EXPECT_EQ(quit_requested, 1) << "closing the window during a load still quits";
    EXPECT_EQ(control_binding_list[2].value, 0);
    EXPECT_EQ(control_channels[channel_throttle], 0);

    quit_requested = 0;
    vesk_push_event(window, 0x1012, 1, 0, 0);
    loading_tick();
    EXPECT_FALSE(vesk_get_event(window, &code, &pressed));
    EXPECT_EQ(quit_requested, 0) << "other events don't ask to quit";
    vesk_push_event(window, vesk_code_close, 1, 0, 0);
    loading_tick();
    EXPECT_EQ(quit_requested, 1);
    game_window = nullptr;
    vesk_window_record_free(window);
}

TEST(loading, the_title_keeps_two_to_one)
{
    struct row {
        float w, h;
        float want[4];
    } rows[] = {
        {3, 1, {-3, 1.5f, 3, -1.5f}},  // wider than 2:1: full width
        {1, 0.75f, {-1.5f, 0.75f, 1.5f, -0.75f}},
        {2, 1, {-2, 1, 2, -1}},
    };
    for (const row& r : rows) {
        float got[4];
        loading_title_rect(r.w, r.h, got);
        for (int i = 0; i < 4; i++) EXPECT_FLOAT_EQ(got[i], r.want[i]) << r.w << "x" << r.h << " " << i;
        EXPECT_FLOAT_EQ((got[2] - got[0]) / (got[1] - got[3]), 2);
    }
}

} // namespace
