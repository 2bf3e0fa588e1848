#pragma once
// The single terrain record: the height field with its pristine copy, the
// surface tables of every tile, shadows, the tile map, decals and the state the
// deformation and the renderer keep. Physics, AI, scripts and the editor read
// it; wheels deform it; the renderer draws it.
#include <cstdint>

#include "core/array.h"

// The largest grid the loader accepts: 2^12 + 1 samples a side (exponent 11).
constexpr int32_t terrain_max_exponent = 11;
constexpr int32_t terrain_max_tiles = 256;
constexpr int32_t terrain_tile_name_size = 48;
constexpr int32_t terrain_curve_points = 8;
constexpr int32_t terrain_roost_types = 4;
constexpr int32_t terrain_treadmark_types = 8;
constexpr int32_t terrain_erosion_words = 44;
constexpr int32_t decal_bin_side = 8;
// Height re-uploads and dirty marks work on blocks of this many cells a side.
constexpr int32_t terrain_block_cells = 128;

// Thrown-dirt particles of one surface (16 four-byte words).
struct roost_type {
    int32_t kind;  // 0 off, 1 roost, 2 splash
    uint32_t texture;
    float count, dig, slip_threshold, slow_angle, fast_angle, slow_speed, fast_speed;
    float size, grow, drag, vscale, randomize;
    uint8_t r, g, b, a;
    int8_t fade_r, fade_g, fade_b, fade_a;
};
static_assert(sizeof(roost_type) == 64);

// One treadmark decal kind of a surface (16 four-byte words). The texture's
// name is kept beside it in the terrain record until the atlas is built.
struct treadmark_type {
    float corners[8];  // texture corners in the treadmark atlas
    float size, aspect, spacing, offset, slip_threshold, speed_threshold;
    int32_t front;  // 1 front, 0 rear, -1 both wheels
    int32_t active;
};
static_assert(sizeof(treadmark_type) == 64);

// Indices into a tile's erosion block.
enum erosion_word {
    erode_depth, erode_lower, erode_upper, erode_displacement, erode_radius,
    erode_inner_depth, erode_inner_radius, erode_min_slope, erode_max_slope,
    erode_off_speed, erode_on_speed, erode_slip_lower, erode_slip_upper,
    erode_slip_base_scale, erode_slip_scale, erode_downhill_scale,
    erode_limit_depth = 16, erode_limit_scale = 24, erode_limit_inner_scale = 32,
    erode_project_to_ground = 40, erode_lateral_scale, erode_front_scale,
    erode_limit_count,  // stored as an int32 bit pattern
};

// A flat sprite laid on the ground (72 bytes). Decals with equal first texture
// ids are of one kind.
struct decal {
    uint32_t textures[4];  // the first names the kind
    float x, z, angle, size;
    float sine, cosine;   // of angle: the decal points along (sine, cosine)
    float corners[8];     // texture corners used by the renderer
};
static_assert(sizeof(decal) == 72);

// One named decal kind: texture id and the name it was loaded from.
struct decal_kind {
    uint32_t texture;
    char name[64];
};

struct terrain_renderer;

struct terrain {
    // Height field.
    float* heights;           // size x size, row-major, index x + size * z
    float* pristine_heights;  // second half of the heights block
    float* lod_error[2];      // one per quadtree node (renderer)
    uint8_t* shadow;          // size x size, 255 = full shadow
    uint8_t* tile_map;        // 2^exponent x 2^exponent tile numbers
    uint8_t* node_bits;       // (node_count + 7) / 8 bytes
    int32_t node_count;
    float extent;             // side length in feet
    float spacing, inv_spacing, tile_size;
    float height_max, height_min;
    int32_t exponent;
    int32_t size;             // samples a side: 2^(exponent + 1) + 1

    // Edit and deformation state.
    int32_t change_flags;     // 2 unsaved, 4 uncommitted; 7 after every change
    int32_t change_counter;   // raised after every height edit
    int32_t deform_lock;      // non-zero: heights, tiles and objects are frozen
    uint8_t dirty_blocks[32 * 32];  // per 128 x 128-cell block: needs re-upload

    // Surfaces.
    char tile_names[terrain_max_tiles][terrain_tile_name_size];
    float friction_values[terrain_max_tiles][terrain_curve_points];
    float friction_keys[terrain_max_tiles][terrain_curve_points];
    int32_t slip_function[terrain_max_tiles];
    float roll_pairs[terrain_max_tiles][terrain_curve_points][2];
    float roll_keys[terrain_max_tiles][terrain_curve_points];
    roost_type roost_types[terrain_max_tiles][terrain_roost_types];
    treadmark_type treadmark_types[terrain_max_tiles][terrain_treadmark_types];
    float erosion[terrain_max_tiles][terrain_erosion_words];
    int32_t tile_count;
    // Ground texture names per tile, interned; the renderer loads them.
    const char* tile_textures[terrain_max_tiles];
    const char* treadmark_textures[terrain_max_tiles][terrain_treadmark_types];

    // Decals.
    growable_array decals;  // of decal
    growable_array decal_bins[decal_bin_side * decal_bin_side];  // of int32_t
    decal_kind* decal_kinds;
    int32_t decal_kind_count, decal_kind_capacity;
    int32_t hide_decals;

    // Renderer.
    float camera[3];            // the point the detail levels centre on
    int32_t ground_polygons;    // added to by every draw
    int32_t upkeep_budget;      // LOD errors and block uploads per upkeep
    terrain_renderer* renderer; // GL objects; null when nothing was created
    // The renderer's textures the editor draws with (0 without a renderer):
    // the tile map, one red byte per tile, kept in step with tile_map by
    // terrain_invalidate_levels; and the atlas of the tiles' ground textures
    // (layout in docs/terrain_renderer.md).
    uint32_t tile_map_texture;
    uint32_t tile_atlas_texture;

    char folder[512];  // the track folder it was loaded from
};

// The program's one terrain.
extern terrain track_terrain;

// Told after a record's blocks were released or replaced (a load, a free, a
// grid read again), so that a view keeping pointers into them (the physics
// ground) looks again; null: nobody listens.
extern void (*terrain_blocks_changed_hook)(const terrain* t);

// Clears the record to its empty state without releasing anything.
void terrain_reset(terrain* t);
// Releases everything the record holds; safe on a partly loaded or empty one.
void terrain_free(terrain* t);

// The erosion block's row count, stored as an integer bit pattern.
int32_t terrain_erode_limit_rows(const float* erosion);
void terrain_set_erode_limit_rows(float* erosion, int32_t rows);

// The tile under a world point (2 x 2 height cells per tile), clamped.
int32_t terrain_tile_at(const terrain* t, float x, float z);
