// The 80 bike rows. Each row is derived from the archetype of its class and
// varied a little by model and year (a fixed hash of its name), so that rows
// differ but every one rides like a dirt bike of its class. Springs, clutch
// and dampers are worked out from the geometry and masses so that every row
// sags 28-33 % at rest and stays stable at the 1/128-s tic.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "physics/bike_info.h"

namespace {

constexpr float gravity = 32.0f;
constexpr float tic_seconds = 1.0f / 128.0f;
constexpr float air_spring_scale = 82.46169f;  // the fork's air spring, lbf

struct class_archetype {
    const char* name;
    float scale;                 // geometry relative to a full-size bike
    float bike_mass, rider_mass;
    float front_wheel_mass, rear_wheel_mass, fork_upper_mass, fork_lower_mass, swingarm_mass;
    float front_outer, front_section, rear_outer, rear_section;
    float wheelbase, rake_degrees, fork_offset;
    float fork_travel, wheel_travel;
    float gears[6], primary, front_teeth, rear_teeth;
    float peak_torque, peak_rpm, rev_limit, low_end;  // low_end: share of peak at 0 rpm
    float engine_inertia, clutch_stiffness, clutch_damping, idle_rpm;
};

// Masses in slugs (1 slug = 32.17 lb), lengths in feet.
const class_archetype archetypes[] = {
    {"50", 0.68f, 2.70f, 2.80f, 0.20f, 0.26f, 0.12f, 0.13f, 0.20f,
     0.78f, 0.09f, 0.74f, 0.10f, 3.40f, 25.0f, 0.06f, 0.65f, 0.62f,
     {0, 1.0f, 0, 0, 0, 0}, 4.2f, 10, 40, 4.0f, 11000, 12000, 0.45f,
     0.0008f, 400, 0.30f, 2500},
    {"125", 1.0f, 6.60f, 4.6875f, 0.46f, 0.60f, 0.34f, 0.37f, 0.48f,
     1.14f, 0.13f, 1.12f, 0.18f, 4.85f, 26.5f, 0.08f, 1.0f, 1.02f,
     {0, 2.27f, 1.81f, 1.50f, 1.29f, 1.13f}, 3.30f, 13, 50, 16, 10500, 12500, 0.35f,
     0.0028f, 1600, 1.2f, 1600},
    {"250", 1.0f, 7.00f, 4.6875f, 0.47f, 0.62f, 0.35f, 0.38f, 0.50f,
     1.14f, 0.13f, 1.12f, 0.18f, 4.88f, 26.5f, 0.08f, 1.0f, 1.02f,
     {0, 2.00f, 1.59f, 1.29f, 1.10f, 0.96f}, 2.88f, 13, 49, 30, 8000, 9500, 0.35f,
     0.0045f, 1800, 1.8f, 1400},
    {"250f", 1.0f, 7.10f, 4.6875f, 0.47f, 0.62f, 0.35f, 0.38f, 0.50f,
     1.14f, 0.13f, 1.12f, 0.18f, 4.90f, 27.0f, 0.08f, 1.0f, 1.02f,
     {0, 2.14f, 1.76f, 1.47f, 1.26f, 1.09f}, 3.29f, 13, 49, 21, 10500, 13800, 0.55f,
     0.0035f, 2000, 1.5f, 2000},
    {"450f", 1.0f, 7.50f, 4.6875f, 0.48f, 0.64f, 0.36f, 0.39f, 0.52f,
     1.14f, 0.13f, 1.12f, 0.18f, 4.95f, 27.0f, 0.08f, 1.0f, 1.02f,
     {0, 2.10f, 1.71f, 1.42f, 1.22f, 1.07f}, 2.70f, 13, 49, 36, 8000, 11000, 0.60f,
     0.0060f, 2400, 2.4f, 1800},
};

const char* const row_names[bike_info_count] = {
    "cr125", "crf250(2007)", "crf250(2008)", "crf250(2009)", "crf250(2013)", "crf250(2016)",
    "crf250(2017)", "crf250(2018)", "cr250(2007)", "crf450(2011)", "crf450(2013)", "crf450(2016)",
    "crf450(2017)", "crf450(2018)", "kx125", "kx250f(2007)", "kx250f(2008)", "kx250f(2009)",
    "kx250f(2013)", "kx250f(2016)", "kx250f(2017)", "kx250f(2018)", "kx250(2006)", "kx450f(2011)",
    "kx450f(2013)", "kx450f(2016)", "kx450f(2017)", "kx450f(2018)", "rm125", "rmz250(2007)",
    "rmz250(2008)", "rmz250(2009)", "rmz250(2013)", "rmz250(2016)", "rmz250(2017)", "rmz250(2018)",
    "rm250(2008)", "rmz450(2011)", "rmz450(2013)", "rmz450(2016)", "rmz450(2017)", "rmz450(2018)",
    "yz125", "yz250f(2007)", "yz250f_se(2006)", "yz250f(2008)", "yz250f(2009)", "yz250f(2013)",
    "yz250f(2016)", "yz250f(2017)", "yz250f(2018)", "yz250(2012)", "yz450f(2011)", "yz450f(2013)",
    "yz450f(2016)", "yz450f(2017)", "yz450f(2018)", "125sx", "250sxf(2009)", "250sxf(2013)",
    "250sxf(2016)", "250sxf(2017)", "250sxf(2018)", "250sx(2012)", "350sxf(2011)", "350sxf(2013)",
    "350sxf(2017)", "450sxf(2011)", "450sxf(2013)", "450sxf(2016)", "450sxf(2017)", "450sxf(2018)",
    "fc250(2017)", "fc250(2018)", "fc450(2017)", "fc450(2018)", "rs50cr", "rs50kx", "rs50rm", "rs50yz",
};

bool starts_with(const char* text, const char* prefix) { return strncmp(text, prefix, strlen(prefix)) == 0; }

const char* class_of(const char* name)
{
    if (starts_with(name, "rs50")) return "50";
    if (strstr(name, "125")) return "125";
    for (const char* two_stroke : {"cr250(", "kx250(", "rm250(", "yz250(", "250sx("})
        if (starts_with(name, two_stroke)) return "250";
    if (strstr(name, "450") || strstr(name, "350")) return "450f";
    return "250f";
}

// The model stem: the name without its "(year)"; the 50s borrow the 125s'.
void stem_of(const char* name, char* stem, size_t size)
{
    if (starts_with(name, "rs50")) {
        snprintf(stem, size, "%s125", name + 4);
        return;
    }
    const char* paren = strchr(name, '(');
    size_t n = paren ? size_t(paren - name) : strlen(name);
    snprintf(stem, size, "%.*s", int(n), name);
}

// A fixed number in -1..1 per name and purpose (FNV-1a), for the small
// differences between models and years.
float variation(const char* name, unsigned salt)
{
    uint32_t h = 2166136261u ^ salt * 16777619u;
    for (const char* p = name; *p; p++) h = (h ^ uint8_t(*p)) * 16777619u;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    return float(h % 20001u) / 10000.0f - 1.0f;
}

void set3(float* out, float x, float y, float z)
{
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

void axis_point(float* out, const float* base, const float* unit, float t)
{
    for (int i = 0; i < 3; i++) out[i] = base[i] + unit[i] * t;
}

float open_torque(const class_archetype& a, float peak, float peak_rpm, float rev_limit, float rpm)
{
    float x = rpm / peak_rpm;
    if (x <= 1.0f) return peak * (a.low_end + (1.0f - a.low_end) * (1.0f - (1.0f - x) * (1.0f - x)));
    float over = (x - 1.0f) / (rev_limit / peak_rpm - 1.0f);
    float t = peak * (1.0f - over * over);
    return t < -peak ? -peak : t;
}

// Engine braking with the throttle shut: a little push at the lowest speeds
// (the idle circuit), then pumping and friction losses growing with rpm.
float closed_torque(float peak, float rpm)
{
    float k = peak / 21.0f;
    if (rpm < 1800.0f) return 3.0f * k * (1.0f - rpm / 1800.0f);
    return -k * (1.0f + rpm / 4000.0f);
}

float air_spring(float gap, float travel, float compression)
{
    float c = compression < travel ? compression : travel;
    return (std::pow((gap + travel) / (gap + travel - c), 1.4f) - 1.0f) * air_spring_scale;
}

void build_row(bike_info* row, const char* name)
{
    memset(row, 0, sizeof *row);
    snprintf(row->name, sizeof row->name, "%s", name);
    const char* cls = class_of(name);
    snprintf(row->bike_class, sizeof row->bike_class, "%s", cls);
    const class_archetype* a = &archetypes[0];
    for (const auto& candidate : archetypes)
        if (strcmp(candidate.name, cls) == 0) a = &candidate;

    bike_main_values& m = row->main;
    bike_tuning_values& t = row->tuning;
    const float s = a->scale;
    auto vary = [&](unsigned salt, float spread) { return 1.0f + spread * variation(name, salt); };

    // Wheels and wheelbase.
    float front_outer = a->front_outer, rear_outer = a->rear_outer;
    m.front_tyre_section = a->front_section;
    m.rear_tyre_section = a->rear_section;
    m.front_tyre_radius = front_outer - a->front_section;
    m.rear_tyre_radius = rear_outer - a->rear_section;
    m.front_wheel_mass = a->front_wheel_mass * vary(1, 0.03f);
    m.rear_wheel_mass = a->rear_wheel_mass * vary(2, 0.03f);
    float wheelbase = a->wheelbase * vary(3, 0.008f);
    float ground = 0.01f;
    set3(m.front_axle, 0, front_outer + ground, -0.5f * wheelbase);
    set3(m.rear_axle, 0, rear_outer + ground, 0.5f * wheelbase);

    // Steering axis: raked back, passing fork_offset behind the front axle.
    float rake = (a->rake_degrees + 0.4f * variation(name, 4)) * 0.017453292f;
    float u[3] = {0, std::cos(rake), std::sin(rake)};
    float n[3] = {0, -std::sin(rake), std::cos(rake)};
    float nearest[3];
    axis_point(nearest, m.front_axle, n, a->fork_offset * s);
    float head_lower = (2.57f * s - nearest[1]) / u[1];
    axis_point(m.steer_lower, nearest, u, head_lower);
    axis_point(m.steer_upper, nearest, u, head_lower + 0.55f * s);
    axis_point(m.fork_lower_centre, nearest, u, 0.57f * s);
    axis_point(m.fork_upper_centre, nearest, u, head_lower + 0.29f * s);
    m.fork_travel = a->fork_travel;
    m.fork_upper_mass = a->fork_upper_mass;
    m.fork_lower_mass = a->fork_lower_mass;

    // Swingarm.
    set3(m.swingarm_pivot, 0, 1.45f * s, m.rear_axle[2] - 1.9f * s);
    for (int i = 0; i < 3; i++) m.swingarm_centre[i] = 0.5f * (m.swingarm_pivot[i] + m.rear_axle[i]);
    // Full-size bikes swing through 0.5303 rad (about 1 ft at the axle).
    float arm = std::hypot(m.rear_axle[1] - m.swingarm_pivot[1], m.rear_axle[2] - m.swingarm_pivot[2]);
    m.swingarm_travel = s == 1.0f ? 0.5303f : a->wheel_travel / arm;
    m.swingarm_mass = a->swingarm_mass;

    // Frame and rider.
    float bike_mass = a->bike_mass * vary(5, 0.015f);
    m.frame_mass = bike_mass - m.front_wheel_mass - m.rear_wheel_mass - m.fork_upper_mass - m.fork_lower_mass -
                   m.swingarm_mass;
    set3(m.frame_centre, 0, 2.2f * s, 0.15f * s);
    set3(m.frame_box, 1.0f * s, 1.6f * s, 3.2f * s);
    m.rider_mass = a->rider_mass;
    set3(m.rider_centre, 0, 4.0f * s, 0.2f * s);
    set3(m.rider_direction, 0, 0, 1);
    m.rider_limits[0] = -0.5f * s;
    m.rider_limits[1] = 0.5f * s;
    for (int side = 0; side < 2; side++) {
        float sign = side == 0 ? -1.0f : 1.0f;
        set3(m.shoulder[side], sign * 0.6f * s, 1.1f * s, -0.2f * s);
        set3(m.hip[side], sign * 0.35f * s, -0.5f * s, 0.25f * s);
        set3(t.hand[side], sign * 1.35f * s, 3.55f * s, -1.35f * s);
        for (int i = 0; i < 3; i++) m.grip[side][i] = t.hand[side][i] - m.fork_upper_centre[i];
    }
    set3(m.head, 0, 1.6f * s, -0.1f * s);
    m.arm_lengths[0] = m.arm_lengths[1] = 0.95f * s;
    m.leg_lengths[0] = m.leg_lengths[1] = 1.45f * s;
    t.hand_distance[0] = t.hand_distance[1] = 0.95f * s;
    t.hand_height = 3.55f * s;
    t.hand_depth = -1.35f * s;
    t.hand_bend = 0.25f;

    // Drivetrain and engine.
    for (int g = 0; g < 6; g++) m.gear_ratio[g] = a->gears[g] > 0 ? a->gears[g] * vary(10 + unsigned(g), 0.012f) : 0;
    m.primary_ratio = a->primary;
    m.front_sprocket = a->front_teeth;
    m.rear_sprocket = a->rear_teeth + (variation(name, 6) > 0.5f ? 1.0f : 0.0f);
    float peak = a->peak_torque * vary(7, 0.04f), peak_rpm = a->peak_rpm, rev_limit = a->rev_limit;
    if (starts_with(name, "350")) {  // the small four-stroke in the 450 class
        peak = 28.0f * vary(7, 0.02f);
        peak_rpm = 9500;
        rev_limit = 12500;
        m.primary_ratio = 3.0f;  // geared down for the higher revs
    }
    rev_limit *= vary(8, 0.015f);
    for (int i = 0; i < bike_torque_entries; i++) {
        float rpm = float(i) * bike_torque_rpm_step;
        m.torque_open[i] = open_torque(*a, peak, peak_rpm, rev_limit, rpm);
        m.torque_closed[i] = closed_torque(peak, rpm);
    }
    t.engine_inertia = a->engine_inertia * vary(9, 0.03f);
    t.idle_rpm = a->idle_rpm;
    t.rev_limit_rpm = rev_limit;
    t.downshift_rpm = 0.45f * rev_limit;
    t.upshift_rpm = 0.9f * rev_limit;
    t.clutch_engage_rpm = a->idle_rpm + 0.15f * rev_limit;
    // The clutch is a torsional spring-damper stepped once a tic: keep its
    // natural frequency below 0.45/tic in the top gear, and its damping below
    // 0.8 of the one-tic limit on both the engine and the rear-wheel side.
    float final_ratio = m.rear_sprocket / m.front_sprocket;
    float low_total = 0, top_total = 0;
    for (int g = 1; g < 6; g++) {
        if (m.gear_ratio[g] <= 0) continue;
        float total = m.gear_ratio[g] * m.primary_ratio * final_ratio;
        if (low_total == 0) low_total = total;
        top_total = total;
    }
    float omega_max = 0.45f / tic_seconds;
    float ks_max = omega_max * omega_max * t.engine_inertia * top_total * top_total;
    t.clutch_stiffness = a->clutch_stiffness < ks_max ? a->clutch_stiffness : ks_max;
    float rear_inertia = 0.8f * m.rear_wheel_mass * rear_outer * rear_outer;
    float kd_engine = 0.8f * top_total * t.engine_inertia / tic_seconds;
    float kd_wheel = 0.8f * rear_inertia / (low_total * tic_seconds);
    float kd = a->clutch_damping;
    if (kd > kd_engine) kd = kd_engine;
    if (kd > kd_wheel) kd = kd_wheel;
    t.clutch_damping = kd;

    // Static loads of bike and rider on the two axles.
    const float masses[7] = {m.frame_mass, m.front_wheel_mass, m.rear_wheel_mass, m.fork_upper_mass,
                             m.fork_lower_mass, m.swingarm_mass, m.rider_mass};
    const float* centres[7] = {m.frame_centre, m.front_axle, m.rear_axle, m.fork_upper_centre,
                               m.fork_lower_centre, m.swingarm_centre, m.rider_centre};
    float total = 0, moment = 0;
    for (int i = 0; i < 7; i++) {
        total += masses[i];
        moment += masses[i] * centres[i][2];
    }
    float cg_z = moment / total;
    float span = m.rear_axle[2] - m.front_axle[2];
    float front_load = total * gravity * (m.rear_axle[2] - cg_z) / span;
    float rear_load = total * gravity - front_load;

    // Fork: spring plus air spring carry the sprung front load along the
    // steering axis at 28 % sag with mid settings.
    t.fork_preload_min = 0.0f;
    t.fork_preload_max = 0.06f * s;
    t.fork_air_gap_min_oil = 0.45f * m.fork_travel;
    t.fork_air_gap_max_oil = 0.25f * m.fork_travel;
    float fork_sag = 0.28f * m.fork_travel;
    float fork_load = (front_load - (m.fork_lower_mass + m.front_wheel_mass) * gravity) * u[1];
    float gap_mid = 0.5f * (t.fork_air_gap_min_oil + t.fork_air_gap_max_oil);
    float fork_rate = (fork_load - air_spring(gap_mid, m.fork_travel, fork_sag)) /
                      (0.5f * (t.fork_preload_min + t.fork_preload_max) + fork_sag);
    t.fork_spring_rate_min = 0.8f * fork_rate;
    t.fork_spring_rate_max = 1.2f * fork_rate;
    // Dampers: shares of each end's critical damping 2 sqrt(k m), k the
    // spring's rate at sag (coil and air) and m the sprung load it carries,
    // at the default settings (fork x1, shock x2: the setup's 50 and 75).
    // A third of critical in compression lets a landing use the travel
    // without bouncing off the tyre; six tenths in rebound returns the
    // end in about one stroke without springing back past sag.
    constexpr float compression_share = 0.35f, rebound_share = 0.6f;
    const float d = 0.01f * m.fork_travel;
    float fork_k = fork_rate + (air_spring(gap_mid, m.fork_travel, fork_sag + d) -
                                air_spring(gap_mid, m.fork_travel, fork_sag - d)) / (2.0f * d);
    float fork_critical = 2.0f * std::sqrt(fork_k * fork_load / gravity);
    t.fork_compression = compression_share * fork_critical;
    t.fork_rebound = rebound_share * fork_critical;
    t.fork_slow_compression = 30.0f * s;
    t.fork_slow_rebound = 30.0f * s;

    // Shock through a progressive linkage, 33 % sag at mid settings.
    t.linkage_knee = 0.5f;
    t.linkage_knee_position = 0.19f * s;
    // Rising rate toward the end of travel (the last slope about 3.4 times
    // the first), which holds a landing off the bump stop.
    t.linkage_full_position = 0.58f * s;
    set3(t.linkage_slope, 0.32f * s, 0.42f * s, 1.1f * s);
    t.shock_preload_min = 0.0f;
    t.shock_preload_max = 0.04f * s;
    float lever = m.rear_axle[2] - m.swingarm_pivot[2];
    float swing_lever = m.swingarm_centre[2] - m.swingarm_pivot[2];
    float torque = (rear_load - m.rear_wheel_mass * gravity) * lever - m.swingarm_mass * gravity * swing_lever;
    float p = 0, slope = 0;
    bike_linkage_curve(row, 0.33f, &p, &slope);
    float shock_rate = torque / (slope * (0.5f * (t.shock_preload_min + t.shock_preload_max) + p));
    t.shock_spring_rate_min = 0.8f * shock_rate;
    t.shock_spring_rate_max = 1.2f * shock_rate;
    // The shock's torque about the pivot is slope(x) (preload + p(x)) k at
    // travel fraction x = angle / travel, its damper slope^2 c per rad/s;
    // the sprung rear load turns about the pivot as a mass at the axle.
    auto shock_at = [&](float x) {
        float px = 0, sx = 0;
        bike_linkage_curve(row, x, &px, &sx);
        return sx * (0.5f * (t.shock_preload_min + t.shock_preload_max) + px) * shock_rate;
    };
    float shock_k = (shock_at(0.34f) - shock_at(0.32f)) / (0.02f * m.swingarm_travel);
    float shock_inertia = torque * lever / gravity;
    float shock_critical = 2.0f * std::sqrt(shock_k * shock_inertia) / (2.0f * slope * slope);
    t.shock_compression = compression_share * shock_critical;
    t.shock_rebound = rebound_share * shock_critical;
    t.shock_slow_compression = 100.0f * s;
    t.shock_slow_rebound = 100.0f * s;

    for (int i = 0; i < 4; i++) t.fork_readout[i] = t.shock_readout[i] = 1.0f;
    t.rider_yspring_max = 2000.0f * s;
    t.rider_ydamping_max = 80.0f * s;
    t.rider_zspring_max = 1000.0f * s;
    t.rider_zdamping_max = 50.0f * s;

    // Files.
    char stem[32];
    stem_of(name, stem, sizeof stem);
    auto file = [&](bike_file which, const char* text) { snprintf(row->files[which], 64, "%s", text); };
    auto stem_file = [&](bike_file which, const char* suffix) { snprintf(row->files[which], 64, "@%s%s", stem, suffix); };
    stem_file(bike_file_frame_model, "_frame.qm");
    file(bike_file_frame_shape, "@generic_frame.shp");
    stem_file(bike_file_bike_skin, ".png");
    stem_file(bike_file_fork_upper_model, "_fork_upper.qm");
    file(bike_file_fork_upper_shape, "@generic_fork_upper.shp");
    stem_file(bike_file_fork_lower_model, "_fork_lower.qm");
    file(bike_file_fork_lower_shape, "@generic_fork_lower.shp");
    stem_file(bike_file_swingarm_model, "_swingarm.qm");
    file(bike_file_swingarm_shape, "@generic_swingarm.shp");
    file(bike_file_front_wheel_model, "@front_wheel.qm");
    file(bike_file_front_wheel_shape, "@front_wheel.shp");
    file(bike_file_rear_wheel_model, "@rear_wheel.qm");
    file(bike_file_rear_wheel_shape, "@rear_wheel.shp");
    file(bike_file_wheel_skin, "@wheels.png");
    file(bike_file_rider_head_model, "@rider_head.qm");
    file(bike_file_rider_head_skin, "@rider_head.png");
    file(bike_file_rider_body_model, "@rider_body.qm");
    file(bike_file_rider_body_fp_model, "@rider_body_fp.qm");
    file(bike_file_rider_shape, "@generic_rider.shp");
    file(bike_file_rider_body_skin, "@rider_body.png");
    stem_file(bike_file_side_plates_model, "_side_plates.qm");
    stem_file(bike_file_front_plate_model, "_front_plate.qm");
    file(bike_file_rider_plate_model, "@rider_plate.qm");
}

} // namespace

const bike_info* bike_info_table()
{
    static bike_info rows[bike_info_count];
    static bool built = [] {
        for (int i = 0; i < bike_info_count; i++) build_row(&rows[i], row_names[i]);
        return true;
    }();
    (void)built;
    return rows;
}
