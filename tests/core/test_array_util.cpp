#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "core/alloc.h"
#include "core/array.h"
#include "core/util.h"

namespace {

struct item40 {
    char bytes[40];
};

TEST(growable_array, doubles_from_16_and_keeps_values)
{
    growable_array a;
    array_init(&a, sizeof(int));
    for (int i = 0; i < 17; i++) ASSERT_EQ(array_push(&a, &i), 1);
    EXPECT_EQ(a.capacity, 32);
    EXPECT_EQ(a.count, 17);
    for (int i = 0; i < 17; i++) EXPECT_EQ(array_items<int>(&a)[i], i);
    ASSERT_EQ(array_push(&a, nullptr), 1);
    EXPECT_EQ(array_items<int>(&a)[17], 0);
    array_free(&a);
}

TEST(growable_array, detach_hands_back_the_elements_and_the_array_grows_again)
{
    growable_array a;
    array_init(&a, sizeof(item40));
    item40 x[3];
    for (int i = 0; i < 3; i++) {
        memset(x[i].bytes, 'a' + i, sizeof x[i].bytes);
        array_push(&a, &x[i]);
    }
    auto* out = static_cast<item40*>(array_detach(&a));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(memcmp(out, x, sizeof x), 0);
    EXPECT_EQ(a.items, nullptr);
    EXPECT_EQ(a.capacity, 0);
    EXPECT_EQ(a.count, 0);
    alloc_check_free(out);

    // A push after a detach starts a new buffer instead of writing past an
    // empty one.
    ASSERT_EQ(array_push(&a, &x[2]), 1);
    EXPECT_EQ(a.capacity, 16);
    EXPECT_EQ(memcmp(array_items<item40>(&a), &x[2], sizeof x[2]), 0);
    void* again = array_detach(&a);
    EXPECT_NE(again, nullptr);
    alloc_check_free(again);

    growable_array empty;
    array_init(&empty, 8);
    EXPECT_EQ(array_detach(&empty), nullptr);
}

TEST(growable_array, failed_growth_leaves_the_array_unchanged)
{
    const struct {
        int32_t capacity, element_size;
    } cases[] = {
        {1 << 30, 4},        // doubling would pass INT32_MAX elements
        {1 << 21, 1 << 29},  // 2^51 bytes: the heap refuses
    };
    for (const auto& c : cases) {
        growable_array a;
        a.items = alloc_check_malloc(16);
        a.capacity = c.capacity;
        a.count = c.capacity;
        a.element_size = c.element_size;
        void* items = a.items;
        EXPECT_EQ(array_push(&a, nullptr), 0);
        EXPECT_EQ(a.items, items);
        EXPECT_EQ(a.capacity, c.capacity);
        EXPECT_EQ(a.count, c.capacity);
        alloc_check_free(items);
    }
}

TEST(growable_array, insert_and_remove_at_keep_the_order_and_refuse_bad_indexes)
{
    growable_array a;
    array_init(&a, sizeof(int32_t));
    for (int32_t v : {10, 20, 30}) array_push(&a, &v);
    int32_t v = 15;
    EXPECT_EQ(array_insert_at(&a, 1, &v), 1);  // 10 15 20 30
    v = 5;
    EXPECT_EQ(array_insert_at(&a, 0, &v), 1);  // 5 10 15 20 30
    v = 35;
    EXPECT_EQ(array_insert_at(&a, 5, &v), 1);  // at count: appended
    EXPECT_EQ(array_insert_at(&a, 7, &v), 0);
    EXPECT_EQ(array_insert_at(&a, -1, &v), 0);
    EXPECT_EQ(array_remove_at(&a, 2), 1);  // 5 10 20 30 35
    EXPECT_EQ(array_remove_at(&a, 5), 0);
    EXPECT_EQ(array_remove_at(&a, -1), 0);
    const int32_t want[] = {5, 10, 20, 30, 35};
    ASSERT_EQ(a.count, 5);
    for (int i = 0; i < 5; i++) EXPECT_EQ(array_items<int32_t>(&a)[i], want[i]) << i;
    // Past the first 16, inserting at the front grows the array.
    for (int k = 0; k < 20; k++) array_insert_at(&a, 0, nullptr);
    EXPECT_EQ(a.count, 25);
    EXPECT_EQ(array_items<int32_t>(&a)[0], 0);
    EXPECT_EQ(array_items<int32_t>(&a)[24], 35);
    array_free(&a);
}

TEST(intern_string, same_text_same_pointer_case_sensitive)
{
    char a[] = "Bike";
    char b[] = "Bike";
    const char* p = intern_string(a);
    EXPECT_EQ(intern_string(b), p);
    EXPECT_NE(intern_string("bike"), p);
    EXPECT_STREQ(p, "Bike");
}

TEST(copy_bounded, cuts_and_always_terminates)
{
    const struct {
        int size;
        const char* expected;
    } cases[] = {{4, "hou"}, {5, "hous"}, {6, "house"}, {100, "house"}, {1, ""}};
    for (const auto& c : cases) {
        char out[128];
        memset(out, 'x', sizeof out);
        copy_bounded(out, "house", c.size);
        EXPECT_STREQ(out, c.expected) << c.size;
    }
    char guard[4] = {'a', 'b', 'c', 'd'};
    copy_bounded(guard + 1, "house", 0); // nothing written, before or at dest
    copy_bounded(guard + 1, "house", -5);
    EXPECT_EQ(std::string(guard, 4), "abcd");
}

TEST(string_helpers, keywords_suffixes_and_trimming)
{
    EXPECT_TRUE(keyword_match("  gate 1 2", "gate"));
    EXPECT_TRUE(keyword_match("\tgate\t3", "gate"));
    EXPECT_TRUE(keyword_match("gate", "gate"));
    EXPECT_FALSE(keyword_match("gates 1", "gate"));
    EXPECT_FALSE(keyword_match("gat", "gate"));

    EXPECT_TRUE(ends_with("map.png", ".png"));
    EXPECT_FALSE(ends_with("map.PNG", ".png"));
    EXPECT_FALSE(ends_with("png", ".png"));

    char text[] = "value \t\r\n ";
    trim_trailing_blanks(text);
    EXPECT_STREQ(text, "value");
    char high[] = "caf\xe9 ";
    trim_trailing_blanks(high); // bytes above 0x7f are not blanks
    EXPECT_STREQ(high, "caf\xe9");
}

struct args {
    std::vector<std::string> storage;
    std::vector<char*> pointers;
    option_cursor cursor;
    explicit args(std::initializer_list<const char*> list)
    {
        for (const char* s : list) storage.emplace_back(s);
        for (auto& s : storage) pointers.push_back(s.data());
        cursor = {int32_t(pointers.size()), pointers.data(), 0};
    }
};

TEST(option_cursor, values_flags_and_the_end_of_options)
{
    const char* v = nullptr;
    {
        args a{"--track", "moto", "--laps=3", "--lapsx=4"};
        EXPECT_EQ(option_value(&a.cursor, "--track", &v), 1);
        EXPECT_STREQ(v, "moto");
        EXPECT_EQ(option_value(&a.cursor, "--laps", &v), 1);
        EXPECT_STREQ(v, "3");
        EXPECT_EQ(option_value(&a.cursor, "--laps", &v), 0); // "--lapsx=4" is another option
        EXPECT_EQ(a.cursor.remaining, 1);
    }
    {
        args a{"--track"};
        v = "unchanged";
        EXPECT_EQ(option_value(&a.cursor, "--track", &v), 1);
        EXPECT_EQ(v, nullptr);
        EXPECT_EQ(a.cursor.remaining, 0);
        EXPECT_EQ(option_value(&a.cursor, "--track", &v), 0);
    }
    {
        // A value option takes the next argument whatever it is, "--" included.
        args a{"--track", "--", "demo.ztdemo"};
        EXPECT_EQ(option_value(&a.cursor, "--track", &v), 1);
        EXPECT_STREQ(v, "--");
    }
    {
        args a{"--", "--warp", "--track", "x"};
        EXPECT_EQ(option_value(&a.cursor, "--track", &v), 0);
        EXPECT_EQ(a.cursor.options_ended, 1);
        EXPECT_EQ(option_flag(&a.cursor, "--warp"), 0);
        EXPECT_EQ(option_value(&a.cursor, "--warp", &v), 0);
        EXPECT_EQ(a.cursor.remaining, 3);
    }
    {
        args a{"--warp", "--warp"};
        EXPECT_EQ(option_flag(&a.cursor, "--warp"), 1);
        EXPECT_EQ(option_value(&a.cursor, "--warp", nullptr), 1); // no place for a value: a flag
        EXPECT_EQ(a.cursor.remaining, 0);
    }
}

// What reaches the platform's sleep: nothing for durations that are no
// duration at all (a cast of NaN or -1e300 to an integer is undefined, and
// could come out as any length), a day at most, and the fraction in whole
// microseconds (2^-10 s is 976.5625 µs).
TEST(sleep_seconds, hostile_durations_never_reach_the_platform)
{
    for (double s : {-1.0, -1e300, -HUGE_VAL, std::nan(""), -std::nan(""), 0.0, -0.0}) {
        int32_t whole, microseconds;
        EXPECT_EQ(sleep_split(s, &whole, &microseconds), 0) << s;
    }
    const struct {
        double seconds;
        int32_t whole, microseconds;
    } cases[] = {
        {1.5, 1, 500000}, {0.25, 0, 250000}, {2.0, 2, 0}, {86400.0, 86400, 0},
        {86400.5, 86400, 0}, {1e300, 86400, 0}, {HUGE_VAL, 86400, 0}, {0.0009765625, 0, 976},
        {4e-7, 0, 0}, {1e-300, 0, 0},
    };
    for (const auto& c : cases) {
        int32_t whole = -7, microseconds = -7;
        EXPECT_EQ(sleep_split(c.seconds, &whole, &microseconds), 1) << c.seconds;
        EXPECT_EQ(whole, c.whole) << c.seconds;
        EXPECT_EQ(microseconds, c.microseconds) << c.seconds;
    }
    for (double s : {-1.0, -1e300, std::nan(""), 0.0}) sleep_seconds(s); // and the call itself comes back
}

} // namespace
