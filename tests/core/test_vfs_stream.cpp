// Streams: plain files, gzip files made by the gzip tool and by hand, archive
// members, line and block reads, backups, renames and whole-file reads.
#include <random>

#include "tests/core/vfs_test_util.h"

#include "core/alloc.h"

using vfs_test::read_all;
using vfs_test::shell;
using vfs_test::write_all;

namespace {

class vfs_stream_test : public vfs_test::roots_fixture {
protected:
    // Deterministic bytes that compress a little.
    static std::string pattern_bytes(size_t n, unsigned seed)
    {
        std::mt19937 rng(seed);
        std::string s(n, 0);
        for (auto& c : s) c = char("abcdefgh\n \x01\xff"[rng() % 12]);
        return s;
    }
};

TEST_F(vfs_stream_test, gzip_tool_members_read_back_through_the_gz_rule)
{
    struct gz_case {
        const char* name;
        std::string bytes;
        const char* gzip_options;
    };
    std::mt19937 rng(7);
    std::string random(1 << 20, 0);
    for (auto& c : random) c = char(rng());
    const gz_case cases[] = {
        {"named.txt", "hello, gzip with a file name\n", ""},
        {"nameless.txt", "no name, no time stamp\n", "-n"},
        {"empty.txt", "", ""},
        {"random.bin", random, "-n"},
        {"text.txt", pattern_bytes(300000, 1), "-9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_all(data + c.name, c.bytes);
        ASSERT_TRUE(shell(std::string("gzip ") + c.gzip_options + " " + data + c.name));
        ASSERT_TRUE(shell("gzip -dc " + data + c.name + ".gz > " + tmp + "/expected"));
        std::string expected = read_all(tmp + "/expected");
        EXPECT_EQ(expected, c.bytes);
        // Byte reads, and block reads of an odd size (many windows and refills).
        EXPECT_EQ(read_name(std::string("@") + c.name), expected);
        vfs_stream* s = vfs_open((std::string("@") + c.name).c_str(), "rb");
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->compressed, 1);
        EXPECT_EQ(vfs_seek(s, 0), 0);
        std::string blocks;
        char buffer[3001];
        for (int n; (n = vfs_read(s, buffer, sizeof buffer)) > 0;) blocks.append(buffer, size_t(n));
        EXPECT_EQ(blocks, expected);
        EXPECT_EQ(s->position, expected.size());
        vfs_close(s);
    }
    EXPECT_EQ(console_recent_line(1, 0), std::string()) << "no complaint about sound gzip files";
}

// Headers with every optional field, written by hand around Python's raw
// deflate and checked by the gzip tool.
TEST_F(vfs_stream_test, hand_made_gzip_headers)
{
    if (!shell("python3 -c 1")) GTEST_SKIP() << "python3 not available";
    const char* script = R"PY(
import sys, zlib, struct
path, flags, method = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
data = b"field test\r\nsecond line\n" * 50
c = zlib.compressobj(9, zlib.DEFLATED, -15)
body = c.compress(data) + c.flush()
h = bytes([0x1f, 0x8b, method, flags]) + struct.pack("<I", 0) + bytes([0, 3])
if flags & 4: h += struct.pack("<H", 5) + b"extra"
if flags & 8: h += b"name.txt\0"
if flags & 16: h += b"a comment\0"
if flags & 2: h += struct.pack("<H", zlib.crc32(h) & 0xffff)
open(path, "wb").write(h + body + struct.pack("<II", zlib.crc32(data), len(data)))
)PY";
    write_all(tmp + "/make.py", script);
    const std::string expected = [] {
        std::string s;
        for (int i = 0; i < 50; i++) s += "field test\r\nsecond line\n";
        return s;
    }();
    struct header_case {
        int flags, method;
        bool opens;
    };
    const header_case cases[] = {
        {0, 8, true}, {4, 8, true}, {8 | 16, 8, true}, {2 | 4 | 8 | 16, 8, true}, {1, 8, true},
        {32, 8, false}, {128, 8, false}, {0, 7, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags " << c.flags << " method " << c.method);
        std::string gz = data + "h.gz";
        ASSERT_TRUE(shell("python3 " + tmp + "/make.py " + gz + " " + std::to_string(c.flags) + " " +
                          std::to_string(c.method)));
        if (c.opens) {
            ASSERT_TRUE(shell("gzip -t " + gz));
        }
        EXPECT_EQ(read_name("@h") != "<none>", c.opens);
        if (c.opens) {
            EXPECT_EQ(read_name("@h"), expected);
        }
        std::remove(gz.c_str());
    }
}

// Damaged gzip files deliver what decompresses, then the end, with one
// message naming the file.
TEST_F(vfs_stream_test, damaged_gzip_files)
{
    std::string text = pattern_bytes(200000, 3);
    write_all(tmp + "/t", text);
    ASSERT_TRUE(shell("gzip -n -c " + tmp + "/t > " + tmp + "/t.gz"));
    std::string good = read_all(tmp + "/t.gz");
    struct damage_case {
        const char* what;
        std::string bytes;
        bool opens;
        const char* message;
    };
    std::string bad_crc = good;
    bad_crc[bad_crc.size() - 8] ^= 1;
    std::string bad_size = good;
    bad_size[bad_size.size() - 1] ^= 1;
    std::string corrupt = good;
    for (size_t i = 100; i < 140; i++) corrupt[i] = char(0xff);
    const damage_case cases[] = {
        {"truncated in the data", good.substr(0, good.size() / 2), true, "Truncated gzip data"},
        {"trailer missing", good.substr(0, good.size() - 8), true, "Truncated gzip data"},
        {"crc mismatch", bad_crc, true, "Checksum mismatch"},
        {"length mismatch", bad_size, true, "Checksum mismatch"},
        {"corrupt deflate stream", corrupt, true, "Corrupt gzip data"},
        {"header only", good.substr(0, 10), true, "Truncated gzip data"},
        {"cut header", good.substr(0, 6), false, "Bad gzip header"},
        {"empty file", "", false, "Bad gzip header"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        console_clear();
        write_all(data + "d.gz", c.bytes);
        vfs_stream* s = vfs_open("@d", "rb");
        EXPECT_EQ(s != nullptr, c.opens);
        if (s) {
            std::string got = drain(s);
            EXPECT_LE(got.size(), text.size());
            // A damaged deflate stream may decode into wrong bytes before
            // zlib notices; every other damage leaves what came out intact.
            if (strcmp(c.what, "corrupt deflate stream") != 0) {
                EXPECT_EQ(got, text.substr(0, got.size()));
            }
            EXPECT_EQ(vfs_getc(s), -1);
            char buffer[16];
            EXPECT_EQ(vfs_read(s, buffer, sizeof buffer), 0);
            EXPECT_NE(vfs_error(s), 0) << "a loader can tell the damage from a sound end";
            vfs_close(s);
        }
        EXPECT_NE(last_message().find(c.message), std::string::npos) << last_message();
        EXPECT_NE(last_message().find("d.gz"), std::string::npos) << last_message();
        // A whole-file read of damaged data fails, with one line naming the file.
        console_clear();
        EXPECT_EQ(file_to_string("@d"), nullptr);
        EXPECT_EQ(message_log.write_index, 1) << last_message();
        EXPECT_NE(last_message().find(c.message), std::string::npos) << last_message();
        EXPECT_NE(last_message().find("d.gz"), std::string::npos) << last_message();
    }
    // The same file undamaged: no error, the whole text, no message.
    console_clear();
    write_all(data + "d.gz", good);
    vfs_stream* s = vfs_open("@d", "rb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(drain(s), text);
    EXPECT_EQ(vfs_error(s), 0);
    vfs_close(s);
    char* whole = file_to_string("@d");
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(std::string(whole), text);
    alloc_check_free(whole);
    EXPECT_EQ(message_log.write_index, 0) << last_message();
}

// An archive with a 10-byte member, a gzip member whose stream is cut short
// by its stated size, and a member after it.
TEST_F(vfs_stream_test, archive_members_stay_within_their_bytes)
{
    std::string text = pattern_bytes(50000, 5);
    write_all(tmp + "/g", text);
    ASSERT_TRUE(shell("gzip -n -c " + tmp + "/g > " + tmp + "/g.gz"));
    std::string gz = read_all(tmp + "/g.gz");
    std::string cut = gz.substr(0, gz.size() / 2);
    std::string after = "AFTER" + gz; // a whole gzip member follows
    std::string directory = "10 ten\n" + std::to_string(cut.size()) + " cut.gz\n" + std::to_string(after.size()) +
                            " after\n-\n";
    std::string archive = directory + "0123456789" + cut + after;
    write_all(data + "a.saf", archive);
    vfs_build_index();

    vfs_stream* s = vfs_open("@ten", "rb");
    ASSERT_NE(s, nullptr);
    char buffer[100];
    EXPECT_EQ(vfs_read(s, buffer, 100), 10);
    EXPECT_EQ(std::string(buffer, 10), "0123456789");
    EXPECT_EQ(vfs_getc(s), -1);
    // Seeking inside the member keeps the member's limit in step.
    EXPECT_EQ(vfs_seek(s, 2), 1);
    EXPECT_EQ(vfs_read(s, buffer, 100), 8);
    EXPECT_EQ(std::string(buffer, 8), "23456789");
    EXPECT_EQ(vfs_seek(s, 10), 0);
    EXPECT_EQ(vfs_seek(s, 9), 1);
    EXPECT_EQ(vfs_getc(s), '9');
    EXPECT_EQ(vfs_getc(s), -1);
    vfs_close(s);

    std::string got = read_name("@cut");
    EXPECT_LT(got.size(), text.size());
    EXPECT_EQ(got, text.substr(0, got.size())) << "never the next member's bytes";
    EXPECT_NE(last_message().find("Truncated gzip data"), std::string::npos) << last_message();
    EXPECT_EQ(read_name("@after"), after);
    // A cut member fails a whole-file read; the one line names the member.
    console_clear();
    EXPECT_EQ(file_to_string("@cut"), nullptr);
    EXPECT_EQ(message_log.write_index, 1) << last_message();
    EXPECT_NE(last_message().find("a.saf:cut.gz"), std::string::npos) << last_message();
}

TEST_F(vfs_stream_test, line_reads)
{
    std::string long_line(1022, 'x');
    write_all(data + "lines", "ab\r\ncd\n" + long_line + "\nlast\rline\r");
    vfs_stream* s = vfs_open("@lines", "r");
    ASSERT_NE(s, nullptr);
    char buffer[1100];
    EXPECT_EQ(vfs_gets(s, buffer, 0), nullptr);
    EXPECT_EQ(vfs_gets(s, buffer, 1), buffer);
    EXPECT_STREQ(buffer, "") << "size 1 consumes nothing";
    EXPECT_EQ(vfs_gets(s, buffer, 2), buffer);
    EXPECT_STREQ(buffer, "a");
    EXPECT_EQ(vfs_gets(s, buffer, sizeof buffer), buffer);
    EXPECT_STREQ(buffer, "b\n") << "a text stream drops the \\r before \\n";
    EXPECT_EQ(vfs_gets(s, buffer, sizeof buffer), buffer);
    EXPECT_STREQ(buffer, "cd\n");
    EXPECT_EQ(vfs_gets(s, buffer, 1024), buffer);
    EXPECT_EQ(std::string(buffer), long_line + "\n") << "a 1023-byte line fills a 1024-byte buffer";
    EXPECT_EQ(vfs_gets(s, buffer, sizeof buffer), buffer);
    EXPECT_STREQ(buffer, "last\rline\r") << "a lone \\r stays";
    EXPECT_EQ(vfs_gets(s, buffer, sizeof buffer), nullptr);
    vfs_close(s);

    s = vfs_open("@lines", "rb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(vfs_gets(s, buffer, sizeof buffer), buffer);
    EXPECT_STREQ(buffer, "ab\r\n") << "a binary stream keeps every byte";
    vfs_close(s);
}

TEST_F(vfs_stream_test, the_pushed_back_byte_counts_toward_a_read)
{
    write_all(data + "n", "12 abcdef");
    vfs_stream* s = vfs_open("@n", "rb");
    ASSERT_NE(s, nullptr);
    int32_t v = 0;
    EXPECT_EQ(vfs_scanf(s, "%d", &v), 1);
    EXPECT_EQ(v, 12);
    EXPECT_EQ(s->lookahead, ' ');
    char buffer[4] = {0, 0, 0, 'G'};
    EXPECT_EQ(vfs_read(s, buffer, 3), 3);
    EXPECT_EQ(std::string(buffer, 4), " abG") << "nothing beyond the count";
    vfs_close(s);
}

TEST_F(vfs_stream_test, writes_and_backups)
{
    // Writing an "@" name creates its folders in the player's folder.
    vfs_stream* s = vfs_open("@setups/deep/my.braap", "wb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(vfs_printf(s, "x=%d\n", 5), 4);
    EXPECT_EQ(vfs_putc(s, 'y'), 1);
    EXPECT_GE(vfs_puts(s, "z\n"), 0);
    EXPECT_EQ(vfs_write(s, "w", 1), 1u);
    EXPECT_EQ(vfs_flush(s), 0);
    vfs_close(s);
    std::string path = home + "setups/deep/my.braap";
    EXPECT_EQ(read_all(path), "x=5\nyz\nw");

    // With the file and backup 1 present, the old file goes to backup 2.
    write_all(path + ".~1~", "older");
    s = vfs_open("@setups/deep/my.braap", "~wb");
    ASSERT_NE(s, nullptr);
    vfs_puts(s, "new");
    vfs_close(s);
    EXPECT_EQ(read_all(path), "new");
    EXPECT_EQ(read_all(path + ".~1~"), "older");
    EXPECT_EQ(read_all(path + ".~2~"), "x=5\nyz\nw");
    EXPECT_FALSE(std::filesystem::exists(path + ".~3~"));

    // No backup for a file that does not exist yet.
    s = vfs_open("@fresh", "~wb");
    ASSERT_NE(s, nullptr);
    vfs_close(s);
    EXPECT_FALSE(std::filesystem::exists(home + "fresh.~1~"));
}

TEST_F(vfs_stream_test, a_save_goes_ahead_when_every_backup_name_is_taken)
{
    std::string path = home + "full";
    write_all(path, "current");
    for (int i = 1; i <= 9999; i++) {
        FILE* f = fopen((path + ".~" + std::to_string(i) + "~").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fclose(f);
    }
    vfs_stream* s = vfs_open("@full", "~wb");
    ASSERT_NE(s, nullptr);
    vfs_puts(s, "saved");
    vfs_close(s);
    EXPECT_EQ(read_all(path), "saved");
    EXPECT_NE(last_message().find("Can't back up"), std::string::npos) << last_message();
}

TEST_F(vfs_stream_test, rename_replaces_the_target_atomically)
{
    write_all(home + "a", "A");
    write_all(home + "b", "B");
    EXPECT_EQ(vfs_rename("@a", "@b"), 1);
    EXPECT_EQ(read_all(home + "b"), "A");
    EXPECT_FALSE(std::filesystem::exists(home + "a"));
    // A rename that fails leaves the target as it was.
    EXPECT_EQ(vfs_rename("@missing", "@b"), 0);
    EXPECT_EQ(read_all(home + "b"), "A");
    EXPECT_EQ(vfs_rename("@b", "@../escape"), 0);
    EXPECT_EQ(read_all(home + "b"), "A");
}

TEST_F(vfs_stream_test, file_to_string_sizes)
{
    struct size_case {
        size_t size;
        bool read;
    };
    const size_case cases[] = {{0, true}, {5, true}, {0x1000000, true}, {0x1000001, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        write_all(data + "big", std::string(c.size, 'q'));
        char* text = file_to_string("@big");
        EXPECT_EQ(text != nullptr, c.read);
        if (text) {
            EXPECT_EQ(strlen(text), c.size);
            alloc_check_free(text);
        }
    }
    EXPECT_EQ(file_to_string("@absent"), nullptr);
}

TEST_F(vfs_stream_test, open_in_dir_joins_folder_and_file)
{
    write_all(data + "tracks/t1/desc", "Track one\n");
    vfs_stream* s = open_in_dir("@tracks/t1", "desc", "r");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(drain(s), "Track one\n");
    vfs_close(s);
    EXPECT_EQ(open_in_dir("@tracks/t1", "none", "r"), nullptr);
}

} // namespace
