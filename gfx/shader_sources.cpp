#include "gfx/shader_sources.h"

#define PRELUDE "#version 300 es\n//#version 150\n#define MAX_BONE 32\n"

#define FRAGMENT_PRELUDE \
  PRELUDE                \
  "#ifdef GL_ES\n"       \
  "precision mediump float;\n" \
  "#endif\n"             \
  "out vec4 frag_color;\n"

// exp(-density * z) with z = gl_FragCoord.z / gl_FragCoord.w.
#define FOG                                                                  \
  "uniform vec3 u_fog_color;\n"                                              \
  "uniform float u_fog_density;\n"                                           \
  "vec3 apply_fog(vec3 c) {\n"                                               \
  "  float z = gl_FragCoord.z / gl_FragCoord.w;\n"                           \
  "  float f = clamp(exp2(-1.4426950408889634 * u_fog_density * z), 0.0, 1.0);\n" \
  "  return mix(u_fog_color, c, f);\n"                                       \
  "}\n"

// The tangent frame of a skinned mesh with its normal map applied.
#define MAPPED_NORMAL                                                     \
  "in vec3 v_normal;\n"                                                   \
  "in vec3 v_tangent;\n"                                                  \
  "in vec3 v_view;\n"                                                     \
  "in vec2 v_texcoord;\n"                                                 \
  "uniform sampler2D u_nmap;\n"                                           \
  "vec3 mapped_normal() {\n"                                              \
  "  vec3 n = normalize(v_normal);\n"                                     \
  "  vec3 t = v_tangent - n * dot(n, v_tangent);\n"                       \
  "  float tl = length(t);\n"                                             \
  "  t = tl > 1e-6 ? t / tl : vec3(n.z, n.x, n.y);\n"                     \
  "  vec3 b = cross(n, t);\n"                                             \
  "  vec3 m = texture(u_nmap, v_texcoord).rgb * 2.0 - 1.0;\n"             \
  "  return normalize(mat3(t, b, n) * m);\n"                              \
  "}\n"

static const char skinned_vertex[] = PRELUDE
    "in vec3 vattr_position;\n"
    "in vec3 vattr_normal;\n"
    "in vec3 vattr_tangent;\n"
    "in vec2 vattr_texcoord;\n"
    "in vec4 vattr_weights;\n"
    "in vec4 vattr_bones;\n"
    "uniform mat4 u_modelview;\n"
    "uniform mat4 u_projection;\n"
    "uniform int u_nbones;\n"
    "uniform vec3 u_bone_c[MAX_BONE];\n"
    "uniform vec3 u_bone_t[MAX_BONE];\n"
    "uniform mat3 u_bone_r[MAX_BONE];\n"
    "out vec3 v_normal;\n"
    "out vec3 v_tangent;\n"
    "out vec3 v_view;\n"
    "out vec2 v_texcoord;\n"
    "void main() {\n"
    "  vec3 p = vattr_position;\n"
    "  vec3 n = vattr_normal;\n"
    "  vec3 t = vattr_tangent;\n"
    "  if (u_nbones > 0) {\n"
    "    p = vec3(0.0);\n"
    "    n = vec3(0.0);\n"
    "    t = vec3(0.0);\n"
    "    for (int i = 0; i < 4; i++) {\n"
    "      int b = clamp(int(vattr_bones[i]), 0, MAX_BONE - 1);\n"
    "      float w = vattr_weights[i];\n"
    "      p += w * (u_bone_r[b] * (vattr_position - u_bone_c[b]) + u_bone_t[b]);\n"
    "      n += w * (u_bone_r[b] * vattr_normal);\n"
    "      t += w * (u_bone_r[b] * vattr_tangent);\n"
    "    }\n"
    "  }\n"
    "  mat3 mv = mat3(u_modelview);\n"
    "  v_normal = normalize(mv * n);\n"
    "  v_tangent = normalize(mv * t);\n"
    "  vec4 eye = u_modelview * vec4(p, 1.0);\n"
    "  v_view = eye.xyz;\n"
    "  v_texcoord = vattr_texcoord;\n"
    "  gl_Position = u_projection * eye;\n"
    "}\n";

