// Search roots, "@" name resolution, the file index and ".saf" archives, and
// the data-root test of the start-up log.
#include <sys/stat.h>

#include <vector>

#include "tests/core/vfs_test_util.h"

#include "core/ripemd160.h"
#include "platform/vesk_log.h"
#include "ui/loading.h"

using vfs_test::read_all;
using vfs_test::shell;
using vfs_test::write_all;

namespace {

std::string saf(const std::vector<std::pair<std::string, std::string>>& members)
{
    std::string directory, bytes;
    for (const auto& [name, data] : members) {
        directory += std::to_string(data.size()) + " " + name + "\n";
        bytes += data;
    }
    return directory + "-\n" + bytes;
}

class vfs_index_test : public vfs_test::roots_fixture {
protected:
    std::vector<std::string> listed()
    {
        std::vector<std::string> names;
        for (const char* const* n = vfs_build_index(); *n; n++) names.push_back(*n);
        return names;
    }
};

TEST_F(vfs_index_test, roots_come_from_the_environment)
{
    EXPECT_EQ(vfs_root_count(), 2);
    EXPECT_EQ(std::string(vfs_root(0)), home);
    EXPECT_EQ(std::string(vfs_root(1)), data) << "with ZT_HOME set the program's folder is not searched";
    EXPECT_EQ(vfs_root(2), nullptr);
    EXPECT_EQ(vfs_data_root_index(), 1);

    // Without XDG_DATA_HOME the player's folder is under HOME; runs of "/"
    // and backslashes are tidied.
    vfs_shutdown();
    unsetenv("XDG_DATA_HOME");
    const char* saved_home = getenv("HOME");
    std::string old_home = saved_home ? saved_home : "";
    setenv("HOME", (tmp + "//h\\x").c_str(), 1);
    setenv("ZT_HOME", (tmp + "/d//").c_str(), 1);
    EXPECT_EQ(std::string(vfs_root(0)), tmp + "/h/x/.local/share/Zentrik/");
    EXPECT_EQ(std::string(vfs_root(1)), tmp + "/d/");

    // Without ZT_HOME the data root is the program's folder; with no HOME
    // either there is no player's folder and the data root is root 0.
    vfs_shutdown();
    unsetenv("ZT_HOME");
    unsetenv("HOME");
    EXPECT_EQ(vfs_root_count(), 1);
    EXPECT_EQ(std::string(vfs_root(0)), vfs_test::program_folder() + "/");
    EXPECT_EQ(vfs_data_root_index(), 0);
    setenv("HOME", old_home.c_str(), 1);
}

TEST_F(vfs_index_test, priority_of_roots_gz_and_archives)
{
    write_all(home + "both.txt", "player");
    write_all(data + "both.txt", "data");
    write_all(data + "packed.txt", "loose");
    write_all(data + "only_gz.txt", "gzipped");
    ASSERT_TRUE(shell("gzip -n " + data + "only_gz.txt"));
    write_all(data + "a.saf", saf({{"only_gz.txt", "from archive a"}, {"shared", "A"}, {"inside_only", "a"}}));
    write_all(data + "sub/B.saf", saf({{"shared", "B"}, {"inside_only", "b"}, {"b_only.gz", ""}}));
    vfs_build_index();

    EXPECT_EQ(read_name("@both.txt"), "player") << "the player's folder wins over the data root";
    EXPECT_EQ(read_name("@only_gz.txt"), "gzipped") << "the direct .gz try comes before any archive";
    EXPECT_EQ(read_name("@shared"), "A") << "the archive that sorts first wins";
    EXPECT_EQ(read_name("@inside_only"), "a");
    EXPECT_EQ(read_name("@absent"), "<none>");

    // The index itself: files by lookup name relative to the root, members
    // by member name, priorities in order of roots and then archives.
    int gzip = 0;
    const vfs_index_entry* e = vfs_index_find("both.txt", &gzip);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->priority, 0);
    EXPECT_EQ(std::string(e->container), home + "both.txt");
    e = vfs_index_find("shared", &gzip);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->priority, 2);
    EXPECT_EQ(std::string(e->container), data + "a.saf");
    e = vfs_index_find("b_only", &gzip);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(gzip, 1);
    EXPECT_EQ(e->priority, 3);
    char text[256];
    int found = 0;
    for (int i = 0; vfs_index_entry_text(i, text, sizeof text); i++)
        if (std::string(text) == "sub/B.saf -> " + data + "sub/B.saf") found++;
    EXPECT_EQ(found, 1);
    EXPECT_EQ(vfs_index_entry_text(vfs_index_count(), text, sizeof text), 0);
}

