// Frame pacing over a fake clock and the platform's event ring: tics per
// frame at common frame rates, the stall cap, lock-fps and warp, the online
// speed factor, and which tic an input event lands in.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "game/pacing.h"
#include "platform/vesk_window_record.h"

namespace {

struct fake_clock {
    double t = 100.0;
    double slept = 0;
    static double now(void* c) { return static_cast<fake_clock*>(c)->t; }
    static void sleep(void* c, double s)
    {
        auto* f = static_cast<fake_clock*>(c);
        f->t += s;
        f->slept += s;
    }
    pacing_clock clock() { return pacing_clock{now, sleep, this}; }
};

// One frame that took `cost` seconds before pacing: its tic count.
int frame(pacing_state& p, fake_clock& f, const pacing_rules& rules, double cost)
{
    f.t += cost;
    pacing_frame(&p, rules, f.clock(), nullptr);
    int tics = 0;
    double limit;
    while (pacing_next_tic(&p, f.t, &limit)) tics++;
    pacing_frame_end(&p, f.t);
    return tics;
}

TEST(pacing, thirty_frames_a_second_run_four_or_five_tics_in_real_time)
{
    fake_clock f;
    pacing_state p;
    pacing_begin(&p, f.t);
    pacing_rules rules{};
    int total = 0;
    for (int i = 0; i < 300; i++) {
        int n = frame(p, f, rules, 1.0 / 30.0);
        // 128 / 30 = 4.27 tics a frame.
        EXPECT_TRUE(n == 4 || n == 5) << "frame " << i << ": " << n;
        total += n;
    }
    // Ten seconds of frames are 1280 tics, give or take the one tic the last
    // frame may run ahead.
    EXPECT_NEAR(total, 1280, 1);
    EXPECT_EQ(f.slept, 0.0) << "frames longer than a tic never sleep";
}

TEST(pacing, a_stall_costs_at_most_sixteen_tics)
{
    fake_clock f;
    pacing_state p;
    pacing_begin(&p, f.t);
    pacing_rules rules{};
    frame(p, f, rules, 1.0 / 60.0);
    EXPECT_EQ(frame(p, f, rules, 1.0), 16);
    EXPECT_EQ(p.frame_histogram[7], 1u) << "a 1-s frame is longer than 64 tics";
    EXPECT_DOUBLE_EQ(p.longest_step, 0.125);
}

TEST(pacing, short_frames_sleep_out_the_tic)
{
    fake_clock f;
    pacing_state p;
    pacing_begin(&p, f.t);
    pacing_rules rules{};
    for (int i = 0; i < 10; i++) EXPECT_EQ(frame(p, f, rules, 0.001), 1);
    EXPECT_NEAR(f.slept, 10 * (1.0 / 128 - 0.001), 1e-9);
}

TEST(pacing, lock_fps_and_warp_fix_the_step)
{
    fake_clock f;
    pacing_state p;
    pacing_begin(&p, f.t);
    pacing_rules locked{};
    locked.lock_fps = 32;
    for (int i = 0; i < 8; i++) EXPECT_EQ(frame(p, f, locked, 0.01), 4) << "128 / 32";
    // The frame is slept out to its period: 8 frames of 1/32 s.
    EXPECT_NEAR(f.t - 100.0, 8.0 / 32.0, 1e-9);
    pacing_rules warp{};
    warp.warp = 1;
    EXPECT_EQ(frame(p, f, warp, 0.5), 100);
    // Online neither applies: the server's clock rules.
    pacing_rules online{};
    online.online = 1;
    online.warp = 1;
    online.lock_fps = 32;
    online.server_tic = 1;  // d = 0: level with the server
    EXPECT_EQ(frame(p, f, online, 1.0 / 64), 2);
}

TEST(pacing, the_clock_crossing_a_signed_millisecond_count_changes_nothing)
{
    fake_clock f;
    f.t = 2147483.647 - 0.02;  // 2^31 ms, where a signed count would wrap
    pacing_state p;
    pacing_begin(&p, f.t);
    pacing_rules rules{};
    int total = 0;
    for (int i = 0; i < 4; i++) total += frame(p, f, rules, 1.0 / 64);
    EXPECT_EQ(total, 8);
}

TEST(pacing, online_speed_follows_the_server)
{
    struct row {
        int32_t server, current, gate_drop;
        double scale;
    } rows[] = {
        {65, 0, 1000, 2.5},      // 0.5 s behind before the gate drop: 1 + 3 x 0.5
        {1065, 1000, 0, 1.125},  // 0.5 s behind after it: 1 + 0.125 x min(8 x 0.5, 1)
        {1, 0, 1000, 1.0},       // level
        {-63, 0, 1000, 0.75},    // 0.5 s ahead: (0.5 + 1) x 0.5
        {-1000, 0, 1000, 0.5},   // far ahead: half speed at the least
        {10000, 0, 1000, 4.0},   // far behind before the drop: 4 times at most
    };
    for (const row& r : rows)
        EXPECT_NEAR(pacing_online_scale(r.server, r.current, r.gate_drop), r.scale, 1e-6)
            << r.server << " vs " << r.current;
    fake_clock f;
    pacing_state p;
    pacing_begin(&p, f.t);
    pacing_rules online{};
    online.online = 1;
    online.server_tic = 65;
    online.gate_drop_tic = 1000;
    f.t += 1.0 / 32;
    EXPECT_DOUBLE_EQ(pacing_frame(&p, online, f.clock(), nullptr), 2.5 / 32);
}

TEST(pacing, frame_histogram_bins)
{
    const double t = 1.0 / 128;
    struct {
        double e;
        int bin;
    } rows[] = {{0, 0}, {0.99 * t, 0}, {t, 1}, {1.99 * t, 1}, {2 * t, 2}, {5 * t, 3}, {15 * t, 4},
                {31 * t, 5}, {63 * t, 6}, {64 * t, 7}, {1000 * t, 7}};
    for (auto& r : rows) EXPECT_EQ(pacing_histogram_bin(r.e), r.bin) << r.e / t << " tics";
}

// Takes every event of the ring stamped at or before a clock time.
std::vector<uint32_t> take_until(vesk_event_ring& ring, double limit)
{
    auto ms = int64_t(std::floor(limit * 1000.0 + 1e-6));
    std::vector<uint32_t> codes;
    uint32_t code;
    int pressed;
    while (vesk_ring_pop(&ring, &code, &pressed, true, int32_t(ms / 1000), int32_t(ms % 1000) * 1000))
        codes.push_back(code);
    return codes;
}

TEST(pacing, an_event_between_two_tics_lands_in_the_later_one)
{
    fake_clock f;
    f.t = 10.0;
    pacing_state p;
    pacing_begin(&p, f.t);
    pacing_rules rules{};
    // A frame of exactly two tics (15.625 ms) ends at 10.015625 s.
    f.t += 2.0 / 128;
    pacing_frame(&p, rules, f.clock(), nullptr);
    vesk_event_ring ring{};
    vesk_ring_push(&ring, 0x1001, 1, 10, 5000);   // before the first tic's time (7.8 ms)
    vesk_ring_push(&ring, 0x1002, 1, 10, 12000);  // between the two tics
    double limit;
    ASSERT_TRUE(pacing_next_tic(&p, f.t, &limit));
    EXPECT_NEAR(limit, 10.0 + 1.0 / 128, 1e-9);
    EXPECT_EQ(take_until(ring, limit), std::vector<uint32_t>{0x1001});
    ASSERT_TRUE(pacing_next_tic(&p, f.t, &limit));
    EXPECT_EQ(take_until(ring, limit), std::vector<uint32_t>{0x1002});
    EXPECT_FALSE(pacing_next_tic(&p, f.t, &limit));
}

}  // namespace
