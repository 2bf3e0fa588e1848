// Which models draw_rider draws for each drawing mode and crash counter,
// recorded at the model layer through a stand-in GL (no pixels): the lit pass
// in order, then the glow pass over the same models.
#include <gtest/gtest.h>

#include <vector>

#include "gfx/mesh.h"
#include "gfx/test_ztgl_fake_gl.h"
#include "physics/physics_tic.h"
#include "ride_fixture.h"
#include "ui/rider_draw.h"
#include "ui/rider_pose.h"

namespace {

// Every part model present; the first-person rider only when asked.
mesh stand_in;
bool with_first_person = true;
mesh* load_stand_in(const char* name)
{
    if (!with_first_person && strstr(name, "_fp")) return nullptr;
    return &stand_in;
}

struct drawn {
    int part, glow;
    bool operator==(const drawn& o) const { return part == o.part && glow == o.glow; }
};
std::vector<drawn> record;
void record_draw(mesh*, int part, int glow, const float*, const float*, const model_material*, const model_bones*)
{
    record.push_back({part, glow});
}

TEST(draw_rider, mode_and_crash_counter_table_of_drawn_models)
{
    fake_gl_layer_setup();
    stand_in = mesh{};
    stand_in.lod_count = 1;
    stand_in.has_glow = 1;
    auto saved_load = rider_model_load;
    auto saved_draw = rider_model_draw;
    rider_model_load = load_stand_in;
    rider_model_draw = record_draw;

    ride_test_world world;
    rider* r = world.add_rider("crf250(2013)", 3, 64, 64);
    ASSERT_NE(r, nullptr);
    world.run(32);

    using P = std::vector<int>;
    struct row {
        int mode, crashed, first_person;
        P want;
    } rows[] = {
        {0, 0, 1, {part_frame, part_fork_upper, part_fork_lower, part_swingarm, part_front_wheel, part_rear_wheel,
                   part_rider_body, part_head, part_front_plate, part_side_plates, part_rider_plate}},
        {1, 0, 1, {part_frame, part_fork_upper, part_fork_lower, part_front_wheel, part_front_plate, part_side_plates}},
        {2, 0, 1, {part_frame, part_fork_upper, part_fork_lower, part_front_wheel, part_rider_body_fp,
                   part_front_plate, part_side_plates}},
        {2, 0, 0, {part_frame, part_fork_upper, part_fork_lower, part_front_wheel, part_rider_body, part_front_plate,
                   part_side_plates}},
        {1, 1, 1, {part_frame, part_fork_upper, part_fork_lower, part_swingarm, part_front_wheel, part_rear_wheel,
                   part_front_plate, part_side_plates}},
        {2, 1, 1, {part_frame, part_fork_upper, part_fork_lower, part_swingarm, part_front_wheel, part_rear_wheel,
                   part_rider_body_fp, part_front_plate, part_side_plates}},
        {0, 1, 1, {part_frame, part_fork_upper, part_fork_lower, part_swingarm, part_front_wheel, part_rear_wheel,
                   part_rider_body, part_head, part_front_plate, part_side_plates, part_rider_plate}},
    };
    const float camera[3] = {0, 10, 0};
    for (const row& t : rows) {
        SCOPED_TRACE(testing::Message() << "mode " << t.mode << " crashed " << t.crashed << " fp " << t.first_person);
        with_first_person = t.first_person;
        r->crash_tics = t.crashed ? 300 : 0;
        // A slot of its own each time, so its models load afresh.
        r->slot = 100 + int(&t - rows);
        record.clear();
        int lit = draw_rider(r, t.mode, camera);
        std::vector<drawn> want;
        for (int p : t.want) want.push_back({p, 0});
        for (int p : t.want) want.push_back({p, 1});
        EXPECT_EQ(lit, int(t.want.size()));
        EXPECT_EQ(record, want);
    }
    r->crash_tics = 0;
    r->slot = 3;
    rider_model_load = saved_load;
    rider_model_draw = saved_draw;
    ztgl_state.program[ZTGL_UNLIT] = 0;
    ztgl_state.slot = 0;
}

}  // namespace
