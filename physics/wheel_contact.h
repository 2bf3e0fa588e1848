#pragma once
// Where a tyre meets the ground: the tyre ring (a torus round the axle)
// against the terrain's triangles, the full search for the tyre forces and
// the first-hit query for effects and script queries.
//
// The searches read the ground through ground_view, a few pointers into the
// terrain record, so they can be tested on small synthetic grids.
#include <cstdint>

#include <ode/ode.h>

struct terrain;

// The ground as the contact code reads it. heights: size x size samples,
// index x + size * z; the tile map is 2^exponent tiles a side, one tile = 2 x 2
// cells; the curves are indexed by tile number.
struct ground_view {
    const float* heights;
    int32_t size;
    float spacing, inv_spacing;
    const uint8_t* tile_map;  // may be null: every contact is on tile 0
    int32_t exponent;
    const int32_t* slip_function;          // [tile]
    const float (*friction_keys)[8];       // [tile][8]
    const float (*friction_values)[8];
    const float (*roll_keys)[8];
    const float (*roll_pairs)[8][2];
    const terrain* source;  // the terrain record the view reads, or null
};

struct wheel_contact {
    dBodyID body;
    float axis[3];              // axle in the wheel body's frame
    float tyre_radius;          // wheel centre to the middle of the section
    float tyre_section_radius;  // > 0
    float contact_point[3];
    float slip_velocity[3];
    float normal[3];            // unit, from the ground into the wheel
    float depth;                // <= 0: no contact
    dJointFeedback feedback;
};

// A tyre ring: centre, unit axle (world), ring radius and section radius.
struct tyre_ring {
    double centre[3];
    double axle[3];
    double radius;
    double section;
};

// Result of a ring against one triangle: depth > 0 on contact, the deepest
// point of the ground and an unnormalised normal from the ground into the tyre.
struct ring_hit {
    double depth;
    double point[3];
    double normal[3];
};

// Full test: the ring's lowest point toward the triangle's plane, then
// refined toward the triangle's nearest edge or corner, each ring point a
// sphere of the section radius against the triangle.
ring_hit ring_triangle_full(const tyre_ring& ring, const double v0[3], const double v1[3], const double v2[3]);
// Fast test: the lowest point toward the plane only.
ring_hit ring_triangle_fast(const tyre_ring& ring, const double v0[3], const double v1[3], const double v2[3]);

// Normal clean-up shared by both searches: a normal pointing up is made unit;
// one pointing down with almost no horizontal part, or a zero one, becomes
// straight up; any other becomes horizontal.
void contact_normal_clean(double n[3]);

// The ground height sample at grid index (i, j), both clamped to the grid.
float ground_sample(const ground_view& g, int32_t i, int32_t j);

// The two triangles of cell (i, j) by the terrain's triangle rule, vertices
// in world coordinates: tri[0..2] and tri[3..5].
void ground_cell_triangles(const ground_view& g, int32_t i, int32_t j, double tri[6][3]);

// The tyre ring of a wheel record from its body's pose.
tyre_ring wheel_ring(const wheel_contact& w);

// Full search (deepest over every triangle under the wheel): 1 with a contact.
int wheel_contact_search(const ground_view& g, const wheel_contact& w, double point[3], double normal[3], double* depth);
// First-hit query (rows in order, columns middle-outward): 1 with a contact.
int wheel_contact_query(const ground_view& g, const wheel_contact& w, double point[3], double normal[3], double* depth);
// Stores a found contact in the wheel record, with the wheel's velocity at the
// contact point as its slip velocity (also given back at full precision).
void wheel_contact_store(wheel_contact* w, const double point[3], const double normal[3], double depth,
                         double slip[3]);

// The deepest contact of a sphere with the ground triangles under it: 1 with
// depth > 0, the ground point and a clean unit normal.
int sphere_ground_contact(const ground_view& g, const double centre[3], double radius, double point[3],
                          double normal[3], double* depth);

// The ground's height under (x, z): the terrain's own height query when the
// view reads a terrain record, else the nearest sample.
double ground_height_at(const ground_view& g, double x, double z);

// The tile under a world point.
int32_t ground_tile_at(const ground_view& g, double x, double z);
