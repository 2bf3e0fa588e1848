// Wheel ruts: the strip codec, the receiver, the queue and its drain, the
// trackers, and digging and depositing.
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/game_state.h"
#include "net/erode_send.h"
#include "support_terrain.h"
#include "terrain/erode.h"
#include "terrain/heightfield.h"
#include "terrain/surfaces.h"

namespace {

std::vector<std::vector<uint8_t>> sent;
void capture_send(const uint8_t* message, int32_t length) { sent.emplace_back(message, message + length); }

struct erode_test : ::testing::Test {
    terrain_test_env env;
    terrain* t = &track_terrain;
    void SetUp() override
    {
        load_hf(t, make_hf(5, 2.0f, 0.0f, 100.0f, [](int, int) { return 32768; }));
        surfaces_ensure_tile(t);
        tilemap_read(t, nullptr, 0);
        erode_queue_reset();
        tic_counter = 0;
        sent.clear();
        erode_send_online = nullptr;
    }
    void TearDown() override
    {
        erode_send_online = nullptr;
        erode_queue_reset();
        tic_counter = 0;
    }
    double height_sum() const
    {
        double sum = 0;
        for (int k = 0; k < t->size * t->size; k++) sum += t->heights[k];
        return sum;
    }
    // A message of n points with the given rut codes at every point.
    static std::vector<uint8_t> message(int n, uint8_t rut_x_code, uint8_t rut_z_code)
    {
        std::vector<uint8_t> m(n == 1 ? 17 : 4 * n + 13, 0);
        m[0] = 1;
        for (int k = 0; k < 4; k++) m[1 + 2 * k] = 0x00, m[2 + 2 * k] = 0x80;  // bounds around 0
        m[9 + 2] = 0x40, m[12 + 2] = 0x40;  // point 0 a quarter of the way in
        for (int i = 0; i < n; i++) {
            uint8_t* p = i == 0 ? &m[15] : &m[17 + 4 * (i - 1) + 2];
            p[0] = uint8_t(rut_x_code << 2 | 1);
            p[1] = uint8_t(rut_z_code << 2);
        }
        return m;
    }
};

TEST_F(erode_test, strip_codec_round_trips_within_its_quanta)
{
    std::mt19937 gen(1234);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    for (int trial = 0; trial < 400; trial++) {
        int n = 1 + int(gen() % 64);
        erode_point points[64];
        float x = 10.0f + 108.0f * (unit(gen) + 1.0f) / 2.0f, z = 10.0f + 108.0f * (unit(gen) + 1.0f) / 2.0f;
        float bounds[4] = {0, 0, 0, 0};
        for (int i = 0; i < n; i++) {
            if (i > 0) {
                float dx = 32.0f * unit(gen), dz = 32.0f * unit(gen);
                x += dx, z += dz;
                if (i == 1) bounds[0] = bounds[2] = dx, bounds[1] = bounds[3] = dz;
                bounds[0] = fminf(bounds[0], dx), bounds[2] = fmaxf(bounds[2], dx);
                bounds[1] = fminf(bounds[1], dz), bounds[3] = fmaxf(bounds[3], dz);
            }
            points[i] = {x, z, unit(gen), unit(gen), 1 + int(gen() % 15)};
        }
        uint8_t bytes[erode_strip_max_bytes];
        int32_t length = erode_strip_pack(points, n, bounds, t->extent, bytes);
        ASSERT_EQ(length, n == 1 ? 17 : 17 + 4 * (n - 1));
        erode_point back[64];
        ASSERT_EQ(erode_strip_unpack(bytes, length, t->extent, back), n);
        float range_x = bounds[2] - bounds[0] + 0.25f, range_z = bounds[3] - bounds[1] + 0.25f;
        float tolerance_x = range_x / 255.0f + t->extent / 16777215.0f + 1e-3f;
        float tolerance_z = range_z / 255.0f + t->extent / 16777215.0f + 1e-3f;
        for (int i = 0; i < n; i++) {
            // The error stays within one step quantum, however long the strip.
            ASSERT_NEAR(back[i].x, points[i].x, tolerance_x) << trial << ":" << i;
            ASSERT_NEAR(back[i].z, points[i].z, tolerance_z) << trial << ":" << i;
            ASSERT_LE(back[i].rut_x, points[i].rut_x + 1e-6f);
            ASSERT_GT(back[i].rut_x, points[i].rut_x - 1.0f / 32.0f - 1e-6f);
            ASSERT_LE(back[i].rut_z, points[i].rut_z + 1e-6f);
            ASSERT_GT(back[i].rut_z, points[i].rut_z - 1.0f / 32.0f - 1e-6f);
            ASSERT_EQ(back[i].weight, points[i].weight);
        }
    }
}

TEST_F(erode_test, packed_header_fields_are_byte_exact)
{
    erode_point p[2] = {{32.0f, 96.0f, 1.0f, -1.0f, 13}, {33.0f, 95.5f, 0.0f, 0.5f, 6}};
    float bounds[4] = {1.0f, -0.5f, 1.0f, -0.5f};
    uint8_t m[erode_strip_max_bytes];
    ASSERT_EQ(erode_strip_pack(p, 2, bounds, 128.0f, m), 21);
    EXPECT_EQ(m[0], 1);
    // min 1 - 0.0625: floor((0.9375 + 1024) * 65535 / 2048 + 0.5) = 32797
    EXPECT_EQ(m[1] | m[2] << 8, 32797);
    // max 1 + 0.0625: floor(1025.0625 * 65535 / 2048 + 0.5) = 32801
    EXPECT_EQ(m[5] | m[6] << 8, 32801);
    // x of point 0: a quarter of the extent; z three quarters.
    EXPECT_EQ(m[9] | m[10] << 8 | m[11] << 16, 4194304);
    EXPECT_EQ(m[12] | m[13] << 8 | m[14] << 16, 12582911);
    EXPECT_EQ(m[15], (13 & 3) | 63 << 2);  // rut x 1.0 codes 63
    EXPECT_EQ(m[16], (13 >> 2) | 0 << 2);  // rut z -1.0 codes 0
    EXPECT_EQ(m[19], (6 & 3) | 32 << 2);
    EXPECT_EQ(m[20], (6 >> 2) | 48 << 2);
}

TEST_F(erode_test, receiver_length_table)
{
    struct row {
        int length;
        int points;
    };
    const row rows[] = {{0, 0}, {16, 0}, {17, 1}, {18, 1}, {20, 1}, {21, 2}, {265, 63}, {269, 64}, {270, 0}, {300, 0}};
    std::vector<uint8_t> big = message(64, 60, 10);
    big.resize(400, 0);
    for (const row& r : rows) {
        erode_point points[64];
        EXPECT_EQ(erode_strip_unpack(big.data(), r.length, t->extent, points), r.points) << r.length;
        erode_queue_reset();
        erode_message_receive(big.data(), r.length);
        EXPECT_EQ(erode_queue.count, r.points) << r.length;
    }
    big[0] = 2;
    erode_queue_reset();
    erode_message_receive(big.data(), 269);
    EXPECT_EQ(erode_queue.count, 0);
    erode_message_receive(nullptr, 17);
    EXPECT_EQ(erode_queue.count, 0);
}

TEST_F(erode_test, receiver_drops_zero_rut_vectors)
{
    std::vector<uint8_t> zero = message(3, 32, 32);
    erode_message_receive(zero.data(), int32_t(zero.size()));
    EXPECT_EQ(erode_queue.count, 0);
    std::vector<uint8_t> small = message(3, 33, 32);  // 1/32 long: kept
    erode_message_receive(small.data(), int32_t(small.size()));
    EXPECT_EQ(erode_queue.count, 3);
}

TEST_F(erode_test, full_queue_drops_points_and_reports_once)
{
    std::vector<uint8_t> m = message(64, 63, 63);
    for (int k = 0; k < erode_queue_capacity / 64; k++) erode_message_receive(m.data(), int32_t(m.size()));
    EXPECT_EQ(erode_queue.count, erode_queue_capacity);
    EXPECT_EQ(env.count_containing("Erode queue full!"), 0);
    erode_queue.full_reported = 0;
    erode_message_receive(m.data(), 17);
    erode_message_receive(m.data(), int32_t(m.size()));
    EXPECT_EQ(erode_queue.count, erode_queue_capacity);
    EXPECT_EQ(env.count_containing("Erode queue full!"), 1);
}

TEST_F(erode_test, drain_budget_grows_with_the_backlog)
{
    const int table[][2] = {{0, 4}, {511, 4}, {512, 5}, {8192, 20}, {8256, 21}, {131072, 2180}};
    for (const auto& row : table) EXPECT_EQ(erode_queue_budget(row[0]), row[1]) << row[0];
    std::vector<uint8_t> m = message(64, 63, 32);
    for (int k = 0; k < 8; k++) erode_message_receive(m.data(), int32_t(m.size()));
    ASSERT_EQ(erode_queue.count, 512);
    erode_queue_apply(nullptr, 50.0f);
    EXPECT_EQ(erode_queue.count, 512 - 5);
}

TEST_F(erode_test, points_near_the_viewer_wait_at_most_256_tics)
{
    std::vector<uint8_t> m = message(4, 63, 32);
    erode_message_receive(m.data(), int32_t(m.size()));
    float viewer[3] = {erode_queue.points[0].x + 3.0f, 0.0f, erode_queue.points[0].z};
    tic_counter = 1000;
    erode_queue_apply(viewer, 50.0f);
    EXPECT_EQ(erode_queue.count, 4);
    EXPECT_EQ(erode_queue.defer_until, 1256);
    tic_counter = 1256;
    erode_queue_apply(viewer, 50.0f);
    EXPECT_EQ(erode_queue.count, 4);
    tic_counter = 1257;
    erode_queue_apply(viewer, 50.0f);
    EXPECT_EQ(erode_queue.count, 0);
    EXPECT_EQ(erode_queue.defer_until, erode_no_deadline);
    // A backlog over 8192 points never waits for the viewer.
    std::vector<uint8_t> big = message(64, 63, 32);
    for (int k = 0; k < 129; k++) erode_message_receive(big.data(), int32_t(big.size()));
    erode_queue_apply(viewer, 50.0f);
    EXPECT_EQ(erode_queue.count, 129 * 64 - erode_queue_budget(129 * 64));
}

TEST_F(erode_test, dig_and_deposit_conserve_volume_and_respect_the_lock)
{
    double before = height_sum();
    float dug = terrain_dig(t, 64.0f, 64.0f, 4.0f, -0.5f);
    EXPECT_LT(dug, 0.0f);
    EXPECT_NEAR(height_sum() - before, dug, 1e-3);
    EXPECT_EQ(t->change_flags, 7);
    EXPECT_EQ(t->change_counter, 1);
    EXPECT_EQ(t->dirty_blocks[0], 1);
    terrain_deposit(t, 70.0f, 64.0f, 4.0f, -dug);
    EXPECT_NEAR(height_sum(), before, 1e-3);
    // A disc smaller than a cell deposits all of its amount too.
    terrain_deposit(t, 64.3f, 64.3f, 1.0f, 0.25f);
    EXPECT_NEAR(height_sum() - before, 0.25, 1e-3);

    // Samples beyond the grid count in the sum but change nothing.
    before = height_sum();
    float edge = terrain_dig(t, 0.0f, 0.0f, 4.0f, -0.5f);
    EXPECT_FLOAT_EQ(edge, dug);
    EXPECT_GT(height_sum() - before, dug * 0.75);
    EXPECT_LT(height_sum() - before, 0.0);

    // Locked ground reports the sum and stays as it is.
    before = height_sum();
    int counter = t->change_counter;
    t->deform_lock = 1;
    EXPECT_FLOAT_EQ(terrain_dig(t, 64.0f, 64.0f, 4.0f, -0.5f), dug);
    terrain_deposit(t, 64.0f, 64.0f, 4.0f, 1.0f);
    EXPECT_EQ(height_sum(), before);
    EXPECT_EQ(t->change_counter, counter);
    t->deform_lock = 0;

    // No radius, no amount or no number: nothing happens.
    EXPECT_EQ(terrain_dig(t, 64.0f, 64.0f, 0.0f, -1.0f), 0.0f);
    EXPECT_EQ(terrain_dig(t, 64.0f, 64.0f, 4.0f, 0.0f), 0.0f);
    EXPECT_EQ(terrain_dig(t, NAN, 64.0f, 4.0f, -1.0f), 0.0f);
    terrain_deposit(t, 64.0f, 64.0f, 0.0f, 1.0f);
    terrain_deposit(t, 64.0f, 64.0f, NAN, 1.0f);
    EXPECT_EQ(height_sum(), before);
}

// A surface file may give an erode radius far wider than any wheel; the disc
// is held to 256 cells, so one dig costs at most some 200 000 samples.
TEST_F(erode_test, a_dig_wider_than_256_cells_is_held_to_256)
{
    load_hf(t, make_hf(5, 1.0f, 0.0f, 100.0f, [](int, int) { return 32768; }));  // one-foot cells
    const float amount = -1.0f, held = 256.0f;
    float centre = t->heights[32 * t->size + 32], edge = t->heights[32 * t->size + 64];
    float sum = terrain_dig(t, 32.0f, 32.0f, 400.0f, amount);
    // The falloff 1 - 3t^2 + 2t^3 over a disc of radius R integrates to
    // 2 pi R^2 (1/2 - 3/4 + 2/5) = 0.3 pi R^2; the lattice sum of this smooth
    // bump matches it closely, and the float sum of 200 000 terms is good to
    // about 1e-3, so 1 % tells 256 cells (61 764) from 400 (150 796).
    const double volume = 0.3 * M_PI * held * held;
    EXPECT_NEAR(sum, amount * volume, 0.01 * volume);
    // Sample 32 cells east lies at t = 32 / 256 = 1/8 of the held disc.
    const float t8 = 1.0f / 8.0f;
    EXPECT_NEAR(t->heights[32 * t->size + 64] - edge, amount * (1 - 3 * t8 * t8 + 2 * t8 * t8 * t8), 1e-4f);
    EXPECT_NEAR(t->heights[32 * t->size + 32] - centre, amount, 1e-4f);
}

TEST_F(erode_test, a_shortest_rut_digs_and_deposits_on_the_spot)
{
    // A rut vector of length 0.125 has no displacement: the volume stays.
    erode_point p = {64.0f, 64.0f, 0.125f, 0.0f, 4};
    float none[4] = {0, 0, 0, 0};
    uint8_t m[erode_strip_max_bytes];
    int32_t length = erode_strip_pack(&p, 1, none, t->extent, m);
    erode_message_receive(m, length);
    ASSERT_EQ(erode_queue.count, 1);
    double before = height_sum();
    float centre = t->heights[32 * t->size + 32];
    erode_queue_apply(nullptr, 100.0f);
    EXPECT_EQ(erode_queue.count, 0);
    EXPECT_NE(t->heights[32 * t->size + 32], centre);
    EXPECT_NEAR(height_sum(), before, 1e-3);
}

// One point of weight 4 at (64, 64) rutting along +x, drained at rate 100.
void drain_one_point(terrain* t)
{
    erode_point p = {64.0f, 64.0f, 1.0f, 0.0f, 4};
    float none[4] = {0, 0, 0, 0};
    uint8_t m[erode_strip_max_bytes];
    erode_message_receive(m, erode_strip_pack(&p, 1, none, t->extent, m));
    ASSERT_EQ(erode_queue.count, 1);
    erode_queue_apply(nullptr, 100.0f);
    EXPECT_EQ(erode_queue.count, 0);
}

TEST_F(erode_test, dig_scale_follows_the_erode_limit_rows_by_depth_below_pristine)
{
    const std::string surface = "erode_displacement 20\nerode_inner_depth 0\nerode_limit 0 1 1\nerode_limit 1 3 1\naddtile\n";
    tileinfo_parse(t, surface.data(), surface.size());
    const float rate_share = 100.0f / 2048.0f, weight = 4.0f;
    struct row {
        float below_pristine, scale;
    };
    const row rows[] = {{-1.0f, 1.0f}, {0.0f, 1.0f}, {0.5f, 2.0f}, {0.75f, 2.5f}, {2.0f, 3.0f}};
    const int centre = 32 * t->size + 32;
    for (const row& r : rows) {
        for (int k = 0; k < t->size * t->size; k++) t->heights[k] = t->pristine_heights[k] - r.below_pristine;
        float before = t->heights[centre];
        drain_one_point(t);
        // The deposit lands 19 feet away, beyond the dig's 4-foot radius.
        EXPECT_NEAR(t->heights[centre] - before, -weight * rate_share * r.scale, 1e-4f) << r.below_pristine;
    }
}

TEST_F(erode_test, points_outside_the_slope_window_change_nothing)
{
    const std::string surface = "erode_displacement 20\naddtile\n";
    tileinfo_parse(t, surface.data(), surface.size());
    // The ground behind the rut (toward -x) rises one foot per foot: far
    // steeper than the window's 0.5.
    for (int j = 0; j < t->size; j++)
        for (int i = 0; i < t->size; i++) t->heights[j * t->size + i] = 100.0f - 2.0f * float(i);
    double before = height_sum();
    int counter = t->change_counter;
    drain_one_point(t);
    EXPECT_EQ(height_sum(), before);
    EXPECT_EQ(t->change_counter, counter);
}

// Contact of a wheel rolling over flat ground with a strong sideways push.
wheel_rut_input rolling(float x, float z, float vx, float vz)
{
    wheel_rut_input c = {};
    c.depth = 0.1f;
    c.point[0] = x, c.point[2] = z;
    c.force[0] = 300.0f, c.force[1] = 500.0f;
    c.body_velocity[0] = vx, c.body_velocity[2] = vz;
    return c;
}

TEST_F(erode_test, tracker_builds_strips_of_at_most_64_points)
{
    erode_send_online = capture_send;
    rut_tracker tracker = {};
    erode_wheel_reset(&tracker);
    // One unit per tic closes a point every tic.
    for (int k = 0; k < 70; k++, tic_counter++) {
        wheel_rut_input c = rolling(10.0f + 1.0f * float(k), 20.0f, 20.0f, 0.0f);
        erode_wheel_step(&tracker, &c, 0);
    }
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].size(), 269u);
    erode_point back[64];
    ASSERT_EQ(erode_strip_unpack(sent[0].data(), 269, t->extent, back), 64);
    EXPECT_NEAR(back[1].x - back[0].x, 1.0f, 0.01f);
    EXPECT_NEAR(back[0].rut_x, 0.96875f, 1e-6f);  // full length, along +x
    // Lifting the wheel flushes the rest after 64 idle tics.
    wheel_rut_input air = {};
    for (int k = 0; k < 66; k++, tic_counter++) erode_wheel_step(&tracker, &air, 0);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(tracker.point_count, 0);
}

