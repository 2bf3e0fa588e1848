#pragma once
// The "timing_gates" file of a track folder: the start gates (each drawn by a
// statue), the checkpoints and the first-lap and normal-lap sequences, read
// into the shared record `timing_gates` (core/game_state.h) and written back
// by the editor. Format: docs/timing_gates.md.
#include <cstdint>

// The start-gate statue's names when a gate line gives none.
extern const char* const start_gate_default_names[3];

// Reads the file at path (normally "@" + track folder + "/timing_gates"). A
// missing file leaves a track without gates; a damaged one stops with one
// console line, keeping what was read before the damage.
void timing_gates_load(const char* path);
// Writes the track's "timing_gates"; 0 after "Can't open 'timing_gates'".
int timing_gates_save();
// Every count 0.
void timing_gates_clear();
// A lap entry as stored: in range of the checkpoints, marked entries kept marked.
int32_t timing_gate_entry_clamp(int32_t value, int32_t checkpoint_count);
// An angle folded into [-pi, pi].
float timing_gate_angle_fold(float angle);
