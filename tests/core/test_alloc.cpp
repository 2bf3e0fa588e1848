#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/alloc.h"

namespace {

// The checker reads ZT_CHECK_ALLOC once; each case forces a fresh read.
struct checker_env : ::testing::Test {
    void switch_to(const char* value)
    {
        if (value)
            setenv("ZT_CHECK_ALLOC", value, 1);
        else
            unsetenv("ZT_CHECK_ALLOC");
        alloc_checker_force(-1);
    }
    void TearDown() override
    {
        unsetenv("ZT_CHECK_ALLOC");
        alloc_checker_force(0);
    }
};

TEST_F(checker_env, switch_is_read_from_the_environment_once)
{
    const struct {
        const char* value;
        int on;
    } cases[] = {{nullptr, 0}, {"0", 0}, {"-3", 0}, {"abc", 0}, {"1", 1}, {"7", 1}, {"2x", 1}};
    for (const auto& c : cases) {
        switch_to(c.value);
        void* p = alloc_check_malloc(8);
        EXPECT_EQ(alloc_checker_state(), c.on) << (c.value ? c.value : "(unset)");
        // Changing the variable later has no effect for the run.
        setenv("ZT_CHECK_ALLOC", c.on ? "0" : "1", 1);
        alloc_check_free(p);
        EXPECT_EQ(alloc_checker_state(), c.on);
    }
}

TEST_F(checker_env, free_zeroes_the_block_and_double_free_is_refused)
{
    switch_to("1");
    int before = alloc_live_count();
    // Release without freeing, so the zeroed bytes can still be read.
    auto* p = static_cast<unsigned char*>(alloc_check_malloc(64));
    memset(p, 0xAB, 64);
    EXPECT_EQ(alloc_live_count(), before + 1);
    ASSERT_EQ(alloc_check_release(p, 1), 1);
    for (int i = 0; i < 64; i++) ASSERT_EQ(p[i], 0) << i;
    EXPECT_EQ(alloc_live_count(), before);

    testing::internal::CaptureStderr();
    alloc_check_free(p); // no longer recorded: reported, not freed
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Allocation not found for "), std::string::npos) << err;
    free(p);

    testing::internal::CaptureStderr();
    alloc_check_free(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(checker_env, dump_lists_survivors_oldest_first_with_their_serials)
{
    switch_to("1");
    void* a = alloc_check_malloc(10);
    void* b = alloc_check_malloc(20);
    void* c = alloc_check_malloc(30);
    alloc_check_free(b);
    testing::internal::CaptureStderr();
    alloc_dump_live();
    std::string dump = testing::internal::GetCapturedStderr();
    // glibc prints "%p" as 0x...: parse the lines back rather than compare text.
    std::vector<std::pair<void*, int>> lines;
    const char* s = dump.c_str();
    while (*s) {
        void* p;
        int serial, used;
        ASSERT_EQ(sscanf(s, "%p:%d\n%n", &p, &serial, &used), 2) << dump;
        lines.push_back({p, serial});
        s += used;
    }
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].first, a);
    EXPECT_EQ(lines.back().first, c);
    EXPECT_EQ(lines.back().second, lines[lines.size() - 2].second + 2); // b took the serial between
    alloc_check_free(a);
    alloc_check_free(c);
}

TEST_F(checker_env, failed_realloc_keeps_the_old_block_recorded)
{
    switch_to("1");
    void* p = alloc_check_malloc(16);
    int live = alloc_live_count();
    EXPECT_EQ(alloc_check_realloc(p, 1ull << 62), nullptr);
    EXPECT_EQ(alloc_live_count(), live);
    testing::internal::CaptureStderr();
    alloc_check_free(p); // still known: freed without a report
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(alloc_live_count(), live - 1);
}

TEST_F(checker_env, realloc_moves_the_entry_with_a_new_serial)
{
    switch_to("1");
    void* p = alloc_check_malloc(16);
    int live = alloc_live_count();
    void* q = alloc_check_realloc(p, 1 << 20);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(alloc_live_count(), live);
    alloc_check_free(q);
    EXPECT_EQ(alloc_live_count(), live - 1);
}

TEST_F(checker_env, full_table_switches_the_checker_off)
{
    switch_to("1");
    int start = alloc_live_count();
    std::vector<void*> blocks;
    blocks.reserve((1 << 20) + 1);
    for (int i = start; i < (1 << 20); i++) blocks.push_back(alloc_check_malloc(1));
    EXPECT_EQ(alloc_checker_state(), 1);
    testing::internal::CaptureStderr();
    void* extra = alloc_check_malloc(1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Too many allocations to check!\n");
    EXPECT_NE(extra, nullptr);
    EXPECT_EQ(alloc_checker_state(), 0);
    // Off for the rest of the run: every block is now a plain free.
    alloc_check_free(extra);
    for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) alloc_check_free(*it);
}

TEST(alloc, huge_requests_fail_cleanly_and_zero_sizes_give_blocks)
{
    EXPECT_EQ(alloc_check_malloc(1ull << 62), nullptr);
    void* p = alloc_check_malloc(0);
    EXPECT_NE(p, nullptr);
    alloc_check_free(p);
    p = xmalloc(0);
    EXPECT_NE(p, nullptr);
    alloc_check_free(p);
}

TEST(alloc_death, out_of_memory_shows_the_box_and_exits_with_1)
{
    // Without a display the box falls back to standard error; a developer's
    // display would otherwise show a real box and wait for a click.
    EXPECT_EXIT(
        {
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            setenv("SDL_VIDEODRIVER", "dummy", 1);
            xmalloc(size_t(1) << 62);
        },
        ::testing::ExitedWithCode(1), "Out of virtual memory");
}

} // namespace
