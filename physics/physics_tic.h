#pragma once
// The per-tic physics of one rider: the contact phase (tyre forces and the
// frame and rider against the ground), and after the world step the forces
// and motors for the next step (controls, steering, assists, drivetrain,
// suspension, crash test and recovery). Also the crash blend and the
// readouts other subsystems take from a riding bike.
//
// The race step runs, per tic: bike_tyre_forces for every rider, one
// dWorldStep, the contact group emptied, then bike_physics_tic per rider.
#include <cstdint>

#include <ode/ode.h>

#include "physics/rider.h"
#include "physics/suspension.h"
#include "physics/wheel_contact.h"

// The world a tic runs in: the physics world, its one-tic contact group, the
// ground, the race's tic count and start tic.
struct ride_world {
    dWorldID world;
    dJointGroupID group;
    ground_view ground;
    int32_t tic;
    int32_t start_tic;
};

// What the physics tic keeps per rider beyond the record's own fields.
struct ride_state {
    int32_t takeoff_tic, landing_tic;
    int32_t settled;
    int32_t tics_run;                // tics simulated since the build or reset
    float recovery;                  // <0 being put back, >0 after a respawn
    float velocity_ring[4][3];       // rider-body velocity of the last 4 tics
    float target_points[4][3];       // hands, feet (world) while crashed
    float pull[2][3];                // hand pull vectors while being put back
    float bend;                      // bend blend of the target points, 0..1
    float front_brake, rear_brake;   // effective values of this tic
    float dab_amount;
    float treadmark[2][3];           // per wheel: last x, state, last z
    int32_t hard_contact;            // set by the contact phase: crash it
    double prestep[7][3];            // body positions the next step starts from
    float balance_lean;              // the lean that balances the turn, smoothed
    double air_swing, air_swing_rate;
    float last_lean;                 // the frame's lean at the last tic
    float asked_lean;                // the lean the realistic rider's bars ask for  // the rider's body swung against the bike (rad, rad/s)
};

// The physics-tic state of a rider's slot.
ride_state* ride_state_of(const rider* r);
void ride_state_reset(const rider* r);

// Crash counter extras by crash count (0..15); the race server may set them.
extern int32_t crash_knockout_tics[16];

// Contact phase: both tyre contacts, then the frame's and the rider's
// spheres against the ground. Nonzero while a wheel or the frame touches.
int bike_tyre_forces(const ride_world& w, rider* r);

// Forces and motors for the next world step.
void bike_physics_tic(const ride_world& w, rider* r);
// One whole step of these riders in order: every rider's tyre forces, every
// pair's collisions, one dWorldStep, the contact group emptied, every rider's
// forces for the next step, and the world's tic advanced.
void ride_step(ride_world& w, rider* const* riders, int count);

// Crash blend (the presence value): 1 simulated, 0 shown from its history.
void rider_fall(rider* r);
void rider_recover(rider* r);
void rider_start_fall(rider* r);
void rider_fall_step(rider* r);
int rider_is_down(const rider* r);

// The crash test's limits (rider-body acceleration, ft/s^2, and speed against
// the frame, ft/s): ordinary riding and flight 2064 and 46.5; lower just
// after landing a long jump, down to 1376 and 31.
void crash_limits(int32_t takeoff_tic, int32_t landing_tic, int32_t tic, double* accel, double* speed);

// Starts a crash: counter 512 + knockout[min(count, 15)], count + 1; the
// rider body lets go of the bike.
void rider_crash(rider* r);

double front_wheel_spin_angle(const rider* r);
float engine_torque(const rider* r);
float rider_engine_rpm(const rider* r);
// Total ratio of the current gear (0 in neutral).
double rider_total_ratio(const rider* r);

// The fork's and the shock's values as the tic drives them: the rider's
// settings on the row's travel and linkage.
fork_values rider_fork_values(const rider* r);
shock_values rider_shock_values(const rider* r);

// Telemetry: travel fraction, speed and valve ratio of each damper.
void fork_readout(const rider* r, float* travel, float* speed, float* valve);
void shock_readout(const rider* r, float* travel, float* speed, float* valve);

// Once-per-tic refresh of both wheel contacts with the first-hit query.
void rider_contacts_refresh(const ride_world& w, rider* r);

// The bike's and the rider's contact spheres (from their sphere sets, scaled
// to the row), in their body's frame.
constexpr int rider_contact_sphere_max = 40;
struct contact_sphere {
    int body;  // record order: 0 frame, 3 fork upper, 4 fork lower, 5 swingarm, 6 rider
    double centre[3];
    double radius;
    float friction, stiffness;  // scales of the ground's friction and contact spring
    int crash;                  // touching anything crashes the rider
};
int rider_contact_spheres(const rider* r, contact_sphere* out, int max);
dBodyID rider_body_at(const rider* r, int index);

// Rider-body velocity minus the frame's velocity at the rider body.
void rider_body_relative_velocity(const rider* r, double out[3]);
