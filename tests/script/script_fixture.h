#pragma once
// A temporary data root with a track folder "tracks/t" for the script tests:
// its script is written and loaded through the real host, values come back
// through zt.message into the message log, and the object tables start empty
// with textures "loaded" by name (ids from 100, "missing" names fail).
#include <gtest/gtest.h>

#include <string>

struct script_fixture : ::testing::Test {
    std::string tmp;

    void SetUp() override;
    void TearDown() override;

    void write_data_file(const std::string& name, const std::string& bytes);
    // Writes tracks/t/frills.js and loads it: script_load's result.
    int load(const std::string& source);
    // The text of a JavaScript expression, evaluated in the loaded script.
    std::string js(const std::string& expression);
    // Message-log lines holding text.
    int log_count(const std::string& text) const;
    int errors() const { return log_count("javascript error"); }
};
