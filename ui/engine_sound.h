#pragma once
// Engine sound of every rider slot. Each slot's engine is synthesised on the
// main thread once a frame and streamed into one looping platform voice: at
// every firing up to four grains (short recordings from a sound table indexed
// by rpm rows and load columns) restart, resampled so that one recorded
// cycle lasts one firing; their bilinear mix goes through sixteen feedback
// delay taps that model the exhaust pipe. The voice's rate carries the
// Doppler shift, its volume the distance, its pan the direction.
//
// Engine keys of a ".braap" file, the sound-table format and the built-in
// tables: docs/sound_table.md.
#include <cstdint>

#include "physics/engine_pipe.h"

struct rider;
struct vesk_sound;
struct vfs_stream;

constexpr int engine_slot_count = 160;
constexpr int32_t engine_ring_size = engine_pipe_ring;  // 32768 samples
constexpr int32_t engine_ring_mask = engine_ring_size - 1;
constexpr int engine_sample_rate = 44100;
// The synthesis runs this far ahead of the voice's play position (0.1 s)
// and writes at most engine_write_max samples a frame.
constexpr int32_t engine_write_ahead = 4410;
constexpr int32_t engine_write_max = 8820;
// A fresh record starts this far ahead of play position 0 (0.25 s). A lead
// larger than this can only mean the reader has passed the writer.
constexpr int32_t engine_setup_lead = 11025;
// One firing of the phase accumulator.
constexpr int32_t engine_phase_one = 1 << 24;
// Above this the phase would fire more than once a sample (Nyquist).
constexpr float engine_firing_max_hz = 22050.0f;
constexpr float engine_firing_min_hz = 5.0f;
// The four-strokes' pipe spread (feet): the "pipe" line's default and the
// console command's class default.
constexpr float pipe_default_spread = 0.91820717f;
constexpr int engine_list_max = 100;  // bias and scale values
// Limits of the sound-table reader: cells per table and samples per
// recording (grain positions are samples x 1024 in 32 bits).
constexpr int32_t sound_table_cells_max = 65536;
constexpr int32_t recording_samples_max = 1 << 22;

struct sound_cell {
    const float* samples;  // the recording (shared through the recordings cache)
    int32_t count;         // samples
    int32_t cycles;        // engine cycles the recording holds, >= 1
    int32_t* remap;        // cycle order, or null
    int32_t remap_count;
    float row_key;         // engine rpm
    float column_key;      // load 0..1
};

struct sound_table {
    sound_table* next;
    char* name;
    sound_cell* cells;  // rows x columns, row-major
    int32_t rows, columns;
};

struct engine_grain {
    const float* samples;
    int32_t count;      // a grain past its last sample yields silence
    float weight;
    uint32_t position;  // samples x 1024
    uint32_t increment; // per output sample, samples x 1024
};

struct engine_sound {
    vesk_sound* voice;   // null without audio
    const sound_table* table;
    float firing_factor; // firings per revolution
    float low_torque, high_torque;  // engine torque at load 0 and load 1
    float min_rpm;
    engine_pipe pipe;
    float bias[engine_list_max];
    float scale[engine_list_max];
    int32_t bias_count, scale_count;
    float ring[engine_ring_size];
    float firing_hz;
    float level;
    float previous_rpm;
    int32_t write_pos;
    int32_t phase;
    int32_t firing_count;
    engine_grain grain[4];
    const rider* owner;        // the rider the record was set up for
    const void* owner_bike;    // and its bike row
};
extern engine_sound engine_sounds[engine_slot_count];

// Where the engines are heard from: the views set it while they draw (the
// camera's position and x axis; the velocity of what it follows).
struct sound_listener_record {
    float position[3];
    float right[3];
    float velocity[3];
};
extern sound_listener_record sound_listener;
// 1 (the default): the views place the listener and its Doppler shift as
// they draw. A test that listens from a fixed point sets 0.
extern int32_t sound_listener_follows_view;
// The Doppler factor of a source (position, velocity) for the listener; the
// view helpers install it. Without it every rate is the plain 44,100 Hz.
extern float (*doppler_factor_hook)(const float position[3], const float velocity[3]);

// (Re)initialises a slot's record for a rider (may be null) and an optional
// sound file name (null: derived from the bike skin). A second set-up frees
// the record's previous voice.
void setup_engine_sound(engine_sound* rec, const rider* r, const char* name);
// Copies the built-in template of a bike class into the record: "50", a
// class ending in "f" (and null) the four-stroke, else the two-stroke.
void engine_sound_use_template(engine_sound* rec, const char* bike_class);
// Reads the engine keys of an open ".braap" stream into the record.
void engine_sound_read_keys(engine_sound* rec, vfs_stream* in);
// The built-in or cached table of that name, loading it when new; null
// with a message when it can't be read.
const sound_table* sound_table_find(const char* name);

// Synthesises up to the write-ahead for a voice playing at play position,
// at engine speed rpm (from previous_rpm) and engine torque, and writes the
// new samples into the voice. Returns the samples written.
int engine_sound_synthesise(engine_sound* rec, float rpm, float torque, int32_t play);

struct voice_placement {
    int32_t volume;  // 0..32767
    int32_t pan;     // -32768..32767, right positive
    int32_t rate;    // 100..1,000,000 Hz
};
// The voice settings of a source at position heard by the listener, at a
// level (1 = full) and a Doppler factor.
voice_placement engine_voice_placement(float level, const float position[3], const sound_listener_record* listener,
                                       float doppler);

// Synthesises and places this frame's engine sounds at a master level 0..1.
// A slot whose rider has no set-up record yet is set up first.
void update_engine_sounds(float master_level);
// Frees the voices, the cached sound tables and recordings (shut-down).
void engine_sounds_free();
