// The track list: folders found by their height field, described by the
// first line of "desc", sorted ignoring case, each listed once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/alloc.h"
#include "core/vfs_test_util.h"
#include "game/track_list.h"

namespace {

class track_list_test : public vfs_test::roots_fixture {
protected:
    void TearDown() override
    {
        track_list_free();
        roots_fixture::TearDown();
    }
    void file(const std::string& name, const std::string& bytes) { vfs_test::write_all(data + name, bytes); }
    std::vector<std::string> folders() const
    {
        return std::vector<std::string>(track_list.folders, track_list.folders + track_list.count);
    }
    std::vector<std::string> descriptions() const
    {
        return std::vector<std::string>(track_list.descriptions, track_list.descriptions + track_list.count);
    }
};

TEST_F(track_list_test, folders_are_found_described_and_sorted)
{
    file("tracks/beach/terrain.hf", "h");
    file("tracks/beach/desc", "beach");
    file("tracks/arena/terrain.hf.gz", "h");
    file("tracks/arena/desc", "Arena\r\nsecond line\r\n");
    // Both height fields in one folder: still one track.
    file("tracks/twice/terrain.hf", "h");
    file("tracks/twice/terrain.hf.gz", "h");
    file("tracks/twice/desc", std::string("Mud\tpit\0hidden", 14));
    file("tracks/plain/terrain.hf", "h");  // no desc: described by its folder
    file("tracks/notrack/terrain.hfx", "h");
    file("tracks/notrack/terrain.hf.bak", "h");
    file("terrain.hf", "h");  // no folder
    ASSERT_TRUE(track_list_build());
    EXPECT_EQ(folders(), (std::vector<std::string>{"tracks/arena", "tracks/beach", "tracks/twice", "tracks/plain"}));
    EXPECT_EQ(descriptions(), (std::vector<std::string>{"Arena", "beach", "Mud\tpit", "tracks/plain"}));
    EXPECT_EQ(track_list_find("tracks/beach"), 1);
    EXPECT_EQ(track_list_find("MUD\tPIT"), 2) << "a description names a track too";
    EXPECT_EQ(track_list_find("tracks/none"), -1);
}

TEST_F(track_list_test, a_long_or_binary_desc_gives_a_bounded_line)
{
    file("tracks/long/terrain.hf", "h");
    file("tracks/long/desc", std::string(5000, 'd'));
    file("tracks/bin/terrain.hf", "h");
    file("tracks/bin/desc", std::string("\xff\xfe\x01z\r\x02", 6));
    ASSERT_TRUE(track_list_build());
    ASSERT_EQ(track_list.count, 2);
    // A description is one menu line: the first 1024 bytes are plenty.
    EXPECT_EQ(std::string(track_list.descriptions[0]), std::string(1024, 'd'));
    EXPECT_EQ(std::string(track_list.descriptions[1]), "\xff\xfe\x01z");
}

TEST_F(track_list_test, no_height_field_means_no_tracks)
{
    file("tracks/empty/desc", "Empty");
    EXPECT_FALSE(track_list_build());
    EXPECT_EQ(track_list.count, 0);
}

TEST(track_desc, the_first_line_ends_at_cr_lf_or_nul)
{
    struct row {
        std::string text, want;
    } rows[] = {
        {"Sand Dunes", "Sand Dunes"},       {"Sand\r\nDunes", "Sand"}, {"Sand\rDunes", "Sand"},
        {"\nSand", ""},                     {std::string("Sa\0nd", 5), "Sa"}, {"Tab\there\x0b\x0c", "Tab\there\x0b\x0c"},
        {"", ""},
    };
    for (const row& r : rows) {
        char* line = track_desc_first_line(r.text.data(), int32_t(r.text.size()));
        EXPECT_EQ(std::string(line), r.want);
        alloc_check_free(line);
    }
}

TEST(track_sort, case_is_ignored_and_every_pair_ends_in_order)
{
    const char* names[] = {"t/zeta/terrain.hf", "t/Alpha/terrain.hf", "t/beta/terrain.hf", "t/GAMMA/terrain.hf",
                           "t/delta/terrain.hf", nullptr};
    ASSERT_TRUE(track_list_build_from(names));
    ASSERT_EQ(track_list.count, 5);
    const char* want[] = {"t/Alpha", "t/beta", "t/delta", "t/GAMMA", "t/zeta"};
    for (int i = 0; i < 5; i++) EXPECT_STREQ(track_list.folders[i], want[i]);
    track_list_free();
}

} // namespace
