// Immediate-mode drawing for real: the converted primitives cover the pixels
// GL's own primitives would, and long primitives split across batches draw
// the same picture as the same geometry drawn in short pieces.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "gfx/imm.h"
#include "gl_test_ztgl_context.h"

namespace {

struct imm_gl_test : ::testing::TestWithParam<int> {
  gl_test_target target{};
  void open(int size) {
    target = gl_test_target_open(size, size);
    ztgl_use_program(ZTGL_UNLIT);
    ztglActiveTexture(GL_TEXTURE0);
    ztglBindTexture(GL_TEXTURE_2D, ztgl_state.white_texture);
    ztglMatrixMode(ZTGL_PROJECTION);
    ztglLoadIdentity();
    ztglOrtho(0, size, 0, size, -1, 1);
    ztglMatrixMode(ZTGL_MODELVIEW);
    ztglLoadIdentity();
  }
  void SetUp() override { ASSERT_EQ(gl_test_open(GetParam()), ""); ASSERT_EQ(ztgl_build_programs(), 1); }
  void TearDown() override {
    if (target.framebuffer) gl_test_target_close(&target);
    gl_test_close();
  }
  // The coverage of one drawing: 1 where alpha was written.
  std::vector<int> coverage(const std::function<void()>& draw) {
    ztglClear(GL_COLOR_BUFFER_BIT);
    draw();
    std::vector<uint8_t> p = gl_test_read(target);
    std::vector<int> lit;
    for (size_t i = 3; i < p.size(); i += 4) lit.push_back(p[i] != 0);
    return lit;
  }
  std::vector<uint8_t> image(const std::function<void()>& draw) {
    ztglClear(GL_COLOR_BUFFER_BIT);
    draw();
    return gl_test_read(target);
  }
};

void vertices(int primitive, std::initializer_list<std::array<float, 2>> points) {
  imm_begin(primitive);
  for (const auto& p : points) imm_vertex2(p[0], p[1]);
  imm_end();
}

// The 16 x 16 mask of pixels whose centre lies inside the box.
std::vector<int> box(int x0, int y0, int x1, int y1) {
  std::vector<int> m(256);
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++) m[y * 16 + x] = x >= x0 && x < x1 && y >= y0 && y < y1;
  return m;
}

TEST_P(imm_gl_test, each_primitive_kind_covers_its_pixels) {
  open(16);
  // Edges on pixel boundaries, so that coverage is exact.
  EXPECT_EQ(coverage([] { vertices(IMM_QUADS, {{2, 2}, {10, 2}, {10, 12}, {2, 12}}); }), box(2, 2, 10, 12));
  EXPECT_EQ(coverage([] { vertices(IMM_TRIANGLE_STRIP, {{4, 0}, {16, 0}, {4, 8}, {16, 8}}); }),
            box(4, 0, 16, 8));
  EXPECT_EQ(coverage([] { vertices(IMM_QUAD_STRIP, {{0, 4}, {0, 12}, {6, 4}, {6, 12}, {16, 4}, {16, 12}}); }),
            box(0, 4, 16, 12));
  // A convex polygon with a vertex in the middle of its top edge.
  EXPECT_EQ(coverage([] { vertices(IMM_POLYGON, {{1, 1}, {15, 1}, {15, 15}, {8, 15}, {1, 15}}); }),
            box(1, 1, 15, 15));
  // Two quads in one primitive, the second one's seventh vertex dropped.
  std::vector<int> two = box(0, 0, 4, 4);
  std::vector<int> second = box(12, 12, 16, 16);
  for (int i = 0; i < 256; i++) two[i] |= second[i];
  EXPECT_EQ(coverage([] {
              vertices(IMM_QUADS, {{0, 0}, {4, 0}, {4, 4}, {0, 4}, {12, 12}, {16, 12}, {16, 16}, {12, 16}, {5, 5}});
            }),
            two);
  // A horizontal line through pixel centres lights one row.
  std::vector<int> row = coverage([] { vertices(IMM_LINES, {{0, 8.5f}, {16, 8.5f}}); });
  for (int x = 1; x < 15; x++) EXPECT_EQ(row[8 * 16 + x], 1) << x;
  EXPECT_EQ(row[7 * 16 + 8] + row[9 * 16 + 8], 0);
  // A line loop around the border: the four sides lit, the middle not.
  std::vector<int> loop =
      coverage([] { vertices(IMM_LINE_LOOP, {{0.5f, 0.5f}, {15.5f, 0.5f}, {15.5f, 15.5f}, {0.5f, 15.5f}}); });
  EXPECT_EQ(loop[0 * 16 + 8], 1);
  EXPECT_EQ(loop[15 * 16 + 8], 1);
  EXPECT_EQ(loop[8 * 16 + 0], 1) << "the closing side";
  EXPECT_EQ(loop[8 * 16 + 15], 1);
  EXPECT_EQ(loop[8 * 16 + 8], 0);
  // Points.
  std::vector<int> points = coverage([] { vertices(IMM_POINTS, {{3.5f, 5.5f}, {12.5f, 9.5f}}); });
  EXPECT_EQ(points[5 * 16 + 3] + points[9 * 16 + 12], 2);
  int lit = 0;
  for (int v : points) lit += v;
  EXPECT_EQ(lit, 2);
}