TEST_F(erode_test, creeping_wheel_closes_points_at_15_samples)
{
    erode_send_online = capture_send;
    rut_tracker tracker = {};
    for (int k = 0; k < 200; k++, tic_counter++) {
        wheel_rut_input c = rolling(30.0f + 0.01f * float(k), 30.0f, 20.0f, 0.0f);
        erode_wheel_step(&tracker, &c, 1);
    }
    wheel_rut_input air = {};
    for (int k = 0; k < 70; k++, tic_counter++) erode_wheel_step(&tracker, &air, 1);
    ASSERT_EQ(sent.size(), 1u);
    erode_point back[64];
    int n = erode_strip_unpack(sent[0].data(), int32_t(sent[0].size()), t->extent, back);
    ASSERT_GE(n, 13);
    for (int i = 0; i + 1 < n; i++) EXPECT_EQ(back[i].weight, 15) << i;
}

TEST_F(erode_test, a_jump_wider_than_64_starts_a_new_strip)
{
    erode_send_online = capture_send;
    rut_tracker tracker = {};
    const float xs[] = {10, 11, 12, 13, 14, 100, 101, 102};
    for (float x : xs) {
        wheel_rut_input c = rolling(x, 50.0f, 20.0f, 0.0f);
        erode_wheel_step(&tracker, &c, 0);
        tic_counter++;
    }
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].size(), 17u + 4 * 4);  // points 10..14; 100 opens the next strip
    EXPECT_EQ(tracker.point_count, 2);
}

