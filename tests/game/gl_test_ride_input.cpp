// A player rides: key presses and a game pad's axis, sent as SDL events into
// the running program, reach the rider through the bindings, and the bike on
// the practice track pulls away from the start and turns.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <ode/ode.h>

#include "core/game_state.h"
#include "game/main_loop.h"
#include "game/race_reset.h"
#include "game/startup.h"
#include "physics/rider.h"
#include "support_zentrik.h"

// The GL driver and the desktop-bus library keep a few blocks for the life of
// the process; they are theirs, not leaks of the game.
namespace {

// With "--lock-fps 32" every frame is 4 tics, so frames count time: 32 a second.
constexpr int settle_frame = 32;                 // 1 s standing on the start
constexpr int turn_frame = settle_frame + 96;    // 3 s of full throttle
constexpr int end_frame = turn_frame + 64;       // 2 s of steering
constexpr int pause_frame = end_frame + 1;      // the last frames are drawn paused
constexpr int quit_frame = end_frame + 4;

struct ride_sample {
    double x = 0, z = 0, heading = 0;
    int crashed = 0;
    bool taken = false;
};

struct ride_record {
    ride_sample start, before_turn, after_turn;
    int player_slot = -1;
    bool paused = false;
} record;

// Called at the top of every frame by the program's loop.
void (*press_throttle)(bool down);
void (*press_left)(bool down);

ride_sample sample()
{
    ride_sample s;
    const rider* r = watched_slot >= 0 && watched_slot < 160 ? rider_table[watched_slot] : nullptr;
    if (!r) return s;
    const dReal* p = dBodyGetPosition(r->frame_body);
    const dReal* R = dBodyGetRotation(r->frame_body);
    s.x = p[0];
    s.z = p[2];
    // Forward is the frame's -z axis: (sin heading, cos heading) in x, z.
    s.heading = std::atan2(-R[2], -R[10]);
    s.crashed = r->crash_tics;
    s.taken = true;
    return s;
}

void ride_hook(int frame)
{
    if (frame == 0) {
        // A lone player practising laps, as the menu's practice starts it.
        reset_session(nullptr, 0, 0, 0, 1000, 0);
        record.player_slot = watched_slot;
        // Lap mode stands the player at a gate of the lap, which may face a
        // jump: the input ride starts on the start gate's straight.
        if (rider_table[0]) drop_onto_ground(rider_table[0], start_place_of(0));
    } else if (frame == settle_frame) {
        record.start = sample();
        press_throttle(true);
    } else if (frame == turn_frame) {
        record.before_turn = sample();
        press_left(true);
    } else if (frame == end_frame) {
        record.after_turn = sample();
        press_left(false);
        press_throttle(false);
    } else if (frame == pause_frame) {
        push_key_event(SDL_SCANCODE_PAUSE, true);
        push_key_event(SDL_SCANCODE_PAUSE, false);
    } else if (frame == quit_frame) {
        record.paused = paused != 0;
        SDL_Event e{};
        e.type = SDL_QUIT;
        SDL_PushEvent(&e);
    }
}

void expect_ride(const ride_record& r)
{
    ASSERT_EQ(r.player_slot, 0) << "the player rides slot 0";
    ASSERT_TRUE(r.start.taken && r.before_turn.taken && r.after_turn.taken);
    // Forward along the heading it started with.
    double dx = r.before_turn.x - r.start.x, dz = r.before_turn.z - r.start.z;
    // The frame's forward direction at the start: (sin, cos) of its heading.
    double progress = dx * std::sin(r.start.heading) + dz * std::cos(r.start.heading);
    // Even a launch of a third of a g (10 ft/s^2, well under a 250's on
    // dirt) covers 45 ft in 3 s; a bike that only rocks in place covers none.
    EXPECT_GT(progress, 30.0) << "moved (" << dx << ", " << dz << ") ft";
    // Two seconds of full left steering at speed turn the bike left (its
    // heading grows: from +x toward -z, counter-clockwise seen from above) by
    // far more than the few degrees a straight run wanders.
    double turned = std::remainder(r.after_turn.heading - r.before_turn.heading, 2 * M_PI);
    EXPECT_GT(turned, 15.0 * M_PI / 180.0) << r.before_turn.heading << " -> " << r.after_turn.heading;
    EXPECT_EQ(r.after_turn.crashed, 0) << "rode without crashing";
    EXPECT_TRUE(r.paused) << "the Pause key reached the loop";
    printf("forward %.1f ft in 3 s, turned %.1f degrees left in 2 s\n", progress, turned * 180 / M_PI);
}

int run_game(zentrik_setup& setup)
{
    zentrik_environment_here(setup);
    // The video subsystem and the GL library stay loaded for the whole run:
    // unloading them would turn the driver's lasting blocks anonymous.
    static bool held = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && SDL_GL_LoadLibrary(nullptr) == 0;
    EXPECT_TRUE(held) << SDL_GetError();
    record = ride_record{};
    frame_hook = ride_hook;
    std::vector<std::string> words = {"zentrik", "--track", "practice", "--nosound", "--lock-fps", "32",
                                      "--console-commands", "/echo riding"};
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    return game_main(int(argv.size()), argv.data());
}

TEST(ride_input, keyboard_throttle_and_steering_through_the_default_keys)
{
    zentrik_setup setup;
    press_throttle = [](bool down) { push_key_event(SDL_SCANCODE_X, down); };
    press_left = [](bool down) { push_key_event(SDL_SCANCODE_LEFT, down); };
    ASSERT_EQ(run_game(setup), 0) << read_whole_file(setup.log_path());
    expect_ride(record);
}

SDL_Joystick* stick;

TEST(ride_input, game_pad_axes_through_axis_bindings)
{
    zentrik_setup setup;
    // Throttle and left steering on the positive halves of two stick axes.
    setup.config += "throttle_key=(0,1)Test Stick axis 1\nleft_key=(0,1)Test Stick axis 0\n";
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_FLIGHT_STICK;
    desc.naxes = 2;
    desc.nbuttons = 2;
    desc.name = "Test Stick";
    int index = SDL_JoystickAttachVirtualEx(&desc);
    ASSERT_GE(index, 0) << SDL_GetError();
    stick = SDL_JoystickOpen(index);
    ASSERT_NE(stick, nullptr) << SDL_GetError();
    press_throttle = [](bool down) { SDL_JoystickSetVirtualAxis(stick, 1, down ? 32767 : 0); };
    press_left = [](bool down) { SDL_JoystickSetVirtualAxis(stick, 0, down ? 32767 : 0); };
    int status = run_game(setup);
    SDL_JoystickClose(stick);
    SDL_JoystickDetachVirtual(index);
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    ASSERT_EQ(status, 0) << read_whole_file(setup.log_path());
    expect_ride(record);
}

}  // namespace
