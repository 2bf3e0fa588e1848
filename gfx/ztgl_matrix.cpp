#include "gfx/ztgl_matrix.h"

#include <cmath>
#include <cstring>

static void store(float out[16], const double m[16]) {
  for (int i = 0; i < 16; i++) out[i] = (float)m[i];
}

void ztgl_mat4_identity(float out[16]) {
  static const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  memcpy(out, identity, sizeof identity);
}

void ztgl_mat4_multiply(float out[16], const float a[16], const float b[16]) {
  double r[16];
  for (int col = 0; col < 4; col++)
    for (int row = 0; row < 4; row++) {
      double s = 0;
      for (int k = 0; k < 4; k++) s += (double)a[k * 4 + row] * (double)b[col * 4 + k];
      r[col * 4 + row] = s;
    }
  store(out, r);
}

void ztgl_mat4_frustum(float out[16], double l, double r, double b, double t, double n, double f) {
  double m[16] = {0};
  m[0] = 2 * n / (r - l);
  m[5] = 2 * n / (t - b);
  m[8] = (r + l) / (r - l);
  m[9] = (t + b) / (t - b);
  m[10] = -(f + n) / (f - n);
  m[11] = -1;
  m[14] = -2 * f * n / (f - n);
  store(out, m);
}

void ztgl_mat4_ortho(float out[16], double l, double r, double b, double t, double n, double f) {
  double m[16] = {0};
  m[0] = 2 / (r - l);
  m[5] = 2 / (t - b);
  m[10] = -2 / (f - n);
  m[12] = -(r + l) / (r - l);
  m[13] = -(t + b) / (t - b);
  m[14] = -(f + n) / (f - n);
  m[15] = 1;
  store(out, m);
}

void ztgl_mat4_rotate(float out[16], float angle_degrees, float fx, float fy, float fz) {
  double x = fx, y = fy, z = fz;
  double len = std::sqrt(x * x + y * y + z * z);
  if (len == 0) {
    ztgl_mat4_identity(out);
    return;
  }
  x /= len;
  y /= len;
  z /= len;
  double a = angle_degrees * 0.017453292519943295;
  double c = std::cos(a), s = std::sin(a), d = 1 - c;
  double m[16] = {x * x * d + c,     y * x * d + z * s, x * z * d - y * s, 0,
                  x * y * d - z * s, y * y * d + c,     y * z * d + x * s, 0,
                  x * z * d + y * s, y * z * d - x * s, z * z * d + c,     0,
                  0,                 0,                 0,                 1};
  store(out, m);
}

void ztgl_mat4_scale(float out[16], float x, float y, float z) {
  ztgl_mat4_identity(out);
  out[0] = x;
  out[5] = y;
  out[10] = z;
}

void ztgl_mat4_translate(float out[16], float x, float y, float z) {
  ztgl_mat4_identity(out);
  out[12] = x;
  out[13] = y;
  out[14] = z;
}
