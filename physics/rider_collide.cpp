#include "physics/rider_collide.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "physics/bike_info.h"
#include "physics/body_helpers.h"
#include "physics/physics_constants.h"
#include "physics/rider_build.h"
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
    // Each rider's spheres lie within a ball round its frame: two balls
    // apart, no pair of spheres can meet (the margin covers rounding).
    auto reach = [](const dReal* centre, const world_sphere* s, int n) {
        double most = 0.0;
        for (int i = 0; i < n; i++) {
            double d[3] = {s[i].centre[0] - centre[0], s[i].centre[1] - centre[1], s[i].centre[2] - centre[2]};
            most = std::max(most, std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]) + s[i].radius);
        }
        return most;
    };
    double reach_b = reach(pb, sb, nb) + 1e-6;
    double apart = reach(pa, sa, na) + reach_b;
    if (dx * dx + dy * dy + dz * dz > apart * apart)
        return 0;
    double erp, cfm;
    spring_erp_cfm(phys::body_contact_spring, phys::body_contact_damping, phys::tic_seconds, &erp, &cfm);
    int touched = 0;
    for (int i = 0; i < na; i++) {
        double e[3] = {sa[i].centre[0] - pb[0], sa[i].centre[1] - pb[1], sa[i].centre[2] - pb[2]};
        double near = sa[i].radius + reach_b;
        if (e[0] * e[0] + e[1] * e[1] + e[2] * e[2] > near * near)
            continue;  // clear of b's ball
        for (int j = 0; j < nb; j++) {
            double d[3] = {sa[i].centre[0] - sb[j].centre[0], sa[i].centre[1] - sb[j].centre[1],
                           sa[i].centre[2] - sb[j].centre[2]};
            double dist = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            double depth = sa[i].radius + sb[j].radius - dist;
            if (!(depth > 0.0))
                continue;
            touched = 1;
            // The normal points from b into a: the contact pushes a along it.
            double inv = dist > 1e-9 ? 1.0 / dist : 0.0;
            double normal[3], pos[3];
            for (int k = 0; k < 3; k++) {
                normal[k] = dist > 1e-9 ? d[k] * inv : (k == 1 ? 1.0 : 0.0);
                pos[k] = sb[j].centre[k] + normal[k] * (sb[j].radius - 0.5 * depth);
            }
            soft_contact_attach(w.world, w.group,
                                soft_contact(dContactApprox1 | dContactSoftERP | dContactSoftCFM, 0.3, erp, cfm, pos,
                                             normal, depth),
                                sa[i].body, mode == 1 ? nullptr : sb[j].body);
        }
    }
    if (touched) {
        a->is_down = 1;
        b->is_down = 1;
    }
    return touched;
}

int rider_collide_object(const ride_world& w, rider* r, const collision_shape* object, const double position[3],
                         const double rotation[9], double scale)
{
    return rider_collide_object_parts(w, r, object, position, rotation, scale, 1 | 2 | 4);
}

int rider_collide_object_parts(const ride_world& w, rider* r, const collision_shape* object, const double position[3],
                               const double rotation[9], double scale, int parts)
{
    if (!r->frame_body || !object || object->count <= 0)
        return 0;
    // Bound test first: object bound against the rider's reach round its frame.
    const dReal* f = dBodyGetPosition(r->frame_body);
    double reach = object->radius * scale + 8.0;
    double dx = f[0] - position[0], dy = f[1] - position[1], dz = f[2] - position[2];
    if (dx * dx + dy * dy + dz * dz > reach * reach)
        return 0;
    world_sphere mine[rider_sphere_max];
    int n = rider_world_spheres(r, mine);
    double erp, cfm;
    spring_erp_cfm(phys::body_contact_spring, phys::body_contact_damping, phys::tic_seconds, &erp, &cfm);
    int bits = 0;
    for (int k = 0; k < object->count; k++) {
        const collision_sphere& os = object->spheres[k];
        double local[3] = {os.x * scale, os.y * scale, os.z * scale};
        double oc[3];
        for (int i = 0; i < 3; i++)
            oc[i] = position[i] + rotation[i * 3 + 0] * local[0] + rotation[i * 3 + 1] * local[1] +
                    rotation[i * 3 + 2] * local[2];
        double orad = os.radius * scale;
        for (int i = 0; i < n; i++) {
            if (!(mine[i].part & parts))
                continue;
            double d[3] = {mine[i].centre[0] - oc[0], mine[i].centre[1] - oc[1], mine[i].centre[2] - oc[2]};
            double dist = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            double depth = mine[i].radius + orad - dist;
            if (!(depth > 0.0))
                continue;
            bits |= mine[i].part;
            double normal[3], pos[3];
            for (int a = 0; a < 3; a++) {
                normal[a] = dist > 1e-9 ? d[a] / dist : (a == 1 ? 1.0 : 0.0);
                pos[a] = oc[a] + normal[a] * (orad - 0.5 * depth);
            }
            soft_contact_attach(w.world, w.group,
                                soft_contact(dContactApprox1 | dContactSoftERP | dContactSoftCFM, 0.5 * os.extra[0], erp,
                                             cfm, pos, normal, depth),
                                mine[i].body, nullptr);
        }
    }
    if (bits)
        r->is_down = 1;
    return bits;
}

namespace {

// The grips (on the upper fork) and the pegs (on the frame) in world space.
void riding_targets(const rider* r, float out[4][3])
{
    const bike_info& row = bike_info_table()[r->bike_index];
    const bike_main_values& m = row.main;
    double fc[3];
    rider_rest_centre(r, 0, fc);
    for (int side = 0; side < 2; side++) {
        dVector3 grip, peg;
        dBodyGetRelPointPos(r->fork_upper_body, m.grip[side][0], m.grip[side][1], m.grip[side][2], grip);
        // Pegs: below the hips, a thigh and a shin down from the seat.
        double px = m.hip[side][0] * 1.3, py = m.rider_centre[1] + m.hip[side][1] - m.leg_lengths[0] - fc[1];
        double pz = m.rider_centre[2] - 0.2 * m.leg_lengths[1] - fc[2];
        dBodyGetRelPointPos(r->frame_body, px, py, pz, peg);
        for (int k = 0; k < 3; k++) {
            out[side][k] = (float)grip[k];
            out[2 + side][k] = (float)peg[k];
        }
    }
}

}  // namespace

void rider_freeze_target_points(rider* r)
{
    if (!r->frame_body)
        return;
    riding_targets(r, ride_state_of(r)->target_points);
}

float rider_target_points(const rider* r, float out[4][3])
{
    const bike_info& row = bike_info_table()[r->bike_index];
    const ride_state* s = ride_state_of(r);
    float riding[4][3];
    riding_targets(r, riding);
    if (r->crash_tics <= 0) {
        memcpy(out, riding, sizeof riding);
        return row.tuning.hand_bend;
    }
    // Crashed: limp where the crash left them, easing back to the bars over
    // the last quarter of the count.
    float back = (float)std::clamp(1.0 - r->crash_tics / 128.0, 0.0, 1.0);
    for (int i = 0; i < 4; i++)
        for (int k = 0; k < 3; k++)
            out[i][k] = s->target_points[i][k] + back * (riding[i][k] - s->target_points[i][k]);
    return 1.0f + back * (row.tuning.hand_bend - 1.0f);
}
