// The bike table: lookup and fallback, the constraints every row must meet
// for the physics to stay stable, and the numbers a rider would check on a
// data sheet (weight, wheelbase, weight split, top speed, rev limit, tyres).
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "physics/bike_info.h"
#include "physics_test_support.h"

namespace {

std::vector<std::string>& messages = physics_message_capture::messages();


constexpr double tic = 1.0 / 128;
constexpr double g = 32;

// Mass of the bike alone, and the weight on each axle with the rider seated.
struct static_loads {
    double bike_mass, total_mass, front, rear;
};

static_loads loads_of(const bike_main_values& m)
{
    double masses[7] = {m.frame_mass, m.fork_upper_mass, m.fork_lower_mass, m.swingarm_mass,
                        m.front_wheel_mass, m.rear_wheel_mass, m.rider_mass};
    const float* at[7] = {m.frame_centre, m.fork_upper_centre, m.fork_lower_centre, m.swingarm_centre,
                          m.front_axle, m.rear_axle, m.rider_centre};
    static_loads l = {};
    double moment = 0;
    for (int k = 0; k < 7; k++) l.total_mass += masses[k], moment += masses[k] * at[k][2];
    l.bike_mass = l.total_mass - m.rider_mass;
    double span = m.rear_axle[2] - m.front_axle[2];
    l.front = l.total_mass * g * (m.rear_axle[2] - moment / l.total_mass) / span;
    l.rear = l.total_mass * g - l.front;
    return l;
}

double distance_to_line(const float* p, const float* a, const float* b)
{
    double d[3], w[3];
    for (int i = 0; i < 3; i++) d[i] = b[i] - a[i], w[i] = p[i] - a[i];
    double cross[3] = {d[1] * w[2] - d[2] * w[1], d[2] * w[0] - d[0] * w[2], d[0] * w[1] - d[1] * w[0]};
    return std::sqrt(cross[0] * cross[0] + cross[1] * cross[1] + cross[2] * cross[2]) /
           std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

TEST(BikeInfoLookup, ExactCaseSensitiveNamesAndFallbackByTheRule)
{
    ASSERT_NE(bike_info_lookup("cr125"), nullptr);
    EXPECT_STREQ(bike_info_lookup("crf450(2011)")->name, "crf450(2011)");
    EXPECT_EQ(bike_info_lookup("CR125"), nullptr);
    EXPECT_EQ(bike_info_lookup("crf450"), nullptr);
    EXPECT_EQ(bike_info_lookup(nullptr), nullptr);

    physics_message_capture capture;
    EXPECT_STREQ(bike_info_find_or_fallback("rs50yz")->name, "rs50yz");
    EXPECT_TRUE(messages.empty());
    struct {
        const char* asked;
        const char* chosen;
    } fallbacks[] = {{"mx125", "cr125"}, {"mx450", "kx250f(2007)"}, {"CR125", "cr125"}, {"", "kx250f(2007)"}};
    for (const auto& c : fallbacks) {
        messages.clear();
        EXPECT_STREQ(bike_info_find_or_fallback(c.asked)->name, c.chosen) << c.asked;
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0], "bike info for '" + std::string(c.asked) + "' not found using '" + c.chosen + "' instead");
    }
    messages.clear();
    bike_info_find_or_fallback("a_very_long_bike_name_indeed");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "bike info for 'a_very_long_bike_nam' not found using 'kx250f(2007)' instead");
}

TEST(BikeInfoTable, NamesClassesAndFiles)
{
    const bike_info* rows = bike_info_table();
    std::set<std::string> names;
    for (int i = 0; i < bike_info_count; i++) names.insert(rows[i].name);
    EXPECT_EQ(names.size(), size_t(bike_info_count));
    EXPECT_STREQ(rows[0].name, "cr125");
    EXPECT_STREQ(rows[79].name, "rs50yz");
    struct {
        const char* name;
        const char* cls;
        const char* skin;
    } cases[] = {{"cr125", "125", "@cr125.png"},          {"crf450(2011)", "450f", "@crf450.png"},
                 {"125sx", "125", "@125sx.png"},          {"rs50cr", "50", "@cr125.png"},
                 {"rs50kx", "50", "@kx125.png"},          {"rmz250(2009)", "250f", "@rmz250.png"},
                 {"yz250(2012)", "250", "@yz250.png"},    {"yz250f_se(2006)", "250f", "@yz250f_se.png"},
                 {"250sx(2012)", "250", "@250sx.png"},    {"350sxf(2013)", "450f", "@350sxf.png"}};
    for (const auto& c : cases) {
        const bike_info* row = bike_info_lookup(c.name);
        ASSERT_NE(row, nullptr) << c.name;
        EXPECT_STREQ(row->bike_class, c.cls) << c.name;
        EXPECT_STREQ(row->files[bike_file_bike_skin], c.skin) << c.name;
    }
    const bike_info* cr = bike_info_lookup("crf450(2011)");
    EXPECT_STREQ(cr->files[bike_file_frame_model], "@crf450_frame.qm");
    EXPECT_STREQ(cr->files[bike_file_front_plate_model], "@crf450_front_plate.qm");
    EXPECT_STREQ(cr->files[bike_file_rider_shape], "@generic_rider.shp");
    EXPECT_STREQ(cr->files[bike_file_rider_plate_model], "@rider_plate.qm");
    for (const char* name : {"cr125", "crf450(2011)"}) {
        EXPECT_FLOAT_EQ(bike_info_lookup(name)->main.fork_travel, 1.0f);
        EXPECT_FLOAT_EQ(bike_info_lookup(name)->main.swingarm_travel, 0.5303f);
    }
}

