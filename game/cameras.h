#pragma once
// The orbit camera (view 3) and the track cameras (view 4). Both aim with
// the one camera convention of ui/view.h.
#include <cstdint>

#include "core/game_state.h"
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
// The orbit controls on given channels: full steer turns the angle by
// 2 pi / 1024 (kept in -pi..pi); throttle above 0.5 brings the camera
// 1/64 ft nearer (never nearer than 0.25), the front brake takes it as far
// back; the shift channel raises it by its value per second.
void orbit_controls_step(const float channels[control_channel_count]);
// The track cameras' automatic switching, flipped by a rise of channel 6.
extern int32_t auto_camera;
// The camera the automatic switching picks for a rider that has passed
// gates sequence entries (the later laps folded onto the normal lap): the
// one mapped to the last checkpoint passed, or current when that is -1,
// when no gate was passed, without a normal lap, or when current is the
// free camera (-1), which is never left automatically.
int32_t auto_camera_pick(int32_t gates, int32_t current);
// One tic of the free camera's flight: throttle and front brake speed it up
// forwards or backwards by 80 ft/s per second (at most 100 ft/s), and the
// speed eases toward 0 by 60 ft/s per second; it moves along its view and
// stays 2 ft above the ground. Its field of view follows the setting.
void free_camera_flight(aimed_camera* c, float* speed, const float channels[control_channel_count]);
// Draws the view of the selected track camera (or the free camera).
void render_track_camera_view();
// Picks the camera of the watched rider's last checkpoint and aims every
// camera one tic (snap: jump onto the rider).
void track_cameras_step(int snap);
