// The rider state record's bytes: quantisation, the drive byte, the two
// versions and the history's blend. No physics here.
#include <cmath>

#include "physics/rider_state.h"

namespace {

// The packing factors, single precision as the format defines them.
constexpr float factor_u24 = 16777215.0f;
constexpr float factor_quat = 32767.5f;
constexpr float factor_steer = 162.33803f;  // 255 / (pi/2)
constexpr float factor_offset = 2047.9688f; // 65535 / 32
constexpr float factor_turn = 40.584507f;   // 255 / (2 pi)
constexpr float factor_rpm = 1.9999695f;    // 65535 / 32768
constexpr float quarter_pi_f = 0.7853982f;
constexpr float pi_f = 3.14159265f;

// The decoding factors: n-bit values scaled by 1/2^n steps, then stretched
// so the top value reads as exactly 1.
constexpr double stretch_u8 = 1.003921568627451;      // 256 / 255
constexpr double stretch_u16 = 1.0000152590218967;    // 65536 / 65535
constexpr double stretch_u24 = 1.0000000596046483;    // 16777216 / 16777215
constexpr double pi = 3.14159265358979323846;

double fraction_u8(uint32_t b) { return b * (1.0 / 256.0) * stretch_u8; }
double fraction_u16(uint32_t u) { return u * (1.0 / 65536.0) * stretch_u16; }
double fraction_u24(uint32_t u) { return u * (1.0 / 16777216.0) * stretch_u24; }

// clamp that also sends NaN to the low end, so no garbage reaches the
// float-to-integer conversion.
float clampf(float v, float lo, float hi)
{
    if (!(v >= lo)) return lo;
    return v > hi ? hi : v;
}

// nearest(v) = floor(v + 0.5), kept inside 0..top.
uint32_t nearest(double v, uint32_t top)
{
    double n = std::floor(v + 0.5);
    if (!(n >= 0.0)) return 0;
    return n >= double(top) ? top : uint32_t(n);
}

void put_u16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void put_u24(uint8_t* p, uint32_t v)
{
    put_u16(p, v);
    p[2] = uint8_t(v >> 16);
}
uint32_t get_u16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t get_u24(const uint8_t* p) { return get_u16(p) | uint32_t(p[2]) << 16; }

uint32_t pack_span(double value, float low, float extent)
{
    if (!(extent > 0.0f)) return 0;
    double d = value - double(low);
    d = !(d >= 0.0) ? 0.0 : d > double(extent) ? double(extent) : d;
    return nearest(d / double(extent) * double(factor_u24), 0xFFFFFF);
}

// A travel field: 255 at rest (0), 0 at full travel (-travel).
uint8_t pack_travel(double value, float travel)
{
    if (!(travel > 0.0f)) return 255;
    float v = clampf(float(value), -travel, 0.0f);
    return uint8_t(nearest((double(v) + double(travel)) / double(travel) * 255.0, 255));
}

uint8_t pack_turn(double angle)
{
    float a = clampf(float(angle), -pi_f, pi_f);
    return uint8_t(nearest((double(a) + double(pi_f)) * double(factor_turn), 255));
}
double unpack_turn(uint32_t b) { return fraction_u8(b) * 2.0 * pi - pi; }

// Components limited to -1..1 in single precision, w made non-negative.
void pack_quat(const double q[4], uint8_t* out)
{
    float sign = q[0] < 0.0 ? -1.0f : 1.0f;
    for (int i = 0; i < 4; i++) {
        float c = clampf(sign * float(q[i]), -1.0f, 1.0f);
        put_u16(out + 2 * i, nearest((double(c) + 1.0) * double(factor_quat), 65535));
    }
}
void unpack_quat(const uint8_t* in, double q[4])
{
    for (int i = 0; i < 4; i++) q[i] = fraction_u16(get_u16(in + 2 * i)) * 2.0 - 1.0;
}

// The byte layout shared by both versions, then each version's tail.
enum {
    at_position = 0,
    at_frame_quat = 9,
    at_steering = 17,
    at_swingarm = 18,
    at_fork = 19,
    at_rider_offset = 20,
    at_rider_quat = 26,
    at_front_wheel = 34,
    at_rear_wheel = 35,
    at_drive = 36,
    at_rpm = 37,
    v4_at_lean = 20,
    v4_at_front_wheel = 21,
    v4_at_rear_wheel = 22,
    v4_at_drive = 23,
    v4_at_rpm = 24,
};

} // namespace

int rider_state_record_size(int version)
{
    if (version == 5) return rider_state_size;
    if (version == 4) return rider_state_v4_size;
    return 0;
}

