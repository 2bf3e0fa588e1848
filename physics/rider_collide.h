#pragma once
// Rider against rider: each rider is a set of spheres on its bodies (wheels,
// frame, rider); touching spheres make one-tic soft contact joints between the
// two bodies.
#include "physics/collision_shape.h"
#include "physics/physics_tic.h"
#include "physics/rider.h"

// A rider's contact spheres in world space (at most rider_sphere_max).
constexpr int rider_sphere_max = rider_contact_sphere_max + 2;
struct world_sphere {
    dBodyID body;
    double centre[3];
    double radius;
    int part;  // 1 body (frame, rider), 2 front wheel, 4 rear wheel
};
int rider_world_spheres(const rider* r, world_sphere out[rider_sphere_max]);

// Collides two riders. Mode 0: both are simulated; mode 1: b is only shown
// (from its history), so the contacts act on a alone. Sets both riders' down
// flags on contact. Nonzero when they touched.
int riders_collide(const ride_world& w, rider* a, rider* b, int mode);

// Collides the rider's spheres with a static object's sphere set placed at
// position, turned by rotation (3 x 3, row-major) and scaled. Contacts act on
// the rider alone. Bits of what touched: 1 body, 2 front wheel, 4 rear wheel;
// 0 for none. A touch sets the down flag.
int rider_collide_object(const ride_world& w, rider* r, const collision_shape* object, const double position[3],
                         const double rotation[9], double scale);
// The same for some of the rider's spheres only: parts is a mask of the bits
// above (2 | 4: the two wheels).
int rider_collide_object_parts(const ride_world& w, rider* r, const collision_shape* object, const double position[3],
                               const double rotation[9], double scale, int parts);

// The points the rider's hands and feet reach for (world space: left hand,
// right hand, left foot, right foot) and the bend blend of the limbs, 0..1:
// on the grips and pegs while riding; where they were at the crash while
// crashed, blending back while the rider is put back.
float rider_target_points(const rider* r, float out[4][3]);
// Stores the present targets as the crash targets (called when a crash starts).
void rider_freeze_target_points(rider* r);
