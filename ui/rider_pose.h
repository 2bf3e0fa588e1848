#pragma once
// Posing the rider for drawing: the two-bone limbs, bone frames, the head's
// gaze and the ten bone frames of the rider model (docs/model.md) from the
// points the bike row and the physics give. Pure arithmetic on floats, no
// GL: the drawing, the tests and the data generator (which authors the rider
// model in the reference pose) share it.
#include <cstdint>

struct bike_info;

// Frames are 3 x 3 stored as rows x, y, z: each row is one axis in world
// space, so the same nine floats read column-major are the matrix whose
// columns are the axes.

// y = unit(start - end), z = unit(hint x y), x = y x z. A hint along the
// bone falls back to any axis across it, so the frame is always orthonormal
// and right-handed.
void bone_frame(const float start[3], const float end[3], const float hint[3], float frame[9]);

// The middle joint (elbow, knee) of a limb from S towards E with upper length
// U and lower length L, bent towards the hint point H. The reach is kept
// within [max(|U - L|, 1e-4), 0.95 (U + L)]; when H lies on the limb's line
// the joint bends along fallback_bend instead.
void limb_joint(const float S[3], const float E[3], float U, float L, const float H[3], const float fallback_bend[3],
                float joint[3]);

// The head's frame from the rider body's velocity and its y and z axes
// (world): the gaze follows the direction of travel within a cone about the
// rest direction.
void head_frame(const float velocity[3], const float body_y[3], const float body_z[3], float frame[9]);

// The bones of the rider model, in the model's order.
enum rider_bone {
    bone_torso,
    bone_head,
    bone_left_upper_arm,
    bone_left_forearm,
    bone_right_upper_arm,
    bone_right_forearm,
    bone_left_thigh,
    bone_left_shin,
    bone_right_thigh,
    bone_right_shin,
    rider_bone_count
};

// What posing needs of one rider, all in world space but the body points.
struct rider_pose_input {
    float body_position[3];
    float body_rotation[9];  // row-major: columns are the body's axes
    float body_velocity[3];
    const float (*shoulder)[3];  // two each, in the rider body's frame
    const float (*hip)[3];
    const float* head;
    float grip[2][3];        // world
    float foot[2][3];        // world (the foot targets)
    float leg_blend;         // of the targets, 0..1
    float arm_lengths[2], leg_lengths[2];
    float throttle;          // 0..1
};

struct rider_pose {
    float origin[rider_bone_count][3];  // each bone's start joint
    float frame[rider_bone_count][9];   // rows x, y, z
    float elbow[2][3], knee[2][3];
    float grip[2][3], foot[2][3];  // the hands' and feet's targets
    float head_position[3];
    // The rider body as drawn: leaned towards the bars when the hands are
    // near them (drawing only; the simulation's body is untouched).
    float body_position[3];
    float body_rotation[9];
};

void rider_pose_solve(const rider_pose_input* in, rider_pose* out);

// The reference pose the rider model is authored in: the row's rider on its
// bike at rest, hands on the grips and feet on the pegs, with the hip centre
// at the origin.
void rider_reference_pose(const bike_info* row, rider_pose* out);

// The row whose reference pose the rider model is authored in (one model
// serves every bike): the first of the 250 four-strokes.
const bike_info* rider_model_row();

// The bone matrices that carry the model from the reference pose to pose:
// per bone the reference origin (centre), the posed origin less offset
// (translation) and posed frame x reference frame transposed (rotation,
// column-major).
void rider_bone_matrices(const rider_pose* reference, const rider_pose* pose, const float offset[3],
                         float centres[rider_bone_count][3], float translations[rider_bone_count][3],
                         float rotations[rider_bone_count][9]);

// Which models draw_rider draws, in its order, for a drawing mode (0 other
// riders, 1 the watched rider hidden, 2 the watched rider) and crash counter.
enum rider_model_part : uint8_t {
    part_frame,
    part_fork_upper,
    part_fork_lower,
    part_swingarm,
    part_front_wheel,
    part_rear_wheel,
    part_rider_body,
    part_rider_body_fp,
    part_head,
    part_front_plate,  // on the steering body
    part_side_plates,  // on the frame
    part_rider_plate,
    rider_model_part_count
};
// Fills list and returns its length; has_fp: the bike has a first-person
// rider model.
int rider_model_list(int mode, int crash_counter, int has_fp, uint8_t list[rider_model_part_count]);
