// The orbit camera's place: behind the watched bike at the orbit height over
// the chase centre, and never less than 5 ft over the ground round it.
#include <gtest/gtest.h>

#include <cmath>

#include "core/game_state.h"
#include "game/cameras.h"
#include "game/startup.h"
#include "physics/rider.h"
#include "ride_fixture.h"
#include "track_fixture.h"

namespace {

using orbit_camera = track_fixture;

TEST_F(orbit_camera, orbit_height_over_the_bike_or_five_feet_over_a_higher_ground)
{
    ride_test_world world;
    rider* r = world.add_rider("crf250(2013)", 0, 64, 64);
    ASSERT_NE(r, nullptr);
    world.run(32);
    rider_table[0] = r;
    watched_slot = 0;
    dVector3 centre;
    dBodyGetRelPointPos(r->frame_body, options.chase_centre[0], options.chase_centre[1], options.chase_centre[2],
                        centre);
    struct row {
        float ground, height;  // the program's ground (flat) and the camera's height wanted
    } rows[] = {
        {0, float(centre[1]) + options.orbit_height},  // the orbit height above the centre
        {-30, float(centre[1]) + options.orbit_height},
        {40, 45},  // a plateau above the bike: 5 ft over it
    };
    for (const row& w : rows) {
        make_terrain(6, 4, [&](float, float) { return w.ground; });
        float position[3], rotation[9];
        ASSERT_TRUE(orbit_camera_place(position, rotation));
        EXPECT_NEAR(position[1], w.height, 1e-3f) << "ground " << w.ground;
        // Still orbit_distance away on the level.
        EXPECT_NEAR(std::hypot(position[0] - float(centre[0]), position[2] - float(centre[2])), options.orbit_distance,
                    1e-3f);
    }
    rider_table[0] = nullptr;
}

}  // namespace
