#include "physics/physics_ground.h"

#include <cstring>
#include <initializer_list>

#include "physics/physics_world.h"

int32_t debug_marker_flags;
float debug_marker_spacing = 10.0f;
float (*distance_to_last_marker_hook)(float x, float y, float z);
void (*add_marker_hook)(float x, float y, float z, const char* text);

namespace {

rut_tracker rider_ruts[rider_slot_count][2];

// The record the ground was last pointed at. Its heights block is replaced at
// every load and released by every free, so the ground looks again each time.
const terrain* followed_terrain;

void point_ground_at(const terrain* t)
{
    if (!t->heights || t->size <= 0)
        physics_ground_flat();
    else
        physics_ground = ground_view_of(t);
}

void follow_terrain(const terrain* t)
{
    if (t == followed_terrain)
        point_ground_at(t);
}

int slot_of(const rider* r)
{
    return r->slot < 0 ? 0 : r->slot >= rider_slot_count ? rider_slot_count - 1 : r->slot;
}

}  // namespace

ground_view ground_view_of(const terrain* t)
{
    ground_view g{};
    g.heights = t->heights;
    g.size = t->size;
    g.spacing = t->spacing;
    g.inv_spacing = t->inv_spacing;
    g.tile_map = t->tile_map;
    g.exponent = t->exponent;
    g.slip_function = t->slip_function;
    g.friction_keys = t->friction_keys;
    g.friction_values = t->friction_values;
    g.roll_keys = t->roll_keys;
    g.roll_pairs = t->roll_pairs;
    g.source = t;
    return g;
}

void physics_ground_from_terrain(const terrain* t)
{
    followed_terrain = t;
    terrain_blocks_changed_hook = follow_terrain;
    point_ground_at(t);
}

rut_tracker* rider_rut_tracker(const rider* r, int front)
{
    return &rider_ruts[slot_of(r)][front ? 0 : 1];
}

void rider_ruts_reset(const rider* r)
{
    erode_wheel_reset(rider_rut_tracker(r, 1));
    erode_wheel_reset(rider_rut_tracker(r, 0));
}

void wheel_effects_tic(const ride_world& w, rider* r)
{
    (void)w;
    const dReal* p = dBodyGetPosition(r->frame_body);
    bool marker = (debug_marker_flags & 1) && distance_to_last_marker_hook && add_marker_hook &&
                  distance_to_last_marker_hook((float)p[0], (float)p[1], (float)p[2]) > debug_marker_spacing;
    char pieces[2][1024];
    const wheel_contact* wheels[2] = {&r->front_contact, &r->rear_contact};
    for (int k = 0; k < 2; k++) {
        const wheel_contact* c = wheels[k];
        wheel_rut_input in{};
        in.depth = c->depth;
        const dReal* v = dBodyGetLinearVel(c->body);
        for (int a = 0; a < 3; a++) {
            in.point[a] = c->contact_point[a];
            in.slip_velocity[a] = c->slip_velocity[a];
            in.force[a] = (float)c->feedback.f1[a];
            in.body_velocity[a] = (float)v[a];
        }
        erode_wheel_step(rider_rut_tracker(r, k == 0), &in, k == 0);
        if (marker)
            erode_debug_text(pieces[k], (int)sizeof pieces[k]);  // this wheel's step
    }
    if (!marker)
        return;
    char text[1024];
    size_t used = 0;
    text[0] = 0;
    // Each piece cut to the room left.
    for (const char* piece : {"front:\n", (const char*)pieces[0], "rear:\n", (const char*)pieces[1]}) {
        size_t n = strlen(piece), room = sizeof text - 1 - used;
        if (n > room)
            n = room;
        memcpy(text + used, piece, n);
        used += n;
        text[used] = 0;
    }
    add_marker_hook((float)p[0], (float)p[1], (float)p[2], text);
}

void wheel_effects_tic(rider* r)
{
    wheel_effects_tic(physics_current(), r);
}
