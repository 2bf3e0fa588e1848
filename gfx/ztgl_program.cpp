// The six built-in programs, program selection, the uniform setters and the
// guarded draws that upload the emulated matrices.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gfx/shader_sources.h"
#include "gfx/ztgl.h"
#include "platform/vesk_log.h"

static const char* const matrix_uniform_names[ZTGL_MATRIX_MODES] = {
    "u_modelview", "u_projection", "u_texture0", "u_texture1", "u_texture2",
    "u_texture3",  "u_texture4",   "u_texture5", "u_texture6", "u_texture7",
};

static const char* const uniform_names[ZTGL_UNIFORM_COUNT] = {
    "u_fog_color",  "u_fog_density", "u_ambient",   "u_diffuse",   "u_shininess",
    "u_specular_color", "u_light_position", "u_nbones", "u_bone_c", "u_bone_t",
    "u_bone_r",     "u_spacing",     "u_spacing_inv", "u_meshoffset", "u_meshscale",
    "u_texoffset",  "u_texscale",    "u_heights_dim_inv", "u_atlas_dim_inv",
    "u_tilemap_dim_inv", "u_envmat",
};

static const struct {
  const char* name;
  GLuint location;
} attributes[] = {
    {"vattr_position", ZTGL_ATTR_POSITION}, {"vattr_normal", ZTGL_ATTR_NORMAL},
    {"vattr_color", ZTGL_ATTR_COLOR},       {"vattr_texcoord", ZTGL_ATTR_TEXCOORD},
    {"vattr_tangent", ZTGL_ATTR_TANGENT},   {"vattr_weights", ZTGL_ATTR_WEIGHTS},
    {"vattr_bones", ZTGL_ATTR_BONES},
};

static void forget_locations() {
  for (int s = 0; s < ZTGL_SLOTS; s++) {
    for (int m = 0; m < ZTGL_MATRIX_MODES; m++) ztgl_state.matrix_location[s][m] = -2;
    for (int u = 0; u < ZTGL_UNIFORM_COUNT; u++) ztgl_state.uniform_location[s][u] = -2;
  }
}

const char* ztgl_source_for_context(const char* source, char* buffer, int size) {
  static const char es_line[] = "#version 300 es\n//";
  if (ztgl_state.es || strncmp(source, es_line, 18) != 0) return source;
  source += 18;
  // GLSL 1.50 needs GL 3.2; a GL 3.1 driver gets the same source as 1.40,
  // which it can compile (the programs use nothing 1.50 adds).
  if (ztgl_state.major == 3 && ztgl_state.minor < 2 && strncmp(source, "#version 150", 12) == 0) {
    snprintf(buffer, size, "#version 140%s", source + 12);
    return buffer;
  }
  return source;
}

static void log_info(const char* what, const char* name, const char* text) {
  if (text[0]) vesk_log("%s for %s:\n%.900s\n", what, name, text);
}

static GLuint compile(GLenum type, const char* source, const char* name, const char* what) {
  static char buffer[16384];
  const char* text = ztgl_source_for_context(source, buffer, sizeof buffer);
  GLuint shader = ztgl_fn.CreateShader(type);
  if (!shader) return 0;
  ztgl_fn.ShaderSource(shader, 1, &text, nullptr);
  ztgl_fn.CompileShader(shader);
  char log[4096] = "";
  ztgl_fn.GetShaderInfoLog(shader, sizeof log, nullptr, log);
  log_info(what, name, log);
  GLint status = 0;
  ztgl_fn.GetShaderiv(shader, GL_COMPILE_STATUS, &status);
  if (!status) {
    ztgl_fn.DeleteShader(shader);
    return 0;
  }
  return shader;
}

static int build_program(int slot) {
  const shader_program_source* src = &shader_sources[slot];
  vesk_log("Creating \"%s\" shader\n", src->name);
  GLuint vs = compile(GL_VERTEX_SHADER, src->vertex, src->name, "vertex shader status");
  if (!vs) return 0;
  ztgl_state.vertex_shader[slot] = vs;
  GLuint fs = compile(GL_FRAGMENT_SHADER, src->fragment, src->name, "fragment shader status");
  if (!fs) return 0;
  ztgl_state.fragment_shader[slot] = fs;
  GLuint program = ztgl_fn.CreateProgram();
  if (!program) return 0;
  ztgl_state.program[slot] = program;
  ztgl_fn.AttachShader(program, vs);
  ztgl_fn.AttachShader(program, fs);
  for (const auto& a : attributes) ztgl_fn.BindAttribLocation(program, a.location, a.name);
  ztgl_fn.LinkProgram(program);
  char log[4096] = "";
  ztgl_fn.GetProgramInfoLog(program, sizeof log, nullptr, log);
  log_info("link status", src->name, log);
  GLint status = 0;
  ztgl_fn.GetProgramiv(program, GL_LINK_STATUS, &status);
  return status != 0;
}

