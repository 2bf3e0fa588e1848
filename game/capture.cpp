// Video frames to standard output and tic sound to a file.
#include "game/capture.h"

#include <cerrno>
#include <cstring>

#include "core/alloc.h"
#include "gfx/ztgl.h"
#include "platform/vesk.h"
#include "ui/console.h"

int32_t video_capture_on;

namespace {

FILE* audio_file;
// One frame's pixels, kept between frames: no allocation per frame once the
// window's size is known.
uint8_t* frame_pixels;
size_t frame_pixels_size;

}  // namespace

int capture_write_p6(FILE* out, const uint8_t* bottom_up_rgb, int width, int height)
{
    if (fprintf(out, "P6\n%d %d\n255\n", width, height) < 0) return 0;
    size_t row = size_t(width) * 3;
    for (int y = height - 1; y >= 0; y--)
        if (fwrite(bottom_up_rgb + size_t(y) * row, 1, row, out) != row) return 0;
    return fflush(out) == 0;
}

int capture_write_samples(FILE* out, const int16_t* samples, int count)
{
    uint8_t bytes[2 * capture_samples_per_tic];
    while (count > 0) {
        int n = count < capture_samples_per_tic ? count : capture_samples_per_tic;
        for (int i = 0; i < n; i++) {
            uint16_t v = uint16_t(samples[i]);
            bytes[2 * i] = uint8_t(v & 0xFF);
            bytes[2 * i + 1] = uint8_t(v >> 8);
        }
        if (fwrite(bytes, 2, size_t(n), out) != size_t(n)) return 0;
        samples += n;
        count -= n;
    }
    return 1;
}

void capture_video_frame(int width, int height)
{
    if (!video_capture_on || width <= 0 || height <= 0) return;
    size_t size = size_t(width) * size_t(height) * 3;
    if (size > frame_pixels_size) {
        alloc_check_free(frame_pixels);
        frame_pixels = static_cast<uint8_t*>(alloc_check_malloc(size));
        frame_pixels_size = frame_pixels ? size : 0;
        if (!frame_pixels) return;  // the frame is skipped
    }
    ztglPixelStorei(GL_PACK_ALIGNMENT, 1);
    ztglReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, frame_pixels);
    if (!capture_write_p6(stdout, frame_pixels, width, height)) {
        console_printf("Video capture stopped: %.100s", strerror(errno));
        video_capture_on = 0;
    }
}

vesk_audio* capture_audio_open(const char* file_name)
{
    audio_file = fopen(file_name, "wb");
    if (!audio_file) {
        console_printf("Can't open '%.900s'", file_name);
        return nullptr;
    }
    vesk_audio* audio = vesk_audio_open_readback(capture_audio_rate);
    if (!audio) capture_audio_close();
    return audio;
}

void capture_audio_tic(vesk_audio* audio)
{
    if (!audio_file || !audio) return;
    int16_t block[capture_samples_per_tic];
    int n = vesk_audio_readback(audio, block, capture_samples_per_tic);
    if (n > 0 && !capture_write_samples(audio_file, block, n)) {
        console_print("Audio capture stopped: can't write the file");
        capture_audio_close();
    }
}

void capture_audio_close()
{
    if (audio_file) fclose(audio_file);
    audio_file = nullptr;
}

void capture_video_free()
{
    alloc_check_free(frame_pixels);
    frame_pixels = nullptr;
    frame_pixels_size = 0;
}
