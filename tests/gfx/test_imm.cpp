#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "test_ztgl_fake_gl.h"

namespace {

struct index_case {
  int primitive, first, n;
  std::vector<int> indices;
};

TEST(imm_indices, primitives_become_triangle_lists) {
  const index_case cases[] = {
      {IMM_QUADS, 0, 7, {0, 1, 3, 3, 1, 2}},  // the odd vertices are dropped
      {IMM_QUADS, 10, 8, {10, 11, 13, 13, 11, 12, 14, 15, 17, 17, 15, 16}},
      {IMM_QUADS, 0, 3, {}},
      {IMM_POLYGON, 5, 5, {5, 6, 7, 5, 7, 8, 5, 8, 9}},
      {IMM_POLYGON, 0, 2, {}},
      // Rounded down to 6 vertices; every other triangle flipped to keep the winding.
      {IMM_QUAD_STRIP, 0, 7, {0, 1, 2, 1, 3, 2, 2, 3, 4, 3, 5, 4}},
      {IMM_QUAD_STRIP, 0, 3, {}},
      {IMM_TRIANGLES, 0, 6, {}},  // GL draws these itself
      {IMM_LINE_LOOP, 0, 6, {}},
  };
  for (const auto& c : cases) {
    uint16_t out[64];
    int k = imm_make_indices(c.primitive, c.first, c.n, out);
    EXPECT_EQ(std::vector<int>(out, out + k), c.indices) << c.primitive << " n=" << c.n;
  }
}

// The drawn geometry as canonical pieces: segments (sorted ends), triangles
// (rotated to start at the smallest vertex, winding kept) and points, each
// vertex known by its x coordinate, which is its number in the primitive.
using piece = std::vector<int>;

std::multiset<piece> canonical(std::multiset<piece> pieces) {
  std::multiset<piece> out;
  for (piece p : pieces) {
    if (p.size() == 2) std::sort(p.begin(), p.end());
    if (p.size() == 3) std::rotate(p.begin(), std::min_element(p.begin(), p.end()), p.end());
    out.insert(p);
  }
  return out;
}

// What GL makes of one draw of the vertex sequence v in mode.
void expand(GLenum mode, const std::vector<int>& v, std::multiset<piece>* out) {
  int n = (int)v.size();
  switch (mode) {
    case GL_POINTS: for (int x : v) out->insert({x}); break;
    case GL_LINES: for (int i = 0; i + 1 < n; i += 2) out->insert({v[i], v[i + 1]}); break;
    case GL_LINE_STRIP: for (int i = 0; i + 1 < n; i++) out->insert({v[i], v[i + 1]}); break;
    case GL_LINE_LOOP:
      for (int i = 0; i + 1 < n; i++) out->insert({v[i], v[i + 1]});
      if (n > 1) out->insert({v[n - 1], v[0]});
      break;
    case GL_TRIANGLES: for (int i = 0; i + 2 < n; i += 3) out->insert({v[i], v[i + 1], v[i + 2]}); break;
    case GL_TRIANGLE_STRIP:
      for (int i = 0; i + 2 < n; i++)
        out->insert(i % 2 ? piece{v[i + 1], v[i], v[i + 2]} : piece{v[i], v[i + 1], v[i + 2]});
      break;
    case GL_TRIANGLE_FAN: for (int i = 1; i + 1 < n; i++) out->insert({v[0], v[i], v[i + 1]}); break;
  }
}

// The whole primitive drawn as GL would draw it unbroken (quads and polygons
// by their classic definition, as pairs of triangles and as a fan).
std::multiset<piece> ideal(int primitive, int n) {
  std::vector<int> v(n);
  for (int i = 0; i < n; i++) v[i] = i;
  std::multiset<piece> out;
  static const GLenum modes[7] = {GL_POINTS, GL_LINES, GL_LINE_LOOP, GL_LINE_STRIP,
                                  GL_TRIANGLES, GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN};
  if (primitive < 7) {
    expand(modes[primitive], v, &out);
  } else if (primitive == IMM_QUADS) {
    for (int q = 0; q + 4 <= n; q += 4) out.insert({q, q + 1, q + 3}), out.insert({q + 3, q + 1, q + 2});
  } else if (primitive == IMM_QUAD_STRIP) {
    expand(GL_TRIANGLE_STRIP, std::vector<int>(v.begin(), v.begin() + (n & ~1)), &out);
  } else {
    expand(GL_TRIANGLE_FAN, v, &out);
  }
  return canonical(out);
}

// Regroups what the fake GL drew into pieces, draw by draw.
std::multiset<piece> drawn_pieces(const std::vector<std::pair<GLenum, std::vector<int>>>& draws) {
  std::multiset<piece> out;
  for (const auto& d : draws) expand(d.first, d.second, &out);
  return canonical(out);
}

struct imm_test : ::testing::Test {
  std::vector<std::pair<GLenum, std::vector<int>>> draws;
  size_t seen = 0;
  void SetUp() override { fake_gl_layer_setup(); }
  // Collects the vertices of draws since the last call, one entry per draw.
  void collect() {
    size_t vertex = 0;
    for (const auto& c : fake_gl.calls) {
      bool arrays = !strcmp(c.name, "DrawArrays"), elements = !strcmp(c.name, "DrawRangeElements");
      if (!arrays && !elements) continue;
      unsigned count = c.c;  // the vertex or index count of either
      std::vector<int> v;
      for (unsigned i = 0; i < count; i++) v.push_back((int)fake_gl.drawn_x.at(vertex + i));
      if (vertex >= seen) draws.push_back({fake_gl.drawn_modes.at(vertex), v});
      vertex += count;
    }
    seen = vertex;
  }
  void draw_primitive(int primitive, int n) {
    imm_begin(primitive);
    for (int i = 0; i < n; i++) imm_vertex2((float)i, 0);
    imm_end();
    ztgl_flush();
    collect();
  }
};

TEST_F(imm_test, primitives_longer_than_a_batch_keep_every_vertex) {
  const std::pair<int, int> cases[] = {
      {IMM_TRIANGLES, 8193},      {IMM_TRIANGLE_STRIP, 20000}, {IMM_TRIANGLE_FAN, 9000},
      {IMM_LINE_LOOP, 17000},     {IMM_LINE_STRIP, 8193},      {IMM_QUAD_STRIP, 9001},
      {IMM_POLYGON, 16500},       {IMM_QUADS, 8196},           {IMM_LINES, 8194},
      {IMM_POINTS, 8193},         {IMM_LINE_LOOP, 5},          {IMM_QUADS, 7},
  };
  for (const auto& c : cases) {
    SetUp();
    draws.clear();
    seen = 0;
    draw_primitive(c.first, c.second);
    EXPECT_EQ(drawn_pieces(draws), ideal(c.first, c.second)) << c.first << " n=" << c.second;
  }
}

TEST_F(imm_test, triangle_list_of_8193_is_drawn_as_8190_and_3) {
  draw_primitive(IMM_TRIANGLES, 8193);
  ASSERT_EQ(draws.size(), 2u);
  EXPECT_EQ(draws[0].second.size(), 8190u);
  EXPECT_EQ(draws[1].second, (std::vector<int>{8190, 8191, 8192}));
}

TEST_F(imm_test, split_line_loop_closes_on_its_first_vertex) {
  draw_primitive(IMM_LINE_LOOP, 8200);
  ASSERT_EQ(draws.size(), 2u);
  EXPECT_EQ(draws[0].first, (GLenum)GL_LINE_STRIP);
  EXPECT_EQ(draws[1].second.back(), 0);
}

TEST_F(imm_test, open_primitive_survives_a_flush) {
  // A finished triangle, then a quad interrupted by a flush after two vertices.
  imm_begin(IMM_TRIANGLES);
  for (int i = 0; i < 3; i++) imm_vertex2((float)(100 + i), 0);
  imm_end();
  imm_begin(IMM_QUADS);
  imm_vertex2(0, 0);
  imm_vertex2(1, 0);
  imm_flush();
  imm_vertex2(2, 0);
  imm_vertex2(3, 0);
  imm_end();
  ztgl_flush();
  collect();
  ASSERT_EQ(draws.size(), 2u);
  EXPECT_EQ(draws[0].second, (std::vector<int>{100, 101, 102}));
  EXPECT_EQ(draws[1].second, (std::vector<int>{0, 1, 3, 3, 1, 2}));
}

TEST_F(imm_test, queue_filling_inside_imm_end_keeps_the_primitive) {
  imm_begin(IMM_POLYGON);
  for (int i = 0; i < 5; i++) imm_vertex2((float)i, 0);
  // Leave room for less than the indexed draw.
  while (ztgl_queue.count < ZTGL_QUEUE_WORDS - 3) ztglPushMatrix(), ztglPopMatrix();
  imm_end();
  ztgl_flush();
  collect();
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(drawn_pieces(draws), ideal(IMM_POLYGON, 5));
}

TEST_F(imm_test, batch_filled_across_primitives_draws_them_all_in_order) {
  for (int q = 0; q < 3000; q++) {
    imm_begin(IMM_QUADS);
    for (int i = 0; i < 4; i++) imm_vertex2((float)(4 * q + i), 0);
    imm_end();
  }
  ztgl_flush();
  collect();
  EXPECT_EQ(drawn_pieces(draws), ideal(IMM_QUADS, 12000));
  // Adjacent quads share one draw: one per batch of 8192 vertices.
  EXPECT_EQ(fake_calls("DrawRangeElements").size(), 2u);
  for (size_t i = 1; i < draws.size(); i++) EXPECT_LT(draws[i - 1].second[0], draws[i].second[0]);
}

TEST_F(imm_test, state_change_between_primitives_keeps_draws_apart) {
  imm_begin(IMM_TRIANGLES);
  for (int i = 0; i < 3; i++) imm_vertex2((float)i, 0);
  imm_end();
  ztglBindTexture(GL_TEXTURE_2D, 3);
  imm_begin(IMM_TRIANGLES);
  for (int i = 3; i < 6; i++) imm_vertex2((float)i, 0);
  imm_end();
  ztgl_flush();
  std::vector<std::string> names;
  for (const auto& c : fake_gl.calls)
    if (!strcmp(c.name, "DrawArrays") || !strcmp(c.name, "BindTexture")) names.push_back(c.name);
  EXPECT_EQ(names, (std::vector<std::string>{"DrawArrays", "BindTexture", "DrawArrays"}));
}

TEST_F(imm_test, vertex_carries_the_current_colour_and_texcoord) {
  imm_color(0.25f, 0.5f, 0.75f, 1);
  imm_texcoord(3, 4);
  imm_begin(IMM_POINTS);
  imm_vertex3(1, 2, 3);
  imm_end();
  ztgl_flush();
  ASSERT_EQ(fake_gl.vertex_upload.size(), 1u);
  const imm_vertex& v = fake_gl.vertex_upload[0];
  EXPECT_EQ(std::vector<float>(v.position, v.position + 4), (std::vector<float>{1, 2, 3, 1}));
  EXPECT_EQ(std::vector<float>(v.texcoord, v.texcoord + 4), (std::vector<float>{3, 4, 0, 1}));
  EXPECT_EQ(std::vector<float>(v.color, v.color + 4), (std::vector<float>{0.25f, 0.5f, 0.75f, 1}));
}

}  // namespace
