// The loading-screen calls: progress dots, cut texts and the spinner count.
#include <gtest/gtest.h>

#include <string>

#include "ui/loading.h"

namespace {

TEST(loading, progress_dots_cycle_and_texts_are_cut)
{
    loading = loading_state{};
    const char* expected[] = {"Loading heights", "Loading heights.", "Loading heights..", "Loading heights...",
                              "Loading heights"};
    for (const char* e : expected) {
        loading.last_progress_time = -1; // as if 1/8 s had passed
        show_progress("Loading heights");
        EXPECT_STREQ(loading.drawn, e);
    }
    // A call right after a drawing draws nothing.
    show_progress("Loading heights");
    EXPECT_STREQ(loading.drawn, "Loading heights");
    EXPECT_EQ(loading.progress_dots, 1);

    std::string hundred(100, 'h');
    loading.last_progress_time = -1;
    loading.progress_dots = 0;
    show_progress(hundred.c_str());
    EXPECT_EQ(std::string(loading.drawn), hundred.substr(0, 64));
    show_done(hundred.c_str());
    EXPECT_EQ(std::string(loading.drawn), hundred.substr(0, 64) + "...done");
    show_status_restart(hundred.c_str());
    EXPECT_EQ(std::string(loading.status), hundred.substr(0, 79));
    EXPECT_EQ(loading.progress_dots, 0);
}

TEST(loading, every_tick_is_counted)
{
    uint32_t before = loading.tick_count;
    for (int i = 0; i < 100; i++) loading_tick();
    EXPECT_EQ(loading.tick_count - before, 100u);
}

} // namespace
