// Start-up on contexts at the edge of what the layer supports.
#include <gtest/gtest.h>

#include <cstdlib>

#include "gl_test_ztgl_context.h"

namespace {

struct version_override_test : ::testing::Test {
  void TearDown() override {
    gl_test_close();
    unsetenv("MESA_GLES_VERSION_OVERRIDE");
    unsetenv("MESA_GL_VERSION_OVERRIDE");
  }
};

TEST_F(version_override_test, es_3_0_runs_the_programs_without_the_es_3_1_calls) {
  setenv("MESA_GLES_VERSION_OVERRIDE", "3.0", 1);
  ASSERT_EQ(gl_test_open(GL_TEST_ES), "");
  EXPECT_EQ(ztgl_state.es, 1);
  EXPECT_EQ(ztgl_state.major * 10 + ztgl_state.minor, 30);
  EXPECT_EQ(ztgl_version_supported(), 1);
  EXPECT_EQ(ztgl_fn.GetTexLevelParameteriv, nullptr);
  GLint width = -1;
  ztglGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
  EXPECT_EQ(width, 0);
  EXPECT_EQ(ztgl_build_programs(), 1);
}

TEST_F(version_override_test, desktop_3_0_is_too_old) {
  setenv("MESA_GL_VERSION_OVERRIDE", "3.0", 1);
  ASSERT_EQ(gl_test_open(GL_TEST_COMPAT, 30), "");
  EXPECT_EQ(ztgl_state.major * 10 + ztgl_state.minor, 30);
  EXPECT_EQ(ztgl_version_supported(), 0);
}

}  // namespace
