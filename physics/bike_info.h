#pragma once
// The built-in table of the 80 bikes a rider can ride: name, class, the rest
// geometry of the seven bodies and six joints, masses, drivetrain, suspension
// and torque curves, and the model, skin and shape files that make each bike.
//
// Units throughout: feet, slugs, pounds-force, seconds, radians. Points are in
// the bike's rest frame: origin on the ground under the middle of the frame,
// x sideways (right), y up, z backward (forward is -z). The rest pose has the
// fork and the swingarm fully extended (joint positions 0) and the tyre
// bottoms 0.01 ft above the ground.
#include <cstdint>

constexpr int bike_info_count = 80;
constexpr int bike_torque_entries = 50;  // one entry per 500 rpm, from 0
constexpr float bike_torque_rpm_step = 500.0f;

// The geometry, masses, drivetrain and torque curves (189 floats).
struct bike_main_values {
    float frame_centre[3];
    float frame_mass;
    float frame_box[3];          // the frame's mass box: x, y, z extents
    float steer_lower[3];        // two points on the steering axis (the
    float steer_upper[3];        // steering head's lower and upper bearing)
    float fork_upper_centre[3];  // on the steering axis
    float fork_upper_mass;
    float fork_lower_centre[3];  // on the steering axis
    float fork_lower_mass;
    float front_axle[3];
    float fork_travel;           // slider stops: [-fork_travel, 0]
    float swingarm_pivot[3];
    float swingarm_centre[3];
    float swingarm_mass;
    float rear_axle[3];
    float swingarm_travel;       // hinge stops: [-swingarm_travel, 0]
    float front_wheel_mass;
    float front_tyre_radius;     // axle to the middle of the tyre section
    float front_tyre_section;    // section radius; outer radius is the sum
    float rear_wheel_mass;
    float rear_tyre_radius;
    float rear_tyre_section;
    float rider_mass;
    float rider_centre[3];       // the rider body at rest: the seat point
    float rider_direction[3];    // unit; the packed lean of older records
    float rider_limits[2];       // runs along it between these distances
    float gear_ratio[6];         // gear 0 is neutral; <= 0 marks no gear
    float primary_ratio;         // crank to countershaft
    float front_sprocket;        // stock teeth
    float rear_sprocket;
    // Drawing: rider-body points (shoulders, hips, head), fork grips.
    float shoulder[2][3];
    float hip[2][3];
    float head[3];
    float grip[2][3];            // in the upper fork's rest frame
    float arm_lengths[2];        // upper arm, forearm
    float leg_lengths[2];        // thigh, shin
    float reserved[4];
    float torque_closed[bike_torque_entries];  // crank lbf*ft, throttle shut
    float torque_open[bike_torque_entries];    // crank lbf*ft, throttle open
};

// Engine, clutch, springs, dampers, linkage and rider tethers (58 floats).
struct bike_tuning_values {
    float engine_inertia;        // slug*ft^2 at the crank
    float clutch_stiffness;      // ks, lbf*ft/rad
    float clutch_damping;        // kd, lbf*ft*s/rad
    float downshift_rpm;         // automatic gearbox thresholds
    float upshift_rpm;
    float clutch_engage_rpm;
    float idle_rpm;
    float rev_limit_rpm;         // where the open-throttle torque reaches 0
    // Fork: spring rate lbf/ft, preload ft, air gap ft (more oil, less gap).
    float fork_spring_rate_min, fork_spring_rate_max;
    float fork_preload_min, fork_preload_max;
    float fork_air_gap_min_oil, fork_air_gap_max_oil;
    float fork_compression, fork_rebound;            // damper k, lbf*s/ft
    float fork_slow_compression, fork_slow_rebound;  // damper knees, lbf
    // Shock, in linkage units: rate lbf*ft per unit of shock position.
    float shock_spring_rate_min, shock_spring_rate_max;
    float shock_preload_min, shock_preload_max;
    float shock_compression, shock_rebound;
    float shock_slow_compression, shock_slow_rebound;
    // Linkage curve: knee fraction b, shock position at b and at full
    // travel, slopes at 0, b and 1.
    float linkage_knee;
    float linkage_knee_position, linkage_full_position;
    float linkage_slope[3];
    // Telemetry valve readouts (gain k, offset g) per damper and direction.
    float fork_readout[4];       // compression k, g, rebound k, g
    float shock_readout[4];
    // Crash tethers: the two hand points on the frame, their arm reaches,
    // and the hand height and depth of the third tether.
    float hand[2][3];
    float hand_distance[2];
    float hand_height;
    float hand_depth;
    float hand_bend;             // the bend blend of the target points
    // Rider body springs at setting 1 (the setup gives 0..1 of these).
    float rider_yspring_max, rider_ydamping_max;
    float rider_zspring_max, rider_zdamping_max;
    float reserved[3];
};

static_assert(sizeof(bike_main_values) == 189 * sizeof(float));
static_assert(sizeof(bike_tuning_values) == 58 * sizeof(float));

// The 23 file names of a row, in this order.
enum bike_file {
    bike_file_frame_model,
    bike_file_frame_shape,
    bike_file_bike_skin,
    bike_file_fork_upper_model,
    bike_file_fork_upper_shape,
    bike_file_fork_lower_model,
    bike_file_fork_lower_shape,
    bike_file_swingarm_model,
    bike_file_swingarm_shape,
    bike_file_front_wheel_model,
    bike_file_front_wheel_shape,
    bike_file_rear_wheel_model,
    bike_file_rear_wheel_shape,
    bike_file_wheel_skin,
    bike_file_rider_head_model,
    bike_file_rider_head_skin,
    bike_file_rider_body_model,
    bike_file_rider_body_fp_model,
    bike_file_rider_shape,
    bike_file_rider_body_skin,
    bike_file_side_plates_model,
    bike_file_front_plate_model,
    bike_file_rider_plate_model,
    bike_file_count
};

struct bike_info {
    char name[16];
    char bike_class[16];  // "125", "250", "250f", "450f" or "50"
    bike_main_values main;
    char files[bike_file_count][64];
    bike_tuning_values tuning;
};

// The first of the 80 rows; the table is built once and never changes.
const bike_info* bike_info_table();
// The row named exactly (case-sensitive), searched from the first; null when none.
const bike_info* bike_info_lookup(const char* name);
// The row of that name, else the fallback: the first row whose name holds
// "125" when the asked name does, otherwise the first whose name holds
// "250f". A fallback writes "bike info for '%.20s' not found using '%.20s'
// instead" to the physics message sink. Never null.
const bike_info* bike_info_find_or_fallback(const char* name);
int bike_info_index(const bike_info* row);

// Stock sprockets and the setup menu's derived readouts (fraction 0..1).
float settings_front_sprocket(const bike_info* row);
float settings_rear_sprocket(const bike_info* row);
float settings_fork_spring_rate(const bike_info* row, float fraction);  // kg/mm
float settings_fork_preload(const bike_info* row, float fraction);      // mm
float settings_fork_oil_level(const bike_info* row, float fraction);    // mm of air gap
float settings_shock_spring_rate(const bike_info* row, float fraction); // kg/mm at the wheel
float settings_shock_preload(const bike_info* row, float fraction);     // mm

// Row value interpolated from minimum to maximum by fraction clamped to 0..1.
float bike_interpolate(float minimum, float maximum, float fraction);

// The shock linkage: shock position and d(position)/dx at swingarm travel
// fraction x (0..1), a two-piece cubic Hermite curve through (0, 0),
// (knee, knee position) and (1, full position) with the row's three slopes.
void bike_linkage_curve(const bike_info* row, float x, float* position, float* slope);
