#pragma once
// Script sounds: positioned voices a track script adds by file name and
// controls through the sound natives. Sound files are raw mono signed 16-bit
// little-endian samples with no header (docs/script_api.md). The engine-sound
// update turns each entry's position, velocity, frequency and volume into
// voice settings every frame (script_sounds_apply).
#include <cstdint>

struct vesk_sound;

// Entries a script may hold (the 4097th add is refused).
constexpr int32_t script_sound_limit = 4096;

struct script_sound {
    vesk_sound* voice;  // never null: an add without a voice is refused
    char* name;         // the file name given to add_sound, owned
    float position[3];  // feet
    float velocity[3];  // feet per second
    float frequency;    // playback rate in samples per second
    float volume;       // 0..1 before attenuation
};
extern script_sound script_sounds[script_sound_limit];
extern int32_t script_sound_count;

// A new entry for the file: a duplicate voice of an entry of the same name
// (the file is read once), else the file's samples. -1 when the table is
// full, the file is missing or holds no whole sample, or there is no audio
// ("--nosound": no voice, so no entry).
int32_t script_sound_add(const char* name);
// The voice's play / stop / loop result; 0 for an index outside the table.
int script_sound_start(int32_t index);
int script_sound_stop(int32_t index);
int script_sound_set_loop(int32_t index, int on);
// Store the value; 1, or 0 for a bad index.
int script_sound_set_freq(int32_t index, float value);
int script_sound_set_vol(int32_t index, float value);
int script_sound_set_pos(int32_t index, float x, float y, float z);
int script_sound_set_vel(int32_t index, float x, float y, float z);
// Frees every voice and name; the race reset calls it right after
// script_unload, and shut-down too.
void script_sounds_release();

// Where the sounds are heard from, once a frame.
struct script_sound_listener {
    float position[3];
    float right[3];  // the listener's unit right axis
    // v x 0.1 x the "comp_volume" setting, as the engines are scaled.
    float level;
    // The Doppler factor of a source at position with velocity, heard by
    // this listener (the view helpers' doppler_factor).
    float (*doppler)(const float position[3], const float velocity[3]);
};
// Rate = frequency x Doppler clamped to 100..1,000,000; gain = volume
// attenuated by distance past 1 ft over 48 ft, clamped to 0..1, times the
// level; pan along the right axis, 0 within 1/32 ft of the listener.
void script_sounds_apply(const script_sound_listener& listener);
// The three settings of one entry, for the update and its tests.
void script_sound_settings(const script_sound& s, const script_sound_listener& listener, int* rate, int* volume,
                           int* pan);
