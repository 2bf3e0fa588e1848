// Rider state records against a live rider: packing from the bodies and
// joints, rebuilding the seven poses from a record, showing a history-driven
// rider and pulling a simulated one toward its record.
#include "physics/rider_state.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <ode/ode.h>

#include "core/game_state.h"
#include "physics/bike_info.h"
#include "physics/physics_constants.h"
#include "physics/physics_tic.h"
#include "physics/rider.h"
#include "physics/rider_build.h"
#include "physics/rider_collide.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"

namespace {

constexpr double tic = phys::tic_seconds;
constexpr double rad_s_per_rpm = 1.0 / phys::rpm_per_rad_s;
// Beyond anything a bike does: 270 mph, and a wheel at that speed spins
// about 350 rad/s.
constexpr double max_shown_speed = 400.0;  // ft/s
constexpr double max_shown_spin = 500.0;   // rad/s
// The rider joint's springs keep the rider body within half a foot of it.
constexpr double max_rider_joint_gap = 1.0;  // ft

// Body indices in record order.
enum { body_frame, body_front_wheel, body_rear_wheel, body_fork_upper, body_fork_lower, body_swingarm, body_rider };

struct pose {
    double p[3];
    dQuaternion q;
};

const bike_main_values& row_main(const rider* r) { return bike_info_table()[r->bike_index].main; }

rider_state_scales scales_of(const rider* r, const rider_state_ground& g)
{
    const bike_main_values& m = row_main(r);
    return {g.extent, g.height_min, m.swingarm_travel, m.fork_travel};
}

void normalise_quat(const double in[4], dQuaternion out)
{
    double n = std::sqrt(in[0] * in[0] + in[1] * in[1] + in[2] * in[2] + in[3] * in[3]);
    if (!(n > 1e-9)) {
        // Only a hostile record holds a zero quaternion: show it upright.
        out[0] = 1.0, out[1] = out[2] = out[3] = 0.0;
        return;
    }
    for (int i = 0; i < 4; i++) out[i] = in[i] / n;
}

void rotate(const dQuaternion q, const double v[3], double out[3])
{
    dMatrix3 R;
    dRfromQ(R, q);
    for (int k = 0; k < 3; k++) out[k] = R[4 * k] * v[0] + R[4 * k + 1] * v[1] + R[4 * k + 2] * v[2];
}

// A point given in a body's rest frame (relative to its rest centre),
// carried into the world by the body's pose.
void carry(const pose& b, const double v[3], double out[3])
{
    rotate(b.q, v, out);
    for (int k = 0; k < 3; k++) out[k] += b.p[k];
}

void diff(const float a[3], const float b[3], double out[3])
{
    for (int k = 0; k < 3; k++) out[k] = double(a[k]) - double(b[k]);
}

// The rotation vector (axis times angle, the shorter way) that turns a into b
// in world coordinates.
void rotation_between(const dQuaternion a, const dQuaternion b, double out[3])
{
    dQuaternion ca = {a[0], -a[1], -a[2], -a[3]}, d;
    dQMultiply0(d, b, ca);
    if (d[0] < 0.0)
        for (int i = 0; i < 4; i++) d[i] = -d[i];
    double s = std::sqrt(d[1] * d[1] + d[2] * d[2] + d[3] * d[3]);
    double k = s > 1e-12 ? 2.0 * std::atan2(s, d[0]) / s : 2.0;
    for (int i = 0; i < 3; i++) out[i] = d[i + 1] * k;
}

void steering_axis(const bike_main_values& m, double u[3])
{
    diff(m.steer_upper, m.steer_lower, u);
    double n = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    for (int k = 0; k < 3; k++) u[k] = n > 0.0 ? u[k] / n : (k == 1 ? 1.0 : 0.0);
}

// A body hinged to the frame, turned by angle about the axis (frame axes)
// through the anchor; anchor and centre are rest points of the row.
void hinged_pose(const pose& frame, const float frame_centre[3], const double axis[3], double angle,
                 const float anchor[3], const float centre[3], pose& out)
{
    dQuaternion turn;
    dQFromAxisAndAngle(turn, axis[0], axis[1], axis[2], angle);
    dQMultiply0(out.q, frame.q, turn);
    double t[3], w[3];
    diff(centre, anchor, t);
    rotate(turn, t, w);
    diff(anchor, frame_centre, t);
    for (int k = 0; k < 3; k++) w[k] += t[k];
    carry(frame, w, out.p);
}

// A wheel on its holder's axle. The axle hinges are (holder, wheel), so the
// wheel turns by minus the hinge angle relative to its holder.
void wheel_pose(const pose& holder, const float holder_centre[3], const float axle[3], double angle, pose& out)
{
    double t[3];
    diff(axle, holder_centre, t);
    carry(holder, t, out.p);
    dQuaternion turn;
    dQFromAxisAndAngle(turn, 1, 0, 0, -angle);
    dQMultiply0(out.q, holder.q, turn);
}

// The seven poses a record stands for. The joints turn about their own
// anchors, so the poses are right wherever the row's rest centres lie.
void poses_from_values(const rider* r, const rider_state_values& v, int version, pose out[7])
{
    const bike_main_values& m = row_main(r);
    double u[3], t[3];
    steering_axis(m, u);

    pose& frame = out[body_frame];
    std::memcpy(frame.p, v.frame_position, sizeof frame.p);
    normalise_quat(v.frame_quaternion, frame.q);

    // Upper fork and swingarm: turned about their hinges.
    hinged_pose(frame, m.frame_centre, u, v.steering_angle, m.steer_lower, m.fork_upper_centre, out[body_fork_upper]);
    const double x_axis[3] = {1.0, 0.0, 0.0};
    hinged_pose(frame, m.frame_centre, x_axis, v.swingarm_angle, m.swingarm_pivot, m.swingarm_centre,
                out[body_swingarm]);
    const pose& upper = out[body_fork_upper];
    const pose& arm = out[body_swingarm];

    // Lower fork: slid along the steering axis; a compressed fork (negative
    // position) rides up toward the upper fork.
    pose& lower = out[body_fork_lower];
    std::memcpy(lower.q, upper.q, sizeof lower.q);
    diff(m.fork_lower_centre, m.fork_upper_centre, t);
    for (int k = 0; k < 3; k++) t[k] -= v.fork_position * u[k];
    carry(upper, t, lower.p);

    pose& body = out[body_rider];
    if (version == 5) {
        for (int k = 0; k < 3; k++) body.p[k] = frame.p[k] + v.rider_offset[k];
        normalise_quat(v.rider_quaternion, body.q);
    } else {
        std::memcpy(body.q, frame.q, sizeof body.q);
        double d = m.rider_limits[0] + (m.rider_limits[1] - m.rider_limits[0]) * v.rider_lean;
        diff(m.rider_centre, m.frame_centre, t);
        for (int k = 0; k < 3; k++) t[k] += m.rider_direction[k] * d;
        carry(frame, t, body.p);
    }

    wheel_pose(lower, m.fork_lower_centre, m.front_axle, v.front_wheel_angle, out[body_front_wheel]);
    wheel_pose(arm, m.swingarm_centre, m.rear_axle, v.rear_wheel_angle, out[body_rear_wheel]);
}

void set_poses(const rider* r, const pose poses[7])
{
    dBodyID bodies[7];
    rider_bodies(r, bodies);
    for (int i = 0; i < 7; i++) {
        dBodySetPosition(bodies[i], poses[i].p[0], poses[i].p[1], poses[i].p[2]);
        dBodySetQuaternion(bodies[i], poses[i].q);
    }
}

// The rider joint back between the rider body and the frame where the rider
// body is now (the physics tic's own reattach moves the body to the seat;
// here the record has just placed it).
void rider_joint_attach_in_place(rider* r)
{
    const dReal* p = dBodyGetPosition(r->rider_body);
    dJointAttach(r->rider_joint, r->rider_body, r->frame_body);
    dJointSetHinge2Anchor(r->rider_joint, p[0], p[1], p[2]);
    dVector3 up, side;
    dBodyVectorToWorld(r->frame_body, 0, 1, 0, up);
    dBodyVectorToWorld(r->frame_body, 1, 0, 0, side);
    dJointSetHinge2Axes(r->rider_joint, up, side);
    std::memset(&r->joint_feedback[5], 0, sizeof r->joint_feedback[5]);
}

void rider_joint_detach(rider* r)
{
    dJointAttach(r->rider_joint, nullptr, nullptr);
}

// How far apart the rider joint's two anchors lie: 0 where the joint holds
// the rider body, large when a pose put the body somewhere else.
double rider_joint_gap(const rider* r)
{
    if (!dJointGetBody(r->rider_joint, 0)) return 0.0;
    dVector3 a, b;
    dJointGetHinge2Anchor(r->rider_joint, a);
    dJointGetHinge2Anchor2(r->rider_joint, b);
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

// The drive byte's riding values (shared by unpacking and following). A
// riding record whose rider body lies further from the joint than its
// springs ever carry it (a damaged or hostile record) would have the solver
// snap it back with unbounded force: the joint is taken where the body is,
// as after a crash.
void take_riding_drive(rider* r, const rider_state_drive& d)
{
    if (r->crash_tics != 0 || rider_joint_gap(r) > max_rider_joint_gap) rider_joint_attach_in_place(r);
    r->crash_tics = 0;
    r->gear = rider_state_unpack_gear(d.gear, row_main(r).gear_ratio);
    r->throttle = d.throttle;
}

int decode(const rider* r, const rider_state_record& rec, int version, const rider_state_ground& g,
           rider_state_values* v)
{
    return rider_state_decode(rec.bytes, version, scales_of(r, g), v);
}

void cap_length(double v[3], double cap)
{
    double l2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
    if (l2 > cap * cap) {
        double s = cap / std::sqrt(l2);
        for (int k = 0; k < 3; k++) v[k] *= s;
    }
}

} // namespace

namespace {
float track_height_at(float x, float z) { return terrain_height_at(&track_terrain, x, z); }
} // namespace

rider_state_ground rider_state_track_ground()
{
    return {track_terrain.extent, track_terrain.height_min, track_height_at};
}

void rider_state_pack(const rider* r, const rider_state_ground& g, rider_state_record* out)
{
    rider_state_values v{};
    if (!r->frame_body) {
        // Nothing built yet: a rider at the origin, at rest.
        v.frame_quaternion[0] = v.rider_quaternion[0] = 1.0;
        rider_state_encode(v, {g.extent, g.height_min, 0.0f, 0.0f}, out);
        return;
    }
    const dReal* fp = dBodyGetPosition(r->frame_body);
    const dReal* fq = dBodyGetQuaternion(r->frame_body);
    const dReal* bp = dBodyGetPosition(r->rider_body);
    const dReal* bq = dBodyGetQuaternion(r->rider_body);
    for (int k = 0; k < 3; k++) {
        v.frame_position[k] = fp[k];
        v.rider_offset[k] = bp[k] - fp[k];
    }
    for (int k = 0; k < 4; k++) {
        v.frame_quaternion[k] = fq[k];
        v.rider_quaternion[k] = bq[k];
    }
    v.steering_angle = dJointGetHingeAngle(r->steering_joint);
    v.swingarm_angle = dJointGetHingeAngle(r->swingarm_joint);
    v.fork_position = dJointGetSliderPosition(r->fork_joint);
    v.front_wheel_angle = dJointGetHingeAngle(r->front_axle_joint);
    v.rear_wheel_angle = dJointGetHingeAngle(r->rear_axle_joint);
    v.drive.crashed = r->crash_tics > 0;
    v.drive.crash_tics = r->crash_tics;
    v.drive.gear = r->gear;
    v.drive.dab = r->dab_effective > 0.0f;
    v.drive.throttle = r->throttle;
    v.engine_rpm = r->engine_speed * phys::rpm_per_rad_s;
    rider_state_encode(v, scales_of(r, g), out);
}

int rider_state_unpack(rider* r, const rider_state_record& rec, int version, const rider_state_ground& g)
{
    rider_state_values v;
    if (!r->frame_body || !decode(r, rec, version, g, &v)) return 0;
    pose poses[7];
    poses_from_values(r, v, version, poses);
    set_poses(r, poses);
    if (v.drive.crashed) {
        rider_joint_detach(r);
        r->crash_tics = v.drive.crash_tics;
        r->throttle = 0.0f;
    } else {
        take_riding_drive(r, v.drive);
    }
    r->engine_speed = float(v.engine_rpm * rad_s_per_rpm);
    return 1;
}

int rider_state_apply(rider* r, const rider_state_ground& g, const rider_state_record& shown,
                      const rider_state_record& older, const rider_state_record& newer, int tics, int version)
{
    if (!r->frame_body || rider_state_record_size(version) == 0) return 0;
    if (r->crash_blend > 0.25f) return rider_state_follow(r, g, shown, older, newer, tics, version);

    // Velocities carry each body from the older to the newer pose over the
    // span; both linear and angular are per second.
    rider_state_values vs, vo, vn;
    decode(r, shown, version, g, &vs);
    decode(r, older, version, g, &vo);
    decode(r, newer, version, g, &vn);
    pose po[7], pn[7];
    poses_from_values(r, vo, version, po);
    poses_from_values(r, vn, version, pn);
    double span = double(std::max(tics, 1)) * tic;

    int was_riding = r->crash_tics <= 0;
    rider_state_unpack(r, shown, version, g);
    // Just down: the limbs hold on where the record shows the crash.
    if (was_riding && r->crash_tics > 0) rider_freeze_target_points(r);
    dBodyID bodies[7];
    rider_bodies(r, bodies);
    for (int i = 0; i < 7; i++) {
        double v[3], w[3];
        rotation_between(po[i].q, pn[i].q, w);
        for (int k = 0; k < 3; k++) {
            v[k] = (pn[i].p[k] - po[i].p[k]) / span;
            w[k] /= span;
        }
        // Records a tic apart that lie far apart (a damaged or hostile
        // stream) would hand the solver speeds it cannot take.
        cap_length(v, max_shown_speed);
        cap_length(w, max_shown_spin);
        dBodySetLinearVel(bodies[i], v[0], v[1], v[2]);
        dBodySetAngularVel(bodies[i], w[0], w[1], w[2]);
    }

    // The rear wheel kept out of the ground: the point a wheel radius
    // (axle to the middle of the tyre section) straight down in the frame's
    // axes stays on or above it. A tyre pressed into the ground by less than
    // its section, as a loaded tyre is, is left as recorded.
    if (g.height_at) {
        const bike_main_values& m = row_main(r);
        dVector3 down;
        dBodyVectorToWorld(r->frame_body, 0, -m.rear_tyre_radius, 0, down);
        const dReal* c = dBodyGetPosition(r->rear_wheel_body);
        double low[3] = {c[0] + down[0], c[1] + down[1], c[2] + down[2]};
        double ground = g.height_at(float(low[0]), float(low[2]));
        if (ground > low[1]) rider_translate(r, 0.0, ground - low[1], 0.0);
    }

    // A rider down or with a foot down shows the foot coming out.
    if (vs.drive.crashed || vs.drive.dab) {
        ride_state* s = ride_state_of(r);
        s->dab_amount = std::min(1.0f, s->dab_amount + float(8.0 * tic));
        r->dab_effective = s->dab_amount;
    }
    return 1;
}

int rider_state_follow(rider* r, const rider_state_ground& g, const rider_state_record& shown,
                       const rider_state_record& older, const rider_state_record& newer, int tics, int version)
{
    rider_state_values vs, vo, vn;
    if (!r->frame_body || !decode(r, shown, version, g, &vs)) return 0;
    decode(r, older, version, g, &vo);
    decode(r, newer, version, g, &vn);

    // Gains: none while fully simulated, rising as the presence value falls
    // toward the point where the record takes over.
    float presence = r->crash_blend;
    double kp = 0.0, kd = 0.0;
    if (presence > 0.75f) {
    } else if (presence > 0.5f) {
        double k = std::clamp((0.75 - presence) * 4.0, 0.0, 1.0);
        kp = 5000.0 * k;
        kd = 500.0 * k;
    } else {
        double k = std::clamp((0.5 - presence) * 2.0, 0.0, 1.0);
        kp = 5000.0 + 45000.0 * k;
        kd = 500.0;
    }

    // A spring and a damper as a force and a torque on the frame. (Set as
    // velocities, these gains would overshoot many times over every tic.)
    double span = double(std::max(tics, 1)) * tic;
    dBodyID frame = r->frame_body;
    const dReal* p = dBodyGetPosition(frame);
    const dReal* lv = dBodyGetLinearVel(frame);
    double force[3];
    for (int k = 0; k < 3; k++) {
        double target_v = (vn.frame_position[k] - vo.frame_position[k]) / span;
        force[k] = kp * (vs.frame_position[k] - p[k]) - kd * (lv[k] - target_v);
    }
    cap_length(force, 2500.0);
    dBodyAddForce(frame, force[0], force[1], force[2]);

    // The angular damper is held below what one explicit step of the frame
    // alone can take (kd * tic / I < 1/2), which light frames need.
    dMass mass;
    dBodyGetMass(frame, &mass);
    double inertia = std::min({mass.I[0], mass.I[5], mass.I[10]});
    double kd_turn = std::min(kd, 0.5 * inertia / tic);
    dQuaternion q_now, q_rec, q_old, q_new;
    std::memcpy(q_now, dBodyGetQuaternion(frame), sizeof q_now);
    normalise_quat(vs.frame_quaternion, q_rec);
    normalise_quat(vo.frame_quaternion, q_old);
    normalise_quat(vn.frame_quaternion, q_new);
    double err[3], turn[3], torque[3];
    rotation_between(q_now, q_rec, err);
    rotation_between(q_old, q_new, turn);
    const dReal* av = dBodyGetAngularVel(frame);
    for (int k = 0; k < 3; k++) torque[k] = kp * err[k] - kd_turn * (av[k] - turn[k] / span);
    cap_length(torque, 2500.0);
    dBodyAddTorque(frame, torque[0], torque[1], torque[2]);

    // Steering toward the recorded angle, a second ahead.
    double steer = dJointGetHingeAngle(r->steering_joint) + dJointGetHingeAngleRate(r->steering_joint);
    r->steer = float(std::clamp((vs.steering_angle - steer) * 0.25, -1.0, 1.0));

    if (vs.drive.crashed) {
        if (r->crash_tics <= 0) rider_freeze_target_points(r);
        rider_joint_detach(r);
        r->crash_tics = vs.drive.crash_tics;
    } else {
        take_riding_drive(r, vs.drive);
    }
    // Throttle and foot only while riding.
    if (r->crash_tics < 1) {
        r->dab = float(vs.drive.dab);
    } else {
        r->throttle = 0.0f;
        r->dab = 0.0f;
    }

    // Pitch: lean the rider body fore or aft as the record has it, measured
    // against its rest place in the frame's axes (forward is -z).
    if (version == 5 && r->crash_tics < 1) {
        const bike_main_values& m = row_main(r);
        double local[3];
        dQuaternion inv = {q_rec[0], -q_rec[1], -q_rec[2], -q_rec[3]};
        rotate(inv, vs.rider_offset, local);
        double ahead = -(local[2] - (double(m.rider_centre[2]) - double(m.frame_centre[2])));
        r->pitch_input = float(std::clamp(ahead * (1.0 + r->lean_input) * 0.5, -1.0, 1.0));
    } else {
        r->pitch_input = 0.0f;
    }
    r->engine_speed = float(vs.engine_rpm * rad_s_per_rpm);
    return 1;
}

void rider_pose_save(const rider* r, rider_pose_snapshot* out)
{
    if (!r->frame_body) return;
    dBodyID bodies[7];
    rider_bodies(r, bodies);
    for (int i = 0; i < 7; i++) {
        const dReal* p = dBodyGetPosition(bodies[i]);
        const dReal* q = dBodyGetQuaternion(bodies[i]);
        for (int k = 0; k < 3; k++) out->position[i][k] = float(p[k]);
        for (int k = 0; k < 4; k++) out->quaternion[i][k] = float(q[k]);
    }
    out->throttle = r->throttle;
    out->engine_rpm = float(r->engine_speed * phys::rpm_per_rad_s);
}

void rider_pose_restore(rider* r, const rider_pose_snapshot& s)
{
    if (!r->frame_body) return;
    dBodyID bodies[7];
    rider_bodies(r, bodies);
    for (int i = 0; i < 7; i++) {
        double target[4] = {s.quaternion[i][0], s.quaternion[i][1], s.quaternion[i][2], s.quaternion[i][3]};
        dQuaternion q;
        normalise_quat(target, q);
        if (tic_counter > 0) {
            const dReal* p = dBodyGetPosition(bodies[i]);
            dQuaternion now;
            std::memcpy(now, dBodyGetQuaternion(bodies[i]), sizeof now);
            double w[3];
            rotation_between(now, q, w);
            dBodySetLinearVel(bodies[i], (s.position[i][0] - p[0]) / tic, (s.position[i][1] - p[1]) / tic,
                              (s.position[i][2] - p[2]) / tic);
            dBodySetAngularVel(bodies[i], w[0] / tic, w[1] / tic, w[2] / tic);
        }
        dBodySetPosition(bodies[i], s.position[i][0], s.position[i][1], s.position[i][2]);
        dBodySetQuaternion(bodies[i], q);
    }
    float t = s.throttle > 1.0f ? 1.0f : s.throttle;
    r->throttle = (r->crash_tics > 0 || !(t > 0.0f)) ? 0.0f : t;
    r->engine_speed = float(s.engine_rpm * rad_s_per_rpm);
}
