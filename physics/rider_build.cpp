#include "physics/rider_build.h"

#include <cmath>
#include <cstring>

#include "physics/bike_info.h"
#include "physics/body_helpers.h"
#include "physics/physics_constants.h"
#include "physics/physics_ground.h"
#include "physics/physics_tic.h"
#include "physics/rider_access.h"

namespace {

const bike_main_values& row_main(const rider* r)
{
    return bike_info_table()[r->bike_index].main;
}

// The share of a wheel's mass in the tyre and rim ring; the rest is the hub.
constexpr double wheel_ring_share = 0.65;

void set_box(dBodyID b, double mass, double x, double y, double z)
{
    dMass m;
    dMassSetBoxTotal(&m, mass, x, y, z);
    dBodySetMass(b, &m);
}

double distance(const float a[3], const float b[3])
{
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

}  // namespace

void rider_bodies(const rider* r, dBodyID out[7])
{
    out[0] = r->frame_body;
    out[1] = r->front_wheel_body;
    out[2] = r->rear_wheel_body;
    out[3] = r->fork_upper_body;
    out[4] = r->fork_lower_body;
    out[5] = r->swingarm_body;
    out[6] = r->rider_body;
}

void rider_joints(const rider* r, dJointID out[6])
{
    out[0] = r->front_axle_joint;
    out[1] = r->rear_axle_joint;
    out[2] = r->steering_joint;
    out[3] = r->fork_joint;
    out[4] = r->swingarm_joint;
    out[5] = r->rider_joint;
}

void rider_rest_centre(const rider* r, int i, double out[3])
{
    const bike_main_values& m = row_main(r);
    const float* c[7] = {m.frame_centre, m.front_axle, m.rear_axle, m.fork_upper_centre,
                         m.fork_lower_centre, m.swingarm_centre, m.rider_centre};
    for (int k = 0; k < 3; k++)
        out[k] = c[i][k];
}

int rider_build(rider* r, dWorldID world)
{
    if (r->frame_body)
        return 0;
    const bike_main_values& m = row_main(r);
    dBodyID* slots[7] = {&r->frame_body, &r->front_wheel_body, &r->rear_wheel_body, &r->fork_upper_body,
                         &r->fork_lower_body, &r->swingarm_body, &r->rider_body};
    for (int i = 0; i < 7; i++) {
        *slots[i] = dBodyCreate(world);
        double c[3];
        rider_rest_centre(r, i, c);
        dBodySetPosition(*slots[i], c[0], c[1], c[2]);
    }

    // Masses. The frame and the rider body share the rider's mass by the
    // rider's mass distribution (set again whenever that setting changes).
    rider_set_mass_distribution(r, r->mass_distribution > 0.0f ? r->mass_distribution : 0.33f);
    dMass wm;
    wheel_mass(&wm, m.front_wheel_mass, wheel_ring_share, m.front_tyre_radius, 0.25 * m.front_tyre_radius);
    dBodySetMass(r->front_wheel_body, &wm);
    wheel_mass(&wm, m.rear_wheel_mass, wheel_ring_share, m.rear_tyre_radius, 0.25 * m.rear_tyre_radius);
    dBodySetMass(r->rear_wheel_body, &wm);
    // The wheels turn up to a radian a tic: ODE's default small-angle update
    // would lose a few percent of every turn (and the clutch, comparing the
    // axle's angle with its rate, would see a slip that isn't there).
    dBodySetFiniteRotationMode(r->front_wheel_body, 1);
    dBodySetFiniteRotationMode(r->rear_wheel_body, 1);
    double fork_length = 2.0 * distance(m.fork_lower_centre, m.front_axle);
    set_box(r->fork_upper_body, m.fork_upper_mass, 0.7 * m.front_tyre_radius, 0.5 * fork_length,
            0.3 * m.front_tyre_radius);
    set_box(r->fork_lower_body, m.fork_lower_mass, 0.6 * m.front_tyre_radius, fork_length,
            0.2 * m.front_tyre_radius);
    double arm = distance(m.swingarm_pivot, m.rear_axle);
    set_box(r->swingarm_body, m.swingarm_mass, 0.5 * m.rear_tyre_radius, 0.25 * m.rear_tyre_radius, arm);

    // Joints, made in the rest pose so that every angle and position is 0.
    double u[3] = {m.steer_upper[0] - m.steer_lower[0], m.steer_upper[1] - m.steer_lower[1],
                   m.steer_upper[2] - m.steer_lower[2]};
    double ul = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    for (double& x : u)
        x /= ul;

    r->front_axle_joint = dJointCreateHinge(world, nullptr);
    dJointAttach(r->front_axle_joint, r->fork_lower_body, r->front_wheel_body);
    dJointSetHingeAnchor(r->front_axle_joint, m.front_axle[0], m.front_axle[1], m.front_axle[2]);
    dJointSetHingeAxis(r->front_axle_joint, 1, 0, 0);

    r->rear_axle_joint = dJointCreateHinge(world, nullptr);
    dJointAttach(r->rear_axle_joint, r->swingarm_body, r->rear_wheel_body);
    dJointSetHingeAnchor(r->rear_axle_joint, m.rear_axle[0], m.rear_axle[1], m.rear_axle[2]);
    dJointSetHingeAxis(r->rear_axle_joint, 1, 0, 0);

    r->steering_joint = dJointCreateHinge(world, nullptr);
    dJointAttach(r->steering_joint, r->fork_upper_body, r->frame_body);
    dJointSetHingeAnchor(r->steering_joint, m.steer_lower[0], m.steer_lower[1], m.steer_lower[2]);
    dJointSetHingeAxis(r->steering_joint, u[0], u[1], u[2]);
    dJointSetHingeParam(r->steering_joint, dParamLoStop, -phys::pi / 4);
    dJointSetHingeParam(r->steering_joint, dParamHiStop, phys::pi / 4);

    r->fork_joint = dJointCreateSlider(world, nullptr);
    dJointAttach(r->fork_joint, r->fork_upper_body, r->fork_lower_body);
    dJointSetSliderAxis(r->fork_joint, u[0], u[1], u[2]);
    dJointSetSliderParam(r->fork_joint, dParamLoStop, -m.fork_travel);
    dJointSetSliderParam(r->fork_joint, dParamHiStop, 0.0);
    dJointSetSliderParam(r->fork_joint, dParamBounce, 0.0);

    r->swingarm_joint = dJointCreateHinge(world, nullptr);
    dJointAttach(r->swingarm_joint, r->swingarm_body, r->frame_body);
    dJointSetHingeAnchor(r->swingarm_joint, m.swingarm_pivot[0], m.swingarm_pivot[1], m.swingarm_pivot[2]);
    dJointSetHingeAxis(r->swingarm_joint, 1, 0, 0);
    dJointSetHingeParam(r->swingarm_joint, dParamLoStop, -m.swingarm_travel);
    dJointSetHingeParam(r->swingarm_joint, dParamHiStop, 0.0);
    dJointSetHingeParam(r->swingarm_joint, dParamBounce, 0.0);

    // The rider's hinge-2: axis 1 up (its suspension lets the body ride up
    // and down), axis 2 sideways. Axis 1 is held by its stops; ODE has no
    // stops on axis 2, so the physics tic holds it with a motor servo.
    r->rider_joint = dJointCreateHinge2(world, nullptr);
    dJointAttach(r->rider_joint, r->rider_body, r->frame_body);
    dJointSetHinge2Anchor(r->rider_joint, m.rider_centre[0], m.rider_centre[1], m.rider_centre[2]);
    const dReal axis1[3] = {0, 1, 0}, axis2[3] = {1, 0, 0};
    dJointSetHinge2Axes(r->rider_joint, axis1, axis2);
    dJointSetHinge2Param(r->rider_joint, dParamLoStop, 0.0);
    dJointSetHinge2Param(r->rider_joint, dParamHiStop, 0.0);

    dJointID joints[6];
    rider_joints(r, joints);
    for (int i = 0; i < 6; i++) {
        memset(&r->joint_feedback[i], 0, sizeof r->joint_feedback[i]);
        dJointSetFeedback(joints[i], &r->joint_feedback[i]);
    }

    wheel_contact* wheels[2] = {&r->front_contact, &r->rear_contact};
    for (int w = 0; w < 2; w++) {
        memset(wheels[w], 0, sizeof *wheels[w]);
        wheels[w]->body = w == 0 ? r->front_wheel_body : r->rear_wheel_body;
        wheels[w]->axis[0] = 1.0f;
        wheels[w]->tyre_radius = w == 0 ? m.front_tyre_radius : m.rear_tyre_radius;
        wheels[w]->tyre_section_radius = w == 0 ? m.front_tyre_section : m.rear_tyre_section;
    }

    dBodyID bodies[7];
    rider_bodies(r, bodies);
    double total = 0.0;
    for (dBodyID b : bodies) {
        dMass bm;
        dBodyGetMass(b, &bm);
        total += bm.mass;
    }
    r->total_mass = (float)total;
    ride_state_reset(r);
    return 1;
}

void rider_reset_pose(rider* r)
{
    if (!r->frame_body)
        return;
    dBodyID bodies[7];
    rider_bodies(r, bodies);
    dMatrix3 identity;
    dRSetIdentity(identity);
    for (int i = 0; i < 7; i++) {
        double c[3];
        rider_rest_centre(r, i, c);
        dBodySetPosition(bodies[i], c[0], c[1], c[2]);
        dBodySetRotation(bodies[i], identity);
        dBodySetLinearVel(bodies[i], 0, 0, 0);
        dBodySetAngularVel(bodies[i], 0, 0, 0);
        dBodySetForce(bodies[i], 0, 0, 0);
        dBodySetTorque(bodies[i], 0, 0, 0);
    }
    r->engine_speed = 0.0f;
    r->engine_angle = 0.0f;
    r->front_contact.depth = 0.0f;
    r->rear_contact.depth = 0.0f;
    // A rider put back to the rest pose sits on the bike again: a crash ends
    // and the rider's joint is made anew in the rest pose.
    r->crash_tics = 0;
    const bike_main_values& m = row_main(r);
    dJointAttach(r->rider_joint, r->rider_body, r->frame_body);
    dJointSetHinge2Anchor(r->rider_joint, m.rider_centre[0], m.rider_centre[1], m.rider_centre[2]);
    const dReal axis1[3] = {0, 1, 0}, axis2[3] = {1, 0, 0};
    dJointSetHinge2Axes(r->rider_joint, axis1, axis2);
    for (dJointFeedback& f : r->joint_feedback)
        memset(&f, 0, sizeof f);
    ride_state_reset(r);
    rider_ruts_reset(r);
}

void rider_translate(rider* r, double x, double y, double z)
{
    if (!r->frame_body)
        return;
    dBodyID bodies[7];
    rider_bodies(r, bodies);
    for (dBodyID b : bodies) {
        const dReal* p = dBodyGetPosition(b);
        dBodySetPosition(b, p[0] + x, p[1] + y, p[2] + z);
    }
}

void rider_set_orientation(rider* r, double ax, double ay, double az, double angle)
{
    if (!r->frame_body)
        return;
    dMatrix3 R;
    dRFromAxisAndAngle(R, ax, ay, az, angle);
    dBodyID bodies[7];
    rider_bodies(r, bodies);
    for (dBodyID b : bodies) {
        const dReal* p = dBodyGetPosition(b);
        double q[3];
        for (int k = 0; k < 3; k++)
            q[k] = R[k * 4 + 0] * p[0] + R[k * 4 + 1] * p[1] + R[k * 4 + 2] * p[2];
        dBodySetRotation(b, R);
        dBodySetPosition(b, q[0], q[1], q[2]);
    }
}
