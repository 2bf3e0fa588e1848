#include "physics/physics_tic.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ai/racing_lines.h"
#include "physics/bike_info.h"
#include "physics/collision_shape.h"
#include "physics/body_helpers.h"
#include "physics/drivetrain.h"
#include "physics/physics_constants.h"
#include "physics/rider_access.h"
#include "physics/rider_build.h"
#include "physics/rider_collide.h"
#include "physics/suspension.h"
#include "physics/tyre.h"

ride_state ride_states[rider_slot_count];
int32_t crash_knockout_tics[16];

namespace {

using phys::pi;

const bike_info& row_of(const rider* r)
{
    return bike_info_table()[r->bike_index];
}

double length3(const double v[3])
{
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

double frame_speed(const rider* r)
{
    const dReal* v = dBodyGetLinearVel(r->frame_body);
    double a[3] = {v[0], v[1], v[2]};
    return length3(a);
}

bool has_contact(const wheel_contact& c)
{
    return c.depth > 0.0f;
}

double slip_squared(const wheel_contact& c)
{
    return (double)c.slip_velocity[0] * c.slip_velocity[0] + (double)c.slip_velocity[1] * c.slip_velocity[1] +
           (double)c.slip_velocity[2] * c.slip_velocity[2];
}

void body_axis_world(dBodyID b, int axis, double out[3])
{
    const dReal* R = dBodyGetRotation(b);
    for (int k = 0; k < 3; k++)
        out[k] = R[k * 4 + axis];
}

// The row's overall scale: outer front tyre radius against a full-size 1.14 ft.
double row_scale(const rider* r)
{
    const bike_main_values& m = row_of(r).main;
    return (m.front_tyre_radius + m.front_tyre_section) / 1.14;
}

// One-tic soft contact of a body with the ground.
void ground_contact_joint(const ride_world& w, dBodyID body, const double point[3], const double normal[3],
                          double depth, double mu, double stiffness)
{
    double erp, cfm;
    spring_erp_cfm(phys::body_contact_spring * stiffness, phys::body_contact_damping, phys::tic_seconds, &erp, &cfm);
    soft_contact_attach(w.world, w.group,
                        soft_contact(dContactApprox1 | dContactSoftERP | dContactSoftCFM, mu, erp, cfm, point, normal, depth),
                        body, nullptr);
}

}  // namespace

int rider_contact_spheres(const rider* r, contact_sphere* out, int max)
{
    double scale = row_scale(r);
    int n = 0;
    const collision_shape* sets[5] = {r->frame_shape, r->fork_upper_shape, r->fork_lower_shape, r->swingarm_shape,
                                      r->rider_shape};
    const int bodies[5] = {0, 3, 4, 5, 6};
    bool any = false;
    for (int k = 0; k < 5; k++) {
        if (!sets[k])
            continue;
        any = true;
        for (int i = 0; i < sets[k]->count && n < max; i++) {
            const collision_sphere& c = sets[k]->spheres[i];
            out[n++] = {bodies[k], {c.x * scale, c.y * scale, c.z * scale}, c.radius * scale, c.extra[0], c.extra[1],
                        ((int)c.extra[2] & 1) != 0};
        }
    }
    if (any)
        return n;
    // Without its sphere files the bike still needs a body to fall on: a few
    // spheres round the frame and the rider's torso.
    const contact_sphere fallback[] = {
        {0, {0, 0.55, -1.2}, 0.45, 1, 1, 0}, {0, {0, 0.55, 0.3}, 0.5, 1, 1, 0}, {0, {0, -0.55, -0.3}, 0.55, 0.6f, 1, 0},
        {3, {-1.2, 0.7, 0.24}, 0.25, 1, 1, 0}, {3, {1.2, 0.7, 0.24}, 0.25, 1, 1, 0},
        {6, {0, 1.6, -0.1}, 0.45, 1, 1, 1}, {6, {0, 0.9, 0}, 0.6, 1, 1, 1},
    };
    for (const contact_sphere& f : fallback) {
        if (n >= max)
            break;
        out[n] = f;
        for (double& x : out[n].centre)
            x *= scale;
        out[n].radius *= scale;
        n++;
    }
    return n;
}

dBodyID rider_body_at(const rider* r, int index)
{
    dBodyID bodies[7];
    rider_bodies(r, bodies);
    return bodies[std::clamp(index, 0, 6)];
}

namespace {

void lean_motor(const ride_world& w, rider* r, double velocity, double fmax)
{
    dJointID j = dJointCreateAMotor(w.world, w.group);
    dJointAttach(j, r->frame_body, nullptr);
    dJointSetAMotorMode(j, dAMotorUser);
    dJointSetAMotorNumAxes(j, 1);
    double z[3];
    body_axis_world(r->frame_body, 2, z);  // about +z (backward): raises the lean
    dJointSetAMotorAxis(j, 0, 0, z[0], z[1], z[2]);
    dJointSetAMotorParam(j, dParamVel, velocity);
    dJointSetAMotorParam(j, dParamFMax, fmax);
}

// The head's lock limit at a speed: full lock slow, the restricted lock fast.
double steering_lock(const rider* r, double speed)
{
    double full = pi / 4;
    double lo = std::max(1.0f, r->full_lock_speed), hi = std::max((double)r->restricted_lock_speed, lo + 1.0);
    double t = std::clamp((speed - lo) / (hi - lo), 0.0, 1.0);
    return full + t * ((double)r->restricted_lock - full);
}



// The frame's speed along its own forward axis.
double rider_forward(const rider* r)
{
    const dReal* v = dBodyGetLinearVel(r->frame_body);
    double back[3];
    body_axis_world(r->frame_body, 2, back);
    return -(v[0] * back[0] + v[1] * back[1] + v[2] * back[2]);
}

// The lean that balances the bike's present turn: atan(v * yaw rate / g).
double balance_lean(const rider* r)
{
    const dReal* v = dBodyGetLinearVel(r->frame_body);
    const dReal* om = dBodyGetAngularVel(r->frame_body);
    double fwd[3];
    body_axis_world(r->frame_body, 2, fwd);
    double speed = -(v[0] * fwd[0] + v[1] * fwd[1] + v[2] * fwd[2]);
    return std::atan(speed * om[1] / phys::gravity);
}

void rider_joint_reattach(rider* r)
{
    const bike_main_values& m = row_of(r).main;
    double fc[3];
    rider_rest_centre(r, 0, fc);
    dVector3 seat;
    dBodyGetRelPointPos(r->frame_body, m.rider_centre[0] - fc[0], m.rider_centre[1] - fc[1],
                        m.rider_centre[2] - fc[2], seat);
    dBodySetPosition(r->rider_body, seat[0], seat[1], seat[2]);
    dBodySetRotation(r->rider_body, dBodyGetRotation(r->frame_body));
    dVector3 v;
    dBodyGetPointVel(r->frame_body, seat[0], seat[1], seat[2], v);
    dBodySetLinearVel(r->rider_body, v[0], v[1], v[2]);
    const dReal* om = dBodyGetAngularVel(r->frame_body);
    dBodySetAngularVel(r->rider_body, om[0], om[1], om[2]);
    dJointAttach(r->rider_joint, r->rider_body, r->frame_body);
    dJointSetHinge2Anchor(r->rider_joint, seat[0], seat[1], seat[2]);
    double up[3], side[3];
    body_axis_world(r->frame_body, 1, up);
    body_axis_world(r->frame_body, 0, side);
    const dReal a1[3] = {up[0], up[1], up[2]}, a2[3] = {side[0], side[1], side[2]};
    dJointSetHinge2Axes(r->rider_joint, a1, a2);
    // ODE leaves a detached joint's feedback as it was: clear it, or the
    // net-force correction would read forces from before the crash.
    memset(&r->joint_feedback[5], 0, sizeof r->joint_feedback[5]);
}

// Puts a fallen bike back on its wheels where it lies, heading kept.
void rider_respawn_upright(const ride_world& w, rider* r)
{
    const dReal* p = dBodyGetPosition(r->frame_body);
    double fwd[3];
    body_axis_world(r->frame_body, 2, fwd);
    double heading = std::atan2(fwd[0], fwd[2]);
    double x = p[0], z = p[2];
    double fc[3];
    rider_rest_centre(r, 0, fc);
    rider_reset_pose(r);
    rider_set_orientation(r, 0, 1, 0, heading);
    double ground = ground_height_at(w.ground, x, z);
    dVector3 c;
    dBodyGetRelPointPos(r->frame_body, -fc[0], -fc[1], -fc[2], c);  // rest origin, turned
    rider_translate(r, x - c[0], ground + 0.25, z - c[2]);
    ride_state_of(r)->recovery = 128.0f;
}

void suspension_tic(rider* r)
{
    damped_motor_setting fm = fork_motor(rider_fork_values(r), dJointGetSliderPosition(r->fork_joint),
                                         dJointGetSliderPositionRate(r->fork_joint));
    dJointSetSliderParam(r->fork_joint, dParamVel, fm.velocity);
    dJointSetSliderParam(r->fork_joint, dParamFMax, fm.fmax);
    // No damper row: the world's own mixing, as for any other joint row.
    dJointSetSliderParam(r->fork_joint, dParamCFM, fm.cfm > 0.0 ? fm.cfm : dWorldGetCFM(dBodyGetWorld(r->frame_body)));

    damped_motor_setting sm = shock_motor(rider_shock_values(r), dJointGetHingeAngle(r->swingarm_joint),
                                          dJointGetHingeAngleRate(r->swingarm_joint));
    dJointSetHingeParam(r->swingarm_joint, dParamVel, sm.velocity);
    dJointSetHingeParam(r->swingarm_joint, dParamFMax, sm.fmax);
    dJointSetHingeParam(r->swingarm_joint, dParamCFM, sm.cfm > 0.0 ? sm.cfm : dWorldGetCFM(dBodyGetWorld(r->frame_body)));
}

void drivetrain_tic(const ride_world& w, rider* r, ride_state* s)
{
    const bike_info& row = row_of(r);
    const bike_tuning_values& t = row.tuning;
    double phi = dJointGetHingeAngle(r->rear_axle_joint);
    double rate = dJointGetHingeAngleRate(r->rear_axle_joint);
    if ((r->option_flags & rider_option_auto_shift) && w.tic % phys::gearbox_period_tics == 0 &&
        dJointGetHingeAngle(r->swingarm_joint) < phys::gearbox_swingarm_min &&
        (!has_contact(r->rear_contact) || slip_squared(r->rear_contact) <= phys::slide_speed_squared)) {
        double wheel_rpm = rider_total_ratio(r) * phys::rpm_per_rad_s * rate;
        r->gear = gearbox_auto_gear(row.main.gear_ratio, r->gear, wheel_rpm, t.downshift_rpm, t.upshift_rpm);
    }
    double rpm = r->engine_speed * phys::rpm_per_rad_s;
    engine_state e{r->engine_speed, r->engine_angle};
    clutch_inputs in{};
    in.wheel_angle = phi;
    in.wheel_rate = rate;
    in.ratio = rider_total_ratio(r);
    in.clutch = r->clutch;
    in.clutch_used = anti_stall_clutch(r->clutch, rpm, r->auto_clutch_rpms);
    in.stiffness = t.clutch_stiffness;
    in.damping = t.clutch_damping;
    in.engine_torque = engine_torque(r);
    in.inertia = t.engine_inertia;
    in.dt = phys::tic_seconds;
    double torque = clutch_step(&e, in);
    r->engine_speed = e.omega;
    r->engine_angle = e.theta;
    dBodyAddRelTorque(r->rear_wheel_body, -torque, 0, 0);
    dBodyAddRelTorque(r->frame_body, torque, 0, 0);

    // Brakes: axle motors holding the wheel still up to the brake torque.
    double front = s->front_brake * r->brake_torque;
    bool front_slides = has_contact(r->front_contact) && slip_squared(r->front_contact) > phys::slide_speed_squared;
    front = front_brake_release(r->option_flags, front, has_contact(r->front_contact), front_slides,
                                has_contact(r->rear_contact));
    double rear = s->rear_brake * r->rear_brake_torque;
    if ((r->option_flags & rider_option_rear_antilock) && has_contact(r->rear_contact) &&
        slip_squared(r->rear_contact) > phys::slide_speed_squared)
        rear = 0.0;
    dJointSetHingeParam(r->front_axle_joint, dParamVel, 0.0);
    dJointSetHingeParam(r->front_axle_joint, dParamFMax, front);
    dJointSetHingeParam(r->rear_axle_joint, dParamVel, 0.0);
    dJointSetHingeParam(r->rear_axle_joint, dParamFMax, rear);
}

// One seat spring of the rider body along a frame axis, acting at the rider
// body's point p: inside the band [lo, hi] of the error a soft spring and
// damper as plain forces (gentle enough to step explicitly, and smooth
// through the rest point); outside it a one-tic contact between the rider
// body and the frame pushing back, implicit, so the stiff spring and damper
// stay stable on a light body.
void seat_spring(const ride_world& w, rider* r, const double axis[3], const double p[3], double error, double rate,
                 double kp, double kd, double lo, double hi, double scale)
{
    if (error >= lo && error <= hi) {
        double force = -(kp * error + kd * rate);
        dBodyAddForceAtPos(r->rider_body, force * axis[0], force * axis[1], force * axis[2], p[0], p[1], p[2]);
        dBodyAddForceAtPos(r->frame_body, -force * axis[0], -force * axis[1], -force * axis[2], p[0], p[1], p[2]);
        return;
    }
    double erp, cfm;
    spring_erp_cfm(phys::seat_stop_spring * scale, phys::seat_stop_spring * scale, phys::tic_seconds, &erp, &cfm);
    double sign = error < 0.0 ? 1.0 : -1.0;
    double normal[3] = {sign * axis[0], sign * axis[1], sign * axis[2]};
    soft_contact_attach(w.world, w.group,
                        soft_contact(dContactSoftERP | dContactSoftCFM, 0.0, erp, cfm, p, normal, std::fabs(error)),
                        r->rider_body, r->frame_body);
}

// The rider body on its hinge-2: vertical softness, and the two seat
// springs, up and fore-aft.
void rider_body_tic(const ride_world& w, rider* r)
{
    const bike_info& row = row_of(r);
    const bike_main_values& m = row.main;
    double scale = m.rider_mass * phys::rider_reference_mass_scale;
    double stiffness = 30.0 * r->rider_yspring + 5.0;

    dJointSetHinge2Param(r->rider_joint, dParamSuspensionERP, 0.0);
    dJointSetHinge2Param(r->rider_joint, dParamSuspensionCFM, 1.0 / (scale * stiffness));
    // Axis 2 (the rider's pitch about the seat) has no stops in ODE: the
    // fore-aft seat spring below holds it, so its motor stays off.
    dJointSetHinge2Param(r->rider_joint, dParamFMax2, 0.0);

    double fc[3];
    rider_rest_centre(r, 0, fc);
    double seat_local[3] = {m.rider_centre[0] - fc[0], m.rider_centre[1] - fc[1], m.rider_centre[2] - fc[2]};
    dVector3 seat;
    dBodyGetRelPointPos(r->frame_body, seat_local[0], seat_local[1], seat_local[2], seat);
    const dReal* p = dBodyGetPosition(r->rider_body);
    double up[3], back[3];
    body_axis_world(r->frame_body, 1, up);
    body_axis_world(r->frame_body, 2, back);
    double forward[3] = {-back[0], -back[1], -back[2]};
    double rel[3];
    rider_body_relative_velocity(r, rel);

    // Up: the target drops as the rider leans (pitch input either way),
    // crouching over the bike.
    double offset = (p[0] - seat[0]) * up[0] + (p[1] - seat[1]) * up[1] + (p[2] - seat[2]) * up[2];
    double error = offset - (-0.125 * std::fabs(r->pitch_input));
    double rate = rel[0] * up[0] + rel[1] * up[1] + rel[2] * up[2];
    double centre[3] = {p[0], p[1], p[2]};
    seat_spring(w, r, up, centre, error, rate, row.tuning.rider_yspring_max * r->rider_yspring * scale,
                row.tuning.rider_ydamping_max * r->rider_ydamping * scale, -0.75, 0.5, scale);

    // Fore-aft: the rider's shoulders, pivoting on the seat, held over the
    // point the lean input moves them to (forward with a positive lean). A
    // fore-aft force at the seat itself would meet the joint's anchor; at
    // the shoulders it pitches the upper body.
    double arm = m.shoulder[0][1];
    dVector3 shoulder, over_seat;
    dBodyGetRelPointPos(r->rider_body, 0.0, arm, 0.0, shoulder);
    dBodyGetRelPointPos(r->frame_body, seat_local[0], seat_local[1] + arm, seat_local[2], over_seat);
    double ahead = (shoulder[0] - over_seat[0]) * forward[0] + (shoulder[1] - over_seat[1]) * forward[1] +
                   (shoulder[2] - over_seat[2]) * forward[2];
    double target = std::clamp((1.0 + r->lean_input) * 0.5 * phys::rider_seat_height - phys::rider_fore_aft, -0.75, 0.75);
    double ahead_error = ahead - target;
    dVector3 vr, vf;
    dBodyGetPointVel(r->rider_body, shoulder[0], shoulder[1], shoulder[2], vr);
    dBodyGetPointVel(r->frame_body, shoulder[0], shoulder[1], shoulder[2], vf);
    double ahead_rate = (vr[0] - vf[0]) * forward[0] + (vr[1] - vf[1]) * forward[1] + (vr[2] - vf[2]) * forward[2];
    // The spring stiffens as it stretches, so a hard stop or launch meets
    // more of it than the rider's sway at rest does.
    double kp = (std::fabs(ahead_error) * phys::seat_fore_aft_progression + row.tuning.rider_zspring_max * r->rider_zspring) *
                scale;
    double kd = row.tuning.rider_zdamping_max * r->rider_zdamping * scale;
    double at[3] = {shoulder[0], shoulder[1], shoulder[2]};
    seat_spring(w, r, forward, at, ahead_error, ahead_rate, kp, kd, -0.75, 0.75, scale);
}

// The rider's fore-aft lean in the air (forward positive; the lean keys
// drive pitch_input, negative forward). His body swings toward the lean
// at every moment, critically damped; only while both wheels are off the
// ground does its swing turn the frame (on the ground the seat springs
// carry his weight shift), nose-down as he leans forward. The swung
// mass's reaction is -I psi'' about the frame's sideways axis.
void air_lean_tic(rider* r, ride_state* s, bool touching)
{
    const bike_main_values& m = row_of(r).main;
    double forward = -(double)r->pitch_input;
    double k = 1.0 / phys::air_swing_time;
    double accel = k * k * (forward * phys::air_swing_range - s->air_swing) - 2.0 * k * s->air_swing_rate;
    s->air_swing_rate += accel * phys::tic_seconds;
    s->air_swing += s->air_swing_rate * phys::tic_seconds;
    if (touching)
        return;
    double arm = phys::air_swing_arm * row_scale(r);
    double inertia = (1.0 - r->mass_distribution) * m.rider_mass * arm * arm;
    double torque = -inertia * accel;  // about +x: negative pitches nose-down
    if (r->arcade)
        torque -= phys::arcade_air_pitch_torque * forward;
    double x[3];
    body_axis_world(r->frame_body, 0, x);
    dBodyAddTorque(r->frame_body, x[0] * torque, x[1] * torque, x[2] * torque);
}

// The rider's racing line's point four points ahead of the bike, when the
// line-following assist leads it (off the throttle); null otherwise.
const line_point* line_point_ahead(const rider* r)
{
    if (!(r->option_flags & rider_option_auto_align) || r->throttle > 0.125f)
        return nullptr;
    int32_t section = gate_section_index(r->gate_count);
    const racing_line* line = racing_line_find(line_set_of_section(section), r->picked_lines[section & 3]);
    const dReal* p = dBodyGetPosition(r->frame_body);
    return racing_line_point_ahead(line, p[0], p[2], phys::line_assist_ahead);
}

// The steering head as a velocity servo on the steering hinge's motor: the
// head turns at the rate asked, with at most fmax of torque. The motor is
// implicit, so a light fork can't ring the way an explicit torque would.
void steering_servo(rider* r, double rate, double fmax)
{
    dJointSetHingeParam(r->steering_joint, dParamVel, rate);
    dJointSetHingeParam(r->steering_joint, dParamFMax, std::max(0.0, fmax));
}

void steering_tic(const ride_world& w, rider* r, ride_state* s, double speed)
{
    double head = dJointGetHingeAngle(r->steering_joint);
    double lean = body_lean_angle(r->frame_body);
    bool front = has_contact(r->front_contact);
    double gain = phys::steer_gain * (r->steering_strength / 50.0);
    double limit = std::min((double)r->max_steering_force, phys::steer_torque_limit);
    if (s->recovery > 0)
        limit *= std::clamp((64.0 - s->recovery) / 64.0, 0.0, 1.0);
    // Steer input +1 turns right, which is a negative head angle.
    double target = -r->steer * steering_lock(r, speed);
    if (!front) {
        const dReal* p = dBodyGetPosition(r->frame_body);
        double ground = ground_height_at(w.ground, p[0], p[2]);
        if (p[1] - ground > 16.0) {
            // High in the air the bars answer a spring toward the centre
            // (50 lbf*ft per radian); the arcade rider's steering adds its
            // torque to that spring, so the bars turn as far as the two
            // balance (the head's lock caps it). The realistic rider only
            // centres them.
            double torque = r->arcade ? -gain * r->steer : 0.0;
            double aim = std::clamp(torque / phys::air_bar_spring, -pi / 4, pi / 4);
            steering_servo(r, 8.0 * std::clamp(aim - head, -0.25, 0.25), phys::air_bar_spring * phys::steer_scale);
            return;
        }
    }
    if (!r->arcade && front) {
        // Realistic: the rider steers by leaning. The bars ask for a turn
        // (the curvature their angle gives at the front wheel), and with it
        // the lean that balances that turn at this speed; he holds the bars
        // there and steers into any lean beyond it (steering into a fall is
        // what balances a bike), so a turn in begins with the bars turned
        // briefly the other way, the bike falls into the turn, and it
        // settles at its lean. The gain places the lean's error on a
        // critically damped return: a bike's lean, a pendulum standing
        // on its tyres' line, moves as lean'' = (g lean - v^2 steer / L) / h
        // (h the centre of mass's height, L the wheelbase), so steering
        // K lean + D lean' gives a return of rate w when v^2 K / L = g + h w^2
        // and v^2 D / L = 2 h w. Slow, K and D grow past what the bars
        // can give, and the clamp and the stand-up assist take over.
        const bike_main_values& m = row_of(r).main;
        double base = m.rear_axle[2] - m.front_axle[2];
        double h = phys::lean_return_height * row_scale(r), w2 = phys::lean_return_rate * phys::lean_return_rate;
        double v = std::max(rider_forward(r), phys::lean_return_min_speed);
        double curvature = std::tan(target * std::cos(phys::rake_nominal)) / base;
        // The ground under the front tyre banked toward the left (a berm's
        // face turned into a left turn) carries that much more lean that
        // way, and less the other.
        double side[3];
        body_axis_world(r->frame_body, 0, side);
        double flat = std::max(std::sqrt(side[0] * side[0] + side[2] * side[2]), 1e-9);
        const float* n = r->front_contact.normal;
        double bank = std::asin(std::clamp(-(n[0] * side[0] + n[2] * side[2]) / flat, -1.0, 1.0));
        double asked = std::clamp(std::atan(v * v * curvature / phys::gravity), bank - phys::lean_most, bank + phys::lean_most);
        if (r->steer == 0.0f)
            if (const line_point* ahead = line_point_ahead(r))
                asked = std::clamp((double)ahead->lean, bank - phys::lean_most, bank + phys::lean_most);  // as the line leaned
        double vg = std::min(v, phys::lean_return_max_speed);
        double k = base * (phys::gravity + h * w2) / (vg * vg) * (r->roll_damping / 50.0);
        double d = base * 2.0 * h * phys::lean_return_rate / (vg * vg) * (r->roll_damping / 50.0);
        double rate = (lean - s->last_lean) / phys::tic_seconds;
        // The bars where the asked lean's turn puts them (less than they
        // ask once the lean is capped): the turn's curvature g tan(lean) / v^2.
        double speed_now = std::max(rider_forward(r), 1.0);
        double held = std::atan(base * phys::gravity * std::tan(asked) / (speed_now * speed_now)) /
                      std::cos(phys::rake_nominal);
        if (std::fabs(held) < std::fabs(target))
            target = held;
        target += std::clamp(k * (lean - asked) + d * rate, -phys::lean_return_steer, phys::lean_return_steer);
        s->asked_lean = (float)asked;
    }
    s->last_lean = (float)lean;
    double error = target - head;
    double fmax = std::min(limit, gain * (2.0 / 3.0) * phys::steer_scale);
    if (std::fabs(error) < 1.0 / 32.0)
        fmax = phys::steer_dead_band_friction * (r->steering_damping / 50.0);  // nearly free: the trail centres it
    double term = std::clamp(error, -0.25, 0.25);
    steering_servo(r, 8.0 * term, fmax);

    if (r->arcade) {
        // The lean motor keeps the bike at the lean that balances its turn
        // while the rider steers, and stands it up when the bars are let go
        // (else a lean would hold the head into the turn for ever).
        double hold = std::clamp(std::fabs(r->steer) * 8.0, 0.0, 1.0);
        // Never past the steepest cornering lean: the arcade's turn at full
        // lock (its contacts give more than the grip's bound) would otherwise
        // ask for a lean within a bump of lying the bike down.
        double target_lean = std::clamp(s->balance_lean * hold, -phys::corner_lean_most, phys::corner_lean_most);
        double fade = 1.5 - 0.5 * std::clamp((speed - 40.0) * 0.025, 0.0, 1.0);
        double v = std::clamp(target_lean - lean, -1.0 / 16.0, 1.0 / 16.0) * 16.0 * fade;
        lean_motor(w, r, v, phys::lean_motor_fmax);
        // Air drag of the arcade model, at a point behind the frame.
        dVector3 pt, vel;
        dBodyGetRelPointPos(r->frame_body, 0, 0, 20, pt);
        dBodyGetPointVel(r->frame_body, pt[0], pt[1], pt[2], vel);
        dBodyAddForceAtPos(r->frame_body, -phys::arcade_drag * vel[0], -phys::arcade_drag * vel[1],
                           -phys::arcade_drag * vel[2], pt[0], pt[1], pt[2]);
    }
}

// The stand-up assist's top speed: the rider's max dab speed, raised to
// 75 ft/s while a long recovery is under way.
double standup_top_speed(const rider* r, const ride_state* s)
{
    double top = r->max_dab_speed;
    if (s->recovery <= -512.0f && top <= 75.0)
        top = 75.0;
    return top;
}

void standup_assist(const ride_world& w, rider* r, ride_state* s, double speed, bool both_wheels, float* dab)
{
    double lean = body_lean_angle(r->frame_body);
    double top = standup_top_speed(r, s);
    if (r->throttle > 0.0f || speed >= phys::low_speed_limit) {
        // Moving: the foot comes down as the bike slows toward a stop,
        // from none at the top speed to all of it at a standstill.
        if (speed * speed > top * top)
            return;
        double s0 = phys::assist_speed;
        if (speed > s0 && std::fabs(lean) > pi / 4 * std::clamp((speed - s0) / s0, 0.0, 1.0))
            return;  // leaning into a fast turn: no foot
        bool steering_under_power = r->steer != 0.0f && r->throttle != 0.0f;
        if (!steering_under_power && speed >= phys::low_speed_limit && std::fabs(lean) <= pi / 16)
            *dab = (float)std::clamp((top - speed) / top, (double)*dab, 1.0);
        return;
    }
    // At a standstill: foot down, brakes on, the frame held where it stands
    // with a slow sway of the rider's weight, and the bike stood up (or
    // leaned as the rider asks).
    // Bars turned hard with the brakes off, the rider walks the bike back
    // on his feet (out of a tight spot, off a wall it stands against):
    // wheels free, the frame drawn backward at a walk.
    bool walk_back = std::fabs(r->steer) >= 0.5f && r->front_brake == 0.0f && r->rear_brake == 0.0f;
    if (both_wheels && walk_back) {
        double back[3];
        body_axis_world(r->frame_body, 2, back);
        double flat = std::sqrt(back[0] * back[0] + back[2] * back[2]);
        float walk[3] = {0.0f, 0.0f, 0.0f};
        if (flat > 1e-9) {
            walk[0] = (float)(phys::walk_back_speed * back[0] / flat);
            walk[2] = (float)(phys::walk_back_speed * back[2] / flat);
        }
        s->front_brake = s->rear_brake = 0.0f;
        body_pull_toward(r->frame_body, phys::standup_hold, walk);
    } else if (both_wheels) {
        s->front_brake = s->rear_brake = 1.0f;
        const float still[3] = {0, 0, 0};
        body_pull_toward(r->frame_body, phys::standup_hold, still);
    }
    *dab = 1.0f;
    double phase = 2.0 * pi / 127.0 * (w.tic & 127);
    double sway = w.tic - w.start_tic < phys::standup_sway_delay_tics ? 0.0 : phys::standup_sway_speed * std::sin(phase);
    double side[3];
    body_axis_world(r->frame_body, 0, side);
    double flat = std::sqrt(side[0] * side[0] + side[2] * side[2]);
    float desired[3] = {0.0f, 0.0f, 0.0f};
    if (flat > 1e-9) {
        desired[0] = (float)(sway * side[0] / flat);
        desired[2] = (float)(sway * side[2] / flat);
    }
    body_pull_toward(r->frame_body, phys::standup_sway_hold, desired);
    double aim = -r->lean_input * pi / 2;
    lean_motor(w, r, (aim - lean) * phys::standup_lean_rate, phys::standup_fmax);
}

// Leans the bike toward the lean of its racing line four points ahead of
// where it is. 0 when the rider has no line for its section.
bool line_assist(const ride_world& w, rider* r)
{
    const line_point* ahead = line_point_ahead(r);
    if (!ahead)
        return false;
    double lean = body_lean_angle(r->frame_body);
    double v = std::clamp(ahead->lean - lean, -1.0 / 16.0, 1.0 / 16.0) * 16.0;
    lean_motor(w, r, v, phys::line_assist_fmax * phys::lean_gain);
    return true;
}

void upright_assist(rider* r, const ride_state* s, double speed)
{
    // Toward the lean the rider's bars ask for (upright when they are let
    // go), as his steering leans the bike.
    double lean = body_lean_angle(r->frame_body) - s->asked_lean;
    double z[3];
    body_axis_world(r->frame_body, 2, z);
    double torque = -phys::upright_torque * (r->leveling / 20.0) * std::clamp(lean / (pi / 32.0), -1.0, 1.0);
    double fade = 1.0 - std::clamp((speed - phys::assist_speed) / (phys::assist_top_speed - phys::assist_speed), 0.0, 1.0);
    // A torque about +z raises the lean: push the lean back toward its
    // target, damped by the roll rate.
    const dReal* om = dBodyGetAngularVel(r->frame_body);
    double roll_rate = om[0] * z[0] + om[1] * z[1] + om[2] * z[2];
    torque -= phys::upright_roll_damping * (r->roll_damping / 50.0) * roll_rate;
    torque *= fade;
    dBodyAddTorque(r->frame_body, z[0] * torque, z[1] * torque, z[2] * torque);
}

// The joints' forces of the last step summed about the frame's centre, as
// they acted: with each body where it was when the step computed them (a
// crash's large stop forces times the distance moved since would otherwise
// give a large false torque).
void feedback_correction(rider* r, const ride_state* s)
{
    dBodyID bodies[7];
    rider_bodies(r, bodies);
    dJointID joints[6];
    rider_joints(r, joints);
    const double* c = s->prestep[0];
    double f[3] = {0, 0, 0}, t[3] = {0, 0, 0};
    for (int i = 0; i < 6; i++) {
        if (i == 5 && r->crash_tics > 0)
            continue;
        const dJointFeedback& fb = r->joint_feedback[i];
        const dReal* fs[2] = {fb.f1, fb.f2};
        const dReal* ts[2] = {fb.t1, fb.t2};
        for (int k = 0; k < 2; k++) {
            dBodyID b = dJointGetBody(joints[i], k);
            int index = 0;
            while (index < 7 && bodies[index] != b)
                index++;
            if (index == 7)
                continue;
            const double* p = s->prestep[index];
            double arm[3] = {p[0] - c[0], p[1] - c[1], p[2] - c[2]};
            for (int a = 0; a < 3; a++)
                f[a] += fs[k][a];
            t[0] += ts[k][0] + arm[1] * fs[k][2] - arm[2] * fs[k][1];
            t[1] += ts[k][1] + arm[2] * fs[k][0] - arm[0] * fs[k][2];
            t[2] += ts[k][2] + arm[0] * fs[k][1] - arm[1] * fs[k][0];
        }
    }
    dBodyAddForce(r->frame_body, -f[0], -f[1], -f[2]);
    dBodyAddTorque(r->frame_body, -t[0], -t[1], -t[2]);
}

void crash_test(const ride_world& w, rider* r, ride_state* s)
{
    double dt = phys::tic_seconds;
    double accel_limit, speed_limit;
    crash_limits(s->takeoff_tic, s->landing_tic, w.tic, &accel_limit, &speed_limit);
    if (s->recovery < 0.0f)
        return;
    double rel[3];
    rider_body_relative_velocity(r, rel);
    bool crash = rel[0] * rel[0] + rel[1] * rel[1] + rel[2] * rel[2] > speed_limit * speed_limit;
    const dReal* v = dBodyGetLinearVel(r->rider_body);
    const float* old = s->velocity_ring[w.tic & 3];
    double a[3] = {(v[0] - old[0]) * 0.25 / dt, (v[1] - old[1]) * 0.25 / dt + phys::gravity,
                   (v[2] - old[2]) * 0.25 / dt};
    if (s->tics_run >= 4 && a[0] * a[0] + a[1] * a[1] + a[2] * a[2] > accel_limit * accel_limit)
        crash = true;
    if (s->hard_contact)
        crash = true;
    if (crash)
        rider_crash(r);
}

// Being put back: the rider body is drawn to the seat by three tethers with
// shrinking slack: one at the seat, two 10 ft above it and 5 ft to either
// side (in each body's own frame), so it comes back turned as the frame is.
// Late in the count the hand on the side the bike leans to reaches for the
// point its grip was at when the crash began.
void put_back_tic(const ride_world& w, rider* r, ride_state* s)
{
    const bike_main_values& m = row_of(r).main;
    double fc[3];
    rider_rest_centre(r, 0, fc);
    double seat[3] = {m.rider_centre[0] - fc[0], m.rider_centre[1] - fc[1], m.rider_centre[2] - fc[2]};
    double slack = 5.0 * std::clamp((r->crash_tics - 128) * 0.0026041667, 0.0, 1.0);
    const double shift[3][3] = {{0, 0, 0}, {-5, 10, 0}, {5, 10, 0}};
    for (const double* d : shift) {
        dVector3 on_seat, on_rider;
        dBodyGetRelPointPos(r->frame_body, seat[0] + d[0], seat[1] + d[1], seat[2] + d[2], on_seat);
        dBodyGetRelPointPos(r->rider_body, d[0], d[1], d[2], on_rider);
        double pa[3] = {on_rider[0], on_rider[1], on_rider[2]}, pb[3] = {on_seat[0], on_seat[1], on_seat[2]};
        body_tether(w.world, w.group, r->rider_body, pa, r->frame_body, pb, slack);
    }
    if (r->crash_tics >= phys::hand_pull_tics)
        return;
    int side = body_lean_angle(r->frame_body) < 0.0 ? 0 : 1;
    // The rider body's hand: where that grip sits when the rider is seated.
    const bike_tuning_values& t = row_of(r).tuning;
    dVector3 hand;
    dBodyGetRelPointPos(r->rider_body, t.hand[side][0] - m.rider_centre[0], t.hand[side][1] - m.rider_centre[1],
                        t.hand[side][2] - m.rider_centre[2], hand);
    double d[3];
    for (int k = 0; k < 3; k++)
        d[k] = (s->target_points[side][k] - hand[k]) * 32.0;
    double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (len == 0.0)
        return;
    double norm = len > 1.0 ? 1.0 / len : 1.0;
    for (int k = 0; k < 3; k++)
        s->pull[side][k] = (float)(d[k] * norm * 4.0);
}

void crashed_tic(const ride_world& w, rider* r, ride_state* s, double speed)
{
    const bike_info& row = row_of(r);
    if (speed * speed < 4.0) {
        r->crash_tics--;
    } else {
        // Hands tethered to the grips while the bike slides.
        const bike_main_values& m = row.main;
        double fc[3];
        rider_rest_centre(r, 0, fc);
        double slack = 0.875 * (row.tuning.hand_distance[0] + row.tuning.hand_distance[1]);
        for (int side = 0; side < 2; side++) {
            dVector3 grip, shoulder;
            dBodyGetRelPointPos(r->frame_body, row.tuning.hand[side][0] - fc[0], row.tuning.hand[side][1] - fc[1],
                                row.tuning.hand[side][2] - fc[2], grip);
            dBodyGetRelPointPos(r->rider_body, m.shoulder[side][0], m.shoulder[side][1], m.shoulder[side][2],
                                shoulder);
            double pa[3] = {shoulder[0], shoulder[1], shoulder[2]}, pb[3] = {grip[0], grip[1], grip[2]};
            body_tether(w.world, w.group, r->rider_body, pa, r->frame_body, pb, slack);
        }
        if (r->crash_tics > 511) {
            // While the crash is fresh a long third tether keeps the rider
            // within reach of the bike.
            dVector3 anchor;
            dBodyGetRelPointPos(r->frame_body, -fc[0], row.tuning.hand_height - fc[1], 10.0 + row.tuning.hand_depth - fc[2],
                                anchor);
            const dReal* p = dBodyGetPosition(r->rider_body);
            double pa[3] = {p[0], p[1], p[2]}, pb[3] = {anchor[0], anchor[1], anchor[2]};
            body_tether(w.world, w.group, r->rider_body, pa, r->frame_body, pb, 8.0);
        }
        // Lying against a ground object, the wheels meet it too.
        if (const rider_object_link* o = r->object_link)
            rider_collide_object_parts(w, r, o->shape, o->position, o->rotation, o->scale, 2 | 4);
    }
    if (r->crash_tics <= 511 && r->crash_tics > 0)
        put_back_tic(w, r, s);
    if (r->crash_tics <= 0) {
        r->crash_tics = 0;
        if (std::fabs(body_lean_angle(r->frame_body)) > pi / 8)  // lying down: pick it up
            rider_respawn_upright(w, r);
        rider_joint_reattach(r);
        s->recovery = -64.0f;
        s->tics_run = 0;
    }
}

}  // namespace

void crash_limits(int32_t takeoff_tic, int32_t landing_tic, int32_t tic, double* accel, double* speed)
{
    double dt = phys::tic_seconds;
    if (landing_tic < takeoff_tic) {
        *accel = phys::crash_accel_limit;  // in the air
        *speed = phys::crash_speed_limit;
        return;
    }
    double air = (landing_tic - takeoff_tic) * dt;
    double since = (tic - landing_tic) * dt;
    double u = std::clamp((air - 0.559) * 7.9365087, 0.0, 1.0);
    double w = std::clamp((since - 0.25) * -8.0, 0.0, 1.0);
    double f = 1.5 - 0.5 * u * w;
    *accel = phys::crash_accel_hard * f;
    *speed = phys::crash_speed_hard * f;
}

ride_state* ride_state_of(const rider* r)
{
    return &ride_states[std::clamp(r->slot, 0, rider_slot_count - 1)];
}

void ride_state_reset(const rider* r)
{
    ride_state* s = ride_state_of(r);
    memset(s, 0, sizeof *s);
    s->treadmark[0][1] = s->treadmark[1][1] = 1.0f;
}

void rider_fall(rider* r)
{
    r->crash_blend = 1.0f;
}

void rider_recover(rider* r)
{
    r->crash_blend = 0.0f;
}

void rider_start_fall(rider* r)
{
    if (r->crash_blend == 0.0f)
        r->crash_blend = 1.0f;
    else if (r->crash_blend <= 0.25f)
        r->crash_blend = 0.25f;
}

void rider_fall_step(rider* r)
{
    if (r->crash_blend > 0.0f)
        r->crash_blend = std::max(0.0f, r->crash_blend - (float)phys::tic_seconds);
}

int rider_is_down(const rider* r)
{
    return r->crash_blend > 0.25f;
}

void rider_crash(rider* r)
{
    if (r->crash_tics > 0)
        return;
    r->crash_tics = phys::crash_tics + crash_knockout_tics[std::clamp(r->crash_count, 0, 15)];
    r->crash_count++;
    r->throttle = 0.0f;
    rider_freeze_target_points(r);
    if (r->rider_joint)
        dJointAttach(r->rider_joint, nullptr, nullptr);
    ride_state* s = ride_state_of(r);
    s->hard_contact = 0;
}

double rider_total_ratio(const rider* r)
{
    const bike_main_values& m = row_of(r).main;
    int g = std::clamp(r->gear, 0, 5);
    double ratio = m.gear_ratio[g];
    if (!(ratio > 0.0))
        return 0.0;
    return ratio * m.primary_ratio * r->final_ratio;
}

float rider_engine_rpm(const rider* r)
{
    return (float)(r->engine_speed * phys::rpm_per_rad_s);
}

float engine_torque(const rider* r)
{
    const bike_main_values& m = row_of(r).main;
    float t = engine_curve_torque(m.torque_closed, m.torque_open, rider_engine_rpm(r), r->throttle);
    if ((r->option_flags & 0x02) && r->frame_body && !has_contact(r->front_contact) &&
        has_contact(r->rear_contact)) {
        dVector3 local;
        const dReal* om = dBodyGetAngularVel(r->frame_body);
        dBodyVectorFromWorld(r->frame_body, om[0], om[1], om[2], local);
        if (local[0] > -1.0 / 32.0 && t > 0.0f)
            t = 0.0f;
    }
    return t;
}

double front_wheel_spin_angle(const rider* r)
{
    const bike_main_values& m = row_of(r).main;
    const dReal* v = dBodyGetLinearVel(r->front_wheel_body);
    dVector3 local;
    dBodyVectorFromWorld(r->fork_upper_body, v[0], v[1], v[2], local);
    double u[3] = {m.steer_upper[0] - m.steer_lower[0], m.steer_upper[1] - m.steer_lower[1],
                   m.steer_upper[2] - m.steer_lower[2]};
    double l = length3(u);
    double along = (local[0] * u[0] + local[1] * u[1] + local[2] * u[2]) / l;
    double forward = -(local[2] - along * u[2] / l);
    double sideways = local[0] - along * u[0] / l;
    if (forward * forward + sideways * sideways <= 1.0)
        return 0.0;
    return -std::atan2(sideways, forward);
}

void rider_body_relative_velocity(const rider* r, double out[3])
{
    const dReal* p = dBodyGetPosition(r->rider_body);
    const dReal* v = dBodyGetLinearVel(r->rider_body);
    dVector3 fv;
    dBodyGetPointVel(r->frame_body, p[0], p[1], p[2], fv);
    for (int k = 0; k < 3; k++)
        out[k] = v[k] - fv[k];
}

fork_values rider_fork_values(const rider* r)
{
    fork_values f{};
    f.spring_rate = r->fork_spring_rate;
    f.preload = r->fork_preload;
    f.air_gap = r->fork_oil_level;
    f.travel = row_of(r).main.fork_travel;
    f.compression = r->fork_compression;
    f.rebound = r->fork_rebound;
    f.slow_compression = r->fork_slow_compression;
    f.slow_rebound = r->fork_slow_rebound;
    return f;
}

shock_values rider_shock_values(const rider* r)
{
    const bike_info& row = row_of(r);
    const bike_tuning_values& t = row.tuning;
    shock_values s{};
    s.spring_rate = r->shock_spring_rate;
    s.preload = r->shock_preload;
    s.travel = row.main.swingarm_travel;
    s.compression = r->shock_compression;
    s.rebound = r->shock_rebound;
    s.slow_compression = r->shock_slow_compression;
    s.slow_rebound = r->shock_slow_rebound;
    s.linkage = {t.linkage_knee, t.linkage_knee_position, t.linkage_full_position,
                 {t.linkage_slope[0], t.linkage_slope[1], t.linkage_slope[2]}};
    return s;
}

void fork_readout(const rider* r, float* travel, float* speed, float* valve)
{
    const bike_info& row = row_of(r);
    double pos = dJointGetSliderPosition(r->fork_joint), v = dJointGetSliderPositionRate(r->fork_joint);
    *travel = (float)(-pos / row.main.fork_travel);
    *speed = (float)v;
    *valve = (float)valve_ratio(row.tuning.fork_readout, v, nullptr);
}

void shock_readout(const rider* r, float* travel, float* speed, float* valve)
{
    const bike_info& row = row_of(r);
    const bike_tuning_values& t = row.tuning;
    double angle = dJointGetHingeAngle(r->swingarm_joint);
    double x = std::clamp(-angle / row.main.swingarm_travel, 0.0, 1.0);
    shock_linkage_curve c{t.linkage_knee, t.linkage_knee_position, t.linkage_full_position,
                          {t.linkage_slope[0], t.linkage_slope[1], t.linkage_slope[2]}};
    double p, slope;
    shock_linkage(c, x, &p, &slope);
    double v = slope * dJointGetHingeAngleRate(r->swingarm_joint);
    *travel = (float)x;
    *speed = (float)v;
    *valve = (float)valve_ratio(t.shock_readout, v, nullptr);
}

void rider_contacts_refresh(const ride_world& w, rider* r)
{
    if ((r->option_flags & rider_option_flag) || r->contact_refresh_tic == w.tic)
        return;
    r->contact_refresh_tic = w.tic;
    wheel_contact* wheels[2] = {&r->front_contact, &r->rear_contact};
    for (wheel_contact* c : wheels) {
        double p[3], n[3], depth;
        if (wheel_contact_query(w.ground, *c, p, n, &depth)) {
            double slip[3];
            wheel_contact_store(c, p, n, depth, slip);
        } else {
            c->depth = 0.0f;
        }
    }
}

namespace {

// How the frame meets the ground at a touch along the ground's normal n:
// true when that throws the rider. A landing from the air faster than the
// rider's legs and the suspension can take; pitched nose-down far off the
// ground (a nose-first landing). A wall (a steep face) is not the ground: the
// wall test of the contact spheres judges that.
bool ground_throws_rider(const rider* r, const ride_state* s, const double n[3])
{
    if (n[1] < phys::crash_wall_normal_y)
        return false;
    double back[3];
    body_axis_world(r->frame_body, 2, back);
    // Nose-down: the frame's back axis tilted up off the ground.
    double nose_down = std::asin(std::clamp(back[0] * n[0] + back[1] * n[1] + back[2] * n[2], -1.0, 1.0));
    if (nose_down > phys::crash_pitch)
        return true;
    if (s->landing_tic < s->takeoff_tic) {  // the first touch after a flight
        const dReal* v = dBodyGetLinearVel(r->frame_body);
        if (-(v[0] * n[0] + v[1] * n[1] + v[2] * n[2]) > phys::crash_landing_speed)
            return true;
    }
    return false;
}

}  // namespace

int bike_tyre_forces(const ride_world& w, rider* r)
{
    if (!r->frame_body)
        return 0;
    int touching = 0;
    touching |= wheel_tyre_contact(w.ground, &r->front_contact, phys::grip_factor, w.world, w.group);
    touching |= wheel_tyre_contact(w.ground, &r->rear_contact, phys::grip_factor, w.world, w.group);
    contact_sphere spheres[rider_contact_sphere_max];
    int n = rider_contact_spheres(r, spheres, rider_contact_sphere_max);
    ride_state* s = ride_state_of(r);
    const double lean = body_lean_angle(r->frame_body);
    bool throws = false;
    for (const wheel_contact* c : {&r->front_contact, &r->rear_contact})
        if (has_contact(*c)) {
            const double normal[3] = {c->normal[0], c->normal[1], c->normal[2]};
            throws = throws || ground_throws_rider(r, s, normal);
        }
    for (int i = 0; i < n; i++) {
        dBodyID body = rider_body_at(r, spheres[i].body);
        dVector3 c;
        dBodyGetRelPointPos(body, spheres[i].centre[0], spheres[i].centre[1], spheres[i].centre[2], c);
        double centre[3] = {c[0], c[1], c[2]}, point[3], normal[3], depth;
        if (!sphere_ground_contact(w.ground, centre, spheres[i].radius, point, normal, &depth))
            continue;
        if (spheres[i].body != 6)
            touching = 1;
        dVector3 v;
        dBodyGetPointVel(body, point[0], point[1], point[2], v);
        double closing = -(v[0] * normal[0] + v[1] * normal[1] + v[2] * normal[2]);
        // The rider's head or torso on the ground, or the bike slammed into
        // a wall, is a crash; bottoming out on the ground below is not.
        bool wall = normal[1] < phys::crash_wall_normal_y && closing > phys::crash_contact_speed;
        if (spheres[i].body != 6) {
            throws = throws || ground_throws_rider(r, s, normal);
            if (normal[1] >= phys::crash_wall_normal_y && std::fabs(lean) > phys::crash_lying_lean)
                throws = true;  // down on its side
        }
        if (r->crash_tics == 0 && (spheres[i].crash || wall))
            s->hard_contact = 1;
        int32_t tile = ground_tile_at(w.ground, point[0], point[2]);
        double mu = w.ground.friction_values ? w.ground.friction_values[tile][0] : 1.0;
        ground_contact_joint(w, body, point, normal, depth, mu * spheres[i].friction, spheres[i].stiffness);
    }
    if (throws && r->crash_tics == 0 && r->crash_blend > 0.25f)
        s->hard_contact = 1;
    return touching;
}

void bike_physics_tic(const ride_world& w, rider* r)
{
    if (!r->frame_body)
        return;
    ride_state* s = ride_state_of(r);
    double speed = frame_speed(r);
    double dt = phys::tic_seconds;

    // 1. Settled once the bike stands after the start.
    if ((w.tic - w.start_tic) * dt > 2.0 && speed < 5.0) {
        s->settled = 1;
        r->is_down = 1;
    }
    if (r->crash_blend > 0.25f) {
        s->tics_run++;
        // 3. Recovery counter toward 0.
        if (s->recovery < -1.0f)
            s->recovery += 1.0f;
        else if (s->recovery > 1.0f)
            s->recovery -= 1.0f;
        else
            s->recovery = 0.0f;

        // 4. Take-off and landing.
        bool front = has_contact(r->front_contact), rear = has_contact(r->rear_contact);
        if (!front && !rear && dBodyGetLinearVel(r->frame_body)[1] < 0.0 && s->landing_tic >= s->takeoff_tic)
            s->takeoff_tic = w.tic;
        if ((front || rear) && s->landing_tic < s->takeoff_tic)
            s->landing_tic = w.tic;

        // 5. Crash test.
        if (r->crash_tics <= 0 && !r->arcade)
            crash_test(w, r, s);
        else if (r->crash_tics <= 0 && s->hard_contact && s->recovery >= 0.0f)
            rider_crash(r);  // collisions crash an arcade rider too
        s->hard_contact = 0;

        // 6. Crashed.
        bool crashed = r->crash_tics > 0;
        if (crashed)
            crashed_tic(w, r, s, speed);

        // 7. Brakes and dab of this tic.
        s->front_brake = crashed ? 0.0f : r->front_brake;
        s->rear_brake = crashed ? 0.0f : r->rear_brake;
        float dab = crashed ? 0.0f : r->dab;

        // 8. Stand-up assist: the foot goes down as the bike slows, and a
        // stopped bike is held up and braked.
        if ((r->option_flags & rider_option_auto_dab) && !crashed)
            standup_assist(w, r, s, speed, front && rear, &dab);

        // 9. The rider body on the frame.
        if (!crashed) {
            rider_body_tic(w, r);
            air_lean_tic(r, s, front || rear);
        }

        // 10. Steering.
        // The arcade lean motor's target follows the turn through a
        // low-pass: the motor reaches any lean rate within one step, so read
        // straight from this tic's yaw rate the target closes a loop (lean,
        // tyre forces, yaw, target) that rings at half the tic rate on a
        // light bike, the front tyre skipping and the fork chattering.
        s->balance_lean += (float)(phys::balance_lean_smoothing * (balance_lean(r) - s->balance_lean));
        if (!crashed)
            steering_tic(w, r, s, speed);

        // 11. Drivetrain, suspension, wobble damping, net-force correction.
        drivetrain_tic(w, r, s);
        suspension_tic(r);
        const dReal* om = dBodyGetAngularVel(r->front_wheel_body);
        double a[3];
        body_axis_world(r->front_wheel_body, 0, a);
        double along = om[0] * a[0] + om[1] * a[1] + om[2] * a[2];
        double k = phys::wheel_wobble_damping;
        double wt[3] = {k * (a[0] * along - om[0]), k * (a[1] * along - om[1]), k * (a[2] * along - om[2])};
        dBodyAddTorque(r->front_wheel_body, wt[0], wt[1], wt[2]);
        dBodyAddTorque(r->frame_body, -wt[0], -wt[1], -wt[2]);
        if (s->tics_run >= 3 && !crashed)
            feedback_correction(r, s);

        // 12. Line and upright assists of the realistic model: off the
        // throttle the bike leans as the rider's racing line leaned there;
        // without a line, or on the throttle, it is held up.
        if (!crashed && (front || rear) && !r->arcade) {
            bool on_line = line_assist(w, r);
            if (!on_line)
                upright_assist(r, s, speed);
        }

        // 13. Dab.
        if (crashed)
            s->dab_amount = std::min(1.0f, s->dab_amount + 8.0f * (float)dt);
        else
            s->dab_amount = std::clamp(dab, 0.0f, 1.0f);
        r->dab_effective = s->dab_amount;
    }
    // 14. The rider body's velocity for the crash test four tics on.
    const dReal* v = dBodyGetLinearVel(r->rider_body);
    float* slot = s->velocity_ring[w.tic & 3];
    slot[0] = (float)v[0], slot[1] = (float)v[1], slot[2] = (float)v[2];
    // Where the bodies stand for the next step's joint forces.
    dBodyID bodies[7];
    rider_bodies(r, bodies);
    for (int i = 0; i < 7; i++) {
        const dReal* p = dBodyGetPosition(bodies[i]);
        s->prestep[i][0] = p[0], s->prestep[i][1] = p[1], s->prestep[i][2] = p[2];
    }
}

void ride_step(ride_world& w, rider* const* riders, int count)
{
    for (int i = 0; i < count; i++)
        bike_tyre_forces(w, riders[i]);
    for (int i = 0; i < count; i++)
        for (int j = i + 1; j < count; j++)
            riders_collide(w, riders[i], riders[j], 0);
    dWorldStep(w.world, phys::tic_seconds);
    dJointGroupEmpty(w.group);
    for (int i = 0; i < count; i++)
        bike_physics_tic(w, riders[i]);
    w.tic++;
}
