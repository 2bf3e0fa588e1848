#pragma once
// View helpers shared by the world view, the HUD and the loading screens.

// Viewport (0, 0, width, height), the frustum for the field of view (degrees,
// the horizontal one of a 4:3 view) with the track's near and far planes, an
// identity model-view, and the view extents view_extent_w/h at unit distance.
void set_perspective(int width, int height, float fov_degrees);
