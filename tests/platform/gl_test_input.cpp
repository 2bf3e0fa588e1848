// Native input through the back end: keys, text, mouse buttons, stamps,
// controllers on virtual joysticks and the cursor axes.
#include <algorithm>
#include <vector>

#include "support_gl_window.h"

namespace {

struct event {
    uint32_t code;
    int pressed;
};

struct input : gl_window_test {
    std::vector<event> drain()
    {
        std::vector<event> out;
        uint32_t code;
        int pressed;
        while (vesk_get_event(window, &code, &pressed)) out.push_back({code, pressed});
        return out;
    }
    void key(SDL_Scancode scancode, bool down)
    {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = window_id();
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.scancode = scancode;
        push(e);
    }
    void text(const char* utf8)
    {
        SDL_Event e{};
        e.type = SDL_TEXTINPUT;
        e.text.windowID = window_id();
        snprintf(e.text.text, sizeof e.text.text, "%s", utf8);
        push(e);
    }
};

TEST_F(input, keys_arrive_with_codes_and_pressed_flags)
{
    ASSERT_NE(open_gl(), nullptr);
    drain();
    key(SDL_SCANCODE_A, true);
    key(SDL_SCANCODE_A, false);
    key(SDL_SCANCODE_RCTRL, true);
    key(SDL_SCANCODE_KP_DIVIDE, true);
    std::vector<event> got = drain();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].code, 0x101Eu);
    EXPECT_EQ(got[0].pressed, 1);
    EXPECT_EQ(got[1].code, 0x101Eu);
    EXPECT_EQ(got[1].pressed, 0);
    EXPECT_EQ(got[2].code, 0x111Du);
    EXPECT_EQ(got[3].code, 0x1135u);
}

TEST_F(input, control_keys_also_type_their_characters)
{
    ASSERT_NE(open_gl(), nullptr);
    drain();
    struct {
        SDL_Scancode scancode;
        uint32_t key, character;
    } cases[] = {
        {SDL_SCANCODE_BACKSPACE, 0x100E, 8},
        {SDL_SCANCODE_TAB, 0x100F, 9},
        {SDL_SCANCODE_RETURN, 0x101C, 13},
        {SDL_SCANCODE_KP_ENTER, 0x111C, 13},
        {SDL_SCANCODE_ESCAPE, 0x1001, 27},
    };
    for (auto& c : cases) {
        key(c.scancode, true);
        key(c.scancode, false);
        std::vector<event> got = drain();
        ASSERT_EQ(got.size(), 3u) << c.key;
        EXPECT_EQ(got[0].code, c.key);
        EXPECT_EQ(got[1].code, c.character);
        EXPECT_EQ(got[1].pressed, 1);
        EXPECT_EQ(got[2].code, c.key);
        EXPECT_EQ(got[2].pressed, 0);
    }
}

TEST_F(input, text_gives_latin1_characters_only)
{
    ASSERT_NE(open_gl(), nullptr);
    drain();
    // U+010D and U+0108 would otherwise pose as Enter and Backspace.
    text("a\xC3\xA9\xC4\x8D\xC4\x88\xE2\x82\xAC" "b");
    std::vector<event> got = drain();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].code, uint32_t('a'));
    EXPECT_EQ(got[1].code, 0xE9u);
    EXPECT_EQ(got[2].code, uint32_t('b'));
}

TEST_F(input, mouse_buttons_and_stamps)
{
    ASSERT_NE(open_gl(), nullptr);
    drain();
    int32_t s0, us0, s1, us1;
    vesk_get_time(&s0, &us0);
    for (int button : {SDL_BUTTON_LEFT, SDL_BUTTON_MIDDLE, SDL_BUTTON_RIGHT, SDL_BUTTON_X1}) {
        SDL_Event e{};
        e.type = SDL_MOUSEBUTTONDOWN;
        e.button.windowID = window_id();
        e.button.button = Uint8(button);
        push(e);
    }
    vesk_window_pump(window);
    vesk_get_time(&s1, &us1);
    // Everything is stamped between the two clock readings.
    uint32_t code;
    int pressed;
    EXPECT_EQ(vesk_get_event_until(window, &code, &pressed, s0, us0 - 1000), 0);
    for (uint32_t want : {0x2000u, 0x2001u, 0x2002u}) {
        ASSERT_EQ(vesk_get_event_until(window, &code, &pressed, s1, us1), 1);
        EXPECT_EQ(code, want);
    }
    EXPECT_EQ(vesk_get_event(window, &code, &pressed), 0);
}

// Every stamp lies between a clock reading taken before the event was pushed
// and one taken after it was translated, at whatever point within a
// millisecond the push and the pump fall; the pauses spread them over it.
TEST_F(input, stamps_lie_between_the_push_and_the_pump)
{
    ASSERT_NE(open_gl(), nullptr);
    drain();
    for (int i = 0; i < 400; i++) {
        uint64_t before = vesk_time_ms();
        SDL_Event e{};
        e.type = SDL_MOUSEBUTTONDOWN;
        e.button.windowID = window_id();
        e.button.button = SDL_BUTTON_LEFT;
        push(e);
        // A pause of 0 to 997 microseconds, different each time.
        for (uint64_t until = SDL_GetPerformanceCounter() + SDL_GetPerformanceFrequency() * (i * 37 % 1000) / 1000000;
             SDL_GetPerformanceCounter() < until;) {
        }
        vesk_window_pump(window);
        uint64_t after = vesk_time_ms();
        // A stamp is a whole millisecond, so "before it" is a microsecond
        // short of the earlier reading.
        uint64_t early = before * 1000 - 1;
        uint32_t code;
        int pressed;
        ASSERT_EQ(vesk_get_event_until(window, &code, &pressed, int32_t(early / 1000000), int32_t(early % 1000000)), 0)
            << "stamped before the push, round " << i;
        ASSERT_EQ(vesk_get_event_until(window, &code, &pressed, int32_t(after / 1000), int32_t(after % 1000) * 1000), 1)
            << "stamped after the pump, round " << i;
        EXPECT_EQ(code, 0x2000u);
    }
}

