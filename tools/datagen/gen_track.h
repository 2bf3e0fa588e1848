#pragma once
// The sample tracks' shapes, for the generator and for tests that want a
// real track without a data root.
#include <cstdint>
#include <string>
#include <vector>

struct track_shape {
    std::string folder;
    int exponent;
    float spacing;
    float sun[3];                // toward the sun
    std::vector<float> heights;  // size x size, row-major
    std::vector<uint8_t> tiles;  // 2^exponent x 2^exponent
    std::string decals;          // the "decals" file
};

track_shape make_stadium_track();
track_shape make_outdoor_track();
