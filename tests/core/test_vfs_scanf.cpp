// The scanf engine, checked against the C library's sscanf wherever the two
// are meant to agree, and against explicit expectations where they differ.
#include <cstring>

#include "tests/core/vfs_test_util.h"

using vfs_test::write_all;

namespace {

// Four argument slots, filled with a guard pattern, so every stored byte
// (and every byte not stored) can be compared.
struct slots {
    alignas(16) unsigned char bytes[4][64];
    slots() { memset(bytes, 0x55, sizeof bytes); }
};

class vfs_scanf_test : public vfs_test::roots_fixture {
protected:
    vfs_stream* open_text(const std::string& text)
    {
        write_all(data + "in", text);
        return vfs_open("@in", "rb");
    }

    int scan(const std::string& input, const char* format, slots* out)
    {
        vfs_stream* s = open_text(input);
        EXPECT_NE(s, nullptr);
        if (!s) return -99;
        int n = vfs_scanf(s, format, static_cast<void*>(out->bytes[0]), static_cast<void*>(out->bytes[1]),
                          static_cast<void*>(out->bytes[2]), static_cast<void*>(out->bytes[3]));
        vfs_close(s);
        return n;
    }
};

struct scan_case {
    const char* input;
    const char* format;
};

TEST_F(vfs_scanf_test, agrees_with_the_c_library)
{
    const scan_case cases[] = {
        // integers: bases, signs, widths, prefixes, short stores
        {"42", "%d"}, {"  -17 x", "%d"}, {"+5", "%d"}, {"0x1F", "%x"}, {"1f", "%x"}, {"0X1f", "%X"},
        {"ff", "%X"}, {"FFFFFFFF", "%x"}, {"4294967295", "%d"}, {"-2147483648", "%d"}, {"017", "%i"},
        {"0x1a", "%i"}, {"-12", "%i"}, {"0", "%i"}, {"19", "%o"}, {"-777", "%o"}, {"12345", "%3d%d"},
        {"-123", "%2d%d"}, {"abc", "%d"}, {"", "%d"}, {"   ", "%d"}, {"1 2 3", "%d %d %d"}, {"1,2", "%d,%d"},
        {"7 x", "%d %d"}, {"5 6", "%hd %hd"}, {"70000", "%hd"}, {"-1", "%hx"}, {"12 34", "%d%n %d%n"},
        {"100%", "%d%%"}, {"1 2", "%*d %d"}, {"ct03 5", "ct03 %d"}, {"Q6 64 32\n", "Q6 %d %d"},
        // floating point
        {"3.25", "%f"}, {"-1.5e3", "%f"}, {"2.5", "%lf"}, {"1e-2", "%Lf"}, {".5", "%f"}, {"5.", "%f"},
        {"1.5 2.5", "%f%lf"}, {"  [ 1.5 2 -3 ] ", " [ %f %f %f ] "}, {"12.75", "%3f%f"}, {"1E+2x", "%lf"},
        {"x", "%f"}, {"0.1", "%lf"}, {"123456789.125", "%lf"},
        // strings, characters and scan sets
        {"  hello world", "%s %s"}, {"abcdef", "%3s%s"}, {"x", "%*s%d"}, {"abc", "%c"}, {"abc", "%2c%c"},
        {" a", "%c"}, {"", "%c"}, {"abc123", "%[a-z]%d"}, {"]]x", "%[]]"}, {"ab-c", "%[-ab]"},
        {"hello\nworld", "%[^\n]"}, {"xyz", "%2[xyz]%s"}, {"123", "%[a-z]"}, {"key=value", "%[^=]=%s"},
        {"a b", "%[^ ]%n"}, {"ABC", "%[A-C]"},
        // the comment idiom of the image readers, one line at a time
        {"#\n", " %1[#]%*[^\n]"}, {"# x\n", " %1[#]%*[^\n]"}, {"  #x\n", " %1[#]%*[^\n]"},
        {"x\n", " %1[#]%*[^\n]"}, {"", " %1[#]%*[^\n]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "input \"" << c.input << "\" format \"" << c.format << "\"");
        slots ours, theirs;
        int n = scan(c.input, c.format, &ours);
        // The C library is the reference here, so it reads the very format
        // under test; every format is a literal of the table above.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        int expected = sscanf(c.input, c.format, theirs.bytes[0], theirs.bytes[1], theirs.bytes[2], theirs.bytes[3]);
#pragma GCC diagnostic pop
        EXPECT_EQ(n, expected);
        for (int k = 0; k < 4; k++) EXPECT_EQ(memcmp(ours.bytes[k], theirs.bytes[k], 64), 0) << "argument " << k;
    }
}

TEST_F(vfs_scanf_test, where_it_differs_from_the_c_library)
{
    struct own_case {
        const char* input;
        const char* format;
        int result;
        int32_t first; // the first argument as int32, or the guard when nothing is stored
    };
    const int32_t guard = 0x55555555;
    const own_case cases[] = {
        // a literal that does not match gives -1 whatever was converted
        {"5 x", "%d y", -1, 5},
        {"5", "%dy", -1, 5},
        // "%ld" stores 32 bits like "%d"
        {"-2", "%ld", 1, -2},
        {"7", "%lld", 1, 7},
        // "%1f" stores nothing and ends the scan
        {"5.0 3", "%1f %d", 0, guard},
        // a suppressed scan set ends the scan
        {"abc 5", "%*[a-z] %d", 0, guard},
        // unknown conversions end the scan
        {"5 6", "%d %u", 1, 5},
        {"5 6", "%d %e", 1, 5},
        // digits past 32 bits wrap
        {"4294967301", "%d", 1, 5},
        {"ffffffff0000000a", "%x", 1, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "input \"" << c.input << "\" format \"" << c.format << "\"");
        slots ours;
        EXPECT_EQ(scan(c.input, c.format, &ours), c.result);
        int32_t first;
        memcpy(&first, ours.bytes[0], 4);
        EXPECT_EQ(first, c.first);
        for (int i = 4; i < 64; i++) ASSERT_EQ(ours.bytes[0][i], 0x55) << "byte " << i << " past the int32";
    }
}

TEST_F(vfs_scanf_test, one_byte_of_lookahead_stays_for_the_next_read)
{
    vfs_stream* s = open_text("12x 3.5y\nrest");
    ASSERT_NE(s, nullptr);
    int32_t a = 0;
    EXPECT_EQ(vfs_scanf(s, "%d", &a), 1);
    EXPECT_EQ(vfs_getc(s), 'x');
    float f = 0;
    EXPECT_EQ(vfs_scanf(s, "%f", &f), 1);
    EXPECT_EQ(f, 3.5f);
    char line[32];
    EXPECT_STREQ(vfs_gets(s, line, sizeof line), "y\n");
    EXPECT_EQ(vfs_scanf(s, "%d", &a), 0) << "a failed field leaves its byte";
    EXPECT_STREQ(vfs_gets(s, line, sizeof line), "rest");
    EXPECT_EQ(vfs_scanf(s, "%d", &a), -1);
    vfs_close(s);
}

TEST_F(vfs_scanf_test, comment_lines_are_skipped_by_repeated_calls)
{
    vfs_stream* s = open_text("# first\n  #second\n#\nP6 4\n");
    ASSERT_NE(s, nullptr);
    char mark[2];
    int calls = 0;
    while (vfs_scanf(s, " %1[#]%*[^\n]", mark) == 1) calls++;
    EXPECT_EQ(calls, 3);
    int32_t width = 0;
    EXPECT_EQ(vfs_scanf(s, "P6 %d", &width), 1);
    EXPECT_EQ(width, 4);
    EXPECT_EQ(vfs_scanf(s, " %1[#]%*[^\n]", mark), -1) << "end of input";
    vfs_close(s);
}

TEST_F(vfs_scanf_test, text_streams_scan_windows_line_ends)
{
    write_all(data + "crlf", "1\r\n2\r\nname\r\n");
    vfs_stream* s = vfs_open("@crlf", "r");
    ASSERT_NE(s, nullptr);
    int32_t a = 0, b = 0;
    char name[16];
    char rest[4];
    EXPECT_EQ(vfs_scanf(s, "%d\n%d\n%15[^\n]%c", &a, &b, name, rest), 4);
    EXPECT_EQ(b, 2);
    EXPECT_STREQ(name, "name");
    EXPECT_EQ(rest[0], '\n');
    vfs_close(s);
}

} // namespace
