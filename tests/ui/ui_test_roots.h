#pragma once
// Search roots for the interface tests: the scratch player's folder of the
// file-system fixture (where the commands write) over the generated data
// root of this build (bike rows, shapes and default setups).
#include <cstdlib>
#include <string>

#include "core/vfs_test_util.h"

class ui_roots_test : public vfs_test::roots_fixture {
protected:
    void SetUp() override
    {
        vfs_test::roots_fixture::SetUp();
        std::filesystem::create_directories(home);
        setenv("ZT_HOME", (std::filesystem::path(vfs_test::program_folder()).parent_path() / "data").c_str(), 1);
        vfs_shutdown();
    }
    void write_home(const std::string& name, const std::string& bytes) { vfs_test::write_all(home + name, bytes); }
    std::string read_home(const std::string& name) { return vfs_test::read_all(home + name); }
    static std::string last_message(int back = 0) { return console_recent_line(back + 1, 0); }
};
