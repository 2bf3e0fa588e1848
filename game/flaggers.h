#pragma once
// The people who dress a race, all billboards: the start flagger who walks on
// and shows the start sequence, the lap board (halfway, last lap, finish) and
// the track-side flaggers who wave a warning when a rider is down near the
// checkpoints they watch. Read from the track's "flaggers" file
// (docs/track_objects.md); the world view animates them.
#include <cstdint>

#include "core/array.h"

struct flagger {
    int32_t billboard;
    int32_t calm_texture;
    int32_t warning_texture;
    int32_t checkpoints[4];  // -1 for none
};

struct start_flagger_record {
    int32_t billboard;    // -1 when none
    int32_t textures[5];  // the frames of the start sequence
    float start[3];
    float end[3];
    float walk_time;      // seconds
};

struct lap_board_record {
    int32_t billboard;    // -1 when none
    int32_t textures[4];  // normal lap, halfway, last lap, finished
};

extern growable_array flaggers;  // of flagger
extern start_flagger_record start_flagger;
extern lap_board_record lap_board;

// Reads the file at path after the timing gates (the flaggers' checkpoints
// are clamped to them). A missing file leaves no flaggers.
void flaggers_load(const char* path);
void flaggers_free();
