// Statues: facing and the ground frame, the normal- and specular-map search,
// shapes, the grid, a full table, the file and its saver.
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/game_state.h"
#include "game/track_objects.h"
#include "physics/collision_shape.h"
#include "physics/rider.h"
#include "ride_fixture.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"
#include "track_fixture.h"

namespace {

using statues = track_fixture;

const float* column(const statue* s, int c, float out[3])
{
    for (int i = 0; i < 3; i++) out[i] = s->orientation[3 * i + c];
    return out;
}

float dot(const float a[3], const float b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

TEST_F(statues, upright_statues_face_the_camera_from_afar)
{
    make_terrain(3, 4, [](float x, float z) { return 0.3f * x + 0.2f * z; });
    int32_t i = create_statue(8, 1, 8, 3.25f, "@hay.qm", nullptr, nullptr);
    const statue* s = statue_at(i);
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int k = 0; k < 9; k++) EXPECT_EQ(s->orientation[k], identity[k]) << k;
    // 2^3.25 = 8 x 2^(1/4)
    EXPECT_NEAR(s->facing_distance, 9.5137f, 1e-3f);
    EXPECT_EQ(statue_at(create_statue(8, 1, 8, 3.2f, nullptr, nullptr, nullptr))->facing_distance, 0);
}

TEST_F(statues, at_minus_7_they_keep_the_heading_and_stand_vertical)
{
    make_terrain(3, 4, [](float x, float z) { return 0.3f * x + 0.2f * z; });
    const statue* s = statue_at(create_statue(8, 1, 8, -7, nullptr, nullptr, nullptr));
    float up[3], forward[3];
    column(s, 1, up);
    column(s, 2, forward);
    EXPECT_FLOAT_EQ(up[0], 0);
    EXPECT_FLOAT_EQ(up[1], 1);
    EXPECT_FLOAT_EQ(up[2], 0);
    EXPECT_NEAR(forward[0], sinf(-7), 1e-6f);
    EXPECT_NEAR(forward[1], 0, 1e-6f);
    EXPECT_NEAR(forward[2], cosf(-7), 1e-6f);
    EXPECT_NEAR(s->y, 1 + 0.3f * 8 + 0.2f * 8, 1e-3f);
}

TEST_F(statues, the_ground_frame_is_orthonormal_and_lies_on_the_slope)
{
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> slope(-1.5f, 1.5f), angle(-6.2f, 3.2f), place(2, 26);
    for (int trial = 0; trial < 40; trial++) {
        float gx = slope(rng), gz = slope(rng);
        make_terrain(3, 4, [&](float x, float z) { return gx * x + gz * z; });
        track_objects_free();
        const statue* s = statue_at(create_statue(place(rng), 0, place(rng), angle(rng), nullptr, nullptr, nullptr));
        float c[3][3];
        for (int k = 0; k < 3; k++) column(s, k, c[k]);
        for (int a = 0; a < 3; a++)
            for (int b = 0; b < 3; b++) EXPECT_NEAR(dot(c[a], c[b]), a == b ? 1 : 0, 1e-5f) << trial;
        // Right-handed: right x up = forward.
        float cross[3] = {c[0][1] * c[1][2] - c[0][2] * c[1][1], c[0][2] * c[1][0] - c[0][0] * c[1][2],
                          c[0][0] * c[1][1] - c[0][1] * c[1][0]};
        for (int k = 0; k < 3; k++) EXPECT_NEAR(cross[k], c[2][k], 1e-5f) << trial;
        // Up is square to the plane's two slopes, (1, gx, 0) and (0, gz, 1),
        // up to the height file's 16-bit steps: the range over 65535 at each
        // of the two samples a one-foot difference reads.
        const float along_x[3] = {1, gx, 0}, along_z[3] = {0, gz, 1};
        float step = (track_terrain.height_max - track_terrain.height_min) / 65535.0f;
        EXPECT_NEAR(dot(c[1], along_x), 0, 2 * step) << trial;
        EXPECT_NEAR(dot(c[1], along_z), 0, 2 * step) << trial;
        EXPECT_GT(c[1][1], 0);
        // Forward points along the heading (sin a, cos a) seen from above.
        float heading[3] = {sinf(s->angle), 0, cosf(s->angle)};
        float flat = hypotf(c[2][0], c[2][2]);
        EXPECT_NEAR((c[2][0] * heading[0] + c[2][2] * heading[2]) / flat, 1, 1e-4f) << trial;
    }
}

struct map_search_case {
    const char* texture;
    const char* model;
    const char* existing;  // the one map image that exists, null for none
    std::vector<std::string> normal_asked;  // names tried for the normal map, in order
};

TEST_F(statues, normal_map_search_order)
{
    const map_search_case cases[] = {
        {"@dirt-repeat.png", "@hay.qm", nullptr,
         {"@dirt_norm-repeat.seq", "@dirt_norm-repeat.png", "@dirt_norm-repeat.ppm", "@hay_norm.seq", "@hay_norm.png",
          "@hay_norm.ppm"}},
        {"@dirt-repeat.seq", "@hay.qm", "@dirt_norm-repeat.png", {"@dirt_norm-repeat.seq", "@dirt_norm-repeat.png"}},
        {"@hay.png", "@bale.qm", nullptr,
         {"@hay_norm.seq", "@hay_norm.png", "@hay_norm.ppm", "@bale_norm.seq", "@bale_norm.png", "@bale_norm.ppm"}},
        {"@hay.png", "@bale.qm", "@bale_norm.png",
         {"@hay_norm.seq", "@hay_norm.png", "@hay_norm.ppm", "@bale_norm.seq", "@bale_norm.png"}},
        // "-repeat" without an image ending is an ordinary name.
        {"@a-repeat.tga", "@m.qm", "@a-repeat_norm.seq", {"@a-repeat_norm.seq"}},
    };
    for (const map_search_case& c : cases) {
        texture_ids.clear();
        every_texture_exists = false;
        texture_ids[c.texture] = 5;
        if (c.existing) texture_ids[c.existing] = 9;
        textures_asked.clear();
        const statue* s = statue_at(create_statue(0, 0, 0, 0, c.model, c.texture, nullptr));
        EXPECT_EQ(s->texture, 5) << c.texture;
        EXPECT_EQ(s->normal_map, c.existing ? 9 : 0) << c.texture;
        // The texture first, then the normal map's names, then the specular map's.
        ASSERT_GE(textures_asked.size(), 1 + c.normal_asked.size()) << c.texture;
        EXPECT_EQ(textures_asked[0], c.texture);
        std::vector<std::string> normal(textures_asked.begin() + 1, textures_asked.begin() + 1 + c.normal_asked.size());
        EXPECT_EQ(normal, c.normal_asked) << c.texture;
        // The specular search is the same with "_spec".
        std::string first_spec = c.normal_asked[0];
        first_spec.replace(first_spec.find("_norm"), 5, "_spec");
        ASSERT_GT(textures_asked.size(), 1 + c.normal_asked.size());
        EXPECT_EQ(textures_asked[1 + c.normal_asked.size()], first_spec) << c.texture;
    }
}

TEST_F(statues, without_a_model_no_textures_are_looked_up_but_names_stay)
{
    int32_t i = create_statue(0, 0, 0, 0, "@missing.qm", "@hay.png", nullptr);
    const statue* s = statue_at(i);
    EXPECT_EQ(s->model, nullptr);
    EXPECT_EQ(s->texture, 0);
    EXPECT_EQ(s->normal_map, 0);
    EXPECT_TRUE(textures_asked.empty());
    EXPECT_STREQ(s->model_name, "@missing.qm");
    EXPECT_STREQ(s->texture_name, "@hay.png");
    EXPECT_EQ(s->shape_name, nullptr);
    EXPECT_TRUE(console.empty());
}

TEST_F(statues, shapes_are_private_copies_and_a_missing_one_warns)
{
    write_data_file("bale.shp", "2\n0 0 0 1 1 1 0\n1 0 0 0.5 1 1 0\n");
    int32_t a = create_statue(0, 0, 0, 0, nullptr, nullptr, "@bale.shp");
    int32_t b = create_statue(0, 0, 0, 0, nullptr, nullptr, "@bale.shp");
    ASSERT_NE(statue_at(a)->shape, nullptr);
    EXPECT_NE(statue_at(a)->shape, statue_at(b)->shape);
    EXPECT_FLOAT_EQ(collision_shape_radius(statue_at(a)->shape), 1.5f);
    int32_t c = create_statue(0, 0, 0, 0, nullptr, nullptr, "@nowhere.shp");
    EXPECT_EQ(statue_at(c)->shape, nullptr);
    EXPECT_EQ(count_containing("Warning: missing shape file @nowhere.shp"), 1);
    statue_release(statue_at(a));
    EXPECT_EQ(statue_at(a)->shape, nullptr);
    EXPECT_EQ(statue_at(a)->bone_count, 0);
}

TEST(statue_grid, cells_cover_the_middle_three_quarters)
{
    const float S = 512;
    const struct {
        float v;
        int32_t cell;
    } cases[] = {
        {S / 2, 4},            // (0.5 - 0.125) x 4/3 x 8 = 4
        {0, 0},                // the border falls into the edge cells
        {S * 0.125f, 0},
        {S * 0.125f + 3 * S / 32, 1},  // one cell is 3S/32 wide
        {S * 0.875f - 1, 7},
        {S, 7},
        {-1e30f, 0},
        {1e30f, 7},
        {NAN, 0},
        {INFINITY, 7},
    };
    for (const auto& c : cases) EXPECT_EQ(statue_grid_cell(c.v, S), c.cell) << c.v;
    EXPECT_EQ(statue_grid_cell(100, 0), 0);
}

TEST_F(statues, the_grid_lists_each_statue_in_every_cell_it_reaches)
{
    make_terrain(6, 4, [](float, float) { return 0.0f; });  // 512 ft
    write_data_file("point.shp", "1\n0 0 0 0 1 1 0\n");
    write_data_file("wide.shp", "1\n0 0 0 50 1 1 0\n");
    create_statue(256, 0, 256, 0, nullptr, nullptr, "@point.shp");
    create_statue(256, 0, 256, 0, nullptr, nullptr, nullptr);  // no shape: not in the grid
    create_statue(256, 0, 100, 0, nullptr, nullptr, "@wide.shp");
    rebuild_statue_grid();
    auto cell = [](int cx, int cz) { return &track_objects.statue_grid[cz * statue_grid_side + cx]; };
    ASSERT_EQ(cell(4, 4)->count, 1);
    EXPECT_EQ(array_items<int32_t>(cell(4, 4))[0], 0);
    // Cells are 48 ft wide from x = 64: x 206..306 -> cells 2..5 ((306 - 64) / 48
    // = 5.04); z 50..150 -> cells 0..1 (50 is in the border).
    int32_t holding = 0;
    for (int cz = 0; cz < 8; cz++)
        for (int cx = 0; cx < 8; cx++)
            for (int k = 0; k < cell(cx, cz)->count; k++)
                if (array_items<int32_t>(cell(cx, cz))[k] == 2) {
                    EXPECT_TRUE(cx >= 2 && cx <= 5 && cz <= 1) << cx << "," << cz;
                    holding++;
                }
    EXPECT_EQ(holding, 8);
    // Rebuilding starts over.
    rebuild_statue_grid();
    EXPECT_EQ(cell(4, 4)->count, 1);
}

TEST_F(statues, a_full_table_gives_no_index)
{
    write_data_file("bale.shp", "1\n0 0 0 1 1 1 0\n");
    create_statue(0, 0, 0, 0, nullptr, nullptr, nullptr);
    growable_array& table = track_objects.statues;
    growable_array saved = table;
    table.count = table.capacity = 1 << 30;
    int32_t index = create_statue(1, 0, 1, 0, "@hay.qm", "@hay.png", "@bale.shp");
    table.count = saved.count;
    table.capacity = saved.capacity;
    EXPECT_EQ(index, -1);
    EXPECT_EQ(table.count, 1);
    EXPECT_EQ(count_containing("Out of memory for statue @hay.qm"), 1);
}

TEST_F(statues, damaged_files_keep_what_was_read_and_say_so)
{
    const struct {
        const char* what;
        std::string text;
        int read;
    } cases[] = {
        {"truncated", "[1 2 3] 0 @a.qm null null\n[5 6 7] 1 @b.qm", 1},
        {"junk", "[1 2 3] 0 @a.qm null null\n}}}}", 1},
        {"angle beyond a float", "[1 0 1] 1e39 @a.qm null null\n", 0},
        {"binary", std::string("\x00\x01\x02\x03", 4), 0},
    };
    for (const auto& c : cases) {
        console.clear();
        track_objects_free();
        write_track_file("statues", c.text);
        EXPECT_EQ(statues_load(track_path("statues").c_str()), c.read) << c.what;
        EXPECT_EQ(track_objects.statues.count, c.read) << c.what;
        ASSERT_EQ(console.size(), 1u) << c.what;
        EXPECT_NE(console[0].find("@tracks/t/statues"), std::string::npos) << console[0];
    }
}

TEST_F(statues, save_then_load_is_the_identity)
{
    write_data_file("hay.shp", "1\n0 0 0 1.5 1 1 0\n");
    // A start gate's statue comes before the file's own.
    create_statue(0, 0, 0, 0, "@startgate.qm", nullptr, nullptr);
    track_objects.first_file_statue = 1;
    const std::string file = "[10.000000 0.000000 20.000000] 0.500000 @hay.qm @hay.png @hay.shp\n"
                             "[12.500000 1.250000 20.000000] 3.250000 @missing_tree.qm @tree.png null\n"
                             "[14.000000 0.000000 20.000000] -7.000000 null null @hay.shp\n";
    write_track_file("statues", file);
    EXPECT_EQ(statues_load(track_path("statues").c_str()), 3);
    EXPECT_EQ(statue_at(2)->model, nullptr);  // its model failed to load
    EXPECT_EQ(statue_at(2)->texture, 0);
    create_statue(1, 0, 1, 0, "@script.qm", nullptr, nullptr, origin_script);
    create_statue(2, 0, 2, 1, "@cone.qm", "@cone.png", nullptr, origin_editor);
    ASSERT_EQ(statues_save(), 1);
    const std::string expected = file + "[2.000000 0.000000 2.000000] 1.000000 @cone.qm @cone.png null\n";
    EXPECT_EQ(saved("statues"), expected);
    track_objects_free();
    EXPECT_EQ(statues_load(track_path("statues").c_str()), 4);
    EXPECT_STREQ(statue_at(1)->model_name, "@missing_tree.qm");
    EXPECT_EQ(statue_at(1)->shape_name, nullptr);
    EXPECT_NE(statue_at(0)->shape, nullptr);
    ASSERT_EQ(statues_save(), 1);
    EXPECT_EQ(saved("statues"), expected);
}

TEST_F(statues, truncating_releases_the_cut_objects_and_keeps_the_rest)
{
    write_data_file("hay.shp", "1\n0 0 0 1.5 1 1 0\n");
    for (int k = 0; k < 5; k++) create_statue(float(k), 0, 0, 0, "@hay.qm", nullptr, "@hay.shp");
    for (int k = 0; k < 5; k++) create_billboard(float(k), 0, 0, 1, 1, "@b.png");
    rebuild_statue_grid();
    track_objects_truncate(3, 2);
    EXPECT_EQ(track_objects.statues.count, 2);
    EXPECT_EQ(track_objects.billboards.count, 3);
    EXPECT_EQ(track_objects.draw_list.count, 6);
    int32_t listed = 0;
    for (const growable_array& cell : track_objects.statue_grid) listed += cell.count;
    EXPECT_EQ(listed, 2);
    // Making them again lands at the same indices and capacities stay.
    int32_t capacity = track_objects.statues.capacity;
    for (int round = 0; round < 50; round++) {
        EXPECT_EQ(create_statue(9, 0, 0, 0, "@hay.qm", nullptr, "@hay.shp"), 2);
        EXPECT_EQ(create_billboard(9, 0, 0, 1, 1, "@b.png"), 3);
        track_objects_truncate(3, 2);
    }
    EXPECT_EQ(track_objects.statues.capacity, capacity);
}

TEST(merge_ascending_unique, merges_sorted_lists_once_each)
{
    struct row {
        std::vector<int32_t> a, b, want;
    } rows[] = {
        {{}, {}, {}},
        {{1, 4, 9}, {}, {1, 4, 9}},
        {{}, {2, 3}, {2, 3}},
        {{1, 4, 9}, {2, 4, 10}, {1, 2, 4, 9, 10}},
        {{5, 6}, {5, 6}, {5, 6}},  // the same statue in two cells
        {{0}, {0, 1, 2, 3}, {0, 1, 2, 3}},
    };
    for (const row& r : rows) {
        std::vector<int32_t> out(r.a.size() + r.b.size() + 1, -7);
        int32_t n = merge_ascending_unique(r.a.data(), int32_t(r.a.size()), r.b.data(), int32_t(r.b.size()), out.data());
        EXPECT_EQ(std::vector<int32_t>(out.begin(), out.begin() + n), r.want);
    }
}

TEST_F(statues, near_a_point_are_the_statues_of_the_cells_within_six_feet)
{
    make_terrain(6, 4, [](float, float) { return 0.0f; });  // 512 ft, cells 48 ft from 64
    write_data_file("point.shp", "1\n0 0 0 0 1 1 0\n");
    write_data_file("wide.shp", "1\n0 0 0 50 1 1 0\n");
    create_statue(256, 0, 256, 0, nullptr, nullptr, "@point.shp");  // 0: cell (4, 4)
    create_statue(250, 0, 250, 0, nullptr, nullptr, "@point.shp");  // 1: cell (3, 3)
    create_statue(256, 0, 100, 0, nullptr, nullptr, "@wide.shp");   // 2: cells 2..5 x 0..1
    create_statue(20, 0, 20, 0, nullptr, nullptr, "@point.shp");    // 3: the corner cell
    rebuild_statue_grid();
    struct row {
        float x, z;
        std::vector<int32_t> want;
    } rows[] = {
        {280, 280, {0}},        // inside one cell
        {256, 256, {0, 1}},     // 6 ft reaches back into cell 3 (x, z from 250)
        {252, 100, {2}},        // cells 3..4 x 0..1: the wide one once
        {10, 10, {3}},          // the border cell
        {400, 400, {}},         // nothing there
    };
    for (const row& r : rows) {
        const int32_t* list = nullptr;
        int32_t n = statues_near(r.x, r.z, &list);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(std::vector<int32_t>(list, list + n), r.want) << r.x << "," << r.z;
    }
}

TEST_F(statues, a_rider_touches_the_statue_it_stands_in_and_no_other)
{
    make_terrain(6, 4, [](float, float) { return 0.0f; });  // the grid's 512 ft
    ride_test_world world;
    rider* r = world.add_rider("crf250(2013)", 0, 64, 64);
    ASSERT_NE(r, nullptr);
    world.run(64);
    const dReal* p = dBodyGetPosition(r->frame_body);
    // A 1-ft ball on the frame, one just out of reach of the bike (the
    // frame's spheres are well under 6 ft across), and one far off.
    write_data_file("ball.shp", "1\n0 0 0 1 1 1 0\n");
    int32_t on = create_statue(float(p[0]), 0, float(p[2]), 0, nullptr, nullptr, "@ball.shp");
    int32_t beside = create_statue(float(p[0]) + 8, 0, float(p[2]), 0, nullptr, nullptr, "@ball.shp");
    int32_t far = create_statue(float(p[0]) + 200, 0, float(p[2]), 0, nullptr, nullptr, "@ball.shp");
    ASSERT_GE(far, 0);
    statue_at(on)->y = float(p[1]);  // right on the frame body
    statue_at(beside)->y = float(p[1]);
    rebuild_statue_grid();
    for (int32_t i : {on, beside, far}) statue_at(i)->last_touch_tic = -1;
    tic_counter = 777;
    r->is_down = 0;
    // Made before the track's own statues, the ball counts as a start gate:
    // a gate that has lain flat long enough is passed over.
    int32_t own = track_objects.first_file_statue;
    track_objects.first_file_statue = on + 1;
    rider_statue_collide(world.w, r, false);
    EXPECT_EQ(statue_at(on)->last_touch_tic, -1) << "a fallen start gate is ground";
    EXPECT_FALSE(r->is_down);
    rider_statue_collide(world.w, r, true);
    track_objects.first_file_statue = own;
    EXPECT_EQ(statue_at(on)->last_touch_tic, 777);
    EXPECT_EQ(statue_at(beside)->last_touch_tic, -1);
    EXPECT_EQ(statue_at(far)->last_touch_tic, -1);
    EXPECT_TRUE(r->is_down) << "a touch puts the rider down";
    tic_counter = 0;
}

} // namespace
