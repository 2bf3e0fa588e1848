// Gradients: not built yet; every query answers 0.
#include "editor/gradients.h"

void gradient_new() {}
void gradient_flatten() {}
float gradient_profile_at(float) { return 0; }
float gradient_linear_at(float, float) { return 0; }
float gradient_radial_at(float, float) { return 0; }
float gradient_point_slope(int32_t) { return 0; }
float gradient_segment_curve(int32_t, float) { return 0; }
float gradient_selected_length() { return 0; }
void gradient_placement_press() {}
void gradient_placement_drag() {}
void gradient_placement_release() {}
void gradient_edit_press() {}
void gradient_edit_drag() {}
void gradient_copy() {}
void gradient_set_from_terrain() {}
void gradient_set_segment_type(int32_t) {}
void gradients_draw_overlay() {}
void edinfo_load(const char*) {}
int edinfo_write(const char*) { return 1; }
