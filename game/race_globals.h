#pragma once
// The race's clock and timing values that the physics and lap timing read.
#include <cstdint>

// Seconds per simulation tic (1/128).
extern double tic_length;

// The track's timing-gate counts as lap timing reads them.
struct timing_gates_record {
    int32_t checkpoint_count;    // 0: the track has no timing gates
    int32_t counted_first_lap;   // F: counted gates of the first lap
    int32_t counted_normal_lap;  // N: counted gates of every later lap
};
extern timing_gates_record timing_gates;

extern int32_t gate_drop_tic;
// The final lap number (1000000 in a timed race until its time is up).
extern int32_t lap_limit;
// The slot of the leading rider, 160 when none.
extern int32_t leader_slot;