void ztgl_delete_programs() {
  if (ztgl_state.slot != 0 && ztgl_fn.UseProgram) ztgl_fn.UseProgram(0);
  ztgl_state.slot = 0;
  for (int s = 1; s < ZTGL_SLOTS; s++) {
    GLuint p = ztgl_state.program[s];
    GLuint shaders[2] = {ztgl_state.vertex_shader[s], ztgl_state.fragment_shader[s]};
    for (GLuint sh : shaders) {
      if (!sh) continue;
      if (p) ztgl_fn.DetachShader(p, sh);
      ztgl_fn.DeleteShader(sh);
    }
    if (p) ztgl_fn.DeleteProgram(p);
    ztgl_state.program[s] = ztgl_state.vertex_shader[s] = ztgl_state.fragment_shader[s] = 0;
  }
  forget_locations();
}

int ztgl_build_programs() {
  ztgl_flush();
  ztgl_delete_programs();
  for (int slot = 1; slot < ZTGL_SLOTS; slot++) {
    if (!build_program(slot)) {
      ztgl_delete_programs();
      return 0;
    }
  }
  ztgl_set_sampler(ZTGL_NORM_ENV, "u_nmap", 1);
  ztgl_set_sampler(ZTGL_NORM_SPEC_LIT, "u_nmap", 1);
  ztgl_set_sampler(ZTGL_NORM_SPEC_LIT, "u_smap", 2);
  ztgl_set_sampler(ZTGL_TERRAIN_NORMALS, "u_shadows", 1);
  ztgl_set_sampler(ZTGL_TERRAIN, "u_nmap", 1);
  ztgl_set_sampler(ZTGL_TERRAIN, "u_smap", 2);
  ztgl_set_sampler(ZTGL_TERRAIN, "u_heights", 3);
  ztgl_set_sampler(ZTGL_TILEMAP, "u_tilemap", 1);
  return 1;
}

static void select_slot(int slot) {
  ztgl_flush();
  ztgl_state.slot = slot;
  ztgl_state.dirty = (1u << ZTGL_MATRIX_MODES) - 1;
  ztgl_fn.UseProgram(ztgl_state.program[slot]);
  ztgl_state.program_switches++;
}

void ztgl_use_program(int slot) {
  if (slot < 0 || slot >= ZTGL_SLOTS || slot == ztgl_state.slot) return;
  select_slot(slot);
}

void ztgl_set_sampler(int slot, const char* name, int unit) {
  if (slot < 0 || slot >= ZTGL_SLOTS) return;
  if (slot != ztgl_state.slot) select_slot(slot);
  GLuint program = ztgl_state.program[slot];
  if (program) {
    GLint location = ztgl_fn.GetUniformLocation(program, name);
    if (location >= 0) ztgl_fn.Uniform1i(location, unit);
  }
  if (ztgl_state.slot != 0) select_slot(0);
}

GLuint ztgl_get_program(int slot) {
  return slot >= 1 && slot < ZTGL_SLOTS ? ztgl_state.program[slot] : 0;
}

// The location of a setter's uniform in the current program, looked up once
// per program: a location belongs to one program only.
static GLint location(ztgl_uniform u) {
  GLint* cache = &ztgl_state.uniform_location[ztgl_state.slot][u];
  if (*cache == -2) {
    GLuint program = ztgl_state.program[ztgl_state.slot];
    *cache = program ? ztgl_fn.GetUniformLocation(program, uniform_names[u]) : -1;
  }
  return *cache;
}

// Flushes, then the location to set; -1 (ignored by GL) without a program.
static GLint prepare(ztgl_uniform u) {
  ztgl_flush();
  return ztgl_state.slot ? location(u) : -1;
}

static void set_1f(ztgl_uniform u, float x) {
  GLint l = prepare(u);
  if (l >= 0) ztgl_fn.Uniform1f(l, x);
}

static void set_3fv(ztgl_uniform u, const float* v) {
  GLint l = prepare(u);
  if (l >= 0) ztgl_fn.Uniform3fv(l, 1, v);
}

void ztgl_set_fog_color(const float rgb[3]) { set_3fv(ZTGL_U_FOG_COLOR, rgb); }
void ztgl_set_fog_density(float density) { set_1f(ZTGL_U_FOG_DENSITY, density); }
void ztgl_set_diffuse(const float rgb[3]) { set_3fv(ZTGL_U_DIFFUSE, rgb); }
void ztgl_set_shininess(float shininess) { set_1f(ZTGL_U_SHININESS, shininess); }
void ztgl_set_specular_color(const float rgb[3]) { set_3fv(ZTGL_U_SPECULAR_COLOR, rgb); }
void ztgl_set_light_position(const float xyz[3]) { set_3fv(ZTGL_U_LIGHT_POSITION, xyz); }
void ztgl_set_heights_dim_inv(float x) { set_1f(ZTGL_U_HEIGHTS_DIM_INV, x); }

