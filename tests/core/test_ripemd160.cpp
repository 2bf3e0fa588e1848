#include <gtest/gtest.h>

#include <string>

#include "core/ripemd160.h"

namespace {

std::string hex_of(const ripemd160_ctx& ctx)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t b : ctx.digest) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

std::string digest_hex(const std::string& message)
{
    ripemd160_ctx ctx;
    ripemd160_init(&ctx);
    ripemd160_update(&ctx, message.data(), message.size());
    ripemd160_final(&ctx);
    return hex_of(ctx);
}

// The published test vectors of the algorithm's authors.
struct vector_case {
    std::string message;
    const char* digest;
};

TEST(ripemd160, published_vectors)
{
    const vector_case cases[] = {
        {"", "9c1185a5c5e9fc54612808977ee8f548b2258d31"},
        {"a", "0bdc9d2d256b3ee9daae347be6f4dc835a467ffe"},
        {"abc", "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc"},
        {"message digest", "5d0689ef49d2fae572b881b123a85ffa21595f36"},
        {"abcdefghijklmnopqrstuvwxyz", "f71c27109c692c1b56bbdceb5b9d2865b3708dbc"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "12a053384a9c0c88e405a06c27dcf49ada62eb2b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "b0e20b6e3116640286ed3a87a5713079b21f5189"},
        {std::string(80, ' ').replace(0, 80, [] {
             std::string s;
             for (int i = 0; i < 8; i++) s += "1234567890";
             return s;
         }()),
         "9b752e45573d4b39f4dbd3323cab82bf63326bfb"},
        {std::string(1000000, 'a'), "52783243c1697bdbe16d37f97f68f08325dc1528"},
    };
    for (const auto& c : cases) EXPECT_EQ(digest_hex(c.message), c.digest) << "length " << c.message.size();
}

std::string pattern(size_t n)
{
    std::string s(n, 0);
    for (size_t i = 0; i < n; i++) s[i] = char((i * 7 + 3) & 0xff);
    return s;
}

// Lengths around the padding boundaries, checked against Python's hashlib and
// `openssl dgst -ripemd160` on bytes (i*7+3) mod 256.
TEST(ripemd160, padding_boundaries_match_standard_tools)
{
    const std::pair<size_t, const char*> cases[] = {
        {55, "ced4a416d2eddc4c54a59c57fa299bc86af70de9"},  {56, "581330764dcfaa5bbe4de58601aa56a838cc58d7"},
        {63, "f946627df85129e38a6142b694aed087f2f85d71"},  {64, "6049fc18acb2ba0205d12fbf2ebc57628031d28c"},
        {119, "22d9d4f2a6368b58145202e9ffa1479f0a13fd11"}, {120, "c7ca324844fcb190fb8a9e7d843251391e2556de"},
        {200, "f0baf659f03ef83a60f285713015dfab21a82e51"},
    };
    for (const auto& [n, digest] : cases) EXPECT_EQ(digest_hex(pattern(n)), digest) << "length " << n;
}

TEST(ripemd160, every_split_point_gives_the_same_digest)
{
    std::string m = pattern(200);
    for (size_t split = 0; split <= m.size(); split++) {
        for (size_t second = split; second <= m.size(); second += 37) {
            ripemd160_ctx ctx;
            ripemd160_init(&ctx);
            ripemd160_update(&ctx, m.data(), split);
            ripemd160_update(&ctx, m.data() + split, second - split);
            ripemd160_update(&ctx, m.data() + second, m.size() - second);
            ripemd160_final(&ctx);
            ASSERT_EQ(hex_of(ctx), "f0baf659f03ef83a60f285713015dfab21a82e51") << split << "/" << second;
        }
    }
}

// An empty update is a no-op whatever its pointer: callers hashing an empty
// buffer (a null data pointer, length 0) must get the digest of what came
// before, at a fresh start, mid-block and on a block boundary alike.
TEST(ripemd160, empty_updates_with_a_null_pointer_change_nothing)
{
    const struct {
        std::string before, after;
        const char* digest;
    } cases[] = {
        {"", "", "9c1185a5c5e9fc54612808977ee8f548b2258d31"},
        {"a", "bc", "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc"},
        {"1234567890123456789012345678901234567890123456789012345678901234",
         "5678901234567890", "9b752e45573d4b39f4dbd3323cab82bf63326bfb"},
    };
    for (const auto& c : cases) {
        ripemd160_ctx ctx;
        ripemd160_init(&ctx);
        ripemd160_update(&ctx, nullptr, 0);
        ripemd160_update(&ctx, c.before.data(), c.before.size());
        ripemd160_update(&ctx, nullptr, 0);
        ripemd160_update(&ctx, c.after.data(), c.after.size());
        ripemd160_update(&ctx, nullptr, 0);
        ripemd160_final(&ctx);
        EXPECT_EQ(hex_of(ctx), c.digest) << c.before << c.after;
    }
}

TEST(ripemd160, hex_comparison)
{
    ripemd160_ctx ctx;
    ripemd160_init(&ctx);
    ripemd160_update(&ctx, "abc", 3);
    ripemd160_final(&ctx);
    const struct {
        const char* text;
        int expected;
    } cases[] = {
        {"8eb208f7e05d987a9b044a8e98c6b087f15a0bfc", 1},
        {"8EB208F7E05D987A9B044A8E98C6B087F15A0BFC", 1},
        {"8eb208f7e05d987a9b044a8e98c6b087f15a0bfd", 0},  // last digit wrong
        {"8eb208f7e05d987a9b044a8e98c6b087f15a0bf", 0},   // 39 digits
        {"8eb208f7e05d987a9b044a8e98c6b087f15a0bfc0", 0}, // 41 digits
        {"8eb208f7e05d987a9b044a8e98c6b087f15a0bfg", 0},  // not hex
        {"8eb2", 0},                                      // short: no read past the end
        {"", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(digest_hex_equal(c.text, ctx.digest), c.expected) << c.text;
    EXPECT_EQ(digest_hex_equal(nullptr, ctx.digest), 0);
}

} // namespace
