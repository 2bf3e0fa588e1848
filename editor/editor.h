#pragma once
// The track editor (view 2).
#include <cstdint>

void editor_draw();
// 1 when the editor takes the key.
int editor_key(uint32_t code, int pressed);
// One tic of editing from the control channels.
void editor_update();
// Takes up the loaded track (with "--editor"; the track load calls it) and
// lets it go again (track_free).
void editor_init();
void editor_free();
