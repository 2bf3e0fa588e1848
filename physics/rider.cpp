#include "physics/rider.h"

#include <cstring>
#include <initializer_list>

#include "core/alloc.h"
#include "core/util.h"
#include "physics/bike_info.h"
#include "physics/collision_shape.h"
#include "physics/lap_timing.h"
#include "physics/physics_world.h"
#include "physics/rider_access.h"
#include "physics/rider_skins.h"

rider rider_records[rider_slot_count];
rider* rider_table[rider_slot_count];

void riders_init_all() { memset(rider_records, 0, sizeof rider_records); }

void riders_destroy_all()
{
    for (rider*& r : rider_table) {
        if (r) rider_destroy(r);
        r = nullptr;
    }
}

namespace {
void set_skin(rider_skin* skin, const char* name, const char* fallback)
{
    copy_bounded(skin->name, name ? name : fallback, sizeof skin->name);
}
} // namespace

rider* rider_create(const char* bike_name, int slot, int rider_flag, const char* number, const char* body_skin,
                    const char* head_skin, const char* bike_skin, const char* wheel_skin)
{
    if (slot < 0 || slot >= rider_slot_count) return nullptr;
    const bike_info* row = bike_info_find_or_fallback(bike_name);
    rider* r = &rider_records[slot];
    rider_destroy(r);
    r->bike_index = bike_info_index(row);
    r->slot = slot;
    rider_gates_init(r);
    for (auto& run : r->line_runs) array_init(&run, 20);
    array_init(&r->line_path, 20);
    set_skin(&r->rider_texture, body_skin, row->files[bike_file_rider_body_skin]);
    set_skin(&r->head_texture, head_skin, row->files[bike_file_rider_head_skin]);
    set_skin(&r->bike_texture, bike_skin, row->files[bike_file_bike_skin]);
    set_skin(&r->wheel_texture, wheel_skin, row->files[bike_file_wheel_skin]);
    copy_bounded(r->number, number ? number : "", sizeof r->number);
    rider_load_skins(r);
    // A missing set leaves that body without contact spheres; the rider
    // still rides (the loader's message names the file).
    r->frame_shape = collision_shape_instance(row->files[bike_file_frame_shape]);
    r->fork_upper_shape = collision_shape_instance(row->files[bike_file_fork_upper_shape]);
    r->fork_lower_shape = collision_shape_instance(row->files[bike_file_fork_lower_shape]);
    r->swingarm_shape = collision_shape_instance(row->files[bike_file_swingarm_shape]);
    r->front_wheel_shape = collision_shape_instance(row->files[bike_file_front_wheel_shape]);
    r->rear_wheel_shape = collision_shape_instance(row->files[bike_file_rear_wheel_shape]);
    r->rider_shape = collision_shape_instance(row->files[bike_file_rider_shape]);
    rider_settings_defaults(r);
    rider_set_flag(r, rider_flag);
    // Bodies and joints at the rest pose, once the program's world exists.
    if (physics_world)
        rider_build_in_world(r);
    return r;
}

void rider_destroy(rider* r)
{
    rider_free_skins(r);
    for (dJointID* joint : {&r->front_axle_joint, &r->rear_axle_joint, &r->steering_joint, &r->fork_joint,
                            &r->swingarm_joint, &r->rider_joint})
        if (*joint) dJointDestroy(*joint);
    for (dBodyID* body : {&r->frame_body, &r->front_wheel_body, &r->rear_wheel_body, &r->fork_upper_body,
                          &r->fork_lower_body, &r->swingarm_body, &r->rider_body})
        if (*body) dBodyDestroy(*body);
    array_free(&r->gate_tics);
    for (auto& run : r->line_runs) array_free(&run);
    array_free(&r->line_path);
    for (collision_shape* shape : {r->frame_shape, r->fork_upper_shape, r->fork_lower_shape, r->swingarm_shape,
                                   r->front_wheel_shape, r->rear_wheel_shape, r->rider_shape})
        alloc_check_free(shape);
    memset(r, 0, sizeof *r);
}
