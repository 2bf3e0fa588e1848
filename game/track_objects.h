#pragma once
// A track's furniture: billboards (flat sprites standing on the ground:
// banners, flaggers, thrown clods) and statues (placed models with textures,
// a collision shape and a pose). Both live in growable tables that the track
// loader fills from the track files, that the start gates, the flaggers and
// track scripts add to, and that the editor edits and saves. Beside them: the
// 8 x 8 statue grid for finding statues near a point, and the pool of 2000
// flying billboards that clods are thrown with, so a race never allocates
// for them.
#include <cstdint>

#include "core/array.h"

struct mesh;
struct collision_shape;
struct roost_type;

// Where an object came from. Only file and editor objects are saved: a script
// makes its objects again every time it loads.
enum object_origin : int32_t { origin_file = 0, origin_editor = 1, origin_script = 2 };

struct billboard {
    float x;
    float y;  // absolute: relative height + terrain height when created
    float z;
    float size;             // vertical extent, feet; drawn from y to y + size
    float relative_height;  // above the terrain, as the file stores it
    float aspect;           // width / height
    int32_t sort_key;       // the world view's, written every frame
    int32_t texture;        // 0 hides the billboard
    uint8_t colour[4];      // red, green, blue, alpha
    char* name;             // the texture name as read (no colour prefix), null for none
    int32_t origin;         // object_origin
};

struct statue {
    mesh* model;             // null for none
    collision_shape* shape;  // private copy, null for none
    int32_t texture, normal_map, specular_map;
    float x, y, z;           // y absolute
    float relative_height;
    // Heading in radians; >= 3.25 stands upright and turns to face the camera
    // from farther than the facing distance; <= -2 pi keeps the heading but
    // ignores the ground's tilt.
    float angle;
    float orientation[9];    // row-major; columns right, up, forward
    float facing_distance;   // 2^angle when angle >= 3.25, else 0
    int32_t last_touch_tic;
    int32_t bone_count;      // set when a script poses the statue (at most 32)
    void* bone_buffers[3];   // per-bone 12, 12 and 36 bytes, owned
    // The names as read, kept even when loading them failed so that a save
    // writes the track back as it was; null for none.
    char* model_name;
    char* texture_name;
    char* shape_name;
    int32_t origin;          // object_origin
};

// Where a particle comes from: the surface's roost description.
using particle_description = roost_type;

struct flying_billboard {
    float x, y, z, vx, vy, vz;
    int32_t billboard;
    const particle_description* particle;
    flying_billboard* next;
};

constexpr int32_t statue_grid_side = 8;
constexpr int32_t flying_billboard_count = 2000;
// A statue's angle at or above this stands upright facing the camera.
constexpr float statue_upright_angle = 3.25f;

struct track_object_tables {
    growable_array billboards;     // of billboard
    growable_array statues;        // of statue
    growable_array draw_list;      // of int32_t, two per billboard (the world view sorts into it)
    growable_array statue_grid[statue_grid_side * statue_grid_side];  // of int32_t statue indices
    // The first billboard and statue read from the track's own files: scripts
    // count from them, the editor and the savers work from them on.
    int32_t first_file_billboard;
    int32_t first_file_statue;
    flying_billboard pool[flying_billboard_count];
    flying_billboard* active;
    flying_billboard* free_list;
    int32_t pool_ready;  // the pool's billboards exist
};
extern track_object_tables track_objects;

inline billboard* billboard_at(int32_t i) { return array_items<billboard>(&track_objects.billboards) + i; }
inline statue* statue_at(int32_t i) { return array_items<statue>(&track_objects.statues) + i; }

