#pragma once
// Builds small terrains in memory and captures what the terrain reports.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "terrain/terrain.h"

// The bytes of a terrain.hf with a ':' block whose samples come from fn(i, j).
std::string make_hf(int exponent, float spacing, float low, float high, const std::function<uint16_t(int, int)>& fn);

// Loads a height field into t from make_hf's bytes (fails the test if refused).
void load_hf(terrain* t, const std::string& bytes);

// Installs default services whose console lines are kept here; restores the
// defaults and frees the program's terrain afterwards.
struct terrain_test_env {
    std::vector<std::string> console;
    terrain_test_env();
    ~terrain_test_env();
    int count_containing(const std::string& text) const;
};
