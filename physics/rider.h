#pragma once
// The rider record: everything about one rider and bike in one rider slot.
// There is one static record per slot, allocated for the whole run;
// rider_table holds a pointer per slot, null when the slot is empty.
#include <cstdint>

#include <ode/ode.h>

#include "core/array.h"
#include "physics/wheel_contact.h"  // wheel_contact: the tyre contact records

struct bike_info;
struct collision_shape;

constexpr int rider_slot_count = 160;
constexpr int rider_no_slot = 160;

// A skin: the texture id, the name it was loaded from and the two number
// plate colours (background, digits) picked from that name.
struct rider_skin {
    uint32_t texture;
    char name[64];
    float plate_colours[2][3];
};

// A ground object a rider is attached to (a track object it lies against
// or is carried by): its sphere set placed by position, rotation (3 x 3,
// row-major) and scale. The owner of the object keeps the link alive while
// the rider points at it.
struct rider_object_link {
    const collision_shape* shape;
    double position[3];
    double rotation[9];
    double scale;
};

// option_flags bits.
enum : uint8_t {
    rider_option_flag = 0x01,
    rider_option_stop_wheelies = 0x06,  // two bits, 0..3
    rider_option_front_antilock = 0x08,
    rider_option_rear_antilock = 0x10,
    rider_option_auto_shift = 0x20,
    rider_option_auto_dab = 0x40,
    rider_option_auto_align = 0x80,
};

struct rider {
    // The bike row.
    int32_t bike_index;
    // Bodies.
    dBodyID frame_body, front_wheel_body, rear_wheel_body, fork_upper_body, fork_lower_body, swingarm_body,
        rider_body;
    // Joints: axle hinges (x), steering hinge (steering axis, +-pi/4),
    // fork slider ([-fork travel, 0]), swingarm hinge (x, [-swingarm travel,
    // 0]), the rider's hinge-2 to the frame.
    dJointID front_axle_joint, rear_axle_joint, steering_joint, fork_joint, swingarm_joint, rider_joint;
    // One feedback record per joint, in the order above.
    dJointFeedback joint_feedback[6];
    // Wheel contacts, refreshed once per tic (stamp = the tic counter).
    wheel_contact front_contact, rear_contact;
    int32_t contact_refresh_tic;
    // Control inputs.
    float throttle;              // 0..1
    float clutch;                // 0..1, 1 engaged
    float front_brake, rear_brake;
    float steer;                 // -1..1
    float dab;                   // 0..1, foot down
    float dab_effective;         // kept by the physics tic
    float lean_input;            // 0..1
    float pitch_input;           // -1..1
    int32_t gear;                // 0 neutral .. 5
    int32_t last_shift;          // last shift request, for edge detection
    // Drivetrain and suspension.
    float engine_speed;          // rad/s at the crank
    float engine_angle;          // -pi..pi, referred to the rear wheel
    float final_ratio;           // rear sprocket teeth / front sprocket teeth
    float fork_compression, fork_slow_compression, fork_rebound, fork_slow_rebound;
    float fork_spring_rate, fork_preload, fork_oil_level;  // oil level as the air gap, ft
    float shock_compression, shock_slow_compression, shock_rebound, shock_slow_rebound;
    float shock_spring_rate, shock_preload;
    float rider_yspring, rider_zspring, rider_ydamping, rider_zdamping;  // 0..1 each
    // Lap timing: the next gate to pass, and the tic of every gate index
    // (int32_t, -1 for a skipped gate). Callers own gate_count.
    int32_t gate_count;
    growable_array gate_tics;
    // The racing-line point runs (20-byte points) the tic and the auto
    // pilot keep: two run buffers and the planned path.
    growable_array line_runs[2];
    growable_array line_path;
    float total_mass;            // the seven bodies, set at the build
    // Riding settings (ranges in rider_access.h).
    float roll_damping, leveling, roll_limit_factor, roll_limit_angle;
    float steering_damping, steering_strength, max_steering_force, direct_steering;
    float slow_damping_speed, slow_damping_factor;
    float land_damping_rampup, land_damping_falloff, land_damping_factor;
    float auto_clutch_rpms, brake_torque, rear_brake_torque, max_dab_speed;
    float full_lock_speed, restricted_lock_speed, restricted_lock;
    // Collision sphere sets (private copies) and skins.
    collision_shape* frame_shape;
    rider_skin bike_texture;
    collision_shape* fork_upper_shape;
    collision_shape* fork_lower_shape;
    collision_shape* swingarm_shape;
    collision_shape* front_wheel_shape;
    collision_shape* rear_wheel_shape;
    rider_skin wheel_texture;
    collision_shape* rider_shape;
    rider_skin head_texture;
    rider_skin rider_texture;
    // Race number and its plate.
    char number[8];
    uint32_t number_texture;
    int32_t is_down;             // down on the track (set by the physics tic, cleared by rider_truncate_gates)
    // Crash state.
    int32_t crash_tics;          // > 0 while crashed
    int32_t crash_count;
    float crash_blend;           // history-driven riders: 0 riding .. 1 fallen
    int32_t finished;            // crossed the finish (set by rider_has_finished)
    // Physics-tic, auto-pilot and drawing state.
    int32_t slot;
    float mass_distribution;     // 0.33..0.5 of the rider's mass on the rider body
    float sprocket_adjustment[2];
    int32_t launch;              // a launch in progress (cleared by the control reset)
    int32_t picked_lines[4];     // racing-line ids picked for the last sections (slot = section mod 4)
    uint8_t line_run_canceled[2];  // a run buffer's section was spoiled (a collision, a stop)
    // The auto pilot (ai/autopilot.h); personality 0 is a person or a history.
    int32_t autopilot_personality;
    int32_t path_target;         // index of the path point steered at
    int32_t progress_stamp;      // tic of the last target advance
    int32_t recovery_counter;    // 0 riding its path, up to 3 recovering
    int32_t next_section;        // the next section to pick a line for
    float start_time;            // seconds; the sign carries the start's blip phase
    int32_t grip_limit_stamp;    // tic
    float throttle_cap;
    int32_t arcade;              // the arcade riding aids
    const rider_object_link* object_link;  // the ground object it is attached to, or null
    uint8_t option_flags;        // rider_option_* bits
};

extern rider rider_records[rider_slot_count];
extern rider* rider_table[rider_slot_count];

// Fills every record with zeros (start-up).
void riders_init_all();
// Destroys every rider of rider_table and empties its slots.
void riders_destroy_all();

// Prepares the slot's record for a bike: the row by exact name or the
// fallback of bike_info_find_or_fallback, default settings and controls,
// private copies of the row's sphere sets, skin names (null: the row's),
// the number text cut to 7 characters, the skins, plate colours and number
// plate (rider_skins.h; textures only with a GL context), the slot, and bit
// 0 of option_flags
// from rider_flag; once the program's physics world exists, the bodies and
// joints at the rest pose too. Null for a slot outside 0..159.
rider* rider_create(const char* bike_name, int slot, int rider_flag, const char* number, const char* body_skin,
                    const char* head_skin, const char* bike_skin, const char* wheel_skin);
// Releases the bodies, joints, arrays and sphere-set copies of a record and
// zeroes it; the caller clears the rider_table entry.
void rider_destroy(rider* r);