// A step bound travels as q x 2048 / 65535 - 1024, so no step longer than
// 1024 ft fits in a strip: a wheel that lands that far from its last point
// (a rider put back along the track) starts a new strip, and every point
// reaches the receiver where the wheel made it.
TEST_F(erode_test, a_step_beyond_the_codable_1024_ft_starts_a_new_strip)
{
    load_hf(t, make_hf(5, 64.0f, 0.0f, 100.0f, [](int, int) { return 32768; }));  // 4096 ft a side
    surfaces_ensure_tile(t);
    tilemap_read(t, nullptr, 0);
    erode_send_online = capture_send;
    struct row {
        const char* what;
        float from[2], to[2];
    };
    const row rows[] = {{"+x", {100, 300}, {1600, 300}},
                        {"-z", {300, 2000}, {300, 500}},
                        {"both", {3500, 3500}, {2300, 2300}}};
    for (const row& r : rows) {
        sent.clear();
        rut_tracker tracker = {};
        // One sample at the first place closes a point there when the wheel
        // lands far away; the next, one foot on, closes the far point.
        const float path[][2] = {{r.from[0], r.from[1]}, {r.to[0], r.to[1]}, {r.to[0] + 1, r.to[1]}, {r.to[0] + 2, r.to[1]}};
        for (const auto& p : path) {
            wheel_rut_input c = rolling(p[0], p[1], 20.0f, 0.0f);
            erode_wheel_step(&tracker, &c, 0);
            tic_counter++;
        }
        wheel_rut_input air = {};
        for (int k = 0; k < 70; k++, tic_counter++) erode_wheel_step(&tracker, &air, 0);
        ASSERT_EQ(sent.size(), 2u) << r.what;
        EXPECT_EQ(sent[0].size(), 17u) << r.what;
        std::vector<erode_point> back;
        for (const auto& m : sent) {
            erode_point points[64];
            int n = erode_strip_unpack(m.data(), int32_t(m.size()), t->extent, points);
            back.insert(back.end(), points, points + n);
        }
        ASSERT_EQ(back.size(), 4u) << r.what;
        // Positions code to 4096 / 2^24 ft, one-foot steps to a 1/8-ft range
        // in 255 parts: a hundredth of a foot holds both.
        for (int i = 0; i < 4; i++) {
            EXPECT_NEAR(back[i].x, path[i][0], 0.01f) << r.what << " point " << i;
            EXPECT_NEAR(back[i].z, path[i][1], 0.01f) << r.what << " point " << i;
            EXPECT_TRUE(std::isfinite(back[i].rut_x) && std::isfinite(back[i].rut_z)) << r.what;
        }
    }
}

