// Billboards: the colour prefix, the draw list, a full table, the file and
// its saver (names kept, script objects left out), and the flying pool.
#include <cmath>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "core/game_state.h"
#include "game/track_objects.h"
#include "terrain/terrain.h"
#include "track_fixture.h"

namespace {

using billboards = track_fixture;

TEST_F(billboards, colour_prefix)
{
    const struct {
        const char* given;
        const char* name;  // as kept, null for none
        uint8_t r, g, b;
    } cases[] = {
        {"#ff0000#@banner.png", "@banner.png", 255, 0, 0},
        {"#ff0000@banner.png", "#ff0000@banner.png", 255, 255, 255},  // no second '#': all of it is a name
        {"#00Fa80#x", "x", 0, 250, 128},                              // either case of hex digits
        {"#12345g#x", "#12345g#x", 255, 255, 255},                    // not six hex digits
        {"#ff0000#", nullptr, 255, 0, 0},                             // a colour and no texture
        {"#ff0000", "#ff0000", 255, 255, 255},                        // 7 characters: too short
        {"@plain.png", "@plain.png", 255, 255, 255},
    };
    for (const auto& c : cases) {
        int32_t i = create_billboard(1, 2, 3, 4, 0.5f, c.given);
        ASSERT_GE(i, 0);
        const billboard* b = billboard_at(i);
        if (c.name) {
            EXPECT_STREQ(b->name, c.name) << c.given;
            EXPECT_EQ(b->texture, texture_id(c.name)) << c.given;
        } else {
            EXPECT_EQ(b->name, nullptr) << c.given;
            EXPECT_EQ(b->texture, 0);
        }
        EXPECT_EQ(b->colour[0], c.r) << c.given;
        EXPECT_EQ(b->colour[1], c.g) << c.given;
        EXPECT_EQ(b->colour[2], c.b) << c.given;
        EXPECT_EQ(b->colour[3], 255) << c.given;
    }
}

TEST_F(billboards, stand_on_the_ground_with_two_draw_entries_each)
{
    // Ground rising 0.5 ft per ft along x.
    make_terrain(3, 4, [](float x, float) { return 0.5f * x; });
    for (int k = 0; k < 3; k++) {
        int32_t i = create_billboard(4 + 8 * k, 1.5f, 8, 2, 1, "@flag.png");
        EXPECT_EQ(i, k);
        EXPECT_NEAR(billboard_at(i)->y, 1.5f + 0.5f * (4 + 8 * k), 1e-3f);
        EXPECT_FLOAT_EQ(billboard_at(i)->relative_height, 1.5f);
    }
    EXPECT_EQ(track_objects.draw_list.count, 6);
}

// A table that can't grow leaves everything as it was and gives no index;
// the caller (a script, the editor) must never get another billboard's.
TEST_F(billboards, a_full_table_gives_no_index)
{
    create_billboard(1, 0, 1, 1, 1, "@a.png");
    growable_array& table = track_objects.billboards;
    growable_array saved = table;
    // A count whose doubling passes the 32-bit limit: the push refuses
    // without touching memory.
    table.count = table.capacity = 1 << 30;
    int32_t draw = track_objects.draw_list.count;
    int32_t index = create_billboard(2, 0, 2, 1, 1, "@b.png");
    table.count = saved.count;
    table.capacity = saved.capacity;
    EXPECT_EQ(index, -1);
    EXPECT_EQ(track_objects.draw_list.count, draw);
    EXPECT_EQ(table.count, 1);
    EXPECT_EQ(count_containing("Out of memory for billboard @b.png"), 1);
}

TEST_F(billboards, file_records_until_the_end)
{
    write_track_file("billboards", "[1 2 3] 4 0.5 @a.png\n[5 6 7] 8 2 #00ff00#@b.png\n  [9 0 9] 1 1 @missing.png ");
    EXPECT_EQ(billboards_load(track_path("billboards").c_str()), 3);
    EXPECT_TRUE(console.empty()) << console.front();
    ASSERT_EQ(track_objects.billboards.count, 3);
    EXPECT_FLOAT_EQ(billboard_at(1)->size, 8);
    EXPECT_FLOAT_EQ(billboard_at(1)->aspect, 2);
    EXPECT_EQ(billboard_at(1)->colour[0], 0);
    EXPECT_EQ(billboard_at(2)->texture, 0);
    EXPECT_STREQ(billboard_at(2)->name, "@missing.png");
}

TEST_F(billboards, damaged_files_keep_what_was_read_and_say_so)
{
    const struct {
        const char* what;
        std::string text;
        int read;
    } cases[] = {
        {"truncated", "[1 2 3] 4 0.5 @a.png\n[5 6", 1},
        {"junk", "[1 2 3] 4 0.5 @a.png\n\x7f\x01junk", 1},
        {"beyond a float", "[1 2 3] 4 0.5 @a.png\n[1e39 0 0] 1 1 @b.png\n", 1},
        {"binary", std::string("\0\xff\xfe", 3), 0},
        {"letters for numbers", "[a b c] d e f\n", 0},
    };
    for (const auto& c : cases) {
        console.clear();
        track_objects_free();
        write_track_file("billboards", c.text);
        EXPECT_EQ(billboards_load(track_path("billboards").c_str()), c.read) << c.what;
        EXPECT_EQ(track_objects.billboards.count, c.read) << c.what;
        ASSERT_EQ(console.size(), 1u) << c.what;
        EXPECT_NE(console[0].find("@tracks/t/billboards"), std::string::npos) << console[0];
    }
}

TEST_F(billboards, a_very_long_name_is_cut_not_overrun)
{
    std::string name(5000, 'n');
    write_track_file("billboards", "[1 2 3] 4 0.5 " + name + "\n");
    billboards_load(track_path("billboards").c_str());
    ASSERT_GE(track_objects.billboards.count, 1);
    EXPECT_EQ(strlen(billboard_at(0)->name), 1023u);
}

TEST_F(billboards, save_then_load_is_the_identity)
{
    // The flaggers' billboard comes before the file's own.
    create_billboard(0, 0, 0, 1, 1, "@flagger.png");
    track_objects.first_file_billboard = 1;
    const std::string file = "[1.500000 2.000000 3.000000] 4.000000 0.500000 @a.png\n"
                             "[5.000000 6.000000 7.000000] 8.000000 2.000000 #00ff80#@b.png\n"
                             "[9.000000 0.000000 9.000000] 1.000000 1.000000 @missing.png\n";
    write_track_file("billboards", file);
    billboards_load(track_path("billboards").c_str());
    // A script's banner and an editor's: only the editor's is the track's.
    create_billboard(3, 0, 3, 1, 1, "@script.png", origin_script);
    create_billboard(4, 0, 4, 1, 1, "#ff0000#@editor.png", origin_editor);
    // Alpha is not part of the file.
    billboard_at(1)->colour[3] = 128;
    ASSERT_EQ(billboards_save(), 1);
    const std::string expected = file + "[4.000000 0.000000 4.000000] 1.000000 1.000000 #ff0000#@editor.png\n";
    EXPECT_EQ(saved("billboards"), expected);
    track_objects_free();
    billboards_load(track_path("billboards").c_str());
    ASSERT_EQ(track_objects.billboards.count, 4);
    EXPECT_EQ(billboard_at(0)->colour[3], 255);
    EXPECT_STREQ(billboard_at(2)->name, "@missing.png");
    EXPECT_EQ(billboard_at(2)->texture, 0);
    EXPECT_EQ(billboard_at(3)->colour[1], 0);
    ASSERT_EQ(billboards_save(), 1);
    EXPECT_EQ(saved("billboards"), expected);
}

// ---- Flying billboards ---------------------------------------------------

struct flying : track_fixture {
    roost_type clod = {};
    void SetUp() override
    {
        track_fixture::SetUp();
        flying_pool_create();
        clod.texture = 7;
        clod.size = 0.25f;
        clod.r = 100, clod.g = 80, clod.b = 60, clod.a = 250;
    }
};

TEST_F(flying, the_pool_owns_the_first_billboards_hidden)
{
    EXPECT_EQ(track_objects.billboards.count, flying_billboard_count);
    for (int k = 0; k < flying_billboard_count; k += 333) {
        EXPECT_EQ(track_objects.pool[k].billboard, k);
        EXPECT_EQ(billboard_at(k)->texture, 0);
    }
}

TEST_F(flying, the_2001st_clod_is_refused)
{
    const float p[3] = {10, 5, 10}, v[3] = {0, 10, 0};
    for (int k = 0; k < flying_billboard_count; k++) ASSERT_EQ(launch_billboard(p, v, &clod), 1) << k;
    flying_billboard* active = track_objects.active;
    EXPECT_EQ(launch_billboard(p, v, &clod), 0);
    EXPECT_EQ(track_objects.active, active);
    EXPECT_EQ(track_objects.free_list, nullptr);
    EXPECT_EQ(track_objects.billboards.count, flying_billboard_count);
}

TEST_F(flying, a_clod_flies_one_tic)
{
    clod.drag = 4;
    clod.grow = 1.28f;
    clod.fade_r = 100, clod.fade_a = -100;
    const float p[3] = {10, 5, 20}, v[3] = {12.8f, 25.6f, -6.4f};
    ASSERT_EQ(launch_billboard(p, v, &clod), 1);
    const flying_billboard* node = track_objects.active;
    const billboard* b = billboard_at(node->billboard);
    EXPECT_EQ(b->texture, 7);
    EXPECT_FLOAT_EQ(b->size, 0.25f);
    flying_billboards_step();
    // One tic of 1/128 s at the launch velocity, then drag 4/s takes
    // 4/128 of the velocity and gravity 32 ft/s^2 another 0.25 ft/s off vy.
    EXPECT_FLOAT_EQ(node->x, 10.1f);
    EXPECT_FLOAT_EQ(node->y, 5.2f);
    EXPECT_FLOAT_EQ(node->z, 19.95f);
    EXPECT_FLOAT_EQ(node->vx, 12.8f * (1 - 4.0f / 128));
    EXPECT_FLOAT_EQ(node->vy, 25.6f * (1 - 4.0f / 128) - 0.25f);
    EXPECT_FLOAT_EQ(b->y, 5.2f);
    EXPECT_FLOAT_EQ(b->size, 0.26f);
    // Colours move by their change per tic and stop at the ends.
    EXPECT_EQ(b->colour[0], 200);
    EXPECT_EQ(b->colour[3], 150);
    flying_billboards_step();
    EXPECT_EQ(b->colour[0], 255);
    EXPECT_EQ(b->colour[3], 50);
    flying_billboards_step();
    EXPECT_EQ(b->colour[3], 0);
}

TEST_F(flying, a_rising_clod_stays_and_a_falling_one_under_ground_goes)
{
    make_terrain(3, 4, [](float, float) { return 10.0f; });
    // Both start a foot under the ground.
    const float p[3] = {8, 9, 8}, up[3] = {0, 20, 0}, down[3] = {0, -1, 0};
    ASSERT_EQ(launch_billboard(p, up, &clod), 1);
    const flying_billboard* rising = track_objects.active;
    flying_billboards_step();
    EXPECT_EQ(track_objects.active, rising);
    EXPECT_EQ(billboard_at(rising->billboard)->texture, 7);
    ASSERT_EQ(launch_billboard(p, down, &clod), 1);
    flying_billboard* falling = track_objects.active;
    flying_billboards_step();
    // The falling one is hidden and back at the head of the free list; the
    // rising one flies on.
    EXPECT_EQ(track_objects.active, rising);
    EXPECT_EQ(rising->next, nullptr);
    EXPECT_EQ(track_objects.free_list, falling);
    EXPECT_EQ(billboard_at(falling->billboard)->texture, 0);
}

TEST_F(flying, reset_empties_the_sky)
{
    const float p[3] = {10, 50, 10}, v[3] = {0, 1, 0};
    for (int k = 0; k < 10; k++) launch_billboard(p, v, &clod);
    flying_pool_reset();
    EXPECT_EQ(track_objects.active, nullptr);
    EXPECT_EQ(track_objects.free_list, &track_objects.pool[0]);
    EXPECT_EQ(track_objects.pool[0].next, &track_objects.pool[1]);
    for (int k = 0; k < 10; k++) EXPECT_EQ(billboard_at(k)->texture, 0);
}

} // namespace