static const char unlit_vertex[] = PRELUDE
    "in vec4 vattr_position;\n"
    "in vec4 vattr_color;\n"
    "in vec4 vattr_texcoord;\n"
    "uniform mat4 u_modelview;\n"
    "uniform mat4 u_projection;\n"
    "uniform mat4 u_texture0;\n"
    "out vec4 v_color;\n"
    "out vec2 v_texcoord;\n"
    "void main() {\n"
    "  v_color = vattr_color;\n"
    "  v_texcoord = (u_texture0 * vattr_texcoord).st;\n"
    "  gl_Position = u_projection * (u_modelview * vattr_position);\n"
    // Points are one pixel: ES and core contexts read their size only here.
    "  gl_PointSize = 1.0;\n"
    "}\n";

static const char unlit_fragment[] = FRAGMENT_PRELUDE FOG
    "uniform sampler2D u_tex;\n"
    "in vec4 v_color;\n"
    "in vec2 v_texcoord;\n"
    "void main() {\n"
    "  vec4 c = v_color * texture(u_tex, v_texcoord);\n"
    "  frag_color = vec4(apply_fog(c.rgb), c.a);\n"
    "}\n";

static const char flat_fragment[] = FRAGMENT_PRELUDE
    "in vec4 v_color;\n"
    "void main() {\n"
    "  frag_color = v_color;\n"
    "}\n";

static const char norm_env_fragment[] = FRAGMENT_PRELUDE MAPPED_NORMAL
    "uniform sampler2D u_tex;\n"
    "uniform mat3 u_envmat;\n"
    "uniform vec3 u_specular_color;\n"
    "void main() {\n"
    "  vec3 n = mapped_normal();\n"
    "  vec3 v = normalize(u_envmat * reflect(normalize(v_view), n));\n"
    // A vertical reflection has no horizontal direction: any will do there.
    "  vec2 dir = v.xz / max(length(v.xz), 1e-6);\n"
    "  vec2 tc = dir * acos(clamp(v.y, -1.0, 1.0)) * 0.15915494309189535 + 0.5;\n"
    "  frag_color = texture(u_tex, tc) * vec4(u_specular_color, 1.0);\n"
    "}\n";

static const char norm_spec_lit_fragment[] = FRAGMENT_PRELUDE FOG MAPPED_NORMAL
    "uniform sampler2D u_tex;\n"
    "uniform sampler2D u_smap;\n"
    "uniform vec4 u_ambient;\n"
    "uniform vec3 u_diffuse;\n"
    "uniform vec3 u_specular_color;\n"
    "uniform vec3 u_light_position;\n"
    "uniform float u_shininess;\n"
    "void main() {\n"
    "  vec3 n = mapped_normal();\n"
    "  float nl = dot(n, u_light_position);\n"
    "  vec4 c = (u_ambient + vec4(u_diffuse * max(nl, 0.0), 0.0)) * texture(u_tex, v_texcoord);\n"
    "  if (c.a < 0.75) discard;\n"
    "  vec4 s = texture(u_smap, v_texcoord);\n"
    "  float e = s.a * 128.0 + 0.125;\n"
    "  if (e >= 127.875) e = u_shininess;\n"
    "  if (nl >= 0.0) {\n"
    "    float r = max(dot(reflect(normalize(v_view), n), u_light_position), 0.0);\n"
    "    c.rgb += s.rgb * u_specular_color * pow(r, e);\n"
    "  }\n"
    "  frag_color = vec4(apply_fog(c.rgb), c.a);\n"
    "}\n";

static const char terrain_normals_vertex[] = PRELUDE
    "in vec4 vattr_position;\n"
    "in vec4 vattr_texcoord;\n"
    "uniform mat4 u_modelview;\n"
    "uniform mat4 u_projection;\n"
    "uniform mat4 u_texture1;\n"
    "out vec2 v_texcoord;\n"
    "out vec2 v_shadow;\n"
    "void main() {\n"
    "  vec4 s = u_texture1 * vattr_position;\n"
    "  v_shadow = s.xy / s.w;\n"
    "  v_texcoord = vattr_texcoord.xy;\n"
    "  gl_Position = u_projection * (u_modelview * vattr_position);\n"
    "}\n";

