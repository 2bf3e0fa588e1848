// Bike setups: the key=value text, its round trip, bad input, the stability
// interpolation and the push into a rider's physics values.
#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <ode/ode.h>

#include "physics/bike_info.h"
#include "physics/rider.h"
#include "physics/rider_access.h"
#include "physics/setup.h"
#include "physics_test_support.h"

namespace {

std::vector<std::string>& messages = physics_message_capture::messages();

class SetupTest : public testing::Test {
protected:
    void SetUp() override { setup_defaults(&setup); }
    static std::string format(const bike_setup& s)
    {
        std::string text(8192, '\0');
        int n = setup_format(&s, text.data(), int(text.size()));
        text.resize(size_t(n));
        return text;
    }
    static std::vector<std::string> lines(const std::string& text)
    {
        std::vector<std::string> out;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }
    physics_message_capture capture;
    bike_setup setup;
};

TEST_F(SetupTest, DefaultsWriteFiftyEightKeysInOrder)
{
    std::vector<std::string> written = lines(format(setup));
    ASSERT_EQ(written.size(), size_t(setup_key_count));
    const char* expected[] = {
        "bike=yz250f(2017)", "name=Kestrin Vale", "number=999", "rider_texture=@rider_body.png",
        "head_texture=@rider_head.png", "bike_texture=@yz250f.png", "wheel_texture=@wheels.png",
        "stability=100", "leveling=20", "roll_damping=60", "roll_limit_angle=45",
        "roll_limit_factor=10", "steering_damping=45", "steering_strength=75",
        "max_steering_force=400", "direct_steering=1", "slow_damping_speed=40",
        "slow_damping_factor=2", "land_damping_rampup=0.0625", "land_damping_falloff=0.25",
        "land_damping_factor=2", "full_lock_speed=10", "restricted_lock_speed=50",
        "restricted_lock=7.5", "arcade=Yes", "front_brake=Antilock", "rear_brake=Normal",
        "stop_wheelies=Yes", "auto_shift=Yes", "auto_dab=Yes", "auto_align=Yes", "sticky_dab=No",
        "reverse_steering=Yes", "lean_indicator=Yes", "auto_clutch_rpms=5000", "brake_torque=500",
        "rear_brake_torque=250", "max_dab_speed=60", "front_sprocket_adjustment=0",
        "rear_sprocket_adjustment=0", "fork_compression_adjustment=50",
        "fork_slow_compression_adjustment=50", "fork_rebound_adjustment=50",
        "fork_slow_rebound_adjustment=50", "fork_spring_rate_adjustment=50",
        "fork_preload_adjustment=50", "fork_oil_level_adjustment=50",
        "shock_compression_adjustment=75", "shock_slow_compression_adjustment=50",
        "shock_rebound_adjustment=75", "shock_slow_rebound_adjustment=50",
        "shock_spring_rate_adjustment=50", "shock_preload_adjustment=50", "rider_yspring=50",
        "rider_ydamping=50", "rider_zspring=50", "rider_zdamping=50",
        "rider_mass_distribution=0.33"};
    for (int i = 0; i < setup_key_count; i++) EXPECT_EQ(written[size_t(i)], expected[i]) << i;

    char small[20];
    int needed = setup_format(&setup, small, sizeof small);
    EXPECT_EQ(needed, int(format(setup).size()));
    EXPECT_STREQ(small, std::string(format(setup), 0, 19).c_str());
}

// Every key moved off its default, written, read back into a default setup.
TEST_F(SetupTest, WriteThenReadRoundTripsEveryKey)
{
    std::vector<std::string> changed;
    for (const std::string& line : lines(format(setup))) {
        std::string key = line.substr(0, line.find('='));
        int count = 0;
        const char* const* entries = setup_choice_entries(key.c_str(), &count);
        std::string value;
        if (entries)
            value = entries[count - 1] == line.substr(key.size() + 1) ? entries[0] : entries[count - 1];
        else if (key == "bike")
            value = "rs50kx";
        else if (key == "rider_mass_distribution")
            value = "0.41";
        else if (key.find("texture") != std::string::npos || key == "name" || key == "number")
            value = key == "number" ? "17" : "@" + key + "-alt2.png";
        else
            value = key.find("sprocket") != std::string::npos ? "-2" : "0.5";
        changed.push_back(key + "=" + value);
    }
    bike_setup modified;
    setup_defaults(&modified);
    std::string text;
    for (const auto& line : changed) text += line + "\n";
    EXPECT_EQ(setup_parse_text(&modified, text.c_str(), "test"), setup_key_count);
    EXPECT_TRUE(messages.empty()) << messages[0];
    std::string written = format(modified);
    EXPECT_NE(written, format(setup));

    bike_setup read_back;
    setup_defaults(&read_back);
    EXPECT_EQ(setup_parse_text(&read_back, written.c_str(), "test"), setup_key_count);
    EXPECT_EQ(format(read_back), written);
    EXPECT_STREQ(read_back.bike, "rs50kx");
    EXPECT_STREQ(read_back.number, "17");
    EXPECT_EQ(read_back.rider_mass_distribution, 0.41);
    EXPECT_EQ(read_back.front_sprocket_adjustment, -2);
    EXPECT_EQ(read_back.stop_wheelies, 2);
    EXPECT_EQ(read_back.sticky_dab, 1);
    EXPECT_TRUE(messages.empty());
}

TEST_F(SetupTest, BadPairsLeaveDefaultsWithOneMessageEach)
{
    struct {
        const char* line;
        const char* message;
    } cases[] = {
        {"stability=fast", "Bad value 'fast' for setup key 'stability'"},
        {"stability=", "Bad value '' for setup key 'stability'"},
        {"stability=12abc", "Bad value '12abc' for setup key 'stability'"},
        {"stability=5 6", "Bad value '5 6' for setup key 'stability'"},
        {"stability=\x1b[2J", "Bad value '?[2J' for setup key 'stability'"},  // no terminal codes in the log
        {"arcade=Maybe", "Bad value 'Maybe' for setup key 'arcade'"},
        {"arcade=yes", "Bad value 'yes' for setup key 'arcade'"},
        {"bike=cr500", "Unknown bike 'cr500' for setup key 'bike'"},
        {"turbo=1", "Unknown setup key 'turbo' in 'my.braap'"},
        {"Bike=cr125", "Unknown setup key 'Bike' in 'my.braap'"},
    };
    for (const auto& c : cases) {
        messages.clear();
        setup_parse_text(&setup, c.line, "my.braap");
        ASSERT_EQ(messages.size(), 1u) << c.line;
        EXPECT_EQ(messages[0], c.message);
    }
    bike_setup defaults;
    setup_defaults(&defaults);
    EXPECT_EQ(format(setup), format(defaults));

    // Comments, engine-sound lines and blank lines pass silently; numbers
    // clamp to the slider's range; CR LF endings are fine.
    messages.clear();
    const char* text = "# my bike\r\npipe 5\n\nstability=250\r\nmax_dab_speed=-3\nrestricted_lock=nan\nnumber=12345678\n";
    EXPECT_EQ(setup_parse_text(&setup, text, "my.braap"), 4);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(setup.stability, 100);
    EXPECT_EQ(setup.max_dab_speed, 5);
    EXPECT_EQ(setup.restricted_lock, 0);
    EXPECT_STREQ(setup.number, "1234567");
    EXPECT_EQ(setup_parse_pair(&setup, "draw_fps", "1"), 0);
    EXPECT_EQ(setup_parse_pair(&setup, "arcade", "No"), 1);
    EXPECT_EQ(setup.arcade, 0);
}

TEST_F(SetupTest, TextValuesCannotInjectLines)
{
    strcpy(setup.name, "Evil\nbike=cr125\rX");
    std::vector<std::string> written = lines(format(setup));
    ASSERT_EQ(written.size(), size_t(setup_key_count));
    EXPECT_EQ(written[1], "name=Evil bike=cr125 X");
    bike_setup read_back;
    setup_defaults(&read_back);
    setup_parse_text(&read_back, format(setup).c_str(), "test");
    EXPECT_STREQ(read_back.bike, "yz250f(2017)");
    EXPECT_STREQ(read_back.name, "Evil bike=cr125 X");
}

TEST_F(SetupTest, StabilityInterpolatesTheAdvancedValues)
{
    bike_setup defaults = setup;
    stability_apply(&setup, 100);
    EXPECT_EQ(format(setup), format(defaults));
    stability_apply(&setup, 0);
    EXPECT_EQ(setup.restricted_lock, 45);
    EXPECT_EQ(setup.roll_limit_angle, 180);
    EXPECT_EQ(setup.leveling, 0);
    EXPECT_EQ(setup.land_damping_factor, 1);
    stability_apply(&setup, 50);
    EXPECT_EQ(setup.roll_damping, 30);
    EXPECT_EQ(setup.restricted_lock, 26.25);
    EXPECT_EQ(setup.land_damping_rampup, 0.03125);
    EXPECT_EQ(setup.stability, 100) << "Stability itself is the menu's";
    // Every value stays on its slider's range after any stability.
    for (double s : {-50.0, 33.0, 77.0, 500.0}) {
        stability_apply(&setup, s);
        bike_setup reparsed;
        setup_defaults(&reparsed);
        setup_parse_text(&reparsed, format(setup).c_str(), "test");
        EXPECT_EQ(format(reparsed), format(setup)) << s;
    }
}

class SetupApplyTest : public SetupTest {
protected:
    void SetUp() override
    {
        SetupTest::SetUp();
        riders_init_all();
        r = rider_create("yz250f(2017)", 0, 1, "999", nullptr, nullptr, nullptr, nullptr);
    }
    void TearDown() override { rider_destroy(r); }
    rider* r = nullptr;
};

TEST_F(SetupApplyTest, ConversionsIntoThePhysicsValues)
{
    const bike_tuning_values& t = rider_get_bike_info(r)->tuning;
    struct {
        double value;
        float speed_factor, knee_factor;
    } dampers[] = {{0, 0.25f, -1}, {25, 0.5f, -0.5f}, {50, 1, 0}, {100, 4, 1}};
    for (const auto& d : dampers) {
        setup.fork_compression_adjustment = setup.fork_slow_rebound_adjustment = d.value;
        setup.shock_rebound_adjustment = setup.shock_slow_compression_adjustment = d.value;
        setup_apply_physics(r, &setup);
        EXPECT_FLOAT_EQ(r->fork_compression, d.speed_factor * t.fork_compression) << d.value;
        EXPECT_FLOAT_EQ(r->fork_slow_rebound, d.knee_factor * t.fork_slow_rebound) << d.value;
        EXPECT_FLOAT_EQ(r->shock_rebound, d.speed_factor * t.shock_rebound) << d.value;
        EXPECT_FLOAT_EQ(r->shock_slow_compression, d.knee_factor * t.shock_slow_compression) << d.value;
    }
    setup.max_dab_speed = 60;
    setup.restricted_lock = 45;
    setup.roll_limit_angle = 180;
    setup.fork_spring_rate_adjustment = 100;
    setup.shock_preload_adjustment = 0;
    setup.rider_zdamping = 30;
    setup.stop_wheelies = 2;  // "Front Only"
    setup.rear_brake = 1;
    setup.arcade = 0;
    setup.rider_mass_distribution = 0.5;
    setup.rear_sprocket_adjustment = 2;
    setup_apply_physics(r, &setup);
    const bike_main_values& m = rider_get_bike_info(r)->main;
    EXPECT_FLOAT_EQ(r->max_dab_speed, 88);
    EXPECT_FLOAT_EQ(r->restricted_lock, float(M_PI / 4));
    EXPECT_FLOAT_EQ(r->roll_limit_angle, float(M_PI));
    EXPECT_FLOAT_EQ(r->fork_spring_rate, t.fork_spring_rate_max);
    EXPECT_FLOAT_EQ(r->shock_preload, t.shock_preload_min);
    EXPECT_FLOAT_EQ(r->rider_zdamping, 0.3f);
    EXPECT_EQ(rider_get_stop_wheelies(r), 2);
    EXPECT_EQ(rider_get_rear_antilock(r), 1);
    EXPECT_EQ(rider_get_front_antilock(r), 1);
    EXPECT_EQ(r->arcade, 0);
    EXPECT_FLOAT_EQ(r->mass_distribution, 0.5f);
    EXPECT_FLOAT_EQ(r->final_ratio, (m.rear_sprocket + 2) / m.front_sprocket);
}

TEST_F(SetupApplyTest, ChangedMarksFollowTheAnnouncedValues)
{
    setup_applied_accept(&setup);
    setup_apply_physics(r, &setup);
    EXPECT_EQ(setup_changed_any(), 0);
    setup.stability = 3;  // not a physics value
    setup_apply_physics(r, &setup);
    EXPECT_EQ(setup_changed_any(), 0);
    setup.fork_preload_adjustment = 10;
    setup_apply_physics(r, &setup);
    EXPECT_EQ(setup_changed_any(), 1);
    setup.fork_preload_adjustment = 50;  // back again: stays marked until announced
    setup_apply_physics(r, &setup);
    EXPECT_EQ(setup_changed_any(), 1);
    setup_applied_accept(&setup);
    EXPECT_EQ(setup_changed_any(), 0);
}

TEST_F(SetupApplyTest, MechanicWorksOnlyOnAStoppedBike)
{
    dInitODE();
    dWorldID world = dWorldCreate();
    r->frame_body = dBodyCreate(world);
    setup.leveling = 77;
    dBodySetLinearVel(r->frame_body, 0, 0, -0.2);
    EXPECT_EQ(setup_apply_if_stopped(r, &setup, 1000), 0);
    EXPECT_TRUE(messages.empty()) << "the first refusal is silent";
    EXPECT_EQ(setup_apply_if_stopped(r, &setup, 1009), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Settings not applied.  Mechanic can't keep up error.");
    EXPECT_EQ(setup_apply_if_stopped(r, &setup, 1030), 0);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_FLOAT_EQ(r->leveling, 20);
    dBodySetLinearVel(r->frame_body, 0.1, 0, 0);
    EXPECT_EQ(setup_apply_if_stopped(r, &setup, 1031), 1);
    EXPECT_FLOAT_EQ(r->leveling, 77);
    rider_destroy(r);
    r = rider_create("yz250f(2017)", 0, 1, "999", nullptr, nullptr, nullptr, nullptr);
    dWorldDestroy(world);
    dCloseODE();
}

} // namespace
