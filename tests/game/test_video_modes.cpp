// The video-mode list: the two fixed entries, then the display's modes of the
// first mode's colour depth, in the display's order.
#include <gtest/gtest.h>

#include "game/startup.h"
#include "platform/vesk_window.h"

namespace {

TEST(video_modes, fixed_entries_then_modes_of_the_first_depth)
{
    const vesk_display_mode modes[] = {
        {1920, 1080, 24}, {1280, 720, 24}, {1280, 720, 16}, {800, 600, 24}, {0, 0, 0}};
    video_mode_list_build(modes);
    ASSERT_EQ(video_mode_count, 5);
    const char* texts[] = {"Default Fullscreen", "Windowed", "1920x1080", "1280x720", "800x600"};
    for (int i = 0; i < 5; i++) EXPECT_STREQ(video_mode_list[i].text, texts[i]) << i;
    EXPECT_EQ(video_mode_list[0].width, 0) << "the desktop's own size";
    EXPECT_EQ(video_mode_list[3].width, 1280);
    EXPECT_EQ(video_mode_list[3].height, 720);
    video_mode_list_free();
    EXPECT_EQ(video_mode_count, 0);
}

TEST(video_modes, no_display_modes_leaves_the_fixed_entries)
{
    const vesk_display_mode none[] = {{0, 0, 0}};
    video_mode_list_build(none);
    EXPECT_EQ(video_mode_count, 2);
    video_mode_list_build(nullptr);
    EXPECT_EQ(video_mode_count, 2);
    video_mode_list_free();
}

}  // namespace
