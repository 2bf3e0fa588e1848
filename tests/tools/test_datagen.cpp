// The data generator: its output is byte-for-byte reproducible and holds a
// data root the game accepts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "core/ripemd160.h"
#include "core/vfs.h"
#include "platform/vesk_log.h"

namespace fs = std::filesystem;

namespace {

std::string program_folder() { return fs::read_symlink("/proc/self/exe").parent_path().string(); }

// Every file under root, by relative path, with its digest in hex.
std::map<std::string, std::string> digests_under(const std::string& root)
{
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        std::string bytes = s.str();
        ripemd160_ctx ctx;
        ripemd160_init(&ctx);
        ripemd160_update(&ctx, bytes.data(), bytes.size());
        ripemd160_final(&ctx);
        char hex[41];
        for (int i = 0; i < 20; i++) snprintf(hex + 2 * i, 3, "%02x", ctx.digest[i]);
        out[fs::relative(entry.path(), root).string()] = hex;
    }
    return out;
}

class datagen_test : public ::testing::Test {
protected:
    std::string tmp;
    void SetUp() override
    {
        char pattern[] = "/tmp/zt_datagen_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        tmp = pattern;
    }
    void TearDown() override { fs::remove_all(tmp); }

    bool generate(const std::string& root)
    {
        std::string command = program_folder() + "/../tools/zt_datagen " + root;
        return system(command.c_str()) == 0;
    }
};

TEST_F(datagen_test, two_runs_write_identical_data_roots)
{
    ASSERT_TRUE(generate(tmp + "/one"));
    ASSERT_TRUE(generate(tmp + "/two"));
    auto one = digests_under(tmp + "/one");
    auto two = digests_under(tmp + "/two");
    EXPECT_TRUE(one.count(vfs_stock_archive_name));
    EXPECT_EQ(one, two);
}

TEST_F(datagen_test, the_generated_root_passes_the_data_root_test)
{
    ASSERT_TRUE(generate(tmp + "/root"));
    setenv("ZT_HOME", (tmp + "/root").c_str(), 1);
    setenv("XDG_DATA_HOME", (tmp + "/home").c_str(), 1);
    setenv("VESK_LOGFILE", (tmp + "/log").c_str(), 1);
    vesk_log_reset_for_tests();
    vfs_shutdown();
    EXPECT_EQ(open_startup_log(), 1);
    // Everything generated is reachable by its "@" name through the index.
    const char* const* names = vfs_build_index();
    int count = 0;
    for (; names[count]; count++) {
        std::string name = std::string("@") + names[count];
        vfs_stream* s = vfs_open(name.c_str(), "rb");
        EXPECT_NE(s, nullptr) << name;
        if (s) vfs_close(s);
    }
    EXPECT_GT(count, 2);
    EXPECT_TRUE(vfs_exists("stock/readme.txt"));
    vfs_shutdown();
    vesk_log(nullptr);
    vesk_log_reset_for_tests();
    unsetenv("VESK_LOGFILE");
    unsetenv("ZT_HOME");
    unsetenv("XDG_DATA_HOME");
}

// The built game finds its data root as its own folder, with no environment.
TEST(built_game, sits_in_the_generated_data_root)
{
    fs::path game = fs::canonical(program_folder() + "/../zentrik");
    fs::path archive = game.parent_path() / vfs_stock_archive_name;
    ASSERT_TRUE(fs::exists(archive)) << archive;
    std::ifstream in(archive, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    std::string bytes = s.str();
    ripemd160_ctx ctx;
    ripemd160_init(&ctx);
    ripemd160_update(&ctx, bytes.data(), bytes.size() < 1048576 ? bytes.size() : 1048576);
    ripemd160_final(&ctx);
    EXPECT_EQ(digest_hex_equal(vfs_stock_archive_digest, ctx.digest), 1);
}

} // namespace
