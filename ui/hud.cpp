// The HUD is not built yet: the views draw without overlays.
#include "ui/hud.h"

void draw_hud(int slot)
{
    (void)slot;
}

void results_overlay_draw(int slot)
{
    (void)slot;
}
