#pragma once
// The track editor (view 2).
#include <cstdint>

struct menu_rect;

void editor_draw();
// 1 when the editor takes the key.
int editor_key(uint32_t code, int pressed);
// One tic of editing from the control channels.
void editor_update();
// Takes up the loaded track (with "--editor"; the track load calls it) and
// lets it go again (track_free).
void editor_init();
void editor_free();

// The side panel. Its widgets hold the values of editor.settings while the
// editor exists; the rectangle of a panel index is where its last drawing
// put it (cleared for widgets the current tool does not show).
menu_rect* editor_panel_rect(int32_t index);
// Hands one input to the widget of a panel index (a click, the widget
// kit's keys, or the held button of a drag).
void editor_panel_activate(int32_t index, uint32_t code);
// Chooses a tool, committing first when it differs from the current one.
void editor_choose_tool(int32_t tool);
