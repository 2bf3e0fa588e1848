#pragma once
// Lens flares: each of the track's flares whose point (or direction) is on
// screen and not hidden (its pixel bright, nothing nearer in the depth
// buffer) draws its elements additively along the line through the view's
// centre, fading at the screen's edges.

// The distance fraction (0 near .. 1 far) of a depth-buffer value d for the
// near and far planes n and f.
float linear_depth(float d, float n, float f);
// The fade of a flare at (sx, sy) in view units of a view of half-extents
// tx, ty: 1 inside, down to 0 at the edges over a 32nd of the smaller extent.
float flare_edge_fade(float sx, float sy, float tx, float ty);

// Draws the flares for the camera (position and row-major rotation) over the
// finished world view; call with the projection of set_perspective.
void draw_lens_flares(const float camera[3], const float rotation[9]);
