#pragma once
// The decal table of the terrain and its 8 x 8 bins: each bin lists, in
// ascending order (the drawing order), the decals whose square of half-side
// `size` around their position reaches into it. Texture word 3 of a decal
// holds its kind number, an index into the terrain's decal kinds, so a track
// can be saved without a texture registry.
#include <cstddef>
#include <cstdint>

#include "terrain/terrain.h"

// Empty table with room for 16 decals, empty bins, no kinds.
void decals_init(terrain* t);
void decals_free(terrain* t);

// The kind of a texture name, added (and its texture loaded) when new;
// -1 when the name is empty or too long.
int32_t decal_kind_find_or_add(terrain* t, const char* texture_name);

// Inserts at index (index == count appends); the later decals move up, and
// the caller shifts the bins' indices first (decal_shift_indices).
int decal_insert(terrain* t, int32_t index, const decal* d);
// Deletes the decal and its bin entries; the caller shifts the rest down.
int decal_delete(terrain* t, int32_t index);
// Overwrites the decal and moves its bin entries to its new place.
int decal_replace(terrain* t, int32_t index, const decal* d);
// Adds delta to every bin entry at or above index.
void decal_shift_indices(terrain* t, int32_t index, int32_t delta);
// Empties every bin and adds every decal again, unless decals are hidden.
void decal_rebuild_bins(terrain* t);
// The bins covering the world rectangle, at most 64, written to bins.
int32_t decal_bin_at(terrain* t, float x0, float z0, float x1, float z1, growable_array* bins[64]);

// Parses a "decals" file (see docs/decals.md) and appends its decals; bad
// lines are reported on the console and skipped. Rebuilds the bins.
void decals_parse(terrain* t, const char* text, size_t length);
// Writes the table as a "decals" file; the text is the caller's to free. A
// decal is saved under the name of its first texture id (its kind), or of
// the kind number in word 3 when it has no texture id; one that has neither
// is left out with a console line.
char* decals_format(const terrain* t, size_t* length);