// What the physics needs of every row to build joints that line up and to
// stay stable at a 1/128-s tic.
TEST(BikeInfoTable, EveryRowMeetsThePhysicsConstraints)
{
    const bike_info* rows = bike_info_table();
    for (int i = 0; i < bike_info_count; i++) {
        const bike_info& row = rows[i];
        const bike_main_values& m = row.main;
        const bike_tuning_values& t = row.tuning;
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(std::set<std::string>({"50", "125", "250", "250f", "450f"}).count(row.bike_class));
        const float* floats = &m.frame_centre[0];
        for (size_t k = 0; k < sizeof m / sizeof(float); k++) ASSERT_TRUE(std::isfinite(floats[k])) << k;
        floats = &t.engine_inertia;
        for (size_t k = 0; k < sizeof t / sizeof(float); k++) ASSERT_TRUE(std::isfinite(floats[k])) << k;

        for (float mass : {m.frame_mass, m.fork_upper_mass, m.fork_lower_mass, m.swingarm_mass, m.front_wheel_mass,
                           m.rear_wheel_mass, m.rider_mass})
            EXPECT_GT(mass, 0);
        EXPECT_GT(m.fork_travel, 0);
        EXPECT_GT(m.swingarm_travel, 0);
        EXPECT_GT(m.front_tyre_section, 0);
        EXPECT_GT(m.rear_tyre_section, 0);
        EXPECT_GT(t.linkage_knee, 0);
        EXPECT_LT(t.linkage_knee, 1);
        EXPECT_GT(t.fork_air_gap_max_oil, 0);
        EXPECT_GT(t.fork_air_gap_min_oil, 0);
        EXPECT_GT(m.gear_ratio[1], 0);
        EXPECT_EQ(m.gear_ratio[0], 0);
        EXPECT_GE(m.front_sprocket, 3);
        EXPECT_GE(m.rear_sprocket, 3);

        // Fork bodies centre on the steering axis; the wheels rest just above the ground.
        EXPECT_LT(distance_to_line(m.fork_upper_centre, m.steer_lower, m.steer_upper), 1e-4);
        EXPECT_LT(distance_to_line(m.fork_lower_centre, m.steer_lower, m.steer_upper), 1e-4);
        EXPECT_NEAR(m.front_axle[1] - m.front_tyre_radius - m.front_tyre_section, 0.01, 1e-5);
        EXPECT_NEAR(m.rear_axle[1] - m.rear_tyre_radius - m.rear_tyre_section, 0.01, 1e-5);

        // Dampers: both ends are motor rows solved with the step, stable at
        // any coefficient; what a row needs is a damper to solve with.
        for (float k : {t.fork_compression, t.fork_rebound, t.shock_compression, t.shock_rebound}) EXPECT_GT(k, 0);

        // Clutch spring-damper, top gear (smallest ratio) and first gear.
        double final_ratio = m.rear_sprocket / m.front_sprocket;
        double top = 0, first = 0;
        for (int gear = 1; gear < 6; gear++)
            if (m.gear_ratio[gear] > 0) {
                double n = m.gear_ratio[gear] * m.primary_ratio * final_ratio;
                if (first == 0) first = n;
                top = n;
            }
        double omega = std::sqrt(t.clutch_stiffness / (t.engine_inertia * top * top));
        EXPECT_LT(omega * tic, 0.5);
        EXPECT_LT(t.clutch_damping * tic / (top * t.engine_inertia), 1);
        double outer = m.rear_tyre_radius + m.rear_tyre_section;
        EXPECT_LT(t.clutch_damping * first * tic / (0.8 * m.rear_wheel_mass * outer * outer), 1);
    }
}

