#pragma once
// Statues in the world view: placed models with their own textures, a lit
// pass then an additive glow pass, turning upright statues to face the camera.
struct statue;

// Draws one statue in the lit (glow 0) or glow pass.
void statue_draw(statue* s, const float camera[3], int glow);
// Both passes over every statue; returns the texture binds made.
int draw_statues(const float camera[3]);