TEST_F(vfs_index_test, the_index_ignores_case_the_direct_tries_do_not)
{
    write_all(data + "Tracks/Mud/DESC", "muddy");
    write_all(data + "tracks/dry/desc", "dry");
    EXPECT_EQ(read_name("@tracks/mud/desc"), "<none>") << "no index yet: only the exact name opens";
    EXPECT_EQ(read_name("@Tracks/Mud/DESC"), "muddy");
    std::vector<std::string> names = listed();
    EXPECT_EQ(read_name("@tracks/mud/desc"), "muddy");
    EXPECT_TRUE(vfs_exists("TRACKS/MUD/desc"));
    EXPECT_FALSE(vfs_exists("tracks/mud"));
    EXPECT_EQ(names, (std::vector<std::string>{"tracks/dry/desc", "Tracks/Mud/DESC"})) << "sorted ignoring case";
    EXPECT_EQ(vfs_build_index(), vfs_build_index()) << "built once";
}

TEST_F(vfs_index_test, doubled_and_back_slashes_reach_loose_files_and_members_alike)
{
    // Archive members keep one "/" between parts however the directory wrote
    // them, and the walk joins loose files with one "/"; names written with
    // "//" or a backslash must find both the same way.
    write_all(data + "tracks/loose/desc", "loose");
    write_all(tmp + "/zipped", "zipped");
    ASSERT_TRUE(shell("gzip -n " + tmp + "/zipped"));
    std::string zipped = read_all(tmp + "/zipped.gz");
    write_all(data + "pack.saf", saf({{"tracks//packed/desc", "packed"}, {"tracks/gz/desc.gz", zipped}}));
    vfs_build_index();
    const struct {
        const char* name;
        const char* expected;
    } cases[] = {
        {"@tracks//loose/desc", "loose"},   {"@tracks/packed/desc", "packed"},
        {"@tracks//packed/desc", "packed"}, {"@tracks\\packed///desc", "packed"},
        {"@TRACKS//PACKED/DESC", "packed"}, {"@tracks//gz//desc", "zipped"},
    };
    for (const auto& c : cases) EXPECT_EQ(read_name(c.name), c.expected) << c.name;
    EXPECT_TRUE(vfs_exists("tracks//packed/desc"));
    EXPECT_TRUE(vfs_exists("tracks/loose//desc"));
    int gzip = 0;
    const vfs_index_entry* e = vfs_index_find("tracks//gz/desc", &gzip);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(gzip, 1);
    EXPECT_STREQ(e->lookup, "tracks/gz/desc.gz");
}

TEST_F(vfs_index_test, among_equal_priorities_the_exact_case_wins)
{
    write_all(data + "m.saf", saf({{"Foo", "upper"}, {"foo", "lower"}, {"FOO.gz", ""}}));
    vfs_build_index();
    EXPECT_EQ(read_name("@foo"), "lower");
    EXPECT_EQ(read_name("@Foo"), "upper");
    EXPECT_EQ(read_name("@fOO"), "upper") << "no exact match: the first in sorted order";
}

