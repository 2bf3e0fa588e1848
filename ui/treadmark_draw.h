#pragma once
// Draws the track's treadmarks over the terrain: one pass of alpha-blended
// prints from the atlas, pulled a little toward the eye so the ground does
// not fight them, the oldest quarter of the ring fading out before it is
// overwritten. New prints go to the GL buffer as they come; the ring's GL
// copy is made again when the ring is made again.
#include <cstdint>

// With the world's model-view current and the terrain drawn; returns the
// prints drawn (those in sight).
int32_t treadmarks_draw();
// What the last draw drew.
extern int32_t treadmarks_drawn;
// Releases the GL buffers (track change, shut-down); the next draw makes them.
void treadmarks_draw_free();
