#pragma once
// Tyre forces: the surface's friction and rolling-resistance curves, the
// depth-dependent contact spring, and the one-tic ODE contact joint that
// holds and drives a wheel.
#include <cstdint>

#include <ode/ode.h>

#include "physics/wheel_contact.h"

// A friction key of this value ends a friction curve; a roll key of 0 ends a
// roll curve.
constexpr float friction_curve_end = 1048576.0f;

// Friction coefficient at sliding speed s by the surface's slip mode: modes
// 1 and 2 walk the keys with s, any other mode with s^2 and key^2.
float friction_walk(const float keys[8], const float values[8], int32_t mode, double s);

// Rolling resistance pair (r0, r1) at tangential speed w.
void roll_walk(const float keys[8], const float pairs[8][2], double w, double* r0, double* r1);

// Tyre spring and damper at depth ratio q (0..1), rounded to f32.
float tyre_spring(double q);
float tyre_damper(double q);

// ODE soft ERP and CFM of a spring kp with damper kd over step h.
void spring_erp_cfm(double kp, double kd, double h, double* erp, double* cfm);

// The sliding speed the friction curve reads for mode 2: the contact point's
// velocity without the wheel's own spin, along the slip direction.
double slip_speed_without_spin(dBodyID wheel, const double contact_point[3], const double slip[3]);

// Full search, contact record, contact joint (attached to the wheel and the
// world) and rolling resistance: 1 with a contact, 0 without (depth 0).
int wheel_tyre_contact(const ground_view& g, wheel_contact* w, float grip, dWorldID world, dJointGroupID group);