TEST_F(vfs_index_test, names_that_leave_the_roots_are_refused)
{
    write_all(tmp + "/secret", "outside");
    write_all(data + "sub/inside", "inside");
    const char* refused[] = {"@../secret", "@../../secret", "@sub/../../secret", "@..\\secret",
                             "@sub\\..\\..\\secret", "@/etc/hostname", "@\\etc\\hostname", "@.."};
    for (const char* name : refused) {
        SCOPED_TRACE(name);
        EXPECT_EQ(read_name(name), "<none>");
        EXPECT_EQ(vfs_open(name, "wb"), nullptr);
    }
    EXPECT_EQ(read_name("@sub/./inside"), "inside");
    EXPECT_EQ(read_name("@sub\\inside"), "inside");
    EXPECT_EQ(read_name("@sub//inside"), "inside");
    EXPECT_EQ(read_name("@sub/..inside"), "<none>") << "a name merely starting with dots is an ordinary name";
    // A path that does not fit fails instead of opening a shorter name.
    std::string long_name(600, 'n');
    write_all(data + long_name.substr(0, 511 - data.size()), "cut");
    EXPECT_EQ(read_name("@" + long_name), "<none>");
    EXPECT_EQ(vfs_open(("@" + long_name).c_str(), "wb"), nullptr);
}