// A surface whose on and off speeds (or slip bounds) are equal has a ramp of
// zero width: it is a step, full from the bound up, not 0 / 0.
TEST_F(erode_test, zero_width_erode_ranges_are_steps_at_their_bound)
{
    const std::string surface = "erode_off_speed 12\nerode_on_speed 12\nerode_slip_lower 3\nerode_slip_upper 3\n"
                                "erode_slip_base_scale 1\nerode_slip_scale 2\nerode_lower 0\nerode_upper 1200\naddtile\n";
    tileinfo_parse(t, surface.data(), surface.size());
    // rolling() pushes 300 lbf sideways on level ground, so |p| = 300 x speed
    // factor x slip factor, then rescaled to 0.125 + 0.875 x |p| / 1200.
    const float slow_slip = 0.125f + 0.875f * 300.0f / 1200.0f, fast_slip = 0.125f + 0.875f * 600.0f / 1200.0f;
    struct row {
        float speed, slip;
        int samples;
        float rut;
    };
    const row rows[] = {{12.0f, 3.0f, 1, fast_slip}, {12.0f, 0.0f, 1, slow_slip}, {12.0f, 2.99f, 1, slow_slip},
                        {20.0f, 5.0f, 1, fast_slip}, {11.99f, 3.0f, 0, 0.0f}};
    for (const row& r : rows) {
        rut_tracker tracker = {};
        wheel_rut_input c = rolling(64.0f, 64.0f, r.speed, 0.0f);
        c.slip_velocity[0] = r.slip;
        erode_wheel_step(&tracker, &c, 0);
        ASSERT_EQ(tracker.sample_count, r.samples) << r.speed << " " << r.slip;
        EXPECT_TRUE(std::isfinite(tracker.sum_px)) << r.speed << " " << r.slip;
        EXPECT_NEAR(tracker.sum_px, r.rut, 1e-5f) << r.speed << " " << r.slip;
    }
}

