// The event ring and the timed event queries, on a window record without a
// native window.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/vesk_window_record.h"

namespace {

struct events : ::testing::Test {
    vesk_window* window = vesk_window_record_new("test");
    ~events() override { vesk_window_record_free(window); }
};

TEST_F(events, ring_keeps_256_in_order_and_drops_the_257th)
{
    for (uint32_t i = 0; i < 257; i++) vesk_push_event(window, 0x1000 + i, 1, 10, int32_t(i));
    uint32_t code;
    int pressed;
    for (uint32_t i = 0; i < 256; i++) {
        ASSERT_EQ(vesk_get_event(window, &code, &pressed), 1);
        EXPECT_EQ(code, 0x1000 + i);
        EXPECT_EQ(pressed, 1);
    }
    EXPECT_EQ(vesk_get_event(window, &code, &pressed), 0);
}

TEST_F(events, ring_wraps_after_partial_drains)
{
    uint32_t code;
    int pressed;
    uint32_t next_in = 0, next_out = 0;
    for (int round = 0; round < 5; round++) {
        for (int i = 0; i < 200; i++) vesk_push_event(window, 0x2000000 + next_in++, 1, 0, 0);
        for (int i = 0; i < 200; i++) {
            ASSERT_EQ(vesk_get_event(window, &code, &pressed), 1);
            ASSERT_EQ(code, 0x2000000 + next_out++);
        }
    }
}

TEST_F(events, release_keeps_code_and_reports_not_pressed)
{
    vesk_push_event(window, 0x102A, 1, 1, 0);
    vesk_push_event(window, 0x102A, 0, 1, 5000);
    uint32_t code;
    int pressed;
    ASSERT_EQ(vesk_get_event(window, &code, &pressed), 1);
    EXPECT_EQ(code, 0x102Au);
    EXPECT_EQ(pressed, 1);
    ASSERT_EQ(vesk_get_event(window, &code, &pressed), 1);
    EXPECT_EQ(code, 0x102Au);
    EXPECT_EQ(pressed, 0);
}

TEST_F(events, until_takes_equal_stamps_and_holds_later_ones)
{
    vesk_push_event(window, 0x1001, 1, 100, 500000);
    uint32_t code;
    int pressed;
    EXPECT_EQ(vesk_get_event_until(window, &code, &pressed, 100, 499999), 0);
    EXPECT_EQ(vesk_get_event_until(window, &code, &pressed, 99, 999999), 0);
    ASSERT_EQ(vesk_get_event_until(window, &code, &pressed, 100, 500000), 1);
    EXPECT_EQ(code, 0x1001u);
    // Seconds are compared before microseconds.
    vesk_push_event(window, 0x1002, 1, 100, 900000);
    EXPECT_EQ(vesk_get_event_until(window, &code, &pressed, 101, 0), 1);
}

TEST_F(events, later_head_holds_back_earlier_events_behind_it)
{
    vesk_push_event(window, 0x1003, 1, 50, 0);
    vesk_push_event(window, 0x1004, 1, 10, 0);
    uint32_t code;
    int pressed;
    EXPECT_EQ(vesk_get_event_until(window, &code, &pressed, 20, 0), 0);
    ASSERT_EQ(vesk_get_event(window, &code, &pressed), 1);
    EXPECT_EQ(code, 0x1003u);
    ASSERT_EQ(vesk_get_event_until(window, &code, &pressed, 20, 0), 1);
    EXPECT_EQ(code, 0x1004u);
}

TEST(events_without_window, report_nothing)
{
    uint32_t code = 7;
    int pressed = 7;
    EXPECT_EQ(vesk_get_event(nullptr, &code, &pressed), 0);
    EXPECT_EQ(vesk_get_event_until(nullptr, &code, &pressed, 0, 0), 0);
}

}  // namespace

namespace {

TEST(sleep, overshoot_is_never_negative_and_zero_without_a_sleep)
{
    EXPECT_EQ(vesk_sleep(-5, 0), 0.0);
    EXPECT_EQ(vesk_sleep(0, 0), 0.0);
    EXPECT_EQ(vesk_sleep(-1, 999999), 0.0);  // a total of -1 µs
}

// Lower bounds only, which no load on the machine can break: a sleep never
// ends early, so the clock read around it has moved on by at least the
// duration plus the overshoot the sleep reports (both readings enclose the
// sleep's own), and the millisecond platform clock by at least the whole
// milliseconds of the duration.
TEST(sleep, lasts_at_least_its_duration_and_reports_what_came_after)
{
    const struct {
        int32_t seconds, microseconds;
    } cases[] = {{0, 1}, {0, 1000}, {0, 2500}, {1, -995000}};
    for (const auto& c : cases) {
        double duration = c.seconds + c.microseconds * 1e-6;
        uint64_t ms_before = vesk_time_ms();
        auto before = std::chrono::steady_clock::now();
        double overshoot = vesk_sleep(c.seconds, c.microseconds);
        auto after = std::chrono::steady_clock::now();
        uint64_t ms_after = vesk_time_ms();
        double elapsed = std::chrono::duration<double>(after - before).count();
        EXPECT_GE(overshoot, 0.0) << duration;
        EXPECT_GE(elapsed + 1e-9, duration + overshoot) << duration;
        EXPECT_GE(ms_after - ms_before, uint64_t(duration * 1000)) << duration;
    }
}

}  // namespace
