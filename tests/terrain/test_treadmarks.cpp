// Treadmarks: where and when prints are laid (spacing in inches, the slip,
// speed and wheel rules of the surface's types, hostile numbers from a
// tileinfo, the ring at its limit), the atlas corners the loader fills, and
// prints that follow the ground.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support_terrain.h"
#include "terrain/heightfield.h"
#include "terrain/surfaces.h"
#include "terrain/treadmarks.h"

namespace {

// A 16 x 16 ft ground of 1 ft cells rising 1 ft every 4 ft along x (a plane,
// so every point of it is exactly 0.25 x high), tiles of 2 ft. Tile column 0
// and 1 (x < 4) hold surface 0, the rest surface 1 unless a test says so.
struct treadmark_test : ::testing::Test {
    terrain_test_env env;
    terrain* t = &track_terrain;
    treadmark_layer layer{};

    void ground(const std::string& tileinfo, int32_t capacity = 64)
    {
        // 16-bit samples of 1/1000 ft: 250 a sample along x is 0.25 ft a foot.
        load_hf(t, make_hf(3, 1.0f, 0.0f, 65.535f, [](int i, int) { return uint16_t(250 * i); }));
        tileinfo_parse(t, tileinfo.data(), tileinfo.size());
        uint8_t map[64];
        for (int k = 0; k < 64; k++) map[k] = (k % 8) < 2 ? 0 : 1;
        tilemap_read(t, map, sizeof map);
        treadmarks_make(t, &layer, capacity);
    }
    ~treadmark_test() override { treadmarks_free(&layer); }

