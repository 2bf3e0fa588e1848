#pragma once
// Engine and drivetrain maths: the two torque curves, the automatic gearbox,
// the anti-stall clutch and the clutch spring-damper that couples the engine
// flywheel (kept off the physics world) to the rear axle hinge.
//
// Everything here is a plain function of its arguments so that the physics tic
// and the tests share one implementation.
#include <cstdint>

// Engine torque at rpm: both 50-entry curves (500-rpm steps) interpolated
// linearly and mixed by throttle 0..1. Negative rpm reads entry 0; from
// 24,500 rpm on the last entry.
float engine_curve_torque(const float* closed, const float* open, float rpm, float throttle);

// The gear the automatic gearbox picks at wheel-side engine speed wheel_rpm.
// ratios: six gear ratios (gear 0 is neutral; a ratio <= 0 marks no gear).
// The gearbox never picks neutral while gear 1 exists, so a bike that slows
// down is never stranded with no drive.
int32_t gearbox_auto_gear(const float ratios[6], int32_t gear, double wheel_rpm,
                          double downshift_rpm, double upshift_rpm);

// The clutch value the engine may use at rpm with idle setting idle_rpm: open
// at idle, closing linearly to the full value 2000 rpm above it.
double anti_stall_clutch(double clutch, double rpm, double idle_rpm);

// The engine flywheel: angular speed (rad/s at the crank) and its angle
// referred to the rear wheel (-pi..pi).
struct engine_state {
    float omega;
    float theta;
};

struct clutch_inputs {
    double wheel_angle;  // rear axle hinge angle, phi
    double wheel_rate;   // its rate, phi' (positive rolling forward)
    double ratio;        // total ratio N (0 in neutral)
    double clutch;       // engagement 0..1 as the rider holds it
    double clutch_used;  // after the anti-stall limit
    double stiffness;    // ks, lbf*ft/rad
    double damping;      // kd, lbf*ft*s/rad
    double engine_torque;
    double inertia;      // slug*ft^2
    double dt;
};

// One tic of the clutch and flywheel: returns the torque T that the caller
// applies as -T about the rear wheel's x axis and +T to the frame, and
// advances the engine's speed and angle. In neutral the engine runs free
// (T = 0) and its angle follows the wheel.
double clutch_step(engine_state* engine, const clutch_inputs& in);

// Wraps an angle into -pi..pi by one turn either way.
double wrap_angle(double angle);

// The front brake's torque after the rider's aids (option bits): bit 3
// releases it while the front tyre slides on the ground; bit 2 releases it
// while the front wheel is down and the rear one is off the ground (a stoppie
// in the making), and with bit 3 too whenever the rear wheel is off the
// ground, in the air as well, where a braked front wheel would pitch the
// bike nose-down.
double front_brake_release(uint8_t option_flags, double torque, bool front_contact, bool front_slides,
                           bool rear_contact);
