#pragma once
// Treadmarks: tyre prints stamped on the ground behind the wheels. A surface's
// treadmark types say how the print looks and when it is laid (size, aspect,
// spacing, offset, slip and speed thresholds, which wheel); the prints go
// into one fixed ring of quads made when the track loads, the oldest
// overwritten once it is full. They are only seen: nothing in the race
// reads them back. The print textures share one atlas whose cells replace
// each type's texture words with its four corners (docs/treadmarks.md).
#include <cstdint>

#include "terrain/terrain.h"

// One corner of a print: ground position (feet) and atlas coordinates.
struct treadmark_vertex {
    float x, y, z, u, v;
};
static_assert(sizeof(treadmark_vertex) == 20);

// The largest ring made, whatever the setting asks (80 bytes a print).
constexpr int32_t treadmark_ring_max = 1000000;
// Atlas cells: distinct print textures beyond this many draw plain.
constexpr int32_t treadmark_atlas_max_cells = 64;
constexpr int32_t treadmark_atlas_cell_w = 64, treadmark_atlas_cell_h = 128;

// The ring keeps the bounds of every block of this many prints, so the drawing
// can skip the blocks out of sight.
constexpr int32_t treadmark_block = 256;

struct treadmark_layer {
    treadmark_vertex* vertices;  // capacity x 4: rear left, rear right, front right, front left
    int32_t capacity;            // prints the ring holds (0: no prints)
    int32_t next;                // ring slot of the next print
    int32_t count;               // live prints, 0..capacity
    uint32_t generation;         // raised by every make, clear and free: the drawing starts over
    uint64_t laid;               // prints laid since the last make or clear
    uint32_t atlas_texture;      // GL texture of the atlas; 0 without a GL layer
    // Per block of treadmark_block slots: min x, y, z, max x, y, z of the
    // prints laid into it since its first slot was last written (older
    // prints left in it are in their last, invisible steps of fading).
    float (*block_bounds)[6];
    // Re-seating on deformed ground: the terrain's change count last seen,
    // and the sweep under way (next slot, prints left).
    int32_t seen_changes, settle_slot, settle_left;
};

// The track's prints and the live limit ("Treadmark Limit"), which sizes the
// ring at the next track load.
extern treadmark_layer track_treadmarks;
extern int32_t treadmark_limit;

// The distinct print textures of the active types, in the order their cells
// are laid out, and fills every active type's corners with its cell (the
// stand-in cell for a type without a texture or beyond the cell limit).
// Returns the cell count; names[k] is the texture of cell k, null for the
// stand-in.
struct treadmark_atlas_layout {
    const char* names[treadmark_atlas_max_cells + 1];
    int32_t cells, columns, rows;
    int32_t width, height;  // pixels
};
int32_t treadmark_atlas_build_layout(terrain* t, treadmark_atlas_layout* layout);

// At track load, once the surfaces are read: lays out the atlas into the
// types' corners, makes its texture when a GL layer is there, and makes the
// ring of min(limit, treadmark_ring_max) prints, empty.
void treadmarks_make(terrain* t, treadmark_layer* layer, int32_t limit);
// Forgets every print (race reset); the ring and the atlas stay.
void treadmarks_clear(treadmark_layer* layer);
// Releases the ring and the atlas.
void treadmarks_free(treadmark_layer* layer);

// A wheel in contact at point with its slip speed and wheel speed (feet per
// second): when it moved at least the spacing since the tracker's point (x
// in word 0, z in word 2), stamps the prints of the surface's matching types
// at every spacing along the way and moves the tracker on; returns the prints
// laid. Follows the ground: every corner sits on the height field.
int32_t terrain_treadmark_place(terrain* t, treadmark_layer* layer, float tracker[3], const float point[3], float slip_speed,
                                float wheel_speed, int front);
// The same on the track's terrain and prints, in the form the wheel contact
// calls.
void treadmark_place_on_track(float tracker[3], const float point[3], float slip_speed, float wheel_speed, int front);

// After the ground changed (ruts, editing), puts up to budget prints back on
// it, oldest first, in one stretch of the ring: returns how many from slot
// *first. A sweep over all live prints starts whenever the terrain's change
// count moved since the last one began; 0 when there is nothing to do.
int32_t treadmarks_settle(const terrain* t, treadmark_layer* layer, int32_t budget, int32_t* first);

// Draw-side helpers: the print slot a ring age (0 newest) falls on, and the
// alpha a print of that age fades to (1 until the last quarter of the ring's
// life, then down to 0 when it would be overwritten).
int32_t treadmark_slot_of_age(const treadmark_layer* layer, int32_t age);
float treadmark_fade(int32_t age, int32_t capacity);
