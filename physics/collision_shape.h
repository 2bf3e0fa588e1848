#pragma once
// Collision sphere sets: the spheres that stand for a body or a track
// object in contact tests. Each ".shp" file (docs/shp.md) is read once into
// a cache; every user gets a private copy.
#include <cstdint>

struct collision_sphere {
    float x, y, z, radius;
    float extra[3];  // friction scale, stiffness scale, flags (docs/shp.md)
};

// One block: this record, then the spheres, then the name text.
struct collision_shape {
    const char* name;
    int32_t count;
    collision_sphere* spheres;
    const collision_shape* source;  // the cached set of a copy; null in the cache
    float radius;                   // max over spheres of |centre| + radius
};

// Files claiming more spheres than this are refused as damaged.
constexpr int32_t collision_shape_max_spheres = 4096;

// The cached set for that name (exact, case-sensitive), loading it on first
// use; null when the file is missing or damaged (a count out of bounds, too
// few numbers, a number not finite or beyond 10000 ft, a negative radius):
// nothing is cached then, and one line names the file.
const collision_shape* collision_shape_load(const char* name);
// A private copy of the cached set, or null. The caller frees it with
// alloc_check_free.
collision_shape* collision_shape_instance(const char* name);
const char* collision_shape_name(const collision_shape* shape);
float collision_shape_radius(const collision_shape* shape);
// 1 and the sphere's centre and radius when index < count; 0 otherwise,
// the outputs untouched.
int collision_shape_sphere(const collision_shape* shape, int index, float* centre, float* radius);
// Frees every cached set and the cache; copies are left alone.
void collision_shapes_free();
// The cache's capacity (0 before the first load).
int collision_shape_cache_capacity();
