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

// Draws the orbit camera's view round the watched rider; the listener
// stands still while it draws and takes the bike's velocity afterwards.
void orbit_view_draw();
// The orbit camera's place and rotation round the watched rider; 0 when
// there is no rider.
int orbit_camera_place(float position[3], float rotation[9]);

// What the orbit camera is placed from: the chase centre in the world, the
// frame body's third rotation column (its backward axis) and its velocity.
struct orbit_subject {
    float centre[3];
    float body_z[3];
    float velocity[3];
};
// With own set the camera trails the heading (the bike's forward axis,
// turned towards its velocity from 10 ft/s and the velocity itself from
// 30 ft/s, unless rigid) at distance and height; otherwise it stands at the
// orbit angle round the centre at the orbit distance and height. It stays
// 5 ft above the smoothed ground and looks at the centre with a level right
// axis. direction (x, z) is the last usable trailing direction, kept when
// the heading comes out zero.
void orbit_camera_pose(const orbit_subject& subject, int own, int rigid, float distance, float height,
                       float direction[2], float position[3], float rotation[9]);

// One tic of the orbit camera from channels: steer turns it a full circle
// in 1024 tics, throttle and front brake (above one half) bring it 1/64 ft
// nearer (never nearer than 0.25 ft) or farther, shift lifts it by up to
// 1 ft a second. orbit_camera_controls takes the tic's control channels.
void orbit_controls_step(const float channels[]);
void orbit_camera_controls();
// The nearest the orbit camera comes.
constexpr float orbit_distance_min = 0.25f;

// The track-camera view: 1 while the view follows the watched rider from
// camera to camera (flipped by pressing dab), and the free camera's speed
// along its view (ft/s, -100..100).
extern int32_t auto_camera;
extern float free_camera_speed;
// The camera that watches the checkpoint of the rider's last gate, gates
// being the rider's count of passed gates; -1 when it passed none or the
// checkpoint has no camera.
int32_t track_camera_of_gates(int32_t gates);
// The camera automatic switching makes current: the gates' camera when
// there is one other than current; current otherwise and always when
// current is the free camera (-1).
int32_t auto_camera_pick(int32_t gates, int32_t current);
// One tic of the free camera's flight: throttle and front brake (above one
// half) speed it up or down by 80 ft/s a second, it slows by 60 ft/s a
// second, moves along its view and keeps 2 ft above the smoothed ground of
// the track; its field of view follows the "fov" setting.
void free_camera_flight(aimed_camera* c, float* speed, const float channels[]);
// One tic of the track-camera view's controls: dab flips auto_camera, the
// automatic switch, the aim of the current camera (snapping onto the rider
// after a switch; steer and shift turn it when automatic is off) and the
// free camera's flight.
void track_camera_controls();
// At a race reset the free camera starts 5 ft above the watched rider's
// frame, turned as it was; nothing without a rider.
void free_camera_to_watched_rider();
// The camera a typed digit selects: 1..9 the track camera of that number,
// the last one for a number past the last, 0 the free camera (-1).
int32_t track_camera_of_digit(int32_t digit);
// Aims the current camera one tic at the watched rider (snap: jump onto it).
void track_cameras_step(int snap);
// Draws the view of the selected track camera (or the free camera).
void render_track_camera_view();
