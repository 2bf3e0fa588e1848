#pragma once
// The world view: sky, terrain, riders, statues, billboards and ghosts from
// one camera. render_view is the one routine that draws; the rider view, the
// track-camera view and the key-framed path feed it a camera.
#include <cstdint>

#include <ode/ode.h>

// Camera: position (feet) and rotation (row-major, columns the camera's
// right, up and backward axes; ui/view.h), field of view in degrees, and the
// slot drawn as the watched rider (-1 for none).
void render_view(const float position[3], const float rotation[9], float fov_degrees, int watched_slot);
// The same with a key-frame quaternion (x, y, z, w).
void render_view_quat(const float position[3], const float q[4], float fov_degrees);
// The riding view of the watched rider from its upper body (view 0).
void render_rider_view(dBodyID body, int watched_slot);

// The last camera render_view drew from.
struct view_camera_record {
    float position[3];
    float rotation[9];
};
extern view_camera_record view_camera;

// What the last frame drew (the results overlay shows them with maxima).
struct view_frame_stats {
    int32_t ground_polygons, model_polygons, model_vertices, billboards, texture_changes;
};
extern view_frame_stats view_stats, view_stats_max;

// Ghost alpha of a network rider at distance from the local rider with fade
// distance G: 0 up to G/2, 1 from G on; G <= 0 means no fading.
float ghost_alpha(float distance, float G);

// The material of models lit by the track's sun: its ambient and colour,
// white highlights.
struct model_material;
void sunlit_material(model_material* material);

// Plain sky colour of "--fugly".
extern const float sky_plain_colour[3];
