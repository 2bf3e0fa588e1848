// The body pose as the GL layer gets it, read back from the command queue
// (no GL context needed: nothing is flushed).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include <ode/ode.h>

#include "gfx/ztgl_queue.h"
#include "physics/body_draw.h"

namespace {

struct BodyDraw : ::testing::Test {
    dWorldID world = nullptr;
    void SetUp() override
    {
        dInitODE2(0);
        world = dWorldCreate();
        ztgl_queue.count = 0;
        ztgl_queue.last_command = -1;
    }
    void TearDown() override
    {
        dWorldDestroy(world);
        dCloseODE();
        ztgl_queue.count = 0;
        ztgl_queue.last_command = -1;
    }
};

TEST_F(BodyDraw, GlTransformIsTheBodysPoseAsODEGivesIt)
{
    dBodyID b = dBodyCreate(world);
    dBodySetPosition(b, 12.5, -3.0, 40.25);
    dMatrix3 R;
    dRFromAxisAndAngle(R, 0.3, -1.0, 0.5, 1.1);  // turned about a skew axis
    dBodySetRotation(b, R);
    float position[3], m[16];
    body_gl_transform(b, position, m);
    const dReal* p = dBodyGetPosition(b);
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(position[k], p[k], 1e-5);
    // Points of the body's frame land where ODE puts them.
    const double locals[3][3] = {{1, 0, 0}, {0, 2, -1}, {-0.5, 0.25, 3}};
    for (const auto& l : locals) {
        dVector3 want;
        dBodyGetRelPointPos(b, l[0], l[1], l[2], want);
        for (int row = 0; row < 3; row++) {
            double got = m[row] * l[0] + m[4 + row] * l[1] + m[8 + row] * l[2] + m[12 + row];
            EXPECT_NEAR(got, want[row], 1e-5) << "row " << row;
        }
    }
    EXPECT_EQ(m[3], 0.0f);
    EXPECT_EQ(m[7], 0.0f);
    EXPECT_EQ(m[11], 0.0f);
    EXPECT_EQ(m[15], 1.0f);
    // Queued: a push, then a multiply by exactly that matrix.
    ASSERT_EQ(ztgl_queue.count, 1 + 1 + 16);
    EXPECT_EQ(ztgl_queue.words[0], (uint32_t)ZTGL_OP_PUSH_MATRIX);
    EXPECT_EQ(ztgl_queue.words[1], (uint32_t)ZTGL_OP_MULT_MATRIX);
    EXPECT_EQ(memcmp(&ztgl_queue.words[2], m, sizeof m), 0);
    // The outputs are optional.
    body_gl_transform(b, nullptr, nullptr);
    EXPECT_EQ(ztgl_queue.count, 2 * (1 + 1 + 16));
}

}  // namespace