// Vertex i of a long primitive: a spiral. Drawn with additive blending in
// steps of 1/255, so the picture counts how often each pixel is covered and a
// lost or doubled piece shows wherever it falls.
void spiral_vertex(int i) {
  float a = i * 0.013f, r = 4 + 26 * (float)(i % 97) / 97;
  imm_color(1 / 255.0f, 1 / 255.0f, 1 / 255.0f, 1 / 255.0f);
  imm_vertex2(32 + r * std::cos(a), 32 + r * std::sin(a));
}

// Vertex i of a ring strip: inner and outer rail in turn, every triangle
// counter-clockwise, so that with back faces culled a strip continued with the
// wrong parity loses every triangle after the split.
void ring_vertex(int i) {
  float a = (float)(i / 2) * 0.02f, r = i % 2 ? 28.0f : 8.0f + (float)(i / 2 % 37) * 0.3f;
  imm_color(1 / 255.0f, 1 / 255.0f, 1 / 255.0f, 1 / 255.0f);
  imm_vertex2(32 + r * std::cos(a), 32 + r * std::sin(a));
}

struct split_case {
  void (*vertex)(int);
  bool cull;
  int primitive, n;
  int chunk_primitive, chunk, overlap;  // how to draw the same geometry in pieces
  bool keep_first;                      // each piece starts with vertex 0 (fans)
  bool close;                           // a closing segment back to vertex 0
};

TEST_P(imm_gl_test, long_primitives_draw_like_short_pieces) {
  open(64);
  ztglEnable(GL_BLEND);
  ztglBlendFunc(GL_ONE, GL_ONE);
  const split_case cases[] = {
      {ring_vertex, true, IMM_TRIANGLE_STRIP, 20000, IMM_TRIANGLE_STRIP, 100, 2, false, false},
      {ring_vertex, true, IMM_QUAD_STRIP, 20000, IMM_QUAD_STRIP, 100, 2, false, false},
      {spiral_vertex, false, IMM_TRIANGLE_FAN, 9000, IMM_TRIANGLE_FAN, 50, 1, true, false},
      {spiral_vertex, false, IMM_LINE_LOOP, 17000, IMM_LINE_STRIP, 100, 1, false, true},
  };
  for (const auto& c : cases) {
    auto vertex = c.vertex;
    if (c.cull)
      ztglEnable(GL_CULL_FACE);
    else
      ztglDisable(GL_CULL_FACE);
    std::vector<uint8_t> whole = image([&] {
      imm_begin(c.primitive);
      for (int i = 0; i < c.n; i++) vertex(i);
      imm_end();
    });
    std::vector<uint8_t> pieces = image([&] {
      int start = c.keep_first ? 1 : 0;
      while (start + c.overlap < c.n) {
        int end = std::min(c.n, start + c.chunk);
        imm_begin(c.chunk_primitive);
        if (c.keep_first) vertex(0);
        for (int i = start; i < end; i++) vertex(i);
        imm_end();
        start = end - c.overlap;
      }
      if (c.close) {
        imm_begin(IMM_LINES);
        vertex(c.n - 1);
        vertex(0);
        imm_end();
      }
    });
    int differing = 0, saturated = 0;
    for (size_t i = 0; i < whole.size(); i++) differing += whole[i] != pieces[i], saturated += whole[i] == 255;
    EXPECT_EQ(differing, 0) << "primitive " << c.primitive;
    EXPECT_EQ(saturated, 0) << "primitive " << c.primitive;
  }
}

INSTANTIATE_TEST_SUITE_P(contexts, imm_gl_test, ::testing::Values(GL_TEST_COMPAT, GL_TEST_CORE, GL_TEST_ES),
                         [](const ::testing::TestParamInfo<int>& p) {
                           return std::string(gl_test_dialect_name(p.param));
                         });

}  // namespace
