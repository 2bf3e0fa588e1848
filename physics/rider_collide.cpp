#include "physics/rider_collide.h"

#include <cmath>

#include "physics/physics_constants.h"
#include "physics/tyre.h"

int rider_world_spheres(const rider* r, world_sphere out[rider_sphere_max])
{
    int n = 0;
    const wheel_contact* wheels[2] = {&r->front_contact, &r->rear_contact};
    for (int k = 0; k < 2; k++) {
        const dReal* p = dBodyGetPosition(wheels[k]->body);
        out[n++] = {wheels[k]->body, {p[0], p[1], p[2]},
                    (double)wheels[k]->tyre_radius + wheels[k]->tyre_section_radius, k == 0 ? 2 : 4};
    }
    contact_sphere local[rider_contact_sphere_max];
    int count = rider_contact_spheres(r, local, rider_contact_sphere_max);
    for (int i = 0; i < count && n < rider_sphere_max; i++) {
        dBodyID body = rider_body_at(r, local[i].body);
        dVector3 c;
        dBodyGetRelPointPos(body, local[i].centre[0], local[i].centre[1], local[i].centre[2], c);
        out[n++] = {body, {c[0], c[1], c[2]}, local[i].radius, 1};
    }
    return n;
}

int riders_collide(const ride_world& w, rider* a, rider* b, int mode)
{
    if (!a->frame_body || !b->frame_body || a == b)
        return 0;
    // Far apart: nothing to test.
    const dReal* pa = dBodyGetPosition(a->frame_body);
    const dReal* pb = dBodyGetPosition(b->frame_body);
    double dx = pa[0] - pb[0], dy = pa[1] - pb[1], dz = pa[2] - pb[2];
    if (dx * dx + dy * dy + dz * dz > 20.0 * 20.0)
        return 0;
    world_sphere sa[rider_sphere_max], sb[rider_sphere_max];
    int na = rider_world_spheres(a, sa), nb = rider_world_spheres(b, sb);
    double erp, cfm;
    spring_erp_cfm(phys::body_contact_spring, phys::body_contact_damping, phys::tic_seconds, &erp, &cfm);
    int touched = 0;
    for (int i = 0; i < na; i++) {
        for (int j = 0; j < nb; j++) {
            double d[3] = {sa[i].centre[0] - sb[j].centre[0], sa[i].centre[1] - sb[j].centre[1],
                           sa[i].centre[2] - sb[j].centre[2]};
            double dist = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            double depth = sa[i].radius + sb[j].radius - dist;
            if (!(depth > 0.0))
                continue;
            touched = 1;
            dContact c{};
            c.surface.mode = dContactApprox1 | dContactSoftERP | dContactSoftCFM;
            c.surface.mu = 0.3;
            c.surface.soft_erp = erp;
            c.surface.soft_cfm = cfm;
            // The normal points from b into a: the contact pushes a along it.
            double inv = dist > 1e-9 ? 1.0 / dist : 0.0;
            for (int k = 0; k < 3; k++) {
                c.geom.normal[k] = dist > 1e-9 ? d[k] * inv : (k == 1 ? 1.0 : 0.0);
                c.geom.pos[k] = sb[j].centre[k] + c.geom.normal[k] * (sb[j].radius - 0.5 * depth);
            }
            c.geom.depth = depth;
            dJointID joint = dJointCreateContact(w.world, w.group, &c);
            dJointAttach(joint, sa[i].body, mode == 1 ? nullptr : sb[j].body);
        }
    }
    if (touched) {
        a->is_down = 1;
        b->is_down = 1;
    }
    return touched;
}
