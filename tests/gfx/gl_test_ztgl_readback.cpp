// Reading the frame back into a tightly packed buffer, as a screenshot does.
#include <gtest/gtest.h>

#include <vector>

#include "gl_test_ztgl_context.h"

namespace {

struct readback_test : ::testing::TestWithParam<int> {
  void SetUp() override {
    std::string why = gl_test_open(GetParam());
    if (!why.empty()) GTEST_SKIP() << why;
  }
  void TearDown() override { gl_test_close(); }
};

// An RGB row of 13 pixels is 39 bytes. With GL's default pack alignment of 4
// each row would take 40, so the last row would end 3 bytes past a buffer of
// 13 × 5 × 3 bytes and every row after the first would start 1 byte late.
TEST_P(readback_test, rgb_rows_of_odd_width_fill_exactly_their_bytes) {
  const int width = 13, height = 5;
  gl_test_target t = gl_test_target_open(width, height);
  ztglClearColor(0.2f, 0.4f, 0.6f, 1.0f);
  ztglClear(GL_COLOR_BUFFER_BIT);
  // The context's default, as a frame drawn before the read would leave it.
  ztglPixelStorei(GL_PACK_ALIGNMENT, 4);
  const size_t tight = size_t(width) * height * 3;
  const uint8_t guard = 0xA5;
  std::vector<uint8_t> buffer(tight + 16, guard);
  ztglReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, buffer.data());
  // 0.2, 0.4 and 0.6 of 255 are 51, 102 and 153 exactly.
  for (size_t i = 0; i < tight; i++) ASSERT_EQ(buffer[i], (i % 3 + 1) * 51) << "byte " << i;
  for (size_t i = tight; i < buffer.size(); i++) EXPECT_EQ(buffer[i], guard) << "byte " << i << " past the end";
  gl_test_target_close(&t);
}

// ES reads only RGBA bytes by rule, so the desktop dialects carry the case.
INSTANTIATE_TEST_SUITE_P(contexts, readback_test, ::testing::Values(GL_TEST_COMPAT, GL_TEST_CORE),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(gl_test_dialect_name(info.param));
                         });

}  // namespace
