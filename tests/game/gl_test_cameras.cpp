// The orbit and track cameras in the running program: four computer riders
// race the stadium; Tab turns to the orbit camera, the Left key circles it
// round the watched rider and the throttle key brings it nearer; Tab again
// shows the track cameras, the digit 1 picks the first and Sit/Dab lets the
// view follow the rider from camera to camera. Pictures of each view go to
// ZT_SHOT_DIR when it is set.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <ode/ode.h>

#include "core/game_state.h"
#include "game/cameras.h"
#include "game/main_loop.h"
#include "game/race_reset.h"
#include "game/startup.h"
#include "game/track_cameras.h"
#include "physics/rider.h"
#include "support_zentrik.h"
#include "ui/screenshot.h"

namespace {

// With "--lock-fps 32" every frame runs 4 tics: 32 frames a second.
constexpr int tics_per_frame = 4;
constexpr int menu_frame = 8;
constexpr int orbit_frame = 16;                  // Tab: riding view -> orbit camera
constexpr int left_frame = 24;                   // Left held ...
constexpr int left_frames = 64;                  // ... 256 tics: a quarter of a full turn
constexpr int throttle_frame = left_frame + left_frames + 8;
constexpr int throttle_frames = 32;              // 128 tics of 1/64 ft: 2 ft nearer
constexpr int cameras_frame = throttle_frame + throttle_frames + 8;  // Tab: track cameras
constexpr int digit_frame = cameras_frame + 4;
constexpr int dab_frame = digit_frame + 4;
constexpr int shot_frame = dab_frame + 160;  // 5 s of turning towards the rider
constexpr int quit_frame = shot_frame + 8;

struct camera_record {
    int orbit_view = -1, track_view = -1;
    float angle_before = 0, angle_after = 0;
    float distance_before = 0, distance_after = 0;
    int32_t camera_after_digit = -2, auto_after_dab = -1, camera_at_end = -2, cameras = 0;
    int own = -1;
    double aim_error = -1;  // radians between the current camera's view and the rider
} record;

double aim_error()
{
    int32_t c = selected_track_camera;
    const rider* r = watched_slot >= 0 && watched_slot < rider_slot_count ? rider_table[watched_slot] : nullptr;
    if (c < 0 || c >= track_cameras.count || !r) return -1;
    const track_camera& t = array_items<track_camera>(&track_cameras)[c];
    const dReal* p = dBodyGetPosition(r->frame_body);
    double d[3] = {p[0] - t.x, p[1] - t.y, p[2] - t.z};
    double n = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    // Yaw y and pitch p look along (sin y cos p, sin p, cos y cos p).
    double look[3] = {std::sin(t.yaw) * std::cos(t.pitch), std::sin(t.pitch), std::cos(t.yaw) * std::cos(t.pitch)};
    double dot = (look[0] * d[0] + look[1] * d[1] + look[2] * d[2]) / n;
    return std::acos(std::clamp(dot, -1.0, 1.0));
}

std::string shot_path(const char* name)
{
    const char* dir = getenv("ZT_SHOT_DIR");
    return dir ? std::string(dir) + "/" + name + ".png" : std::string();
}

void shot(const char* name)
{
    std::string path = shot_path(name);
    if (!path.empty()) screenshot_save_as(path.c_str());
}

void key(int scancode)
{
    push_key_event(scancode, true);
    push_key_event(scancode, false);
}

void camera_hook(int frame)
{
    if (frame == 0) {
        int32_t kinds[slot_total] = {};
        for (int i = 0; i < 4; i++) kinds[i] = 2;
        reset_session(kinds, 0, 0, 0, 3, 0);
    } else if (frame == menu_frame) {
        key(SDL_SCANCODE_ESCAPE);  // the main menu over the race closes
    } else if (frame == orbit_frame) {
        key(SDL_SCANCODE_TAB);
    } else if (frame == left_frame) {
        record.orbit_view = view_state;
        record.own = own_rider;
        record.angle_before = options.orbit_angle;
        shot("orbit_start");
        push_key_event(SDL_SCANCODE_LEFT, true);
    } else if (frame == left_frame + left_frames) {
        push_key_event(SDL_SCANCODE_LEFT, false);
    } else if (frame == throttle_frame) {
        record.angle_after = options.orbit_angle;
        record.distance_before = options.orbit_distance;
        shot("orbit_quarter_turn");
        push_key_event(SDL_SCANCODE_X, true);
    } else if (frame == throttle_frame + throttle_frames) {
        push_key_event(SDL_SCANCODE_X, false);
    } else if (frame == cameras_frame) {
        record.distance_after = options.orbit_distance;
        shot("orbit_nearer");
        key(SDL_SCANCODE_TAB);
    } else if (frame == digit_frame) {
        record.track_view = view_state;
        // The key, and the character it types.
        key(SDL_SCANCODE_1);
        SDL_Event e{};
        e.type = SDL_TEXTINPUT;
        e.text.text[0] = '1';
        SDL_PushEvent(&e);
    } else if (frame == dab_frame) {
        record.camera_after_digit = selected_track_camera;
        push_key_event(SDL_SCANCODE_RCTRL, true);  // held over a few tics
    } else if (frame == dab_frame + 2) {
        push_key_event(SDL_SCANCODE_RCTRL, false);
    } else if (frame == shot_frame) {
        record.auto_after_dab = auto_camera;
        record.camera_at_end = selected_track_camera;
        record.cameras = track_cameras.count;
        record.aim_error = aim_error();
        shot("track_camera");
    } else if (frame == quit_frame) {
        SDL_Event e{};
        e.type = SDL_QUIT;
        SDL_PushEvent(&e);
    }
}

TEST(cameras_in_the_program, orbit_turns_and_closes_in_and_the_track_cameras_follow)
{
    zentrik_setup setup;
    zentrik_environment_here(setup);
    static bool held = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && SDL_GL_LoadLibrary(nullptr) == 0;
    ASSERT_TRUE(held) << SDL_GetError();
    record = camera_record{};
    frame_hook = camera_hook;
    std::vector<std::string> words = {"zentrik", "--track", "stadium", "--nosound", "--lock-fps", "32"};
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    ASSERT_EQ(game_main(int(argv.size()), argv.data()), 0) << read_whole_file(setup.log_path());
    frame_hook = nullptr;

    EXPECT_EQ(record.orbit_view, view_orbit);
    EXPECT_EQ(record.own, 0) << "a computer rider is watched: the orbit controls steer the camera";
    // Left is full steer one way: 2 pi / 1024 a tic for 64 frames of 4 tics,
    // a quarter turn, give or take the tic or two on either side of the key's
    // time stamps.
    const double per_tic = 2 * M_PI / 1024;
    double turned = std::remainder(double(record.angle_after) - record.angle_before, 2 * M_PI);
    EXPECT_NEAR(std::fabs(turned), left_frames * tics_per_frame * per_tic, 2 * per_tic) << turned;
    // The throttle key: 1/64 ft nearer a tic for 32 frames of 4 tics = 2 ft.
    EXPECT_NEAR(record.distance_before - record.distance_after, throttle_frames * tics_per_frame / 64.0, 2 / 64.0);
    EXPECT_EQ(record.track_view, view_track_cameras);
    ASSERT_GT(record.cameras, 0) << "the stadium has track cameras";
    EXPECT_EQ(record.camera_after_digit, 0) << "the digit 1 picks the first camera";
    EXPECT_EQ(record.auto_after_dab, 1) << "Sit/Dab switched the automatic camera on";
    EXPECT_GE(record.camera_at_end, 0) << "automatic switching keeps to track cameras";
    EXPECT_LT(record.camera_at_end, record.cameras);
    // The camera turned from where the file left it onto the riders standing
    // at the start: within a few degrees after 5 s.
    EXPECT_GE(record.aim_error, 0);
    EXPECT_LT(record.aim_error, 3 * M_PI / 180) << record.aim_error * 180 / M_PI << " degrees off";
}

}  // namespace
