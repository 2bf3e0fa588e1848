#pragma once
// Demo files: a recorded race replayed from its riders' state histories.
// The recorder writes the race as chunks, the replay feeds the state history.
#include <cstdint>

// Opens the demo named on the command line (or the lap mode's fast lap);
// 1 and its track folder in demo_track, 0 when it can't be read.
int demo_open(const char* file_name);
extern char demo_track[256];
// Closes the replayed demo.
void demo_close();
// Finishes and closes the demo being recorded.
void demo_finish();
// Starts recording the race the reset has just set up.
void demo_begin();
// Reads the replayed demo's chunks up to the current tic.
void demo_read_step();
// Lap mode: restarts the lone player's lap practice (its ghost and lap
// counters) after a reset.
void lap_mode_restart();
// The restarts lap mode counts: the reset sets it to 2 before
// lap_mode_restart and counts on after it.
extern int32_t lap_mode_restart_count;

// 1 while a demo is being written.
int demo_recording();
// The format version of the demo being replayed; 0 when none is open.
int demo_replay_version();
// The rider index a slot was given in the header of the demo being written
// (fixed when recording began); -1 for a slot the demo does not carry.
int32_t demo_rider_index(int slot);
// Appends one chunk stamped with the current tic; nothing when not recording.
void demo_write_chunk(int channel, const void* bytes, int32_t length);
// Pushes what was written to the file.
void demo_flush();
