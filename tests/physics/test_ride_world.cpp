// The program's physics world and the race step's per-rider calls on it.
#include <gtest/gtest.h>

#include <cmath>

#include "core/game_state.h"
#include "physics/physics_constants.h"
#include "physics/physics_world.h"
#include "physics/rider_access.h"
#include "physics/rider_build.h"
#include "physics/physics_ground.h"
#include "ride_fixture.h"
#include "support/temp_dir.h"
#include "terrain/heightfield.h"
#include "terrain/terrain_load.h"

namespace {

// The race step for one rider through the program's world (its world,
// group, ground and clock), from tic 0 of a race started at 0.
void race_steps(rider* r, int tics)
{
    tic_counter = 0;
    race_start_tic = 0;
    for (int i = 0; i < tics; i++) {
        ride_world w = physics_current();
        ride_step(w, &r, 1);
        tic_counter = w.tic;
    }
}

TEST(PhysicsWorld, ARiderStandsOnTheFlatGroundOfAnEmptyWorld)
{
    physics_world_create();
    ASSERT_NE(physics_world, nullptr);
    dWorldID first = physics_world;
    physics_world_create();  // once only
    EXPECT_EQ(physics_world, first);
    dVector3 g;
    dWorldGetGravity(physics_world, g);
    EXPECT_EQ(g[1], -32.0);

    // With the world there, creating a rider builds it at its rest pose.
    rider* r = rider_create("cr125", 5, 1, "7", nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(r);
    ASSERT_NE(r->frame_body, nullptr);
    EXPECT_EQ(dBodyGetWorld(r->frame_body), physics_world);
    EXPECT_EQ(rider_build_in_world(r), 0) << "built once";
    rider_fall(r);
    rider_reset_controls(r);
    r->throttle = 0.0f;
    race_steps(r, 640);  // 5 s
    EXPECT_GT(r->front_contact.depth, 0.0f);
    EXPECT_GT(r->rear_contact.depth, 0.0f);
    // Standing: the stand-up assist sways it side to side at up to its
    // sway speed, and nothing else moves it (sinking or rolling off would).
    const dReal* v = dBodyGetLinearVel(r->frame_body);
    EXPECT_LT(std::fabs(v[1]), 0.01);
    EXPECT_LT(std::hypot(v[0], v[2]), phys::standup_sway_speed + 0.01);
    rider_destroy(r);
    physics_world_destroy();
    EXPECT_EQ(physics_world, nullptr);
    tic_counter = 0;
}

// A track load points the program's ground at the terrain: the race step's
// calls then ride on it. Here the middle of the stadium's finish table's top,
// where the generator's list of jumps puts it.
TEST(PhysicsWorld, ALoadedTrackIsTheGroundOfTheRaceStep)
{
    ASSERT_TRUE(terrain_load(&track_terrain, "../data/tracks/stadium")) << "the generator writes it to build/data";
    physics_ground_from_terrain(&track_terrain);
    EXPECT_EQ(physics_current().ground.heights, track_terrain.heights);
    physics_world_create();
    rider* r = rider_create("crf250(2013)", 3, 1, "3", nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(r);
    rider_fall(r);
    rider_reset_controls(r);
    r->throttle = 0.0f;
    track_jump table{};
    ASSERT_TRUE(track_jump_find("stadium", "stadium_finish_table", &table));
    const double top = table.lip_height, middle = 0.5 * (table.lip + table.crest);
    const double x = table.x + middle * table.dx, z = table.z + middle * table.dz;
    ASSERT_NEAR(terrain_height_at(&track_terrain, (float)x, (float)z), top, 0.01f);
    rider_translate(r, x, top + 0.5, z);
    race_steps(r, 384);
    EXPECT_GT(r->front_contact.depth, 0.0f);
    EXPECT_GT(r->rear_contact.depth, 0.0f);
    EXPECT_NEAR(r->rear_contact.contact_point[1], top, 0.1f) << "standing on the table, not the floor";
    rider_destroy(r);
    physics_world_destroy();
    tic_counter = 0;
    // Without heights (a freed terrain) the ground is the flat stand-in.
    terrain_free(&track_terrain);
    physics_ground_from_terrain(&track_terrain);
    EXPECT_NE(physics_ground.heights, nullptr);
    EXPECT_EQ(physics_ground.size, 1);
}

// Loading another track replaces the terrain's heights block and a failed
// load may release it: the program's ground must read the live block or the
// flat stand-in, never the released one (the sanitizer build reports any read
// of it). Each stage rides a second on what the ground then is.
TEST(PhysicsWorld, TheGroundFollowsTheTerrainThroughReloadsAndFailedLoads)
{
    ASSERT_TRUE(terrain_load(&track_terrain, "../data/tracks/stadium")) << "the generator writes it to build/data";
    physics_ground_from_terrain(&track_terrain);
    physics_world_create();
    rider* r = rider_create("crf250(2013)", 3, 1, "3", nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(r);
    // Dropped half a foot onto whatever ground is there now, the rear tyre
    // rests on it: its soft contact sinks hundredths of a foot, well inside 0.1.
    auto ride_at = [&](double x, double z, double ground_y) {
        rider_reset_pose(r);
        rider_fall(r);
        rider_reset_controls(r);
        r->throttle = 0.0f;
        rider_translate(r, x, ground_y + 0.5, z);
        race_steps(r, 128);
        EXPECT_GT(r->rear_contact.depth, 0.0f);
        EXPECT_NEAR(r->rear_contact.contact_point[1], ground_y, 0.1);
    };
    const float* stadium = track_terrain.heights;
    track_jump table{};
    ASSERT_TRUE(track_jump_find("stadium", "stadium_finish_table", &table));
    const double middle = 0.5 * (table.lip + table.crest);
    const double table_x = table.x + middle * table.dx, table_z = table.z + middle * table.dz;

    // No terrain.hf: the loaded track and its ground stay as they were.
    EXPECT_FALSE(terrain_load(&track_terrain, "../data/tracks/no_such_track"));
    EXPECT_EQ(track_terrain.heights, stadium);
    EXPECT_EQ(physics_current().ground.heights, stadium);
    ride_at(table_x, table_z, table.lip_height);  // the stadium's finish table

    // Another track: the ground reads its heights without being pointed again.
    ASSERT_TRUE(terrain_load(&track_terrain, "../data/tracks/practice"));
    ASSERT_NE(track_terrain.heights, nullptr);
    EXPECT_EQ(physics_current().ground.heights, track_terrain.heights);
    const double x = 75.0, z = 330.0;  // the level paddock
    float h = terrain_height_at(&track_terrain, (float)x, (float)z);
    EXPECT_EQ(ground_height_at(physics_ground, x, z), (double)h);
    ride_at(x, z, h);

    // A folder whose terrain.hf reads but which has no surfaces: the record is
    // released, and the riders stand on the flat ground at 0.
    temp_dir dir;
    write_whole_file(dir.file("terrain.hf"), read_whole_file("../data/tracks/stadium/terrain.hf"));
    EXPECT_FALSE(terrain_load(&track_terrain, dir.path.c_str()));
    EXPECT_EQ(track_terrain.heights, nullptr);
    EXPECT_EQ(physics_current().ground.size, 1);
    EXPECT_EQ(ground_height_at(physics_ground, x, z), 0.0);
    ride_at(x, z, 0.0);

    rider_destroy(r);
    physics_world_destroy();
    tic_counter = 0;
    physics_ground_flat();
}

int hide_odd(int slot)
{
    return slot & 1;
}

TEST(PhysicsWorld, DownOnTrackNeedsAShownSlotADownFlagAndNoFinish)
{
    rider r{};
    r.slot = 2;
    EXPECT_FALSE(rider_is_down_on_track(&r));
    r.is_down = 1;
    EXPECT_TRUE(rider_is_down_on_track(&r));
    r.finished = 1;
    EXPECT_FALSE(rider_is_down_on_track(&r));
    r.finished = 0;
    slot_is_hidden_hook = hide_odd;
    EXPECT_TRUE(rider_is_down_on_track(&r));
    r.slot = 3;
    EXPECT_FALSE(rider_is_down_on_track(&r));
    slot_is_hidden_hook = nullptr;
}

}  // namespace
