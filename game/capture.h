#pragma once
// The capture outputs for making videos offline: every drawn frame as a raw
// PPM image on standard output, and the mixed sound of every tic as raw mono
// signed 16-bit little-endian samples at 88320 a second in a file.
#include <cstdint>
#include <cstdio>

struct vesk_audio;

// Sample rate of the capture and samples per tic (1/128 s).
constexpr int capture_audio_rate = 88320;
constexpr int capture_samples_per_tic = 690;

// Standard output stays a pipe to a video encoder: when it breaks, video
// capture stops and the game goes on.
extern int32_t video_capture_on;

// Writes "P6\n%d %d\n255\n" and the rows top-down from an RGB image held
// bottom row first (as GL reads it). 0 on a write error.
int capture_write_p6(FILE* out, const uint8_t* bottom_up_rgb, int width, int height);
// Appends samples as little-endian 16-bit words; 0 on a write error.
int capture_write_samples(FILE* out, const int16_t* samples, int count);

// Reads the drawn frame and writes it to standard output; stops the capture
// on a write error.
void capture_video_frame(int width, int height);
// Frees the frame buffer (shut-down).
void capture_video_free();

// Opens the file and the readback audio back end; null when either fails.
vesk_audio* capture_audio_open(const char* file_name);
// After a tic: one block of the tic's samples into the file.
void capture_audio_tic(vesk_audio* audio);
// Closes the file (the back end is closed with the rest of audio).
void capture_audio_close();
