#pragma once
// Units, axes and the tuning constants of the bike and rider physics, in one
// place with the reason for each.
//
// Units: feet, slugs, pounds-force, seconds, radians. Gravity is (0, -32, 0).
//
// Body axes (every body of the bike and rider, and the bike's rest frame):
//   x sideways, to the rider's right; y up; z backward, so forward is -z.
//
// Joint sign conventions (tested in tests/physics/test_ride_conventions.cpp):
//   - rear_axle_joint and front_axle_joint are hinges (axle holder, wheel)
//     about +x; their angle rate is positive when the bike rolls forward.
//     A torque of -T about the wheel's own x drives the bike forward.
//   - fork_joint is a slider (fork upper, fork lower) along the steering axis
//     pointing up; its position runs from -fork travel (compressed) to 0.
//   - swingarm_joint is a hinge (swingarm, frame) about +x; its angle runs
//     from -swingarm travel (compressed) to 0.
//   - Joint motors: target velocity +100 extends the fork and the shock.
//   - steering_joint is a hinge (fork upper, frame) about the steering axis
//     pointing up (from the lower to the upper bearing); a positive steering
//     angle turns the front wheel to the left (counter-clockwise seen from
//     above).
//   - Lean: body_lean_angle is asin(sideways axis . world up): 0 upright,
//     positive leaning to the left (the right side up), +-pi/2 on its side.
#include <cstdint>

