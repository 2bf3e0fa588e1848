// The generic shape files the generator writes count as the stock set, so a
// race server does not refuse our own data ("Fixed file mismatch").
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/vfs.h"
#include "game/startup.h"

namespace {

TEST(stock_shapes, generated_set_is_among_the_accepted_digests)
{
    setenv("ZT_HOME", "../data", 1);
    vfs_shutdown();
    char digest[41];
    stock_shape_digest(digest);
    vfs_shutdown();
    unsetenv("ZT_HOME");
    bool listed = false;
    for (int i = 0; i < stock_shape_digest_count; i++) listed = listed || strcmp(digest, stock_shape_digests[i]) == 0;
    EXPECT_TRUE(listed) << "generated shapes digest to " << digest;
    // The three stored digests stay accepted.
    EXPECT_STREQ(stock_shape_digests[0], "ee2bd2db0c54d7bd8fc462236101c0e504397245");
}

TEST(stock_shapes, digest_is_ripemd160_of_the_files_back_to_back)
{
    // With no file found nothing is digested: RIPEMD-160 of the empty
    // message (its published test vector).
    setenv("ZT_HOME", "/nonexistent-zentrik-root", 1);
    setenv("XDG_DATA_HOME", "/nonexistent-zentrik-home", 1);
    vfs_shutdown();
    char digest[41];
    stock_shape_digest(digest);
    vfs_shutdown();
    unsetenv("ZT_HOME");
    unsetenv("XDG_DATA_HOME");
    EXPECT_STREQ(digest, "9c1185a5c5e9fc54612808977ee8f548b2258d31");
}

}  // namespace
