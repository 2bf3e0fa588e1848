// The SDL back end of the sound device: S16 stereo, mixed on SDL's thread.
#include <SDL.h>

#include "platform/vesk_mixer.h"

namespace {

void fill(void* user, Uint8* stream, int bytes)
{
    vesk_audio* audio = static_cast<vesk_audio*>(user);
    std::lock_guard<std::mutex> lock(audio->lock);
    vesk_mix(audio, reinterpret_cast<int16_t*>(stream), bytes / int(sizeof(int16_t) * 2));
}

}  // namespace

int vesk_audio_device_start(vesk_audio* audio, int mixahead_ms)
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        vesk_log("Can't initialise audio: %s\n", SDL_GetError());
        return 0;
    }
    // The device's block: the largest power of two within half the mix-ahead.
    int block = 256;
    long target = long(audio->rate) * (mixahead_ms > 0 ? mixahead_ms : 125) / 2000;
    while (block * 2 <= target && block < 8192) block *= 2;
    SDL_AudioSpec want{}, have{};
    want.freq = audio->rate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = Uint16(block);
    want.callback = fill;
    want.userdata = audio;
    SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!device) {
        vesk_log("Can't open sound device: %s\n", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return 0;
    }
    audio->device = device;
    vesk_log("Sound device (%s): %d Hz, 2 channels, %d-sample blocks\n", SDL_GetCurrentAudioDriver(), have.freq,
             int(have.samples));
    SDL_PauseAudioDevice(device, 0);
    return 1;
}

void vesk_audio_device_stop(vesk_audio* audio)
{
    if (!audio->device) return;
    SDL_CloseAudioDevice(audio->device);
    audio->device = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}
