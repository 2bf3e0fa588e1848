#pragma once
// A small timed track for gate tests: three checkpoints across a straight
// along +x at x = 10, 20 and 30, each reaching 5 ft and passed toward +x.
// Every lap runs 0, 1, 2 (F = N = 3), so a lap starts and ends at gate 2.
#include <cstring>

#include <ode/ode.h>

#include "core/game_state.h"
#include "game/sim_tic.h"
#include "physics/rider.h"
#include "physics/rider_build.h"

inline void straight_gates_load()
{
    memset(&timing_gates, 0, sizeof timing_gates);
    timing_gates.checkpoint_count = 3;
    for (int c = 0; c < 3; c++) timing_gates.checkpoints[c] = {10.0f * (c + 1), 0, 0, 1, 0, 0, 5.0f, 0};
    timing_gates.first_lap_entries = timing_gates.counted_first_lap = 3;
    timing_gates.normal_lap_entries = timing_gates.counted_normal_lap = 3;
    const int32_t entries[6] = {0, 1, 2, 0, 1, 2};
    memcpy(timing_gates.lap_entries, entries, sizeof entries);
}

// Stands a rider with its front wheel 1 ft past checkpoint c of such a
// straight (checkpoint c at x = 10 (c + 1)), then runs `tics` race tics; the
// gate is passed in the first of them, at the tic returned.
inline int32_t ride_past_checkpoint(rider* r, int c, int tics = 1)
{
    rider_reset_pose(r);
    const dReal* p = dBodyGetPosition(r->front_wheel_body);
    rider_translate(r, 10.0 * (c + 1) + 1 - p[0], 0, -p[2]);
    int32_t at = tic_counter;
    for (int k = 0; k < tics; k++) run_tic();
    return at;
}
