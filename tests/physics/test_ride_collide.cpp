// Riders against track objects, and the crash target points.
#include <gtest/gtest.h>

#include <cmath>

#include "physics/bike_info.h"
#include "physics/collision_shape.h"
#include "physics/physics_constants.h"
#include "physics/physics_tic.h"
#include "physics/rider_access.h"
#include "physics/rider_build.h"
#include "physics/rider_collide.h"
#include "ride_fixture.h"

namespace {

TEST(ObjectCollision, ABollardStopsTheBikeAndNamesWhatTouched)
{
    ride_test_world world;
    rider* r = world.add_rider("crf250(2013)", 0, 64, 100);
    rider_reset_controls(r);
    r->arcade = 0;
    world.run(64);
    // A bollard of radius 1.5 ft standing on the track 40 ft ahead.
    collision_sphere ball{0, 1.5f, 0, 1.5f, {1, 1, 0}};
    collision_shape bollard{"bollard", 1, &ball, nullptr, 3.0f};
    const double at[3] = {64, 0, 60};
    const double turn[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    int first = 0;
    for (int i = 0; i < 128 * 5; i++) {
        r->throttle = (float)std::clamp((15.0 - rider_forward_speed(r)) * 0.3, 0.0, 1.0);
        r->clutch = 1.0f;
        r->front_brake = r->rear_brake = 0.0f;
        // The object's contacts join this tic's group before the race step.
        int bits = rider_collide_object(world.w, r, &bollard, at, turn, 1.0);
        if (bits && !first)
            first = bits;
        world.tic();
        // The front tyre never gets through the bollard.
        ASSERT_GT(dBodyGetPosition(r->front_wheel_body)[2], at[2]) << "tic " << i;
    }
    EXPECT_EQ(first, 2) << "the front wheel touches first";
    EXPECT_EQ(r->is_down, 1);
    // A set far away is not tested at all.
    const double far[3] = {500, 0, 500};
    EXPECT_EQ(rider_collide_object(world.w, r, &bollard, far, turn, 1.0), 0);
    dJointGroupEmpty(world.w.group);
}

TEST(TargetPoints, OnTheBarsWhileRidingAndLeftBehindInACrash)
{
    ride_test_world world;
    rider* r = world.add_rider("crf450(2011)", 0, 64, 64);
    rider_reset_controls(r);
    world.run(64);
    float t[4][3];
    float bend = rider_target_points(r, t);
    EXPECT_FLOAT_EQ(bend, bike_info_table()[r->bike_index].tuning.hand_bend);
    // With the bars straight the hands are at the row's hand points on the frame.
    const bike_tuning_values& tu = bike_info_table()[r->bike_index].tuning;
    double fc[3];
    rider_rest_centre(r, 0, fc);
    for (int side = 0; side < 2; side++) {
        dVector3 hand;
        dBodyGetRelPointPos(r->frame_body, tu.hand[side][0] - fc[0], tu.hand[side][1] - fc[1], tu.hand[side][2] - fc[2],
                            hand);
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(t[side][k], hand[k], 0.05) << "side " << side;
        EXPECT_EQ(t[side][0] < dBodyGetPosition(r->frame_body)[0], side == 0) << "left hand on the left";
    }
    // Feet below the hands.
    EXPECT_LT(t[2][1], t[0][1]);
    rider_crash(r);
    EXPECT_EQ(r->crash_tics, 512);
    float frozen[4][3];
    EXPECT_FLOAT_EQ(rider_target_points(r, frozen), 1.0f);
    rider_translate(r, 10, 0, 0);  // the bike moves; the crash targets stay
    float again[4][3];
    rider_target_points(r, again);
    EXPECT_FLOAT_EQ(again[0][0], frozen[0][0]);
    EXPECT_FLOAT_EQ(frozen[0][0], t[0][0]);
}

TEST(CrashBlend, FallRecoverAndStepDown)
{
    rider r{};
    rider_fall(&r);
    EXPECT_EQ(r.crash_blend, 1.0f);
    EXPECT_TRUE(rider_is_down(&r));
    rider_fall_step(&r);
    EXPECT_FLOAT_EQ(r.crash_blend, 1.0f - 1.0f / 128.0f);
    rider_recover(&r);
    EXPECT_FALSE(rider_is_down(&r));
    rider_start_fall(&r);  // 0 becomes 1
    EXPECT_EQ(r.crash_blend, 1.0f);
    r.crash_blend = 0.1f;
    rider_start_fall(&r);  // a little becomes 0.25
    EXPECT_EQ(r.crash_blend, 0.25f);
    EXPECT_FALSE(rider_is_down(&r));
    r.crash_blend = 0.6f;
    rider_start_fall(&r);  // more is kept
    EXPECT_EQ(r.crash_blend, 0.6f);
    r.crash_blend = 0.004f;
    rider_fall_step(&r);
    EXPECT_EQ(r.crash_blend, 0.0f);  // never below 0
}

TEST(CrashCounter, StartsAt512PlusTheKnockoutOfTheCrashCount)
{
    rider r{};
    crash_knockout_tics[0] = 0;
    crash_knockout_tics[15] = 100;
    rider_crash(&r);
    EXPECT_EQ(r.crash_tics, 512);
    EXPECT_EQ(r.crash_count, 1);
    rider_crash(&r);  // already crashed: nothing
    EXPECT_EQ(r.crash_count, 1);
    r.crash_tics = 0;
    r.crash_count = 40;  // counts above 15 read entry 15
    rider_crash(&r);
    EXPECT_EQ(r.crash_tics, 612);
    crash_knockout_tics[15] = 0;
}

}  // namespace
