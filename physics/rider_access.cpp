#include "physics/rider_access.h"

#include <bit>
#include <cmath>

#include "physics/bike_info.h"

namespace {
constexpr float pi = 3.14159265358979f;
constexpr float mph_per_fps = 0.6818181818181819f;

// NaN clamps to the low end, so no setter can store one.
float clamp(float value, float low, float high)
{
    if (!(value >= low)) return low;
    return value > high ? high : value;
}

const bike_info* row_of(const rider* r) { return bike_info_table() + r->bike_index; }

void set_bits(rider* r, uint8_t mask, int value)
{
    r->option_flags = uint8_t((r->option_flags & ~mask) | ((unsigned(value) << std::countr_zero(mask)) & mask));
}

int get_bits(const rider* r, uint8_t mask) { return (r->option_flags & mask) >> std::countr_zero(mask); }

// The gear for a target: neutral at 0 or below, else the target (at most 5)
// or the next lower gear whose ratio is above 0, neutral when none.
int walk_gear(const bike_info* row, int target)
{
    if (target <= 0) return 0;
    if (target > 5) target = 5;
    for (int g = target; g >= 1; g--)
        if (row->main.gear_ratio[g] > 0) return g;
    return 0;
}
} // namespace

dBodyID rider_get_frame_body(const rider* r) { return r->frame_body; }
dBodyID rider_get_rider_body(const rider* r) { return r->rider_body; }
int rider_get_gear(const rider* r) { return r->gear; }
float rider_get_clutch(const rider* r) { return r->clutch; }
float rider_get_throttle(const rider* r) { return r->throttle; }
const bike_info* rider_get_bike_info(const rider* r) { return row_of(r); }
const char* rider_get_bike_class(const rider* r) { return row_of(r)->bike_class; }
const char* rider_get_number(const rider* r) { return r->number; }
const char* rider_get_bike_texture(const rider* r) { return r->bike_texture.name; }
const char* rider_get_wheel_texture(const rider* r) { return r->wheel_texture.name; }
const char* rider_get_head_texture(const rider* r) { return r->head_texture.name; }
const char* rider_get_rider_texture(const rider* r) { return r->rider_texture.name; }
int rider_is_crashed(const rider* r) { return r->crash_tics > 0; }

float rider_get_forward_speed(const rider* r)
{
    if (!r->frame_body) return 0;
    const dReal* v = dBodyGetLinearVel(r->frame_body);
    const dReal* m = dBodyGetRotation(r->frame_body);  // row-major 3x4
    double along_z = v[0] * m[2] + v[1] * m[6] + v[2] * m[10];
    return float(-along_z) * mph_per_fps;
}

void rider_set_throttle(rider* r, float value) { r->throttle = rider_is_crashed(r) ? 0 : clamp(value, 0, 1); }
void rider_set_clutch(rider* r, float value) { r->clutch = clamp(value, 0, 1); }
void rider_set_front_brake(rider* r, float value) { r->front_brake = clamp(value, 0, 1); }
void rider_set_rear_brake(rider* r, float value) { r->rear_brake = clamp(value, 0, 1); }
void rider_set_steer(rider* r, float value) { r->steer = clamp(value, -1, 1); }
void rider_set_dab(rider* r, float value) { r->dab = rider_is_crashed(r) ? 0 : clamp(value, 0, 1); }
void rider_set_control_b(rider* r, float value) { r->lean_input = rider_is_crashed(r) ? 0 : clamp(value, 0, 1); }
void rider_set_control_c(rider* r, float value) { r->pitch_input = rider_is_crashed(r) ? 0 : clamp(value, -1, 1); }

void rider_reset_controls(rider* r)
{
    rider_set_dab(r, 1);
    r->clutch = 0;
    r->front_brake = 1;
    r->rear_brake = 1;
    r->steer = 0;
    r->gear = row_of(r)->main.gear_ratio[1] > 0 ? 1 : 0;
    r->launch = 0;
}

void rider_shift(rider* r, int request)
{
    if (rider_is_crashed(r) || request == r->last_shift || request < -1 || request > 1) return;
    r->last_shift = request;
    if (request == 0) return;
    r->gear = walk_gear(row_of(r), r->gear + request);
}

void rider_set_gear(rider* r, int gear) { r->gear = walk_gear(row_of(r), gear); }

