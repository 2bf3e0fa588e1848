#include "physics/physics_world.h"

#include <algorithm>

#include "core/game_state.h"
#include "physics/physics_constants.h"
#include "physics/rider_build.h"
#include "physics/rider_collide.h"
#include "physics/tyre.h"
#include "physics/wheel_effects.h"

dWorldID physics_world;
dJointGroupID contact_joint_group;
ground_view physics_ground;

namespace {

// The flat ground's one sample and one surface.
float flat_height[1];
int32_t flat_slip[1] = {1};
float flat_keys[1][8] = {{friction_curve_end, friction_curve_end, friction_curve_end, friction_curve_end,
                          friction_curve_end, friction_curve_end, friction_curve_end, friction_curve_end}};
float flat_values[1][8] = {{1, 1, 1, 1, 1, 1, 1, 1}};
float flat_roll_keys[1][8];
float flat_roll_pairs[1][8][2] = {{{5, 15}}};

}  // namespace

void physics_ground_flat()
{
    ground_view& g = physics_ground;
    g = ground_view{};
    g.heights = flat_height;
    g.size = 1;
    g.spacing = 1.0f;
    g.inv_spacing = 1.0f;
    g.slip_function = flat_slip;
    g.friction_keys = flat_keys;
    g.friction_values = flat_values;
    g.roll_keys = flat_roll_keys;
    g.roll_pairs = flat_roll_pairs;
}

void physics_world_setup(dWorldID world)
{
    dWorldSetGravity(world, 0, -phys::gravity, 0);
}

void physics_world_create()
{
    if (physics_world)
        return;
    dInitODE2(0);
    physics_world = dWorldCreate();
    physics_world_setup(physics_world);
    contact_joint_group = dJointGroupCreate(0);
    if (!physics_ground.heights)
        physics_ground_flat();
}

void physics_world_destroy()
{
    if (!physics_world)
        return;
    dJointGroupDestroy(contact_joint_group);
    dWorldDestroy(physics_world);
    contact_joint_group = nullptr;
    physics_world = nullptr;
    dCloseODE();
}

ride_world physics_current()
{
    ride_world w{};
    w.world = physics_world;
    w.group = contact_joint_group;
    w.ground = physics_ground;
    w.tic = tic_counter;
    // The down rule counts from the gate drop: riders waiting behind the
    // gate are not down.
    w.start_tic = std::max(race_start_tic, gate_drop_tic);
    return w;
}

int rider_build_in_world(rider* r)
{
    physics_world_create();
    if (!rider_build(r, physics_world))
        return 0;
    rider_reset_pose(r);
    return 1;
}

int (*slot_is_hidden_hook)(int slot);

int rider_is_down_on_track(const rider* r)
{
    if (slot_is_hidden_hook && slot_is_hidden_hook(r->slot))
        return 0;
    return r->is_down && !r->finished;
}

int bike_tyre_forces(rider* r)
{
    return bike_tyre_forces(physics_current(), r);
}

void bike_physics_tic(rider* r)
{
    bike_physics_tic(physics_current(), r);
}

void rider_contacts_refresh(rider* r)
{
    rider_contacts_refresh(physics_current(), r);
}

void roost_tic(rider* r)
{
    roost_tic(physics_current(), r);
}

void treadmarks_tic(rider* r)
{
    treadmarks_tic(physics_current(), r);
}

int riders_collide(rider* a, rider* b, int mode)
{
    return riders_collide(physics_current(), a, b, mode);
}

int rider_collide_object(rider* r, const collision_shape* object, const double position[3], const double rotation[9],
                         double scale)
{
    return rider_collide_object(physics_current(), r, object, position, rotation, scale);
}