    int32_t place(float tracker[3], float x, float z, float slip, float speed, int front)
    {
        const float point[3] = {x, 0.25f * x, z};
        return terrain_treadmark_place(t, &layer, tracker, point, slip, speed, front);
    }
};

TEST_F(treadmark_test, placement_rules_of_the_surface_types)
{
    // One step of the tracker and the wheel; each row starts a fresh tracker
    // at (6, 8) on surface 1 and moves the wheel along +z.
    struct row {
        const char* what;
        const char* tread;  // surface 1's treadmark lines
        float move;         // ft along +z
        float slip, speed;
        int front;
        int32_t prints;
        float tracker_z;    // where the tracker ends
    };
    const float start = 8.0f;
    const row rows[] = {
        // Spacing 6 inches is half a foot.
        {"short of the spacing", "treadmark spacing=6", 0.49f, 0, 10, 0, 0, start},
        {"one spacing", "treadmark spacing=6", 0.5f, 0, 10, 0, 1, start + 0.5f},
        {"two and a bit spacings", "treadmark spacing=6", 1.2f, 0, 10, 0, 2, start + 1.0f},
        {"slip below the threshold", "treadmark spacing=6 slip_threshold=2", 0.5f, 1.99f, 10, 0, 0, start + 0.5f},
        {"slip at the threshold", "treadmark spacing=6 slip_threshold=2", 0.5f, 2.0f, 10, 0, 1, start + 0.5f},
        {"slow wheel", "treadmark spacing=6 speed_threshold=20", 0.5f, 0, 19.9f, 0, 0, start + 0.5f},
        {"front-only type, rear wheel", "treadmark spacing=6 front=1", 0.5f, 0, 10, 0, 0, start + 0.5f},
        {"front-only type, front wheel", "treadmark spacing=6 front=1", 0.5f, 0, 10, 1, 1, start + 0.5f},
        {"rear-only type, front wheel", "treadmark spacing=6 front=0", 0.5f, 0, 10, 1, 0, start + 0.5f},
        {"two types stamp together at the smaller spacing",
         "treadmark spacing=6\ntreadmark spacing=12", 0.5f, 0, 10, 0, 2, start + 0.5f},
        {"no type on the surface: the tracker follows", "", 0.3f, 0, 10, 0, 0, start + 0.3f},
        {"a jump of more than 4 ft is a reset, not a skid", "treadmark spacing=6", 4.5f, 0, 10, 0, 0, start + 4.5f},
        {"NaN slip lays nothing", "treadmark spacing=6 slip_threshold=1", 0.5f, NAN, 10, 0, 0, start + 0.5f},
        // Hostile numbers from a tileinfo.
        {"size 0 makes no print", "treadmark size=0 spacing=6", 0.5f, 0, 10, 0, 0, start + 0.5f},
        {"negative aspect makes no print", "treadmark aspect=-1 spacing=6", 0.5f, 0, 10, 0, 0, start + 0.5f},
        {"spacing 0 stamps at most 8 a tic", "treadmark spacing=0", 1.0f, 0, 10, 0, 8, start + 1.0f},
        {"huge spacing never stamps", "treadmark spacing=1e30", 3.0f, 0, 10, 0, 0, start},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        treadmarks_free(&layer);
        ground(std::string("treadmark\naddtile\n") + r.tread + "\naddtile\n");
        float tracker[3] = {6.0f, 0.0f, start};
        EXPECT_EQ(place(tracker, 6.0f, start + r.move, r.slip, r.speed, r.front), r.prints);
        EXPECT_FLOAT_EQ(tracker[0], 6.0f);
        EXPECT_NEAR(tracker[2], r.tracker_z, 1e-5f);
        EXPECT_EQ(layer.count, r.prints);
    }
}

TEST_F(treadmark_test, a_print_lies_on_the_ground_along_the_way_the_wheel_went)
{
    // 12 inches long, half as wide, 6 inches right of the wheel's path.
    ground("treadmark\naddtile\ntreadmark size=12 aspect=0.5 spacing=12 offset=6\naddtile\n");
    float tracker[3] = {8.0f, 0.0f, 8.0f};
    // The wheel goes 1 ft along +x: the print centres on (9, 8) moved 0.5 ft
    // to the right of +x, which looking down with z forward is -z.
    ASSERT_EQ(place(tracker, 9.0f, 8.0f, 0, 10, 0), 1);
    const treadmark_vertex* v = layer.vertices;
    // Rear left, rear right, front right, front left.
    const float expect[4][2] = {{8.5f, 7.75f}, {8.5f, 7.25f}, {9.5f, 7.25f}, {9.5f, 7.75f}};
    for (int k = 0; k < 4; k++) {
        EXPECT_NEAR(v[k].x, expect[k][0], 1e-5f) << k;
        EXPECT_NEAR(v[k].z, expect[k][1], 1e-5f) << k;
        // On the plane y = x / 4 (to the 1/1000 ft the samples keep).
        EXPECT_NEAR(v[k].y, 0.25f * v[k].x, 2e-3f) << k;
    }
    // A huge size is held to 4 ft: no corner farther than 2 ft along or across.
    treadmarks_free(&layer);
    ground("treadmark\naddtile\ntreadmark size=1e30 aspect=1 spacing=6 offset=-1e30\naddtile\n");
    float again[3] = {8.0f, 0.0f, 8.0f};
    ASSERT_EQ(place(again, 8.0f, 8.5f, 0, 10, 0), 1);
    for (int k = 0; k < 4; k++) {
        EXPECT_LE(std::fabs(layer.vertices[k].z - 8.5f), 2.0f + 1e-5f) << k;
        // Offset held to 4 ft to the left (-x going +z), plus half the width.
        EXPECT_LE(std::fabs(layer.vertices[k].x - 8.0f), 6.0f + 1e-5f) << k;
        EXPECT_TRUE(std::isfinite(layer.vertices[k].y)) << k;
    }
}

TEST_F(treadmark_test, the_ring_keeps_the_newest_prints_and_overwrites_the_oldest)
{
    ground("treadmark\naddtile\ntreadmark spacing=12\naddtile\n", 3);
    ASSERT_EQ(layer.capacity, 3);
    float tracker[3] = {6.0f, 0.0f, 1.0f};
    std::vector<float> centres;
    for (int k = 1; k <= 5; k++) {
        ASSERT_EQ(place(tracker, 6.0f, 1.0f + float(k), 0, 10, 0), 1);
        centres.push_back(1.0f + float(k));
    }
    EXPECT_EQ(layer.count, 3);
    EXPECT_EQ(layer.laid, 5u);
    // Ages 0..2 hold the last three prints, newest first.
    for (int age = 0; age < 3; age++) {
        const treadmark_vertex* v = layer.vertices + size_t(treadmark_slot_of_age(&layer, age)) * 4;
        float z = 0.25f * (v[0].z + v[1].z + v[2].z + v[3].z);
        EXPECT_NEAR(z, centres[size_t(4 - age)], 1e-5f) << age;
    }
    // Every block's bounds hold the prints laid into it (one block here).
    for (int32_t k = 0; k < 3 * 4; k++) {
        const float* b = layer.block_bounds[0];
        const float p[3] = {layer.vertices[k].x, layer.vertices[k].y, layer.vertices[k].z};
        for (int a = 0; a < 3; a++) {
            EXPECT_LE(b[a], p[a]) << k;
            EXPECT_GE(b[a + 3], p[a]) << k;
        }
    }
    // A clear forgets them and starts the drawing over; the ring stays.
    uint32_t generation = layer.generation;
    treadmarks_clear(&layer);
    EXPECT_EQ(layer.count, 0);
    EXPECT_EQ(layer.capacity, 3);
    EXPECT_NE(layer.generation, generation);
    // No ring, no prints: limit 0, and a limit above the largest ring.
    treadmarks_free(&layer);
    ground("treadmark\naddtile\ntreadmark spacing=12\naddtile\n", 0);
    float none[3] = {6.0f, 0.0f, 1.0f};
    EXPECT_EQ(place(none, 6.0f, 2.0f, 0, 10, 0), 0);
    EXPECT_FLOAT_EQ(none[2], 2.0f);
    treadmarks_free(&layer);
    ground("treadmark\naddtile\n", 10000000);
    EXPECT_EQ(layer.capacity, treadmark_ring_max);
    EXPECT_EQ(env.count_containing("Treadmark limit 10000000"), 1);
}

TEST_F(treadmark_test, prints_settle_onto_ground_that_changed_under_them)
{
    ground("treadmark\naddtile\ntreadmark spacing=12\naddtile\n", 8);
    float tracker[3] = {6.0f, 0.0f, 1.0f};
    for (int k = 1; k <= 10; k++) ASSERT_EQ(place(tracker, 6.0f, 1.0f + float(k), 0, 10, 0), 1);
    int32_t first = -1;
    EXPECT_EQ(treadmarks_settle(t, &layer, 100, &first), 0) << "the ground did not change";
    // A rut 0.5 ft deep dug under the whole ground.
    for (int32_t k = 0; k < t->size * t->size; k++) t->heights[k] -= 0.5f;
    t->change_counter++;
    // Budget 3 a call over the 8 live prints, oldest (slot 2, the ring
    // having wrapped) first: 3, 3, then the 2 to the ring's end, then none.
    const int32_t expect[][2] = {{2, 3}, {5, 3}, {0, 2}};
    for (const auto& e : expect) {
        EXPECT_EQ(treadmarks_settle(t, &layer, 3, &first), e[1]);
        EXPECT_EQ(first, e[0]);
    }
    EXPECT_EQ(treadmarks_settle(t, &layer, 3, &first), 0);
    for (int32_t k = 0; k < layer.capacity * 4; k++)
        EXPECT_NEAR(layer.vertices[k].y, 0.25f * layer.vertices[k].x - 0.5f, 2e-3f) << k;
}

TEST(treadmark_fading, full_until_the_last_quarter_then_down_to_nothing)
{
    EXPECT_EQ(treadmark_fade(0, 1000), 1.0f);
    EXPECT_EQ(treadmark_fade(750, 1000), 1.0f);
    EXPECT_NEAR(treadmark_fade(875, 1000), 0.5f, 1e-6f);
    EXPECT_NEAR(treadmark_fade(1000, 1000), 0.0f, 1e-6f);
}

struct rect {
    float u0, v0, u1, v1;
};
rect rect_of(const treadmark_type& m)
{
    // Rear left, rear right, front right, front left: a rectangle.
    EXPECT_EQ(m.corners[0], m.corners[6]);
    EXPECT_EQ(m.corners[2], m.corners[4]);
    EXPECT_EQ(m.corners[1], m.corners[3]);
    EXPECT_EQ(m.corners[5], m.corners[7]);
    return {m.corners[0], m.corners[1], m.corners[2], m.corners[5]};
}

TEST_F(treadmark_test, the_atlas_gives_each_texture_a_cell_of_its_own)
{
    ground("treadmark texture=@a.png\ntreadmark texture=@b.png\ntreadmark\naddtile\n"
           "treadmark texture=@a.png\naddtile\n");
    treadmark_atlas_layout layout;
    ASSERT_EQ(treadmark_atlas_build_layout(t, &layout), 3);  // a, b and the plain print
    EXPECT_STREQ(layout.names[0], "@a.png");
    EXPECT_STREQ(layout.names[1], "@b.png");
    EXPECT_EQ(layout.names[2], nullptr);
    // Two columns of 64 x 128-pixel cells, two rows.
    EXPECT_EQ(layout.width, 128);
    EXPECT_EQ(layout.height, 256);
    rect a = rect_of(t->treadmark_types[0][0]), b = rect_of(t->treadmark_types[0][1]);
    rect plain = rect_of(t->treadmark_types[0][2]), a_again = rect_of(t->treadmark_types[1][0]);
    EXPECT_EQ(std::memcmp(&a, &a_again, sizeof a), 0) << "one texture, one cell";
    for (const rect& r : {a, b, plain}) {
        EXPECT_GT(r.u0, 0.0f);
        EXPECT_LT(r.u1, 1.0f);
        EXPECT_GT(r.v0, 0.0f);
        EXPECT_LT(r.v1, 1.0f);
        EXPECT_LT(r.u0, r.u1);
        EXPECT_LT(r.v0, r.v1);
        // Inside one cell: at most half the atlas wide and tall.
        EXPECT_LE(r.u1 - r.u0, 0.5f);
        EXPECT_LE(r.v1 - r.v0, 0.5f);
    }
    auto apart = [](const rect& p, const rect& q) { return p.u1 <= q.u0 || q.u1 <= p.u0 || p.v1 <= q.v0 || q.v1 <= p.v0; };
    EXPECT_TRUE(apart(a, b));
    EXPECT_TRUE(apart(a, plain));
    EXPECT_TRUE(apart(b, plain));
    // Inactive types keep their words untouched.
    for (float c : t->treadmark_types[1][1].corners) EXPECT_EQ(c, 0.0f);
}

TEST_F(treadmark_test, textures_beyond_the_atlas_cells_draw_plain)
{
    std::string text;
    const int tiles = 10;  // 80 distinct names over 10 tiles of 8 types
    for (int tile = 0; tile < tiles; tile++) {
        for (int k = 0; k < 8; k++) text += "treadmark texture=@t" + std::to_string(tile * 8 + k) + ".png\n";
        text += "addtile\n";
    }
    ground(text);
    treadmark_atlas_layout layout;
    EXPECT_EQ(treadmark_atlas_build_layout(t, &layout), treadmark_atlas_max_cells + 1);
    EXPECT_EQ(env.count_containing("Too many treadmark textures"), 2 * (80 - treadmark_atlas_max_cells))
        << "once at the make, once here";
    rect last = rect_of(t->treadmark_types[9][7]), also = rect_of(t->treadmark_types[8][0]);
    EXPECT_EQ(std::memcmp(&last, &also, sizeof last), 0) << "both on the plain cell";
}

} // namespace
