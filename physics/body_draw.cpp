#include "physics/body_draw.h"

#include <cstring>

#include "gfx/imm.h"
#include "gfx/ztgl_queue.h"
#include "physics/body_helpers.h"

void body_gl_transform(dBodyID body, float position[3], float rotation[16])
{
    float m[16];
    body_pose_matrix(body, m);
    if (position)
        memcpy(position, m + 12, 3 * sizeof(float));
    if (rotation)
        memcpy(rotation, m, sizeof m);
    ztglPushMatrix();
    ztglMultMatrixf(m);
}

void draw_marker_box(const float point[3], float size)
{
    // Each face: its outward axis and sign, corners walked round the face.
    static const int faces[6][4][3] = {
        {{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}},     {{-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}, {-1, -1, -1}},
        {{-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1}},     {{-1, -1, 1}, {-1, -1, -1}, {1, -1, -1}, {1, -1, 1}},
        {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},     {{1, -1, -1}, {-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}},
    };
    imm_begin(IMM_QUADS);
    for (const auto& face : faces)
        for (const auto& c : face)
            imm_vertex3(point[0] + c[0] * size, point[1] + c[1] * size, point[2] + c[2] * size);
    imm_end();
}
