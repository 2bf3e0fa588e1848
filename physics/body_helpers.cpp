#include "physics/body_helpers.h"

#include <algorithm>
#include <cmath>

#include "physics/physics_constants.h"

double body_lean_angle(dBodyID body)
{
    const dReal* R = dBodyGetRotation(body);
    // The body's x axis in world space is the first column; its y part is R[4].
    return std::asin(std::clamp((double)R[4], -1.0, 1.0));
}

void body_pose_matrix(dBodyID body, float m[16])
{
    const dReal* R = dBodyGetRotation(body);
    const dReal* p = dBodyGetPosition(body);
    for (int col = 0; col < 3; col++) {
        for (int row = 0; row < 3; row++)
            m[col * 4 + row] = (float)R[row * 4 + col];
        m[col * 4 + 3] = 0.0f;
    }
    m[12] = (float)p[0], m[13] = (float)p[1], m[14] = (float)p[2], m[15] = 1.0f;
}

void body_pull_toward(dBodyID body, double strength, const float desired[3])
{
    const dReal* v = dBodyGetLinearVel(body);
    double dv[3] = {v[0] - desired[0], v[1] - desired[1], v[2] - desired[2]};
    double len2 = dv[0] * dv[0] + dv[1] * dv[1] + dv[2] * dv[2];
    if (len2 < 0.0625)
        return;
    double len = std::sqrt(len2);
    double scale = strength * std::clamp((len - 0.25) * 0.8, 0.0, 1.0) / len;
    dBodyAddForce(body, -dv[0] * scale, 0.0, -dv[2] * scale);
}

void tether_erp_cfm(double h, double* erp, double* cfm)
{
    *cfm = 1.0 / (phys::tether_damping + phys::tether_spring * h);
    *erp = phys::tether_spring * h * *cfm;
}

dContact soft_contact(int mode, double mu, double erp, double cfm, const double pos[3], const double normal[3],
                      double depth)
{
    dContact c{};
    c.surface.mode = mode;
    c.surface.mu = mu;
    c.surface.soft_erp = erp;
    c.surface.soft_cfm = cfm;
    for (int k = 0; k < 3; k++) {
        c.geom.pos[k] = pos[k];
        c.geom.normal[k] = normal[k];
    }
    c.geom.depth = depth;
    return c;
}

dJointID soft_contact_attach(dWorldID world, dJointGroupID group, const dContact& c, dBodyID a, dBodyID b)
{
    dJointID j = dJointCreateContact(world, group, &c);
    dJointAttach(j, a, b);
    return j;
}

int body_tether(dWorldID world, dJointGroupID group, dBodyID a, const double pa[3], dBodyID b,
                const double pb[3], double slack)
{
    double d[3] = {pb[0] - pa[0], pb[1] - pa[1], pb[2] - pa[2]};
    double dist = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (!(dist > slack) || !(dist > 0.0))
        return 0;
    double erp, cfm;
    tether_erp_cfm(phys::tic_seconds, &erp, &cfm);
    // A contact pushes body a along its normal: with the normal from a's
    // point toward b's, the depth (dist - slack) pulls the two together.
    double normal[3] = {d[0] / dist, d[1] / dist, d[2] / dist};
    soft_contact_attach(world, group,
                        soft_contact(dContactSoftERP | dContactSoftCFM, 0.0, erp, cfm, pa, normal, dist - slack), a, b);
    return 1;
}

void body_pair_torque(dBodyID a, dBodyID b, const double axis[3], double torque)
{
    dBodyAddTorque(a, axis[0] * torque, axis[1] * torque, axis[2] * torque);
    if (b)
        dBodyAddTorque(b, -axis[0] * torque, -axis[1] * torque, -axis[2] * torque);
}

void wheel_mass(dMass* m, double total_mass, double ring_fraction, double ring_radius, double hub_radius)
{
    double ring = total_mass * ring_fraction;
    double hub = total_mass - ring;
    // Hoop: I_axle = m r^2, I_diameter = m r^2 / 2. Disc: m r^2 / 2 and m r^2 / 4.
    double i_axle = ring * ring_radius * ring_radius + hub * hub_radius * hub_radius * 0.5;
    double i_diam = ring * ring_radius * ring_radius * 0.5 + hub * hub_radius * hub_radius * 0.25;
    dMassSetParameters(m, total_mass, 0.0, 0.0, 0.0, i_axle, i_diam, i_diam, 0.0, 0.0, 0.0);
}
