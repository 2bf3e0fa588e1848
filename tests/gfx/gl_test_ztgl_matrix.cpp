// The emulated stacks against the driver's own fixed-function matrices, in a
// compatibility context that still has them.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "gl_test_ztgl_context.h"

namespace {

typedef void (*matrix_mode_fn)(GLenum);
typedef void (*void_fn)();
typedef void (*box_fn)(double, double, double, double, double, double);
typedef void (*four_fn)(float, float, float, float);
typedef void (*three_fn)(float, float, float);
typedef void (*matrix_fn)(const float*);

struct fixed_function {
  matrix_mode_fn MatrixMode;
  void_fn LoadIdentity, PushMatrix, PopMatrix;
  box_fn Frustum, Ortho;
  four_fn Rotatef;
  three_fn Scalef, Translatef;
  matrix_fn LoadMatrixf, MultMatrixf;
};

struct oracle_test : ::testing::Test {
  fixed_function ff{};
  void SetUp() override {
    ASSERT_EQ(gl_test_open(GL_TEST_COMPAT), "");
    ff.MatrixMode = (matrix_mode_fn)gl_test_proc("glMatrixMode");
    ff.LoadIdentity = (void_fn)gl_test_proc("glLoadIdentity");
    ff.PushMatrix = (void_fn)gl_test_proc("glPushMatrix");
    ff.PopMatrix = (void_fn)gl_test_proc("glPopMatrix");
    ff.Frustum = (box_fn)gl_test_proc("glFrustum");
    ff.Ortho = (box_fn)gl_test_proc("glOrtho");
    ff.Rotatef = (four_fn)gl_test_proc("glRotatef");
    ff.Scalef = (three_fn)gl_test_proc("glScalef");
    ff.Translatef = (three_fn)gl_test_proc("glTranslatef");
    ff.LoadMatrixf = (matrix_fn)gl_test_proc("glLoadMatrixf");
    ff.MultMatrixf = (matrix_fn)gl_test_proc("glMultMatrixf");
    ASSERT_TRUE(ff.MatrixMode && ff.LoadIdentity && ff.PushMatrix && ff.PopMatrix && ff.Frustum &&
                ff.Ortho && ff.Rotatef && ff.Scalef && ff.Translatef && ff.LoadMatrixf &&
                ff.MultMatrixf);
    ztgl_fn.GetError();
  }
  void TearDown() override { gl_test_close(); }
};

void expect_matrix(GLenum query, const float* ours, const char* what, int step) {
  float theirs[16];
  ztgl_fn.GetFloatv(query, theirs);
  for (int i = 0; i < 16; i++)
    ASSERT_NEAR(ours[i], theirs[i], 1e-5 * (1 + std::fabs(theirs[i])))
        << what << " element " << i << " step " << step;
}

TEST_F(oracle_test, emulated_stacks_match_the_fixed_function_pipeline) {
  std::mt19937 rng(777);
  std::uniform_real_distribution<double> u(-1, 1);
  GLint texture_stack_max = 0;
  ztgl_fn.GetIntegerv(0x0D39 /* GL_MAX_TEXTURE_STACK_DEPTH */, &texture_stack_max);
  const GLenum modes[3] = {ZTGL_MODELVIEW, ZTGL_PROJECTION, ZTGL_TEXTURE};
  for (int step = 0; step < 3000; step++) {
    double a = u(rng), b = u(rng), c = u(rng), d = u(rng);
    switch (rng() % 12) {
      case 0: ztglLoadIdentity(); ff.LoadIdentity(); break;
      case 1: {
        GLenum m = modes[rng() % 3];
        ztglMatrixMode(m);
        ff.MatrixMode(m);
        break;
      }
      case 2: ztglActiveTexture(GL_TEXTURE0 + rng() % 8); break;  // GL sees it at the flush
      case 3: case 4: {
        // The driver's texture stacks may be shallower than ours: stay within them.
        bool texture = ztgl_state.mode >= 2;
        if (texture && ztgl_state.depth[ztgl_state.mode] + 1 >= texture_stack_max) break;
        ztglPushMatrix();
        ff.PushMatrix();
        break;
      }
      case 5:
        for (int k = (int)(rng() % 4); k >= 0; k--) ztglPopMatrix(), ff.PopMatrix();
        break;
      case 6:
        ztglFrustum(-1 - a * 0.5, 1 + b * 0.5, -1, 1 + c * 0.5, 0.5 + d * 0.25, 100);
        ff.Frustum((float)(-1 - a * 0.5), (float)(1 + b * 0.5), -1, (float)(1 + c * 0.5),
                   (float)(0.5 + d * 0.25), 100);
        break;
      case 7:
        ztglOrtho(-2 + a, 2 + b, -2, 2 + c, -1 + d, 10);
        ff.Ortho((float)(-2 + a), (float)(2 + b), -2, (float)(2 + c), (float)(-1 + d), 10);
        break;
      case 8:
        ztglRotatef((float)(a * 360), (float)b, (float)c, (float)(d + 2));
        ff.Rotatef((float)(a * 360), (float)b, (float)c, (float)(d + 2));
        break;
      case 9:
        ztglScalef((float)(1 + a * 0.25), (float)(1 + b * 0.25), (float)(1 + c * 0.25));
        ff.Scalef((float)(1 + a * 0.25), (float)(1 + b * 0.25), (float)(1 + c * 0.25));
        break;
      case 10:
        ztglTranslatef((float)(a * 10), (float)(b * 10), (float)(c * 10));
        ff.Translatef((float)(a * 10), (float)(b * 10), (float)(c * 10));
        break;
      case 11: {
        float m[16];
        for (float& x : m) x = (float)u(rng);
        if (rng() % 2) {
          ztglLoadMatrixf(m);
          ff.LoadMatrixf(m);
        } else {
          ztglLoadIdentity();
          ff.LoadIdentity();
          ztglMultMatrixf(m);
          ff.MultMatrixf(m);
        }
        break;
      }
    }
    ztgl_flush();
    ASSERT_NO_FATAL_FAILURE(expect_matrix(0x0BA6 /* GL_MODELVIEW_MATRIX */, ztgl_current_matrix(0), "modelview", step));
    ASSERT_NO_FATAL_FAILURE(expect_matrix(0x0BA7 /* GL_PROJECTION_MATRIX */, ztgl_current_matrix(1), "projection", step));
    ASSERT_NO_FATAL_FAILURE(expect_matrix(0x0BA8 /* GL_TEXTURE_MATRIX */,
                                          ztgl_current_matrix(ztgl_state.active_unit + 2), "texture", step));
  }
  // Overflow at the model-view stack's end, where both stacks hold 32.
  ztglMatrixMode(ZTGL_MODELVIEW);
  ff.MatrixMode(ZTGL_MODELVIEW);
  for (int i = 0; i < 40; i++) ztglPushMatrix(), ff.PushMatrix();
  ztglTranslatef(1, 2, 3);
  ff.Translatef(1, 2, 3);
  for (int i = 0; i < 3; i++) ztglPopMatrix(), ff.PopMatrix();
  ztgl_flush();
  GLint depth = 0;
  ztgl_fn.GetIntegerv(0x0BA3 /* GL_MODELVIEW_STACK_DEPTH */, &depth);
  EXPECT_EQ(depth, ztgl_state.depth[0] + 1);
  expect_matrix(0x0BA6, ztgl_current_matrix(0), "after overflow", -1);
  while (ztgl_fn.GetError() != GL_NO_ERROR) {
  }
}

}  // namespace