static const char terrain_normals_fragment[] = FRAGMENT_PRELUDE
    "uniform sampler2D u_tex;\n"
    "uniform sampler2D u_shadows;\n"
    "in vec2 v_texcoord;\n"
    "in vec2 v_shadow;\n"
    "void main() {\n"
    "  vec4 t = texture(u_tex, v_texcoord);\n"
    "  vec3 n = t.rbg * 2.0 - 1.0;\n"
    "  n.x = -n.x;\n"
    // Direction of the texture's u axis on screen: a rotation (c, s) read
    // from both derivatives.
    "  vec2 dx = dFdx(v_texcoord);\n"
    "  vec2 dy = dFdy(v_texcoord);\n"
    "  vec2 cs = vec2(dx.x + dy.y, dx.y - dy.x);\n"
    "  float l = length(cs);\n"
    "  cs = l > 0.0 ? cs / l : vec2(1.0, 0.0);\n"
    "  n.xz = vec2(cs.x * n.x - cs.y * n.z, cs.y * n.x + cs.x * n.z);\n"
    "  float shadow = 1.0 - texture(u_shadows, v_shadow).r;\n"
    "  n = normalize(n);\n"
    "  float h = length(n.xz);\n"
    "  if (h > 126.0 / 128.0) n = vec3(n.x, 0.0, n.z) * (126.0 / 128.0 / h);\n"
    "  frag_color = vec4((n.x + 1.0) * 0.5, shadow, (n.z + 1.0) * 0.5, t.a);\n"
    "}\n";

static const char terrain_vertex[] = PRELUDE
    "in vec4 vattr_position;\n"
    "uniform mat4 u_modelview;\n"
    "uniform mat4 u_projection;\n"
    "uniform float u_meshscale;\n"
    "uniform vec2 u_meshoffset;\n"
    "uniform vec2 u_texoffset;\n"
    "uniform float u_texscale;\n"
    "uniform float u_spacing;\n"
    "uniform float u_spacing_inv;\n"
    "uniform float u_heights_dim_inv;\n"
    "uniform sampler2D u_heights;\n"
    "out vec2 v_texcoord;\n"
    "out vec2 v_grid;\n"
    "out vec3 v_view;\n"
    "void main() {\n"
    "  vec3 v = vattr_position.xyz * u_meshscale + vec3(u_meshoffset, 0.0);\n"
    "  v_texcoord = (v.xy + u_texoffset) * u_texscale;\n"
    // Snapped to the nearest height point so that neighbouring patches meet.
    "  vec2 h = floor(v.xy * u_spacing_inv + 0.5);\n"
    "  float y = textureLod(u_heights, (h + 0.5) * u_heights_dim_inv, 0.0).r;\n"
    "  vec4 eye = u_modelview * vec4(h.x * u_spacing, y, h.y * u_spacing, 1.0);\n"
    "  v_grid = h;\n"
    "  v_view = eye.xyz;\n"
    "  gl_Position = u_projection * eye;\n"
    "}\n";

