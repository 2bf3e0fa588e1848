#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

#include "test_ztgl_fake_gl.h"

namespace {

// An independent model of GL's matrix stacks: row-major doubles, the
// matrices written out as the GL 2.1 definition gives them.
using mat = std::array<std::array<double, 4>, 4>;

mat identity() {
  mat m{};
  for (int i = 0; i < 4; i++) m[i][i] = 1;
  return m;
}

mat product(const mat& a, const mat& b) {
  mat r{};
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++)
      for (int k = 0; k < 4; k++) r[i][j] += a[i][k] * b[k][j];
  return r;
}

mat frustum(double l, double r, double b, double t, double n, double f) {
  return {{{2 * n / (r - l), 0, (r + l) / (r - l), 0},
           {0, 2 * n / (t - b), (t + b) / (t - b), 0},
           {0, 0, -(f + n) / (f - n), -2 * f * n / (f - n)},
           {0, 0, -1, 0}}};
}

mat ortho(double l, double r, double b, double t, double n, double f) {
  return {{{2 / (r - l), 0, 0, -(r + l) / (r - l)},
           {0, 2 / (t - b), 0, -(t + b) / (t - b)},
           {0, 0, -2 / (f - n), -(f + n) / (f - n)},
           {0, 0, 0, 1}}};
}

mat rotation(double degrees, double x, double y, double z) {
  double len = std::sqrt(x * x + y * y + z * z);
  x /= len, y /= len, z /= len;
  double a = degrees * M_PI / 180, c = std::cos(a), s = std::sin(a);
  return {{{x * x * (1 - c) + c, x * y * (1 - c) - z * s, x * z * (1 - c) + y * s, 0},
           {y * x * (1 - c) + z * s, y * y * (1 - c) + c, y * z * (1 - c) - x * s, 0},
           {x * z * (1 - c) - y * s, y * z * (1 - c) + x * s, z * z * (1 - c) + c, 0},
           {0, 0, 0, 1}}};
}

mat scaling(double x, double y, double z) { return {{{x, 0, 0, 0}, {0, y, 0, 0}, {0, 0, z, 0}, {0, 0, 0, 1}}}; }
mat translation(double x, double y, double z) { return {{{1, 0, 0, x}, {0, 1, 0, y}, {0, 0, 1, z}, {0, 0, 0, 1}}}; }

struct reference_stacks {
  std::vector<mat> stacks[10];
  int unit = 0, mode = 0;
  reference_stacks() {
    for (auto& s : stacks) s = {identity()};
  }
  mat& top() { return stacks[mode].back(); }
};

void expect_same(const reference_stacks& ref, const char* step) {
  for (int m = 0; m < 10; m++) {
    ASSERT_EQ(ztgl_state.depth[m], (int)ref.stacks[m].size() - 1) << step << " mode " << m;
    const float* got = ztgl_current_matrix(m);
    const mat& want = ref.stacks[m].back();
    for (int i = 0; i < 4; i++)
      for (int j = 0; j < 4; j++)
        ASSERT_NEAR(got[j * 4 + i], want[i][j], 2e-5 * (1 + std::fabs(want[i][j])))
            << step << " mode " << m << " row " << i << " col " << j;
  }
}

struct matrix_test : ::testing::Test {
  void SetUp() override { fake_gl_layer_setup(); }
};

