#pragma once
// Rider against rider: each rider is a set of spheres on its bodies (wheels,
// frame, rider); touching spheres make one-tic soft contact joints between the
// two bodies.
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
