// The capture formats: a P6 frame turned top-down, samples little-endian, and
// a closed pipe stopping the writer instead of the program.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "game/capture.h"
#include "support/temp_dir.h"

namespace {

TEST(capture, p6_frame_is_written_top_row_first)
{
    temp_dir dir;
    std::string path = dir.file("frame.ppm");
    // 2 x 2, bottom row first as GL reads it: bottom red/green, top blue/white.
    const uint8_t gl_rows[12] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_EQ(capture_write_p6(f, gl_rows, 2, 2), 1);
    fclose(f);
    const std::string header = "P6\n2 2\n255\n";
    const uint8_t top_down[12] = {0, 0, 255, 255, 255, 255, 255, 0, 0, 0, 255, 0};
    EXPECT_EQ(read_whole_file(path), header + std::string(reinterpret_cast<const char*>(top_down), 12));
}

TEST(capture, samples_are_little_endian_words)
{
    temp_dir dir;
    std::string path = dir.file("audio.raw");
    const int16_t samples[3] = {1, -2, 0x1234};
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_EQ(capture_write_samples(f, samples, 3), 1);
    fclose(f);
    EXPECT_EQ(read_whole_file(path), std::string("\x01\x00\xfe\xff\x34\x12", 6));
    EXPECT_EQ(capture_samples_per_tic, int(capture_audio_rate / 128)) << "690 samples are one tic";
}

TEST(capture, a_closed_pipe_is_a_write_error_not_a_signal)
{
    // The program ignores SIGPIPE; a reader going away then shows as an error.
    signal(SIGPIPE, SIG_IGN);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    FILE* out = fdopen(fds[1], "wb");
    ASSERT_NE(out, nullptr);
    std::vector<uint8_t> frame(64 * 64 * 3, 7);
    EXPECT_EQ(capture_write_p6(out, frame.data(), 64, 64), 0);
    fclose(out);
    signal(SIGPIPE, SIG_DFL);
}

}  // namespace
