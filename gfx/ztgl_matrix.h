#pragma once
// 4x4 matrix maths of the emulated matrix stacks: column-major float
// matrices, as GL's own matrix calls build them. Each builder computes in
// double precision and stores the result as floats.

void ztgl_mat4_identity(float out[16]);
// out = a * b; out may alias a or b.
void ztgl_mat4_multiply(float out[16], const float a[16], const float b[16]);
void ztgl_mat4_frustum(float out[16], double left, double right, double bottom, double top,
                       double near_z, double far_z);
void ztgl_mat4_ortho(float out[16], double left, double right, double bottom, double top,
                     double near_z, double far_z);
// The axis is normalised first (a zero axis gives the identity).
void ztgl_mat4_rotate(float out[16], float angle_degrees, float x, float y, float z);
void ztgl_mat4_scale(float out[16], float x, float y, float z);
void ztgl_mat4_translate(float out[16], float x, float y, float z);
