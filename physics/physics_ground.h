#pragma once
// The loaded terrain as the riders' ground, and the wheels' ruts in it.
#include "physics/physics_tic.h"
#include "physics/rider.h"
#include "physics/wheel_contact.h"
#include "terrain/erode.h"
#include "terrain/terrain.h"

// Points the contact code at the terrain record (after every track load).
// The ground then follows that record: when a load replaces its heights or a
// free releases them, the ground reads the new ones, or is flat while the
// record is empty, so it never reads a released block.
void physics_ground_from_terrain(const terrain* t);
// The ground view of a terrain record.
ground_view ground_view_of(const terrain* t);

// Each wheel's rut tracker (front, rear) of a rider's slot.
rut_tracker* rider_rut_tracker(const rider* r, int front);
// Clears both trackers (at every pose reset).
void rider_ruts_reset(const rider* r);

// The debug markers: bit 0 of the flag word lays one every marker spacing
// along the frame's path with both wheels' rut state. The race installs the
// marker list's two operations.
extern int32_t debug_marker_flags;
extern float debug_marker_spacing;
extern float (*distance_to_last_marker_hook)(float x, float y, float z);
extern void (*add_marker_hook)(float x, float y, float z, const char* text);

// Ruts of both wheels from their contacts, and the debug marker.
void wheel_effects_tic(const ride_world& w, rider* r);
void wheel_effects_tic(rider* r);
