#include "physics/tyre.h"

#include <algorithm>
#include <cmath>

#include "physics/body_helpers.h"
#include "physics/physics_constants.h"

float friction_walk(const float keys[8], const float values[8], int32_t mode, double s)
{
    bool squared = mode != 1 && mode != 2;
    auto key = [&](int k) { return squared ? (double)keys[k] * keys[k] : (double)keys[k]; };
    double x = squared ? s * s : s;
    if (keys[0] == friction_curve_end || x < key(0))
        return values[0];
    for (int k = 1; k < 8; k++) {
        if (keys[k] == friction_curve_end)
            return values[k - 1];
        if (key(k) > x) {
            double t = std::clamp((x - key(k - 1)) / (key(k) - key(k - 1)), 0.0, 1.0);
            return (float)(values[k - 1] + t * (values[k] - values[k - 1]));
        }
    }
    return values[7];
}

void roll_walk(const float keys[8], const float pairs[8][2], double w, double* r0, double* r1)
{
    if (keys[0] == 0.0f || w < keys[0]) {
        *r0 = pairs[0][0], *r1 = pairs[0][1];
        return;
    }
    for (int k = 1; k < 8; k++) {
        if (keys[k] == 0.0f) {
            *r0 = pairs[k - 1][0], *r1 = pairs[k - 1][1];
            return;
        }
        if (keys[k] > w) {
            double t = std::clamp((w - keys[k - 1]) / ((double)keys[k] - keys[k - 1]), 0.0, 1.0);
            *r0 = pairs[k - 1][0] + t * (pairs[k][0] - pairs[k - 1][0]);
            *r1 = pairs[k - 1][1] + t * (pairs[k][1] - pairs[k - 1][1]);
            return;
        }
    }
    *r0 = pairs[7][0], *r1 = pairs[7][1];
}

float tyre_spring(double q)
{
    return (float)(phys::tyre_kp_cubic * q * q * q + phys::tyre_kp_base);
}

float tyre_damper(double q)
{
    return (float)(phys::tyre_kd_cubic * q * q * q + phys::tyre_kd_base);
}

void spring_erp_cfm(double kp, double kd, double h, double* erp, double* cfm)
{
    *cfm = 1.0 / (h * kp + kd);
    *erp = h * kp * *cfm;
}

double slip_speed_without_spin(dBodyID wheel, const double contact_point[3], const double slip[3])
{
    double s = std::sqrt(slip[0] * slip[0] + slip[1] * slip[1] + slip[2] * slip[2]);
    if (s < 0.0625)
        return s;
    const dReal* w = dBodyGetAngularVel(wheel);
    const dReal* R = dBodyGetRotation(wheel);
    const dReal* c = dBodyGetPosition(wheel);
    const dReal* v = dBodyGetLinearVel(wheel);
    double e[3] = {R[0], R[4], R[8]};  // the body's first axis in world space
    double we = w[0] * e[0] + w[1] * e[1] + w[2] * e[2];
    double wp[3] = {w[0] - we * e[0], w[1] - we * e[1], w[2] - we * e[2]};
    double r[3] = {contact_point[0] - c[0], contact_point[1] - c[1], contact_point[2] - c[2]};
    double u[3] = {v[0] + wp[1] * r[2] - wp[2] * r[1], v[1] + wp[2] * r[0] - wp[0] * r[2],
                   v[2] + wp[0] * r[1] - wp[1] * r[0]};
    double sp = (u[0] * slip[0] + u[1] * slip[1] + u[2] * slip[2]) / s;
    return std::clamp(sp, -s, s);
}

int wheel_tyre_contact(const ground_view& g, wheel_contact* w, float grip, dWorldID world, dJointGroupID group)
{
    double point[3], normal[3], depth;
    if (!wheel_contact_search(g, *w, point, normal, &depth)) {
        w->depth = 0.0f;
        return 0;
    }
    double slip[3];
    wheel_contact_store(w, point, normal, depth, slip);

    int32_t tile = ground_tile_at(g, point[0], point[2]);
    int32_t mode = g.slip_function ? g.slip_function[tile] : 0;
    double s = std::sqrt(slip[0] * slip[0] + slip[1] * slip[1] + slip[2] * slip[2]);
    if (mode == 2)
        s = slip_speed_without_spin(w->body, point, slip);
    float mu = g.friction_keys ? friction_walk(g.friction_keys[tile], g.friction_values[tile], mode, s) : 1.0f;

    // A section of no size would make the ratio infinite: treat it as flat.
    double q = w->tyre_section_radius > 0.0f ? std::min(depth / w->tyre_section_radius, 1.0) : 1.0;
    double kp = tyre_spring(q), kd = tyre_damper(q);
    double erp, cfm;
    spring_erp_cfm(kp, kd, phys::tic_seconds, &erp, &cfm);
    dContact c = soft_contact(dContactApprox1_1 | dContactApprox1_2 | dContactSoftERP | dContactSoftCFM,
                              (dReal)mu * grip, erp, cfm, point, normal, depth);
    // Friction along the slip across the normal, else along the axle's cross.
    double f[3] = {normal[1] * slip[2] - normal[2] * slip[1], normal[2] * slip[0] - normal[0] * slip[2],
                   normal[0] * slip[1] - normal[1] * slip[0]};
    double f2 = f[0] * f[0] + f[1] * f[1] + f[2] * f[2];
    if (f2 < 1.0 / 1024.0) {
        dVector3 a;
        dBodyVectorToWorld(w->body, w->axis[0], w->axis[1], w->axis[2], a);
        f[0] = normal[1] * a[2] - normal[2] * a[1];
        f[1] = normal[2] * a[0] - normal[0] * a[2];
        f[2] = normal[0] * a[1] - normal[1] * a[0];
        f2 = f[0] * f[0] + f[1] * f[1] + f[2] * f[2];
    }
    if (f2 > 0.0) {
        double inv = 1.0 / std::sqrt(f2);
        for (int k = 0; k < 3; k++)
            c.fdir1[k] = f[k] * inv;
        c.surface.mode |= dContactFDir1;
    }
    dJointID j = soft_contact_attach(world, group, c, w->body, nullptr);
    dJointSetFeedback(j, &w->feedback);

    // Rolling resistance against the tangential motion.
    const dReal* v = dBodyGetLinearVel(w->body);
    double vn = v[0] * normal[0] + v[1] * normal[1] + v[2] * normal[2];
    double vt[3] = {v[0] - vn * normal[0], v[1] - vn * normal[1], v[2] - vn * normal[2]};
    double speed = std::sqrt(vt[0] * vt[0] + vt[1] * vt[1] + vt[2] * vt[2]);
    double r0 = 0.0, r1 = 0.0;
    if (g.roll_keys)
        roll_walk(g.roll_keys[tile], g.roll_pairs[tile], speed, &r0, &r1);
    double magnitude = r0 + q * (r1 - r0);
    if (speed > 1.0)
        for (double& x : vt)
            x /= speed;
    dBodyAddForce(w->body, -magnitude * vt[0], -magnitude * vt[1], -magnitude * vt[2]);
    return 1;
}
