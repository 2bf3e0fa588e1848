#pragma once
// The race clock and the settings that the lower layers (physics, terrain)
// read as plain values. The race step owns them; everything else reads them.
#include <cstdint>

// Simulation tics since the race began; advanced once per tic by the race step.
extern int32_t tic_counter;
// The tic at which the current race started.
extern int32_t race_start_tic;
// Seconds per tic: 1/128.
extern double tic_length;
// Ground erosion: the "--erode" option or the server's "erode" command times
// 1024 (0..102400); -1 online until the server has sent it. The frame drains
// the erode queue while it is above 0, at rate erosion_amount / 1024.
extern int32_t erosion_amount;

// The track's timing-gate counts as lap timing reads them.
struct timing_gates_record {
    int32_t checkpoint_count;    // 0: the track has no timing gates
    int32_t counted_first_lap;   // F: counted gates of the first lap
    int32_t counted_normal_lap;  // N: counted gates of every later lap
};
extern timing_gates_record timing_gates;

// The tic at which the start gate drops (lap 1 is timed from it).
extern int32_t gate_drop_tic;
// The final lap number (1000000 in a timed race until its time is up).
extern int32_t lap_limit;
// The slot of the leading rider, 160 when none.
extern int32_t leader_slot;
