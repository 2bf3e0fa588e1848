// The drawing helpers on bodies, played through the GL layer onto the
// stand-in GL: the pose lands on the emulated modelview stack, the marker
// box's quads reach GL as triangles.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include <ode/ode.h>

#include "gfx/test_ztgl_fake_gl.h"
#include "physics/body_draw.h"

namespace {

struct BodyDraw : ::testing::Test {
    dWorldID world = nullptr;
    void SetUp() override
    {
        fake_gl_layer_setup();
        dInitODE2(0);
        world = dWorldCreate();
    }
    void TearDown() override
    {
        dWorldDestroy(world);
        dCloseODE();
    }
};

TEST_F(BodyDraw, GlTransformIsTheBodysPoseAsODEGivesIt)
{
    dBodyID b = dBodyCreate(world);
    dBodySetPosition(b, 12.5, -3.0, 40.25);
    dMatrix3 R;
    dRFromAxisAndAngle(R, 0.3, -1.0, 0.5, 1.1);  // turned about a skew axis
    dBodySetRotation(b, R);
    ztglMatrixMode(ZTGL_MODELVIEW);
    ztglLoadIdentity();
    float position[3], m[16];
    body_gl_transform(b, position, m);
    ztgl_flush();
    const dReal* p = dBodyGetPosition(b);
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(position[k], p[k], 1e-5);
    // Points of the body's frame land where ODE puts them, through the
    // matrix now on the modelview stack.
    const float* mv = ztgl_current_matrix(0);  // stack 0: the modelview
    const double locals[3][3] = {{1, 0, 0}, {0, 2, -1}, {-0.5, 0.25, 3}};
    for (const auto& l : locals) {
        dVector3 want;
        dBodyGetRelPointPos(b, l[0], l[1], l[2], want);
        for (int row = 0; row < 3; row++) {
            double got = mv[row] * l[0] + mv[4 + row] * l[1] + mv[8 + row] * l[2] + mv[12 + row];
            EXPECT_NEAR(got, want[row], 1e-5) << "row " << row;
        }
    }
    EXPECT_EQ(memcmp(mv, m, sizeof m), 0) << "the returned pose is the one multiplied in";
    EXPECT_EQ(mv[3], 0.0f);
    EXPECT_EQ(mv[7], 0.0f);
    EXPECT_EQ(mv[11], 0.0f);
    EXPECT_EQ(mv[15], 1.0f);
    // The caller's pop restores what was there; the outputs are optional.
    ztglPopMatrix();
    body_gl_transform(b, nullptr, nullptr);
    ztglPopMatrix();
    ztgl_flush();
    mv = ztgl_current_matrix(0);
    for (int k = 0; k < 16; k++)
        EXPECT_EQ(mv[k], k % 5 == 0 ? 1.0f : 0.0f) << k;
}

TEST_F(BodyDraw, MarkerBoxIsSixOutwardFacesOfTheBox)
{
    const float at[3] = {5, -2, 7};
    const float size = 0.5f;
    draw_marker_box(at, size);
    ASSERT_EQ(imm_batch.committed_vertices, 24);
    int faces_per_side[3][2] = {};
    for (int f = 0; f < 6; f++) {
        const imm_vertex* v = &imm_batch.vertices[4 * f];
        double c[3] = {0, 0, 0};
        for (int k = 0; k < 4; k++)
            for (int a = 0; a < 3; a++) {
                EXPECT_NEAR(std::fabs(v[k].position[a] - at[a]), size, 1e-6) << "a corner of the box";
                c[a] += (v[k].position[a] - at[a]) / 4;
            }
        // The face's centre lies on one axis at +-size, and its winding
        // (counter-clockwise seen from outside) gives a normal the same way.
        int axis = -1;
        for (int a = 0; a < 3; a++)
            if (std::fabs(c[a]) > size * 0.5)
                axis = a;
        ASSERT_GE(axis, 0);
        double e1[3], e2[3];
        for (int a = 0; a < 3; a++) {
            e1[a] = v[1].position[a] - v[0].position[a];
            e2[a] = v[2].position[a] - v[1].position[a];
        }
        double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
        EXPECT_GT(n[axis] * c[axis], 0.0) << "face " << f << " faces outward";
        faces_per_side[axis][c[axis] > 0]++;
    }
    for (int a = 0; a < 3; a++)
        EXPECT_TRUE(faces_per_side[a][0] == 1 && faces_per_side[a][1] == 1) << "axis " << a;
    // GL gets the six quads as twelve triangles.
    ztgl_flush();
    EXPECT_EQ(fake_gl.drawn_x.size(), 36u);
    for (GLenum mode : fake_gl.drawn_modes)
        EXPECT_EQ(mode, (GLenum)GL_TRIANGLES);
}

}  // namespace
