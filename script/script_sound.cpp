// The script sound table and its voices.
#include "script/script_sound.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/alloc.h"
#include "core/vfs.h"
#include "game/startup.h"
#include "platform/vesk_audio.h"

script_sound script_sounds[script_sound_limit];
int32_t script_sound_count;

namespace {

// The rate floor of the per-frame update: a voice is made at it, never at 0,
// so the mixer never steps by a zero rate before the first update.
constexpr int sound_rate_floor = 100;
constexpr int sound_rate_ceiling = 1000000;

// The file's samples as unsigned 8-bit (the high byte with its top bit
// inverted); null when it holds no whole sample.
uint8_t* read_samples(const char* name, int* count)
{
    vfs_stream* f = vfs_open(name, "rb");
    if (!f) return nullptr;
    size_t capacity = 1024, n = 0;
    auto* samples = static_cast<uint8_t*>(std::malloc(capacity));
    uint8_t pair[2];
    // Doubling keeps a long file linear; the int limit is the voice's.
    while (samples && vfs_read(f, pair, 2) == 2 && n < size_t(INT32_MAX)) {
        if (n == capacity) {
            capacity *= 2;
            auto* grown = static_cast<uint8_t*>(std::realloc(samples, capacity));
            if (!grown) std::free(samples);
            samples = grown;
            if (!samples) break;
        }
        samples[n++] = uint8_t(pair[1] ^ 0x80);
    }
    vfs_close(f);
    if (!samples || n == 0) {
        std::free(samples);
        return nullptr;
    }
    *count = int(n);
    return samples;
}

script_sound* entry(int32_t index)
{
    return index >= 0 && index < script_sound_count ? &script_sounds[index] : nullptr;
}

char* copy_name(const char* name)
{
    size_t n = strlen(name) + 1;
    auto* copy = static_cast<char*>(alloc_check_malloc(n));
    if (copy) memcpy(copy, name, n);
    return copy;
}

}  // namespace

int32_t script_sound_add(const char* name)
{
    if (script_sound_count >= script_sound_limit) return -1;
    vesk_sound* voice = nullptr;
    int32_t same = -1;
    for (int32_t i = 0; i < script_sound_count && same < 0; i++)
        if (strcmp(script_sounds[i].name, name) == 0) same = i;
    if (same >= 0) {
        voice = vesk_sound_dup(script_sounds[same].voice);
    } else {
        int count = 0;
        uint8_t* samples = read_samples(name, &count);
        if (!samples) return -1;
        voice = vesk_sound_new(main_audio, count, samples, sound_rate_floor);
        std::free(samples);
    }
    if (!voice) return -1;
    char* copy = copy_name(name);
    if (!copy) {
        vesk_sound_free(voice);
        return -1;
    }
    script_sound& s = script_sounds[script_sound_count];
    s = {};
    s.voice = voice;
    s.name = copy;
    vesk_sound_set_loop(voice, 0);
    vesk_sound_set_volume(voice, 0);
    return script_sound_count++;
}

int script_sound_start(int32_t index)
{
    script_sound* s = entry(index);
    return s ? vesk_sound_play(s->voice) : 0;
}

int script_sound_stop(int32_t index)
{
    script_sound* s = entry(index);
    return s ? vesk_sound_stop(s->voice) : 0;
}

int script_sound_set_loop(int32_t index, int on)
{
    script_sound* s = entry(index);
    return s ? vesk_sound_set_loop(s->voice, on != 0) : 0;
}

int script_sound_set_freq(int32_t index, float value)
{
    script_sound* s = entry(index);
    if (!s) return 0;
    s->frequency = value;
    return 1;
}

int script_sound_set_vol(int32_t index, float value)
{
    script_sound* s = entry(index);
    if (!s) return 0;
    s->volume = value;
    return 1;
}

int script_sound_set_pos(int32_t index, float x, float y, float z)
{
    script_sound* s = entry(index);
    if (!s) return 0;
    s->position[0] = x, s->position[1] = y, s->position[2] = z;
    return 1;
}

int script_sound_set_vel(int32_t index, float x, float y, float z)
{
    script_sound* s = entry(index);
    if (!s) return 0;
    s->velocity[0] = x, s->velocity[1] = y, s->velocity[2] = z;
    return 1;
}

void script_sounds_release()
{
    for (int32_t i = 0; i < script_sound_count; i++) {
        vesk_sound_free(script_sounds[i].voice);
        alloc_check_free(script_sounds[i].name);
        script_sounds[i] = {};
    }
    script_sound_count = 0;
}

void script_sound_settings(const script_sound& s, const script_sound_listener& l, int* rate, int* volume, int* pan)
{
    float d[3] = {l.position[0] - s.position[0], l.position[1] - s.position[1], l.position[2] - s.position[2]};
    float dist2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    float dist = std::sqrt(dist2);
    double r = double(s.frequency) * (l.doppler ? l.doppler(s.position, s.velocity) : 1.0f);
    // NaN fails both tests and plays at the floor.
    *rate = r > sound_rate_floor ? (r < sound_rate_ceiling ? int(r) : sound_rate_ceiling) : sound_rate_floor;
    float attenuation = std::fmax(1.0f, 1.0f + (dist - 1.0f) / 48.0f);
    float g = s.volume / attenuation;
    g = g > 0.0f ? (g < 1.0f ? g : 1.0f) : 0.0f;
    g *= l.level;
    *volume = g > 0.0f ? (g < 1.0f ? int(g * 32767.0f) : 32767) : 0;
    if (!(dist2 >= 1.0f / 1024.0f)) {
        *pan = 0;
        return;
    }
    float along = (d[0] * l.right[0] + d[1] * l.right[1] + d[2] * l.right[2]) / dist;
    // A source at infinity has no direction.
    *pan = std::isfinite(along) ? int(-32767.0f * std::fmax(-1.0f, std::fmin(1.0f, along))) : 0;
}

void script_sounds_apply(const script_sound_listener& listener)
{
    for (int32_t i = 0; i < script_sound_count; i++) {
        int rate, volume, pan;
        script_sound_settings(script_sounds[i], listener, &rate, &volume, &pan);
        vesk_sound_set_rate(script_sounds[i].voice, rate);
        vesk_sound_set_volume(script_sounds[i].voice, volume);
        vesk_sound_set_pan(script_sounds[i].voice, pan);
    }
}
