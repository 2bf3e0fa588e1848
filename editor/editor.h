#pragma once
// The track editor (view 2).
#include <cstdint>

void editor_draw();
// 1 when the editor takes the key.
int editor_key(uint32_t code, int pressed);
// One tic of editing from the control channels.
void editor_update();
