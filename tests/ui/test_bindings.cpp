// Control bindings: the value format, key and axis readings summed into the
// control channels, and learning a binding from a moved axis or a key.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/game_state.h"
#include "platform/vesk_input.h"
#include "platform/vesk_window_record.h"
#include "ui/bindings.h"

namespace {

uint32_t code_of(const char* name)
{
    uint32_t code = 0;
    EXPECT_TRUE(vesk_key_by_name(nullptr, &code, name)) << name;
    return code;
}

TEST(binding_parse, keys_axes_and_ranges_that_bind_nothing)
{
    struct row {
        const char* value;
        const char* key;   // expected key name, null for none
        const char* axis;  // expected axis name, null for none
        float start, end;
    } rows[] = {
        {"(k)X", "X", nullptr, 0, 1},
        {"X", "X", nullptr, 0, 1},
        {"  (k)right ctrl", "right ctrl", nullptr, 0, 1},
        {"(-1,1)joy axis 0", nullptr, "joy axis 0", -1, 1},
        {"(0.25,-0.75)pad.axis[3]", nullptr, "pad.axis[3]", 0.25f, -0.75f},
        // An empty range would divide by zero at every reading.
        {"(0.5,0.5)joy axis 0", nullptr, nullptr, 0, 1},
        {"(1,1.0000001)joy axis 0", nullptr, nullptr, 0, 1},
        {"(nan,1)joy axis 0", nullptr, nullptr, 0, 1},
        {"(0,inf)joy axis 0", nullptr, nullptr, 0, 1},
        {"(0,1)", nullptr, nullptr, 0, 1},  // a range and no axis
        {"(abc)X", "(abc)X", nullptr, 0, 1},
        {"", nullptr, nullptr, 0, 1},
        {"(k)", nullptr, nullptr, 0, 1},
    };
    for (const row& r : rows) {
        menu_binding b = {"Test", "old", 7, nullptr, nullptr, 3, 4, {}};
        binding_parse(&b, r.value);
        if (r.key)
            EXPECT_STREQ(b.key_name, r.key) << r.value;
        else
            EXPECT_EQ(b.key_name, nullptr) << r.value;
        if (r.axis)
            EXPECT_STREQ(b.axis_name, r.axis) << r.value;
        else
            EXPECT_EQ(b.axis_name, nullptr) << r.value;
        EXPECT_EQ(b.key_code, 0u) << r.value;
        EXPECT_EQ(b.range_start, r.start) << r.value;
        EXPECT_EQ(b.range_end, r.end) << r.value;
    }
}

TEST(binding_parse, written_values_read_back_exactly)
{
    // Float ranges that need all nine digits.
    menu_binding b = {"Test", nullptr, 0, "pad axis 1", nullptr, 0.1f, -0.33333334f, {}};
    char line[256];
    binding_format(line, sizeof line, "throttle_key", &b);
    std::string text = line;
    ASSERT_EQ(text.rfind("throttle_key=", 0), 0u);
    std::string value = text.substr(13, text.size() - 14);
    menu_binding back = {};
    binding_parse(&back, value.c_str());
    EXPECT_EQ(back.range_start, 0.1f);
    EXPECT_EQ(back.range_end, -0.33333334f);
    EXPECT_STREQ(back.axis_name, "pad axis 1");
    char text_line[64];
    binding_text(&back, text_line, sizeof text_line);
    EXPECT_STREQ(text_line, "pad axis 1 (Negative)");
}

TEST(binding_axis, readings_become_zero_to_one_and_never_nan)
{
    struct row {
        float start, end;
        int32_t raw;
        float want;
    } rows[] = {
        {0, 1, 0, 0},          {0, 1, 16384, 0.5f},    {0, 1, -20000, 0},      {0, 1, 32767, 32767 / 32768.0f},
        {0, -1, -16384, 0.5f}, {0, -1, 16384, 0},      {-1, 1, 0, 0.5f},       {0.0625f, 0.9375f, 32767, 1},
        // Empty ranges: every reading is 0, far from the range as well.
        {0.5f, 0.5f, 32767, 0}, {0.5f, 0.5f, -32768, 0}, {NAN, 1, 100, 0},
    };
    for (const row& r : rows) {
        menu_binding b = {"Test", nullptr, 0, "a", nullptr, r.start, r.end, {}};
        float v = binding_axis_fraction(&b, r.raw);
        EXPECT_FALSE(std::isnan(v));
        EXPECT_FLOAT_EQ(v, r.want) << r.start << ".." << r.end << " raw " << r.raw;
    }
}

struct channels_test : ::testing::Test {
    void SetUp() override
    {
        bindings_defaults();
        bindings_apply_all();
    }
    void TearDown() override
    {
        bindings_close_axes();
        bindings_defaults();
    }
    float channel(int i)
    {
        control_channels_update();
        return control_channels[i];
    }
};

TEST_F(channels_test, default_keys_drive_the_nine_channels)
{
    EXPECT_EQ(channel(channel_throttle), 0);
    bindings_key_event(code_of("x"), 1);
    EXPECT_EQ(channel(channel_throttle), 1);
    bindings_key_event(code_of("Left"), 1);
    EXPECT_EQ(channel(channel_steer), 1);
    bindings_key_event(code_of("right"), 1);
    EXPECT_EQ(channel(channel_steer), 0) << "left and right cancel";
    bindings_key_event(code_of("left"), 0);
    EXPECT_EQ(channel(channel_steer), -1);
    bindings_key_event(code_of("n"), 1);
    EXPECT_EQ(channel(channel_lean), -1) << "lean forward is negative";
    bindings_key_event(code_of("m"), 1);
    EXPECT_EQ(channel(channel_lean), 0);
    bindings_key_event(code_of("down"), 1);
    EXPECT_EQ(channel(channel_shift), -1);
    bindings_key_event(code_of("right ctrl"), 1);
    EXPECT_EQ(channel(channel_dab), 1);
    bindings_key_event(code_of("x"), 0);
    EXPECT_EQ(channel(channel_throttle), 0);
    // A special key feeds no channel.
    bindings_key_event(code_of("pause"), 1);
    for (int i = 0; i < control_channel_count; i++) {
        if (i == channel_steer || i == channel_shift || i == channel_dab) continue;
        EXPECT_EQ(control_channels[i], 0) << i;
    }
}

int32_t pad_values[2];
int pad_open(vesk_device*) { return 1; }
int pad_read(vesk_window*, vesk_device*, int axis) { return pad_values[axis]; }
const vesk_device_ops pad_ops = {pad_open, nullptr, pad_read};

struct pad_test : channels_test {
    void SetUp() override
    {
        window = vesk_window_record_new("test");
        vesk_device_add(window, "pad", 2, 0, &pad_ops, nullptr);
        vesk_devices_collect_axis_names(window);
        game_window = window;
        pad_values[0] = pad_values[1] = 0;
        channels_test::SetUp();
    }
    void TearDown() override
    {
        binding_capture_cancel();
        channels_test::TearDown();
        game_window = nullptr;
        vesk_window_record_free(window);
    }
    vesk_window* window = nullptr;
};

TEST_F(pad_test, an_axis_binding_reads_its_range)
{
    menu_binding* throttle = binding_for_key("throttle_key");
    binding_parse(throttle, "(0,-1)pad axis 1");
    binding_apply(throttle);
    ASSERT_NE(throttle->axis, nullptr);
    pad_values[1] = -16384;
    EXPECT_FLOAT_EQ(channel(channel_throttle), 0.5f);
    pad_values[1] = 32000;
    EXPECT_EQ(channel(channel_throttle), 0);
    // A range left empty by a hand-edited file reads nothing.
    throttle->range_start = throttle->range_end = -0.5f;
    pad_values[1] = -32768;
    EXPECT_EQ(channel(channel_throttle), 0);
}

TEST_F(pad_test, learning_takes_the_axis_swung_past_half_once_settled)
{
    menu_binding* clutch = binding_for_key("clutch_key");
    binding_learn_start(clutch, 10.0);
    ASSERT_EQ(binding_learning.axis_count, 2);
    pad_values[0] = -8000;   // a small wobble: not enough
    pad_values[1] = -24576;  // -0.75, swung from 0
    binding_capture(10.1);
    binding_capture(10.3);
    EXPECT_EQ(binding_learning.binding, clutch) << "0.2 s after the last change is not settled";
    binding_capture(10.36);
    EXPECT_EQ(binding_learning.binding, nullptr);
    EXPECT_EQ(clutch->key_name, nullptr);
    EXPECT_STREQ(clutch->axis_name, "pad.axis[1]");
    EXPECT_NE(clutch->axis, nullptr);
    // 1/16 and 15/16 of the way from rest to the farthest reading.
    EXPECT_FLOAT_EQ(clutch->range_start, -0.75f * 0.0625f);
    EXPECT_FLOAT_EQ(clutch->range_end, -0.75f * 0.9375f);
}

TEST_F(pad_test, learning_takes_a_key_and_esc_leaves_the_binding)
{
    menu_binding* dab = binding_for_key("dab_key");
    binding_learn_start(dab, 5.0);
    char text[64];
    binding_text(dab, text, sizeof text);
    EXPECT_STREQ(text, "<<PRESS A KEY>>");
    EXPECT_TRUE(binding_capture_key(code_of("q"), 1, 5.1));
    EXPECT_TRUE(binding_capture_key(code_of("w"), 1, 5.2)) << "taken, but the first key stays";
    EXPECT_FALSE(binding_capture_key(code_of("q"), 0, 5.2)) << "releases go on to the game";
    binding_capture(5.3);
    EXPECT_EQ(binding_learning.binding, dab);
    binding_capture(5.36);
    EXPECT_EQ(binding_learning.binding, nullptr);
    EXPECT_EQ(dab->key_code, code_of("q"));

    binding_learn_start(dab, 8.0);
    EXPECT_TRUE(binding_capture_key(code_of("esc"), 1, 8.1));
    EXPECT_EQ(binding_learning.binding, nullptr);
    EXPECT_EQ(dab->key_code, code_of("q"));
    binding_capture(9.0);
    EXPECT_EQ(dab->key_code, code_of("q"));
}

} // namespace
