// Surface files: tileinfo, texturelist, tilemap and shadows.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "support_terrain.h"
#include "terrain/surfaces.h"
#include "terrain/terrain_services.h"

namespace {

struct surfaces_test : ::testing::Test {
    terrain_test_env env;
    terrain* t = &track_terrain;
    void parse(const std::string& text) { tileinfo_parse(t, text.data(), text.size()); }
    void parse_list(const std::string& text) { texturelist_parse(t, text.data(), text.size()); }
};

TEST_F(surfaces_test, friction_points_are_sorted_by_key_over_the_defaults)
{
    parse("friction 0.8 10\nfriction 1.2 2\naddtile\n");
    ASSERT_EQ(t->tile_count, 1);
    EXPECT_FLOAT_EQ(t->friction_keys[0][0], 2.0f);
    EXPECT_FLOAT_EQ(t->friction_keys[0][1], 10.0f);
    EXPECT_FLOAT_EQ(t->friction_keys[0][2], 1048576.0f);
    EXPECT_FLOAT_EQ(t->friction_values[0][0], 1.2f);
    EXPECT_FLOAT_EQ(t->friction_values[0][1], 0.8f);
    EXPECT_FLOAT_EQ(t->friction_values[0][2], 1.0f);
    // Roll resistance defaults and the stored clamps.
    EXPECT_FLOAT_EQ(t->roll_keys[0][0], 1.0f);
    EXPECT_FLOAT_EQ(t->roll_keys[0][1], 0.0f);
    EXPECT_FLOAT_EQ(t->roll_pairs[0][3][1], 15.0f);
    parse("friction -1 5e9\nroll_resist -2 3 0\naddtile\n");
    EXPECT_FLOAT_EQ(t->friction_values[0][0], 0.0f);
    EXPECT_FLOAT_EQ(t->friction_keys[0][0], 1048575.0f);
    EXPECT_FLOAT_EQ(t->roll_pairs[0][0][0], 0.0f);
    EXPECT_FLOAT_EQ(t->roll_keys[0][0], 9.536743e-7f);
}

TEST_F(surfaces_test, bad_lines_give_one_message_each_and_parsing_goes_on)
{
    struct row {
        const char* line;
        const char* message;
    };
    const row rows[] = {
        {"friction 1", "tileinfo warning: bad friction parameters\n"},
        {"roll_resist 1 2", "tileinfo warning: bad roll_resist parameters\n"},
        {"slip_function 3", "tileinfo warning: bad slip_function\n"},
        {"slip_function x", "tileinfo warning: bad slip_function\n"},
        {"erode_radius wide", "tileinfo warning: bad erode_radius\n"},
        {"erode_limit 1 2", "tileinfo warning: bad erode_limit\n"},
        {"gravel 1", "tileinfo warning: Unknown identifier 'gravel'\n"},
        {"roost count=x", "tileinfo warning: bad count\n"},
        {"roost fade_b=", "tileinfo warning: bad fade_b\n"},
        {"roost wobble=1", "tileinfo warning: unknown roost parameter 'wobble=1'\n"},
        {"treadmark aspect=?", "tileinfo warning: bad tread aspect\n"},
        {"treadmark colour=red", "tileinfo warning: unknown tread parameter 'colour=red'\n"},
    };
    for (const row& r : rows) {
        env.console.clear();
        parse(std::string(r.line) + "\r\nname kept\naddtile\n");
        ASSERT_EQ(env.console.size(), 1u) << r.line;
        EXPECT_EQ(env.console[0], r.message) << r.line;
        ASSERT_EQ(t->tile_count, 1) << r.line;
        EXPECT_STREQ(t->tile_names[0], "kept");
    }
}

TEST_F(surfaces_test, curve_and_type_limits_keep_the_earlier_entries)
{
    std::string text;
    for (int k = 0; k < 9; k++) text += "friction " + std::to_string(k) + " " + std::to_string(k + 1) + "\n";
    for (int k = 0; k < 5; k++) text += "roost count=" + std::to_string(k) + "\n";
    for (int k = 0; k < 9; k++) text += "treadmark size=" + std::to_string(k) + "\n";
    for (int k = 0; k < 9; k++) text += "erode_limit " + std::to_string(k) + " 1 1\n";
    text += "addtile\n";
    parse(text);
    EXPECT_EQ(env.count_containing("too many friction points"), 1);
    EXPECT_EQ(env.count_containing("too many roost types"), 1);
    EXPECT_EQ(env.count_containing("too many treadmark types"), 1);
    EXPECT_EQ(env.count_containing("too many erode limits"), 1);
    EXPECT_FLOAT_EQ(t->friction_values[0][7], 7.0f);
    EXPECT_FLOAT_EQ(t->roost_types[0][3].count, 3.0f);
    EXPECT_EQ(t->roost_types[0][3].kind, 1);
    EXPECT_FLOAT_EQ(t->treadmark_types[0][7].size, 7.0f);
    EXPECT_EQ(terrain_erode_limit_rows(t->erosion[0]), 8);
}

TEST_F(surfaces_test, erode_limit_depths_must_rise)
{
    parse("erode_limit 1 2 3\nerode_limit 1 5 5\nerode_limit 2 4 6\naddtile\naddtile\n");
    EXPECT_EQ(env.count_containing("tileinfo warning: erode_limit depth <= prev depth\n"), 1);
    ASSERT_EQ(t->tile_count, 2);
    EXPECT_EQ(terrain_erode_limit_rows(t->erosion[0]), 2);
    EXPECT_FLOAT_EQ(t->erosion[0][erode_limit_depth + 1], 2.0f);
    EXPECT_FLOAT_EQ(t->erosion[0][erode_limit_inner_scale + 1], 6.0f);
    // Without rows a tile gets the single row (0, 1, 1) and every default.
    EXPECT_EQ(terrain_erode_limit_rows(t->erosion[1]), 1);
    EXPECT_FLOAT_EQ(t->erosion[1][erode_limit_scale], 1.0f);
    EXPECT_FLOAT_EQ(t->erosion[1][erode_lower], 50.0f);
    EXPECT_FLOAT_EQ(t->erosion[1][erode_slip_scale], 1.5f);
    EXPECT_FLOAT_EQ(t->erosion[1][erode_front_scale], 1.0f);
}

TEST_F(surfaces_test, roost_and_treadmark_words_with_quotes)
{
    parse("texture @mud.png\n"
          "roost count=25 \"texture=@clods big.png\" r=300.9 fade_a=-3 splash=1 size=0.5\n"
          "treadmark \"texture=@tread one.png\" front=1 spacing=3\n"
          "erode_depth 2.5\n"
          "addtile\n");
    ASSERT_EQ(t->tile_count, 1);
    EXPECT_STREQ(t->tile_names[0], "@mud.png");  // no name: the texture's
    EXPECT_STREQ(t->tile_textures[0], "@mud.png");
    const roost_type& r = t->roost_types[0][0];
    EXPECT_EQ(r.kind, 2);
    EXPECT_FLOAT_EQ(r.count, 25.0f);
    EXPECT_FLOAT_EQ(r.size, 0.5f);
    EXPECT_EQ(r.r, uint8_t(300));  // truncated into one byte
    EXPECT_EQ(r.g, 255);
    EXPECT_EQ(r.fade_a, -3);
    EXPECT_FLOAT_EQ(r.fast_speed, 64.0f);
    EXPECT_EQ(t->roost_types[0][1].kind, 0);
    const treadmark_type& m = t->treadmark_types[0][0];
    EXPECT_EQ(m.active, 1);
    EXPECT_EQ(m.front, 1);
    EXPECT_FLOAT_EQ(m.spacing, 3.0f);
    EXPECT_FLOAT_EQ(m.size, 8.0f);
    EXPECT_STREQ(t->treadmark_textures[0][0], "@tread one.png");
    EXPECT_EQ(t->treadmark_types[0][1].active, 0);
    EXPECT_FLOAT_EQ(t->erosion[0][erode_depth], 2.5f);
}

TEST_F(surfaces_test, at_most_256_tiles_and_lines_after_the_last_are_ignored)
{
    std::string text;
    for (int k = 0; k < 300; k++) text += "name t" + std::to_string(k) + "\naddtile\n";
    parse(text);
    EXPECT_EQ(t->tile_count, 256);
    EXPECT_STREQ(t->tile_names[255], "t255");
    parse("name a\naddtile\nname b\nfriction 2 2\n");
    EXPECT_EQ(t->tile_count, 1);
}

TEST_F(surfaces_test, no_tiles_gets_one_default_surface)
{
    parse("name unused\n");
    EXPECT_EQ(t->tile_count, 0);
    surfaces_ensure_tile(t);
    ASSERT_EQ(t->tile_count, 1);
    EXPECT_FLOAT_EQ(t->erosion[0][erode_radius], 4.0f);
    EXPECT_FLOAT_EQ(t->friction_values[0][0], 1.0f);
}

TEST_F(surfaces_test, texturelist_lines)
{
    parse_list("0.9 4 12 dirt.png\n\n   \nsand.png\r\n0.5 1 dry grass.png");
    ASSERT_EQ(t->tile_count, 3);
    EXPECT_STREQ(t->tile_textures[0], "@dirt.png");
    EXPECT_FLOAT_EQ(t->friction_values[0][5], 0.9f);
    EXPECT_FLOAT_EQ(t->friction_keys[0][1], 1048576.0f);
    EXPECT_FLOAT_EQ(t->roll_pairs[0][7][0], 4.0f);
    EXPECT_FLOAT_EQ(t->roll_pairs[0][7][1], 12.0f);
    EXPECT_EQ(t->roost_types[0][0].kind, 1);
    EXPECT_EQ(t->roost_types[0][1].kind, 0);
    // CRLF and a last line without a newline keep their whole names.
    EXPECT_STREQ(t->tile_textures[1], "@sand.png");
    EXPECT_FLOAT_EQ(t->friction_values[1][0], 1.0f);
    EXPECT_STREQ(t->tile_textures[2], "@0.5 1 dry grass.png");
    EXPECT_FLOAT_EQ(t->roll_pairs[2][0][1], 15.0f);
}

TEST_F(surfaces_test, tilemap_is_clamped_to_the_tiles)
{
    t->exponent = 1;
    t->size = 5;
    t->inv_spacing = 0.5f;
    parse("addtile\naddtile\naddtile\n");
    const uint8_t map[4] = {0, 2, 200, 3};
    ASSERT_EQ(tilemap_read(t, map, 4), 1);
    EXPECT_EQ(t->tile_map[1], 2);
    EXPECT_EQ(t->tile_map[2], 2);
    EXPECT_EQ(t->tile_map[3], 2);
    ASSERT_EQ(tilemap_read(t, map, 2), 1);  // short: the rest is tile 0
    EXPECT_EQ(t->tile_map[2], 0);
    EXPECT_EQ(terrain_tile_at(t, 5.0f, 0.5f), 2);  // column 1 covers x 4..8
    EXPECT_EQ(terrain_tile_at(t, -50.0f, 1e9f), 0);
}

TEST_F(surfaces_test, shadows_are_inverted_and_checked)
{
    t->exponent = 0;
    t->size = 3;
    std::string pgm = "P5\n# made by hand\n3 3\n255\n";
    pgm += std::string("\x00\x10\xff\x01\x02\x03\x04\x05\x06", 9);
    ASSERT_EQ(shadows_read(t, reinterpret_cast<const uint8_t*>(pgm.data()), pgm.size()), 1);
    EXPECT_EQ(t->shadow[0], 255);
    EXPECT_EQ(t->shadow[1], 255 - 16);
    EXPECT_EQ(t->shadow[2], 0);
    const char* bad[] = {"P5\n4 3\n255\n............", "P6\n3 3\n255\n.........", "P5\n3 3\n255\n....", "P5\n3",
                         "P5\n3 3\n0\n........."};
    for (const char* b : bad) {
        env.console.clear();
        EXPECT_EQ(shadows_read(t, reinterpret_cast<const uint8_t*>(b), strlen(b)), 0) << b;
        EXPECT_EQ(env.console.size(), 1u) << b;
    }
    EXPECT_EQ(env.count_containing("Bad shadow dimensions"), 0);
    std::string wide = "P5\n4 3\n255\n............";
    shadows_read(t, reinterpret_cast<const uint8_t*>(wide.data()), wide.size());
    EXPECT_EQ(env.count_containing("Bad shadow dimensions (4x3)\n"), 1);
}

} // namespace
