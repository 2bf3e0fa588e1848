// Height-field reading, the triangle rule and normals.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "core/ripemd160.h"
#include "support_terrain.h"
#include "terrain/heightfield.h"

namespace {

const uint8_t* bytes_of(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

struct heightfield_test : ::testing::Test {
    terrain_test_env env;
    terrain* t = &track_terrain;
    // Overwrites the grid with fn(i, j) in world units, both copies.
    template <class F> void set_heights(F fn)
    {
        for (int j = 0; j < t->size; j++)
            for (int i = 0; i < t->size; i++) t->heights[j * t->size + i] = t->pristine_heights[j * t->size + i] = fn(i, j);
    }
};

TEST_F(heightfield_test, example_grid_has_the_documented_geometry_and_sample_heights)
{
    load_hf(t, make_hf(5, 2.0f, -10.0f, 30.0f, [](int i, int j) { return i == 0 && j == 0 ? 0 : (i == 64 ? 65535 : 12345); }));
    EXPECT_EQ(t->size, 65);
    EXPECT_EQ(t->exponent, 5);
    EXPECT_FLOAT_EQ(t->extent, 128.0f);
    EXPECT_FLOAT_EQ(t->tile_size, 4.0f);
    EXPECT_FLOAT_EQ(t->inv_spacing, 0.5f);
    EXPECT_EQ(t->heights[0], -10.0f);
    EXPECT_EQ(t->heights[64], 30.0f);
    // The range in single precision, then one rounding from double.
    float expected = float(double(-10.0f) + double(30.0f - -10.0f) * (1.0 / 65535.0) * 12345.0);
    EXPECT_EQ(t->heights[1], expected);
    EXPECT_EQ(t->pristine_heights[1], expected);
    EXPECT_EQ(t->node_count, (4096 - 1) / 3);  // quadtree levels 0..5
}

TEST_F(heightfield_test, bad_headers_are_refused_with_one_line)
{
    const char* headers[] = {"",           "5 2 -10",     "x 2 0 1",     "-1 2 0 1",    "12 2 0 1",
                             "5 0 0 1",    "5 -2 0 1",    "5 nan 0 1",   "5 inf 0 1",   "5 2 inf 1",
                             "5 2 0 nan",  "99999999999 2 0 1",           "5 1e-45 0 1", "5 1e38 0 1"};
    for (const char* h : headers) {
        std::string bytes = std::string(h) + "\n:";
        env.console.clear();
        EXPECT_EQ(heightfield_read(t, bytes_of(bytes), bytes.size(), nullptr), 0) << h;
        EXPECT_EQ(env.console.size(), 1u) << h;
        EXPECT_EQ(env.count_containing("Bad height field parameters"), 1) << h;
        EXPECT_EQ(t->heights, nullptr) << h;
    }
    heightfield_header header;
    std::string biggest = "11 0.5 0 1\n:";
    EXPECT_EQ(heightfield_parse_header(bytes_of(biggest), biggest.size(), &header), 1);
    EXPECT_EQ(header.data_offset, biggest.size() - 1);
}

TEST_F(heightfield_test, short_sample_block_fills_the_rest_at_the_lowest_height)
{
    std::string bytes = make_hf(0, 1.0f, 5.0f, 6.0f, [](int, int) { return 65535; });
    bytes.resize(bytes.size() - 7);  // three and a half of nine samples missing
    load_hf(t, bytes);
    EXPECT_EQ(t->heights[4], 6.0f);
    EXPECT_EQ(t->heights[5], 5.0f);
    EXPECT_EQ(t->heights[8], 5.0f);
}

TEST_F(heightfield_test, small_png_repeats_its_last_row_and_column)
{
    const uint16_t pixels[4] = {0, 65535, 32768, 1000};
    gray16_image png = {pixels, 2, 2};
    std::string header = "5 2 0 65535 x";
    ASSERT_EQ(heightfield_read(t, bytes_of(header), header.size(), &png), 1);
    EXPECT_EQ(t->heights[0], 0.0f);
    EXPECT_EQ(t->heights[1], 65535.0f);
    EXPECT_EQ(t->heights[64], 65535.0f);
    EXPECT_EQ(t->heights[65], 32768.0f);
    EXPECT_EQ(t->heights[64 * 65 + 64], 1000.0f);
    // Without an image the field is flat at the lowest height.
    ASSERT_EQ(heightfield_read(t, bytes_of(header), header.size(), nullptr), 1);
    EXPECT_EQ(t->heights[1000], 0.0f);
}

TEST_F(heightfield_test, digest_of_samples_matches_an_independent_implementation)
{
    uint16_t samples[9];
    for (int i = 0; i < 9; i++) samples[i] = uint16_t(i * 1000);
    uint8_t digest[20];
    heightfield_digest_samples(samples, 9, digest);
    // hashlib.new('ripemd160', b''.join(struct.pack('<H', v * 1000) for v in range(9)))
    EXPECT_TRUE(digest_hex_equal("02482b0ac78679df87db6394cf4df8c9867521ab", digest));
}

TEST_F(heightfield_test, heights_and_normals_of_a_tilted_plane_are_exact)
{
    load_hf(t, make_hf(2, 2.0f, 0.0f, 1.0f, [](int, int) { return 0; }));
    const float a = 0.75f, b = -0.5f, c = 3.0f;
    set_heights([&](int i, int j) { return a * float(i) * 2.0f + b * float(j) * 2.0f + c; });
    for (float z = 0.05f; z < t->extent; z += 0.37f) {
        for (float x = 0.05f; x < t->extent; x += 0.41f) {
            ASSERT_NEAR(terrain_height_at(t, x, z), a * x + b * z + c, 1e-4f) << x << "," << z;
            float n[3];
            terrain_normal_at(t, x, z, n);
            ASSERT_NEAR(n[0] / n[1], -a, 1e-5f);
            ASSERT_NEAR(n[2] / n[1], -b, 1e-5f);
            ASSERT_FLOAT_EQ(n[1], 4.0f);  // spacing squared
        }
    }
}

TEST_F(heightfield_test, triangle_rule_picks_by_cell_parity_and_returns_the_row_corner)
{
    load_hf(t, make_hf(1, 1.0f, 0.0f, 1.0f, [](int, int) { return 0; }));
    const int n = t->size;  // 5
    struct row {
        float x, z;
        int spike_i, spike_j;  // the only non-zero sample
        float height;
        int index;
    };
    // Cell (0, 0) is even: A below the diagonal v = u (on it too), B above.
    // Cell (1, 0) is odd: C up to u + v = 1, D beyond.
    const row rows[] = {
        {0.75f, 0.25f, 1, 0, 0.5f, 0},          // A holds (1, 0)
        {0.25f, 0.75f, 1, 0, 0.0f, n + 1},      // B does not
        {0.25f, 0.25f, 0, 1, 0.0f, 0},          // on the diagonal: A, without (0, 1)
        {0.25f, 0.75f, 0, 1, 0.5f, n + 1},      // B holds (0, 1)
        {1.25f, 0.25f, 1, 0, 0.5f, 2},          // C holds (1, 0)
        {1.75f, 0.75f, 1, 0, 0.0f, n + 1},      // D does not
        {1.5f, 0.5f, 2, 1, 0.0f, 2},            // u + v = 1 is C, without (2, 1)
        {1.75f, 0.75f, 2, 1, 0.5f, n + 1},      // D holds (2, 1)
        {1.0f, 1.0f, 1, 1, 1.0f, n + 1},        // a sample point: cell (1, 1), even, A
    };
    for (const row& r : rows) {
        set_heights([&](int i, int j) { return i == r.spike_i && j == r.spike_j ? 1.0f : 0.0f; });
        EXPECT_FLOAT_EQ(terrain_height_at(t, r.x, r.z), r.height) << r.x << "," << r.z;
        float normal[3];
        EXPECT_EQ(terrain_normal_at(t, r.x, r.z, normal), r.index) << r.x << "," << r.z;
    }
}

TEST_F(heightfield_test, smoothed_height_of_a_lone_spike_weighs_the_samples_within_ten_feet)
{
    // 10-ft cells: round a sample the four edge neighbours lie 10 ft away
    // (not nearer than 10: weight (10 + 10 - 10) / 10 = 1) and the four
    // diagonal ones 10 sqrt 2 away (weight (20 - 10 sqrt 2) / 10 = 2 - sqrt 2);
    // the next ring is 20 ft or more away and weighs nothing. A lone spike of
    // height H in a flat field of 0 reads H / (1 + 4 + 4 (2 - sqrt 2)).
    load_hf(t, make_hf(2, 10.0f, 0.0f, 1.0f, [](int, int) { return 0; }));
    const float H = 100.0f;
    set_heights([&](int i, int j) { return i == 4 && j == 4 ? H : 0.0f; });
    EXPECT_NEAR(terrain_height_smoothed(t, 40, 40), H / (5 + 4 * (2 - std::sqrt(2.0))), 1e-4);
    EXPECT_FLOAT_EQ(terrain_height_at(t, 40, 40), H);  // the exact query sees the spike whole
    // 20 ft away the spike is out of reach.
    EXPECT_FLOAT_EQ(terrain_height_smoothed(t, 40, 60), 0.0f);
    // Hostile coordinates give a finite height of the field.
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    for (float v : {nan, inf, -inf}) EXPECT_TRUE(std::isfinite(terrain_height_smoothed(t, v, v))) << v;
    terrain none{};
    EXPECT_EQ(terrain_height_smoothed(&none, 1, 2), 0.0f);
}

TEST_F(heightfield_test, points_outside_use_the_clamped_edge_samples)
{
    load_hf(t, make_hf(1, 2.0f, 0.0f, 1.0f, [](int, int) { return 0; }));
    set_heights([](int i, int j) { return float(i) + 10.0f * float(j); });
    int last = t->size - 1;
    // Beyond the far x edge both corners clamp to the last column: flat in x.
    EXPECT_FLOAT_EQ(terrain_height_at(t, 100.0f, 3.0f), float(last) + 15.0f);
    float normal[3];
    terrain_normal_at(t, 100.0f, 3.0f, normal);
    EXPECT_EQ(normal[0], 0.0f);
    EXPECT_FLOAT_EQ(normal[2], -2.0f * 10.0f);  // -spacing x the rise across one cell
    EXPECT_FLOAT_EQ(terrain_height_at(t, -50.0f, -50.0f), 0.0f);
    // Non-finite coordinates read as 0; huge finite ones as the far edge.
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    EXPECT_FLOAT_EQ(terrain_height_at(t, nan, nan), 0.0f);
    EXPECT_FLOAT_EQ(terrain_height_at(t, inf, -inf), 0.0f);
    EXPECT_FLOAT_EQ(terrain_height_at(t, 3e38f, 0.0f), float(last));
    EXPECT_TRUE(std::isfinite(terrain_normal_at(t, nan, inf, normal) + normal[0] + normal[2]));
}

TEST_F(heightfield_test, dirty_marks_cover_the_blocks_of_a_rectangle)
{
    load_hf(t, make_hf(8, 1.0f, 0.0f, 1.0f, [](int, int) { return 0; }));  // 512 cells: 4 x 4 blocks
    terrain_mark_dirty(t, 127, 0, 128, 0);
    EXPECT_EQ(t->dirty_blocks[0], 1);
    EXPECT_EQ(t->dirty_blocks[1], 1);
    EXPECT_EQ(t->dirty_blocks[2], 0);
    terrain_mark_dirty(t, -50, 600, 9999, 9999);  // clamped to the grid
    for (int c = 0; c < 4; c++) EXPECT_EQ(t->dirty_blocks[3 * 32 + c], 1);
    EXPECT_EQ(t->dirty_blocks[1 * 32 + 0], 0);
}

TEST_F(heightfield_test, smoothed_height_is_the_plane_itself_and_the_edge_far_outside)
{
    load_hf(t, make_hf(4, 2.0f, 0.0f, 1.0f, [](int, int) { return 0; }));  // 33 samples, 64 ft
    // A plane: the weights depend on distance alone, so on a sample point
    // (the samples lie symmetrically round it) away from the edges the
    // weighted mean of a linear height is its value there.
    const float a = 0.75f, b = -0.5f, c = 3.0f;
    set_heights([&](int i, int j) { return a * float(i) * 2.0f + b * float(j) * 2.0f + c; });
    for (float z = 20; z <= 44; z += 2)
        for (float x = 20; x <= 44; x += 2)
            ASSERT_NEAR(terrain_height_smoothed(t, x, z), a * x + b * z + c, 1e-4f) << x << "," << z;
    // Between samples it stays a mean: within the heights 12 ft round.
    for (float z = 20.3f; z <= 44; z += 1.7f)
        for (float x = 20.5f; x <= 44; x += 1.3f) {
            float h = terrain_height_smoothed(t, x, z), spread = 12 * (std::fabs(a) + std::fabs(b));
            ASSERT_LE(std::fabs(h - (a * x + b * z + c)), spread) << x << "," << z;
        }
    // A flat field reads flat everywhere, inside or out.
    set_heights([](int, int) { return 7.0f; });
    for (float x : {-500.0f, -5.0f, 0.0f, 31.0f, 64.0f, 70.0f, 3e30f})
        EXPECT_FLOAT_EQ(terrain_height_smoothed(t, x, 30), 7.0f) << x;
    // Far outside nothing is within reach: the clamped sample at
    // (floor((x - 10) / 2), floor((z - 10) / 2)) = (0, 10).
    set_heights([](int i, int j) { return float(i) + 10.0f * float(j); });
    EXPECT_FLOAT_EQ(terrain_height_smoothed(t, -100, 30), 100.0f);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_TRUE(std::isfinite(terrain_height_smoothed(t, nan, nan)));
}

} // namespace
