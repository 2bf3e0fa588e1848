// The object tables' lifetime and the services they call.
#include "game/track_objects.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/alloc.h"
#include "game/flaggers.h"
#include "game/timing_gates.h"
#include "game/track_cameras.h"
#include "gfx/model.h"
#include "gfx/texture.h"
#include "gfx/ztgl.h"
#include "physics/collision_shape.h"
#include "ui/console.h"

track_object_tables track_objects;
track_object_services track_object_hooks;

namespace {

// The texture and model caches upload to GL; without a context (tools,
// tests of the tables alone) objects get no textures and no models.
int load_texture(const char* name) { return ztgl_fn.GenTextures ? texture_load(name) : 0; }

int lookup_suffix(const char* name, const char* old_suffix, const char* new_suffix)
{
    return ztgl_fn.GenTextures ? replace_suffix_lookup(name, old_suffix, new_suffix) : 0;
}

mesh* load_model(const char* name) { return ztgl_fn.GenTextures ? model_load(name) : nullptr; }

const int services_ready = (track_object_services_reset(), 1);

void free_billboard_belongings(billboard* b)
{
    alloc_check_free(b->name);
    b->name = nullptr;
}

void free_statue_belongings(statue* s)
{
    statue_release(s);
    alloc_check_free(s->model_name);
    alloc_check_free(s->texture_name);
    alloc_check_free(s->shape_name);
    s->model_name = s->texture_name = s->shape_name = nullptr;
}

} // namespace

void track_object_services_reset()
{
    track_object_hooks.console_print = console_print;
    track_object_hooks.texture_load = load_texture;
    track_object_hooks.replace_suffix_lookup = lookup_suffix;
    track_object_hooks.model_load = load_model;
    track_object_hooks.shape_instance = collision_shape_instance;
    track_object_hooks.verbose = 0;
}

void track_objects_console(const char* format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    track_object_hooks.console_print(line);
}

void track_objects_init()
{
    if (!track_objects.billboards.element_size) array_init(&track_objects.billboards, sizeof(billboard));
    if (!track_objects.statues.element_size) array_init(&track_objects.statues, sizeof(statue));
    if (!track_objects.draw_list.element_size) array_init(&track_objects.draw_list, sizeof(int32_t));
    for (growable_array& cell : track_objects.statue_grid)
        if (!cell.element_size) array_init(&cell, sizeof(int32_t));
}

void track_objects_truncate(int32_t billboard_count, int32_t statue_count)
{
    track_object_tables& t = track_objects;
    if (billboard_count < 0) billboard_count = 0;
    if (statue_count < 0) statue_count = 0;
    for (int32_t i = billboard_count; i < t.billboards.count; i++) free_billboard_belongings(billboard_at(i));
    if (billboard_count < t.billboards.count) {
        t.billboards.count = billboard_count;
        // Two draw-list entries were added with every billboard.
        if (t.draw_list.count > 2 * billboard_count) t.draw_list.count = 2 * billboard_count;
    }
    for (int32_t i = statue_count; i < t.statues.count; i++) free_statue_belongings(statue_at(i));
    if (statue_count < t.statues.count) {
        t.statues.count = statue_count;
        // The grid may name the cut statues.
        rebuild_statue_grid();
    }
    if (t.first_file_billboard > t.billboards.count) t.first_file_billboard = t.billboards.count;
    if (t.first_file_statue > t.statues.count) t.first_file_statue = t.statues.count;
    if (t.pool_ready && t.billboards.count < flying_billboard_count) {
        t.pool_ready = 0;
        t.active = t.free_list = nullptr;
    }
}

void billboard_remove(int32_t index)
{
    track_object_tables& t = track_objects;
    if (index < 0 || index >= t.billboards.count) return;
    free_billboard_belongings(billboard_at(index));
    memmove(billboard_at(index), billboard_at(index + 1), size_t(t.billboards.count - index - 1) * sizeof(billboard));
    t.billboards.count--;
    // Two draw-list entries belong to every billboard.
    if (t.draw_list.count >= 2) t.draw_list.count -= 2;
}

void statue_remove(int32_t index)
{
    track_object_tables& t = track_objects;
    if (index < 0 || index >= t.statues.count) return;
    free_statue_belongings(statue_at(index));
    memmove(statue_at(index), statue_at(index + 1), size_t(t.statues.count - index - 1) * sizeof(statue));
    t.statues.count--;
}

void track_objects_free()
{
    track_object_tables& t = track_objects;
    for (int32_t i = 0; i < t.billboards.count; i++) free_billboard_belongings(billboard_at(i));
    for (int32_t i = 0; i < t.statues.count; i++) free_statue_belongings(statue_at(i));
    array_free(&t.billboards);
    array_free(&t.statues);
    array_free(&t.draw_list);
    for (growable_array& cell : t.statue_grid) array_free(&cell);
    t.first_file_billboard = t.first_file_statue = 0;
    t.active = t.free_list = nullptr;
    t.pool_ready = 0;
    flaggers_free();
    track_cameras_free();
    // The start gates' statues went with the statues.
    timing_gates_clear();
}
