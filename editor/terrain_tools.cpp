// Ground tools: not built yet; every tool leaves the ground as it is.
#include "editor/terrain_tools.h"

void brush_stroke(float, float, float, float, float, float, float) {}
void stroke_driver_tic() {}
void snap_tic() {}
void tilemap_paint_tic() {}
void decal_drag_tic() {}
void decal_press() {}
int decal_key(uint32_t) { return 0; }
void decal_place(int32_t) {}
void decal_delete_near(float) {}
void decal_select_near(float, int32_t) {}
void decal_group_follow(int32_t, int32_t, float) {}
void decal_group_scale(float) {}
int32_t decal_level_index(int32_t) { return 0; }
void terrain_tools_draw_overlay() {}
void tile_atlas_cell(int32_t, float uv[4]) { uv[0] = uv[1] = 0, uv[2] = uv[3] = 1; }
