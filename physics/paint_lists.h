#pragma once
// The paint (skin) lists the setup menus offer: for a skin stem s the
// default "@s.png" followed by every "@s-<anything>.png" in the file index,
// in index order.
#include "core/array.h"

// The names (const char*, interned, kept for the run) in a growable array.
using paint_list = growable_array;

// The lists of "Riding Gear", "Helmet", "Bike Graphics", "Wheel Graphics".
extern paint_list rider_body_paints, rider_head_paints, bike_paints, wheel_paints;

// Fills list for a stem ("rider_body", "yz250f") from the file index.
void paint_list_collect(paint_list* list, const char* stem);
// Rebuilds the bike and wheel lists for a bike model name (through its row,
// so a name without a row uses the fallback row's skin).
void graphics_lists_build(const char* model);
void paint_list_free(paint_list* list);
