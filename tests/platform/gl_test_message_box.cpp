// With a display and "[msgbox:off]" the message goes to standard error and no
// box waits for a click (a box under a headless server would never return).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/vesk.h"

namespace {

TEST(message_box_display, switched_off_writes_standard_error_and_returns)
{
    ASSERT_NE(getenv("DISPLAY"), nullptr) << "runs under xvfb-run";
    setenv("VESK_OPTIONS", "[msgbox:off]", 1);
    vesk_log_reset_for_tests();
    ::testing::internal::CaptureStderr();
    vesk_message_box("Problem starting Zentrik", "Can't find game data\n");
    std::string err = ::testing::internal::GetCapturedStderr();
    unsetenv("VESK_OPTIONS");
    vesk_log_reset_for_tests();
    EXPECT_EQ(err, "Problem starting Zentrik: Can't find game data\n");
}

}  // namespace