static const char terrain_fragment[] = FRAGMENT_PRELUDE FOG
    // Shared with the vertex stage, so declared at its precision.
    "uniform highp mat4 u_modelview;\n"
    "uniform sampler2D u_tex;\n"
    "uniform sampler2D u_nmap;\n"
    "uniform sampler2D u_smap;\n"
    "uniform sampler2D u_heights;\n"
    "uniform highp float u_spacing;\n"
    "uniform highp float u_heights_dim_inv;\n"
    "uniform vec4 u_ambient;\n"
    "uniform vec3 u_diffuse;\n"
    "uniform vec3 u_specular_color;\n"
    "uniform vec3 u_light_position;\n"
    "in vec2 v_texcoord;\n"
    "in vec2 v_grid;\n"
    "in vec3 v_view;\n"
    "float height(vec2 g) { return texture(u_heights, (g + 0.5) * u_heights_dim_inv).r; }\n"
    "void main() {\n"
    "  float hw = height(v_grid - vec2(0.5, 0.0));\n"
    "  float he = height(v_grid + vec2(0.5, 0.0));\n"
    "  float hn = height(v_grid - vec2(0.0, 0.5));\n"
    "  float hs = height(v_grid + vec2(0.0, 0.5));\n"
    "  vec3 up = normalize(vec3(hw - he, u_spacing, hn - hs));\n"
    "  vec4 m = texture(u_nmap, v_texcoord);\n"
    "  float len = m.g;\n"
    "  float x = m.r * 2.0 - 1.0;\n"
    "  float z = m.b * 2.0 - 1.0;\n"
    "  float y = sqrt(max(0.0, 1.0 - x * x - z * z));\n"
    "  vec3 tx = normalize(vec3(up.y, -up.x, 0.0));\n"
    "  vec3 tz = cross(tx, up);\n"
    "  vec3 n = normalize(mat3(u_modelview) * (tx * x + up * y + tz * z));\n"
    "  float nl = dot(n, u_light_position);\n"
    "  vec4 c = (u_ambient + vec4(u_diffuse * max(nl, 0.0) * len, 0.0)) * texture(u_tex, v_texcoord);\n"
    "  if (nl >= 0.0) {\n"
    "    vec4 s = texture(u_smap, v_texcoord);\n"
    "    float r = max(dot(reflect(normalize(v_view), n), u_light_position), 0.0);\n"
    "    c.rgb += s.r * u_specular_color * pow(r, s.g * 128.0 + 0.125) * len;\n"
    "  }\n"
    "  frag_color = vec4(apply_fog(c.rgb), c.a);\n"
    "}\n";

static const char tilemap_vertex[] = PRELUDE
    "in vec4 vattr_position;\n"
    "uniform mat4 u_modelview;\n"
    "uniform mat4 u_projection;\n"
    "uniform float u_spacing_inv;\n"
    "out vec2 v_tile;\n"
    "void main() {\n"
    "  v_tile = vattr_position.xz * u_spacing_inv * 0.5;\n"
    "  gl_Position = u_projection * (u_modelview * vattr_position);\n"
    "}\n";

static const char tilemap_fragment[] = FRAGMENT_PRELUDE
    "uniform sampler2D u_tex;\n"
    "uniform sampler2D u_tilemap;\n"
    "uniform float u_tilemap_dim_inv;\n"
    "uniform float u_atlas_dim_inv;\n"
    "in vec2 v_tile;\n"
    "void main() {\n"
    "  vec2 cell = floor(v_tile);\n"
    // Rounded: the tile index is an exact byte, whatever the precision.
    "  float t = floor(texture(u_tilemap, (cell + 0.5) * u_tilemap_dim_inv).r * 255.0 + 0.5);\n"
    "  float row = floor(t * u_atlas_dim_inv + 0.5 * u_atlas_dim_inv);\n"
    "  vec2 atlas = vec2(t * u_atlas_dim_inv - row, row * u_atlas_dim_inv);\n"
    "  atlas += ((v_tile - cell) * 0.875 + 0.0625) * u_atlas_dim_inv;\n"
    "  frag_color = texture(u_tex, atlas);\n"
    "}\n";

const shader_program_source shader_sources[8] = {
    {nullptr, nullptr, nullptr},
    {"unlit", unlit_vertex, unlit_fragment},
    {"norm_env", skinned_vertex, norm_env_fragment},
    {"norm_spec_lit", skinned_vertex, norm_spec_lit_fragment},
    {"terrain_normals", terrain_normals_vertex, terrain_normals_fragment},
    {"terrain", terrain_vertex, terrain_fragment},
    {"tilemap", tilemap_vertex, tilemap_fragment},
    {"flat", unlit_vertex, flat_fragment},
};
