// Roost counts, treadmark timing and the script's contact queries.
#include <gtest/gtest.h>

#include <vector>

#include "core/rng.h"
#include "physics/rider_build.h"
#include "physics/wheel_effects.h"
#include "ride_fixture.h"

namespace {

TEST(Roost, CountFromTheFrequency)
{
    EXPECT_EQ(roost_count(0, 12345), 0);
    EXPECT_EQ(roost_count(250, 49), 3);   // 49 mod 100 < 50
    EXPECT_EQ(roost_count(250, 50), 2);
    EXPECT_EQ(roost_count(1000, 99), 10);
    EXPECT_EQ(roost_count(99, 98), 1);
    EXPECT_EQ(roost_count(99, 99), 0);
    // Over many draws 250 gives 2.5 on average.
    mt_seed(7);
    long total = 0;
    const int draws = 20000;
    for (int i = 0; i < draws; i++)
        total += roost_count(250, mt_next());
    EXPECT_NEAR((double)total / draws, 2.5, 0.02);
}

std::vector<int> placed_front;
void record_mark(float[3], const float*, float, float, int front)
{
    placed_front.push_back(front);
}

TEST(Treadmarks, FirstMarkOneTicAfterTouchDown)
{
    ride_test_world world;
    rider* r = world.add_rider("crf250(2013)", 0, 64, 64);
    treadmark_place = record_mark;
    placed_front.clear();
    // Dropped above the ground: the first contact tic only starts tracking.
    rider_translate(r, 0, 0.5, 0);
    int touch = -1;
    for (int i = 0; i < 64 && placed_front.empty(); i++) {
        world.tic();
        size_t before = placed_front.size();
        treadmarks_tic(world.w, r);
        if (touch < 0 && (r->front_contact.depth > 0 || r->rear_contact.depth > 0)) {
            touch = i;
            EXPECT_EQ(placed_front.size(), before) << "no mark on the touch-down tic";
        }
    }
    ASSERT_GE(touch, 0);
    EXPECT_FALSE(placed_front.empty());
    treadmark_place = nullptr;
}

TEST(ContactQueries, NothingWithoutContactAndTheRecordWithIt)
{
    ride_test_world world;
    rider* r = world.add_rider("crf250(2013)", 0, 64, 64);
    float out[3] = {7, 7, 7};
    rider_translate(r, 0, 10, 0);
    world.w.tic++;
    EXPECT_LE(rider_front_contact_depth(world.w, r), 0.0f);
    EXPECT_EQ(rider_front_contact_position(world.w, r, out), 0);
    EXPECT_EQ(out[0], 7.0f);  // untouched
    rider_translate(r, 0, -10, 0);
    world.run(384);
    world.w.tic++;
    EXPECT_GT(rider_rear_contact_depth(world.w, r), 0.0f);
    ASSERT_EQ(rider_rear_contact_position(world.w, r, out), 1);
    EXPECT_NEAR(out[1], 0.0f, 0.01f);  // on the flat ground
    EXPECT_EQ(rider_rear_contact_velocity(world.w, r, out), 1);
    EXPECT_NEAR(out[1], 0.0f, 0.05f);  // at rest
}

}  // namespace
