#pragma once
// The software mixer shared by the audio back ends: voices over unsigned
// 8-bit samples, each with its own rate, volume, pan and loop flag, mixed into
// signed 16-bit frames with linear interpolation and saturation.
#include <cstdint>
#include <mutex>

#include "platform/vesk.h"

// Sample data shared by a voice and its duplicates.
struct vesk_sound_data {
    uint8_t* samples;
    int32_t length;
    int32_t refs;
};

struct vesk_sound {
    vesk_audio* audio;
    vesk_sound_data* data;
    int32_t rate;     // 100..1,000,000 samples per second
    int32_t volume;   // 0..32767
    int32_t pan;      // -32768..32767
    int32_t loop;
    int32_t playing;
    int32_t position;   // the sample now playing
    uint32_t fraction;  // how far past it, in units of 1 / the output rate
};

enum : int { vesk_audio_kind_readback = 0, vesk_audio_kind_device = 1 };

struct vesk_audio {
    // Every voice operation and every mixed block take it: the device mixes
    // on its own thread.
    std::mutex lock;
    int kind;
    int rate;      // output samples per second
    int channels;  // 1 (readback) or 2
    vesk_sound** voices;
    int voice_count;
    int voice_capacity;
    int voice_step;  // the table grows by this many voices
    uint32_t device;  // the back end's device id, 0 when none
};

vesk_audio* vesk_audio_new(int kind, int rate, int channels);
// Lets go of the voices still alive (their owners free them) and frees the
// record; the back end is already shut.
void vesk_audio_delete(vesk_audio* audio);
// Mixes frames output frames (channels samples each) of every playing voice;
// the caller holds the audio lock.
void vesk_mix(vesk_audio* audio, int16_t* out, int frames);

// The device back end.
int vesk_audio_device_start(vesk_audio* audio, int mixahead_ms);
void vesk_audio_device_stop(vesk_audio* audio);
