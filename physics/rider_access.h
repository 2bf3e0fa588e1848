#pragma once
// Reading and writing a rider: getters, setters that clamp, the control
// inputs the main loop and the auto pilot set every tic, the gear shift and
// the setup values that scale the bike row's suspension and drivetrain.
// Every setter clamps silently; control inputs read 0 while crashed.
#include <ode/ode.h>

#include "physics/rider.h"

// Getters.
dBodyID rider_get_frame_body(const rider* r);
dBodyID rider_get_rider_body(const rider* r);
int rider_get_gear(const rider* r);
float rider_get_clutch(const rider* r);
float rider_get_throttle(const rider* r);
const bike_info* rider_get_bike_info(const rider* r);
const char* rider_get_bike_class(const rider* r);
const char* rider_get_number(const rider* r);
const char* rider_get_bike_texture(const rider* r);
const char* rider_get_wheel_texture(const rider* r);
const char* rider_get_head_texture(const rider* r);
const char* rider_get_rider_texture(const rider* r);
// The frame's forward speed in miles per hour (forward is the frame's -z).
float rider_get_forward_speed(const rider* r);
int rider_is_crashed(const rider* r);

// Control inputs: clamped, then stored.
void rider_set_throttle(rider* r, float value);     // 0..1, 0 while crashed
void rider_set_clutch(rider* r, float value);       // 0..1
void rider_set_front_brake(rider* r, float value);  // 0..1
void rider_set_rear_brake(rider* r, float value);   // 0..1
void rider_set_steer(rider* r, float value);        // -1..1
void rider_set_dab(rider* r, float value);          // 0..1, 0 while crashed
void rider_set_control_b(rider* r, float value);    // lean_input 0..1, 0 while crashed
void rider_set_control_c(rider* r, float value);    // pitch_input -1..1, 0 while crashed
// Dab 1 (0 while crashed), clutch 0, both brakes 1, steering 0, gear 1 when
// the bike has a first gear (else neutral), the launch cleared.
void rider_reset_controls(rider* r);

// Gears: a shift request (-1, 0, +1) acts on its edge only, and never while
// crashed; gears whose row ratio is 0 or less are skipped downward.
void rider_shift(rider* r, int request);
void rider_set_gear(rider* r, int gear);

// Riding settings, each clamped to the range noted.
void rider_set_leveling(rider* r, float value);              // 0..100
void rider_set_roll_damping(rider* r, float value);          // 0..100
void rider_set_roll_limit_angle(rider* r, float value);      // 0..pi
void rider_set_roll_limit_factor(rider* r, float value);     // 0..64
void rider_set_steering_damping(rider* r, float value);      // 0..100
void rider_set_steering_strength(rider* r, float value);     // 0..100
void rider_set_max_steering_force(rider* r, float value);    // 0..1000
void rider_set_direct_steering(rider* r, float value);       // 0..1
void rider_set_slow_damping_speed(rider* r, float value);    // 0..100
void rider_set_slow_damping_factor(rider* r, float value);   // 1..10
void rider_set_land_damping_rampup(rider* r, float value);   // 0..0.5
void rider_set_land_damping_falloff(rider* r, float value);  // 0..0.5
void rider_set_land_damping_factor(rider* r, float value);   // 1..3
void rider_set_full_lock_speed(rider* r, float value);       // 1..100
void rider_set_restricted_lock_speed(rider* r, float value); // 1..100
void rider_set_restricted_lock(rider* r, float value);       // 0..pi/4
void rider_set_auto_clutch_rpms(rider* r, float value);      // 0..5000
void rider_set_brake_torque(rider* r, float value);          // 0..500
void rider_set_rear_brake_torque(rider* r, float value);     // 0..500
void rider_set_max_dab_speed(rider* r, float value);         // 7..100 ft/s
void rider_set_rider_yspring(rider* r, float spring, float damping);  // 0..1 each
void rider_set_rider_zspring(rider* r, float spring, float damping);  // 0..1 each
void rider_set_arcade(rider* r, int value);                  // stored unchanged

// Riding setting getters: the values as stored.
float rider_get_leveling(const rider* r);
float rider_get_roll_damping(const rider* r);
float rider_get_roll_limit_angle(const rider* r);
float rider_get_roll_limit_factor(const rider* r);
float rider_get_steering_damping(const rider* r);
float rider_get_steering_strength(const rider* r);
float rider_get_max_steering_force(const rider* r);
float rider_get_direct_steering(const rider* r);
float rider_get_slow_damping_speed(const rider* r);
float rider_get_slow_damping_factor(const rider* r);
float rider_get_land_damping_rampup(const rider* r);
float rider_get_land_damping_falloff(const rider* r);
float rider_get_land_damping_factor(const rider* r);
float rider_get_full_lock_speed(const rider* r);
float rider_get_restricted_lock_speed(const rider* r);
float rider_get_restricted_lock(const rider* r);
float rider_get_auto_clutch_rpms(const rider* r);
float rider_get_brake_torque(const rider* r);
float rider_get_rear_brake_torque(const rider* r);
float rider_get_max_dab_speed(const rider* r);
int rider_get_arcade(const rider* r);

// Option bits (low bits of value stored, the same bits returned).
void rider_set_flag(rider* r, int value);
int rider_get_flag(const rider* r);
void rider_set_stop_wheelies(rider* r, int value);  // 0..3
int rider_get_stop_wheelies(const rider* r);
void rider_set_front_antilock(rider* r, int value);
int rider_get_front_antilock(const rider* r);
void rider_set_rear_antilock(rider* r, int value);
int rider_get_rear_antilock(const rider* r);
void rider_set_auto_shift(rider* r, int value);
int rider_get_auto_shift(const rider* r);
void rider_set_auto_dab(rider* r, int value);
int rider_get_auto_dab(const rider* r);
void rider_set_auto_align(rider* r, int value);
int rider_get_auto_align(const rider* r);

// Sprocket adjustments (-2..2 teeth each) on the row's stock sprockets; the
// teeth are floored and kept at 3 or more; final_ratio = rear / front.
void rider_set_sprockets(rider* r, float front_adjustment, float rear_adjustment);
// Damping factors scale the row's base values (compression and rebound
// 0.25..4, the slow knees -1..1); spring, preload and oil level are
// fractions 0..1 from the row's minimum to its maximum.
void rider_set_fork(rider* r, float compression, float slow_compression, float rebound, float slow_rebound,
                    float spring_rate, float preload, float oil_level);
void rider_set_shock(rider* r, float compression, float slow_compression, float rebound, float slow_rebound,
                     float spring_rate, float preload);
// Share x (0.33..0.5) of the rider's mass on the rider body (a sphere of
// radius 1); the rest rides in the frame's box.
void rider_set_mass_distribution(rider* r, float x);

// Every setting, control and suspension value at its default for the row.
void rider_settings_defaults(rider* r);
