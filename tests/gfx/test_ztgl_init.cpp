#include <gtest/gtest.h>

#include "test_ztgl_fake_gl.h"

namespace {

struct version_case {
  const char* text;
  int major, minor, es, supported;
};

TEST(ztgl_version, strings_of_desktop_and_es_drivers) {
  const version_case cases[] = {
      {"4.5 (Compatibility Profile) Mesa 22.3.6", 4, 5, 0, 1},
      {"OpenGL ES 3.2 Mesa 22.3.6", 3, 2, 1, 1},
      {"OpenGL ES 3.0 V@415.0", 3, 0, 1, 1},
      {"OpenGL ES 2.0", 2, 0, 1, 0},
      {"3.1.0 NVIDIA", 3, 1, 0, 1},
      {"3.0 Mesa", 3, 0, 0, 0},
      {"unknown", 0, 0, 0, 0},
      {nullptr, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    int major = -1, minor = -1, es = -1;
    ztgl_parse_version(c.text, &major, &minor, &es);
    EXPECT_EQ(major, c.major) << (c.text ? c.text : "null");
    EXPECT_EQ(minor, c.minor);
    EXPECT_EQ(es, c.es);
    ztgl_state.major = major, ztgl_state.minor = minor, ztgl_state.es = es;
    EXPECT_EQ(ztgl_version_supported(), c.supported) << (c.text ? c.text : "null");
  }
}

// Locations differ per program: program p has uniform u at p * 100 + u.
struct uniform_cache_test : ::testing::Test {
  void SetUp() override {
    fake_gl_layer_setup();
    ztgl_state.program[2] = 2;
    ztgl_fn.GetUniformLocation = [](GLuint program, const GLchar* name) -> GLint {
      return (GLint)program * 100 + (GLint)strlen(name);
    };
    ztgl_fn.Uniform1f = [](GLint l, GLfloat) { fake_record("Uniform1f", (unsigned)l); };
    ztgl_fn.Uniform1i = [](GLint l, GLint) { fake_record("Uniform1i", (unsigned)l); };
    ztgl_fn.Uniform3fv = [](GLint l, GLsizei n, const GLfloat*) { fake_record("Uniform3fv", (unsigned)l, (unsigned)n); };
    ztgl_fn.UniformMatrix3fv = [](GLint l, GLsizei n, GLboolean, const GLfloat*) {
      fake_record("UniformMatrix3fv", (unsigned)l, (unsigned)n);
    };
  }
};

TEST_F(uniform_cache_test, every_program_gets_its_own_locations) {
  const unsigned density = (unsigned)strlen("u_fog_density"), spacing = (unsigned)strlen("u_spacing");
  ztgl_set_fog_density(1);
  ztgl_set_spacing(2);
  ztgl_use_program(2);
  ztgl_set_fog_density(1);
  ztgl_set_spacing(2);
  ztgl_use_program(1);
  ztgl_set_spacing(2);
  auto f = fake_calls("Uniform1f");
  ASSERT_EQ(f.size(), 8u);  // spacing sets u_spacing and u_spacing_inv
  EXPECT_EQ(f[0].a, 100 + density);
  EXPECT_EQ(f[1].a, 100 + spacing);
  EXPECT_EQ(f[3].a, 200 + density);
  EXPECT_EQ(f[4].a, 200 + spacing);
  EXPECT_EQ(f[6].a, 100 + spacing);
  EXPECT_EQ(f[7].a, 100 + (unsigned)strlen("u_spacing_inv"));
}

TEST_F(uniform_cache_test, bones_are_clamped_to_what_the_programs_hold) {
  log_capture log;
  std::vector<float> v(40 * 9, 0.0f);
  ztgl_set_bones(40, v.data(), v.data(), v.data());
  ztgl_set_bones(33, v.data(), v.data(), v.data());
  for (const auto& c : fake_calls("Uniform3fv")) EXPECT_EQ(c.b, 32u);
  for (const auto& c : fake_calls("UniformMatrix3fv")) EXPECT_EQ(c.b, 32u);
  EXPECT_EQ(fake_calls("UniformMatrix3fv").size(), 2u);
  EXPECT_EQ(log.count("ztgl_set_bones"), 1);
  // Without a program nothing is set.
  fake_gl.calls.clear();
  ztgl_use_program(0);
  ztgl_set_bones(1, v.data(), v.data(), v.data());
  EXPECT_TRUE(fake_calls("Uniform1i").empty());
}

TEST_F(uniform_cache_test, envmat_takes_the_rotation_and_leaves_program_1) {
  const float m[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  static float seen[9];
  ztgl_fn.UniformMatrix3fv = [](GLint, GLsizei, GLboolean, const GLfloat* v) { memcpy(seen, v, sizeof seen); };
  ztgl_set_envmat(m);
  EXPECT_EQ(std::vector<float>(seen, seen + 9), (std::vector<float>{1, 2, 3, 5, 6, 7, 9, 10, 11}));
  EXPECT_EQ(ztgl_state.slot, 1);
}

}  // namespace
