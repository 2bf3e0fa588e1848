#pragma once
// The script API: the 62 natives the host registers on "zt" (docs/script_api.md
// lists them), the prelude evaluated before every track script, and the pose
// sequences that animate posed statues.
//
// Natives never raise a script error for a bad argument: a non-number reads
// as 0, a non-text as "", integers truncate (script_to_int), and the result
// reports the failure (0, -1 or ""). Billboard and statue indices count from
// the first object of the track's own files.
#include <cstdint>

#include "script/script_host.h"

constexpr int script_native_count = 62;
// In table order; the names end with a null entry.
extern const char* const script_native_names[script_native_count + 1];
extern const script_native script_native_functions[script_native_count];
extern const int script_native_counts[script_native_count];

// Plain JavaScript on "zt": the dispatchers the hooks call, the default
// handlers, constants and helpers. It makes no global but "zt".
extern const char script_prelude[];

// ---- Pose sequences -----------------------------------------------------------

constexpr int32_t pose_sequence_limit = 1024;
// 32 bones is what a posed statue holds; 4096 frames is over half a minute
// at 128 frames a second, far beyond a statue's cheer and small enough that
// 4096 x 32 x 12 floats (6 MiB) is the largest sequence.
constexpr int32_t pose_bone_limit = 32;
constexpr int32_t pose_frame_limit = 4096;

struct pose_sequence {
    int32_t frame_count, bone_count;
    float* rest;       // bones x 3
    float* positions;  // frames x bones x 3
    float* rotations;  // frames x bones x 9, row-major 3 x 3
};
extern pose_sequence pose_sequences[pose_sequence_limit];
extern int32_t pose_sequence_count;
void pose_sequences_free();

// ---- Objects a script adds ----------------------------------------------------

// A load adds at most this many billboards and statues: thousands of banners
// are far beyond any scene a track needs, and every one costs each frame's
// sort and draw, so a script calling add_billboard a million times leaves the
// game at its frame rate. The first refusal for the limit is the load's
// error line, so a track's author learns why objects are missing.
constexpr int32_t script_object_limit = 4096;
void script_objects_added_reset();

// ---- What the natives read beside the race globals ----------------------------

// The camera of the view being drawn: position and its 3 x 3 orientation
// (the axis vectors as columns). The world view sets it before script_frame.
struct script_camera_record {
    float position[3];
    float orientation[9];
};
extern script_camera_record script_camera;
// broadcast_script_message sends only while the race server allows it; the
// network client sets this (off by default) and the race's id.
extern int32_t script_message_permission;
extern int32_t script_message_race_id;
