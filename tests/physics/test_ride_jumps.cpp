// The generated tracks' jumps as the terrain holds them, against their own
// list (tracks/<name>/jumps): the take-off face concave up to a sharp lip at
// the listed angle, a landing that matches it, level across (no jump on a
// bend or a camber), and the listed design speed flown again here as a
// point's arc over the loaded terrain.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "physics/physics_constants.h"
#include "ride_fixture.h"
#include "terrain/heightfield.h"
#include "terrain/terrain_load.h"

namespace {

struct JumpShape : ::testing::TestWithParam<const char*> {
    ride_test_world world;
    void TearDown() override { ride_unload_track(); }
};

double height(const track_jump& j, double s, double across = 0)
{
    // across: to the left of the way the jump is ridden.
    return terrain_height_at(&track_terrain, float(j.x + s * j.dx + across * j.dz), float(j.z + s * j.dz - across * j.dx));
}

double degrees(double slope)
{
    return std::atan(slope) * 180 / phys::pi;
}

TEST_P(JumpShape, FacesAreConcaveLipsSharpLandingsMatchAndTheDesignSpeedLands)
{
    ASSERT_TRUE(ride_load_track(world, GetParam())) << "the generator writes it to build/data";
    std::vector<track_jump> jumps = track_jumps(GetParam());
    ASSERT_GE(jumps.size(), 4u);
    // The height grid: 2 ft on the stadium, 1.5 ft outdoors, where the jumps
    // run across it at an angle. Between samples the terrain is flat
    // triangles, which stand a concave arc on chords and round a lip that
    // falls between samples over one step. So slopes are read over a step,
    // the face's may dip by the arc's turn over a step (under 5 degrees
    // here) but never by more, and the ramp's angle is read one step back
    // from the lip, over the 2 ft before that.
    const double step = track_terrain.spacing;
    for (const track_jump& j : jumps) {
        SCOPED_TRACE(j.name);
        const double base = height(j, -10);
        EXPECT_NEAR(height(j, -5), base, 0.05) << "level before the face";
        double previous = -1;
        for (double s = step; s <= j.lip - step; s += step) {
            double slope = degrees((height(j, s) - height(j, s - step)) / step);
            EXPECT_GE(slope, previous - 5.0) << "concave at " << s;
            previous = std::max(previous, slope);
        }
        const double a = j.lip_degrees * phys::pi / 180;
        const double back = j.lip - step, ramp = (height(j, back) - height(j, back - 2)) / 2;
        EXPECT_NEAR(degrees(ramp), j.lip_degrees, 3.0) << "the ramp";
        EXPECT_NEAR(height(j, back) - base, j.lip_height - step * std::tan(a), 0.15) << "the ramp's height";
        // A sharp lip: nothing past it stands above it (no roll over).
        for (double s = j.lip; s < j.lip + 3 * step; s += 0.25)
            EXPECT_LE(height(j, s) - base, j.lip_height + 0.05) << "past the lip at " << s;
        // The landing's straight downslope at the lip's angle (a landing that
        // meets the arc along it), read over its lower half, and level
        // ground past the run-out.
        const double mid = 0.5 * (j.crest + j.slope_end);
        double landing = -degrees((height(j, j.slope_end - step) - height(j, mid)) / (j.slope_end - step - mid));
        EXPECT_NEAR(landing, j.lip_degrees, 3.0) << "the downslope";
        EXPECT_NEAR(height(j, j.end + 2), base, 0.3) << "back to the level";
        // Level across, 6 ft either side of the line at the lip and the
        // crest: no bend, no camber under the jump.
        for (double s : {j.lip - 1, j.crest + 1})
            EXPECT_NEAR(height(j, s, 6), height(j, s, -6), 0.15) << "across at " << s;
        // The design speed: a point leaving the lip at its angle flies its
        // arc over the terrain and comes down on the landing, between the
        // crest and the run-out's foot, near the middle.
        double s = j.lip, y = height(j, j.lip), vs = j.design_speed * std::cos(a), vy = j.design_speed * std::sin(a);
        for (int i = 0; i < 4096; i++) {
            s += vs / 1024;
            vy -= phys::gravity / 1024;
            y += vy / 1024;
            if (vy < 0 && y <= height(j, s))
                break;
        }
        EXPECT_GT(s, j.crest) << "clears the top or the gap";
        EXPECT_LT(s, j.end) << "comes down before the run-out's foot";
        EXPECT_NEAR(s, 0.5 * (j.crest + j.end), 1.0) << "the middle of the landing";
    }
}

INSTANTIATE_TEST_SUITE_P(Tracks, JumpShape, ::testing::Values("stadium", "practice"));

}  // namespace
