#pragma once
// Who drives each rider slot during a race. The race reset sets it as it
// creates the riders; the tic, the history, the results, the views and the
// network client read it.
#include <cstdint>

#include "physics/rider.h"

enum : int32_t {
    slot_driven_by_player = 0,   // the local player's input
    slot_driven_by_history = 1,  // its state history: network riders, demo replays
    slot_driven_by_autopilot = 2,
};
extern int32_t slot_status[rider_slot_count];