void rider_set_leveling(rider* r, float value) { r->leveling = clamp(value, 0, 100); }
void rider_set_roll_damping(rider* r, float value) { r->roll_damping = clamp(value, 0, 100); }
void rider_set_roll_limit_angle(rider* r, float value) { r->roll_limit_angle = clamp(value, 0, pi); }
void rider_set_roll_limit_factor(rider* r, float value) { r->roll_limit_factor = clamp(value, 0, 64); }
void rider_set_steering_damping(rider* r, float value) { r->steering_damping = clamp(value, 0, 100); }
void rider_set_steering_strength(rider* r, float value) { r->steering_strength = clamp(value, 0, 100); }
void rider_set_max_steering_force(rider* r, float value) { r->max_steering_force = clamp(value, 0, 1000); }
void rider_set_direct_steering(rider* r, float value) { r->direct_steering = clamp(value, 0, 1); }
void rider_set_slow_damping_speed(rider* r, float value) { r->slow_damping_speed = clamp(value, 0, 100); }
void rider_set_slow_damping_factor(rider* r, float value) { r->slow_damping_factor = clamp(value, 1, 10); }
void rider_set_land_damping_rampup(rider* r, float value) { r->land_damping_rampup = clamp(value, 0, 0.5f); }
void rider_set_land_damping_falloff(rider* r, float value) { r->land_damping_falloff = clamp(value, 0, 0.5f); }
void rider_set_land_damping_factor(rider* r, float value) { r->land_damping_factor = clamp(value, 1, 3); }
void rider_set_full_lock_speed(rider* r, float value) { r->full_lock_speed = clamp(value, 1, 100); }
void rider_set_restricted_lock_speed(rider* r, float value) { r->restricted_lock_speed = clamp(value, 1, 100); }
void rider_set_restricted_lock(rider* r, float value) { r->restricted_lock = clamp(value, 0, 0.7853982f); }
void rider_set_auto_clutch_rpms(rider* r, float value) { r->auto_clutch_rpms = clamp(value, 0, 5000); }
void rider_set_brake_torque(rider* r, float value) { r->brake_torque = clamp(value, 0, 500); }
void rider_set_rear_brake_torque(rider* r, float value) { r->rear_brake_torque = clamp(value, 0, 500); }
void rider_set_max_dab_speed(rider* r, float value) { r->max_dab_speed = clamp(value, 7, 100); }
void rider_set_arcade(rider* r, int value) { r->arcade = value; }

float rider_get_leveling(const rider* r) { return r->leveling; }
float rider_get_roll_damping(const rider* r) { return r->roll_damping; }
float rider_get_roll_limit_angle(const rider* r) { return r->roll_limit_angle; }
float rider_get_roll_limit_factor(const rider* r) { return r->roll_limit_factor; }
float rider_get_steering_damping(const rider* r) { return r->steering_damping; }
float rider_get_steering_strength(const rider* r) { return r->steering_strength; }
float rider_get_max_steering_force(const rider* r) { return r->max_steering_force; }
float rider_get_direct_steering(const rider* r) { return r->direct_steering; }
float rider_get_slow_damping_speed(const rider* r) { return r->slow_damping_speed; }
float rider_get_slow_damping_factor(const rider* r) { return r->slow_damping_factor; }
float rider_get_land_damping_rampup(const rider* r) { return r->land_damping_rampup; }
float rider_get_land_damping_falloff(const rider* r) { return r->land_damping_falloff; }
float rider_get_land_damping_factor(const rider* r) { return r->land_damping_factor; }
float rider_get_full_lock_speed(const rider* r) { return r->full_lock_speed; }
float rider_get_restricted_lock_speed(const rider* r) { return r->restricted_lock_speed; }
float rider_get_restricted_lock(const rider* r) { return r->restricted_lock; }
float rider_get_auto_clutch_rpms(const rider* r) { return r->auto_clutch_rpms; }
float rider_get_brake_torque(const rider* r) { return r->brake_torque; }
float rider_get_rear_brake_torque(const rider* r) { return r->rear_brake_torque; }
float rider_get_max_dab_speed(const rider* r) { return r->max_dab_speed; }
int rider_get_arcade(const rider* r) { return r->arcade; }

void rider_set_rider_yspring(rider* r, float spring, float damping)
{
    r->rider_yspring = clamp(spring, 0, 1);
    r->rider_ydamping = clamp(damping, 0, 1);
}

void rider_set_rider_zspring(rider* r, float spring, float damping)
{
    r->rider_zspring = clamp(spring, 0, 1);
    r->rider_zdamping = clamp(damping, 0, 1);
}

void rider_set_flag(rider* r, int value) { set_bits(r, rider_option_flag, value); }
int rider_get_flag(const rider* r) { return get_bits(r, rider_option_flag); }
void rider_set_stop_wheelies(rider* r, int value) { set_bits(r, rider_option_stop_wheelies, value); }
int rider_get_stop_wheelies(const rider* r) { return get_bits(r, rider_option_stop_wheelies); }
void rider_set_front_antilock(rider* r, int value) { set_bits(r, rider_option_front_antilock, value); }
int rider_get_front_antilock(const rider* r) { return get_bits(r, rider_option_front_antilock); }
void rider_set_rear_antilock(rider* r, int value) { set_bits(r, rider_option_rear_antilock, value); }
int rider_get_rear_antilock(const rider* r) { return get_bits(r, rider_option_rear_antilock); }
void rider_set_auto_shift(rider* r, int value) { set_bits(r, rider_option_auto_shift, value); }
int rider_get_auto_shift(const rider* r) { return get_bits(r, rider_option_auto_shift); }
void rider_set_auto_dab(rider* r, int value) { set_bits(r, rider_option_auto_dab, value); }
int rider_get_auto_dab(const rider* r) { return get_bits(r, rider_option_auto_dab); }
void rider_set_auto_align(rider* r, int value) { set_bits(r, rider_option_auto_align, value); }
int rider_get_auto_align(const rider* r) { return get_bits(r, rider_option_auto_align); }

