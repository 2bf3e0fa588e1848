// Opening and closing the audio back ends.
#include "core/alloc.h"
#include "platform/vesk_mixer.h"
#include "platform/vesk_window_record.h"

vesk_audio* vesk_audio_open()
{
    // Both device kinds of the options mean the one sound device here.
    if (!vesk_option_bool("dsnd", 1) && !vesk_option_bool("waveout", 1)) {
        vesk_log("No audio back end enabled\n");
        return nullptr;
    }
    int rate = vesk_option_int("sound-rate", 22050);
    if (rate < 8000 || rate > 192000) rate = 22050;
    vesk_audio* audio = vesk_audio_new(vesk_audio_kind_device, rate, 2);
    if (!vesk_audio_device_start(audio, vesk_option_int("sound-mixahead", 125))) {
        vesk_audio_delete(audio);
        return nullptr;
    }
    vesk_current_audio = audio;
    return audio;
}

vesk_audio* vesk_audio_open_readback(int rate)
{
    if (rate <= 0) return nullptr;
    vesk_audio* audio = vesk_audio_new(vesk_audio_kind_readback, rate, 1);
    vesk_log("Audio readback at %d Hz\n", rate);
    vesk_current_audio = audio;
    return audio;
}

void vesk_audio_close(vesk_audio* audio)
{
    if (!audio) return;
    vesk_log("Closing audio\n");
    if (audio->kind == vesk_audio_kind_device) vesk_audio_device_stop(audio);
    if (vesk_current_audio == audio) vesk_current_audio = nullptr;
    vesk_audio_delete(audio);
}

void vesk_audio_update(vesk_audio* audio)
{
    // The device pulls its blocks on its own thread and readback mixes on
    // demand, so nothing waits for the frame.
    (void)audio;
}

int vesk_audio_readback(vesk_audio* audio, int16_t* out, int count)
{
    if (!audio || audio->kind != vesk_audio_kind_readback || count <= 0) return 0;
    std::lock_guard<std::mutex> lock(audio->lock);
    vesk_mix(audio, out, count);
    return count;
}
