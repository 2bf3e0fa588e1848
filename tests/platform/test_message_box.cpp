// Message boxes without a display fall back to standard error, and are logged.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/vesk.h"

namespace {

TEST(message_box, without_display_writes_standard_error)
{
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    ::testing::internal::CaptureStderr();
    vesk_message_box("Problem starting Zentrik", "Can't find game data\n");
    vesk_message_box("Error", "%d%% of %s", 100, "memory");
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Problem starting Zentrik: Can't find game data\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Error: 100% of memory\n"), std::string::npos) << err;
}

}  // namespace