// A virtual device attached before the window opens, so that the window
// lists it.
struct controllers : input {
    int stick_index = -1, pad_index = -1;
    void SetUp() override
    {
        input::SetUp();
        // Without a window manager the window may not have the focus, and
        // SDL drops controller input of unfocused programs by default.
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER), 0);
        SDL_VirtualJoystickDesc stick{};
        stick.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        stick.type = SDL_JOYSTICK_TYPE_FLIGHT_STICK;
        stick.naxes = 3;
        stick.nbuttons = 5;
        stick.name = "Test Stick";
        stick_index = SDL_JoystickAttachVirtualEx(&stick);
        SDL_VirtualJoystickDesc pad{};
        pad.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        pad.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        pad.naxes = SDL_CONTROLLER_AXIS_MAX;
        pad.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        pad.name = "Test Pad";
        pad_index = SDL_JoystickAttachVirtualEx(&pad);
        ASSERT_GE(stick_index, 0) << SDL_GetError();
        ASSERT_GE(pad_index, 0) << SDL_GetError();
    }
    void TearDown() override
    {
        input::TearDown();
        for (int i = SDL_NumJoysticks() - 1; i >= 0; i--) {
            if (SDL_JoystickIsVirtual(i)) SDL_JoystickDetachVirtual(i);
        }
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
    }
    SDL_Joystick* joystick_of(const char* name)
    {
        vesk_device* device = vesk_device_by_name(window, name);
        return device ? SDL_JoystickFromInstanceID(device->instance) : nullptr;
    }
};

TEST_F(controllers, devices_are_listed_with_their_axes)
{
    ASSERT_NE(open_gl(), nullptr);
    std::vector<std::string> names;
    for (const char* const* n = vesk_axis_names(window); *n; n++) names.push_back(*n);
    auto has = [&](const char* n) { return std::find(names.begin(), names.end(), n) != names.end(); };
    EXPECT_TRUE(has("Test Stick.axis[2]"));
    EXPECT_FALSE(has("Test Stick.axis[3]"));
    EXPECT_TRUE(has("Test Pad.axis[5]"));
    EXPECT_TRUE(has("cursor.axis[0]"));
    EXPECT_TRUE(has("cursor.axis[1]"));
}

TEST_F(controllers, joystick_axis_and_button)
{
    ASSERT_NE(open_gl(), nullptr);
    vesk_axis* axis = vesk_axis_open(window, "Test Stick axis 1");
    ASSERT_NE(axis, nullptr);
    uint32_t code = 0;
    ASSERT_EQ(vesk_key_by_name(window, &code, "Test Stick button 2"), 1);
    SDL_Joystick* joystick = joystick_of("Test Stick");
    ASSERT_NE(joystick, nullptr);
    drain();
    ASSERT_EQ(SDL_JoystickSetVirtualAxis(joystick, 1, -20000), 0) << SDL_GetError();
    ASSERT_EQ(SDL_JoystickSetVirtualButton(joystick, 2, SDL_PRESSED), 0) << SDL_GetError();
    std::vector<event> got = drain();
    EXPECT_EQ(vesk_axis_read(axis), -20000);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].code, code);
    EXPECT_EQ(got[0].pressed, 1);
    EXPECT_STREQ(vesk_key_name(window, code), "Test Stick button 2");
    SDL_JoystickSetVirtualButton(joystick, 2, SDL_RELEASED);
    got = drain();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].pressed, 0);
    vesk_axis_close(axis);
}

TEST_F(controllers, pad_axis_and_button)
{
    ASSERT_NE(open_gl(), nullptr);
    vesk_device* device = vesk_device_by_name(window, "Test Pad");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->is_controller, 1);
    vesk_axis* axis = vesk_axis_open(window, "Test Pad.axis[0]");
    ASSERT_NE(axis, nullptr);
    uint32_t code = 0;
    ASSERT_EQ(vesk_key_by_name(window, &code, "Test Pad.key[0]"), 1);
    SDL_Joystick* joystick = joystick_of("Test Pad");
    ASSERT_NE(joystick, nullptr);
    drain();
    ASSERT_EQ(SDL_JoystickSetVirtualAxis(joystick, 0, 32767), 0) << SDL_GetError();
    ASSERT_EQ(SDL_JoystickSetVirtualButton(joystick, 0, SDL_PRESSED), 0) << SDL_GetError();
    std::vector<event> got = drain();
    EXPECT_EQ(vesk_axis_read(axis), 32767);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].code, device->id);
    vesk_axis_close(axis);
}

TEST_F(input, cursor_axes_read_client_pixels)
{
    ASSERT_NE(open_gl(), nullptr);
    vesk_axis* x = vesk_axis_open(window, "cursor-x");
    vesk_axis* y = vesk_axis_open(window, "cursor-y");
    ASSERT_TRUE(x && y);
    SDL_WarpMouseInWindow(static_cast<SDL_Window*>(window->native), 100, 50);
    // The warp reaches the back end as a motion event some time later.
    for (int i = 0; i < 200 && (vesk_axis_read(x) != 100 || vesk_axis_read(y) != 50); i++) {
        drain();
        SDL_Delay(5);
    }
    EXPECT_EQ(vesk_axis_read(x), 100);
    EXPECT_EQ(vesk_axis_read(y), 50);
    vesk_axis_close(x);
    vesk_axis_close(y);
}

}  // namespace
