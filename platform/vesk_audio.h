#pragma once
// Audio: one software mixer of voices over a back end (the sound device or
// readback for capture).
#include <cstdint>

struct vesk_audio;  // an open audio back end
struct vesk_sound;  // one sound voice

// The default back end: the sound device ("dsnd" and "waveout" both name it)
// at "sound-rate" (22050) samples per second, S16 stereo; null when there is
// none. Voices are made room for in sets of "sound-channels" (16).
vesk_audio* vesk_audio_open();
// No device: mono S16 samples at the given rate, mixed on demand by
// vesk_audio_readback (audio capture).
vesk_audio* vesk_audio_open_readback(int rate);
// Closes the back end. Voices are their makers' to free, before or after
// this: a voice whose audio has closed is inert (its calls give 0 or null)
// until vesk_sound_free.
void vesk_audio_close(vesk_audio* audio);
// The per-frame hook of the main loop.
void vesk_audio_update(vesk_audio* audio);
// Readback only: mixes the next count mono samples into out; returns count
// (0 for another back end).
int vesk_audio_readback(vesk_audio* audio, int16_t* out, int count);

// A voice over its own copy of length unsigned 8-bit samples (128 is silence)
// at rate samples per second (clamped to 100..1,000,000; 0 gives 100). Stopped,
// volume 32767, centred, not looping. Null without audio or data.
vesk_sound* vesk_sound_new(vesk_audio* audio, int length, const uint8_t* samples, int rate);
// Another voice sharing the same samples (reference counted), with its own
// settings and position.
vesk_sound* vesk_sound_dup(vesk_sound* sound);
void vesk_sound_free(vesk_sound* sound);
// Start from the beginning / stop; 1, or 0 for a null voice.
int vesk_sound_play(vesk_sound* sound);
int vesk_sound_stop(vesk_sound* sound);
int vesk_sound_set_loop(vesk_sound* sound, int loop);
int vesk_sound_set_pan(vesk_sound* sound, int pan);        // -32768 (left) .. 32767 (right)
int vesk_sound_set_rate(vesk_sound* sound, int rate);      // 100..1,000,000
int vesk_sound_set_volume(vesk_sound* sound, int volume);  // 0..32767
// Copies count bytes into the voice's samples from offset on, wrapping at the
// end (a ring), under the audio lock. Returns 1, or 0 for a null voice.
int vesk_sound_write(vesk_sound* sound, int count, const uint8_t* bytes, int offset);
// The play position in the voice's samples (0..length-1).
int vesk_sound_get_position(vesk_sound* sound);
