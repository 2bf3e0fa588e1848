#pragma once
// A track folder in a temporary data root for the track-object tests, with
// the object services replaced: console lines are kept, textures "load" by
// name from a set the test controls (every name asked is recorded), models
// "load" unless their name says missing, and collision shapes come from the
// real shape cache over the temporary root.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

struct track_fixture : ::testing::Test {
    std::string tmp, home, data;
    std::vector<std::string> console;
    std::vector<std::string> textures_asked;  // every name a texture was looked up by, in order
    std::map<std::string, int> texture_ids;   // names that exist, with their ids
    bool every_texture_exists = true;         // names without "missing" exist unless this is off

    void SetUp() override;
    void TearDown() override;

    // A file of the track folder "tracks/t" in the data root.
    void write_track_file(const std::string& name, const std::string& text);
    // A file at the data root.
    void write_data_file(const std::string& name, const std::string& text);
    // What a save wrote (saves go to the player's folder).
    std::string saved(const std::string& name);
    // "@tracks/t/<name>".
    static std::string track_path(const std::string& name);
    int count_containing(const std::string& text) const;
    // The id a test texture name gets (0 when it does not exist).
    int texture_id(const std::string& name);
};

// Sets the program's terrain to a grid of 2^(exponent+1)+1 samples a side at
// the given spacing whose height at (x, z) is height(x, z).
void make_terrain(int exponent, float spacing, const std::function<float(float, float)>& height);

// Loads a track folder ("tracks/x") in the order the race reset does: its
// terrain, timing gates, flying pool, flaggers, then the folder's own
// billboards and statues (their first indices remembered), the statue grid
// and the cameras. 0 when the terrain does not load.
int load_track_folder(const std::string& folder);
// Frees what a load made (objects, terrain, shape cache) and restores the
// terrain and object services.
void free_loaded_track();
