#pragma once
// Drawing helpers on physics bodies, through the GL layer's matrix stack and
// immediate mode.
#include <ode/ode.h>

// Pushes the modelview matrix and multiplies it by the body's pose (its
// position, then its rotation); the caller pops. position and rotation get
// the body's position and its column-major 4 x 4 pose when not null.
void body_gl_transform(dBodyID body, float position[3], float rotation[16]);

// Draws the six faces of a box of half-size size round a point as quads.
void draw_marker_box(const float point[3], float size);
