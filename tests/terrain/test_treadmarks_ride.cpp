// A bike ridden on the generated practice track through the wheel contact's
// treadmark hook: prints lie on the ground under the wheels from the tic
// after touch-down on, and laying them changes nothing of the ride.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "physics/rider_build.h"
#include "physics/wheel_effects.h"
#include "ride_fixture.h"
#include "terrain/heightfield.h"
#include "terrain/treadmarks.h"

namespace {

struct ride_log {
    std::vector<double> bodies;  // every body's position and velocity at the end
    int touch_tic = -1, first_print_tic = -1;
    int32_t prints = 0;
    double worst_from_wheel = 0;  // ft from a new print's centre to its wheel's contact
};

// 2 s at 25 ft/s toward the tabletop's face, on its loam approach, dropped
// from just above the ground.
ride_log ride(bool with_prints)
{
    ride_log log;
    ride_test_world world;
    EXPECT_TRUE(ride_load_track(world, "practice")) << "the generator writes it to build/data";
    track_jump j;
    EXPECT_TRUE(track_jump_find("practice", "practice_tabletop", &j));
    // Heading 0 runs along -z; a turn by a about y runs along (-sin a, -cos a).
    double x = j.x - 40 * j.dx, z = j.z - 40 * j.dz;
    rider* r = world.add_rider("crf250(2013)", 0, x, z, std::atan2(-j.dx, -j.dz));
    treadmark_place = with_prints ? treadmark_place_on_track : nullptr;
    for (int tic = 0; tic < 256; tic++) {
        cruise(r, 25.0);
        world.tic();
        world.w.tic++;
        uint64_t before = track_treadmarks.laid;
        treadmarks_tic(world.w, r);
        if (log.touch_tic < 0 && (r->front_contact.depth > 0 || r->rear_contact.depth > 0)) log.touch_tic = tic;
        if (track_treadmarks.laid == before) continue;
        if (log.first_print_tic < 0) log.first_print_tic = tic;
        // The newest prints: each lies round one of the two wheels' contacts.
        for (uint64_t k = 0; k < track_treadmarks.laid - before; k++) {
            const treadmark_vertex* v =
                track_treadmarks.vertices + size_t(treadmark_slot_of_age(&track_treadmarks, int32_t(k))) * 4;
            double cx = 0, cz = 0;
            for (int c = 0; c < 4; c++) {
                cx += v[c].x / 4, cz += v[c].z / 4;
                EXPECT_NEAR(v[c].y, terrain_height_at(&track_terrain, v[c].x, v[c].z), 1e-4) << "on the ground";
            }
            double best = 1e9;
            for (const wheel_contact* w : {&r->front_contact, &r->rear_contact})
                best = std::fmin(best, std::hypot(cx - w->contact_point[0], cz - w->contact_point[2]));
            log.worst_from_wheel = std::fmax(log.worst_from_wheel, best);
        }
    }
    treadmark_place = nullptr;
    log.prints = track_treadmarks.count;
    dBodyID bodies[7];
    rider_bodies(r, bodies);
    for (dBodyID b : bodies) {
        const dReal* p = dBodyGetPosition(b);
        const dReal* v = dBodyGetLinearVel(b);
        log.bodies.insert(log.bodies.end(), {p[0], p[1], p[2], v[0], v[1], v[2]});
    }
    // How far it went, to know it rode.
    log.bodies.push_back(std::hypot(log.bodies[0] - x, log.bodies[2] - z));
    ride_unload_track();
    return log;
}

TEST(treadmark_ride, prints_follow_the_wheels_from_the_tic_after_touch_down_and_change_nothing)
{
    ride_log plain = ride(false);
    ride_log printed = ride(true);
    EXPECT_EQ(plain.prints, 0);
    ASSERT_GE(printed.touch_tic, 0);
    // At 25 ft/s a wheel covers 4 inches (the loam's spacing) in about 1.3
    // tics: prints come, but never on the touch-down tic itself.
    ASSERT_GE(printed.first_print_tic, 0);
    EXPECT_GT(printed.first_print_tic, printed.touch_tic);
    // Two wheels, one print every 4 inches (the loam's spacing) each, along
    // the way the frame went (the wheels' ways differ by less than 5%).
    EXPECT_GT(plain.bodies.back(), 30.0) << "the bike rode on";
    double expected = 2 * plain.bodies.back() / (4.0 / 12.0);
    EXPECT_NEAR(printed.prints, expected, 0.1 * expected);
    // A print sits a stamp behind its wheel: under a tic's travel (25 ft/s /
    // 128 = 0.2 ft) plus one spacing (0.33 ft) away, on loam without offset.
    EXPECT_LT(printed.worst_from_wheel, 0.6);
    // Bit for bit the same ride: prints are only seen.
    ASSERT_EQ(plain.bodies.size(), printed.bodies.size());
    EXPECT_EQ(std::memcmp(plain.bodies.data(), printed.bodies.data(), sizeof(double) * plain.bodies.size()), 0);
    printf("touch-down tic %d, first print tic %d, %d prints over %.1f ft, farthest %.2f ft from its wheel\n",
           printed.touch_tic, printed.first_print_tic, printed.prints, printed.bodies.back(), printed.worst_from_wheel);
}

} // namespace