void ztgl_set_ambient(const float rgba[4]) {
  GLint l = prepare(ZTGL_U_AMBIENT);
  if (l >= 0) ztgl_fn.Uniform4fv(l, 1, rgba);
}

void ztgl_set_bones(int n, const float* centres, const float* translations, const float* rotations) {
  ztgl_flush();
  if (ztgl_state.slot < 1) return;
  if (n > ZTGL_MAX_BONES) {
    // The programs hold MAX_BONE bones; more would write past their arrays.
    if (!ztgl_state.bones_clamp_logged)
      vesk_log("ztgl_set_bones: %d bones, only %d used\n", n, ZTGL_MAX_BONES);
    ztgl_state.bones_clamp_logged = 1;
    n = ZTGL_MAX_BONES;
  }
  if (n < 0) n = 0;
  GLint ln = location(ZTGL_U_NBONES);
  if (ln >= 0) ztgl_fn.Uniform1i(ln, n);
  if (n < 1) return;
  GLint lc = location(ZTGL_U_BONE_C), lt = location(ZTGL_U_BONE_T), lr = location(ZTGL_U_BONE_R);
  if (lc >= 0) ztgl_fn.Uniform3fv(lc, n, centres);
  if (lt >= 0) ztgl_fn.Uniform3fv(lt, n, translations);
  if (lr >= 0) ztgl_fn.UniformMatrix3fv(lr, n, GL_FALSE, rotations);
}

void ztgl_set_spacing(float spacing) {
  set_1f(ZTGL_U_SPACING, spacing);
  set_1f(ZTGL_U_SPACING_INV, 1.0f / spacing);
}

void ztgl_set_mesh_transform(const float offset[2], float scale) {
  GLint l = prepare(ZTGL_U_MESHOFFSET);
  if (l >= 0) ztgl_fn.Uniform2fv(l, 1, offset);
  set_1f(ZTGL_U_MESHSCALE, scale);
}

void ztgl_set_tex_transform(const float offset[2], float scale) {
  GLint l = prepare(ZTGL_U_TEXOFFSET);
  if (l >= 0) ztgl_fn.Uniform2fv(l, 1, offset);
  set_1f(ZTGL_U_TEXSCALE, scale);
}

void ztgl_set_tilemap_dims(float spacing_inv, float tilemap_dim_inv, float atlas_dim_inv) {
  set_1f(ZTGL_U_SPACING_INV, spacing_inv);
  set_1f(ZTGL_U_ATLAS_DIM_INV, atlas_dim_inv);
  set_1f(ZTGL_U_TILEMAP_DIM_INV, tilemap_dim_inv);
}

void ztgl_set_envmat(const float m[16]) {
  ztgl_use_program(ZTGL_NORM_ENV);
  const float r[9] = {m[0], m[1], m[2], m[4], m[5], m[6], m[8], m[9], m[10]};
  GLint l = prepare(ZTGL_U_ENVMAT);
  if (l >= 0) ztgl_fn.UniformMatrix3fv(l, 1, GL_FALSE, r);
  ztgl_use_program(ZTGL_UNLIT);
}

void ztgl_upload_matrices() {
  int slot = ztgl_state.slot;
  GLuint program = ztgl_state.program[slot];
  for (int m = 0; m < ZTGL_MATRIX_MODES; m++) {
    if (!(ztgl_state.dirty & (1u << m))) continue;
    GLint* cache = &ztgl_state.matrix_location[slot][m];
    if (*cache == -2) *cache = program ? ztgl_fn.GetUniformLocation(program, matrix_uniform_names[m]) : -1;
    if (*cache >= 0) ztgl_fn.UniformMatrix4fv(*cache, 1, GL_FALSE, ztgl_current_matrix(m));
  }
  ztgl_state.dirty = 0;
}

void ztgl_draw_guard() {
  if (ztgl_state.slot == 0) {
    static const char text[] = "Error: Fixed shader used\n";
    vesk_log("%s", text);
    fputs(text, stderr);
    exit(1);
  }
  ztgl_upload_matrices();
}

void ztgl_guarded_draw_arrays(GLenum mode, GLint first, GLsizei count) {
  ztgl_draw_guard();
  ztgl_fn.DrawArrays(mode, first, count);
}

void ztgl_guarded_draw_range_elements(GLenum mode, GLuint start, GLuint end, GLsizei count,
                                      GLenum type, const void* offset) {
  ztgl_draw_guard();
  ztgl_fn.DrawRangeElements(mode, start, end, count, type, offset);
}
