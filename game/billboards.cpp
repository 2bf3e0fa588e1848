// Billboards: creation with the colour prefix, the "billboards" file and its
// saver, and the pool of flying billboards that clods are thrown with.
#include <cctype>
#include <cmath>
#include <cstring>

#include "core/alloc.h"
#include "core/game_state.h"
#include "core/vfs.h"
#include "game/track_file_text.h"
#include "game/track_objects.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"

namespace {

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

const char* split_colour_prefix(const char* name, uint8_t colour[4])
{
    if (strlen(name) <= 7 || name[0] != '#' || name[7] != '#') return name;
    uint32_t rgb = 0;
    for (int k = 1; k < 7; k++) {
        int d = hex_digit(name[k]);
        if (d < 0) return name;
        rgb = rgb * 16 + uint32_t(d);
    }
    colour[0] = uint8_t(rgb >> 16);
    colour[1] = uint8_t(rgb >> 8);
    colour[2] = uint8_t(rgb);
    return name + 8;
}

namespace {

float finite_or_zero(float v) { return std::isfinite(v) ? v : 0.0f; }

uint8_t add_clamped(uint8_t value, int8_t change)
{
    int v = int(value) + int(change);
    return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
}

} // namespace

int32_t create_billboard(float x, float y, float z, float size, float aspect, const char* name, int32_t origin)
{
    track_object_tables& t = track_objects;
    track_objects_init();
    billboard b = {};
    b.x = finite_or_zero(x);
    b.z = finite_or_zero(z);
    b.relative_height = finite_or_zero(y);
    b.size = finite_or_zero(size);
    b.aspect = finite_or_zero(aspect);
    b.colour[0] = b.colour[1] = b.colour[2] = b.colour[3] = 255;
    b.origin = origin;
    if (name) {
        const char* rest = split_colour_prefix(name, b.colour);
        if (*rest) {
            b.name = track_name_copy(rest);
            if (!b.name) return -1;
            b.texture = track_object_hooks.texture_load(rest);
        }
    }
    b.y = b.relative_height + terrain_height_at(&track_terrain, b.x, b.z);
    // A table that can't grow is out of memory: undo what was added, so no
    // caller is handed another object's index and the draw list keeps two
    // entries per billboard.
    int32_t draw_count = t.draw_list.count;
    if (!array_push(&t.draw_list, nullptr) || !array_push(&t.draw_list, nullptr) || !array_push(&t.billboards, &b)) {
        t.draw_list.count = draw_count;
        alloc_check_free(b.name);
        track_objects_console("Out of memory for billboard %.900s", name ? name : "null");
        return -1;
    }
    return t.billboards.count - 1;
}

int32_t billboards_load(const char* path)
{
    vfs_stream* f = vfs_open(path, "r");
    if (!f) return 0;
    int32_t read = 0;
    char name[1024];
    for (;;) {
        float v[5];
        int n = vfs_scanf(f, " [ %f %f %f ] %f %f %1023s", &v[0], &v[1], &v[2], &v[3], &v[4], name);
        if (!track_record_read(f, path, n, 6, v, 5, read)) break;
        create_billboard(v[0], v[1], v[2], v[3], v[4], name);
        read++;
    }
    vfs_close(f);
    return read;
}

int billboards_save()
{
    vfs_stream* f = open_track_file_for_writing("billboards");
    if (!f) return 0;
    track_object_tables& t = track_objects;
    for (int32_t i = t.first_file_billboard; i < t.billboards.count; i++) {
        const billboard* b = billboard_at(i);
        if (b->origin == origin_script || !b->name) continue;
        vfs_printf(f, "[%f %f %f] %f %f ", b->x, b->relative_height, b->z, b->size, b->aspect);
        if (b->colour[0] == 255 && b->colour[1] == 255 && b->colour[2] == 255)
            vfs_printf(f, "%s\n", b->name);
        else
            vfs_printf(f, "#%02x%02x%02x#%s\n", b->colour[0], b->colour[1], b->colour[2], b->name);
    }
    return close_track_file_written(f, "billboards");
}

// ---- Flying billboards ---------------------------------------------------

void flying_pool_create()
{
    track_object_tables& t = track_objects;
    for (int32_t k = 0; k < flying_billboard_count; k++) {
        // The pool's billboards come first in a fresh table.
        int32_t index = create_billboard(0, 0, 0, 1, 1, nullptr);
        if (index < 0) fatal_out_of_memory();
        t.pool[k].billboard = index;
    }
    t.pool_ready = 1;
    flying_pool_reset();
}

void flying_pool_reset()
{
    track_object_tables& t = track_objects;
    t.active = nullptr;
    t.free_list = nullptr;
    if (!t.pool_ready) return;
    for (int32_t k = flying_billboard_count - 1; k >= 0; k--) {
        t.pool[k].next = t.free_list;
        t.free_list = &t.pool[k];
        billboard_at(t.pool[k].billboard)->texture = 0;
    }
}

int launch_billboard(const float p[3], const float v[3], const particle_description* d)
{
    track_object_tables& t = track_objects;
    flying_billboard* node = t.free_list;
    if (!node) return 0;
    t.free_list = node->next;
    node->x = p[0], node->y = p[1], node->z = p[2];
    node->vx = v[0], node->vy = v[1], node->vz = v[2];
    node->particle = d;
    billboard* b = billboard_at(node->billboard);
    b->x = p[0], b->y = p[1], b->z = p[2];
    b->size = d->size;
    b->texture = int32_t(d->texture);
    b->colour[0] = d->r, b->colour[1] = d->g, b->colour[2] = d->b, b->colour[3] = d->a;
    node->next = t.active;
    t.active = node;
    return 1;
}

void flying_billboards_step()
{
    track_object_tables& t = track_objects;
    const float dt = float(tic_length);
    flying_billboard** link = &t.active;
    while (flying_billboard* node = *link) {
        const particle_description* d = node->particle;
        node->x += node->vx * dt;
        node->y += node->vy * dt;
        node->z += node->vz * dt;
        float k = 1.0f - d->drag * dt;
        node->vx *= k;
        node->vz *= k;
        node->vy = k * node->vy - 32.0f * dt;  // gravity, ft/s^2
        billboard* b = billboard_at(node->billboard);
        b->x = node->x, b->y = node->y, b->z = node->z;
        b->size += d->grow * dt;
        b->colour[0] = add_clamped(b->colour[0], d->fade_r);
        b->colour[1] = add_clamped(b->colour[1], d->fade_g);
        b->colour[2] = add_clamped(b->colour[2], d->fade_b);
        b->colour[3] = add_clamped(b->colour[3], d->fade_a);
        // A clod is retired once it falls below the ground; one still rising
        // (thrown from a rut) is kept.
        if (node->vy < 0 && terrain_height_at(&track_terrain, node->x, node->z) > node->y) {
            b->texture = 0;
            *link = node->next;
            node->next = t.free_list;
            t.free_list = node;
        } else {
            link = &node->next;
        }
    }
}
