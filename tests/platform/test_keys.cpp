// Key names, the keyboard-usage table and device buttons by name.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/vesk_window_record.h"

namespace {

struct keys : ::testing::Test {
    vesk_window* window = vesk_window_record_new("test");
    ~keys() override { vesk_window_record_free(window); }
    uint32_t code_of(const char* name)
    {
        uint32_t code = 0;
        return vesk_key_by_name(window, &code, name) ? code : 0;
    }
};

TEST_F(keys, default_table_has_the_published_set1_codes)
{
    struct {
        const char* name;
        uint32_t code;
    } cases[] = {
        {"Esc", 0x1001},          {"0", 0x100B},        {"A", 0x101E},       {"Space", 0x1039},
        {" ", 0x1039},            {"F11", 0x1057},      {"Right Ctrl", 0x111D}, {"Insert", 0x1152},
        {"Keypad /", 0x1135},     {"Keypad Enter", 0x111C}, {"Num Lock", 0x1145}, {"Z", 0x102C},
        {"Backspace", 0x100E},    {"F12", 0x1058},      {"Keypad .", 0x1053}, {"Left Alt", 0x1038},
    };
    for (auto& c : cases) EXPECT_EQ(code_of(c.name), c.code) << c.name;
}

TEST_F(keys, first_98_rows_are_the_standard_table_in_order)
{
    ASSERT_GE(vesk_default_key_count, 98);
    EXPECT_STREQ(vesk_default_keys[0].name, "Esc");
    EXPECT_STREQ(vesk_default_keys[97].name, "Keypad .");
}

TEST_F(keys, every_name_maps_to_its_code_and_back)
{
    for (int i = 0; i < vesk_default_key_count; i++) {
        const vesk_key_row& row = vesk_default_keys[i];
        uint32_t code = code_of(row.name);
        ASSERT_EQ(code, vesk_code_key + row.scan) << row.name;
        const char* shown = vesk_key_name(window, code);
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(code_of(shown), code) << row.name;
    }
    EXPECT_STREQ(vesk_key_name(window, 0x1039), "Space");
}

TEST_F(keys, relaxed_names_and_specials)
{
    EXPECT_EQ(code_of("left_shift"), 0x102Au);
    EXPECT_EQ(code_of("LEFT SHIFT"), 0x102Au);
    EXPECT_EQ(code_of("keypad enter"), 0x111Cu);
    EXPECT_EQ(code_of("close"), 0xDEADu);
    EXPECT_EQ(code_of("Mouse Left"), 0x2000u);
    EXPECT_EQ(code_of("mouse_right"), 0x2002u);
    EXPECT_STREQ(vesk_key_name(window, 0xDEAD), "Close");
    EXPECT_STREQ(vesk_key_name(window, 0x2001), "Mouse Middle");
    EXPECT_EQ(code_of("no such key"), 0u);
}

TEST_F(keys, hex_names_need_digits_and_stay_below_0x200)
{
    EXPECT_EQ(code_of("0x1c"), 0x101Cu);
    EXPECT_EQ(code_of("0x1FF"), 0x11FFu);
    EXPECT_EQ(code_of("0x200"), 0u);
    EXPECT_EQ(code_of("0x"), 0u);
    EXPECT_EQ(code_of("0x1cz"), 0u);
    // A key without a row is named by its scan value, which parses back.
    EXPECT_STREQ(vesk_key_name(window, 0x1056), "0x56");
    EXPECT_EQ(code_of("0x56"), 0x1056u);
}

TEST_F(keys, usage_table_matches_published_set1_codes)
{
    // USB HID keyboard usages against PC set 1 as the system reports it.
    struct {
        int usage;
        uint32_t code;
    } cases[] = {
        {4, 0x101E},   {29, 0x102C},  {30, 0x1002},  {39, 0x100B},  {40, 0x101C},  {41, 0x1001},
        {42, 0x100E},  {44, 0x1039},  {68, 0x1057},  {73, 0x1152},  {83, 0x1145},  {84, 0x1135},
        {88, 0x111C},  {98, 0x1052},  {224, 0x101D}, {228, 0x111D}, {230, 0x1138}, {231, 0x115C},
        {0, 0},        {150, 0},      {232, 0},      {-1, 0},
    };
    for (auto& c : cases) EXPECT_EQ(vesk_key_code_for_usage(c.usage), c.code) << c.usage;
}

int opens, closes;
int count_open(vesk_device*) { return ++opens, 1; }
void count_close(vesk_device*) { closes++; }
const vesk_device_ops counting_ops = {count_open, count_close, nullptr};

TEST_F(keys, device_buttons_by_either_form)
{
    opens = closes = 0;
    vesk_device* pad = vesk_device_add(window, "pad", 2, 10, &counting_ops, nullptr);
    ASSERT_NE(pad, nullptr);
    EXPECT_EQ(code_of("pad.key[3]"), pad->id | 3);
    EXPECT_EQ(code_of("pad button 3"), pad->id | 3);
    EXPECT_EQ(pad->polling, 1);
    EXPECT_EQ(opens, 1);  // polling opened it once
    EXPECT_EQ(code_of("pad button 10"), 0u);
    EXPECT_EQ(code_of("pad button 256"), 0u);
    EXPECT_EQ(code_of("pad.key[256]"), 0u);
    EXPECT_EQ(code_of("pad.key[3]x"), 0u);
    EXPECT_EQ(code_of("other button 1"), 0u);
    EXPECT_STREQ(vesk_key_name(window, pad->id | 7), "pad button 7");
    EXPECT_EQ(vesk_key_name(window, (pad->id + (1u << 16)) | 7), nullptr);
}

TEST_F(keys, device_names_with_dots_stay_bindable)
{
    vesk_device* pad = vesk_device_add(window, "Gizmo Inc. Pad 2.1", 0, 12, nullptr, nullptr);
    vesk_device* odd = vesk_device_add(window, "b.key[1]", 0, 4, nullptr, nullptr);
    ASSERT_TRUE(pad && odd);
    EXPECT_EQ(code_of("Gizmo Inc. Pad 2.1.key[11]"), pad->id | 11);
    EXPECT_EQ(code_of("b.key[1].key[3]"), odd->id | 3);
    EXPECT_EQ(code_of("Gizmo Inc. Pad 2.1.key[12]"), 0u);
    EXPECT_EQ(code_of("Gizmo Inc.key[1]"), 0u);
}

TEST_F(keys, long_and_repeated_device_names_stay_bindable)
{
    std::string long_name(100, 'x');
    long_name += " Controller";
    vesk_device* a = vesk_device_add(window, long_name.c_str(), 2, 4, nullptr, nullptr);
    vesk_device* b = vesk_device_add(window, long_name.c_str(), 2, 4, nullptr, nullptr);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(strlen(a->name), 63u);
    EXPECT_LE(strlen(b->name), 63u);
    EXPECT_STRNE(a->name, b->name);
    for (vesk_device* d : {a, b}) {
        const char* shown = vesk_key_name(window, d->id | 2);
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(code_of(shown), d->id | 2) << shown;
    }
}

TEST_F(keys, aliases_resolve_before_names)
{
    vesk_alias_add("test-fire", "Right Ctrl");
    EXPECT_EQ(code_of("test-fire"), 0x111Du);
}

}  // namespace
