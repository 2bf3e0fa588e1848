#include "physics/drivetrain.h"

#include <algorithm>
#include <cmath>

#include "physics/physics_constants.h"

float engine_curve_torque(const float* closed, const float* open, float rpm, float throttle)
{
    float x = rpm * 0.002f;
    if (!(x > 0.0f))
        x = 0.0f;  // also catches NaN
    if (x > 49.0f)
        x = 49.0f;
    int i = (int)std::floor(x);
    int j = std::min(i + 1, 49);
    float f = x - (float)i;
    float c = closed[i] + f * (closed[j] - closed[i]);
    float o = open[i] + f * (open[j] - open[i]);
    return c + throttle * (o - c);
}

static int32_t gear_floor(const float ratios[6])
{
    return ratios[1] > 0.0f ? 1 : 0;
}

int32_t gearbox_auto_gear(const float ratios[6], int32_t gear, double wheel_rpm,
                          double downshift_rpm, double upshift_rpm)
{
    gear = std::clamp(gear, 0, 5);
    if (wheel_rpm < downshift_rpm) {
        if (gear <= 1)
            return gear_floor(ratios);
        for (int32_t g = gear - 1; g >= 1; g--)
            if (ratios[g] > 0.0f)
                return g;
        return gear_floor(ratios);
    }
    if (wheel_rpm > upshift_rpm) {
        int32_t next = std::min(gear + 1, 5);
        if (ratios[next] > 0.0f)
            return next;
        for (int32_t g = gear; g >= 1 && g >= gear - 2; g--)
            if (ratios[g] > 0.0f)
                return g;
        return gear_floor(ratios);
    }
    return gear;
}

double anti_stall_clutch(double clutch, double rpm, double idle_rpm)
{
    if (rpm > phys::anti_stall_band + idle_rpm)
        return clutch;
    double limit = std::clamp((rpm - idle_rpm) * phys::anti_stall_slope, 0.0, 1.0);
    return std::min(clutch, limit);
}

double wrap_angle(double angle)
{
    if (angle > phys::pi)
        angle -= 2.0 * phys::pi;
    else if (angle < -phys::pi)
        angle += 2.0 * phys::pi;
    return angle;
}

double clutch_step(engine_state* engine, const clutch_inputs& in)
{
    double omega = engine->omega;
    if (in.ratio == 0.0) {
        engine->omega = (float)(omega + in.engine_torque / in.inertia * in.dt);
        engine->theta = (float)wrap_angle(in.wheel_angle);
        return 0.0;
    }
    double delta = wrap_angle((double)engine->theta - in.wheel_angle);
    double t = std::clamp(in.damping * (omega - in.wheel_rate * in.ratio),
                          -phys::clutch_damping_limit, phys::clutch_damping_limit) +
               in.stiffness * delta;
    // Engine braking uses the clutch as held; the anti-stall limit only
    // softens the drive.
    double used = t < 0.0 ? in.clutch : in.clutch_used;
    double slack = phys::pi / 4.0 * used;
    double theta = engine->theta;
    if (delta > slack)
        theta = in.wheel_angle + slack;
    else if (delta < -slack)
        theta = in.wheel_angle - slack;
    t = std::clamp(t, -phys::clutch_torque_limit, phys::clutch_torque_limit) * used * used;
    double accel = (-t / in.ratio + in.engine_torque) / in.inertia;
    omega += accel * in.dt;
    theta = wrap_angle(theta + omega * in.dt / in.ratio);
    engine->omega = (float)omega;
    engine->theta = (float)theta;
    return t;
}

double front_brake_release(uint8_t option_flags, double torque, bool front_contact, bool front_slides,
                           bool rear_contact)
{
    const uint8_t no_stoppie = 0x04, antilock = 0x08;
    if ((option_flags & antilock) && front_slides)
        return 0.0;
    if ((option_flags & no_stoppie) && !rear_contact && (front_contact || (option_flags & antilock)))
        return 0.0;
    return torque;
}