TEST_F(matrix_test, random_sequences_agree_with_double_precision_reference) {
  log_capture log;
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> u(-1, 1);
  reference_stacks ref;
  const GLenum modes[3] = {ZTGL_MODELVIEW, ZTGL_PROJECTION, ZTGL_TEXTURE};
  int overflows = 0, underflows = 0;
  for (int step = 0; step < 6000; step++) {
    int op = (int)(rng() % 13);
    double a = u(rng), b = u(rng), c = u(rng), d = u(rng);
    const char* name = "";
    switch (op) {
      case 0: name = "load identity"; ztglLoadIdentity(); ref.top() = identity(); break;
      case 1: {
        name = "mode";
        GLenum m = modes[rng() % 3];
        ztglMatrixMode(m);
        ref.mode = m == ZTGL_MODELVIEW ? 0 : m == ZTGL_PROJECTION ? 1 : ref.unit + 2;
        break;
      }
      case 2: {
        name = "active texture";
        int unit = (int)(rng() % 8);
        ztglActiveTexture(GL_TEXTURE0 + unit);
        ref.unit = unit;
        if (ref.mode >= 2) ref.mode = unit + 2;
        break;
      }
      case 3: case 4:
        // Pushes outnumber pops in bursts, so both ends of the stack are hit.
        name = "push";
        for (int k = (int)(rng() % 12); k >= 0; k--) {
          ztglPushMatrix();
          if (ref.stacks[ref.mode].size() < 32) ref.stacks[ref.mode].push_back(ref.top()); else overflows++;
        }
        break;
      case 5:
        name = "pop";
        for (int k = (int)(rng() % 8 == 0 ? 40 : rng() % 12); k >= 0; k--) {
          ztglPopMatrix();
          if (ref.stacks[ref.mode].size() > 1) ref.stacks[ref.mode].pop_back(); else underflows++;
        }
        break;
      case 6:
        name = "frustum";
        ztglFrustum(-1 - a * 0.5, 1 + b * 0.5, -1, 1 + c * 0.5, 0.5 + d * 0.25, 100);
        ref.top() = product(ref.top(), frustum((float)(-1 - a * 0.5), (float)(1 + b * 0.5), -1,
                                               (float)(1 + c * 0.5), (float)(0.5 + d * 0.25), 100));
        break;
      case 7:
        name = "ortho";
        ztglOrtho(-2 + a, 2 + b, -2, 2 + c, -1 + d, 10);
        ref.top() = product(ref.top(), ortho((float)(-2 + a), (float)(2 + b), -2, (float)(2 + c),
                                             (float)(-1 + d), 10));
        break;
      case 8:
        name = "rotate";
        ztglRotatef((float)(a * 360), (float)b, (float)c, (float)(d + 2));
        ref.top() = product(ref.top(), rotation((float)(a * 360), (float)b, (float)c, (float)(d + 2)));
        break;
      case 9:
        name = "scale";
        ztglScalef((float)(1 + a * 0.25), (float)(1 + b * 0.25), (float)(1 + c * 0.25));
        ref.top() = product(ref.top(), scaling((float)(1 + a * 0.25), (float)(1 + b * 0.25),
                                               (float)(1 + c * 0.25)));
        break;
      case 10:
        name = "translate";
        ztglTranslatef((float)(a * 10), (float)(b * 10), (float)(c * 10));
        ref.top() = product(ref.top(), translation((float)(a * 10), (float)(b * 10), (float)(c * 10)));
        break;
      case 11: case 12: {
        float m[16];
        mat r;
        for (int i = 0; i < 16; i++) m[i] = (float)u(rng);
        for (int i = 0; i < 4; i++)
          for (int j = 0; j < 4; j++) r[i][j] = m[j * 4 + i];
        if (op == 11) {
          name = "load matrix";
          ztglLoadMatrixf(m);
          ref.top() = r;
        } else {
          name = "mult matrix";
          ztglLoadIdentity();  // keeps products of random matrices bounded
          ztglMultMatrixf(m);
          ref.top() = r;
        }
        break;
      }
    }
    if (step % 7 == 0) {
      ztgl_flush();
      ASSERT_NO_FATAL_FAILURE(expect_same(ref, name)) << "step " << step;
    }
  }
  ztgl_flush();
  expect_same(ref, "end");
  EXPECT_GT(overflows, 0);
  EXPECT_GT(underflows, 0);
  EXPECT_EQ(log.count("Error: ztglPushMatrix overflowed\n"), overflows);
  EXPECT_EQ(log.count("Error: ztglPopMatrix with empty stack\n"), underflows);
}

TEST_F(matrix_test, stack_ends_are_logged_and_left_alone) {
  log_capture log;
  for (int i = 0; i < 31; i++) ztglPushMatrix();
  ztgl_flush();
  EXPECT_EQ(ztgl_state.depth[0], 31);
  EXPECT_EQ(log.count("overflowed"), 0);
  ztglTranslatef(5, 0, 0);
  ztglPushMatrix();
  ztgl_flush();
  EXPECT_EQ(ztgl_state.depth[0], 31);
  EXPECT_EQ(ztgl_current_matrix(0)[12], 5.0f);
  EXPECT_EQ(log.count("Error: ztglPushMatrix overflowed\n"), 1);
  for (int i = 0; i < 32; i++) ztglPopMatrix();
  ztgl_flush();
  EXPECT_EQ(ztgl_state.depth[0], 0);
  EXPECT_EQ(log.count("Error: ztglPopMatrix with empty stack\n"), 1);
}

