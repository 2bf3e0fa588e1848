// The auto pilot's lean is held by the ground (its bank as the rider sees
// it and its surface's grip), and a computer rider's path gets all its room
// when the rider gets its personality, so the tic never grows it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include <ode/ode.h>

#include "ai/autopilot.h"
#include "ai/racing_lines.h"
#include "core/alloc.h"
#include "core/array.h"
#include "physics/physics_world.h"
#include "physics/rider.h"

namespace {

struct rolled_body {
    dWorldID world;
    dBodyID body;
    explicit rolled_body(double roll)
    {
        dInitODE2(0);
        world = dWorldCreate();
        body = dBodyCreate(world);
        dMatrix3 r;
        // Roll about the body's backward (z) axis.
        dRFromAxisAndAngle(r, 0, 0, 1, roll);
        dBodySetRotation(body, r);
    }
    ~rolled_body()
    {
        dWorldDestroy(world);
        dCloseODE();
    }
};

TEST(autopilot_ground, level_ground_of_friction_one_holds_the_lean_within_45_degrees)
{
    // No terrain loaded: level ground of friction 1, a grip angle of
    // atan(1) = 45 degrees however the rider leans now.
    EXPECT_NEAR(ground_grip_angle(10.0f, 10.0f), M_PI / 4, 1e-9);
    for (double roll : {0.0, 0.3, -0.5}) {
        rolled_body b(roll);
        // Seen from the rolled body, level ground leans by the body's roll:
        // its own bank is lean less that, 0.
        double lean = std::asin(dBodyGetRotation(b.body)[4]);
        EXPECT_NEAR(ground_bank_seen(b.body, 0.0f, 0.0f), lean, 1e-9) << roll;
        struct {
            double target, held;
        } rows[] = {{0.2, 0.2}, {-0.7, -0.7}, {1.0, M_PI / 4}, {-1.2, -M_PI / 4}};
        for (const auto& row : rows)
            EXPECT_NEAR(lean_within_ground(b.body, lean, 0.0f, 0.0f, row.target), row.held, 1e-9)
                << roll << " " << row.target;
    }
}

TEST(autopilot_ground, the_path_has_its_room_before_the_first_tic)
{
    // One set holding a line of 300 points, longer than the 256 every path
    // gets anyway.
    line_set set;
    memset(&set, 0, sizeof set);
    for (racing_line& l : set.lines) racing_line_empty(&l);
    racing_line& line = set.lines[0];
    line.point_count = 300;
    line.points = static_cast<line_point*>(xmalloc(sizeof(line_point) * 300));
    for (int i = 0; i < 300; i++) line.points[i] = {0.0f, 0.0f, -5.0f * i, 20.0f, 0.0f};
    racing_line_store saved = racing_line_sets;
    racing_line_sets = racing_line_store{};
    racing_line_sets.sets = &set;
    racing_line_sets.first_lap_sections = 1;
    // 30 points kept behind the target, up to 11 left before a pick, 5 seed
    // copies and the longest line.
    EXPECT_EQ(autopilot_path_capacity(), 30 + 11 + 5 + 300);

    rider* r = rider_create("crf250(2013)", 0, 0, "1", nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(r, nullptr);
    rider_set_autopilot_personality(r, "pell");
    EXPECT_GE(r->line_path.capacity, 30 + 11 + 5 + 300);
    // The worst a pick meets: 41 points kept, then the longest line
    // appended; the buffer stays where it was.
    for (int i = 0; i < 41; i++) array_push(&r->line_path, &line.points[0]);
    void* before = r->line_path.items;
    int32_t target = 30;
    double body[3] = {0, 0, 0}, forward[3] = {0, 0, -1};
    path_append_line(&r->line_path, &target, &line, body, forward);
    EXPECT_EQ(r->line_path.items, before);
    EXPECT_EQ(r->line_path.count, 41 + 300);
    rider_destroy(r);
    racing_line_empty(&line);
    racing_line_sets = saved;
}

}  // namespace
