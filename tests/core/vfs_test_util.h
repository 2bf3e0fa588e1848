#pragma once
// Temporary search roots for the file-system tests: a player's folder and a
// data root under a fresh temporary folder, set through the environment.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/vfs.h"
#include "ui/console.h"

namespace vfs_test {

inline std::string read_all(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void write_all(const std::string& path, const std::string& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// Runs a shell command; true when it exits with 0.
inline bool shell(const std::string& command) { return system(command.c_str()) == 0; }

// The folder holding the running test program.
inline std::string program_folder()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

// A fixture with root 0 at <tmp>/home/Zentrik/ and the data root at <tmp>/data/.
class roots_fixture : public ::testing::Test {
protected:
    std::string tmp, home, data;

    void SetUp() override
    {
        char pattern[] = "/tmp/zt_vfs_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        tmp = pattern;
        home = tmp + "/home/Zentrik/";
        data = tmp + "/data/";
        std::filesystem::create_directories(data);
        setenv("XDG_DATA_HOME", (tmp + "/home").c_str(), 1);
        setenv("ZT_HOME", (tmp + "/data").c_str(), 1);
        vfs_shutdown();
        console_clear();
    }

    void TearDown() override
    {
        vfs_shutdown();
        unsetenv("ZT_HOME");
        unsetenv("XDG_DATA_HOME");
        std::filesystem::remove_all(tmp);
    }

    // The whole stream, read byte by byte.
    static std::string drain(vfs_stream* s)
    {
        std::string out;
        for (int c; (c = vfs_getc(s)) >= 0;) out += char(c);
        return out;
    }

    // The whole file named name through vfs_open, or "<none>".
    static std::string read_name(const std::string& name, const char* mode = "rb")
    {
        vfs_stream* s = vfs_open(name.c_str(), mode);
        if (!s) return "<none>";
        std::string out = drain(s);
        vfs_close(s);
        return out;
    }

    // The newest line of the message log.
    static std::string last_message() { return console_recent_line(1, 0); }
};

} // namespace vfs_test
