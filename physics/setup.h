#pragma once
// The bike setup: the player's bike, name, number, skins and riding and
// suspension settings, as the Bike Setup, Suspension and Gearing and
// Advanced Stability menu pages edit them. It is read from and written to
// ".braap" files (key=value lines, docs/braap.md) and pushed into a rider's
// physics by setup_apply_physics.
#include <cstdint>

struct rider;
struct vfs_stream;

constexpr int setup_key_count = 58;

struct bike_setup {
    // Texts.
    char bike[64];
    char name[64];
    char number[8];
    char rider_texture[128];
    char head_texture[128];
    char bike_texture[128];
    char wheel_texture[128];
    // Stability and the sixteen advanced stability values (degrees for the
    // angles; the physics gets radians).
    double stability;
    double leveling, roll_damping, roll_limit_angle, roll_limit_factor;
    double steering_damping, steering_strength, max_steering_force, direct_steering;
    double slow_damping_speed, slow_damping_factor;
    double land_damping_rampup, land_damping_falloff, land_damping_factor;
    double full_lock_speed, restricted_lock_speed, restricted_lock;
    // Choices, as indices into their entry lists.
    int32_t arcade, front_brake, rear_brake, stop_wheelies, auto_shift, auto_dab, auto_align;
    int32_t sticky_dab, reverse_steering, lean_indicator;
    // Numbers.
    double auto_clutch_rpms, brake_torque, rear_brake_torque, max_dab_speed;  // max dab speed in mph
    double front_sprocket_adjustment, rear_sprocket_adjustment;
    double fork_compression_adjustment, fork_slow_compression_adjustment;
    double fork_rebound_adjustment, fork_slow_rebound_adjustment;
    double fork_spring_rate_adjustment, fork_preload_adjustment, fork_oil_level_adjustment;
    double shock_compression_adjustment, shock_slow_compression_adjustment;
    double shock_rebound_adjustment, shock_slow_rebound_adjustment;
    double shock_spring_rate_adjustment, shock_preload_adjustment;
    double rider_yspring, rider_ydamping, rider_zspring, rider_zdamping;
    double rider_mass_distribution;
};

// The player's setup, the values the menus show and the config file keeps.
extern bike_setup player_setup;

// Every value at its menu default (bike "yz250f(2017)", name "Kestrin
// Vale", number "999", Stability 100).
void setup_defaults(bike_setup* setup);

// One key=value pair: 1 when the key is a setup key. A number is clamped to
// its slider's range; a value that is not one number, a choice that names
// no entry or a bike that no row has leaves the value unchanged and writes
// one message naming the key.
int setup_parse_pair(bike_setup* setup, const char* key, const char* value);
// The 58 lines in their fixed order; control characters in texts become
// blanks so that a value can't start a line of its own. Returns the length
// the whole text needs (like snprintf); out is always terminated.
int setup_format(const bike_setup* setup, char* out, int size);
// Parses text line by line (lines without "=" and "#" comments skipped, for
// the engine-sound lines the same files carry); an unknown key writes one
// message naming it and source. Returns the number of pairs taken.
int setup_parse_text(bike_setup* setup, const char* text, const char* source);

// The same through the file system.
int setup_write(vfs_stream* stream, const bike_setup* setup);
int setup_read(bike_setup* setup, const char* name);
// The default setup file of the rider's class ("@default<class>.braap"), or null.
vfs_stream* open_default_setup(const rider* r);

// Sets the sixteen advanced stability values from Stability 0..100: 100
// gives the menu defaults, 0 the bare bike, each value snapped to its
// slider step.
void stability_apply(bike_setup* setup, double stability);

// Pushes the setup into the rider's settings, options, drivetrain and
// suspension, then marks which of the 40 applied values changed.
void setup_apply_physics(rider* r, const bike_setup* setup);
// Applies only to a bike moving at most 0.125 ft/s; otherwise refuses, and
// writes "Settings not applied.  Mechanic can't keep up error." when the
// previous refusal was less than 10 s (game clock now) earlier. 1 when applied.
int setup_apply_if_stopped(rider* r, const bike_setup* setup, double now);

// The applied-setup table: per numeric setting (Stability aside) the value
// last applied and whether it changed since the last announcement.
constexpr int setup_applied_count = 40;
int setup_changed_any();
// Takes every current value as announced and clears the changed marks.
void setup_applied_accept(const bike_setup* setup);

// The choice entries of a choice key (count in *count), null for others.
const char* const* setup_choice_entries(const char* key, int* count);