TEST_F(matrix_test, texture_mode_follows_the_active_unit) {
  log_capture log;
  ztglActiveTexture(GL_TEXTURE3);
  ztglMatrixMode(ZTGL_TEXTURE);
  ztgl_flush();
  EXPECT_EQ(ztgl_state.mode, 5);
  ztglActiveTexture(GL_TEXTURE1);
  ztgl_flush();
  EXPECT_EQ(ztgl_state.mode, 3);
  ztglActiveTexture(GL_TEXTURE0 + 8);
  ztglMatrixMode(0x1234);  // not a matrix mode: ignored
  ztgl_flush();
  EXPECT_EQ(ztgl_state.mode, 3);
  EXPECT_EQ(ztgl_state.active_unit, 1);
  EXPECT_EQ(log.count("Error: glActiveTexture out of range\n"), 1);
  ztglMatrixMode(ZTGL_MODELVIEW);
  ztglActiveTexture(GL_TEXTURE4);
  ztgl_flush();
  EXPECT_EQ(ztgl_state.mode, 0);
}

TEST_F(matrix_test, rotation_axis_length_does_not_matter) {
  float unit[16], longer[16];
  ztgl_mat4_rotate(unit, 30, 0, 0, 1);
  ztgl_mat4_rotate(longer, 30, 0, 0, 7);
  for (int i = 0; i < 16; i++) EXPECT_FLOAT_EQ(unit[i], longer[i]) << i;
  float zero[16], id[16];
  ztgl_mat4_rotate(zero, 30, 0, 0, 0);
  ztgl_mat4_identity(id);
  for (int i = 0; i < 16; i++) EXPECT_EQ(zero[i], id[i]);
}

TEST_F(matrix_test, only_dirty_matrices_are_uploaded_at_a_draw) {
  // The fake program has u_modelview at 5 and u_projection at 6 only.
  imm_begin(IMM_POINTS);
  imm_vertex2(0, 0);
  imm_end();
  ztgl_flush();
  auto uploads = fake_calls("UniformMatrix4fv");
  ASSERT_EQ(uploads.size(), 2u);
  fake_gl.calls.clear();
  ztglPushMatrix();  // the current matrix is unchanged: nothing to upload
  imm_begin(IMM_POINTS);
  imm_vertex2(0, 0);
  imm_end();
  ztgl_flush();
  EXPECT_TRUE(fake_calls("UniformMatrix4fv").empty());
  fake_gl.calls.clear();
  ztglPopMatrix();
  imm_begin(IMM_POINTS);
  imm_vertex2(0, 0);
  imm_end();
  ztgl_flush();
  uploads = fake_calls("UniformMatrix4fv");
  ASSERT_EQ(uploads.size(), 1u);
  EXPECT_EQ(uploads[0].a, 5u);
}

TEST_F(matrix_test, program_selection_ignores_same_and_out_of_range_slots) {
  int switches = ztgl_state.program_switches;
  ztglTranslatef(1, 0, 0);
  ztgl_use_program(1);  // already current: no flush, no count
  EXPECT_EQ(ztgl_queue.count, 4);
  ztgl_use_program(ZTGL_SLOTS);
  ztgl_use_program(-1);
  EXPECT_EQ(ztgl_queue.count, 4);
  EXPECT_EQ(ztgl_state.slot, 1);
  EXPECT_EQ(ztgl_state.program_switches, switches);
  ztgl_use_program(0);
  EXPECT_EQ(ztgl_queue.count, 0);
  EXPECT_EQ(ztgl_state.program_switches, switches + 1);
  EXPECT_EQ(ztgl_state.dirty, (1u << ZTGL_MATRIX_MODES) - 1);
}

TEST_F(matrix_test, drawing_without_a_program_ends_the_process) {
  EXPECT_EXIT(
      {
        ztgl_use_program(0);
        imm_begin(IMM_LINES);
        imm_vertex2(0, 0);
        imm_vertex2(1, 1);
        imm_end();
        ztgl_flush();
      },
      ::testing::ExitedWithCode(1), "^Error: Fixed shader used\n$");
}

}  // namespace
