#pragma once
// Engine sound of every rider slot.

// Synthesises and places this frame's engine sounds at a master level 0..1.
void update_engine_sounds(float master_level);
// Frees the cached sound tables and recordings (shut-down).
void engine_sounds_free();