TEST_F(erode_test, wheel_without_horizontal_motion_makes_no_nan)
{
    rut_tracker tracker = {};
    for (int k = 0; k < 40; k++, tic_counter++) {
        wheel_rut_input c = rolling(64.0f, 64.0f, 0.0f, 0.0f);
        c.body_velocity[1] = -20.0f;
        erode_wheel_step(&tracker, &c, 0);
    }
    EXPECT_GT(tracker.point_count, 0);
    for (int i = 0; i < tracker.point_count; i++) {
        EXPECT_TRUE(std::isfinite(tracker.points[i].rut_x));
        EXPECT_TRUE(std::isfinite(tracker.points[i].rut_z));
    }
    char text[256];
    erode_debug_text(text, sizeof text);
    EXPECT_STREQ(text, "speed=20.00\nslip=0.00\nfx=-0.00\nfz=-0.00\npfx=-0.00\npfz=-0.00\n");
}

TEST_F(erode_test, offline_strips_reach_the_queue_and_dig)
{
    rut_tracker tracker = {};
    for (int k = 0; k < 80; k++, tic_counter++) {
        wheel_rut_input c = rolling(20.0f + 0.5f * float(k), 40.0f, 20.0f, 0.0f);
        erode_wheel_step(&tracker, &c, 0);
    }
    wheel_rut_input air = {};
    for (int k = 0; k < 70; k++, tic_counter++) erode_wheel_step(&tracker, &air, 0);
    EXPECT_GT(erode_queue.count, 30);
    double before = height_sum();
    float track = terrain_height_at(t, 30.0f, 40.0f);
    while (erode_queue.count > 0) erode_queue_apply(nullptr, 100.0f);
    EXPECT_LT(terrain_height_at(t, 30.0f, 40.0f), track);
    EXPECT_NEAR(height_sum(), before, 1e-2);
}

} // namespace
