// Object tools: not built yet; gates, billboards and statues stay put.
#include "editor/object_tools.h"

void gate_press() {}
void gate_drag() {}
void gate_set_switch_point(int32_t) {}
const char* gate_switch_point_text() { return "Gate not referenced"; }
void billboard_press() {}
void billboard_drag() {}
void billboard_place_copy(float, float) {}
void billboard_set_height(double) {}
void billboard_delete_near() {}
void statue_press() {}
void statue_drag() {}
void statue_duplicate() {}
void statue_delete_near() {}
void statues_interpolate() {}
void statue_snap_to_gradient() {}
void object_tools_draw_overlay() {}