void rider_set_sprockets(rider* r, float front_adjustment, float rear_adjustment)
{
    const bike_info* row = row_of(r);
    r->sprocket_adjustment[0] = clamp(front_adjustment, -2, 2);
    r->sprocket_adjustment[1] = clamp(rear_adjustment, -2, 2);
    float front = std::floor(row->main.front_sprocket + r->sprocket_adjustment[0]);
    float rear = std::floor(row->main.rear_sprocket + r->sprocket_adjustment[1]);
    if (front < 3) front = 3;
    if (rear < 3) rear = 3;
    r->final_ratio = rear / front;
}

void rider_set_fork(rider* r, float compression, float slow_compression, float rebound, float slow_rebound,
                    float spring_rate, float preload, float oil_level)
{
    const bike_tuning_values& t = row_of(r)->tuning;
    r->fork_compression = t.fork_compression * clamp(compression, 0.25f, 4);
    r->fork_slow_compression = t.fork_slow_compression * clamp(slow_compression, -1, 1);
    r->fork_rebound = t.fork_rebound * clamp(rebound, 0.25f, 4);
    r->fork_slow_rebound = t.fork_slow_rebound * clamp(slow_rebound, -1, 1);
    r->fork_spring_rate = bike_interpolate(t.fork_spring_rate_min, t.fork_spring_rate_max, spring_rate);
    r->fork_preload = bike_interpolate(t.fork_preload_min, t.fork_preload_max, preload);
    r->fork_oil_level = bike_interpolate(t.fork_air_gap_min_oil, t.fork_air_gap_max_oil, oil_level);
}

void rider_set_shock(rider* r, float compression, float slow_compression, float rebound, float slow_rebound,
                     float spring_rate, float preload)
{
    const bike_tuning_values& t = row_of(r)->tuning;
    r->shock_compression = t.shock_compression * clamp(compression, 0.25f, 4);
    r->shock_slow_compression = t.shock_slow_compression * clamp(slow_compression, -1, 1);
    r->shock_rebound = t.shock_rebound * clamp(rebound, 0.25f, 4);
    r->shock_slow_rebound = t.shock_slow_rebound * clamp(slow_rebound, -1, 1);
    r->shock_spring_rate = bike_interpolate(t.shock_spring_rate_min, t.shock_spring_rate_max, spring_rate);
    r->shock_preload = bike_interpolate(t.shock_preload_min, t.shock_preload_max, preload);
}

void rider_set_mass_distribution(rider* r, float x)
{
    const bike_main_values& m = row_of(r)->main;
    r->mass_distribution = clamp(x, 0.33f, 0.5f);
    if (r->frame_body) {
        dMass mass;
        dMassSetBoxTotal(&mass, m.frame_mass + (1 - r->mass_distribution) * m.rider_mass, m.frame_box[0],
                         m.frame_box[1], m.frame_box[2]);
        dBodySetMass(r->frame_body, &mass);
    }
    if (r->rider_body) {
        dMass mass;
        dMassSetSphereTotal(&mass, r->mass_distribution * m.rider_mass, 1.0);
        dBodySetMass(r->rider_body, &mass);
    }
}

void rider_settings_defaults(rider* r)
{
    constexpr float degrees = pi / 180;
    rider_set_leveling(r, 20);
    rider_set_roll_damping(r, 60);
    rider_set_roll_limit_angle(r, 45 * degrees);
    rider_set_roll_limit_factor(r, 10);
    rider_set_steering_damping(r, 45);
    rider_set_steering_strength(r, 75);
    rider_set_max_steering_force(r, 400);
    rider_set_direct_steering(r, 1);
    rider_set_slow_damping_speed(r, 40);
    rider_set_slow_damping_factor(r, 2);
    rider_set_land_damping_rampup(r, 0.0625f);
    rider_set_land_damping_falloff(r, 0.25f);
    rider_set_land_damping_factor(r, 2);
    rider_set_full_lock_speed(r, 10);
    rider_set_restricted_lock_speed(r, 50);
    rider_set_restricted_lock(r, 5 * degrees);
    rider_set_auto_clutch_rpms(r, 5000);
    rider_set_brake_torque(r, 500);
    rider_set_rear_brake_torque(r, 250);
    rider_set_max_dab_speed(r, 60 * 1.4666666666666666f);
    rider_set_rider_yspring(r, 0.5f, 0.5f);
    rider_set_rider_zspring(r, 0.5f, 0.5f);
    rider_set_sprockets(r, 0, 0);
    rider_set_fork(r, 1, 0, 1, 0, 0.5f, 0.5f, 0.5f);
    rider_set_shock(r, 2, 0, 2, 0, 0.5f, 0.5f);  // the setup's 75, 50, 75, 50
    rider_set_mass_distribution(r, 0.33f);
    r->throttle = 1;
    r->option_flags = uint8_t(rider_option_front_antilock | rider_option_auto_shift | rider_option_auto_dab |
                              rider_option_auto_align | (3 << 1));
    r->arcade = 1;
    rider_reset_controls(r);
}
