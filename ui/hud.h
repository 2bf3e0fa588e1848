#pragma once
// The HUD over the riding views and the results overlay over every view.

// Rev counter, gear, pit board, map and intro text of the rider in slot.
void draw_hud(int slot);
// Results table, status lines and the shown message-log lines.
void results_overlay_draw(int slot);
