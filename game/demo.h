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

// Starts recording (the race reset and the lap mode).
void demo_begin();
// Ends the lap mode's replay and recording: the ghosts in slots 1..159 go.
void demo_stop();
// Reads what the current tic needs from the replayed demo into the riders'
// state histories (every tic, and after a seek).
void demo_read_step();

// The replay's riders: the slot each rider index is replayed in (-1 none),
// the count, and what each rider line gives.
extern int32_t demo_slot_map[160];
int32_t demo_rider_count();
struct demo_rider_line {
    char bike[64];
    char skins[4][64];  // body, head, bike, wheels
    char number[8];
    char name[64];
};
// Rider i of the replay; null outside 0..count-1.
const demo_rider_line* demo_rider(int32_t i);

// Where the replay stands, for seeking: the offset of the first chunk or
// frame, the file's length, a direct move to an offset (0 when it fails),
// the backward walk through the chunk chain to the first chunk at or before
// target - 64 (0 when a move or read failed on the way), and the tic of the
// next chunk or frame to read.
int64_t demo_data_start();
int64_t demo_file_length();
int demo_position(int64_t offset);
int demo_walk_back(int32_t target);
void demo_set_next_tic(int32_t tic);
