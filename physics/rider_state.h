#pragma once
// The rider state record: one rider's physical state packed little-endian
// into 39 bytes (format version 5; version 4 records, 26 bytes, are still
// read). The state history, demos and the network carry it whole, so the
// layout is fixed byte by byte (docs/rider_state.md).
//
// Two layers: the codec turns a record into plain values and back (no
// physics); the rider layer (pack, unpack, apply, follow) moves those values
// between a record and a live rider's bodies.
#include <cstdint>

constexpr int rider_state_version = 5;
constexpr int rider_state_size = 39;     // version 5
constexpr int rider_state_v4_size = 26;  // version 4

struct rider_state_record {
    uint8_t bytes[rider_state_size];
};

// 26 for version 4, 39 for version 5, 0 for any other version.
int rider_state_record_size(int version);

// What the packed numbers are measured against: the terrain's extent and
// lowest height for the frame position, the bike row's travels for the
// swingarm and fork bytes. A zero or negative extent or travel packs the
// field as its rest value instead of dividing by it.
struct rider_state_scales {
    float extent;
    float height_min;
    float swingarm_travel;  // radians
    float fork_travel;      // feet
};

// The drive byte: riding (gear, foot down, throttle) or crashed (a coarse
// crash counter).
struct rider_state_drive {
    int32_t crashed;     // bits 0-2 all set
    int32_t crash_tics;  // crashed: 1..128, else 0
    int32_t gear;        // riding: bits 0-2 as packed, 0..6
    int32_t dab;         // riding: bit 3
    float throttle;      // riding: 0..1 in steps of 1/15
};

// One record as plain values. Quaternions are (w, x, y, z).
struct rider_state_values {
    double frame_position[3];
    double frame_quaternion[4];
    double steering_angle;     // radians, -pi/4..pi/4
    double swingarm_angle;     // radians, -swingarm travel..0
    double fork_position;      // feet, -fork travel..0
    double rider_offset[3];    // version 5: rider body minus frame position
    double rider_quaternion[4];// version 5
    double rider_lean;         // version 4: 0..1 between the row's limits
    double front_wheel_angle;  // radians, -pi..pi
    double rear_wheel_angle;
    rider_state_drive drive;
    double engine_rpm;         // 0..32768
};

// The drive byte of a riding or crashed rider (crash_tics > 0 is crashed).
uint8_t rider_state_drive_byte(int32_t gear, float dab_value, float throttle, int32_t crash_tics);
rider_state_drive rider_state_drive_decode(uint8_t byte);

// The gear a packed gear stands for on a bike: at most 5, walked down over
// gears the bike does not have (ratio 0 or less) to neutral at worst.
int rider_state_unpack_gear(int32_t packed_gear, const float gear_ratio[6]);

// Packs a version-5 record. Every field is clamped into its range; a
// quaternion is stored with w >= 0 (q and -q are one rotation) so one pose
// always gives the same bytes.
void rider_state_encode(const rider_state_values& v, const rider_state_scales& s, rider_state_record* out);
// Reads a record of the given version (bytes holds rider_state_record_size
// (version) bytes). 0, leaving out untouched, for an unknown version.
int rider_state_decode(const uint8_t* bytes, int version, const rider_state_scales& s, rider_state_values* out);

// The history's field-by-field blend of two version-5 records a and b at
// factor f: positions by f (it may run past 1 to carry a rider forward),
// everything else by min(f, 1); the drive byte is a's.
void rider_state_blend(const rider_state_record& a, const rider_state_record& b, float f, rider_state_record* out);

// The blend's interpolators on the packed numbers (x the factor).
uint8_t lerp_u8(uint8_t a, uint8_t b, float x);
uint16_t lerp_u16(uint16_t a, uint16_t b, float x);
uint32_t lerp_u24(uint32_t a, uint32_t b, float x);
// An 8-bit fraction of a turn: moves forward by less than 0.875 of a turn or
// back by less than 0.125 of a turn, through the 0/255 seam.
uint8_t lerp_turn_u8(uint8_t a, uint8_t b, float x);
// Packed quaternions (four u16, w x y z) blended along the shorter way and
// renormalised.
void nlerp_quat(const uint8_t* qa, const uint8_t* qb, float x, uint8_t* out);

// --- The rider layer: records against a live rider's seven bodies ----------

struct rider;

// The ground a record is measured against and shown on: the terrain's side
// length and lowest height (a record packed on one terrain decodes to other
// positions on another), and the height of the ground under a point, used to
// keep a shown rider's rear wheel out of the ground (null: no lift).
struct rider_state_ground {
    float extent;
    float height_min;
    float (*height_at)(float x, float z);
};

// The loaded track's ground: the terrain record's extent, lowest height and
// height query.
rider_state_ground rider_state_track_ground();

// Packs the rider's state as a version-5 record.
void rider_state_pack(const rider* r, const rider_state_ground& g, rider_state_record* out);

// Poses all seven bodies from one record (no velocities), and sets the
// gear, throttle, engine speed and crash state; a crashed record lets the
// rider body go, a riding one after a crash (or one that puts the rider
// body over a foot from its joint) takes it back where it is.
// 0, leaving the rider untouched, for an unknown version.
int rider_state_unpack(rider* r, const rider_state_record& record, int version, const rider_state_ground& g);

// Shows a rider that its history drives: the shown record (usually the blend
// of older and newer), with velocities from older to newer, which lie tics
// apart (0 or fewer count as 1), held below 400 ft/s and 500 rad/s. While the rider's presence value is above
// 0.25 it is simulated, and is instead pulled toward the record by
// rider_state_follow. 0 for an unknown version.
int rider_state_apply(rider* r, const rider_state_ground& g, const rider_state_record& shown,
                      const rider_state_record& older, const rider_state_record& newer, int tics, int version);

// Steers a simulated rider toward a record with forces and torques on the
// frame (a spring toward the recorded pose and a damper toward the recorded
// velocity, both stronger as the presence value falls toward 0.25), and sets
// the steering, throttle, dab and pitch inputs and the engine speed from it.
int rider_state_follow(rider* r, const rider_state_ground& g, const rider_state_record& shown,
                       const rider_state_record& older, const rider_state_record& newer, int tics, int version);

// A plain pose snapshot: the seven bodies in record order, the throttle and
// the engine speed in revolutions per minute.
struct rider_pose_snapshot {
    float position[7][3];
    float quaternion[7][4];
    float throttle;
    float engine_rpm;
};
void rider_pose_save(const rider* r, rider_pose_snapshot* out);
// Restores a snapshot; each body also gets the velocity that carries it from
// where it is to the snapshot in one tic (only once the race clock runs).
void rider_pose_restore(rider* r, const rider_pose_snapshot& s);
