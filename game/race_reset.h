#pragma once
// The race reset: the one way into a race. It tears down the last race's
// riders, loads the chosen track folder unless it is already loaded, places
// the riders and sets the race clock.
#include <cstdint>

constexpr int32_t slot_total = 160;
// What each gate slot holds at a reset: 0 demo rider, 1 the player, 2..4 AI
// riders, 5 a network rider, 1000 + n the AI rider numbered n.
extern int32_t slot_kind[slot_total];
// Who drives each slot.
enum : int32_t {
    slot_driven_by_player = 0,   // the local player's input
    slot_driven_by_history = 1,  // its state history: network riders, demo replays
    slot_driven_by_autopilot = 2,
};
extern int32_t slot_status[slot_total];

// slot_kinds: 160 kinds offline (161 with the gate-drop tic online), or null
// for a lone player's lap practice.
void reset_session(const int32_t* slot_kinds, int track_from_demo, int record_demo, int32_t race_time,
                   int32_t laps, int32_t skill);
// Releases the loaded track ("Deallocating track").
void track_free();
// The seed of a reset: ZT_SEED (decimal) when set, so runs repeat exactly;
// else the calendar clock.
uint32_t reset_seed();
