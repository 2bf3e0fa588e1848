// The lens flare's depth test and edge fade, worked out by hand.
#include <gtest/gtest.h>

#include "ui/lens_flare.h"

namespace {

TEST(linear_depth, near_plane_is_zero_far_plane_is_one)
{
    // A perspective depth buffer value d of a point at eye distance z is
    // (1/n - 1/z) / (1/n - 1/f); the linear fraction is (z - n) / (f - n).
    const float n = 0.25f, f = 6000;
    for (float z : {0.25f, 1.0f, 10.0f, 500.0f, 6000.0f}) {
        float d = (1 / n - 1 / z) / (1 / n - 1 / f);
        EXPECT_NEAR(linear_depth(d, n, f), (z - n) / (f - n), 1e-4) << z;
    }
}

TEST(flare_edge_fade, inside_at_and_past_the_edges)
{
    const float tx = 1.6f, ty = 0.9f, m = 0.9f / 32;
    struct row {
        float sx, sy, want;
    } rows[] = {
        {0, 0, 1},
        {tx, 0, 0},                   // on the right edge
        {-tx, 0, 0},                  // on the left edge
        {tx - m / 2, 0, 0.5f},        // half way through the fade
        {0, ty - m / 4, 0.25f},       // near the top
        {tx - m / 2, ty - m / 4, 0.25f},  // the smaller of the two
        {2 * tx, 0, 0},               // beyond it
    };
    for (const row& r : rows) EXPECT_NEAR(flare_edge_fade(r.sx, r.sy, tx, ty), r.want, 1e-4) << r.sx << "," << r.sy;
}

}  // namespace
