#pragma once
// The one physics world of the program, its per-tic contact group and the
// ground the riders touch, and the per-rider operations in the form the race
// step calls them (each reads the world, the ground and the race clock from
// here).
#include <ode/ode.h>

#include "physics/collision_shape.h"
#include "physics/physics_tic.h"
#include "physics/rider.h"
#include "physics/wheel_contact.h"

// The world (gravity (0, -32, 0)) and the group of one-tic joints that the
// race step empties after every world step. Null until created.
extern dWorldID physics_world;
extern dJointGroupID contact_joint_group;
// The ground as the contact code reads it (the loaded terrain; flat at 0
// while no track is loaded).
extern ground_view physics_ground;

// Gives a world the physics' settings: gravity (0, -32, 0); ODE's own ERP
// and CFM.
void physics_world_setup(dWorldID world);

// Creates the world and the group (once; later calls do nothing).
void physics_world_create();
// Destroys them (riders must be destroyed first).
void physics_world_destroy();
// Flat ground at height 0 with one surface of friction 1: what the riders
// stand on before a track is loaded.
void physics_ground_flat();

// The world, group, ground and race clock of this tic.
ride_world physics_current();

// Makes the rider's bodies and joints in the program's world and puts it at
// its rest pose at the origin.
int rider_build_in_world(rider* r);

// The race's test whether a slot is hidden (no rider, a spectator, stale
// network state); the race installs it. Null: every slot is shown.
extern int (*slot_is_hidden_hook)(int slot);
// True when the rider's slot is shown, its down flag is set and it has not
// finished.
int rider_is_down_on_track(const rider* r);

int bike_tyre_forces(rider* r);
void bike_physics_tic(rider* r);
void rider_contacts_refresh(rider* r);
void roost_tic(rider* r);
void treadmarks_tic(rider* r);
int riders_collide(rider* a, rider* b, int mode);
int rider_collide_object(rider* r, const collision_shape* object, const double position[3], const double rotation[9],
                         double scale);
