#pragma once
// View and scene helpers shared by the world view, the cameras, the HUD and
// the loading screens: the projection, the one camera convention, the aim
// step of aimed cameras, the Doppler factor and the guarded normalise.
//
// Camera convention, everywhere: a rotation is nine floats, row-major, whose
// columns are the camera's right (x), up (y) and backward (z) axes in world
// space; the camera looks along -z. Yaw turns about the world's y axis
// (yaw 0 looks along +z, yaw pi/2 along +x) and pitch is up-positive, so
// yaw y and pitch p look along (sin y cos p, sin p, cos y cos p).

// Viewport (0, 0, width, height), the frustum for the field of view (degrees,
// the horizontal one of a 4:3 view, clamped to 10..170) with the track's near
// and far planes, an identity model-view, and the view extents
// view_extent_w/h at unit distance.
void set_perspective(int width, int height, float fov_degrees);
// The viewport of the last set_perspective: the frame's drawable size.
extern int view_viewport_w, view_viewport_h;
// The field of view set_perspective uses for fov_degrees.
float clamp_fov(float fov_degrees);

// Normalises v in place; a vector shorter than 1e-12 becomes fallback (or is
// left as it is when fallback is null). Returns the length it had.
float vec3_normalize(float v[3], const float* fallback = nullptr);

// The rotation of a camera at yaw and pitch (radians).
void camera_rotation(float yaw, float pitch, float rotation[9]);
// The key-frame quaternion (x, y, z, w) of yaw then pitch, and the rotation
// of a quaternion; quaternion_rotation(camera_quaternion(y, p)) equals
// camera_rotation(y, p).
void camera_quaternion(float yaw, float pitch, float q[4]);
void quaternion_rotation(const float q[4], float rotation[9]);
// The look direction (-z column) of a rotation.
void camera_look(const float rotation[9], float look[3]);

// An aimed camera: place, heading, rates (radians per second) and the field
// of view (degrees), widened to hold autofov_size feet when that is above 0.
struct aimed_camera {
    float x, y, z;
    float yaw, pitch;
    float yaw_rate, pitch_rate;
    float fov;
    float autofov_size;
};
// One tic of aiming: with manual non-null, manual[0] and manual[4] (-1..1)
// turn the camera; otherwise it tracks the target moving at velocity,
// snapping its heading and pitch onto it when snap is set. Pitch stays within +-pi/2.
void camera_aim_step(aimed_camera* c, const float* manual, const float target[3], const float velocity[3],
                     int snap);

// The pitch factor of a sound source heard by the listener: 1 at the
// listener; between 0.125 and 8, keeping its direction at the extremes.
float doppler_factor(const float source[3], const float source_velocity[3], const float listener[3],
                     const float listener_velocity[3]);
