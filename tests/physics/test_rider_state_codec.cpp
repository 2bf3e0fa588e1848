// The rider state record's bytes: the layout pinned by hand-computed bytes,
// round trips over random poses, clamping at the edges, the drive byte, the
// older version and the history's blend.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "physics/rider_state.h"

namespace {

constexpr double pi = 3.14159265358979323846;
const rider_state_scales scales = {1024.0f, -8.0f, 0.5f, 1.0f};

rider_state_values golden_pose()
{
    rider_state_values v{};
    v.frame_position[0] = 256.0;
    v.frame_position[1] = 24.0;
    v.frame_position[2] = 768.0;
    // The negated form of (0.28, 0, 0.96, 0): a half-turn-ish yaw.
    v.frame_quaternion[0] = -0.28;
    v.frame_quaternion[2] = -0.96;
    v.steering_angle = 0.25;
    v.swingarm_angle = -0.2;
    v.fork_position = -0.25;
    v.rider_offset[0] = 1.0;
    v.rider_offset[1] = 2.5;
    v.rider_offset[2] = -3.0;
    v.rider_quaternion[0] = 1.0;
    v.front_wheel_angle = 1.0;
    v.rear_wheel_angle = -2.0;
    v.drive.gear = 3;
    v.drive.dab = 1;
    v.drive.throttle = 0.5f;
    v.engine_rpm = 9000.0;
    return v;
}

// Worked out from the field table with E = 1024, H = -8, S = 0.5, F = 1:
//   x 256/1024*16777215 = 4194303.75 -> 0x400000; y (24+8)/1024*.. -> 0x080000;
//   z 0.75*16777215 = 12582911.25 -> 0xBFFFFF;
//   quaternion stored as (0.28, 0, 0.96, 0): 1.28*32767.5 = 41942.4 -> 0xA3D6,
//   0 -> 32768 = 0x8000, 1.96*32767.5 = 64224.3 -> 0xFAE0;
//   steering (0.25+pi/4)*162.33803 = 168.08 -> 0xA8; swingarm 0.3/0.5*255 = 153
//   -> 0x99; fork 0.75*255 = 191.25 -> 191 = 0xBF, bit 0 cleared -> 0xBE;
//   offsets 17, 18.5, 13 times 2047.96875: 34815.47, 37887.42, 26623.59 ->
//   0x87FF, 0x93FF, 0x6800; identity -> 0xFFFF, 0x8000 x3;
//   wheels (1+pi)*40.584507 = 168.08 -> 0xA8, (pi-2)*40.584507 = 46.33 -> 0x2E;
//   drive gear 3 | foot down 8 | (0.5*15 = 7.5 -> 7) << 4 = 0x7B;
//   rpm 9000*1.9999695 = 17999.73 -> 18000 = 0x4650.
const uint8_t golden_bytes[39] = {
    0x00, 0x00, 0x40, 0x00, 0x00, 0x08, 0xFF, 0xFF, 0xBF,                          // position
    0xD6, 0xA3, 0x00, 0x80, 0xE0, 0xFA, 0x00, 0x80,                                // frame quaternion
    0xA8, 0x99, 0xBE,                                                              // steer, swingarm, fork
    0xFF, 0x87, 0xFF, 0x93, 0x00, 0x68,                                            // rider offset
    0xFF, 0xFF, 0x00, 0x80, 0x00, 0x80, 0x00, 0x80,                                // rider quaternion
    0xA8, 0x2E, 0x7B, 0x50, 0x46,                                                  // wheels, drive, rpm
};

TEST(rider_state_codec, hand_built_pose_packs_to_the_hand_computed_bytes)
{
    rider_state_record r;
    std::memset(r.bytes, 0xEE, sizeof r.bytes);
    rider_state_encode(golden_pose(), scales, &r);
    for (int i = 0; i < 39; i++) EXPECT_EQ(r.bytes[i], golden_bytes[i]) << "byte " << i;
}

TEST(rider_state_codec, record_sizes_by_version)
{
    EXPECT_EQ(rider_state_record_size(5), 39);
    EXPECT_EQ(rider_state_record_size(4), 26);
    for (int v : {-1, 0, 3, 6, 255}) EXPECT_EQ(rider_state_record_size(v), 0) << v;
}

TEST(rider_state_codec, unknown_versions_are_refused_and_leave_the_output_alone)
{
    rider_state_values v{};
    v.engine_rpm = 1234.0;
    for (int version : {0, 3, 6, 1000}) {
        EXPECT_EQ(rider_state_decode(golden_bytes, version, scales, &v), 0) << version;
        EXPECT_EQ(v.engine_rpm, 1234.0);
    }
}

TEST(rider_state_codec, golden_bytes_decode_to_the_pose)
{
    rider_state_values v;
    ASSERT_EQ(rider_state_decode(golden_bytes, 5, scales, &v), 1);
    rider_state_values want = golden_pose();
    EXPECT_NEAR(v.frame_position[0], 256.0, 1e-3);
    EXPECT_NEAR(v.frame_position[1], 24.0, 1e-3);
    EXPECT_NEAR(v.frame_position[2], 768.0, 1e-3);
    EXPECT_NEAR(v.frame_quaternion[0], 0.28, 2e-5);
    EXPECT_NEAR(v.frame_quaternion[2], 0.96, 2e-5);
    EXPECT_NEAR(v.steering_angle, want.steering_angle, pi / 2 / 255);
    EXPECT_NEAR(v.swingarm_angle, want.swingarm_angle, 1e-6);
    EXPECT_NEAR(v.fork_position, -65.0 / 255.0, 1e-9);  // 190/255 - 1
    for (int i = 0; i < 3; i++) EXPECT_NEAR(v.rider_offset[i], want.rider_offset[i], 32.0 / 65535);
    EXPECT_NEAR(v.rider_quaternion[0], 1.0, 1e-9);
    EXPECT_EQ(v.drive.gear, 3);
    EXPECT_EQ(v.drive.dab, 1);
    EXPECT_EQ(v.drive.crashed, 0);
    EXPECT_FLOAT_EQ(v.drive.throttle, 7.0f / 15.0f);
    EXPECT_NEAR(v.engine_rpm, 9000.0, 0.5);
}

// Random poses over the whole range of every field: decoding gives back each
// field within half its quantum (plus the float rounding of the input).
TEST(rider_state_codec, pack_then_unpack_round_trips_random_poses)
{
    std::mt19937 rng(20261210);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    auto span = [&](double lo, double hi) { return lo + (hi - lo) * unit(rng); };
    auto random_quat = [&](double q[4]) {
        double n = 0.0;
        do {
            n = 0.0;
            for (int i = 0; i < 4; i++) {
                q[i] = span(-1.0, 1.0);
                n += q[i] * q[i];
            }
        } while (n < 0.01 || n > 1.0);
        for (int i = 0; i < 4; i++) q[i] /= std::sqrt(n);
    };
    // Same rotation: equal up to the sign of the whole quaternion.
    auto same_rotation = [](const double got[4], const double want[4], double tol) {
        double sign = want[0] < 0.0 ? -1.0 : 1.0;
        for (int i = 0; i < 4; i++)
            if (std::fabs(got[i] - sign * want[i]) > tol) return false;
        return got[0] >= -tol;
    };
    const rider_state_scales s = {2048.0f, -50.0f, 0.53f, 1.0f};
    const double q24 = s.extent / 16777215.0, q16 = 2.0 / 65535, off = 32.0 / 65535;
    for (int n = 0; n < 5000; n++) {
        rider_state_values v{};
        for (int i = 0; i < 3; i++) v.frame_position[i] = span(0.0, s.extent);
        v.frame_position[1] += s.height_min;
        random_quat(v.frame_quaternion);
        random_quat(v.rider_quaternion);
        v.steering_angle = span(-pi / 4, pi / 4);
        v.swingarm_angle = span(-s.swingarm_travel, 0.0);
        v.fork_position = span(-s.fork_travel, 0.0);
        for (int i = 0; i < 3; i++) v.rider_offset[i] = span(-15.99, 15.99);
        v.front_wheel_angle = span(-pi, pi);
        v.rear_wheel_angle = span(-pi, pi);
        v.drive.gear = int(rng() % 6);
        v.drive.dab = int(rng() % 2);
        v.drive.throttle = float(rng() % 16) / 15.0f;
        v.engine_rpm = span(0.0, 32768.0);

        rider_state_record r;
        rider_state_encode(v, s, &r);
        rider_state_values u;
        ASSERT_EQ(rider_state_decode(r.bytes, 5, s, &u), 1);
        for (int i = 0; i < 3; i++) ASSERT_NEAR(u.frame_position[i], v.frame_position[i], q24 / 2 + 1e-9) << n << " axis " << i;
        ASSERT_TRUE(same_rotation(u.frame_quaternion, v.frame_quaternion, q16 / 2 + 1e-7)) << n;
        ASSERT_TRUE(same_rotation(u.rider_quaternion, v.rider_quaternion, q16 / 2 + 1e-7)) << n;
        ASSERT_NEAR(u.steering_angle, v.steering_angle, pi / 2 / 255 / 2 + 1e-6) << n;
        ASSERT_NEAR(u.swingarm_angle, v.swingarm_angle, s.swingarm_travel / 255 / 2 + 1e-6) << n;
        // The fork byte loses bit 0: one whole step.
        ASSERT_NEAR(u.fork_position, v.fork_position, s.fork_travel / 255 * 1.5) << n;
        for (int i = 0; i < 3; i++) ASSERT_NEAR(u.rider_offset[i], v.rider_offset[i], off / 2 + 1e-5) << n;
        ASSERT_NEAR(u.front_wheel_angle, v.front_wheel_angle, pi / 255 + 1e-6) << n;
        ASSERT_NEAR(u.rear_wheel_angle, v.rear_wheel_angle, pi / 255 + 1e-6) << n;
        ASSERT_EQ(u.drive.gear, v.drive.gear);
        ASSERT_EQ(u.drive.dab, v.drive.dab);
        ASSERT_NEAR(u.drive.throttle, v.drive.throttle, 1e-6);
        ASSERT_NEAR(u.engine_rpm, v.engine_rpm, 0.5 / 1.9999695 + 0.01) << n;
    }
}

TEST(rider_state_codec, out_of_range_values_pack_to_the_nearest_end)
{
    struct edge {
        const char* what;
        void (*set)(rider_state_values&);
        int at, size;
        uint32_t want;
    };
    const edge edges[] = {
        {"x below 0", [](rider_state_values& v) { v.frame_position[0] = -3.0; }, 0, 3, 0},
        {"x at the extent", [](rider_state_values& v) { v.frame_position[0] = 1024.0; }, 0, 3, 0xFFFFFF},
        {"x beyond the extent", [](rider_state_values& v) { v.frame_position[0] = 1e9; }, 0, 3, 0xFFFFFF},
        {"y below the lowest height", [](rider_state_values& v) { v.frame_position[1] = -9.0; }, 3, 3, 0},
        {"z not a number", [](rider_state_values& v) { v.frame_position[2] = std::nan(""); }, 6, 3, 0},
        {"rider 40 ft ahead", [](rider_state_values& v) { v.rider_offset[0] = 40.0; }, 20, 2, 65535},
        {"rider 40 ft behind", [](rider_state_values& v) { v.rider_offset[2] = -40.0; }, 24, 2, 0},
        {"steering past the lock", [](rider_state_values& v) { v.steering_angle = 2.0; }, 17, 1, 255},
        {"swingarm past its stop", [](rider_state_values& v) { v.swingarm_angle = -9.0; }, 18, 1, 0},
        {"swingarm above rest", [](rider_state_values& v) { v.swingarm_angle = 0.3; }, 18, 1, 255},
        {"fork at rest", [](rider_state_values& v) { v.fork_position = 0.0; }, 19, 1, 254},
        {"wheel past a half turn", [](rider_state_values& v) { v.front_wheel_angle = 7.0; }, 34, 1, 255},
        {"rpm above the top", [](rider_state_values& v) { v.engine_rpm = 50000.0; }, 37, 2, 65535},
        {"rpm negative", [](rider_state_values& v) { v.engine_rpm = -10.0; }, 37, 2, 0},
        {"quaternion component above 1", [](rider_state_values& v) { v.frame_quaternion[0] = 1.5; }, 9, 2, 65535},
    };
    for (const edge& e : edges) {
        rider_state_values v = golden_pose();
        e.set(v);
        rider_state_record r;
        rider_state_encode(v, scales, &r);
        uint32_t got = 0;
        for (int i = 0; i < e.size; i++) got |= uint32_t(r.bytes[e.at + i]) << (8 * i);
        EXPECT_EQ(got, e.want) << e.what;
    }
}

TEST(rider_state_codec, no_terrain_or_no_travel_packs_rest_values_instead_of_dividing_by_zero)
{
    rider_state_values v = golden_pose();
    rider_state_record r;
    rider_state_encode(v, {0.0f, 0.0f, 0.0f, -1.0f}, &r);
    for (int i = 0; i < 9; i++) EXPECT_EQ(r.bytes[i], 0) << i;
    EXPECT_EQ(r.bytes[18], 255);
    EXPECT_EQ(r.bytes[19], 254);
    rider_state_values u;
    ASSERT_EQ(rider_state_decode(r.bytes, 5, {0.0f, 0.0f, 0.0f, 0.0f}, &u), 1);
    EXPECT_EQ(u.swingarm_angle, 0.0);
    EXPECT_EQ(u.fork_position, 0.0);
}

TEST(rider_state_codec, drive_byte_riding_and_crashed)
{
    struct row {
        int gear;
        float dab, throttle;
        int crash_tics;
        uint8_t want;
    };
    const row rows[] = {
        {0, 0.0f, 0.0f, 0, 0x00},    {5, 0.0f, 1.0f, 0, 0xF5},    {7, 0.0f, 0.0f, 0, 0x06},
        {-2, 0.0f, 0.0f, 0, 0x00},   {1, 0.01f, 0.0f, 0, 0x09},   {2, 0.0f, 0.99f, 0, 0xE2},
        {2, 0.0f, 3.0f, 0, 0xF2},    {2, 0.0f, -1.0f, 0, 0x02},   {3, 1.0f, 0.5f, 1, 0x07},
        {3, 1.0f, 0.5f, 128, 0xF7},  {0, 0.0f, 0.0f, 9999, 0xF7}, {0, 0.0f, 0.0f, 64, 0x77},
        {0, 0.0f, 0.0f, 0x7FFFFFFF, 0xF7},
    };
    for (const row& r : rows)
        EXPECT_EQ(rider_state_drive_byte(r.gear, r.dab, r.throttle, r.crash_tics), r.want)
            << "gear " << r.gear << " crash " << r.crash_tics;

    rider_state_drive d = rider_state_drive_decode(0x07);
    EXPECT_EQ(d.crashed, 1);
    EXPECT_EQ(d.crash_tics, 1);
    EXPECT_EQ(d.throttle, 0.0f);
    d = rider_state_drive_decode(0xF7);
    EXPECT_EQ(d.crash_tics, 128);
    d = rider_state_drive_decode(0xE2);
    EXPECT_EQ(d.crashed, 0);
    EXPECT_EQ(d.gear, 2);
    EXPECT_NEAR(d.throttle, 0.93333, 1e-5);
    d = rider_state_drive_decode(0x0E);  // gear 6, foot down
    EXPECT_EQ(d.gear, 6);
    EXPECT_EQ(d.dab, 1);
}

TEST(rider_state_codec, packed_gear_reads_as_a_gear_the_bike_has)
{
    const float five_speed[6] = {0.0f, 2.5f, 1.9f, 1.5f, 1.2f, 1.0f};
    const float four_speed[6] = {0.0f, 2.5f, 1.9f, 1.5f, 1.2f, 0.0f};
    const float holes[6] = {0.0f, 2.5f, 0.0f, -1.0f, 1.2f, 0.0f};
    EXPECT_EQ(rider_state_unpack_gear(6, five_speed), 5);
    EXPECT_EQ(rider_state_unpack_gear(6, four_speed), 4);
    EXPECT_EQ(rider_state_unpack_gear(3, holes), 1);
    EXPECT_EQ(rider_state_unpack_gear(5, holes), 4);
    EXPECT_EQ(rider_state_unpack_gear(0, five_speed), 0);
    const float none[6] = {};
    EXPECT_EQ(rider_state_unpack_gear(4, none), 0);
}

TEST(rider_state_codec, version_4_records_read)
{
    // Bytes 0-19 as version 5; then lean 51 (0.2), wheels 0 and 255, drive
    // 0xF7 (crashed, 128), rpm 0xFFFF.
    uint8_t b[26];
    std::memcpy(b, golden_bytes, 20);
    b[20] = 51;
    b[21] = 0;
    b[22] = 255;
    b[23] = 0xF7;
    b[24] = 0xFF;
    b[25] = 0xFF;
    rider_state_values v;
    ASSERT_EQ(rider_state_decode(b, 4, scales, &v), 1);
    EXPECT_NEAR(v.frame_position[2], 768.0, 1e-3);
    EXPECT_NEAR(v.frame_quaternion[2], 0.96, 2e-5);
    EXPECT_NEAR(v.rider_lean, 0.2, 1e-9);
    EXPECT_NEAR(v.front_wheel_angle, -pi, 1e-9);
    EXPECT_NEAR(v.rear_wheel_angle, pi, 1e-9);
    EXPECT_EQ(v.drive.crashed, 1);
    EXPECT_EQ(v.drive.crash_tics, 128);
    EXPECT_NEAR(v.engine_rpm, 32768.0, 1e-6);
    for (int i = 0; i < 3; i++) EXPECT_EQ(v.rider_offset[i], 0.0);
}

// The history's blend.

TEST(rider_state_blend, fraction_interpolators)
{
    EXPECT_EQ(lerp_u8(0, 255, 0.5f), 128);
    EXPECT_EQ(lerp_u8(100, 200, 0.0f), 100);
    EXPECT_EQ(lerp_u8(100, 200, 1.0f), 200);
    EXPECT_EQ(lerp_u8(100, 200, 3.0f), 255);   // clamped to the range
    EXPECT_EQ(lerp_u8(100, 50, 3.0f), 0);
    EXPECT_EQ(lerp_u16(1000, 3000, 0.25f), 1500);
    EXPECT_EQ(lerp_u24(0xFFFFFE, 0xFFFFFF, 1.0f), 0xFFFFFFu);
    EXPECT_EQ(lerp_u24(0x123456, 0x123456, 0.7f), 0x123456u);
    EXPECT_EQ(lerp_u24(1000, 2000, 1.5f), 2500u);  // carried forward
}

TEST(rider_state_blend, turn_fractions_go_the_short_way_through_the_seam)
{
    struct row {
        uint8_t a, b;
        float x;
        uint8_t want;
    };
    const row rows[] = {
        {250, 5, 0.8f, 3},    // forward through 255 and 0
        {250, 4, 0.25f, 252},
        {5, 250, 0.2f, 3},    // backward through 0
        {5, 250, 0.8f, 252},
        {100, 60, 0.25f, 154}, // more than 1/8 turn back: nearly a turn forward
        {100, 80, 0.5f, 90},  // less than 1/8 turn back: backward
        {10, 20, 0.5f, 15},
    };
    for (const row& r : rows) EXPECT_EQ(lerp_turn_u8(r.a, r.b, r.x), r.want) << int(r.a) << " to " << int(r.b);
}

void put_quat(uint8_t* p, double w, double x, double y, double z)
{
    rider_state_values v{};
    v.frame_quaternion[0] = w;
    v.frame_quaternion[1] = x;
    v.frame_quaternion[2] = y;
    v.frame_quaternion[3] = z;
    rider_state_record r;
    rider_state_encode(v, scales, &r);
    std::memcpy(p, r.bytes + 9, 8);
}

void get_quat(const uint8_t* p, double q[4])
{
    rider_state_record r{};
    std::memcpy(r.bytes + 9, p, 8);
    rider_state_values v;
    rider_state_decode(r.bytes, 5, scales, &v);
    for (int i = 0; i < 4; i++) q[i] = v.frame_quaternion[i];
}

TEST(rider_state_blend, quaternions_of_opposite_sign_blend_without_a_flip)
{
    // A yaw of 0.4 rad and a yaw of 0.8 rad written with the opposite sign
    // (as raw bytes, as another packer might): halfway is a yaw of 0.6 rad.
    uint8_t a[8], b[8], out[8];
    put_quat(a, std::cos(0.2), 0, std::sin(0.2), 0);
    double c = std::cos(0.4), s = std::sin(0.4);
    const double nb[4] = {-c, 0.0, -s, 0.0};
    for (int i = 0; i < 4; i++) {
        uint32_t u = uint32_t(std::floor((nb[i] + 1.0) * 32767.5 + 0.5));
        b[2 * i] = uint8_t(u);
        b[2 * i + 1] = uint8_t(u >> 8);
    }
    nlerp_quat(a, b, 0.5f, out);
    double q[4];
    get_quat(out, q);
    double sign = q[0] < 0 ? -1.0 : 1.0;
    EXPECT_NEAR(sign * q[0], std::cos(0.3), 1e-4);
    EXPECT_NEAR(sign * q[2], std::sin(0.3), 1e-4);
    EXPECT_NEAR(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3], 1.0, 1e-4);
}

