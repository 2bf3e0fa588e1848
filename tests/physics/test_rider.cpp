// The rider record, its creation, and the getters and setters every other
// subsystem goes through.
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <ode/ode.h>

#include "physics/bike_info.h"
#include "physics/collision_shape.h"
#include "physics/rider.h"
#include "physics/rider_access.h"
#include "physics_test_support.h"

namespace {

std::vector<std::string>& messages = physics_message_capture::messages();

class RiderTest : public testing::Test {
protected:
    void SetUp() override
    {
        riders_init_all();
        r = rider_create("crf250(2009)", 3, 1, "42", nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(r, nullptr);
    }
    void TearDown() override
    {
        rider_destroy(r);
    }
    physics_message_capture capture;
    rider* r = nullptr;
};

bool all_zero(const void* p, size_t n)
{
    for (size_t i = 0; i < n; i++)
        if (static_cast<const unsigned char*>(p)[i]) return false;
    return true;
}

TEST_F(RiderTest, InitAllZeroesEveryRecord)
{
    rider_destroy(r);  // its arrays would leak otherwise
    for (rider& record : rider_records) {
        record.throttle = 0.5f;
        record.gate_count = 3;
        record.option_flags = 0x21;
        record.full_lock_speed = 10;
    }
    riders_init_all();
    for (const rider& record : rider_records) EXPECT_TRUE(all_zero(&record, sizeof record));
    r = rider_create("crf250(2009)", 3, 1, "42", nullptr, nullptr, nullptr, nullptr);
}

TEST_F(RiderTest, CreateFillsTheRecordFromTheRow)
{
    EXPECT_EQ(r, &rider_records[3]);
    EXPECT_EQ(r->slot, 3);
    EXPECT_STREQ(rider_get_bike_info(r)->name, "crf250(2009)");
    EXPECT_STREQ(rider_get_bike_class(r), "250f");
    EXPECT_STREQ(rider_get_number(r), "42");
    EXPECT_EQ(rider_get_flag(r), 1);
    EXPECT_STREQ(rider_get_bike_texture(r), "@crf250.png");
    EXPECT_STREQ(rider_get_wheel_texture(r), "@wheels.png");
    EXPECT_STREQ(rider_get_head_texture(r), "@rider_head.png");
    EXPECT_STREQ(rider_get_rider_texture(r), "@rider_body.png");
    EXPECT_FLOAT_EQ(rider_get_throttle(r), 1);
    EXPECT_EQ(rider_get_gear(r), 1);
    EXPECT_FLOAT_EQ(r->full_lock_speed, 10);
    EXPECT_FLOAT_EQ(r->restricted_lock_speed, 50);
    EXPECT_NEAR(r->restricted_lock, 5 * M_PI / 180, 1e-6);
    const bike_main_values& m = rider_get_bike_info(r)->main;
    EXPECT_FLOAT_EQ(r->final_ratio, m.rear_sprocket / m.front_sprocket);
    EXPECT_EQ(r->gate_tics.element_size, 4);
    for (const collision_shape* shape : {r->frame_shape, r->fork_upper_shape, r->fork_lower_shape, r->swingarm_shape,
                                         r->front_wheel_shape, r->rear_wheel_shape, r->rider_shape}) {
        ASSERT_NE(shape, nullptr);
        EXPECT_EQ(shape->source, collision_shape_load(shape->name));
    }
    EXPECT_STREQ(r->rider_shape->name, "@generic_rider.shp");
    EXPECT_TRUE(messages.empty());

    EXPECT_EQ(rider_create("crf250(2009)", 160, 0, "1", nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(rider_create("crf250(2009)", -1, 0, "1", nullptr, nullptr, nullptr, nullptr), nullptr);

    rider* other = rider_create("mx125", 159, 0, "123456789", "@rider_body-alt2.png", nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_STREQ(rider_get_bike_info(other)->name, "cr125");
    EXPECT_STREQ(rider_get_number(other), "1234567");
    EXPECT_STREQ(rider_get_rider_texture(other), "@rider_body-alt2.png");
    EXPECT_EQ(rider_get_flag(other), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "bike info for 'mx125' not found using 'cr125' instead");
    rider_destroy(other);
    EXPECT_TRUE(all_zero(other, sizeof *other));
}

// A damaged sphere set in the player's folder shadows the stock one: the
// rider is still made, without that set, and one line names the file.
TEST_F(RiderTest, ADamagedShapeFileIsNamedInOneLine)
{
    collision_shapes_free();
    physics_test_write_home("generic_rider.shp", "3\n0 0 0 1 1 1 0\n");
    rider* other = rider_create("yz125", 7, 0, "8", nullptr, nullptr, nullptr, nullptr);
    std::filesystem::remove(physics_test_home() + "generic_rider.shp");
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->rider_shape, nullptr);
    EXPECT_NE(other->frame_shape, nullptr);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Can't read collision shape '@generic_rider.shp'");
    rider_destroy(other);
    collision_shapes_free();
}

TEST_F(RiderTest, ControlSettersClampAndReadZeroWhileCrashed)
{
    struct setter_case {
        const char* name;
        void (*set)(rider*, float);
        float rider::*field;
        float low, high;
        bool zero_when_crashed;
    } cases[] = {
        {"throttle", rider_set_throttle, &rider::throttle, 0, 1, true},
        {"clutch", rider_set_clutch, &rider::clutch, 0, 1, false},
        {"front_brake", rider_set_front_brake, &rider::front_brake, 0, 1, false},
        {"rear_brake", rider_set_rear_brake, &rider::rear_brake, 0, 1, false},
        {"steer", rider_set_steer, &rider::steer, -1, 1, false},
        {"dab", rider_set_dab, &rider::dab, 0, 1, true},
        {"lean", rider_set_control_b, &rider::lean_input, 0, 1, true},
        {"pitch", rider_set_control_c, &rider::pitch_input, -1, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        r->crash_tics = 0;
        c.set(r, -5);
        EXPECT_FLOAT_EQ(r->*c.field, c.low);
        c.set(r, 5);
        EXPECT_FLOAT_EQ(r->*c.field, c.high);
        c.set(r, 0.25f);
        EXPECT_FLOAT_EQ(r->*c.field, 0.25f);
        c.set(r, NAN);
        EXPECT_FLOAT_EQ(r->*c.field, c.low);
        r->crash_tics = 10;
        c.set(r, 0.75f);
        EXPECT_FLOAT_EQ(r->*c.field, c.zero_when_crashed ? 0 : 0.75f);
    }
}

TEST_F(RiderTest, SettingSettersClampToTheirRanges)
{
    const float pi = float(M_PI);
    struct setting_case {
        const char* name;
        void (*set)(rider*, float);
        float (*get)(const rider*);
        float low, high;
    } cases[] = {
        {"leveling", rider_set_leveling, rider_get_leveling, 0, 100},
        {"roll_damping", rider_set_roll_damping, rider_get_roll_damping, 0, 100},
        {"roll_limit_angle", rider_set_roll_limit_angle, rider_get_roll_limit_angle, 0, pi},
        {"roll_limit_factor", rider_set_roll_limit_factor, rider_get_roll_limit_factor, 0, 64},
        {"steering_damping", rider_set_steering_damping, rider_get_steering_damping, 0, 100},
        {"steering_strength", rider_set_steering_strength, rider_get_steering_strength, 0, 100},
        {"max_steering_force", rider_set_max_steering_force, rider_get_max_steering_force, 0, 1000},
        {"direct_steering", rider_set_direct_steering, rider_get_direct_steering, 0, 1},
        {"slow_damping_speed", rider_set_slow_damping_speed, rider_get_slow_damping_speed, 0, 100},
        {"slow_damping_factor", rider_set_slow_damping_factor, rider_get_slow_damping_factor, 1, 10},
        {"land_damping_rampup", rider_set_land_damping_rampup, rider_get_land_damping_rampup, 0, 0.5f},
        {"land_damping_falloff", rider_set_land_damping_falloff, rider_get_land_damping_falloff, 0, 0.5f},
        {"land_damping_factor", rider_set_land_damping_factor, rider_get_land_damping_factor, 1, 3},
        {"full_lock_speed", rider_set_full_lock_speed, rider_get_full_lock_speed, 1, 100},
        {"restricted_lock_speed", rider_set_restricted_lock_speed, rider_get_restricted_lock_speed, 1, 100},
        {"restricted_lock", rider_set_restricted_lock, rider_get_restricted_lock, 0, 0.7853982f},
        {"auto_clutch_rpms", rider_set_auto_clutch_rpms, rider_get_auto_clutch_rpms, 0, 5000},
        {"brake_torque", rider_set_brake_torque, rider_get_brake_torque, 0, 500},
        {"rear_brake_torque", rider_set_rear_brake_torque, rider_get_rear_brake_torque, 0, 500},
        {"max_dab_speed", rider_set_max_dab_speed, rider_get_max_dab_speed, 7, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.set(r, -1e6f);
        EXPECT_FLOAT_EQ(c.get(r), c.low);
        c.set(r, 1e6f);
        EXPECT_FLOAT_EQ(c.get(r), c.high);
        float middle = 0.5f * (c.low + c.high);
        c.set(r, middle);
        EXPECT_FLOAT_EQ(c.get(r), middle);
    }
    rider_set_rider_yspring(r, 2, -1);
    EXPECT_FLOAT_EQ(r->rider_yspring, 1);
    EXPECT_FLOAT_EQ(r->rider_ydamping, 0);
    rider_set_arcade(r, 7);
    EXPECT_EQ(rider_get_arcade(r), 7);
}

TEST_F(RiderTest, OptionBitsKeepTheirOwnBits)
{
    r->option_flags = 0;
    rider_set_stop_wheelies(r, 7);  // two bits: 3
    EXPECT_EQ(rider_get_stop_wheelies(r), 3);
    EXPECT_EQ(r->option_flags, 0x06);
    rider_set_flag(r, 3);
    rider_set_front_antilock(r, 1);
    rider_set_rear_antilock(r, 1);
    rider_set_auto_shift(r, 1);
    rider_set_auto_dab(r, 1);
    rider_set_auto_align(r, 1);
    EXPECT_EQ(r->option_flags, 0xFF);
    rider_set_stop_wheelies(r, 0);
    rider_set_auto_dab(r, 0);
    EXPECT_EQ(r->option_flags, 0xB9);
    EXPECT_EQ(rider_get_flag(r), 1);
    EXPECT_EQ(rider_get_auto_dab(r), 0);
    EXPECT_EQ(rider_get_auto_align(r), 1);
}

TEST_F(RiderTest, ShiftWalksOverMissingGearsAndActsOnEdges)
{
    struct {
        int gear, last_shift, request, crash_tics;
        int expected_gear;
    } cases[] = {
        {5, 0, 1, 0, 5},    // nothing above 5
        {1, 0, -1, 0, 0},   // down from 1 is neutral
        {0, 0, 1, 0, 1},
        {2, 1, 1, 0, 2},    // the request is still held: ignored
        {2, 0, 1, 10, 2},   // crashed: ignored
        {2, 0, 2, 0, 2},    // not a request
        {3, -1, 1, 0, 4},
    };
    for (const auto& c : cases) {
        r->gear = c.gear;
        r->last_shift = c.last_shift;
        r->crash_tics = c.crash_tics;
        rider_shift(r, c.request);
        EXPECT_EQ(r->gear, c.expected_gear) << c.gear << " " << c.request;
    }

    // A single-speed bike: every upshift walks back down to first.
    rider* mini = rider_create("rs50rm", 4, 0, "7", nullptr, nullptr, nullptr, nullptr);
    mini->gear = 1;
    mini->last_shift = 0;
    rider_shift(mini, 1);
    EXPECT_EQ(mini->gear, 1);
    rider_set_gear(mini, 4);
    EXPECT_EQ(mini->gear, 1);
    rider_set_gear(mini, -3);
    EXPECT_EQ(mini->gear, 0);
    rider_reset_controls(mini);
    EXPECT_EQ(mini->gear, 1);
    rider_destroy(mini);
}

TEST_F(RiderTest, ResetControls)
{
    r->crash_tics = 5;
    r->launch = 1;
    r->steer = 0.7f;
    r->gear = 4;
    rider_reset_controls(r);
    EXPECT_FLOAT_EQ(r->dab, 0);
    EXPECT_FLOAT_EQ(r->clutch, 0);
    EXPECT_FLOAT_EQ(r->front_brake, 1);
    EXPECT_FLOAT_EQ(r->rear_brake, 1);
    EXPECT_FLOAT_EQ(r->steer, 0);
    EXPECT_EQ(r->gear, 1);
    EXPECT_EQ(r->launch, 0);
    r->crash_tics = 0;
    rider_reset_controls(r);
    EXPECT_FLOAT_EQ(r->dab, 1);
}

TEST_F(RiderTest, SprocketsFloorAndKeepThreeTeeth)
{
    const bike_main_values& m = rider_get_bike_info(r)->main;
    struct {
        float front, rear;
        float front_teeth, rear_teeth;
    } cases[] = {
        {0, 0, m.front_sprocket, m.rear_sprocket},
        {-1.5f, 0.9f, m.front_sprocket - 2, m.rear_sprocket},
        {9, -9, m.front_sprocket + 2, m.rear_sprocket - 2},
        {1.99f, -0.01f, m.front_sprocket + 1, m.rear_sprocket - 1},
    };
    for (const auto& c : cases) {
        rider_set_sprockets(r, c.front, c.rear);
        EXPECT_FLOAT_EQ(r->final_ratio, c.rear_teeth / c.front_teeth) << c.front << " " << c.rear;
    }
    rider_set_sprockets(r, NAN, NAN);
    EXPECT_FLOAT_EQ(r->final_ratio, (m.rear_sprocket - 2) / (m.front_sprocket - 2));
}

TEST_F(RiderTest, ForkAndShockScaleTheRowsValues)
{
    const bike_tuning_values& t = rider_get_bike_info(r)->tuning;
    rider_set_fork(r, 10, -3, 0.1f, 0.5f, 0, 1, 0.5f);
    EXPECT_FLOAT_EQ(r->fork_compression, 4 * t.fork_compression);
    EXPECT_FLOAT_EQ(r->fork_slow_compression, -t.fork_slow_compression);
    EXPECT_FLOAT_EQ(r->fork_rebound, 0.25f * t.fork_rebound);
    EXPECT_FLOAT_EQ(r->fork_slow_rebound, 0.5f * t.fork_slow_rebound);
    EXPECT_FLOAT_EQ(r->fork_spring_rate, t.fork_spring_rate_min);
    EXPECT_FLOAT_EQ(r->fork_preload, t.fork_preload_max);
    EXPECT_FLOAT_EQ(r->fork_oil_level, 0.5f * (t.fork_air_gap_min_oil + t.fork_air_gap_max_oil));
    rider_set_shock(r, 1, 1, 2, 0, 2, -1);
    EXPECT_FLOAT_EQ(r->shock_compression, t.shock_compression);
    EXPECT_FLOAT_EQ(r->shock_slow_compression, t.shock_slow_compression);
    EXPECT_FLOAT_EQ(r->shock_rebound, 2 * t.shock_rebound);
    EXPECT_FLOAT_EQ(r->shock_spring_rate, t.shock_spring_rate_max);
    EXPECT_FLOAT_EQ(r->shock_preload, t.shock_preload_min);
}

// With real bodies: the forward speed follows the frame's own -z axis, and
// moving rider mass between frame and rider body keeps the total.
TEST_F(RiderTest, ForwardSpeedAndMassDistributionOnBodies)
{
    dInitODE();
    dWorldID world = dWorldCreate();
    r->frame_body = dBodyCreate(world);
    r->rider_body = dBodyCreate(world);
    EXPECT_FLOAT_EQ(rider_get_forward_speed(r), 0);
    dBodySetLinearVel(r->frame_body, 0, 0, -88);
    EXPECT_NEAR(rider_get_forward_speed(r), 60, 1e-4);
    dMatrix3 turned;
    dRFromAxisAndAngle(turned, 0, 1, 0, M_PI);  // facing +z
    dBodySetRotation(r->frame_body, turned);
    EXPECT_NEAR(rider_get_forward_speed(r), -60, 1e-4);
    dBodySetLinearVel(r->frame_body, 30, 5, 0);
    EXPECT_NEAR(rider_get_forward_speed(r), 0, 1e-4);

    const bike_main_values& m = rider_get_bike_info(r)->main;
    for (float x : {0.2f, 0.4f, 0.9f}) {
        rider_set_mass_distribution(r, x);
        float expected = std::fmin(std::fmax(x, 0.33f), 0.5f);
        dMass frame, body;
        dBodyGetMass(r->frame_body, &frame);
        dBodyGetMass(r->rider_body, &body);
        EXPECT_NEAR(body.mass, expected * m.rider_mass, 1e-5);
        EXPECT_NEAR(frame.mass + body.mass, m.frame_mass + m.rider_mass, 1e-5);
    }
    rider_destroy(r);  // destroys the two bodies too
    r = rider_create("crf250(2009)", 3, 1, "42", nullptr, nullptr, nullptr, nullptr);
    dWorldDestroy(world);
    dCloseODE();
}

} // namespace
