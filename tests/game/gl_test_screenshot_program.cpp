// "/screenshot" in the running program: the file is exactly the frame that
// "--record-video" captured from the same back buffer before the swap.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support_zentrik.h"

namespace {

TEST(screenshot_program, the_screenshot_is_a_frame_that_was_drawn)
{
    if (system("command -v convert >/dev/null 2>&1") != 0) GTEST_SKIP() << "convert is not installed";
    zentrik_setup setup;
    zentrik_result r = run_zentrik(setup, {"--track", "practice", "--lock-fps", "32", "--record-video",
                                           "--console-commands", "/echo a;/echo b;/screenshot;/echo c;/quit"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<p6_frame> frames;
    ASSERT_TRUE(parse_p6_frames(r.out, &frames));
    ASSERT_GE(frames.size(), 4u);
    EXPECT_NE(find_line(log_lines(r.log), "Saved \"screenshot001.png\""), -1);
    // Decoded by an outside program.
    std::string png = setup.player_folder() + "/screenshot001.png";
    FILE* pipe = popen(("convert '" + png + "' ppm:- 2>/dev/null").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string ppm;
    char buffer[65536];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) ppm.append(buffer, n);
    pclose(pipe);
    std::vector<p6_frame> shot;
    ASSERT_TRUE(parse_p6_frames(ppm, &shot));
    ASSERT_EQ(shot.size(), 1u);
    int matching = -1;
    for (size_t i = 0; i < frames.size(); i++)
        if (frames[i].width == shot[0].width && frames[i].height == shot[0].height && frames[i].pixels == shot[0].pixels)
            matching = int(i);
    // The command runs after frame 2 is drawn (one queued command a frame);
    // the next frame takes it.
    EXPECT_EQ(matching, 3);
    // Not a black or blank image: the sky, the ground and the track differ.
    size_t dark = 0;
    for (size_t i = 0; i < shot[0].pixels.size(); i += 3)
        dark += uint8_t(shot[0].pixels[i]) < 16 && uint8_t(shot[0].pixels[i + 1]) < 16 && uint8_t(shot[0].pixels[i + 2]) < 16;
    EXPECT_LT(dark, shot[0].pixels.size() / 3 / 10);
}

}  // namespace
