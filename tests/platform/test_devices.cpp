// Axes: names, parsing and the device user count.
#include <gtest/gtest.h>

#include "platform/vesk_window_record.h"

namespace {

int opens, closes;
int count_open(vesk_device*) { return ++opens, 1; }
void count_close(vesk_device*) { closes++; }
int axis_value(vesk_window*, vesk_device*, int axis) { return 1000 + axis; }
int refuse_open(vesk_device*) { return 0; }
const vesk_device_ops counting_ops = {count_open, count_close, axis_value};
const vesk_device_ops refusing_ops = {refuse_open, nullptr, axis_value};

struct axes : ::testing::Test {
    vesk_window* window = vesk_window_record_new("test");
    axes() { opens = closes = 0; }
    ~axes() override { vesk_window_record_free(window); }
};

TEST_F(axes, device_opens_with_first_axis_and_closes_with_last)
{
    vesk_device_add(window, "stick", 3, 0, &counting_ops, nullptr);
    vesk_axis* a = vesk_axis_open(window, "stick.axis[0]");
    vesk_axis* b = vesk_axis_open(window, "stick axis 2");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(vesk_axis_read(a), 1000);
    EXPECT_EQ(vesk_axis_read(b), 1002);
    vesk_axis_close(a);
    EXPECT_EQ(closes, 0);
    vesk_axis_close(b);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(opens, 1);
}

TEST_F(axes, bad_names_and_failed_opens_give_null)
{
    vesk_device_add(window, "stick", 2, 0, &counting_ops, nullptr);
    vesk_device_add(window, "broken", 2, 0, &refusing_ops, nullptr);
    for (const char* name : {"stick.axis[2]", "stick axis -1", "stick.axis[]", "nothing.axis[0]", "stick",
                             "broken.axis[0]", ".axis[0]"}) {
        EXPECT_EQ(vesk_axis_open(window, name), nullptr) << name;
    }
    EXPECT_EQ(opens, 0);
}

TEST_F(axes, offered_names_open_when_device_names_hold_dots)
{
    // Controller names often carry "Inc." or a version number; every name the
    // window offers for learning must open again.
    const char* devices[] = {"Gizmo Inc. Pad 2.1", "a.axis[0]", "pad.", "x.y.z"};
    for (const char* d : devices) vesk_device_add(window, d, 2, 0, &counting_ops, nullptr);
    vesk_devices_collect_axis_names(window);
    int listed = 0;
    for (const char* const* name = vesk_axis_names(window); *name; name++, listed++) {
        vesk_axis* axis = vesk_axis_open(window, *name);
        ASSERT_NE(axis, nullptr) << *name;
        EXPECT_EQ(vesk_axis_read(axis), 1000 + listed % 2) << *name;
        EXPECT_STREQ(axis->device->name, devices[listed / 2]) << *name;
        vesk_axis_close(axis);
    }
    EXPECT_EQ(listed, 8);
    vesk_axis* spaced = vesk_axis_open(window, "Gizmo Inc. Pad 2.1 axis 1");
    ASSERT_NE(spaced, nullptr);
    EXPECT_EQ(vesk_axis_read(spaced), 1001);
    vesk_axis_close(spaced);
    EXPECT_EQ(vesk_axis_open(window, "Gizmo Inc. Pad 2.1.axis[2]"), nullptr);
    EXPECT_EQ(vesk_axis_open(window, "Gizmo Inc.axis[0]"), nullptr);
}

TEST_F(axes, names_list_every_axis_once_and_aliases_reach_them)
{
    vesk_device_add(window, "stick", 2, 0, &counting_ops, nullptr);
    vesk_device_add(window, "cursor", 2, 0, &counting_ops, nullptr);
    vesk_devices_collect_axis_names(window);
    const char* const* names = vesk_axis_names(window);
    const char* expected[] = {"stick.axis[0]", "stick.axis[1]", "cursor.axis[0]", "cursor.axis[1]"};
    for (int i = 0; i < 4; i++) EXPECT_STREQ(names[i], expected[i]);
    EXPECT_EQ(names[4], nullptr);
    vesk_alias_add("test-axis-y", "cursor.axis[1]");
    vesk_axis* y = vesk_axis_open(window, "test-axis-y");
    ASSERT_NE(y, nullptr);
    EXPECT_EQ(vesk_axis_read(y), 1001);
    vesk_axis_close(y);
}

}  // namespace
