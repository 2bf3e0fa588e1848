// The six programs drawn for real, in a compatibility, a core and an ES 3.0
// context, into a small offscreen target read back pixel by pixel.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>

#include "gfx/imm.h"
#include "gfx/shader_sources.h"
#include "gl_test_ztgl_context.h"
#include "test_ztgl_fake_gl.h"

namespace {

using rgba = std::array<int, 4>;

struct program_test : ::testing::TestWithParam<int> {
  gl_test_target target{};
  void SetUp() override {
    std::string why = gl_test_open(GetParam());
    ASSERT_EQ(why, "");
    ASSERT_EQ(ztgl_build_programs(), 1);
    target = gl_test_target_open(16, 16);
    // Every sampler unit starts on a neutral texture.
    bind(0, ztgl_state.white_texture);
    bind(1, ztgl_state.flat_normal_texture);
    bind(2, ztgl_state.black_texture);
    bind(3, ztgl_state.black_texture);
  }
  void TearDown() override {
    if (target.framebuffer) gl_test_target_close(&target);
    gl_test_close();
  }
  static void bind(int unit, GLuint texture) {
    ztglActiveTexture(GL_TEXTURE0 + unit);
    ztglBindTexture(GL_TEXTURE_2D, texture);
    ztglActiveTexture(GL_TEXTURE0);
  }
  // Projection ortho(l, r, b, t, n, f); model-view identity.
  static void ortho(double l, double r, double b, double t, double n, double f) {
    ztglMatrixMode(ZTGL_PROJECTION);
    ztglLoadIdentity();
    ztglOrtho(l, r, b, t, n, f);
    ztglMatrixMode(ZTGL_MODELVIEW);
    ztglLoadIdentity();
  }
  // A quad over the whole target at depth z (eye space), texcoords 0..1.
  static void full_quad(float z) {
    imm_begin(IMM_QUADS);
    imm_texcoord(0, 0), imm_vertex3(-1, -1, z);
    imm_texcoord(1, 0), imm_vertex3(1, -1, z);
    imm_texcoord(1, 1), imm_vertex3(1, 1, z);
    imm_texcoord(0, 1), imm_vertex3(-1, 1, z);
    imm_end();
  }
  std::vector<uint8_t> pixels;
  void read() { pixels = gl_test_read(target); }
  rgba at(int x, int y) const {
    const uint8_t* p = &pixels[(size_t)(y * target.width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
  }
};

void expect_near(rgba got, std::array<double, 4> want, double tolerance, const char* what) {
  for (int i = 0; i < 4; i++)
    EXPECT_NEAR(got[i], want[i] * 255, tolerance * 255) << what << " channel " << i;
}

TEST_P(program_test, all_build_from_the_dialect_line) {
  for (int slot = 1; slot <= ZTGL_FLAT; slot++) EXPECT_NE(ztgl_get_program(slot), 0u) << slot;
  EXPECT_EQ(ztgl_get_program(0), 0u);
  EXPECT_EQ(ztgl_get_program(ZTGL_SLOTS), 0u);
  char buffer[16384];
  const char* src = shader_sources[1].vertex;
  const char* used = ztgl_source_for_context(src, buffer, sizeof buffer);
  if (GetParam() == GL_TEST_ES) {
    EXPECT_EQ(used, src);
  } else {
    EXPECT_EQ(used, src + 18);
    EXPECT_EQ(strncmp(used, "#version 150\n", 13), 0);
  }
}

TEST_P(program_test, a_gl_3_1_driver_gets_sources_it_can_compile) {
  if (GetParam() == GL_TEST_ES) GTEST_SKIP() << "desktop GL only";
  int major = ztgl_state.major, minor = ztgl_state.minor;
  ztgl_state.major = 3;
  ztgl_state.minor = 1;
  char buffer[16384];
  EXPECT_EQ(strncmp(ztgl_source_for_context(shader_sources[3].fragment, buffer, sizeof buffer),
                    "#version 140\n", 13), 0);
  EXPECT_EQ(ztgl_build_programs(), 1);
  ztgl_state.major = major;
  ztgl_state.minor = minor;
}

TEST_P(program_test, unlit_multiplies_colour_and_texture_through_the_texture_matrix) {
  const uint8_t texels[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
  GLuint tex = gl_test_texture(0, 2, 2, texels);
  ztgl_use_program(ZTGL_UNLIT);
  ortho(-1, 1, -1, 1, -1, 1);
  imm_color(0.5f, 1, 1, 1);
  full_quad(0);
  read();
  expect_near(at(3, 3), {0.5, 0, 0, 1}, 2 / 255.0, "red texel");
  expect_near(at(12, 3), {0, 1, 0, 1}, 2 / 255.0, "green texel");
  expect_near(at(3, 12), {0, 0, 1, 1}, 2 / 255.0, "blue texel");
  expect_near(at(12, 12), {0.5, 1, 1, 1}, 2 / 255.0, "white texel");
  // Half a texture to the right: the columns trade places.
  ztglMatrixMode(ZTGL_TEXTURE);
  ztglTranslatef(0.5f, 0, 0);
  ztglMatrixMode(ZTGL_MODELVIEW);
  full_quad(0);
  read();
  expect_near(at(3, 3), {0, 1, 0, 1}, 2 / 255.0, "shifted green");
  expect_near(at(12, 12), {0, 0, 0.5 * 0, 1}, 1, "any");  // only alpha is certain here
  ztglDeleteTextures(1, &tex);
}

TEST_P(program_test, fog_follows_exp_of_density_times_depth) {
  ztgl_use_program(ZTGL_UNLIT);
  const float fog[3] = {0, 0, 1};
  ztgl_set_fog_color(fog);
  // ortho near 0, far 1: eye depth -0.5 lands at window depth 0.5 with w = 1.
  ortho(-1, 1, -1, 1, 0, 1);
  imm_color(1, 1, 1, 1);
  for (double density : {0.0, 0.5, 1.0, 3.0}) {
    ztgl_set_fog_density((float)density);
    full_quad(-0.5f);
    read();
    double f = std::exp(-density * 0.5);
    expect_near(at(8, 8), {f, f, 1, 1}, 2 / 255.0, "fogged");
  }
}

TEST_P(program_test, norm_spec_lit_with_a_flat_normal_map_is_ambient_plus_diffuse) {
  ztgl_use_program(ZTGL_NORM_SPEC_LIT);
  ortho(-1, 1, -1, 1, -1, 1);
  ztglVertexAttrib4f(ZTGL_ATTR_NORMAL, 0, 0, 1, 0);
  ztglVertexAttrib4f(ZTGL_ATTR_TANGENT, 1, 0, 0, 0);
  const float diffuse[3] = {0.5f, 0.5f, 0.5f};
  ztgl_set_diffuse(diffuse);
  struct lit_case {
    float light[3];
    float ambient[4];
    std::array<double, 4> want;  // alpha -1: discarded
  } cases[] = {
      {{0, 0.6f, 0.8f}, {0.1f, 0.2f, 0.3f, 1}, {0.5, 0.6, 0.7, 1}},
      {{0, 0, -1}, {0.1f, 0.2f, 0.3f, 1}, {0.1, 0.2, 0.3, 1}},  // lit from behind: ambient only
      {{0, 0, 1}, {0.1f, 0.2f, 0.3f, 0.5f}, {0, 0, 0, 0}},      // alpha below 0.75: discarded
  };
  for (const auto& c : cases) {
    ztglClear(GL_COLOR_BUFFER_BIT);
    ztgl_set_light_position(c.light);
    ztgl_set_ambient(c.ambient);
    full_quad(0);
    read();
    // The flat normal texel (128, 128, 255) leans by 1/255: a little slack.
    expect_near(at(8, 8), c.want, 4 / 255.0, "lit");
  }
}

TEST_P(program_test, norm_spec_lit_fogs_what_it_lit) {
  ztgl_use_program(ZTGL_NORM_SPEC_LIT);
  ortho(-1, 1, -1, 1, 0, 1);  // eye depth -0.5: window depth 0.5, w = 1
  ztglVertexAttrib4f(ZTGL_ATTR_NORMAL, 0, 0, 1, 0);
  ztglVertexAttrib4f(ZTGL_ATTR_TANGENT, 1, 0, 0, 0);
  const float ambient[4] = {0.2f, 0.4f, 0.6f, 1}, diffuse[3] = {0, 0, 0}, light[3] = {0, 0, 1};
  const float fog[3] = {1, 0, 0};
  ztgl_set_ambient(ambient);
  ztgl_set_diffuse(diffuse);
  ztgl_set_light_position(light);
  ztgl_set_fog_color(fog);
  ztgl_set_fog_density(2);
  full_quad(-0.5f);
  read();
  double f = std::exp(-2 * 0.5);
  expect_near(at(8, 8), {1 - f + 0.2 * f, 0.4 * f, 0.6 * f, 1}, 3 / 255.0, "fogged lit");
}

TEST_P(program_test, terrain_is_lit_by_its_normal_and_fogged) {
  const float heights[4] = {0.5f, 0.5f, 0.5f, 0.5f};
  gl_test_float_texture(3, 2, 2, heights);
  // Normal map: x and z level (128), brightness (green) full.
  const uint8_t level[4] = {128, 255, 128, 255};
  GLuint nmap = gl_test_texture(1, 1, 1, level);
  ztgl_use_program(ZTGL_TERRAIN);
  const float ambient[4] = {0.1f, 0.2f, 0.3f, 1}, diffuse[3] = {0.5f, 0.5f, 0.5f};
  const float zero[2] = {0, 0}, fog[3] = {0, 0, 0};
  ztgl_set_ambient(ambient);
  ztgl_set_diffuse(diffuse);
  ztgl_set_spacing(1);
  ztgl_set_mesh_transform(zero, 4);
  ztgl_set_tex_transform(zero, 1);
  ztgl_set_heights_dim_inv(0.5f);
  ztgl_set_fog_color(fog);
  // Looking straight down: eye = (x, z, -y); the ground's up is eye -z.
  ortho(0, 4, 0, 4, -10, 10);
  const float down[16] = {1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1};
  ztglLoadMatrixf(down);
  for (int lit = 0; lit < 2; lit++) {
    const float light[3] = {0, 0, lit ? -1.0f : 1.0f};
    ztgl_set_light_position(light);
    ztgl_set_fog_density(lit ? 1.0f : 0.0f);
    imm_begin(IMM_QUADS);
    imm_vertex2(0, 0), imm_vertex2(1, 0), imm_vertex2(1, 1), imm_vertex2(0, 1);
    imm_end();
    read();
    // Eye depth -0.5 in ortho(-10, 10): window depth 0.525, w = 1.
    double f = lit ? std::exp(-0.525) : 1.0, d = lit ? 0.5 : 0.0;
    expect_near(at(8, 8), {(0.1 + d) * f, (0.2 + d) * f, (0.3 + d) * f, 1}, 3 / 255.0, "terrain");
  }
  ztglDeleteTextures(1, &nmap);
}

TEST_P(program_test, skinning_moves_vertices_by_their_bone) {
  log_capture log;
  ztgl_use_program(ZTGL_NORM_SPEC_LIT);
  ortho(-1, 1, -1, 1, -1, 1);
  const float ambient[4] = {1, 1, 1, 1};
  ztgl_set_ambient(ambient);
  ztglVertexAttrib4f(ZTGL_ATTR_NORMAL, 0, 0, 1, 0);
  ztglVertexAttrib4f(ZTGL_ATTR_TANGENT, 1, 0, 0, 0);
  ztglVertexAttrib4f(ZTGL_ATTR_WEIGHTS, 1, 0, 0, 0);
  ztglVertexAttrib4f(ZTGL_ATTR_BONES, 1, 0, 0, 0);
  // 40 bones asked for, 32 set: bone 1 shifts everything right by one unit.
  std::vector<float> centres(40 * 3, 0.0f), shifts(40 * 3, 0.0f), turns(40 * 9, 0.0f);
  for (int b = 0; b < 40; b++) turns[b * 9] = turns[b * 9 + 4] = turns[b * 9 + 8] = 1;
  shifts[3] = 1;
  ztgl_set_bones(40, centres.data(), shifts.data(), turns.data());
  ztgl_set_bones(40, centres.data(), shifts.data(), turns.data());
  EXPECT_EQ(ztglGetError(), (GLenum)GL_NO_ERROR);
  full_quad(0);
  read();
  EXPECT_EQ(at(3, 8)[3], 0) << "left half uncovered";
  EXPECT_EQ(at(12, 8)[3], 255) << "right half covered";
  EXPECT_EQ(log.count("ztgl_set_bones"), 1);
}

TEST_P(program_test, norm_env_looks_up_the_environment_map) {
  const uint8_t sky[4] = {200, 100, 50, 255};
  gl_test_texture(0, 1, 1, sky);
  ztgl_use_program(ZTGL_NORM_ENV);
  ortho(-1, 1, -1, 1, -1, 1);
  const float specular[3] = {0.5f, 1, 1};
  ztgl_set_specular_color(specular);
  const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  ztgl_set_envmat(identity);
  EXPECT_EQ(ztgl_state.slot, ZTGL_UNLIT);
  ztgl_use_program(ZTGL_NORM_ENV);
  ztglVertexAttrib4f(ZTGL_ATTR_NORMAL, 0, 0, 1, 0);
  ztglVertexAttrib4f(ZTGL_ATTR_TANGENT, 1, 0, 0, 0);
  full_quad(0);
  read();
  // Head-on, the reflection is the view axis itself: still a finite lookup.
  expect_near(at(8, 8), {100 / 255.0, 100 / 255.0, 50 / 255.0, 1}, 2 / 255.0, "env");
}

TEST_P(program_test, terrain_normals_encodes_normal_and_shadow) {
  ztgl_use_program(ZTGL_TERRAIN_NORMALS);
  ortho(-1, 1, -1, 1, -1, 1);
  for (int shadowed = 0; shadowed < 2; shadowed++) {
    bind(1, shadowed ? ztgl_state.black_texture : ztgl_state.white_texture);
    bind(0, ztgl_state.flat_normal_texture);
    full_quad(0);
    read();
    // Up stays up: x and z near the middle, y replaced by the shadow.
    expect_near(at(8, 8), {0.5, shadowed ? 1.0 : 0.0, 0.5, 1}, 3 / 255.0, "normal");
  }
}

TEST_P(program_test, tilemap_picks_the_atlas_tile_of_each_cell) {
  // A 4 x 4 atlas of 8 x 8 texel tiles, each one flat colour.
  std::vector<uint8_t> atlas(32 * 32 * 4);
  auto tile_colour = [](int t) { return rgba{t * 16, 255 - t * 16, t * 8, 255}; };
  for (int y = 0; y < 32; y++)
    for (int x = 0; x < 32; x++) {
      rgba c = tile_colour((y / 8) * 4 + x / 8);
      for (int i = 0; i < 4; i++) atlas[(y * 32 + x) * 4 + i] = (uint8_t)c[i];
    }
  gl_test_texture(0, 32, 32, atlas.data());
  const uint8_t tiles[4] = {1, 2, 5, 14};
  gl_test_byte_texture(1, 2, 2, tiles);
  ztgl_use_program(ZTGL_TILEMAP);
  ztgl_set_tilemap_dims(1.0f, 0.5f, 0.25f);
  // Tile coordinate = position.xz / 2: z follows y so that the map lies on screen.
  ortho(0, 4, 0, 4, -10, 10);
  imm_begin(IMM_QUADS);
  imm_vertex3(0, 0, 0);
  imm_vertex3(4, 0, 0);
  imm_vertex3(4, 4, 4);
  imm_vertex3(0, 4, 4);
  imm_end();
  read();
  const int cells[4][2] = {{4, 4}, {12, 4}, {4, 12}, {12, 12}};
  for (int i = 0; i < 4; i++) {
    rgba want = tile_colour(tiles[i]);
    expect_near(at(cells[i][0], cells[i][1]), {want[0] / 255.0, want[1] / 255.0, want[2] / 255.0, 1},
                1 / 255.0, "tile");
  }
}

TEST_P(program_test, terrain_vertices_take_their_height_from_the_height_texture) {
  const float heights[4] = {0.1f, 0.35f, 0.6f, 0.85f};
  gl_test_float_texture(3, 2, 2, heights);
  ztgl_use_program(ZTGL_TERRAIN);
  const float ambient[4] = {1, 1, 1, 1};
  ztgl_set_ambient(ambient);
  ztgl_set_spacing(2);
  const float zero[2] = {0, 0};
  ztgl_set_mesh_transform(zero, 2);
  ztgl_set_tex_transform(zero, 1);
  ztgl_set_heights_dim_inv(0.5f);
  // Eye x = the height, eye y picks a row per grid point.
  ortho(0, 1, -1, 1, -1, 1);
  const float view[16] = {0, 0.125f, 0, 0, 1, 0, 0, 0, 0, 0.25f, 0, 0, 0, -0.9375f, 0, 1};
  ztglLoadMatrixf(view);
  // Off-grid positions snap to the nearest height point.
  const float grid[4][2] = {{0.1f, -0.2f}, {1.2f, 0.1f}, {-0.3f, 0.8f}, {0.9f, 1.4f}};
  imm_begin(IMM_POINTS);
  for (const auto& g : grid) imm_vertex2(g[0], g[1]);
  imm_end();
  read();
  const int rows[4] = {0, 2, 4, 6};
  for (int i = 0; i < 4; i++) {
    int lit = -1, lit_count = 0;
    for (int x = 0; x < 16; x++)
      if (at(x, rows[i])[3]) lit = x, lit_count++;
    EXPECT_EQ(lit_count, 1) << "row " << rows[i];
    EXPECT_EQ(lit, (int)(heights[i] * 16)) << "point " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(contexts, program_test,
                         ::testing::Values(GL_TEST_COMPAT, GL_TEST_CORE, GL_TEST_ES),
                         [](const ::testing::TestParamInfo<int>& p) {
                           return std::string(gl_test_dialect_name(p.param));
                         });

}  // namespace
