#pragma once
// Drawing one rider and bike: every bike part on the pose of its physics
// body, the rider as one boned model posed by ui/rider_pose.h, the head
// turned to the direction of travel, the number plates, then an additive
// glow pass over the parts that have glow.
struct rider;

// mode 0: any rider but the watched one; 1: the watched rider with
// "hide_rider" on; 2: the watched rider otherwise. The caller sets the model
// alpha for ghosts. Returns the number of models drawn in the lit pass.
int draw_rider(const rider* r, int mode, const float camera[3]);

// The model layer as draw_rider uses it: loading by name and drawing one
// part model (glow: the glow pass). Tests record the draws through these.
struct mesh;
struct model_material;
struct model_bones;
extern mesh* (*rider_model_load)(const char* name);
extern void (*rider_model_draw)(mesh* m, int part, int glow, const float position[3], const float rotation[9],
                                const model_material* material, const model_bones* bones);

// Poses the rider for drawing (also used by tests): its pose from the
// bodies, the row and the foot targets.
struct rider_pose;
void rider_pose_of(const rider* r, rider_pose* pose);
