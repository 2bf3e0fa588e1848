// The ground tools on a 33 x 33 grid of 1-ft cells, with no window: brushes
// measured against worked-out falloff and disc means, Smooth's running sum
// against a brute-force disc, Smudge, the gradient brushes, Snap, tile
// painting and the decal tool's selection and group arithmetic.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "core/rng.h"
#include "editor/editor_state.h"
#include "editor/gradients.h"
#include "editor/terrain_tools.h"
#include "terrain/decals.h"
#include "terrain/terrain.h"

namespace {

constexpr int32_t n = 33;
constexpr int32_t pad = 64;  // sentinels on both sides of the grid
constexpr float sentinel = 12345.0f;

// The view: zoom 0 shows the whole 32-ft side over 640 pixels, 20 px per ft,
// centred on (16, 16); Radius 80 px is then R = 4 ft.
struct ground : ::testing::Test {
    terrain t{};
    std::vector<float> block;
    std::vector<uint8_t> tiles;
    void SetUp() override
    {
        t.size = n;
        t.exponent = 4;  // 2^(4+1) + 1 samples
        t.extent = float(n - 1);
        t.spacing = 1;
        t.inv_spacing = 1;
        block.assign(size_t(n) * n + 2 * pad, sentinel);
        t.heights = block.data() + pad;
        for (int32_t i = 0; i < n * n; i++) t.heights[i] = 0;
        tiles.assign(16 * 16, 0);
        t.tile_map = tiles.data();
        decals_init(&t);
        editor_state_begin(&t);
        editor.window_w = editor.window_h = 640;
        editor.settings.zoom = 0;
        editor.settings.radius = 80;
        editor.settings.focus = 0.5;
        editor.settings.strength = 0;
        aim(16, 16);
    }
    void TearDown() override
    {
        editor_state_end();
        decals_free(&t);
    }
    void aim(float x, float z)
    {
        editor.cursor[0] = int32_t(std::lround(320 + (x - 16) * 20));
        editor.cursor[1] = int32_t(std::lround(320 + (z - 16) * 20));
    }
    float& h(int32_t x, int32_t z) { return t.heights[z * n + x]; }
    // Sets the loaded ground and commits it, as a load would.
    template <class F> void shape(F f)
    {
        for (int32_t z = 0; z < n; z++)
            for (int32_t x = 0; x < n; x++) h(x, z) = f(x, z);
        editor.pending = 1;
        editor_commit();
    }
    // One press, `tics` held tics at the cursor, one release: as the editor
    // drives a brush tool.
    void press_hold_release(int tics)
    {
        editor_commit();
        editor.line_anchor[0] = editor.line_anchor[1] = -1;
        for (int k = 0; k < tics; k++) stroke_driver_tic();
        editor.line_anchor[0] = editor.line_anchor[1] = -1;
        editor_commit();
    }
    bool sentinels_intact() const
    {
        for (int32_t k = 0; k < pad; k++)
            if (block[size_t(k)] != sentinel || block[block.size() - 1 - size_t(k)] != sentinel) return false;
        return true;
    }
};

// The smooth falloff between Ri = 2 and R = 4, worked by hand:
// K = 1 - 3t^2 + 2t^3 with t = (D - 2) / 2.
struct falloff_case {
    int32_t dx, dz;
    float k;
};
const falloff_case raise_ring[] = {
    {0, 0, 1.0f},   {1, 1, 1.0f},    {2, 0, 1.0f},  // inside Ri (D = 2 gives t = 0)
    {3, 0, 0.5f},   {0, -3, 0.5f},   // D = 3: t = 1/2, K = 1 - 3/4 + 2/8
    {2, 2, 0.627417f},               // D = 2.828: t = 0.41421, K = 1 - 0.51472 + 0.14214
    {4, 0, 0.0f},   {3, 3, 0.0f},   {0, 5, 0.0f},  // at or beyond R
};

TEST_F(ground, raise_at_strength_0_lifts_the_centre_one_foot_and_the_ring_by_the_falloff)
{
    editor.tool = tool_raise;
    press_hold_release(20);  // held still: still one foot over the snapshot
    for (const falloff_case& c : raise_ring)
        EXPECT_NEAR(h(16 + c.dx, 16 + c.dz), c.k, 1e-5f) << c.dx << "," << c.dz;
    EXPECT_EQ(h(16, 16), 1.0f);
    press_hold_release(5);  // a second press after the commit: one more foot
    for (const falloff_case& c : raise_ring)
        EXPECT_NEAR(h(16 + c.dx, 16 + c.dz), 2 * c.k, 2e-5f) << c.dx << "," << c.dz;
    EXPECT_EQ(h(16, 16), 2.0f);
    EXPECT_EQ(t.change_flags, 3);  // modified; the release's commit took the uncommitted bit
    EXPECT_TRUE(sentinels_intact());
}

TEST_F(ground, submodes_focus_and_strength_table)
{
    struct row {
        int32_t tool, submode;
        double focus, strength;
        float centre, at_3_0, at_3_2;  // (3,2): D = 3.606
    };
    const row rows[] = {
        // D = 3.606: t = 0.80278, K = 1 - 3 t^2 + 2 t^3 = 0.101349
        {tool_raise, submode_assign, 0.5, 0, 1, 0.5f, 0.101349f},
        {tool_lower, submode_assign, 0.5, 1, -2, -1, -0.202699f},     // s = 2
        {tool_lower, submode_raise_only, 0.5, 1, 0, 0, 0},            // Lower never raises
        {tool_raise, submode_lower_only, 0.5, 1, 0, 0, 0},
        {tool_raise, submode_assign, 1.0, -1, 0.5f, 0.5f, 0.5f},      // Focus 1: full amount inside R
    };
    for (const row& r : rows) {
        shape([](int32_t, int32_t) { return 0.0f; });
        editor.tool = r.tool;
        editor.settings.submode = r.submode;
        editor.settings.focus = r.focus;
        editor.settings.strength = r.strength;
        press_hold_release(3);
        EXPECT_FLOAT_EQ(h(16, 16), r.centre) << r.tool << " " << r.submode;
        EXPECT_NEAR(h(19, 16), r.at_3_0, 1e-5f) << r.tool << " " << r.submode;
        EXPECT_NEAR(h(19, 18), r.at_3_2, 1e-5f) << r.tool << " " << r.submode;
        EXPECT_EQ(h(20, 16), 0.0f);  // D = 4 = R: outside
    }
}

TEST_F(ground, a_capsule_past_the_edge_changes_only_points_inside_the_grid)
{
    editor.tool = tool_raise;
    editor.settings.focus = 1;
    // From 3 ft left of the grid to its corner column: every grid point
    // within 4 ft of the segment rises 1 ft, nothing else moves.
    brush_stroke(-3, 16, 0, 16, 4, 4, 1);
    int changed = 0;
    for (int32_t z = 0; z < n; z++)
        for (int32_t x = 0; x < n; x++) {
            // Right of the segment's end the nearest point is the end (0, 16).
            float d = std::hypot(float(x), float(z - 16));
            float want = d < 4 ? 1.0f : 0.0f;
            EXPECT_EQ(h(x, z), want) << x << "," << z;
            changed += want != 0;
        }
    // Columns 0, 1, 2 reach |dz| <= 3 (7 points each), column 3 |dz| <= 2 (5).
    EXPECT_EQ(changed, 7 + 7 + 7 + 5);
    // A capsule wholly outside changes nothing and touches no memory beside the grid.
    brush_stroke(-40, -40, -20, -30, 4, 4, 1);
    brush_stroke(60, 60, 80, 90, 4, 4, 1);
    EXPECT_EQ(h(0, 0), 0.0f);
    EXPECT_EQ(h(n - 1, n - 1), 0.0f);
    EXPECT_TRUE(sentinels_intact());
}

TEST_F(ground, a_line_anchor_joins_the_next_stroke_into_one_capsule)
{
    editor.tool = tool_raise;
    editor.settings.focus = 1;
    editor_commit();
    editor.line_anchor[0] = 6, editor.line_anchor[1] = 10;  // set by "l" earlier
    aim(26, 10);
    stroke_driver_tic();
    EXPECT_EQ(editor.line_anchor[0], 26.0f);  // the next tic starts here
    EXPECT_EQ(editor.tic_count, 1);
    for (int32_t x = 0; x < n; x++) {
        // Along the segment every point within 4 ft rises; past its ends the
        // rounded caps reach 3 cells.
        float along = x < 6 ? 6.0f - float(x) : (x > 26 ? float(x) - 26 : 0.0f);
        EXPECT_EQ(h(x, 13), along < std::sqrt(7.0f) ? 1.0f : 0.0f) << x;  // 3 ft aside
        EXPECT_EQ(h(x, 10), along < 4 ? 1.0f : 0.0f) << x;
    }
    EXPECT_EQ(h(16, 14), 0.0f);  // 4 ft aside: on the rim, outside
}

TEST_F(ground, smooth_at_strength_minus_5_averages_three_points_of_the_row)
{
    // x^2 + 7 z^2: the mean of x-1, x, x+1 adds 2/3; rows above and below
    // would add 14/3 more, so only the row counts.
    shape([](int32_t x, int32_t z) { return float(x * x + 7 * z * z); });
    editor.tool = tool_smooth;
    editor.settings.focus = 1;
    editor.settings.strength = -5;
    press_hold_release(1);
    for (int32_t x = 13; x <= 19; x++) EXPECT_NEAR(h(x, 16), float(x * x + 7 * 256) + 2.0f / 3, 1e-3f) << x;
    EXPECT_EQ(h(16, 20), float(256 + 7 * 400));  // D = 4: outside
}

// The disc mean worked from its definition: lattice points (k, c) with
// |k| < rho and k^2 + c^2 <= rho^2, indexes clamped to the grid.
double disc_mean_by_definition(const std::vector<float>& grid, int32_t i, int32_t j, int32_t rho)
{
    double sum = 0;
    long count = 0;
    for (int32_t k = -(rho - 1); k <= rho - 1; k++)
        for (int32_t c = -rho; c <= rho; c++) {
            if (k * k + c * c > rho * rho) continue;
            int32_t r = std::clamp(i + k, 0, n - 1), col = std::clamp(j + c, 0, n - 1);
            sum += grid[size_t(r) * n + col];
            count++;
        }
    return sum / double(count);
}

TEST_F(ground, smooth_running_sum_matches_the_full_disc_on_random_grids_near_the_edges)
{
    std::mt19937 random(20261211);
    std::uniform_real_distribution<float> height(-50, 50);
    editor.tool = tool_smooth;
    for (int32_t rho : {1, 2, 3, 5, 8, 13}) {
        for (int trial = 0; trial < 3; trial++) {
            std::vector<float> grid(size_t(n) * n);
            for (float& v : grid) v = height(random);
            shape([&](int32_t x, int32_t z) { return grid[size_t(z) * n + x]; });
            // Centred near a corner or an edge, covering the clamped rows and columns.
            float cx = trial == 0 ? 2.0f : (trial == 1 ? 30.0f : 16.0f), cz = trial == 2 ? 1.0f : 29.0f;
            brush_stroke(cx, cz, cx, cz, 9, 9, float(rho) + 0.5f);
            int compared = 0;
            for (int32_t z = 0; z < n; z++)
                for (int32_t x = 0; x < n; x++) {
                    if (std::hypot(float(x) - cx, float(z) - cz) >= 9) continue;
                    // Heights up to 50 in float: two units in the last place.
                    EXPECT_NEAR(h(x, z), disc_mean_by_definition(grid, z, x, rho), 8e-6)
                        << "rho " << rho << " at " << x << "," << z;
                    compared++;
                }
            EXPECT_GT(compared, 100);
            editor.pending = 0;
        }
    }
}

TEST_F(ground, smudge_needs_a_foot_of_movement_then_drags_the_slope_along)
{
    shape([](int32_t x, int32_t) { return float(x); });
    editor.tool = tool_smudge;
    editor.settings.focus = 1;
    editor.settings.strength = 1;  // s = 2: samples at 0, 0.5, 1, 1.5 ft
    editor_commit();
    editor_cursor_world(&editor.smudge_origin[0], &editor.smudge_origin[1]);  // the press
    aim(16.5f, 16);
    stroke_driver_tic();
    EXPECT_EQ(h(16, 16), 16.0f);
    EXPECT_EQ(editor.smudge_origin[0], 16.0f);
    EXPECT_EQ(editor.pending, 0);
    aim(17.5f, 16);  // 1.5 ft: the origin trails to 1 ft behind, towards -x
    stroke_driver_tic();
    EXPECT_FLOAT_EQ(editor.smudge_origin[0], 16.5f);
    // On z = x the samples at x, x - 0.5, x - 1, x - 1.5 average to x - 0.75.
    EXPECT_FLOAT_EQ(h(17, 16), 17 - 0.75f);
    EXPECT_FLOAT_EQ(h(19, 17), 19 - 0.75f);
    EXPECT_EQ(h(22, 16), 22.0f);  // beyond R
}

TEST_F(ground, gradient_brush_reaches_its_target_in_one_tic_at_strength_0_and_two_at_minus_1)
{
    gradient_new();
    gradient* g = array_items<gradient>(&editor.gradients);
    g->start_x = 0, g->start_z = 16, g->end_x = 32, g->end_z = 16;
    gradient_flatten();
    array_items<gradient_point>(&g->points)[0].height = 8;
    array_items<gradient_point>(&g->points)[1].height = 8;
    editor.settings.focus = 1;
    struct row {
        int32_t tool;
        double strength;
        float after[3];
    };
    const row rows[] = {
        {tool_gradient_linear_paint, 0, {8, 8, 8}},
        {tool_gradient_linear_paint, 2, {8, 8, 8}},
        {tool_gradient_linear_paint, -1, {4, 8, 8}},
        {tool_gradient_radial_add, -1, {4, 8, 8}},
    };
    for (const row& r : rows) {
        shape([](int32_t, int32_t) { return 0.0f; });
        editor.tool = r.tool;
        editor.settings.strength = r.strength;
        editor_commit();
        editor.line_anchor[0] = -1;
        for (float want : r.after) {
            stroke_driver_tic();
            EXPECT_FLOAT_EQ(h(16, 16), want) << r.tool << " " << r.strength;
        }
    }
}

TEST_F(ground, no_brush_stores_a_non_finite_height_and_a_locked_ground_stays)
{
    gradient_new();
    gradient* g = array_items<gradient>(&editor.gradients);
    array_items<gradient_point>(&g->points)[1].height = INFINITY;
    editor.tool = tool_gradient_linear_add;
    editor.settings.focus = 1;
    press_hold_release(2);
    for (int32_t i = 0; i < n * n; i++) ASSERT_TRUE(std::isfinite(t.heights[i])) << i;
    editor.tool = tool_raise;
    t.deform_lock = 1;
    press_hold_release(2);
    EXPECT_EQ(h(16, 16), 0.0f);
    brush_stroke(NAN, 0, 3, 3, 4, 2, 1);
    EXPECT_TRUE(sentinels_intact());
}

TEST_F(ground, snap_sets_the_coarse_square_to_the_corner_planes)
{
    // A bump in the middle of the 4 x 4 square (16..20, 16..20); the corners
    // lie on the plane 2 + x / 4, which Snap must restore everywhere.
    shape([](int32_t x, int32_t z) { return 2 + float(x) / 4 + ((x == 18 && z == 18) ? 5.0f : 0.0f); });
    editor.tool = tool_snap;
    editor.settings.strength = 2;  // s = 4: g = 4 cells
    aim(17.5f, 18.2f);
    editor.tic_count = 0;
    snap_tic();
    for (int32_t z = 16; z <= 20; z++)
        for (int32_t x = 16; x <= 20; x++) EXPECT_FLOAT_EQ(h(x, z), 2 + float(x) / 4) << x << "," << z;
    EXPECT_EQ(editor.pending, 1);
    // The next 15 tics do nothing; the 16th acts again.
    h(17, 17) = 9;
    for (int k = 0; k < 15; k++) snap_tic();
    EXPECT_EQ(h(17, 17), 9.0f);
    snap_tic();
    EXPECT_FLOAT_EQ(h(17, 17), 2 + 17.0f / 4);
    // Left of the grid: the square 0..4 is used and no index goes negative.
    aim(-3, -3);
    editor.tic_count = 0;
    snap_tic();
    EXPECT_TRUE(sentinels_intact());
}

TEST_F(ground, tile_painting_reaches_every_tile_whose_centre_lies_within_R)
{
    editor.tool = tool_tilemap_edit;
    editor.settings.tile = 7;
    editor.settings.radius = 60;  // R = 3 ft
    aim(16, 17);
    editor.tic_count = 0;
    tilemap_paint_tic();
    // Tile centres lie at odd cells 2tx + 1. Within 3 ft of (16, 17): x 15
    // and 17 for z 15, 17, 19, and x 13 and 19 at z 17, exactly 3 ft away.
    for (int32_t tz = 0; tz < 16; tz++)
        for (int32_t tx = 0; tx < 16; tx++) {
            float d = std::hypot(float(2 * tx + 1) - 16, float(2 * tz + 1) - 17);
            EXPECT_EQ(tiles[size_t(tz) * 16 + tx], d <= 3 ? 7 : 0) << tx << "," << tz;
        }
    EXPECT_EQ(t.change_flags, 7);
    editor.settings.tile = 9;
    tilemap_paint_tic();  // the next 31 tics wait
    EXPECT_EQ(tiles[8 * 16 + 6], 7);  // centre (13, 17), on the rim
    EXPECT_EQ(tiles[8 * 16 + 7], 7);
}

TEST_F(ground, tile_preview_cells_of_the_atlas)
{
    struct row {
        int32_t tiles, tile;
        float uv[4];
    } rows[] = {
        {1, 0, {0.0625f, 0.0625f, 0.9375f, 0.9375f}},  // one tile: the whole texture, inset
        {5, 4, {0.015625f, 0.265625f, 0.234375f, 0.484375f}},  // 4 x 4 atlas: cell (0, 1)
        {5, 9, {0.015625f, 0.265625f, 0.234375f, 0.484375f}},  // past the last tile: the last
        {4, 3, {0.53125f, 0.53125f, 0.96875f, 0.96875f}},      // 2 x 2 atlas: cell (1, 1)
    };
    for (const row& r : rows) {
        t.tile_count = r.tiles;
        float uv[4];
        tile_atlas_cell(r.tile, uv);
        for (int k = 0; k < 4; k++) EXPECT_FLOAT_EQ(uv[k], r.uv[k]) << r.tiles << " " << r.tile << " " << k;
    }
}

// ---- Decals -------------------------------------------------------------------

struct decals : ground {
    void add(uint32_t kind, float x, float z, float angle = 0, float size = 2)
    {
        decal d{};
        d.textures[0] = kind;
        d.x = x, d.z = z, d.size = size, d.angle = angle, d.sine = std::sin(angle), d.cosine = std::cos(angle);
        decal_insert(&t, t.decals.count, &d);
    }
    const decal& at(int32_t i) { return array_items<decal>(&t.decals)[i]; }
};

TEST_F(decals, deleting_the_selected_decal_with_x_selects_the_last_of_its_kind)
{
    add(1, 5, 5);
    add(2, 10, 10);
    add(1, 20, 20);
    add(1, 25, 25);
    add(2, 28, 28);
    editor.selected_decal = 2;
    int32_t member = 3;
    array_push(&editor.decal_group, &member);
    aim(20, 20);
    EXPECT_EQ(decal_key('x'), 1);
    ASSERT_EQ(t.decals.count, 4);
    // The kind-1 decal at (25, 25) was index 3 and is now 2, the last of its kind.
    EXPECT_EQ(editor.selected_decal, 2);
    EXPECT_EQ(at(2).x, 25.0f);
    EXPECT_EQ(editor.decal_group.count, 0);
    // "X" with the brush radius (4 ft) clears a crowd, from the top down.
    add(1, 26, 26);
    add(1, 27, 25);
    aim(26, 26);
    EXPECT_EQ(decal_key('X'), 1);
    ASSERT_EQ(t.decals.count, 2);  // (25,25), (26,26), (27,25), (28,28) all within 4 ft
    EXPECT_EQ(editor.selected_decal, 0);  // last remaining kind 1: (5, 5)
    EXPECT_EQ(at(0).x, 5.0f);
    EXPECT_EQ(decal_key('q'), 0);
}

TEST_F(decals, the_group_follows_moves_turns_and_scales_of_the_selected_decal)
{
    add(1, 10, 10);        // the selected decal, angle 0
    add(2, 14, 10, 0.5f);  // a group member 4 ft along +x
    editor.selected_decal = 0;
    int32_t member = 1;
    array_push(&editor.decal_group, &member);
    // Grab the decal and drag it to (20, 20): the member keeps its offset.
    aim(10, 10);
    decal_press();
    EXPECT_EQ(editor.grab_mode, 1);
    aim(20, 20);
    decal_drag_tic();
    EXPECT_FLOAT_EQ(at(1).x, 24);
    EXPECT_FLOAT_EQ(at(1).z, 20);
    // Turn it by dragging its handle: the cursor at (16, 20) makes the angle
    // atan2(20 - 16, 20 - 20) = pi/2. The offset (4, 0) rotates to
    // (4 cos + 0 sin, 0 cos - 4 sin) = (0, -4) and the member turns too.
    editor.grab_mode = 2;
    aim(16, 20);
    decal_drag_tic();
    EXPECT_NEAR(at(0).angle, 1.5707964f, 1e-6f);
    EXPECT_NEAR(at(1).x, 20, 1e-5f);
    EXPECT_NEAR(at(1).z, 16, 1e-5f);
    EXPECT_NEAR(at(1).angle, 0.5f + 1.5707964f, 1e-5f);
    EXPECT_NEAR(at(1).sine, std::sin(0.5f + 1.5707964f), 1e-5f);
    // "}" scales the offset by 1.0666667 about the selected decal, "{" by 0.9375.
    decal_key('}');
    EXPECT_NEAR(at(1).z, 20 - 4 * 1.0666667f, 1e-4f);
    decal_key('{');
    EXPECT_NEAR(at(1).z, 20 - 4 * 1.0666667f * 0.9375f, 1e-4f);
    EXPECT_NEAR(at(1).x, 20, 1e-4f);
    EXPECT_NEAR(at(1).angle, 0.5f + 1.5707964f, 1e-5f);  // scaling keeps angles
}

TEST_F(decals, placing_copies_with_flow_at_the_level_over_the_current_run)
{
    add(1, 10, 10);
    add(1, 12, 10);
    add(2, 30, 30);
    editor.selected_decal = 0;
    editor.settings.decal_orientation = orient_flow;
    editor.settings.decal_level = level_over_current;
    aim(10, 20);  // empty ground: the press places a copy there
    decal_press();
    ASSERT_EQ(t.decals.count, 4);
    // Over the run of kind 1 that starts at index 0: index 2, before the kind-2 decal.
    EXPECT_EQ(editor.selected_decal, 2);
    EXPECT_EQ(at(2).x, 10.0f);
    EXPECT_EQ(at(2).z, 20.0f);
    EXPECT_NEAR(std::fabs(at(2).angle), 3.1415927f, 1e-6f);  // pointing back along -z
    EXPECT_EQ(at(3).textures[0], 2u);
    // Painting: a decal only once the cursor is size x Spacing (1.5 ft) away.
    aim(10, 21);
    decal_drag_tic();
    EXPECT_EQ(t.decals.count, 4);
    aim(10, 21.6f);
    decal_drag_tic();
    EXPECT_EQ(t.decals.count, 5);
    // "d" steps one size x Spacing towards the cursor.
    aim(30, 21.6f);
    decal_key('d');
    EXPECT_NEAR(at(editor.selected_decal).x, 11.5f, 1e-5f);
    // Top and Bottom.
    editor.settings.decal_level = level_top;
    EXPECT_EQ(decal_level_index(0), t.decals.count);
    editor.settings.decal_level = level_bottom;
    EXPECT_EQ(decal_level_index(2), 0);
    editor.settings.decal_level = level_under_current;
    EXPECT_EQ(decal_level_index(1), 0);
}

TEST_F(decals, uphill_follows_the_ground_normal_and_flat_ground_draws_at_random)
{
    // Ground rising by 1 ft per ft towards +x: the normal leans to -x, so
    // its horizontal part (-1, 0) gives the angle atan2(-1, 0) = -pi/2.
    shape([](int32_t x, int32_t) { return float(x); });
    add(1, 10, 10);
    editor.selected_decal = 0;
    editor.settings.decal_orientation = orient_uphill;
    aim(20.5f, 12.5f);
    decal_place(0);
    EXPECT_NEAR(at(editor.selected_decal).angle, -1.5707964f, 1e-5f);
    EXPECT_NEAR(at(editor.selected_decal).sine, -1, 1e-5f);
    // On flat ground the normal has no horizontal part: a random angle.
    shape([](int32_t, int32_t) { return 3.0f; });
    for (int k = 0; k < 8; k++) {
        decal_place(0);
        float a = at(editor.selected_decal).angle;
        EXPECT_GE(a, -3.1415927f);
        EXPECT_LE(a, 3.1415927f);
    }
}

TEST_F(decals, random_angles_stay_within_minus_pi_and_pi)
{
    add(1, 16, 16);
    editor.selected_decal = 0;
    editor.settings.decal_orientation = orient_random;
    editor.settings.decal_level = level_top;
    mt_seed(7);
    float lo = 10, hi = -10;
    for (int k = 0; k < 400; k++) {
        aim(16 + float(k % 20) * 0.5f, 10);
        decal_place(0);
        float a = at(editor.selected_decal).angle;
        ASSERT_GE(a, -3.1415927f);
        ASSERT_LE(a, 3.1415927f);
        lo = std::fmin(lo, a), hi = std::fmax(hi, a);
    }
    EXPECT_LT(lo, -2.5f);
    EXPECT_GT(hi, 2.5f);
}

TEST_F(decals, the_group_is_toggled_and_an_empty_table_is_safe)
{
    decal_key('x');  // nothing to delete
    decal_press();   // nothing to copy
    EXPECT_EQ(t.decals.count, 0);
    add(1, 10, 10);
    add(1, 11, 10);
    add(1, 20, 20);
    editor.selected_decal = 0;
    aim(11, 10);
    decal_key('m');
    ASSERT_EQ(editor.decal_group.count, 1);
    EXPECT_EQ(array_items<int32_t>(&editor.decal_group)[0], 1);
    decal_key('m');
    EXPECT_EQ(editor.decal_group.count, 0);
    decal_key('M');  // radius R = 4 ft: only index 1 besides the selected one
    EXPECT_EQ(editor.decal_group.count, 1);
    decal_key('M');  // without toggle it stays
    EXPECT_EQ(editor.decal_group.count, 1);
    editor.selected_decal = 99;  // out of range means none
    decal_key('d');
    decal_key('}');
    EXPECT_EQ(t.decals.count, 3);
}

}  // namespace