namespace phys {

constexpr double gravity = 32.0;             // ft/s^2
constexpr double tic_seconds = 1.0 / 128.0;  // one world step per tic
constexpr double pi = 3.14159265358979323846;
constexpr double rpm_per_rad_s = 9.549296585513721;  // 60 / (2 pi)

// Body-frame axes.
constexpr double axis_sideways[3] = {1.0, 0.0, 0.0};
constexpr double axis_up[3] = {0.0, 1.0, 0.0};
constexpr double axis_forward[3] = {0.0, 0.0, -1.0};

// --- Tyre contact -----------------------------------------------------------
// Spring and damper of the tyre against depth ratio q = depth / section:
// a soft carcass near the surface that stiffens cubically as it flattens.
constexpr float tyre_kp_cubic = 24000.0f, tyre_kp_base = 1000.0f;
constexpr float tyre_kd_cubic = 2300.0f, tyre_kd_base = 200.0f;
// Refinement steps of the full search from the ring's lowest point toward a
// triangle's edge or corner; on a face the lowest point is already exact.
constexpr int tyre_ring_refine_steps = 6;
// The grip factor that scales every surface's friction coefficient.
constexpr float grip_factor = 1.0f;

// Bodies other than tyres (frame, bars, rider) against the ground or each
// other: stiff and well damped, like plastic and a riding suit on dirt.
constexpr double body_contact_spring = 20000.0;  // lbf/ft
constexpr double body_contact_damping = 1000.0;  // lbf*s/ft

// --- Tethers (one-tic contact springs that hold a crashed rider) -------------
constexpr double tether_spring = 5000.0;  // lbf/ft
constexpr double tether_damping = 500.0;  // lbf*s/ft

// --- Suspension --------------------------------------------------------------
constexpr double air_spring_scale = 82.46169;  // lbf at a pressure ratio of 2
constexpr double air_spring_exponent = 1.4;    // adiabatic air
// The fork's air gap never goes below this, so full travel never divides by
// zero; with it the air force stays finite (below ~190000 lbf for 1 ft of travel).
constexpr double air_gap_minimum = 1.0 / 64.0;  // ft
// Motor target speed that stands for "extend with this force".
constexpr double suspension_extend_speed = 100.0;
// Below this damper slope (lbf*s/ft) the fork's motor row has nothing to
// solve the damper with (its mixing 1/slope would be unbounded) and the
// springs go to the motor as a plain force.
constexpr double damper_slope_minimum = 1.0e-3;

// --- Drivetrain --------------------------------------------------------------
constexpr double clutch_damping_limit = 500.0;   // lbf*ft, damping term clamp
constexpr double clutch_torque_limit = 1.0e6;    // lbf*ft, whole clutch clamp
constexpr double anti_stall_band = 2000.0;       // rpm above the idle setting
constexpr double anti_stall_slope = 0.0005;      // clutch per rpm
constexpr int gearbox_period_tics = 32;          // automatic gearbox cadence
constexpr double gearbox_swingarm_min = -0.01;   // rad: only with weight on it
constexpr double slide_speed_squared = 4.0;      // (ft/s)^2: a sliding tyre
constexpr int gear_count = 6;                    // 0 neutral, 1..5

// --- Crash test --------------------------------------------------------------
constexpr double crash_accel_limit = 2064.0;     // ft/s^2
constexpr double crash_speed_limit = 46.5;       // ft/s
constexpr double crash_accel_hard = 1376.0;      // after a long jump
constexpr double crash_speed_hard = 31.0;
constexpr int32_t crash_tics = 512;              // crash counter at the start
// Below this count of the put-back the hands reach for their crash targets.
constexpr int32_t hand_pull_tics = 320;
// A bike sphere that meets a wall faster than this along the normal crashes
// the rider (nose-first into a wall); the rider's own crash spheres crash it
// at any speed.
constexpr double crash_contact_speed = 10.0;     // ft/s
// Only a steep face counts as a wall for that test (a normal within 60
// degrees of level); the skid plate may hit the ground on a hard landing.
constexpr double crash_wall_normal_y = 0.5;
// Coming down flat: a rider stops his body within the suspension's foot of
// travel and about a foot of his legs' bend, 2 ft, at a bearable 8 g on
// average (256 ft/s^2) from at most sqrt(2 * 256 * 2) = 32 ft/s into the
// ground: a 16-ft drop onto flat. Faster, he is thrown (both models).
constexpr double crash_landing_speed = 32.0;     // ft/s along the ground's normal
// Touching the ground pitched nose-down more than this from it (a
// nose-first landing) throws the rider.
constexpr double crash_pitch = pi / 3;             // 60 degrees
// A bike whose frame or bars touch the ground while it leans past this is
// lying on its side with its rider: a crash. The steepest a bike corners is
// about 55 degrees (atan of a 1.4 g corner); past 70 its footpeg, bars and
// the rider's knee carry it, not its tyres.
constexpr double crash_lying_lean = 70.0 * pi / 180.0;
// The steepest lean a rider holds a bike at: the lean that balances a turn
// of a g is atan(a / g), and the best dirt grips at about 1.4 g, so a lean
// past atan(1.4) = 54.5 degrees balances no turn the tyres can hold. It
// stays 15 degrees clear of the lying lean above, more than a rut or a
// bump tips a held lean past it (the arcade lean motor's rate is at most
// 1.5 rad/s).
constexpr double corner_lean_most = 55.0 * pi / 180.0;

// --- Controls and assists ----------------------------------------------------
// Steering torque gain at steering_strength 50 (the setup default): a full
// steer input gives about 40 lbf*ft at the head, enough to turn the bar
// against the tyre's self-aligning moment at a walk, yet well under the clamp.
constexpr double steer_gain = 60.0;
constexpr double steer_torque_limit = 200.0;     // lbf*ft at the head
// Inside the dead band the head is held by no more than this friction (at
// steering_damping 50), light enough for the trail to centre the bars.
constexpr double steer_dead_band_friction = 1.0;  // lbf*ft
constexpr double steer_scale = 1.5;              // torque scale of both models
constexpr double lean_gain = 1.0;                // line assist FMax scale
// The realistic rider's lean control (steering_tic), at roll_damping 50:
// the lean's error returns at this rate (rad/s, critically damped: 63 % of
// a new lean in about 2.15 / rate = 0.24 s, the bars' servo adding its own
// lag), the bike's mass taken this high above its tyres (ft, full size;
// bike and rider together stand about 3 ft up, less the suspension's sag);
// the bars are turned at most this far from where the turn puts them for
// it (rad); below this speed (ft/s) the gains stay as they are there (the
// bars' lock caps them).
constexpr double lean_return_rate = 9.0;
constexpr double lean_return_height = 2.7;
constexpr double lean_return_steer = 0.4;
constexpr double lean_return_min_speed = 8.0;
// Fast, the wheels' spin stiffens the lean against the bars (the
// gyroscopic moment grows with speed, which the pendulum above leaves out):
// above this speed the gains stay as they are here.
constexpr double lean_return_max_speed = 50.0;
// The lean a rider asks for at most on level ground (rad): 0.7 g of turn,
// within what dirt of friction 1 gives with room to spare; at 40 degrees
// the front washed out at 80 ft/s and more. Ground banked into the turn
// adds its bank.
constexpr double lean_most = 35.0 * pi / 180.0;
// The rake by which the bars' angle is turned to the ground's plane.
constexpr double rake_nominal = 27.0 * pi / 180.0;
// The line assist leans toward the line's point this many points past the
// nearest (points are 1/4 s apart as recorded: a second ahead), with at most
// this torque (lbf*ft) before the lean gain.
constexpr int line_assist_ahead = 4;
constexpr double line_assist_fmax = 320.0;
constexpr double lean_motor_fmax = 1000.0;       // arcade lean motor
// Share of the gap to the turn's balancing lean that the arcade lean
// motor's target closes per tic (a time constant of 8 tics, 1/16 s): slow enough to stop the
// lean-yaw loop ringing tic to tic, quick next to any turn-in.
constexpr double balance_lean_smoothing = 1.0 / 8.0;
// High in the air the bars answer this centring spring (lbf*ft/rad).
constexpr double air_bar_spring = 50.0;
constexpr double standup_fmax = 2000.0;          // stand-up assist motor
// The stand-up assist at a standstill: the pull that holds the frame in
// place (with both wheels down), the pull along the rider's sway (a slow
// side-to-side shift of weight, a period of about a second, held off for the
// first second of a race so every start is the same), and the rate per
// radian at which its lean motor stands the bike up.
constexpr double standup_hold = 1000.0;
constexpr double standup_sway_hold = 2000.0;
constexpr double standup_sway_speed = 0.375;     // ft/s at the peak of the sway
constexpr int32_t standup_sway_delay_tics = 128;
constexpr double standup_lean_rate = 8.0;        // rad/s per rad
// Stopped with the bars turned past half lock and the brakes off, the rider
// walks the bike backward, the stand-up assist drawing it toward this pace
// (ft/s; against the tyres' rolling drag it makes about a third of it): how
// a bike stood against a wall or in a tight corner is turned round.
constexpr double walk_back_speed = 1.5;
// Below this the stand-up assist holds the bike up and brakes it.
constexpr double low_speed_limit = 3.0;          // ft/s
// The assist lets go of the lean progressively above this speed.
constexpr double assist_speed = 15.0;            // ft/s
constexpr double assist_top_speed = 40.0;        // ft/s
// Front-wheel wobble damping at the axle (lbf*ft*s/rad): kills the shimmy the
// off-axle spin of a light wheel picks up from uneven contacts.
constexpr double wheel_wobble_damping = 2.0;
// The rider's forward-backward and height offsets at the seat: the fore-aft
// spring's target is (1 + lean input) * h / 2 - rider_fore_aft ahead of the
// seat, so with the fore-aft offset at h / 2 a rider with no lean input sits
// straight over the seat and a full lean input puts the shoulders h / 2
// ahead of it.
constexpr double rider_seat_height = 0.5;        // "h" of the rider springs, ft
constexpr double rider_fore_aft = 0.25;          // ft
// The fore-aft spring's stiffening per foot of stretch (lbf/ft per ft, at
// the reference rider mass), and the stiff stop both seat springs meet
// outside their bands (spring lbf/ft and damper lbf*s/ft alike).
constexpr double seat_fore_aft_progression = 100.0;
constexpr double seat_stop_spring = 2500.0;
// In the air a rider pitches his bike by swinging his body against it: to
// push the nose down he drives the bars forward and down and his body turns
// back against the bike, and the other way to lift it. The rider's legs and
// hips, which this model carries in the frame, are the mass he swings; it
// turns about the footpegs, its centre this far above them (ft, full size),
// through this much of a swing each way at a full lean (rad: from tucked over
// the bars to stretched back over the fender, about 45 degrees in all), with
// this time constant (s). The frame takes the reaction of that swing, so the
// bike turns by the swung inertia's share of the whole, and back when the
// rider swings back; the angular momentum it gives is zero over a swing.
constexpr double air_swing_arm = 1.25;
constexpr double air_swing_range = 0.4;
constexpr double air_swing_time = 0.1;
// The arcade model's drag 20 ft behind the frame holds the bike along its
// path like a vane and takes any swing back out; its rider's lean in the air
// adds a steady pitch torque as well (lbf*ft at a full lean), which turns the
// vane (5 v lbf*ft per rad at v ft/s) some 6 degrees at a jump's 27 ft/s.
constexpr double arcade_air_pitch_torque = 15.0;
constexpr double rider_reference_mass_scale = 0.21333333;  // 1 / 4.6875 slug
constexpr double arcade_drag = 0.25;             // lbf per ft/s at (0, 0, 20)
// The realistic model's righting torque at leveling 20 (the default), full
// from a lean of pi/32, fading out between the assist speeds.
constexpr double upright_torque = 400.0;         // lbf*ft
// Its roll-rate damping at roll_damping 50: takes the sway out of a turn.
constexpr double upright_roll_damping = 150.0;   // lbf*ft*s/rad

// How the rider's settings reach these constants:
//   steering_strength   scales steer_gain (50 gives it as written);
//   max_steering_force  caps the head torque, with steer_torque_limit;
//   steering_damping    scales steer_dead_band_friction;
//   roll_damping        scales the realistic lean control's gains and
//                       upright_roll_damping
//                       (realistic model);
//   leveling            scales upright_torque (realistic model);
//   full_lock_speed, restricted_lock_speed, restricted_lock: the head's lock,
//                       pi/4 below the first speed, the restricted lock above
//                       the second, linear between;
//   auto_clutch_rpms    the anti-stall idle setting; brake_torque and
//   rear_brake_torque   the brake motors' torques;
//   rider_yspring, rider_ydamping, rider_zspring, rider_zdamping: the seat
//                       springs up and fore-aft, as fractions of the row's
//                       values at setting 1;
//   max_dab_speed       the stand-up assist's top speed: the foot comes down
//                       in proportion as the bike slows below it.
// roll_limit_*, slow_damping_*, land_damping_* and direct_steering are kept
// with the setup but nothing in the tic reads them.

}  // namespace phys
