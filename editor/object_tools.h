#pragma once
// The tools that place track objects: timing gates with their AI switch
// points, billboards and statues.
#include <cstdint>

// Set when a switch-point change cut the laps into other sections; the save
// then empties the racing lines filed under the old ones.
extern int32_t editor_object_sections_changed;

void gate_press();
void gate_drag();
void gate_set_switch_point(int32_t on);
// "Gate not referenced", "Switch Point: Mixed", "Switch Point: Yes" or "Switch Point: No".
const char* gate_switch_point_text();

void billboard_press();
void billboard_drag();
void billboard_place_copy(float x, float z);
void billboard_set_height(double height);
void billboard_delete_near();

void statue_press();
void statue_drag();
void statue_duplicate();
void statue_delete_near();
void statues_interpolate();
void statue_snap_to_gradient();

// Markers of the current object tool (world coordinates).
void object_tools_draw_overlay();
