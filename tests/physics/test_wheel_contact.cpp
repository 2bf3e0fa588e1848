#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include <ode/ode.h>

#include "physics/physics_constants.h"
#include "physics/wheel_contact.h"

namespace {

// A small synthetic ground: size x size samples from a height function.
struct grid {
    std::vector<float> heights;
    ground_view view{};
    template <class F>
    grid(int size, float spacing, F height)
    {
        heights.resize((size_t)size * size);
        for (int j = 0; j < size; j++)
            for (int i = 0; i < size; i++)
                heights[(size_t)i + (size_t)size * j] = height(i * spacing, j * spacing);
        view.heights = heights.data();
        view.size = size;
        view.spacing = spacing;
        view.inv_spacing = 1.0f / spacing;
    }
};

struct ode_fixture : ::testing::Test {
    dWorldID world;
    dBodyID body;
    wheel_contact wheel{};
    void SetUp() override
    {
        dInitODE2(0);
        world = dWorldCreate();
        body = dBodyCreate(world);
        wheel.body = body;
        wheel.axis[0] = 1.0f;
        wheel.tyre_radius = 0.8f;
        wheel.tyre_section_radius = 0.3f;
    }
    void TearDown() override
    {
        dWorldDestroy(world);
        dCloseODE();
    }
};

using WheelContact = ode_fixture;

TEST_F(WheelContact, FlatGroundGivesDepthNormalAndPointBelowTheCentre)
{
    grid g(17, 1.0f, [](float, float) { return 2.0f; });
    dBodySetPosition(body, 7.3, 2.0 + 1.05, 6.6);  // outer radius 1.1: depth 0.05
    double p[3], n[3], depth;
    for (int full = 0; full < 2; full++) {
        int hit = full ? wheel_contact_search(g.view, wheel, p, n, &depth)
                       : wheel_contact_query(g.view, wheel, p, n, &depth);
        ASSERT_EQ(hit, 1);
        EXPECT_NEAR(depth, 0.05, 1e-6);  // radii are f32
        EXPECT_NEAR(n[0], 0.0, 1e-9);
        EXPECT_NEAR(n[1], 1.0, 1e-9);
        EXPECT_NEAR(p[0], 7.3, 1e-9);
        EXPECT_NEAR(p[1], 2.0, 1e-9);
        EXPECT_NEAR(p[2], 6.6, 1e-9);
    }
    dBodySetPosition(body, 7.3, 2.0 + 1.2, 6.6);
    EXPECT_EQ(wheel_contact_search(g.view, wheel, p, n, &depth), 0);
    EXPECT_EQ(depth, 0.0);
}

TEST_F(WheelContact, SlopeOfTwentyDegrees)
{
    const double slope = 20.0 * phys::pi / 180.0;
    // Rising toward -z (uphill ahead of the bike): the normal leans backward.
    grid g(33, 0.5f, [&](float, float z) { return (float)(-std::tan(slope) * z); });
    double cz = 8.0, ground = -std::tan(slope) * cz;
    double nz = std::sin(slope), ny = std::cos(slope);
    // Centre 1.05 from the plane (outer radius 1.1): depth 0.05 along the normal.
    dBodySetPosition(body, 8.0, ground + 1.05 / std::cos(slope), cz);
    double p[3], n[3], depth;
    ASSERT_EQ(wheel_contact_search(g.view, wheel, p, n, &depth), 1);
    EXPECT_NEAR(depth, 0.05, 1e-5);
    EXPECT_NEAR(n[1], ny, 1e-5);
    EXPECT_NEAR(n[2], nz, 1e-5);
    // The point lies ahead of and below the centre, on the plane.
    EXPECT_NEAR(p[2], cz - 1.05 * nz, 1e-4);
    EXPECT_NEAR(p[1], -std::tan(slope) * p[2], 1e-4);
    // The first-hit query stops at the first touching triangle: some contact,
    // never deeper than the full search.
    double full = depth;
    ASSERT_EQ(wheel_contact_query(g.view, wheel, p, n, &depth), 1);
    EXPECT_GT(depth, 0.0);
    EXPECT_LE(depth, full + 1e-9);
}

TEST_F(WheelContact, StepEdgeIsFoundByTheRingSamples)
{
    // A 0.5 ft kerb along x = 8: the tyre's front meets its corner, not a face.
    grid g(49, 0.25f, [](float x, float) { return x >= 8.0f ? 0.5f : 0.0f; });
    wheel.axis[0] = 0.0f;
    wheel.axis[2] = 1.0f;  // rolling along x
    dBodySetPosition(body, 8.0 - 0.9, 1.1 + 0.0, 2.0);
    double p[3], n[3], depth;
    ASSERT_EQ(wheel_contact_search(g.view, wheel, p, n, &depth), 1);
    EXPECT_GT(depth, 0.0);
    // The kerb pushes back and up.
    EXPECT_LT(n[0], 0.0);
    EXPECT_GT(n[1], 0.0);
    EXPECT_NEAR(std::hypot(n[0], n[1], n[2]), 1.0, 1e-9);
}

TEST_F(WheelContact, OutsideTheGridReadsTheClampedEdge)
{
    grid g(9, 1.0f, [](float x, float) { return 1.0f + x * 0.0f; });
    g.heights[8 + 9 * 8] = 1.0f;
    dBodySetPosition(body, -30.0, 1.0 + 1.0, 50.0);
    double p[3], n[3], depth;
    ASSERT_EQ(wheel_contact_search(g.view, wheel, p, n, &depth), 1);
    EXPECT_NEAR(depth, 0.1, 1e-6);
}

TEST_F(WheelContact, NonFiniteCentreGivesNoContact)
{
    grid g(9, 1.0f, [](float, float) { return 0.0f; });
    double p[3], n[3], depth = 5;
    dBodySetPosition(body, NAN, 0.0, 1.0);
    EXPECT_EQ(wheel_contact_search(g.view, wheel, p, n, &depth), 0);
    EXPECT_EQ(depth, 0.0);
    dBodySetPosition(body, 1.0, 0.0, INFINITY);
    EXPECT_EQ(wheel_contact_query(g.view, wheel, p, n, &depth), 0);
}

TEST(ContactNormal, CleanUpTable)
{
    struct row {
        double in[3], out[3];
    } rows[] = {
        {{0, 2, 0}, {0, 1, 0}},
        {{3, 4, 0}, {0.6, 0.8, 0}},
        {{0.01, -1, 0.01}, {0, 1, 0}},  // down with a tiny horizontal part
        {{3, -1, 4}, {0.6, 0, 0.8}},    // down: made horizontal
        {{0, 0, 0}, {0, 1, 0}},         // zero: straight up, not NaN
    };
    for (const row& r : rows) {
        double n[3] = {r.in[0], r.in[1], r.in[2]};
        contact_normal_clean(n);
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(n[k], r.out[k], 1e-12) << r.in[0] << "," << r.in[1] << "," << r.in[2];
    }
}

TEST(GroundCells, TriangleRuleByParity)
{
    grid g(5, 2.0f, [](float x, float z) { return x + 10 * z; });
    double tri[6][3];
    // Even cell (0, 0): both triangles share the diagonal (0,0)-(1,1).
    ground_cell_triangles(g.view, 0, 0, tri);
    auto has = [&](int t, double x, double z) {
        for (int v = 0; v < 3; v++)
            if (tri[3 * t + v][0] == x && tri[3 * t + v][2] == z)
                return true;
        return false;
    };
    EXPECT_TRUE(has(0, 0, 0) && has(0, 2, 2) && has(1, 0, 0) && has(1, 2, 2));
    // Odd cell (1, 0): the diagonal runs (2,0)-(1... i.e. (i+1, j)-(i, j+1).
    ground_cell_triangles(g.view, 1, 0, tri);
    EXPECT_TRUE(has(0, 4, 0) && has(0, 2, 2) && has(1, 4, 0) && has(1, 2, 2));
    EXPECT_FLOAT_EQ(tri[0][1], 2.0f);  // height of sample (1, 0)
}

TEST(GroundTiles, TileUnderAPointIsClamped)
{
    uint8_t tiles[4] = {1, 2, 3, 4};
    float h = 0;
    ground_view g{};
    g.heights = &h;
    g.size = 1;
    g.spacing = 1.0f;
    g.inv_spacing = 1.0f;
    g.tile_map = tiles;
    g.exponent = 1;
    EXPECT_EQ(ground_tile_at(g, 0.5, 0.5), 1);
    EXPECT_EQ(ground_tile_at(g, 2.5, 0.5), 2);
    EXPECT_EQ(ground_tile_at(g, 0.5, 2.5), 3);
    EXPECT_EQ(ground_tile_at(g, 100, 100), 4);
    EXPECT_EQ(ground_tile_at(g, -5, -5), 1);
}

}  // namespace
