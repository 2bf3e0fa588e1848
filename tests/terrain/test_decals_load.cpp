// Decal table and bins, and loading and saving a whole track folder.
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "core/alloc.h"
#include "gfx/image_png.h"
#include "support/temp_dir.h"
#include "support_terrain.h"
#include "terrain/decals.h"
#include "terrain/heightfield.h"
#include "terrain/terrain_load.h"
#include "terrain/terrain_services.h"

namespace {

struct decals_test : ::testing::Test {
    terrain_test_env env;
    terrain* t = &track_terrain;
    void SetUp() override
    {
        load_hf(t, make_hf(5, 2.0f, 0.0f, 10.0f, [](int, int) { return 0; }));  // 128 ft: bins of 16
        decals_init(t);
    }
    static decal at(float x, float z, float size)
    {
        decal d = {};
        d.x = x, d.z = z, d.size = size;
        return d;
    }
    std::vector<int> bin(float x, float z)
    {
        growable_array* bins[64];
        EXPECT_EQ(decal_bin_at(t, x, z, x, z, bins), 1);
        int32_t* items = array_items<int32_t>(bins[0]);
        return std::vector<int>(items, items + bins[0]->count);
    }
};

TEST_F(decals_test, bins_follow_inserts_deletes_and_moves)
{
    decal a = at(8, 8, 2), b = at(16, 8, 2), c = at(100, 100, 1);
    ASSERT_TRUE(decal_insert(t, 0, &a));
    ASSERT_TRUE(decal_insert(t, 1, &c));
    // Insert b between them the way the editor does: shift, then insert.
    decal_shift_indices(t, 1, +1);
    ASSERT_TRUE(decal_insert(t, 1, &b));
    EXPECT_EQ(bin(1, 1), (std::vector<int>{0, 1}));  // b reaches back into bin 0
    EXPECT_EQ(bin(20, 1), (std::vector<int>{1}));
    EXPECT_EQ(bin(100, 100), (std::vector<int>{2}));
    decal moved = at(100, 100, 1);
    ASSERT_TRUE(decal_replace(t, 0, &moved));
    EXPECT_EQ(bin(1, 1), (std::vector<int>{1}));
    EXPECT_EQ(bin(100, 100), (std::vector<int>{0, 2}));
    ASSERT_TRUE(decal_delete(t, 1));
    decal_shift_indices(t, 1, -1);
    EXPECT_EQ(bin(20, 1), (std::vector<int>{}));
    EXPECT_EQ(bin(100, 100), (std::vector<int>{0, 1}));
    EXPECT_EQ(t->decals.count, 2);
    growable_array* all[64];
    EXPECT_EQ(decal_bin_at(t, -10, -10, 500, 500, all), 64);
}

TEST_F(decals_test, bad_indices_are_refused_with_a_message)
{
    decal a = at(8, 8, 2);
    EXPECT_FALSE(decal_insert(t, 1, &a));
    EXPECT_FALSE(decal_insert(t, -1, &a));
    EXPECT_FALSE(decal_delete(t, 0));
    EXPECT_FALSE(decal_replace(t, 0, &a));
    EXPECT_EQ(env.count_containing("Out of range decal index"), 4);
    EXPECT_EQ(t->decals.count, 0);
}

TEST_F(decals_test, hidden_decals_leave_the_bins_empty)
{
    decal a = at(8, 8, 2);
    decal_insert(t, 0, &a);
    t->hide_decals = 1;
    decal_rebuild_bins(t);
    EXPECT_TRUE(bin(8, 8).empty());
    t->hide_decals = 0;
    decal_rebuild_bins(t);
    EXPECT_EQ(bin(8, 8), (std::vector<int>{0}));
}

TEST_F(decals_test, file_round_trip_and_bad_lines)
{
    std::string text = "# comment\n10 20 1.5 3 @skid.png\n\n 30 40 0 2 @tyre mark.png\r\nnot a decal\n1 2 3 @x.png\n"
                       "5 5 nan 1 @skid.png\n50 60 -1 4 @skid.png";
    decals_parse(t, text.data(), text.size());
    ASSERT_EQ(t->decals.count, 3);
    EXPECT_EQ(env.count_containing("decals: bad line"), 3);
    EXPECT_EQ(t->decal_kind_count, 2);
    const decal* d = array_items<decal>(&t->decals);
    EXPECT_FLOAT_EQ(d[0].sine, sinf(1.5f));
    EXPECT_EQ(d[2].textures[3], d[0].textures[3]);
    size_t length;
    char* out = decals_format(t, &length);
    decals_free(t);
    decals_init(t);
    decals_parse(t, out, length);
    free(out);
    ASSERT_EQ(t->decals.count, 3);
    d = array_items<decal>(&t->decals);
    EXPECT_FLOAT_EQ(d[1].x, 30.0f);
    EXPECT_STREQ(t->decal_kinds[d[1].textures[3]].name, "@tyre mark.png");
    EXPECT_FLOAT_EQ(d[2].angle, -1.0f);
}

struct load_test : ::testing::Test {
    terrain_test_env env;
    terrain* t = &track_terrain;
    temp_dir dir;
    void write_track(bool with_tilemap = true)
    {
        write_whole_file(dir.file("terrain.hf"), make_hf(2, 2.0f, -5.0f, 20.0f, [](int i, int j) {
                             return uint16_t(i * 3000 + j * 500);
                         }));
        write_whole_file(dir.file("tileinfo"), "name loam\ntexture @loam.png\naddtile\nname mud\nerode_depth 2\naddtile\n");
        if (with_tilemap) write_whole_file(dir.file("tilemap"), std::string(16, '\x01'));
        write_whole_file(dir.file("decals"), "8 8 0 2 @skid.png\n");
    }
};

TEST_F(load_test, folder_loads_and_saves_back_the_same)
{
    write_track();
    ASSERT_EQ(terrain_load(t, dir.path.c_str()), 1);
    EXPECT_EQ(t->size, 9);
    EXPECT_EQ(t->tile_count, 2);
    EXPECT_EQ(t->tile_map[5], 1);
    EXPECT_EQ(t->decals.count, 1);
    ASSERT_NE(t->shadow, nullptr);
    EXPECT_EQ(t->shadow[80], 0);
    float h = t->heights[3 * 9 + 2];
    t->heights[40] += 1.0f;
    std::string hf_before = read_whole_file(dir.file("terrain.hf"));
    ASSERT_EQ(terrain_save(t), 1);
    EXPECT_NE(read_whole_file(dir.file("terrain.hf")), hf_before);
    EXPECT_EQ(read_whole_file(dir.file("shading.ppm")).substr(0, 11), "P6\n9 9\n255\n");
    float changed = t->heights[40];
    terrain_free(t);
    ASSERT_EQ(terrain_load(t, dir.path.c_str()), 1);
    EXPECT_NEAR(t->heights[3 * 9 + 2], h, 25.0f / 65535.0f);
    EXPECT_NEAR(t->heights[40], changed, 25.0f / 65535.0f);
    EXPECT_EQ(t->tile_map[5], 1);
    EXPECT_EQ(t->decals.count, 1);
}

// Texture ids as a registry would give them: two kinds the track names, and
// one texture the editor loaded itself.
uint32_t stub_texture_load(const char* name)
{
    return strcmp(name, "@skid.png") == 0 ? 11 : strcmp(name, "@startline.png") == 0 ? 12 : 0;
}
const char* stub_texture_name(uint32_t id)
{
    return id == 11 ? "@skid.png" : id == 12 ? "@startline.png" : id == 13 ? "@finish.png" : nullptr;
}

TEST_F(load_test, inserted_decals_are_saved_under_their_first_texture)
{
    terrain_hooks.texture_load = stub_texture_load;
    terrain_hooks.texture_name = stub_texture_name;
    write_track();
    write_whole_file(dir.file("decals"), "8 8 0 2 @skid.png\n20 20 0 3 @startline.png\n");
    ASSERT_EQ(terrain_load(t, dir.path.c_str()), 1);
    ASSERT_EQ(t->decal_kind_count, 2);
    // As the editor makes them: the kind is the first texture id, the rest of
    // the texture words are zero.
    decal line = {}, finish = {}, bare = {};
    line.x = 30, line.z = 10, line.size = 3, line.textures[0] = 12;
    finish.x = 31, finish.z = 11, finish.size = 4, finish.textures[0] = 13;
    bare.x = 1, bare.z = 1, bare.size = 1, bare.textures[0] = 99;  // no registry name
    ASSERT_TRUE(decal_insert(t, 2, &line));
    decal_shift_indices(t, 0, +1);
    ASSERT_TRUE(decal_insert(t, 0, &finish));
    ASSERT_TRUE(decal_insert(t, 4, &bare));
    ASSERT_EQ(terrain_save(t), 1);
    EXPECT_EQ(env.count_containing("decals: decal 4 has no texture name"), 1);
    terrain_free(t);
    ASSERT_EQ(terrain_load(t, dir.path.c_str()), 1);
    ASSERT_EQ(t->decals.count, 4);
    const decal* d = array_items<decal>(&t->decals);
    const char* expected[] = {"@finish.png", "@skid.png", "@startline.png", "@startline.png"};
    const float xs[] = {31, 8, 20, 30};
    for (int i = 0; i < 4; i++) {
        ASSERT_LT(d[i].textures[3], uint32_t(t->decal_kind_count)) << i;
        EXPECT_STREQ(t->decal_kinds[d[i].textures[3]].name, expected[i]) << i;
        EXPECT_EQ(d[i].x, xs[i]) << i;
    }
    EXPECT_EQ(d[2].textures[0], 12u);
}

TEST_F(load_test, heights_come_from_terrain_png_without_a_sample_block)
{
    write_track();
    write_whole_file(dir.file("terrain.hf"), "2 2.0 0 65535\n");
    const uint16_t pixels[4] = {100, 200, 300, 65535};
    size_t size = 0;
    uint8_t* png = png_encode_gray16(pixels, 2, 2, &size);
    ASSERT_NE(png, nullptr);
    write_whole_file(dir.file("terrain.png"), std::string(reinterpret_cast<char*>(png), size));
    alloc_check_free(png);
    ASSERT_EQ(terrain_load(t, dir.path.c_str()), 1);
    EXPECT_EQ(t->heights[0], 100.0f);
    EXPECT_EQ(t->heights[8], 200.0f);       // last column repeated
    EXPECT_EQ(t->heights[8 * 9 + 8], 65535.0f);
    // An unreadable image leaves the field flat at the lowest height, and says so.
    write_whole_file(dir.file("terrain.png"), "not a png");
    ASSERT_EQ(terrain_load(t, dir.path.c_str()), 1);
    EXPECT_EQ(t->heights[40], 0.0f);
    EXPECT_EQ(env.count_containing("Not a PNG file 'terrain.png'"), 1);
    std::filesystem::remove(dir.file("terrain.png"));
    ASSERT_EQ(terrain_load(t, dir.path.c_str()), 1);
    EXPECT_EQ(t->heights[40], 0.0f);
    EXPECT_EQ(env.count_containing("/terrain.png'"), 1);
}

TEST_F(load_test, saved_terrain_png_holds_the_saved_samples)
{
    write_track();
    ASSERT_EQ(terrain_load(t, dir.path.c_str()), 1);
    ASSERT_EQ(terrain_save(t), 1);
    std::string hf = read_whole_file(dir.file("terrain.hf"));
    std::string png = read_whole_file(dir.file("terrain.png"));
    uint16_t* samples = nullptr;
    int w = 0, h = 0;
    ASSERT_EQ(png_decode_gray16("terrain.png", png.data(), png.size(), &samples, &w, &h), 1);
    ASSERT_EQ(w, 9);
    ASSERT_EQ(h, 9);
    size_t block = hf.find(':') + 1;
    for (int k = 0; k < 81; k++)
        EXPECT_EQ(samples[k], uint8_t(hf[block + 2 * k]) | uint8_t(hf[block + 2 * k + 1]) << 8) << k;
    alloc_check_free(samples);
}

TEST_F(load_test, an_unreadable_terrain_hf_leaves_the_loaded_terrain_as_it_was)
{
    write_track();
    ASSERT_EQ(terrain_load(t, dir.path.c_str()), 1);
    const float* heights = t->heights;
    const uint8_t* tiles = t->tile_map;
    float h = heights[3 * 9 + 2];
    const std::string hf = read_whole_file(dir.file("terrain.hf"));
    struct row {
        const char* what;
        std::string bytes;  // empty: no terrain.hf at all
    };
    const row rows[] = {{"missing", ""}, {"no header", "height field"}, {"exponent too large", "40 2 0 1\n:"},
                        {"negative spacing", "2 -2 0 1\n:"}};
    for (const row& r : rows) {
        std::filesystem::remove(dir.file("terrain.hf"));
        if (!r.bytes.empty()) write_whole_file(dir.file("terrain.hf"), r.bytes);
        EXPECT_EQ(terrain_load(t, dir.path.c_str()), 0) << r.what;
        ASSERT_EQ(t->heights, heights) << r.what;
        EXPECT_EQ(t->heights[3 * 9 + 2], h) << r.what;
        EXPECT_EQ(t->tile_map, tiles) << r.what;
        EXPECT_EQ(t->size, 9) << r.what;
        EXPECT_EQ(t->tile_count, 2) << r.what;
        EXPECT_EQ(t->decals.count, 1) << r.what;
        EXPECT_EQ(t->folder, dir.path) << r.what;
    }
    EXPECT_EQ(env.count_containing("Error reading heights"), 3);
    // The same folder mended loads again, over the kept terrain.
    write_whole_file(dir.file("terrain.hf"), hf);
    ASSERT_EQ(terrain_load(t, dir.path.c_str()), 1);
    EXPECT_EQ(t->heights[3 * 9 + 2], h);
}

TEST_F(load_test, missing_or_bad_files_fail_and_leave_an_empty_record)
{
    EXPECT_EQ(terrain_load(t, dir.path.c_str()), 0);  // no terrain.hf
    write_track(false);
    EXPECT_EQ(terrain_load(t, dir.path.c_str()), 0);
    EXPECT_EQ(t->heights, nullptr);
    EXPECT_EQ(env.count_containing("tilemap"), 1);
    write_track();
    write_whole_file(dir.file("shadows.pgm"), "P5\n3 3\n255\n.........");
    EXPECT_EQ(terrain_load(t, dir.path.c_str()), 0);
    EXPECT_EQ(env.count_containing("Bad shadow dimensions (3x3)"), 1);
    EXPECT_EQ(t->heights, nullptr);
    std::remove(dir.file("shadows.pgm").c_str());
    write_whole_file(dir.file("terrain.hf"), "40 2 0 1\n:");
    EXPECT_EQ(terrain_load(t, dir.path.c_str()), 0);
    EXPECT_EQ(env.count_containing("Error reading heights"), 1);
}

} // namespace