TEST(rider_state_blend, records_blend_field_by_field)
{
    rider_state_values va = golden_pose(), vb = golden_pose();
    va.frame_position[0] = 100.0;
    vb.frame_position[0] = 110.0;
    va.frame_quaternion[0] = 1.0;
    va.frame_quaternion[2] = 0.0;
    vb.frame_quaternion[0] = std::cos(0.5);
    vb.frame_quaternion[2] = std::sin(0.5);
    va.steering_angle = -0.2;
    vb.steering_angle = 0.2;
    va.rider_offset[1] = 2.0;
    vb.rider_offset[1] = 3.0;
    va.front_wheel_angle = 3.0;
    vb.front_wheel_angle = -3.0;  // forward through the seam
    vb.drive.gear = 4;
    va.engine_rpm = 5000.0;
    vb.engine_rpm = 7000.0;
    rider_state_record a, b, m;
    rider_state_encode(va, scales, &a);
    rider_state_encode(vb, scales, &b);

    rider_state_blend(a, b, 0.5f, &m);
    rider_state_values v;
    ASSERT_EQ(rider_state_decode(m.bytes, 5, scales, &v), 1);
    EXPECT_NEAR(v.frame_position[0], 105.0, 1e-3);
    EXPECT_NEAR(v.frame_position[1], 24.0, 1e-3);
    EXPECT_NEAR(v.frame_quaternion[0], std::cos(0.25), 1e-4);
    EXPECT_NEAR(v.frame_quaternion[2], std::sin(0.25), 1e-4);
    EXPECT_NEAR(v.steering_angle, 0.0, 0.01);
    EXPECT_NEAR(v.rider_offset[1], 2.5, 1e-3);
    EXPECT_NEAR(std::fabs(v.front_wheel_angle), pi, 0.03);
    EXPECT_EQ(v.drive.gear, 3);  // the drive byte is the older record's
    EXPECT_NEAR(v.engine_rpm, 6000.0, 1.0);

    // Past the newer record only the position runs on.
    rider_state_blend(a, b, 1.5f, &m);
    ASSERT_EQ(rider_state_decode(m.bytes, 5, scales, &v), 1);
    EXPECT_NEAR(v.frame_position[0], 115.0, 1e-3);
    EXPECT_NEAR(v.steering_angle, 0.2, 0.01);
    EXPECT_NEAR(v.engine_rpm, 7000.0, 1.0);

    // Factor 0 gives the older record's bytes back exactly.
    rider_state_blend(a, b, 0.0f, &m);
    EXPECT_EQ(std::memcmp(m.bytes, a.bytes, 39), 0);
}

} // namespace
