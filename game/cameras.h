#pragma once
// The orbit camera (view 3) and the track cameras (view 4). Both aim with
// the one camera convention of ui/view.h.
#include <cstdint>

#include "ui/view.h"

// The camera of view 4 when no track camera is selected (placed by the
// console's camera commands).
extern aimed_camera free_camera;
// The track camera view 4 shows: an index into track_cameras, -1 for the
// free camera. Set by the controls from the watched rider's checkpoint.
extern int32_t selected_track_camera;

// A key frame of the camera path: place, rotation quaternion (x, y, z, w,
// ui/view.h's convention), field of view and the race tic it is for.
struct camera_keyframe {
    float position[3];
    float q[4];
    float fov;
    int32_t tic;
};
static_assert(sizeof(camera_keyframe) == 36);
// The camera on a path of n key frames (ascending tics) at tic: before the
// first or past the last the nearest key frame as it is; between two a
// cubic Hermite position whose tangents average the neighbouring chords per
// tic (an interval of 0 or less gives that end no tangent), the quaternion
// likewise with neighbours turned to its side and made unit, the field of
// view linear.
void keyframe_camera(const camera_keyframe* keys, int n, double tic, float position[3], float q[4], float* fov);

// Draws the orbit camera's view round the watched rider.
void orbit_view_draw();
// The orbit camera's place and rotation round the watched rider; 0 when
// there is no rider.
int orbit_camera_place(float position[3], float rotation[9]);
// One tic of camera controls from the control channels.
void orbit_camera_controls();
void track_camera_controls();
// Draws the view of the selected track camera (or the free camera).
void render_track_camera_view();
// Picks the camera of the watched rider's last checkpoint and aims every
// camera one tic (snap: jump onto the rider).
void track_cameras_step(int snap);
