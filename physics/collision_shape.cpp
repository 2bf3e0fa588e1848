#include "physics/collision_shape.h"

#include <cmath>
#include <cstring>

#include "core/alloc.h"
#include "core/array.h"
#include "core/vfs.h"
#include "physics/physics_messages.h"

namespace {
growable_array cache;  // collision_shape*, element size 8

collision_shape* allocate(const char* name, int32_t count)
{
    size_t name_size = strlen(name) + 1;
    size_t bytes = sizeof(collision_shape) + size_t(count) * sizeof(collision_sphere) + name_size;
    void* block = alloc_check_malloc(bytes);
    if (!block) fatal_out_of_memory();
    auto* shape = static_cast<collision_shape*>(block);
    shape->spheres = reinterpret_cast<collision_sphere*>(shape + 1);
    char* text = reinterpret_cast<char*>(shape->spheres + count);
    memcpy(text, name, name_size);
    shape->name = text;
    shape->count = count;
    shape->source = nullptr;
    shape->radius = 0;
    return shape;
}

// No body or track object reaches this far from its centre; a number beyond
// it (or not finite) only comes from a damaged file and would poison the
// contact tests.
constexpr float sane_reach = 10000.0f;

bool sane(float v) { return std::fabs(v) <= sane_reach; }  // false for NaN

// Shapes come with track folders that players exchange: a count above the
// bound is refused before anything is allocated for it.
collision_shape* read_shape(const char* name)
{
    vfs_stream* stream = vfs_open(name, "rb");
    if (!stream) return nullptr;
    int32_t count = 0;
    if (vfs_scanf(stream, "%d", &count) != 1 || count < 0 || count > collision_shape_max_spheres) {
        vfs_close(stream);
        return nullptr;
    }
    collision_shape* shape = allocate(name, count);
    for (int32_t i = 0; i < count; i++) {
        collision_sphere* s = &shape->spheres[i];
        if (vfs_scanf(stream, "%f", &s->x) != 1 || vfs_scanf(stream, "%f", &s->y) != 1 ||
            vfs_scanf(stream, "%f", &s->z) != 1 ||
            vfs_scanf(stream, "%f %f %f %f", &s->radius, &s->extra[0], &s->extra[1], &s->extra[2]) != 4 ||
            !sane(s->x) || !sane(s->y) || !sane(s->z) || !sane(s->radius) || !(s->radius >= 0) ||
            !sane(s->extra[0]) || !sane(s->extra[1]) || !sane(s->extra[2])) {
            alloc_check_free(shape);
            vfs_close(stream);
            return nullptr;
        }
    }
    float radius = 0;
    for (int32_t i = 0; i < count; i++) {
        const collision_sphere& s = shape->spheres[i];
        float reach = float(std::sqrt(double(s.x) * s.x + double(s.y) * s.y + double(s.z) * s.z)) + s.radius;
        if (reach > radius) radius = reach;
    }
    shape->radius = radius;
    vfs_close(stream);
    return shape;
}
} // namespace

const collision_shape* collision_shape_load(const char* name)
{
    if (!cache.element_size) array_init(&cache, sizeof(collision_shape*));
    auto** shapes = array_items<collision_shape*>(&cache);
    for (int32_t i = 0; i < cache.count; i++)
        if (strcmp(shapes[i]->name, name) == 0) return shapes[i];
    collision_shape* shape = read_shape(name);
    if (!shape) {
        physics_message("Can't read collision shape '%.200s'", name);
        return nullptr;
    }
    array_push(&cache, &shape);  // when the cache can't grow the set is still returned
    return shape;
}

collision_shape* collision_shape_instance(const char* name)
{
    const collision_shape* cached = collision_shape_load(name);
    if (!cached) return nullptr;
    collision_shape* copy = allocate(cached->name, cached->count);
    memcpy(copy->spheres, cached->spheres, size_t(cached->count) * sizeof(collision_sphere));
    copy->radius = cached->radius;
    copy->source = cached;
    return copy;
}

const char* collision_shape_name(const collision_shape* shape) { return shape->name; }
float collision_shape_radius(const collision_shape* shape) { return shape->radius; }

int collision_shape_sphere(const collision_shape* shape, int index, float* centre, float* radius)
{
    if (index < 0 || index >= shape->count) return 0;
    const collision_sphere& s = shape->spheres[index];
    centre[0] = s.x;
    centre[1] = s.y;
    centre[2] = s.z;
    *radius = s.radius;
    return 1;
}

void collision_shapes_free()
{
    auto** shapes = array_items<collision_shape*>(&cache);
    for (int32_t i = 0; i < cache.count; i++) alloc_check_free(shapes[i]);
    array_free(&cache);
    cache.element_size = 0;
}

int collision_shape_cache_capacity() { return cache.capacity; }
