#pragma once
// A rider's skins and number plate: the four skin textures loaded by name
// (the row's own skin when none is given or the given one can't be read, the
// white texture when neither can), the plate colours each skin's image text
// gives, and the number-plate texture made from the race number in the bike
// skin's colours. Without a GL context (a headless run) no texture is made:
// the ids stay 0, the colours take their defaults, the names are kept.
#include "physics/rider.h"

// The image-text key of a skin's plate colours: "plate_colours" and six
// numbers 0..255, the plate's background then its digits (docs/model.md).
constexpr const char* skin_plate_key = "plate_colours";

// The plate colours in an image text (0..1 each); 1 when the text holds
// them, else 0 with the default plate (white, black digits) in out.
int skin_plate_colours(const char* text, float out[2][3]);

// Loads the rider's four skins from their names (set beforehand; an empty
// name takes the row's skin) and makes its number plate.
void rider_load_skins(rider* r);
// Deletes the number-plate texture (the skins belong to the texture registry).
void rider_free_skins(rider* r);
