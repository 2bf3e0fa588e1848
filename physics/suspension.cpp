#include "physics/suspension.h"

#include <algorithm>
#include <cmath>

#include "physics/physics_constants.h"

double damper_force(double v, double k_compression, double k_rebound,
                    double knee_compression, double knee_rebound)
{
    double k = v < 0.0 ? k_compression : k_rebound;
    double knee = v < 0.0 ? knee_compression : knee_rebound;
    double kv = k * std::fabs(v);
    double magnitude = std::max(std::min(8.0 * kv, knee + kv), 0.125 * kv);
    return v < 0.0 ? magnitude : -magnitude;
}

double fork_air_force(double compression, double air_gap, double travel)
{
    double a = std::max(air_gap, phys::air_gap_minimum);
    double x = std::clamp(compression, 0.0, travel);
    return (std::pow((a + travel) / (a + travel - x), phys::air_spring_exponent) - 1.0) *
           phys::air_spring_scale;
}

// The fork's springs alone (coil and air), before the fade.
static double fork_spring_force(const fork_values& f, double position)
{
    return (f.preload - position) * f.spring_rate + fork_air_force(-position, f.air_gap, f.travel);
}

static double fork_fade(const fork_values& f, double position)
{
    return std::clamp(-32.0 * position / f.travel, 0.0, 1.0);
}

double fork_force(const fork_values& f, double position, double speed)
{
    double fade = fork_fade(f, position);
    if (fade <= 0.0)
        return 0.0;
    double force = fork_spring_force(f, position) +
                   damper_force(speed, f.compression, f.rebound, f.slow_compression, f.slow_rebound);
    return force * fade;
}

// A spring and a damper as one motor row solved with the step (see
// fork_motor in the header); damper_slope0 is the damper's slope as its
// speed goes to zero, used at a standstill.
static damped_motor_setting damped_row(double spring, double damper, double speed, double damper_slope0)
{
    double slope = speed != 0.0 ? std::fabs(damper / speed) : damper_slope0;
    double fmax = std::fabs(spring) + std::fabs(damper);
    if (!(slope > phys::damper_slope_minimum)) {
        // No damper to solve with: the springs as a plain motor force.
        motor_setting m = suspension_motor(spring + damper);
        return {m.velocity, m.fmax, 0.0};
    }
    return {spring / slope, fmax, 1.0 / slope};
}

// The damper's slope (force over speed) toward zero speed in direction v.
static double damper_rest_slope(double v, double k_compression, double k_rebound, double knee_compression,
                                double knee_rebound)
{
    constexpr double tiny = 1.0e-6;  // ft/s: inside the curve's first segment
    double d = v < 0.0 ? -tiny : tiny;
    return std::fabs(damper_force(d, k_compression, k_rebound, knee_compression, knee_rebound) / tiny);
}

damped_motor_setting fork_motor(const fork_values& f, double position, double speed)
{
    double fade = fork_fade(f, position);
    if (fade <= 0.0)
        return {0.0, 0.0, 0.0};
    double spring = fork_spring_force(f, position) * fade;
    double damper = damper_force(speed, f.compression, f.rebound, f.slow_compression, f.slow_rebound) * fade;
    return damped_row(spring, damper, speed,
                      fade * damper_rest_slope(speed, f.compression, f.rebound, f.slow_compression, f.slow_rebound));
}

// One cubic Hermite piece on 0..1 with end values and (already scaled) slopes.
static void hermite(double p0, double p1, double m0, double m1, double t, double* value, double* derivative)
{
    double t2 = t * t, t3 = t2 * t;
    *value = (2 * t3 - 3 * t2 + 1) * p0 + (t3 - 2 * t2 + t) * m0 + (-2 * t3 + 3 * t2) * p1 + (t3 - t2) * m1;
    *derivative = (6 * t2 - 6 * t) * p0 + (3 * t2 - 4 * t + 1) * m0 + (-6 * t2 + 6 * t) * p1 + (3 * t2 - 2 * t) * m1;
}

void shock_linkage(const shock_linkage_curve& c, double x, double* position, double* slope)
{
    double b = c.knee;
    double d;
    if (x <= b) {
        hermite(0.0, c.knee_position, c.slope[0] * b, c.slope[1] * b, x / b, position, &d);
        *slope = d / b;
    } else {
        double len = 1.0 - b;
        hermite(c.knee_position, c.full_position, c.slope[1] * len, c.slope[2] * len, (x - b) / len, position, &d);
        *slope = d / len;
    }
}

// The linkage at the hinge angle: fade, travel fraction's shock position
// and its slope (shock ft per unit of travel fraction, over the travel angle
// per rad).
static double shock_geometry(const shock_values& s, double angle, double* position, double* slope)
{
    double fade = std::clamp(-32.0 * angle / s.travel, 0.0, 1.0);
    double x = std::clamp(-angle / s.travel, 0.0, 1.0);
    shock_linkage(s.linkage, x, position, slope);
    return fade;
}

double shock_torque(const shock_values& s, double angle, double rate)
{
    double p, slope;
    double fade = shock_geometry(s, angle, &p, &slope);
    if (fade <= 0.0)
        return 0.0;
    double v = rate * slope;
    double force = (s.preload + p) * s.spring_rate +
                   damper_force(v, s.compression, s.rebound, s.slow_compression, s.slow_rebound);
    return fade * slope * force;
}

damped_motor_setting shock_motor(const shock_values& s, double angle, double rate)
{
    double p, slope;
    double fade = shock_geometry(s, angle, &p, &slope);
    if (fade <= 0.0)
        return {0.0, 0.0, 0.0};
    double spring = fade * slope * (s.preload + p) * s.spring_rate;
    double damper = fade * slope * damper_force(rate * slope, s.compression, s.rebound, s.slow_compression, s.slow_rebound);
    double rest = fade * slope * slope *
                  damper_rest_slope(rate, s.compression, s.rebound, s.slow_compression, s.slow_rebound);
    return damped_row(spring, damper, rate, rest);
}

motor_setting suspension_motor(double force)
{
    if (force >= 0.0)
        return {phys::suspension_extend_speed, force};
    return {0.0, -force};
}

double valve_ratio(const float pairs[4], double speed, double* flow)
{
    double k = speed < 0.0 ? pairs[0] : pairs[2];
    double g = speed < 0.0 ? pairs[1] : pairs[3];
    double f = k * std::fabs(speed) + g;
    if (flow)
        *flow = f;
    return f != 0.0 ? g / f : 0.0;
}
