#pragma once
// Small helpers on ODE bodies shared by the rider build, the physics tic and
// the drawing: lean, pose matrices, velocity servos, tethers and wheel masses.
#include <ode/ode.h>

// Signed lean of a body: asin(sideways axis . world up). 0 upright, positive
// leaning left (right side up), +-pi/2 lying on a side; pure pitch gives 0.
double body_lean_angle(dBodyID body);

// Column-major 4 x 4 matrix of the body's pose (rotation, then position), the
// form the GL layer multiplies onto its stack.
void body_pose_matrix(dBodyID body, float m[16]);

// A horizontal velocity servo toward the desired velocity: with
// dv = velocity - desired, nothing below |dv| = 0.25; otherwise the force
// (-dv.x, 0, -dv.z) * strength * clamp((|dv| - 0.25) * 0.8, 0, 1) / |dv|.
void body_pull_toward(dBodyID body, double strength, const float desired[3]);

// Tether: when the world points a (on body a) and b (on body b) are farther
// apart than slack, a one-tic soft contact joint (spring 5000, damper 500)
// pulls them together. b may be null for the static world. 1 when created.
int body_tether(dWorldID world, dJointGroupID group, dBodyID a, const double pa[3], dBodyID b,
                const double pb[3], double slack);

// ERP and CFM of the tether spring over step h.
void tether_erp_cfm(double h, double* erp, double* cfm);

// A one-tic soft contact as every contact of the tic is made: surface mode,
// friction, the soft ERP and CFM, and the point, unit normal and depth.
// Callers add anything more (friction direction) before creating the joint.
dContact soft_contact(int mode, double mu, double erp, double cfm, const double pos[3], const double normal[3],
                      double depth);
// Creates the contact joint in the group and attaches it to a and b (b may be
// null: the world).
dJointID soft_contact_attach(dWorldID world, dJointGroupID group, const dContact& c, dBodyID a, dBodyID b);

// A torque about a world axis: +torque on body a, -torque on body b.
void body_pair_torque(dBodyID a, dBodyID b, const double axis[3], double torque);

// Mass of a wheel: a hub (solid disc of radius hub_radius holding hub_mass)
// plus a tyre ring (thin hoop of radius ring_radius holding the rest), axle
// along the body's x axis, centred at the origin.
void wheel_mass(dMass* m, double total_mass, double ring_fraction, double ring_radius, double hub_radius);
