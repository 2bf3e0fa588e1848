// The key-framed camera path: one key frame, before the first and past the
// last, equal and unsorted tics (no infinite or NaN place), the midpoint of
// two keys, and a quaternion path that takes the short way round.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "game/cameras.h"
#include "ui/view.h"

namespace {

camera_keyframe key(float x, float yaw, float fov, int32_t tic)
{
    camera_keyframe k{};
    k.position[0] = x, k.position[1] = 10, k.position[2] = 2 * x;
    camera_quaternion(yaw, 0, k.q);
    k.fov = fov;
    k.tic = tic;
    return k;
}

struct view_at {
    float p[3], q[4], fov;
};
view_at at(const std::vector<camera_keyframe>& keys, double tic)
{
    view_at v{};
    keyframe_camera(keys.data(), int(keys.size()), tic, v.p, v.q, &v.fov);
    return v;
}

TEST(keyframe_camera, ends_single_key_and_midpoint)
{
    std::vector<camera_keyframe> one = {key(5, 0.3f, 70, 100)};
    for (double tic : {0.0, 100.0, 500.0}) {
        view_at v = at(one, tic);
        EXPECT_EQ(v.p[0], 5);
        EXPECT_EQ(v.fov, 70);
    }
    std::vector<camera_keyframe> two = {key(0, 0, 60, 100), key(10, 0.5f, 80, 200)};
    EXPECT_EQ(at(two, 50).p[0], 0) << "before the first: the first as it is";
    EXPECT_EQ(at(two, 300).p[0], 10) << "past the last: the last";
    // Between two keys with no neighbours the ends have no tangent: the
    // Hermite midpoint is the chord's midpoint.
    view_at mid = at(two, 150);
    EXPECT_FLOAT_EQ(mid.p[0], 5);
    EXPECT_FLOAT_EQ(mid.p[2], 10);
    EXPECT_FLOAT_EQ(mid.fov, 70);
    // The quaternion is unit and halfway round: yaw 0.25.
    float m[9], want[9];
    quaternion_rotation(mid.q, m);
    camera_rotation(0.25f, 0, want);
    for (int i = 0; i < 9; i++) EXPECT_NEAR(m[i], want[i], 1e-3);
}

TEST(keyframe_camera, equal_and_unsorted_tics_stay_finite)
{
    const std::vector<std::vector<camera_keyframe>> paths = {
        {key(0, 0, 60, 100), key(10, 0.2f, 60, 100), key(20, 0.4f, 60, 200), key(30, 0.6f, 60, 200)},
        {key(0, 0, 60, 100), key(10, 0.2f, 60, 300), key(20, 0.4f, 60, 200), key(30, 0.6f, 60, 400)},
        {key(0, 0, 60, 100), key(5, 0.1f, 60, 100)},
    };
    for (const auto& path : paths)
        for (double tic = 50; tic <= 450; tic += 12.5) {
            view_at v = at(path, tic);
            for (float c : v.p) ASSERT_TRUE(std::isfinite(c)) << tic;
            for (float c : v.q) ASSERT_TRUE(std::isfinite(c)) << tic;
            ASSERT_TRUE(std::isfinite(v.fov));
        }
}

TEST(keyframe_camera, quaternion_of_opposite_sign_takes_the_short_way)
{
    camera_keyframe a = key(0, 0.1f, 60, 0), b = key(0, 0.3f, 60, 100);
    for (float& c : a.q) c = -c;  // the same rotation
    view_at v = at({a, b}, 50);
    float m[9], want[9];
    quaternion_rotation(v.q, m);
    camera_rotation(0.2f, 0, want);
    for (int i = 0; i < 9; i++) EXPECT_NEAR(m[i], want[i], 1e-3);
}

}  // namespace
