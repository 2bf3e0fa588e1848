// The orbit and track cameras are not built yet: both views show the chase
// view of the watched rider, and their controls do nothing.
#include "game/cameras.h"

#include "core/game_state.h"
#include "ui/world_view.h"

void orbit_view_draw()
{
    render_rider_view(nullptr, watched_slot);
}

void orbit_camera_controls() {}
void track_camera_controls() {}

void render_track_camera_view()
{
    render_rider_view(nullptr, watched_slot);
}