uint8_t rider_state_drive_byte(int32_t gear, float dab_value, float throttle, int32_t crash_tics)
{
    if (crash_tics > 0) {
        uint32_t coarse = (uint32_t(crash_tics) - 1u) * 15u / 127u;
        return uint8_t(7u | (coarse > 15u ? 15u : coarse) << 4);
    }
    uint32_t g = gear < 0 ? 0u : gear > 6 ? 6u : uint32_t(gear);
    // Truncation toward zero: a throttle of 0.99 is 14 fifteenths.
    float t = clampf(throttle * 15.0f, 0.0f, 15.0f);
    uint32_t steps = uint32_t(t);
    return uint8_t(g | (dab_value > 0.0f ? 8u : 0u) | steps << 4);
}

rider_state_drive rider_state_drive_decode(uint8_t byte)
{
    rider_state_drive d{};
    uint32_t high = byte >> 4;
    if ((byte & 7u) == 7u) {
        d.crashed = 1;
        d.crash_tics = int32_t(high * 127u / 15u) + 1;
        return d;
    }
    d.gear = int32_t(byte & 7u);
    d.dab = (byte & 8u) ? 1 : 0;
    float t = float(high) * (1.0f / 15.0f);
    d.throttle = t > 1.0f ? 1.0f : t;
    return d;
}

void rider_state_encode(const rider_state_values& v, const rider_state_scales& s, rider_state_record* out)
{
    uint8_t* b = out->bytes;
    put_u24(b + 0, pack_span(v.frame_position[0], 0.0f, s.extent));
    put_u24(b + 3, pack_span(v.frame_position[1], s.height_min, s.extent));
    put_u24(b + 6, pack_span(v.frame_position[2], 0.0f, s.extent));
    pack_quat(v.frame_quaternion, b + at_frame_quat);
    float steer = clampf(float(v.steering_angle), -quarter_pi_f, quarter_pi_f);
    b[at_steering] = uint8_t(nearest((double(steer) + double(quarter_pi_f)) * double(factor_steer), 255));
    b[at_swingarm] = pack_travel(v.swingarm_angle, s.swingarm_travel);
    // Bit 0 of the fork byte is reserved and always written 0.
    b[at_fork] = uint8_t(pack_travel(v.fork_position, s.fork_travel) & 0xFEu);
    for (int i = 0; i < 3; i++) {
        float d = clampf(float(v.rider_offset[i]), -16.0f, 16.0f);
        put_u16(b + at_rider_offset + 2 * i, nearest((double(d) + 16.0) * double(factor_offset), 65535));
    }
    pack_quat(v.rider_quaternion, b + at_rider_quat);
    b[at_front_wheel] = pack_turn(v.front_wheel_angle);
    b[at_rear_wheel] = pack_turn(v.rear_wheel_angle);
    const rider_state_drive& d = v.drive;
    int32_t crash = d.crashed ? (d.crash_tics > 1 ? d.crash_tics : 1) : 0;
    b[at_drive] = rider_state_drive_byte(d.gear, d.dab ? 1.0f : 0.0f, d.throttle, crash);
    float rpm = clampf(float(v.engine_rpm), 0.0f, 32768.0f);
    put_u16(b + at_rpm, nearest(double(rpm) * double(factor_rpm), 65535));
}

int rider_state_decode(const uint8_t* b, int version, const rider_state_scales& s, rider_state_values* out)
{
    if (rider_state_record_size(version) == 0) return 0;
    rider_state_values v{};
    v.frame_position[0] = fraction_u24(get_u24(b + 0)) * s.extent;
    v.frame_position[1] = fraction_u24(get_u24(b + 3)) * s.extent + s.height_min;
    v.frame_position[2] = fraction_u24(get_u24(b + 6)) * s.extent;
    unpack_quat(b + at_frame_quat, v.frame_quaternion);
    v.steering_angle = fraction_u8(b[at_steering]) * 1.5707964 - 0.7853982;
    v.swingarm_angle = (fraction_u8(b[at_swingarm]) - 1.0) * s.swingarm_travel;
    v.fork_position = (fraction_u8(b[at_fork]) - 1.0) * s.fork_travel;
    int at_wheels = at_front_wheel, at_drive_byte = at_drive, at_engine = at_rpm;
    if (version == 5) {
        for (int i = 0; i < 3; i++) v.rider_offset[i] = fraction_u16(get_u16(b + at_rider_offset + 2 * i)) * 32.0 - 16.0;
        unpack_quat(b + at_rider_quat, v.rider_quaternion);
    } else {
        v.rider_lean = fraction_u8(b[v4_at_lean]);
        at_wheels = v4_at_front_wheel;
        at_drive_byte = v4_at_drive;
        at_engine = v4_at_rpm;
    }
    v.front_wheel_angle = unpack_turn(b[at_wheels]);
    v.rear_wheel_angle = unpack_turn(b[at_wheels + 1]);
    v.drive = rider_state_drive_decode(b[at_drive_byte]);
    v.engine_rpm = fraction_u16(get_u16(b + at_engine)) * 32768.0;
    *out = v;
    return 1;
}

