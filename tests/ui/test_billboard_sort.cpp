// Billboard depth keys, the radix sort and the texture batching, on index
// lists; and the ghost fade of network riders.
#include <gtest/gtest.h>

#include <vector>

#include "game/track_objects.h"
#include "ui/billboard_draw.h"
#include "ui/world_view.h"

namespace {

billboard make(float z, int texture, float size = 0, float aspect = 1, float x = 0)
{
    billboard b{};
    b.x = x, b.z = z, b.size = size, b.aspect = aspect, b.texture = texture;
    b.colour[3] = 255;
    return b;
}

std::vector<int32_t> sorted(std::vector<billboard>& table, const float camera[3], int lookahead = 0)
{
    const float z[3] = {0, 0, 1};  // the camera looks along -z
    std::vector<int32_t> list(2 * table.size() + 1);
    int n = billboard_key_list(table.data(), int(table.size()), camera, z, list.data());
    radix_sort_indices(list.data(), list.data() + table.size(), n, &table[0].sort_key,
                       int(sizeof(billboard) / sizeof(int32_t)));
    const float right[2] = {1, 0};
    billboard_batch(list.data(), n, table.data(), camera, right, lookahead);
    return std::vector<int32_t>(list.begin(), list.begin() + n);
}

TEST(billboard_sort, keys_drop_what_lies_behind_and_sort_farthest_first)
{
    const float camera[3] = {0, 0, 0};
    // In front of the camera is -z: key below the camera's.
    std::vector<billboard> table = {make(-10, 1), make(0, 1), make(-0.01f, 1), make(5, 1), make(-50, 1),
                                    make(-10, 1)};
    // Depth 0 equals the camera's key: dropped; 1/100 ft in front: kept;
    // the two at -10 keep their table order (stable passes).
    EXPECT_EQ(sorted(table, camera), (std::vector<int32_t>{4, 0, 5, 2}));
    // A billboard without texture or with alpha 0 is not listed.
    table[4].texture = 0;
    table[0].colour[3] = 0;
    EXPECT_EQ(sorted(table, camera), (std::vector<int32_t>{5, 2}));
}

TEST(billboard_sort, only_the_first_two_thousand_add_their_width)
{
    const float camera[3] = {0, 0, 0};
    std::vector<billboard> table(2001, make(-100, 1));
    for (int i = 0; i < 2001; i++) table[size_t(i)] = make(-100.0f - float(i) * 0.001f, 1, 4, 2);
    sorted(table, camera);
    // Index 1999 keyed with its width 8: floor((-101.999 + 8) x 1024 + 2^24).
    EXPECT_EQ(table[1999].sort_key, depth_key(-101.999f + 8));
    EXPECT_EQ(table[2000].sort_key, depth_key(-102.0f));
}

TEST(billboard_sort, depth_keys_are_clamped_at_zero)
{
    EXPECT_EQ(depth_key(0), 16777216);
    EXPECT_EQ(depth_key(-1), 16777216 - 1024);
    EXPECT_EQ(depth_key(-16384), 0);
    EXPECT_EQ(depth_key(-20000), 0);  // would wrap negative and sort nearest
    EXPECT_EQ(depth_key(NAN), 0);
}

TEST(billboard_batch, lookahead_moves_a_same_texture_billboard_only_past_non_overlapping_ones)
{
    const float camera[3] = {0, 0, 0};
    // Depths -50 .. -10 so the sort order is the table order. Texture 1 at
    // 0 and 3; the ones between stand apart on screen (far to the left) or
    // overlap it (straight ahead).
    auto apart = [] {
        return std::vector<billboard>{make(-50, 1, 1, 1, 0), make(-40, 2, 1, 1, -30), make(-30, 3, 1, 1, -25),
                                      make(-20, 1, 1, 1, 5)};
    };
    std::vector<billboard> table = apart();
    EXPECT_EQ(sorted(table, camera, 0), (std::vector<int32_t>{0, 1, 2, 3}));
    EXPECT_EQ(sorted(table, camera, 1), (std::vector<int32_t>{0, 1, 2, 3}));
    EXPECT_EQ(sorted(table, camera, 8), (std::vector<int32_t>{0, 3, 1, 2}));
    // Beyond the window it stays.
    EXPECT_EQ(sorted(table, camera, 3), (std::vector<int32_t>{0, 1, 2, 3}));
    // One between that overlaps it on screen: nothing moves.
    table = apart();
    table[2] = make(-30, 3, 4, 2, 4);
    EXPECT_EQ(sorted(table, camera, 8), (std::vector<int32_t>{0, 1, 2, 3}));
}

TEST(ghost_alpha, fade_between_half_and_the_whole_distance)
{
    struct row {
        float distance, G, want;
    } rows[] = {
        {0, 40, 0}, {20, 40, 0}, {30, 40, 0.5f}, {40, 40, 1}, {100, 40, 1},
        {0, 0, 1}, {5, 0, 1}, {0, -3, 1},  // no fade distance: no fading (not 0/0)
    };
    for (const row& r : rows) EXPECT_FLOAT_EQ(ghost_alpha(r.distance, r.G), r.want) << r.distance << " " << r.G;
}

}  // namespace
