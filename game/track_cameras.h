#pragma once
// Fixed track cameras and which checkpoint each watches, from the track's
// "cameras" file (docs/track_objects.md). The track-camera view switches to
// the camera of the watched rider's checkpoint and aims it.
#include <cstdint>

#include "core/array.h"

struct track_camera {
    float x, y, z;                 // y absolute: the file's height + the ground's
    float yaw, pitch;              // radians, filled by the aim step
    float yaw_rate, pitch_rate;    // radians per second
    float fov;                     // degrees, 1..179
    float autofov_size;
};

constexpr int32_t gate_camera_count = 1024;

extern growable_array track_cameras;  // of track_camera
// Per checkpoint the camera that watches it, -1 for none.
extern int32_t gate_camera[gate_camera_count];

// Empties the table and the gate map (also when the file is missing), then
// reads the file at path.
void track_cameras_load(const char* path);
void track_cameras_free();
