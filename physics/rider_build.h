#pragma once
// The rider build: seven ODE bodies (frame, front wheel, rear wheel, fork
// upper, fork lower, swingarm, rider) and six joints made from a bike row,
// and the pose helpers that move a whole rider.
//
// The rest pose is the row's: every body at its rest centre with the world's
// orientation, the fork and the swingarm fully extended. The joints are made
// in that pose, so their angles and positions read 0 there.
#include <ode/ode.h>

#include "physics/rider.h"

// Makes the bodies and joints of the rider's row (r->bike_index) in world,
// with the joint stops, feedback records, wheel contact records and the total
// mass; leaves the rider at its rest pose. 0 when the rider already has
// bodies.
int rider_build(rider* r, dWorldID world);

// Every body back to its rest pose at the origin, velocities and the engine
// cleared; a crashed rider is back on the seat (the crash count is kept).
void rider_reset_pose(rider* r);
// Every body moved by (x, y, z).
void rider_translate(rider* r, double x, double y, double z);
// Every body's rotation set to the turn about (ax, ay, az) by angle, and its
// position p moved to R p (about the world origin).
void rider_set_orientation(rider* r, double ax, double ay, double az, double angle);

// The seven bodies in record order.
void rider_bodies(const rider* r, dBodyID out[7]);
// The six joints in record order.
void rider_joints(const rider* r, dJointID out[6]);

// The rest centre of body i (record order) from the row.
void rider_rest_centre(const rider* r, int i, double out[3]);
