#include "physics_test_support.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "core/vfs.h"
#include "physics/physics_messages.h"

namespace {

std::string home_path, data_path, temp_path;

class roots_environment : public testing::Environment {
public:
    void SetUp() override
    {
        char pattern[] = "/tmp/zt_physics_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        temp_path = pattern;
        home_path = temp_path + "/home/Zentrik/";
        std::filesystem::create_directories(home_path);
        auto program = std::filesystem::read_symlink("/proc/self/exe").parent_path();
        data_path = (program.parent_path() / "data").string() + "/";
        setenv("XDG_DATA_HOME", (temp_path + "/home").c_str(), 1);
        setenv("ZT_HOME", data_path.c_str(), 1);
        vfs_shutdown();
    }
    void TearDown() override
    {
        vfs_shutdown();
        std::filesystem::remove_all(temp_path);
    }
};

const auto* registered = testing::AddGlobalTestEnvironment(new roots_environment);

} // namespace

const std::string& physics_test_home() { return home_path; }
const std::string& physics_test_data_root() { return data_path; }

void physics_test_write_home(const std::string& name, const std::string& bytes)
{
    std::filesystem::path path = home_path + name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string>& physics_message_capture::messages()
{
    static std::vector<std::string> lines;
    return lines;
}

namespace {
void capture_line(const char* line) { physics_message_capture::messages().push_back(line); }
} // namespace

physics_message_capture::physics_message_capture()
{
    messages().clear();
    physics_set_message_sink(capture_line);
}

physics_message_capture::~physics_message_capture() { physics_set_message_sink(nullptr); }
