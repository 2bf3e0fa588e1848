#pragma once
// Demo files: a recorded race replayed from its riders' state histories.
//
// A ".ztdemo" is a few text lines (header, track, riders) and then chunks
// {u32 length XOR the previous chunk's length, i32 tic, u8 channel, payload}.
// The XOR chain lets the reader walk backwards without an index. Versions 4
// and 5 (read only) hold one fixed-size record per rider per tic instead.
// Demo files come from other players: every field is bounded and every
// offset checked before it is used.
#include <cstdint>

#include "physics/rider.h"

// What a chunk carries.
enum demo_channel : int {
    demo_channel_states = 1,  // 44-byte entries: rider index, i32 tic, 39-byte state record
    demo_channel_chat = 2,    // chat text
    demo_channel_erode = 3,   // "erode %d"
    demo_channel_ruts = 5,    // a rut strip message
    demo_channel_script = 6,  // a script message
};
constexpr int demo_state_entry_bytes = 44;
// The gate drop a header without one means: 14 s.
constexpr int32_t demo_default_gate_drop = 1792;
// The clock a replay may be set to: far beyond any race (97 days), and
// never negative, so a damaged tic cannot run the tic counter over.
constexpr int32_t demo_tic_limit = int32_t(1) << 30;
constexpr int demo_field_size = 64;  // a bike, skin or rider name: at most 63 characters

// One rider as the demo's header gives it.
struct demo_rider {
    char bike[demo_field_size];
    char rider_skin[demo_field_size];
    char bike_skin[demo_field_size];
    char wheel_skin[demo_field_size];
    char head_skin[demo_field_size];
    char number[4];  // the first 3 characters
    char name[demo_field_size];
};

// The demo being replayed: its header values and riders.
struct demo_replay_header {
    int32_t version;  // 0: nothing open
    int32_t rider_count;
    int32_t race_time;
    int32_t laps;
    int32_t gate_drop_tic;
    demo_rider riders[rider_slot_count];
};
extern demo_replay_header demo_header;
// The track folder the replayed demo names.
extern char demo_track[256];
// For each rider of the replayed demo, the slot its replayed rider occupies
// (-1 none). The race reset and the lap mode fill it as they create riders.
extern int32_t demo_slot_map[rider_slot_count];

// ---- Recording ---------------------------------------------------------------

// Starts recording: in lap mode the track folder's "lastlap.ztdemo", else
// "@demos/default.ztdemo" after rotating the backups the "demo_backups"
// setting keeps. The riders written are those the history writes; their
// indices are fixed here. A file that cannot be opened leaves recording off.
void demo_begin();
// Appends one chunk stamped with the current tic; nothing when not recording.
void demo_write_chunk(int channel, const void* bytes, int32_t length);
// Pushes what was written to the file.
void demo_flush();
// Rewrites the header with the final values (only when its length is
// unchanged), closes the file, and moves it to the save name if one was asked.
void demo_finish();
// Asks for the recording to be kept under "@demos/<name>" when it finishes.
// Only a plain file name is taken: 0 (and nothing asked) for one holding a
// folder separator, "..", a control character, or of 1024 characters or more.
int demo_request_save(const char* name);
// 1 while a demo is being written.
int demo_recording();
// The rider index a slot was given in the header of the demo being written
// (fixed when recording began); -1 for a slot the demo does not carry.
int32_t demo_rider_index(int slot);

// ---- Replay -------------------------------------------------------------------

// Opens a demo for replay: file_name, else in lap mode the track folder's
// "fastlap.ztdemo", else "@demos/default.ztdemo". Reads the header, the track
// line into demo_track and the rider lines; 1 on success, 0 (quietly, nothing
// open) for a missing file, a bad header or a short file.
int demo_open(const char* file_name);
// Closes the replayed demo.
void demo_close();
// The format version of the demo being replayed; 0 when none is open.
int demo_replay_version();
// The rider-state record format the replayed demo carries: 4 in a version-4
// demo, else 5 (version 6 files hold version-5 records, as does the network).
int demo_record_version();
// Reads what the current tic needs: chunks up to 64 tics ahead of the clock
// (at most 128 a call), or the version 4/5 frames up to 8 tics ahead.
void demo_read_step();
// Positions the replay for target: version 6 walks back to the first chunk
// stamped at or before target - 64 (0 for targets below 64); versions 4 and 5
// go straight to the frame of that tic. The next read is due at target.
// 0 when the file could not be positioned (the replay is then left where it
// was walked to).
int demo_position(int32_t target);

// Lap mode: ends the ghost's replay and the lap's recording, frees the riders
// of slots 1..159 and gives those slots to history again.
void demo_stop();

// Lap mode: counts the player's restarts; the race reset sets it to 2 before
// lap_mode_restart and counts on after it.
extern int32_t lap_mode_restart_count;
// Lap mode: demo_stop, then the player goes back to a gate of the lap
// sequence chosen by the restart counter (placed as the race reset places
// riders), its gates cut back to the first lap's less one, the last lap
// time cleared and the results finished.
void lap_mode_restart();
// The lap-sequence position c a restart goes back to (the gate is entry
// c - 1), for first-lap and normal-lap entry counts and the restart counter;
// 0 means before the first gate.
int32_t lap_restart_index(int32_t first, int32_t normal, int32_t restarts);
