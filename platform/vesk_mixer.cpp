// Voices and the software mixer.
#include "platform/vesk_mixer.h"

#include <cstring>
#include <new>

#include "core/alloc.h"
#include "platform/vesk_window_record.h"

namespace {

enum : int { chunk_frames = 256 };

int clamp_int(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

// Mixes n frames of one voice into acc. Positions step by whole samples and a
// remainder counted in units of 1 / out_rate, so a voice never drifts from
// its rate however long it plays.
void mix_voice(vesk_sound* v, int32_t* acc, int n, int channels, int out_rate)
{
    const uint8_t* s = v->data->samples;
    int32_t length = v->data->length;
    uint32_t whole = uint32_t(v->rate / out_rate);
    uint32_t part = uint32_t(v->rate % out_rate);
    uint64_t recip = (uint64_t(1) << 48) / uint64_t(out_rate);
    int32_t gain_left = v->volume, gain_right = v->volume;
    if (v->pan > 0) gain_left = int32_t(int64_t(v->volume) * (32767 - v->pan) / 32767);
    if (v->pan < 0) gain_right = int32_t(int64_t(v->volume) * (32768 + v->pan) / 32768);
    int32_t pos = v->position;
    uint32_t frac = v->fraction;
    bool loop = v->loop;
    for (int i = 0; i < n; i++) {
        int32_t s0 = int32_t(s[pos]) - 128;
        int32_t next = pos + 1;
        int32_t s1 = next < length ? int32_t(s[next]) - 128 : loop ? int32_t(s[0]) - 128 : 0;
        int32_t w16 = int32_t((uint64_t(frac) * recip) >> 32);
        int32_t value = s0 * 256 + (((s1 - s0) * w16) >> 8);
        if (channels == 2) {
            acc[2 * i] += (value * gain_left) >> 15;
            acc[2 * i + 1] += (value * gain_right) >> 15;
        } else {
            acc[i] += (value * v->volume) >> 15;
        }
        pos += int32_t(whole);
        frac += part;
        if (frac >= uint32_t(out_rate)) {
            frac -= uint32_t(out_rate);
            pos++;
        }
        if (pos >= length) {
            if (!loop) {
                v->playing = 0;
                pos = 0;
                frac = 0;
                break;
            }
            pos %= length;
        }
    }
    v->position = pos;
    v->fraction = frac;
}

// A silent voice still moves on, so it is where it should be when it is
// heard again.
void advance_voice(vesk_sound* v, int n, int out_rate)
{
    uint64_t steps = uint64_t(v->fraction) + uint64_t(v->rate % out_rate) * uint64_t(n);
    uint64_t pos = uint64_t(v->position) + uint64_t(v->rate / out_rate) * uint64_t(n) + steps / uint64_t(out_rate);
    v->fraction = uint32_t(steps % uint64_t(out_rate));
    if (pos >= uint64_t(v->data->length)) {
        if (!v->loop) {
            v->playing = 0;
            v->position = 0;
            v->fraction = 0;
            return;
        }
        pos %= uint64_t(v->data->length);
    }
    v->position = int32_t(pos);
}

vesk_sound* voice_new(vesk_audio* audio, vesk_sound_data* data, int rate)
{
    vesk_sound* v = static_cast<vesk_sound*>(alloc_check_malloc(sizeof(vesk_sound)));
    if (!v) return nullptr;
    memset(v, 0, sizeof *v);
    v->audio = audio;
    v->data = data;
    v->rate = clamp_int(rate, 100, 1000000);
    v->volume = 32767;
    std::lock_guard<std::mutex> lock(audio->lock);
    if (audio->voice_count == audio->voice_capacity) {
        int capacity = audio->voice_capacity + audio->voice_step;
        void* grown = alloc_check_realloc(audio->voices, sizeof(vesk_sound*) * uint64_t(capacity));
        if (!grown) {
            alloc_check_free(v);
            return nullptr;
        }
        audio->voices = static_cast<vesk_sound**>(grown);
        audio->voice_capacity = capacity;
    }
    audio->voices[audio->voice_count++] = v;
    data->refs++;
    return v;
}

void data_release(vesk_sound_data* data)
{
    if (--data->refs > 0) return;
    alloc_check_free(data->samples);
    alloc_check_free(data);
}

// The voice's audio lock; not held (and the voice inert) once its audio has
// closed.
std::unique_lock<std::mutex> lock_voice(vesk_sound* sound)
{
    if (!sound || !sound->audio) return std::unique_lock<std::mutex>();
    return std::unique_lock<std::mutex>(sound->audio->lock);
}

}  // namespace

vesk_audio* vesk_audio_new(int kind, int rate, int channels)
{
    void* memory = xmalloc(sizeof(vesk_audio));
    vesk_audio* audio = new (memory) vesk_audio();
    audio->kind = kind;
    audio->rate = rate;
    audio->channels = channels;
    // Room for voices is made in sets of "sound-channels"; every playing
    // voice is mixed, however many there are.
    audio->voice_step = clamp_int(vesk_option_int("sound-channels", 16), 1, 4096);
    return audio;
}

void vesk_audio_delete(vesk_audio* audio)
{
    // Voices belong to whoever made them: they are let go, not freed, so
    // their owners' later frees stay sound whatever the order of shut-down.
    for (int i = 0; i < audio->voice_count; i++) audio->voices[i]->audio = nullptr;
    alloc_check_free(audio->voices);
    audio->~vesk_audio();
    alloc_check_free(audio);
}

void vesk_mix(vesk_audio* audio, int16_t* out, int frames)
{
    int32_t acc[chunk_frames * 2];
    int channels = audio->channels;
    for (int done = 0; done < frames;) {
        int n = frames - done < chunk_frames ? frames - done : chunk_frames;
        memset(acc, 0, sizeof(int32_t) * size_t(n * channels));
        for (int i = 0; i < audio->voice_count; i++) {
            vesk_sound* v = audio->voices[i];
            if (!v->playing) continue;
            if (v->volume > 0) mix_voice(v, acc, n, channels, audio->rate);
            else advance_voice(v, n, audio->rate);
        }
        int16_t* o = out + done * channels;
        for (int i = 0; i < n * channels; i++) o[i] = int16_t(clamp_int(acc[i], -32768, 32767));
        done += n;
    }
}

vesk_sound* vesk_sound_new(vesk_audio* audio, int length, const uint8_t* samples, int rate)
{
    if (!audio || length <= 0 || !samples) return nullptr;
    vesk_sound_data* data = static_cast<vesk_sound_data*>(alloc_check_malloc(sizeof(vesk_sound_data)));
    if (!data) return nullptr;
    data->samples = static_cast<uint8_t*>(alloc_check_malloc(uint64_t(length)));
    if (!data->samples) {
        alloc_check_free(data);
        return nullptr;
    }
    memcpy(data->samples, samples, size_t(length));
    data->length = length;
    data->refs = 0;
    vesk_sound* v = voice_new(audio, data, rate);
    if (!v) {
        alloc_check_free(data->samples);
        alloc_check_free(data);
    }
    return v;
}

vesk_sound* vesk_sound_dup(vesk_sound* sound)
{
    if (!sound || !sound->audio) return nullptr;
    vesk_sound* v = voice_new(sound->audio, sound->data, sound->rate);
    if (!v) return nullptr;
    std::lock_guard<std::mutex> lock(sound->audio->lock);
    v->volume = sound->volume;
    v->pan = sound->pan;
    v->loop = sound->loop;
    return v;
}

void vesk_sound_free(vesk_sound* sound)
{
    if (!sound) return;
    {
        std::unique_lock<std::mutex> lock = lock_voice(sound);
        vesk_audio* audio = sound->audio;
        for (int i = 0; audio && i < audio->voice_count; i++) {
            if (audio->voices[i] != sound) continue;
            audio->voices[i] = audio->voices[--audio->voice_count];
            break;
        }
        data_release(sound->data);
    }
    alloc_check_free(sound);
}

int vesk_sound_play(vesk_sound* sound)
{
    std::unique_lock<std::mutex> lock = lock_voice(sound);
    if (!lock) return 0;
    sound->position = 0;
    sound->fraction = 0;
    sound->playing = 1;
    return 1;
}

int vesk_sound_stop(vesk_sound* sound)
{
    std::unique_lock<std::mutex> lock = lock_voice(sound);
    if (!lock) return 0;
    sound->playing = 0;
    return 1;
}

int vesk_sound_set_loop(vesk_sound* sound, int loop)
{
    std::unique_lock<std::mutex> lock = lock_voice(sound);
    if (!lock) return 0;
    sound->loop = loop ? 1 : 0;
    return 1;
}

int vesk_sound_set_pan(vesk_sound* sound, int pan)
{
    std::unique_lock<std::mutex> lock = lock_voice(sound);
    if (!lock) return 0;
    sound->pan = clamp_int(pan, -32768, 32767);
    return 1;
}

int vesk_sound_set_rate(vesk_sound* sound, int rate)
{
    std::unique_lock<std::mutex> lock = lock_voice(sound);
    if (!lock) return 0;
    sound->rate = clamp_int(rate, 100, 1000000);
    return 1;
}

int vesk_sound_set_volume(vesk_sound* sound, int volume)
{
    std::unique_lock<std::mutex> lock = lock_voice(sound);
    if (!lock) return 0;
    sound->volume = clamp_int(volume, 0, 32767);
    return 1;
}

int vesk_sound_write(vesk_sound* sound, int count, const uint8_t* bytes, int offset)
{
    std::unique_lock<std::mutex> lock = lock_voice(sound);
    if (!lock || !bytes || count < 0) return 0;
    vesk_sound_data* data = sound->data;
    int32_t length = data->length;
    // Only the last length bytes of an over-long write survive a ring anyway.
    int64_t start = offset;
    if (count > length) {
        start += count - length;
        bytes += count - length;
        count = length;
    }
    int32_t at = int32_t((start % length + length) % length);
    while (count > 0) {
        int n = length - at < count ? length - at : count;
        memcpy(data->samples + at, bytes, size_t(n));
        bytes += n;
        count -= n;
        at = 0;
    }
    return 1;
}

int vesk_sound_get_position(vesk_sound* sound)
{
    std::unique_lock<std::mutex> lock = lock_voice(sound);
    if (!lock) return 0;
    return sound->position;
}
