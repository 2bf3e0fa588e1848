#pragma once
// Gradients: a straight axis on the ground with a height profile along it,
// painted onto the terrain by the gradient brushes and kept in "edinfo".
// Every operation works on the editor's selected gradient.
#include <cstdint>

void gradient_new();
void gradient_flatten();
// Heights; 0 with no selected gradient or an empty profile.
float gradient_profile_at(float distance);
float gradient_linear_at(float x, float z);
float gradient_radial_at(float x, float z);
float gradient_point_slope(int32_t point);
float gradient_segment_curve(int32_t segment, float t);
// Axis length of the selected gradient (0 with none).
float gradient_selected_length();

// Gradient Placement (tool 9) and Gradient Edit (tool 10).
void gradient_placement_press();
void gradient_placement_drag();
void gradient_placement_release();
void gradient_edit_press();
void gradient_edit_drag();
// Panel items "Copy Gradient", "Set From Terrain" and "Segment Type".
void gradient_copy();
void gradient_set_from_terrain();
void gradient_set_segment_type(int32_t type);

// Every gradient, and with Gradient Edit the profile graph (world coordinates).
void gradients_draw_overlay();

// Reads "<folder>/edinfo" when it exists; nothing happens when it is missing.
void edinfo_load(const char* track_folder);
// Writes the gradients to "<folder>/edinfo"; 0 (after the log line
// "Can't open 'edinfo'") when it cannot be opened.
int edinfo_write(const char* track_folder);
