#pragma once
// Races over the build's generated data root without a window: a scratch
// player folder, the data root's file index and track list, the physics
// world, and a sky that loads no textures. A fixture names its folder and
// seed before SetUp runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "game/lighting.h"

// The data root the build generated beside the test programs.
std::string generated_data_root();

struct generated_race : ::testing::Test {
    std::filesystem::path home;  // the player's folder
    const char* home_name = "zt_race";
    const char* seed = "11";  // ZT_SEED
    decltype(lighting_texture_loader) saved_loader = lighting_texture_loader;

    // Points the data root (ZT_HOME) at another folder and indexes it afresh.
    void use_root(const std::string& data_root);
    void SetUp() override;
    void TearDown() override;
};