struct class_range {
    const char* cls;
    double weight_lb[2], top_mph[2], wheelbase_in[2], rev_limit[2], outer_ft[2];
};

// Data-sheet ranges by class: weight ready to ride, top speed at the rev
// limit in top gear with stock gearing, wheelbase, rev limit, tyre radius.
const class_range ranges[] = {
    {"50", {75, 100}, {35, 45}, {38, 44}, {10000, 14000}, {0.65, 0.85}},
    {"125", {195, 225}, {62, 78}, {56, 60}, {11000, 13500}, {1.08, 1.2}},
    {"250", {210, 235}, {68, 85}, {56, 60}, {8500, 10500}, {1.08, 1.2}},
    {"250f", {215, 240}, {70, 85}, {56, 60}, {12500, 14500}, {1.08, 1.2}},
    {"450f", {220, 250}, {70, 85}, {56, 60}, {10000, 13000}, {1.08, 1.2}},
};

TEST(BikeInfoTable, StaticNumbersMatchTheirClass)
{
    const bike_info* rows = bike_info_table();
    for (int i = 0; i < bike_info_count; i++) {
        const bike_info& row = rows[i];
        const bike_main_values& m = row.main;
        SCOPED_TRACE(row.name);
        const class_range* range = nullptr;
        for (const auto& r : ranges)
            if (strcmp(r.cls, row.bike_class) == 0) range = &r;
        ASSERT_NE(range, nullptr);

        static_loads loads = loads_of(m);
        double weight = loads.bike_mass * 32.174;
        EXPECT_GE(weight, range->weight_lb[0]);
        EXPECT_LE(weight, range->weight_lb[1]);

        double wheelbase = (m.rear_axle[2] - m.front_axle[2]) * 12;
        EXPECT_GE(wheelbase, range->wheelbase_in[0]);
        EXPECT_LE(wheelbase, range->wheelbase_in[1]);

        // With the rider seated, a little more on the rear wheel.
        double front_share = loads.front / (loads.front + loads.rear);
        EXPECT_GT(front_share, 0.40);
        EXPECT_LT(front_share, 0.50);

        double front_outer = m.front_tyre_radius + m.front_tyre_section;
        double rear_outer = m.rear_tyre_radius + m.rear_tyre_section;
        for (double outer : {front_outer, rear_outer}) {
            EXPECT_GE(outer, range->outer_ft[0]);
            EXPECT_LE(outer, range->outer_ft[1]);
        }

        // Rev limit: where the open-throttle torque falls to zero past its peak.
        int peak = 0;
        for (int k = 1; k < bike_torque_entries; k++)
            if (m.torque_open[k] > m.torque_open[peak]) peak = k;
        double rev_limit = 0;
        for (int k = peak + 1; k < bike_torque_entries && rev_limit == 0; k++)
            if (m.torque_open[k] <= 0) {
                double a = m.torque_open[k - 1], b = m.torque_open[k];
                rev_limit = (k - 1 + a / (a - b)) * bike_torque_rpm_step;
            }
        EXPECT_GE(rev_limit, range->rev_limit[0]);
        EXPECT_LE(rev_limit, range->rev_limit[1]);
        EXPECT_LT(m.torque_closed[20], 0) << "engine braking at 10,000 rpm";

        // Top speed per gear from the ratios: rises with every gear.
        double previous = 0, top_speed = 0;
        for (int gear = 1; gear < 6; gear++) {
            if (m.gear_ratio[gear] <= 0) continue;
            double n = m.gear_ratio[gear] * m.primary_ratio * m.rear_sprocket / m.front_sprocket;
            double mph = rev_limit * 2 * M_PI / 60 / n * rear_outer * 0.6818181818181819;
            EXPECT_GT(mph, previous) << "gear " << gear;
            previous = top_speed = mph;
        }
        EXPECT_GE(top_speed, range->top_mph[0]);
        EXPECT_LE(top_speed, range->top_mph[1]);
    }
}

