// The engines heard in a race: the practice track ridden through the real
// program with "--record-audio", full throttle from a standstill past a
// listening point. The recording is measured against the rider's own rpm.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <ode/ode.h>

#include "core/game_state.h"
#include "game/capture.h"
#include "game/race_reset.h"
#include "game/startup.h"
#include "physics/physics_tic.h"
#include "physics/rider.h"
#include "physics/rider_access.h"
#include "support_zentrik.h"
#include "ui/engine_sound.h"

namespace {

// "--lock-fps 32": every frame is 4 tics, 4 x 690 captured samples.
constexpr int samples_per_frame = 4 * capture_samples_per_tic;
constexpr int throttle_frame = 32;               // 1 s standing on the start
constexpr int release_frame = throttle_frame + 128;  // 4 s of full throttle
constexpr int quit_frame = release_frame + 8;

struct frame_state {
    float rpm = 0;
    int gear = 0;
    double x = 0, y = 0, z = 0;
};
std::vector<frame_state> frames;
float listen_at[3];

void audio_hook(int frame)
{
    if (frame == 0) {
        reset_session(nullptr, 0, 0, 0, 1000, 0);
        // Lap mode stands the player at a gate of the lap, which may face a
        // jump: the run starts on the start gate's straight.
        if (rider_table[0]) drop_onto_ground(rider_table[0], start_place_of(0));
    }
    const rider* r = watched_slot >= 0 && watched_slot < 160 ? rider_table[watched_slot] : nullptr;
    frame_state s;
    if (r) {
        const dReal* p = dBodyGetPosition(r->frame_body);
        s = {rider_engine_rpm(r), rider_get_gear(r), p[0], p[1], p[2]};
        if (frame == throttle_frame) {
            // A listening point 80 ft ahead along the bike's heading, 10 ft
            // to its side: the rider passes it at speed.
            const dReal* R = dBodyGetRotation(r->frame_body);
            double fx = -R[2], fz = -R[10];
            listen_at[0] = float(p[0] + 80 * fx + 10 * fz);
            listen_at[1] = float(p[1] + 3);
            listen_at[2] = float(p[2] + 80 * fz - 10 * fx);
        }
    }
    if (frame >= throttle_frame) {
        // The views place the listener as they draw; this run holds it still.
        sound_listener = {{listen_at[0], listen_at[1], listen_at[2]}, {1, 0, 0}, {0, 0, 0}};
    }
    frames.push_back(s);
    if (frame == throttle_frame) push_key_event(SDL_SCANCODE_X, true);
    if (frame == release_frame) push_key_event(SDL_SCANCODE_X, false);
    if (frame == quit_frame) {
        SDL_Event e{};
        e.type = SDL_QUIT;
        SDL_PushEvent(&e);
    }
}

double rms(const std::vector<int16_t>& s, size_t from, size_t count)
{
    double sum = 0;
    for (size_t i = from; i < from + count && i < s.size(); i++) sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(count));
}

// The period of the strongest repeat between low and high Hz: the shortest
// lag whose normalised autocorrelation is a peak within 10 % of the best.
double pitch(const std::vector<int16_t>& s, size_t from, size_t count, double low, double high)
{
    int min_lag = int(capture_audio_rate / high), max_lag = int(capture_audio_rate / low);
    if (from + count + size_t(max_lag) + 2 > s.size()) return 0;
    std::vector<double> r(size_t(max_lag) + 2);
    for (int lag = min_lag; lag <= max_lag + 1; lag++) {
        double xy = 0, xx = 0, yy = 0;
        for (size_t i = from; i < from + count; i++) {
            double a = s[i], b = s[i + size_t(lag)];
            xy += a * b, xx += a * a, yy += b * b;
        }
        r[size_t(lag)] = xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0;
    }
    double best = 0;
    for (int lag = min_lag + 1; lag <= max_lag; lag++) best = std::max(best, r[size_t(lag)]);
    for (int lag = min_lag + 1; lag <= max_lag; lag++)
        if (r[size_t(lag)] >= 0.9 * best && r[size_t(lag)] >= r[size_t(lag) - 1] && r[size_t(lag)] >= r[size_t(lag) + 1])
            return double(capture_audio_rate) / lag;
    return 0;
}

