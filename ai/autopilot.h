#pragma once
// The auto pilot: computer riders following racing lines. Its per-rider
// fields live in the rider record (physics/rider.h); a personality of 0 is a
// rider driven by a person or by its history.
#include <cstdint>

#include "ai/racing_lines.h"
#include "physics/rider.h"

struct autopilot_personality_row {
    const char* name;
    int32_t mode_normal, mode_when_leading;
    float lead_threshold;                    // seconds
    float start_delay_min, start_delay_max;  // seconds
};
constexpr int autopilot_personality_count = 5;
extern const autopilot_personality_row autopilot_personalities[autopilot_personality_count];

// Gives the rider the personality of that name (rows 1..4; row 0 is never
// taken by name). An unknown name takes row 1 with a log line. The row.
// The rider's path is given its working room here, once, so the tic never
// grows it.
int32_t rider_set_autopilot_personality(rider* r, const char* name);
// The room a path needs over the loaded line sets: the points kept behind
// the target, those left before a pick, the seed copies and the longest line.
int32_t autopilot_path_capacity();

// How far along its path the rider is, as a fractional point index: from the
// last path point behind it (along the main body's backward axis) to the one
// after it. 0 with no point behind, the target index when that is 0.
double path_progress(const rider* r);
// The first index in [from, from + 20) where this and the next path point
// are both airborne, or -1.
int32_t path_next_jump(const rider* r, int32_t from);

// Once per tic for every rider the auto pilot drives: its controls for the
// next step. Nothing for personality 0.
void autopilot_tic(rider* r);
// The normal driving step: follow the path with lean, steering and pedals.
void autopilot_steer(rider* r);

// ---- Pedals -------------------------------------------------------------------

// What the pedals read of the rider.
struct pedal_state {
    int airborne;          // the rear wheel has no contact
    int crashed;
    double pitch_rate;     // main body angular velocity about its x axis
    double front_height, rear_height;  // wheel centres, ft
    int32_t gear;
    double engine_rpm, clutch_engage_rpm;
};
struct pedal_inputs {
    float throttle, clutch, front_brake, rear_brake;
    int rear_brake_set;    // the airborne rule chose the rear brake
};
// Throttle, clutch and brakes toward target speed (ft/s) at speed.
pedal_inputs autopilot_pedal_rule(const pedal_state& s, double speed, double target);
// The same, read from and stored into the rider.
void autopilot_pedals(rider* r, double speed, double target);

// ---- The start --------------------------------------------------------------

// The start procedure's controls for one tic.
struct start_controls {
    int launching;   // 0: controls reset, then throttle; 1: the launch ramp
    float throttle;  // before the crash rule
    float ramp;      // launch: 0..1 clutch in, dab out
};
// One tic of the start behind the gate (times in seconds; start_time is the
// rider's phase, unit_random gives [0, 1)). 0 when the start is over (now
// past the gate drop + 5 s, or the 2 s launch done): the normal driving runs.
int autopilot_start_step(float* start_time, double now, double sequence_time, double drop_time,
                         const autopilot_personality_row& p, double (*unit_random)(), start_controls* out);

// ---- Turning ----------------------------------------------------------------

// The rider's steering frame: position, forward (the velocity direction),
// sideways (its horizontal perpendicular), the current turn offset M and
// whether the rider rides straight (no turning circle: lean near 0 or rest).
struct steer_frame {
    double position[3], forward[3], side[3];
    double turn_offset;
    int straight;
};
// The lateral offset of the current turning circle's centre: -speed^2 / 32 /
// (tan(lean) x load); straight (and 0) when |tan(lean)| < 1e-6.
double turn_offset(double speed, double lean, double load, int* straight);
// The radius to steer on toward an aim p to the side and f0 ahead (ft):
// +-10 when the aim is not ahead, else through the aim pushed out by twice its
// distance from the current turning circle (not pushed when straight).
double turn_radius_rule(double p, double f0, double turn_offset, int straight);
// The grip angle of the surface under (x, z): atan of the tile's best
// friction, at most 3 pi / 8 (level ground of friction 1 without terrain).
double ground_grip_angle(float x, float z);
// The roll of the terrain's normal under (x, z) seen in the frame body's
// axes: the body's lean on level ground.
double ground_bank_seen(dBodyID frame, float x, float z);
// target held within the grip angle of the ground's own bank (lean less the
// bank seen) under (x, z).
double lean_within_ground(dBodyID frame, double lean, float x, float z, double target);
// The radius rule toward the path point at index + fraction (clamped).
double turn_radius_to_point(const rider* r, int32_t path_index, double fraction, const steer_frame& frame);

// ---- Lines and the path -----------------------------------------------------------

// How well a line continues the path (or, with fewer than 3 path points,
// starts near the rider at body): the match score of the line pick.
double line_match_score(const line_point* path, int32_t count, const double body[3], const racing_line* line);
// The plan mode of the rider's personality: mode_when_leading while it leads
// the race order by more than its lead threshold (the time by which it
// passed the second rider's latest gate before that rider did).
int32_t autopilot_plan_mode(const rider* r);
// The line of the set the rider takes next, or null (finished, an empty set).
const racing_line* line_pick(rider* r, line_set* set);
// Appends a line to the path: the points before target - 30 dropped, an
// empty path seeded with 5 copies of the line's first point, and the joint
// smoothed by a cubic Hermite curve (from the rider at body along forward
// when it starts at point 0). No smoothing with an airborne end or a line of
// fewer than 2 points.
void path_append_line(growable_array* path, int32_t* target, const racing_line* line, const double body[3],
                      const double forward[3]);
// Whether the target moves on: the point is within sqrt(reach_sq) in x-z and
// not one that lies more than 4 ft away behind a backward segment (back is
// the main body's backward axis).
int path_target_advances(const line_point* path, int32_t count, int32_t target, const double position[3],
                         const double back[3], double reach_sq);
