#pragma once
// The auto pilot: computer riders following racing lines. Its per-rider
// fields live in the rider record (physics/rider.h); a personality of 0 is a
// rider driven by a person or by its history.
#include <cstdint>

#include "physics/rider.h"

struct autopilot_personality_row {
    const char* name;
    int32_t mode_normal, mode_when_leading;
    float lead_threshold;                    // seconds
    float start_delay_min, start_delay_max;  // seconds
};
constexpr int autopilot_personality_count = 5;
extern const autopilot_personality_row autopilot_personalities[autopilot_personality_count];

// Gives the rider the personality of that name (rows 1..4; row 0 is never
// taken by name). An unknown name takes row 1 with a log line. The row.
int32_t rider_set_autopilot_personality(rider* r, const char* name);

// How far along its path the rider is, as a fractional point index: from the
// last path point behind it (along the main body's backward axis) to the one
// after it. 0 with no point behind, the target index when that is 0.
double path_progress(const rider* r);

// Once per tic for every rider the auto pilot drives: its controls for the
// next step. Nothing for personality 0.
void autopilot_tic(rider* r);