TEST_F(vfs_index_test, bad_archives_keep_what_is_sound)
{
    struct archive_case {
        const char* what;
        std::string bytes;
        std::vector<std::string> members; // expected in the index
        const char* message;
    };
    const archive_case cases[] = {
        {"sound", saf({{"m1", "one"}, {"m2", "two"}}), {"m1", "m2"}, nullptr},
        {"directory cut short", "3 m1\n3 m2\n", {}, "directory cut short"},
        {"line without a line break", "0 m1\n0 m2", {"m1"}, "without a line break"},
        {"line without digits", "0 m1\nxx m2\n-\n", {"m1"}, "bad directory line"},
        {"size beyond the end", "3 m1\n999 m2\n1 m3\n-\nabcdefg", {"m1"}, "runs past the end"},
        {"size beyond 2^31", "3 m1\n99999999999999999999 m2\n-\nabc", {"m1"}, "runs past the end"},
        {"empty file", "", {}, "directory cut short"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        vfs_shutdown();
        console_clear();
        std::filesystem::remove_all(data);
        write_all(data + "x.saf", c.bytes);
        std::vector<std::string> names = listed();
        names.erase(std::remove(names.begin(), names.end(), "x.saf"), names.end());
        EXPECT_EQ(names, c.members);
        if (c.message) {
            EXPECT_NE(last_message().find(c.message), std::string::npos) << last_message();
            EXPECT_NE(last_message().find("x.saf"), std::string::npos) << last_message();
        } else {
            EXPECT_EQ(last_message(), "");
        }
    }
}

TEST_F(vfs_index_test, members_named_saf_are_not_read_as_archives)
{
    std::string inner = saf({{"deep", "never listed"}});
    write_all(data + "outer.saf", saf({{"inner.saf", inner}}));
    std::vector<std::string> names = listed();
    EXPECT_EQ(names, (std::vector<std::string>{"inner.saf", "outer.saf"}));
}

TEST_F(vfs_index_test, walks_nested_folders_without_following_folder_links)
{
    write_all(data + "a/b/c/d/file", "deep");
    write_all(data + "a/top", "top");
    ASSERT_EQ(symlink(data.c_str(), (data + "a/b/loop").c_str()), 0);
    ASSERT_EQ(symlink((data + "a/top").c_str(), (data + "a/link_to_top").c_str()), 0);
    uint32_t ticks = loading.tick_count;
    std::vector<std::string> names = listed();
    EXPECT_EQ(names, (std::vector<std::string>{"a/b/c/d/file", "a/link_to_top", "a/top"}));
    // One spinner turn per folder walked: the player's folder (absent), the
    // data root, a, b, c and d.
    EXPECT_EQ(loading.tick_count - ticks, 6u);
    EXPECT_EQ(read_name("@a/link_to_top"), "top");
}

TEST_F(vfs_index_test, the_spinner_turns_once_per_folder_and_archive)
{
    write_all(home + "h", "");
    write_all(data + "one.saf", saf({{"m", "x"}}));
    write_all(data + "f/two.saf", saf({{"n", "y"}}));
    uint32_t ticks = loading.tick_count;
    vfs_build_index();
    EXPECT_EQ(loading.tick_count - ticks, 3u + 2u);
}

TEST_F(vfs_index_test, writes_land_in_the_players_folder)
{
    write_all(data + "config", "from data");
    vfs_stream* s = vfs_open("@config", "wb");
    ASSERT_NE(s, nullptr);
    vfs_puts(s, "mine");
    vfs_close(s);
    EXPECT_EQ(read_all(home + "config"), "mine");
    EXPECT_EQ(read_all(data + "config"), "from data");
    EXPECT_EQ(read_name("@config"), "mine");
    char path[vfs_path_max];
    ASSERT_EQ(vfs_resolve_for_write("@a\\b//c", path, sizeof path), 1);
    EXPECT_EQ(std::string(path), home + "a/b/c");
}

// The data-root test against the generator's own stock archive.
class startup_log_test : public vfs_test::roots_fixture {
protected:
    std::string stock = vfs_test::program_folder() + "/../data/" + vfs_stock_archive_name;
    std::string log_path;

    void SetUp() override
    {
        roots_fixture::SetUp();
        vesk_log_reset_for_tests();
        unsetenv("VESK_LOGFILE");
        log_path = home + "lastlog.txt";
    }
    void TearDown() override
    {
        vesk_log(nullptr);
        vesk_log_reset_for_tests();
        roots_fixture::TearDown();
    }
};

TEST_F(startup_log_test, stock_archive_digest_is_the_generators)
{
    ASSERT_TRUE(std::filesystem::exists(stock)) << stock;
    std::string bytes = read_all(stock);
    ripemd160_ctx ctx;
    ripemd160_init(&ctx);
    ripemd160_update(&ctx, bytes.data(), bytes.size() < 1048576 ? bytes.size() : 1048576);
    ripemd160_final(&ctx);
    EXPECT_EQ(digest_hex_equal(vfs_stock_archive_digest, ctx.digest), 1)
        << "the stock archive changed: update vfs_stock_archive_digest";
}

TEST_F(startup_log_test, finds_the_stock_archive_and_opens_the_log)
{
    std::string bytes = read_all(stock);
    ASSERT_FALSE(bytes.empty());
    write_all(data + vfs_stock_archive_name, bytes);
    EXPECT_EQ(open_startup_log(), 1);
    vesk_log("after\n");
    std::string log = read_all(log_path);
    EXPECT_EQ(log.find("VESK_LOGFILE"), std::string::npos);
    EXPECT_NE(log.find("Logfile \"" + log_path + "\" opened"), std::string::npos) << log;
    EXPECT_NE(log.find("after"), std::string::npos);
}

TEST_F(startup_log_test, a_player_folder_holding_percent_signs_names_the_log)
{
    // The folder is the player's own text; printf would read "%s%n%s" as
    // conversions (and "%n" as a store through a stray pointer).
    std::string odd_home = tmp + "/100% sure %s%n%s/Zentrik/";
    setenv("XDG_DATA_HOME", (tmp + "/100% sure %s%n%s").c_str(), 1);
    vfs_shutdown();
    ASSERT_EQ(std::string(vfs_root(0)), odd_home);
    EXPECT_EQ(open_startup_log(), 0);  // no data root here; the log opens regardless
    vesk_log("after %d\n", 7);
    std::string log = read_all(odd_home + "lastlog.txt");
    EXPECT_NE(log.find("Logfile \"" + odd_home + "lastlog.txt\" opened\n"), std::string::npos) << log;
    EXPECT_NE(log.find("] after 7\n"), std::string::npos) << log;
}

TEST_F(startup_log_test, a_modified_or_missing_archive_is_not_the_data_root)
{
    std::string bytes = read_all(stock);
    ASSERT_FALSE(bytes.empty());
    bytes[bytes.size() / 2] ^= 1;
    write_all(data + vfs_stock_archive_name, bytes);
    EXPECT_EQ(open_startup_log(), 0);
    EXPECT_TRUE(std::filesystem::is_directory(home)) << "the player's folder is created either way";
    std::filesystem::remove(data + vfs_stock_archive_name);
    EXPECT_EQ(open_startup_log(), 0);
}

} // namespace
