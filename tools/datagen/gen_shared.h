#pragma once
// What several generator steps share: the bike model stems (the bike table's
// row names without their model year) with their paint.
#include <vector>

struct bike_stem {
    const char* name;
    unsigned char paint[3];      // main colour of the "@stem.png" skin
    unsigned char alt_paint[3];  // of the "-alt1" variant
};

const std::vector<bike_stem>& bike_stems();
