// Posing the rider: the two-bone limb solve at every reach, bone frames,
// the head's gaze and the reference pose of the rider model.
#include <gtest/gtest.h>

#include <cmath>

#include "physics/bike_info.h"
#include "ui/rider_pose.h"

namespace {

float dist(const float a[3], const float b[3])
{
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

void expect_orthonormal_right_handed(const float f[9], float tolerance = 1e-5f)
{
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            float d = f[3 * i] * f[3 * j] + f[3 * i + 1] * f[3 * j + 1] + f[3 * i + 2] * f[3 * j + 2];
            EXPECT_NEAR(d, i == j ? 1 : 0, tolerance) << "rows " << i << ", " << j;
        }
    // x = y x z.
    const float* y = f + 3;
    const float* z = f + 6;
    EXPECT_NEAR(f[0], y[1] * z[2] - y[2] * z[1], tolerance);
    EXPECT_NEAR(f[1], y[2] * z[0] - y[0] * z[2], tolerance);
    EXPECT_NEAR(f[2], y[0] * z[1] - y[1] * z[0], tolerance);
}

TEST(limb_joint, reach_folding_and_degenerate_limbs)
{
    const float S[3] = {0, 0, 0}, fallback[3] = {0, 0, -1};
    struct row {
        const char* what;
        float E[3];
        float U, L;
        float H[3];
        float reach;  // distance of the solved end from S (the clamped d)
    } rows[] = {
        {"inside reach", {0, -1.5f, 0}, 1, 1, {0, -1, -1}, 1.5f},
        {"inside, unequal bones", {0.3f, -1.2f, 0.4f}, 1.2f, 0.8f, {0, 0, -3}, 1.3f},
        {"beyond 0.95 (U + L)", {0, -5, 0}, 1, 1, {0, -1, -1}, 1.9f},
        {"nearer than |U - L|", {0, -0.1f, 0}, 1.5f, 0.5f, {0, -1, -1}, 1.0f},
        {"end on the start", {0, 0, 0}, 1, 1, {0, -1, -1}, 1e-4f},
        {"hint on the limb's line", {0, -1.5f, 0}, 1, 1, {0, -3, 0}, 1.5f},
        {"hint on the start", {0, -1.5f, 0}, 1, 1, {0, 0, 0}, 1.5f},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        float J[3];
        limb_joint(S, r.E, r.U, r.L, r.H, fallback, J);
        for (float c : J) ASSERT_TRUE(std::isfinite(c));
        // The upper bone keeps its length always.
        EXPECT_NEAR(dist(S, J), r.U, 1e-4);
        // The lower bone reaches the end point moved onto the reach.
        float d = dist(S, r.E), end[3];
        for (int k = 0; k < 3; k++) end[k] = d > 0 ? r.E[k] * (r.reach / d) : (k == 1 ? -r.reach : 0);
        EXPECT_NEAR(dist(J, end), r.L, 1e-3);
    }
    // A stretched limb still bends (r > 0), and towards its hint.
    const float E[3] = {0, -5, 0}, H[3] = {0, -1, -1};
    float J[3];
    limb_joint(S, E, 1, 1, H, fallback, J);
    EXPECT_LT(J[2], -0.2f);
    // With the hint on the line the fallback gives the bend.
    const float E2[3] = {0, -1.5f, 0}, H2[3] = {0, -3, 0};
    limb_joint(S, E2, 1, 1, H2, fallback, J);
    EXPECT_NEAR(J[2], -std::sqrt(1 - 0.75f * 0.75f), 1e-5);
}

TEST(bone_frame, orthonormal_and_right_handed_for_any_hint)
{
    const float start[3] = {1, 2, 3};
    const float ends[][3] = {{1, 0, 3}, {2, 2, 3}, {1, 2, 5}, {0.3f, 1.1f, 2.2f}, {1, 2, 3}};
    const float hints[][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.2f, -0.7f, 0.4f}, {0, 0, 0}};
    for (const auto& e : ends)
        for (const auto& h : hints) {
            float f[9];
            bone_frame(start, e, h, f);
            SCOPED_TRACE(testing::Message() << "end " << e[0] << "," << e[1] << "," << e[2] << " hint " << h[0]
                                            << "," << h[1] << "," << h[2]);
            expect_orthonormal_right_handed(f);
            // y points from the end back to the start.
            float d = dist(start, e);
            if (d > 0) {
                for (int k = 0; k < 3; k++) EXPECT_NEAR(f[3 + k], (start[k] - e[k]) / d, 1e-5);
            }
        }
}

TEST(head_frame, orthonormal_and_untouched_gaze_inside_the_cone)
{
    const float y[3] = {0, 1, 0}, z[3] = {0, 0, 1};
    const float velocities[][3] = {{0, 0, 0}, {0, 0, -40}, {30, 0, -30}, {0, 0, 50}, {-80, 5, 0}, {0, -200, 0}};
    for (const auto& v : velocities) {
        float f[9];
        head_frame(v, y, z, f);
        SCOPED_TRACE(testing::Message() << v[0] << "," << v[1] << "," << v[2]);
        expect_orthonormal_right_handed(f);
    }
    // At rest the gaze is the body's own backward axis lifted a quarter:
    // g = unit(0, 0.25 + 0.0058333 x 59, 1); it lies within the cone, so
    // the head's z axis is g itself.
    const float still[3] = {0, 0, 0};
    float f[9];
    head_frame(still, y, z, f);
    float ay = 0.25f + 0.0058333333f * 59, n = std::sqrt(1 + ay * ay);
    EXPECT_NEAR(f[6], 0, 1e-5);
    EXPECT_NEAR(f[7], ay / n, 1e-5);
    EXPECT_NEAR(f[8], 1 / n, 1e-5);
}

TEST(rider_pose, reference_pose_has_limbs_of_the_rows_lengths_and_finite_frames)
{
    const bike_info* table = bike_info_table();
    for (int i = 0; i < bike_info_count; i += 7) {
        const bike_info& row = table[i];
        SCOPED_TRACE(row.name);
        rider_pose p;
        rider_reference_pose(&row, &p);
        // Hip centre at the origin.
        for (int k = 0; k < 3; k++) EXPECT_NEAR(p.origin[bone_torso][k], 0, 1e-6);
        for (int side = 0; side < 2; side++) {
            EXPECT_NEAR(dist(p.origin[bone_left_upper_arm + 2 * side], p.elbow[side]), row.main.arm_lengths[0], 1e-4);
            EXPECT_NEAR(dist(p.origin[bone_left_thigh + 2 * side], p.knee[side]), row.main.leg_lengths[0], 1e-4);
            // Knees forward of the hips (forward is -z), elbows below the shoulders.
            EXPECT_LT(p.knee[side][2], p.origin[bone_left_thigh + 2 * side][2]);
            EXPECT_LT(p.elbow[side][1], p.origin[bone_left_upper_arm + 2 * side][1]);
        }
        for (int b = 0; b < rider_bone_count; b++) expect_orthonormal_right_handed(p.frame[b], 1e-4f);
        // The bone matrices from a pose to itself are the identity about
        // each joint.
        float c[rider_bone_count][3], t[rider_bone_count][3], r[rider_bone_count][9];
        const float none[3] = {0, 0, 0};
        rider_bone_matrices(&p, &p, none, c, t, r);
        for (int b = 0; b < rider_bone_count; b++)
            for (int k = 0; k < 9; k++) EXPECT_NEAR(r[b][k], k % 4 == 0 ? 1 : 0, 1e-4) << "bone " << b;
    }
}

}  // namespace
