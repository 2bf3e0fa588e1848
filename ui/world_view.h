#pragma once
// The world view: the track, the riders and the sky from a camera.
#include <ode/ode.h>

// The riding view of the watched rider: body is the rider's upper body (or
// its frame), watched_slot the slot the view follows.
void render_rider_view(dBodyID body, int watched_slot);
// Plain sky colour the view clears to.
extern const float sky_plain_colour[3];