int rider_state_unpack_gear(int32_t packed_gear, const float gear_ratio[6])
{
    int32_t g = packed_gear < 0 ? 0 : packed_gear > 5 ? 5 : packed_gear;
    while (g > 0 && !(gear_ratio[g] > 0.0f)) g--;
    return g;
}

// The blend: fractions are lerped as values in 0..1 and packed again.

namespace {

uint32_t lerp_fraction(uint32_t a, uint32_t b, float x, uint32_t top)
{
    double va = double(a) / top, vb = double(b) / top;
    double v = va + double(x) * (vb - va);
    v = v < 0.0 ? 0.0 : v > 1.0 ? 1.0 : v;
    return nearest(v * top, top);
}

} // namespace

uint8_t lerp_u8(uint8_t a, uint8_t b, float x) { return uint8_t(lerp_fraction(a, b, x, 255)); }
uint16_t lerp_u16(uint16_t a, uint16_t b, float x) { return uint16_t(lerp_fraction(a, b, x, 65535)); }
uint32_t lerp_u24(uint32_t a, uint32_t b, float x) { return lerp_fraction(a, b, x, 0xFFFFFF); }

uint8_t lerp_turn_u8(uint8_t a, uint8_t b, float x)
{
    double va = a / 255.0, vb = b / 255.0;
    if (va - 0.125 > vb)
        va -= 1.0;
    else if (vb > va + 0.875)
        vb -= 1.0;
    double v = va + double(x) * (vb - va);
    if (v < 0.0) v += 1.0;
    v = v < 0.0 ? 0.0 : v > 1.0 ? 1.0 : v;
    return uint8_t(nearest(v * 255.0, 255));
}

void nlerp_quat(const uint8_t* qa, const uint8_t* qb, float x, uint8_t* out)
{
    double a[4], b[4], q[4];
    unpack_quat(qa, a);
    unpack_quat(qb, b);
    double dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
    double sign = dot < 0.0 ? -1.0 : 1.0;
    double len2 = 0.0;
    for (int i = 0; i < 4; i++) {
        q[i] = sign * a[i] + double(x) * (b[i] - sign * a[i]);
        len2 += q[i] * q[i];
    }
    // Opposite rotations blended halfway meet at zero: keep a's.
    double inv = len2 > 1e-12 ? 1.0 / std::sqrt(len2) : 0.0;
    for (int i = 0; i < 4; i++) {
        double c = inv > 0.0 ? q[i] * inv : a[i];
        c = c > 1.0 ? 1.0 : c < -1.0 ? -1.0 : c;
        put_u16(out + 2 * i, nearest((c + 1.0) * 32767.5, 65535));
    }
}

void rider_state_blend(const rider_state_record& ra, const rider_state_record& rb, float f, rider_state_record* out)
{
    const uint8_t* a = ra.bytes;
    const uint8_t* b = rb.bytes;
    uint8_t* o = out->bytes;
    float g = f < 1.0f ? f : 1.0f;
    for (int i = 0; i < 3; i++) put_u24(o + 3 * i, lerp_u24(get_u24(a + 3 * i), get_u24(b + 3 * i), f));
    nlerp_quat(a + at_frame_quat, b + at_frame_quat, g, o + at_frame_quat);
    for (int i = at_steering; i <= at_fork; i++) o[i] = lerp_u8(a[i], b[i], g);
    for (int i = 0; i < 3; i++) {
        int at = at_rider_offset + 2 * i;
        put_u16(o + at, lerp_u16(uint16_t(get_u16(a + at)), uint16_t(get_u16(b + at)), g));
    }
    nlerp_quat(a + at_rider_quat, b + at_rider_quat, g, o + at_rider_quat);
    o[at_front_wheel] = lerp_turn_u8(a[at_front_wheel], b[at_front_wheel], g);
    o[at_rear_wheel] = lerp_turn_u8(a[at_rear_wheel], b[at_rear_wheel], g);
    o[at_drive] = a[at_drive];
    put_u16(o + at_rpm, lerp_u16(uint16_t(get_u16(a + at_rpm)), uint16_t(get_u16(b + at_rpm)), g));
}