// Static sag with mid settings, found by solving the fork and shock force
// laws against the load on each wheel: 25-35 % front, 28-38 % rear.
TEST(BikeInfoTable, RidersSagIntoTheMiddleOfTheTravel)
{
    const bike_info* rows = bike_info_table();
    for (int i = 0; i < bike_info_count; i++) {
        const bike_info& row = rows[i];
        const bike_main_values& m = row.main;
        const bike_tuning_values& t = row.tuning;
        SCOPED_TRACE(row.name);
        static_loads loads = loads_of(m);
        double front = loads.front, rear = loads.rear;

        double axis[3];
        double length = 0;
        for (int k = 0; k < 3; k++) axis[k] = m.steer_upper[k] - m.steer_lower[k], length += axis[k] * axis[k];
        double fork_load = (front - (m.fork_lower_mass + m.front_wheel_mass) * g) * axis[1] / std::sqrt(length);
        double rate = 0.5 * (t.fork_spring_rate_min + t.fork_spring_rate_max);
        double preload = 0.5 * (t.fork_preload_min + t.fork_preload_max);
        double gap = 0.5 * (t.fork_air_gap_min_oil + t.fork_air_gap_max_oil);
        double travel = m.fork_travel, low = 0, high = travel;
        for (int step = 0; step < 60; step++) {
            double c = 0.5 * (low + high);
            double force = (preload + c) * rate + (std::pow((gap + travel) / (gap + travel - c), 1.4) - 1) * 82.46169;
            (force < fork_load ? low : high) = c;
        }
        EXPECT_GT(low / travel, 0.25);
        EXPECT_LT(low / travel, 0.35);

        double lever = m.rear_axle[2] - m.swingarm_pivot[2];
        double torque = (rear - m.rear_wheel_mass * g) * lever - m.swingarm_mass * g * (m.swingarm_centre[2] - m.swingarm_pivot[2]);
        double shock_rate = 0.5 * (t.shock_spring_rate_min + t.shock_spring_rate_max);
        double shock_preload = 0.5 * (t.shock_preload_min + t.shock_preload_max);
        low = 0, high = 1;
        for (int step = 0; step < 60; step++) {
            double x = 0.5 * (low + high);
            float p, s;
            bike_linkage_curve(&row, float(x), &p, &s);
            (s * (shock_preload + p) * shock_rate < torque ? low : high) = x;
        }
        EXPECT_GT(low, 0.28);
        EXPECT_LT(low, 0.38);
    }
}

TEST(BikeInfoTable, LinkageCurveIsProgressiveAndMeetsItsPoints)
{
    const bike_info* row = bike_info_lookup("kx250f(2013)");
    const bike_tuning_values& t = row->tuning;
    float p, s;
    bike_linkage_curve(row, 0, &p, &s);
    EXPECT_FLOAT_EQ(p, 0);
    EXPECT_FLOAT_EQ(s, t.linkage_slope[0]);
    bike_linkage_curve(row, t.linkage_knee, &p, &s);
    EXPECT_FLOAT_EQ(p, t.linkage_knee_position);
    EXPECT_FLOAT_EQ(s, t.linkage_slope[1]);
    bike_linkage_curve(row, 1, &p, &s);
    EXPECT_FLOAT_EQ(p, t.linkage_full_position);
    EXPECT_FLOAT_EQ(s, t.linkage_slope[2]);
    // The slope is the derivative: compare with a central difference.
    for (float x : {0.1f, 0.3f, 0.6f, 0.9f}) {
        float a, b, unused;
        bike_linkage_curve(row, x - 1e-3f, &a, &unused);
        bike_linkage_curve(row, x + 1e-3f, &b, &unused);
        bike_linkage_curve(row, x, &p, &s);
        EXPECT_NEAR(s, (b - a) / 2e-3f, 2e-3) << x;
        EXPECT_GT(s, 0);
    }
}

TEST(BikeInfoTable, SetupReadoutsInterpolateTheRowsRange)
{
    const bike_info* row = bike_info_lookup("yz250f(2017)");
    const bike_tuning_values& t = row->tuning;
    EXPECT_FLOAT_EQ(settings_fork_preload(row, 0), t.fork_preload_min * 304.8f);
    EXPECT_FLOAT_EQ(settings_fork_preload(row, 1), t.fork_preload_max * 304.8f);
    EXPECT_FLOAT_EQ(settings_fork_preload(row, 7), t.fork_preload_max * 304.8f);
    EXPECT_FLOAT_EQ(settings_fork_oil_level(row, 0.5f), 0.5f * (t.fork_air_gap_min_oil + t.fork_air_gap_max_oil) * 304.8f);
    EXPECT_FLOAT_EQ(settings_front_sprocket(row), 13);
    // Spring rates a tuner would recognise, in kg/mm.
    EXPECT_GT(settings_fork_spring_rate(row, 0.5f), 0.3f);
    EXPECT_LT(settings_fork_spring_rate(row, 0.5f), 1.2f);
    EXPECT_GT(settings_shock_spring_rate(row, 0.5f), 3.0f);
    EXPECT_LT(settings_shock_spring_rate(row, 0.5f), 7.0f);
}

} // namespace
