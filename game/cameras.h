#pragma once
// The orbit camera (view 3) and the track cameras (view 4).

// Draws the orbit camera's view round the watched rider.
void orbit_view_draw();
// One tic of camera controls from the control channels.
void orbit_camera_controls();
void track_camera_controls();
// Draws the view of the selected track camera.
void render_track_camera_view();
