#pragma once
// The editor tools that change the ground: the brushes (Raise, Lower, Smooth,
// Smudge and the four gradient brushes), Snap, Tilemap Edit and Decals. Each
// measures its change against the editor's snapshot, so one stroke between two
// commits moves a point by at most the brush's amount.
#include <cstdint>

// Applies the current tool along the capsule (x0, z0)-(x1, z1) with radius R,
// inner radius Ri and strength s.
void brush_stroke(float x0, float z0, float x1, float z1, float R, float Ri, float s);

// The snapshot's height at (x, z) by the terrain's triangle rule.
float snapshot_height_at(float x, float z);

// Per tic while the left button is held on the view (from editor_update):
// the brush tools' stroke driver, Snap, tile painting and the decal drag.
void stroke_driver_tic();
void snap_tic();
void tilemap_paint_tic();
void decal_drag_tic();

// Left press on the view with tool Decals: pick and grab, else place.
void decal_press();
// Keys of tool Decals ("M", "X", "d", "m", "x", Delete, "{", "}"); 1 when used.
int decal_key(uint32_t code);

void decal_place(int32_t step_mode);
void decal_delete_near(float radius);
void decal_select_near(float radius, int32_t toggle);
void decal_group_follow(int32_t old_decal, int32_t new_decal, float factor);
void decal_group_scale(float factor);
int32_t decal_level_index(int32_t decal_index);

// The tool overlay of Snap, the brush tools, Tilemap Edit and Decals, in world
// coordinates (the editor's top-down model view is set).
void terrain_tools_draw_overlay();
// Texture coordinates (u0, v0, u1, v1) of a tile's cell in the tile atlas,
// for the panel's preview.
void tile_atlas_cell(int32_t tile, float uv[4]);
