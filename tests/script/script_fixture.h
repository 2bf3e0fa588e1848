#pragma once
// A temporary data root with a track folder "tracks/t" for the script tests:
// its script is written and loaded through the real host, values come back
// through zt.message into the message log, and the object tables start empty
// with textures "loaded" by name (ids from 100, "missing" names fail).
#include <gtest/gtest.h>

#include <string>

struct script_fixture : ::testing::Test {
    std::string tmp;
    std::string track = "tracks/t";  // the folder load() writes the script into
    bool generated = false;

    void SetUp() override;
    void TearDown() override;

    void write_data_file(const std::string& name, const std::string& bytes);
    // Switches to the generated data root (build/data) and loads a track's
    // terrain, billboards and statues as the race reset does, with a
    // readback audio back end; 0 when the terrain does not load.
    int use_generated_track(const std::string& name);
    // Writes the track's script and loads it as the race reset would:
    // script_load's result. On a generated track the script goes into the
    // player's folder as "nofrills.js", which the track's "frills.js" yields to.
    int load(const std::string& source);
    // The text of a JavaScript expression, evaluated in the loaded script.
    std::string js(const std::string& expression);
    // Message-log lines holding text.
    int log_count(const std::string& text) const;
    int errors() const { return log_count("javascript error"); }
};