// What the track objects ask of the rest of the program. The defaults are
// the message log and the texture, model and shape caches; without a GL
// context (tools, tests) textures are 0 and models null. Tests swap in their
// own.
struct track_object_services {
    void (*console_print)(const char* text);
    int (*texture_load)(const char* name);
    // The texture of name with its old_suffix replaced by new_suffix, 0 when
    // there is none.
    int (*replace_suffix_lookup)(const char* name, const char* old_suffix, const char* new_suffix);
    mesh* (*model_load)(const char* name);
    collision_shape* (*shape_instance)(const char* name);
    // The program's debug level: 1 verbose, 2 very verbose.
    int32_t verbose;
};
extern track_object_services track_object_hooks;
void track_object_services_reset();
// printf-style over track_object_hooks.console_print (cut at 1023).
void track_objects_console(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ---- Billboards ----------------------------------------------------------

// A billboard at (x, z), y above the ground. The name may begin with a
// colour "#RRGGBB#". Returns its index; -1 when a table cannot grow (nothing
// is then added).
int32_t create_billboard(float x, float y, float z, float size, float aspect, const char* name,
                         int32_t origin = origin_file);
// "#RRGGBB#name" sets red, green and blue and gives the name after the
// prefix; anything else is a name as it is.
const char* split_colour_prefix(const char* name, uint8_t colour[4]);
// Reads a "billboards" file through create_billboard; the number read. A
// record that does not scan ends the file with one line naming it.
int32_t billboards_load(const char* path);
// Writes the track's "billboards"; 0 after "Can't open 'billboards'".
int billboards_save();

// ---- Statues -------------------------------------------------------------

// A statue at (x, z), y above the ground; null names mean none. Returns its
// index; -1 when the table cannot grow (nothing is then added).
int32_t create_statue(float x, float y, float z, float angle, const char* model, const char* texture,
                      const char* shape, int32_t origin = origin_file);
// Recomputes y and the orientation after x, z, relative height or angle changed.
void place_statue_on_ground(statue* s);
// The grid cell coordinate of a world coordinate v on a terrain of size S.
int32_t statue_grid_cell(float v, float terrain_size);
void rebuild_statue_grid();
// The statues whose grid cells lie under a square of half-side 6 ft round
// (x, z): ascending indices, each once; the list stays valid until the next
// call. Returns the count.
int32_t statues_near(float x, float z, const int32_t** list);
// Merges two ascending index lists into out (room for na + nb), dropping
// repeats; returns the count.
int32_t merge_ascending_unique(const int32_t* a, int32_t na, const int32_t* b, int32_t nb, int32_t* out);
// Once per rider per tic: its tyre forces, then its collisions with the
// statues near it, the start gates only when with_start_gates; a statue it
// touches takes the tic as its last touch.
struct ride_world;
struct rider;
void rider_statue_collide(const ride_world& w, rider* r, bool with_start_gates);
// Frees the statue's shape copy and bone buffers and clears them.
void statue_release(statue* s);
// Removes a billboard or a statue with everything it owns; later ones move
// down by one. Out-of-range indexes are ignored. The statue grid is left for
// the caller to rebuild.
void billboard_remove(int32_t index);
void statue_remove(int32_t index);
// Reads a "statues" file through create_statue; the number read.
int32_t statues_load(const char* path);
// Writes the track's "statues"; 0 after "Can't open 'statues'".
int statues_save();

// ---- Flying billboards ---------------------------------------------------

// Creates the pool's 2000 hidden billboards (the first billboards of a track).
void flying_pool_create();
// Empties the active list and links every node into the free list in order,
// hiding their billboards.
void flying_pool_reset();
// 1 after launching a clod from p with velocity v; 0 when no node is free.
int launch_billboard(const float p[3], const float v[3], const particle_description* d);
// Once per tic: moves, slows, falls, grows and fades the clods, retiring
// those that fell below the ground.
void flying_billboards_step();

// ---- Lifetime ------------------------------------------------------------

// Sets up empty tables (the track loader, before it creates anything).
void track_objects_init();
// Cuts the tables back to the first counts (releasing what the cut objects
// own), so a reload of a track's script makes its objects again without
// growing the tables.
void track_objects_truncate(int32_t billboard_count, int32_t statue_count);
// Releases every statue's belongings and every name, and frees the tables.
void track_objects_free();