TEST(engine_audio, a_race_on_the_practice_track_is_heard)
{
    zentrik_setup setup;
    std::string raw = setup.scratch.file("race.raw");
    zentrik_environment_here(setup);
    static bool held = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && SDL_GL_LoadLibrary(nullptr) == 0;
    ASSERT_TRUE(held) << SDL_GetError();
    frames.clear();
    frame_hook = audio_hook;
    // The run listens from a fixed point beside the track, not from the view.
    sound_listener_follows_view = 0;
    std::vector<std::string> words = {"zentrik", "--track", "practice", "--record-audio", raw, "--lock-fps", "32", "--console-commands", "/echo engines"};
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    ASSERT_EQ(game_main(int(argv.size()), argv.data()), 0) << read_whole_file(setup.log_path());
    frame_hook = nullptr;
    sound_listener_follows_view = 1;

    std::string bytes = read_whole_file(raw);
    std::vector<int16_t> s(bytes.size() / 2);
    for (size_t i = 0; i < s.size(); i++)
        s[i] = int16_t(uint8_t(bytes[2 * i]) | (uint8_t(bytes[2 * i + 1]) << 8));
    ASSERT_GE(s.size(), size_t(quit_frame - 1) * samples_per_frame);
    ASSERT_EQ(frames.size(), size_t(quit_frame + 1));

    // Audible while idling on the start, after the set-up's silent quarter
    // second: well above silence (1/300 of full scale; a rider 80 ft away
    // idles at about 1/30).
    EXPECT_GT(rms(s, size_t(16) * samples_per_frame, size_t(16) * samples_per_frame), 100.0) << "idling engine";

    // Every eighth of a second from 1/4 s into the throttle: the heard
    // fundamental against the firing rate (a four-stroke fires every second
    // revolution) of the rider's mean rpm a write-ahead (0.1 s, 3 frames)
    // earlier; the level against the distance to the listening point.
    struct window {
        double rpm, rpm_spread, firing, heard, level, distance;
        int gear;
    };
    std::vector<window> windows;
    for (int f = throttle_frame + 8; f + 4 <= release_frame; f += 4) {
        window w{0, 0, 0, 0, 0, 1e9, frames[size_t(f)].gear};
        double lo = 1e9, hi = 0;
        for (int k = f - 3; k < f + 1; k++) {
            double rpm = frames[size_t(k)].rpm;
            w.rpm += rpm / 4, lo = std::min(lo, rpm), hi = std::max(hi, rpm);
        }
        w.rpm_spread = (hi - lo) / w.rpm;
        for (int k = f; k < f + 4; k++) {
            const frame_state& st = frames[size_t(k)];
            w.distance = std::min(w.distance, std::hypot(st.x - listen_at[0], st.y - listen_at[1], st.z - listen_at[2]));
        }
        size_t at = size_t(f) * samples_per_frame, n = size_t(4) * samples_per_frame;
        w.firing = 0.5 * w.rpm / 60;
        w.heard = pitch(s, at, n, 30, 300);
        w.level = rms(s, at, n);
        windows.push_back(w);
    }
    ASSERT_GE(windows.size(), 20u);
    // Where the rpm holds within 3 % over the window, the pitch is the
    // firing rate within 2 %.
    int steady = 0;
    for (const window& w : windows)
        if (w.rpm_spread < 0.03) {
            steady++;
            EXPECT_NEAR(w.heard, w.firing, 0.02 * w.firing) << "rpm " << w.rpm << " gear " << w.gear;
        }
    EXPECT_GE(steady, 10);
    // Through first gear from the launch the rpm climbs, and so does the pitch.
    int climbing = 0;
    for (size_t i = 1; i < windows.size() && windows[i].gear == 1; i++)
        if (windows[i].rpm > windows[i - 1].rpm * 1.05) {
            climbing++;
            EXPECT_GT(windows[i].heard, windows[i - 1].heard) << "rpm " << windows[i - 1].rpm << " -> " << windows[i].rpm;
        }
    EXPECT_GE(climbing, 2) << "the launch was measured";
    // Louder passing the listening point: the nearest window against the
    // farthest one at redline. Distance alone gives ((far - 1)/48 + 1) /
    // ((near - 1)/48 + 1), about 2 for 70 ft against 10 ft; load and gear
    // change the timbre, so half of that is asked for.
    const window* near = &windows[0];
    const window* far = nullptr;
    for (const window& w : windows) {
        if (w.distance < near->distance) near = &w;
        if (w.rpm_spread < 0.03 && (!far || w.distance > far->distance)) far = &w;
    }
    ASSERT_NE(far, nullptr);
    ASSERT_LT(near->distance, 20) << "the rider passed the listening point";
    double expected = ((far->distance - 1) / 48 + 1) / ((near->distance - 1) / 48 + 1);
    EXPECT_GT(near->level / far->level, 0.5 * expected + 0.5)
        << near->level << " at " << near->distance << " ft, " << far->level << " at " << far->distance << " ft";
    printf("%d steady windows; launch %.0f -> %.0f rpm heard %.1f -> %.1f Hz; level %.0f at %.0f ft, %.0f at %.0f ft\n",
           steady, windows[0].rpm, windows[4].rpm, windows[0].heard, windows[4].heard, near->level, near->distance,
           far->level, far->distance);
}

}  // namespace
