#pragma once
// Shared by the physics tests. Every physics test program reads the generated data root of this build
// (the folder "data" beside the tests' folder) and has a fresh player's
// folder of its own in front of it, where a test may put files that
// override or add to the data root.
#include <string>
#include <vector>

// The player's folder (root 0), ending in "/".
const std::string& physics_test_home();
// The generated data root, ending in "/".
const std::string& physics_test_data_root();
// Writes bytes to the player's folder under name (no "@").
void physics_test_write_home(const std::string& name, const std::string& bytes);

// While alive, the physics message lines land in messages() instead of the
// message log; messages() starts empty.
struct physics_message_capture {
    physics_message_capture();
    ~physics_message_capture();
    physics_message_capture(const physics_message_capture&) = delete;
    physics_message_capture& operator=(const physics_message_capture&) = delete;
    static std::vector<std::string>& messages();
};
