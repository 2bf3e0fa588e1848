// A player rides the practice track by key presses into the running program,
// and the ground behind the bike shows its tyre prints: seen from above and
// behind, the picture changes where the newest prints lie when they are
// drawn, and nowhere off the trail. A new race starts with clean ground. The
// pictures go to ZT_SHOT_DIR when set.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <ode/ode.h>

#include "core/game_state.h"
#include "game/race_reset.h"
#include "game/main_loop.h"
#include "game/startup.h"
#include "gfx/image_file.h"
#include "gfx/ztgl.h"
#include "physics/rider.h"
#include "platform/vesk_window.h"
#include "support_zentrik.h"
#include "terrain/treadmarks.h"
#include "ui/view.h"
#include "ui/world_view.h"

namespace {

// With "--lock-fps 32" a frame is 4 tics.
constexpr int throttle_frame = 32, steer_frame = 76, look_frame = 100, reset_frame = 102, quit_frame = 104;

// A place on the loam of the tabletop's approach, 55 ft before its face,
// facing it: the practice track's hardpack takes prints only in a slide.
start_place approach()
{
    start_place at{0, 0, 0};
    FILE* f = fopen("../data/tracks/practice/jumps", "r");
    if (!f) return at;
    char line[256];
    float x, z, dx, dz;
    while (fgets(line, sizeof line, f))
        if (sscanf(line, "practice_tabletop %f %f %f %f", &x, &z, &dx, &dz) == 4)
            at = {x - 55 * dx, z - 55 * dz, std::atan2(-dx, -dz)};
    fclose(f);
    return at;
}

struct frame_pixels {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // bottom row first, as GL reads
    int at(int x, int y, int c) const { return rgb[size_t(3 * ((height - 1 - y) * width + x) + c)]; }
};

struct look_record {
    int32_t prints = 0, after_reset = -1;
    int in_view = 0, changed = 0, off_trail_changed = 0;
} record;

frame_pixels draw_and_read(const float eye[3], const float m[9])
{
    frame_pixels f;
    const vesk_rect* rect = vesk_gl_frame_begin(game_window);
    if (!rect) return f;
    f.width = rect->width, f.height = rect->height;
    set_perspective(f.width, f.height, 60);
    render_view(eye, m, 60, -1);
    ztgl_flush();
    f.rgb.resize(size_t(3 * f.width * f.height));
    ztglPixelStorei(GL_PACK_ALIGNMENT, 1);
    ztglReadPixels(0, 0, f.width, f.height, GL_RGB, GL_UNSIGNED_BYTE, f.rgb.data());
    vesk_gl_frame_end(game_window);
    return f;
}

void keep(const frame_pixels& f, const char* name)
{
    const char* dir = getenv("ZT_SHOT_DIR");
    if (dir && !f.rgb.empty())
        image_write_png_rgb((std::string(dir) + "/" + name).c_str(), f.rgb.data(), f.width, f.height);
}

// The largest change of one channel in the 7 x 7 pixels round (x, y).
int change_round(const frame_pixels& a, const frame_pixels& b, int x, int y)
{
    int best = 0;
    for (int dy = -3; dy <= 3; dy++)
        for (int dx = -3; dx <= 3; dx++) {
            int u = x + dx, v = y + dy;
            if (u < 0 || v < 0 || u >= a.width || v >= a.height) continue;
            for (int c = 0; c < 3; c++) best = std::max(best, std::abs(a.at(u, v, c) - b.at(u, v, c)));
        }
    return best;
}

void look()
{
    const rider* r = rider_table[watched_slot];
    ASSERT_TRUE(r && r->frame_body);
    const dReal* p = dBodyGetPosition(r->frame_body);
    const dReal* R = dBodyGetRotation(r->frame_body);
    // Forward is the frame's -z axis. The eye 8 ft up and 4 ft behind the bike,
    // looking down at the ground 12 ft behind it.
    float fx = float(-R[2]), fz = float(-R[10]);
    float n = std::hypot(fx, fz);
    fx /= n, fz /= n;
    const float eye[3] = {float(p[0]) - 4 * fx, float(p[1]) + 8, float(p[2]) - 4 * fz};
    const float target[3] = {float(p[0]) - 12 * fx, float(p[1]) - 1, float(p[2]) - 12 * fz};
    float dx = target[0] - eye[0], dy = target[1] - eye[1], dz = target[2] - eye[2];
    float m[9];
    camera_rotation(std::atan2(dx, dz), std::atan2(dy, std::hypot(dx, dz)), m);

    record.prints = track_treadmarks.count;
    frame_pixels with = draw_and_read(eye, m);
    int32_t count = track_treadmarks.count;
    track_treadmarks.count = 0;  // the same picture without them
    frame_pixels without = draw_and_read(eye, m);
    track_treadmarks.count = count;
    keep(with, "treadmarks_behind_the_bike.png");
    keep(without, "treadmarks_none.png");
    ASSERT_GT(with.width, 0);

    // Every print on screen; every fifth of the newest 200 is looked at: the
    // picture changes round each.
    set_perspective(with.width, with.height, 60);
    std::vector<std::pair<int, int>> on_screen;
    for (int32_t age = 0; age < count; age++) {
        const treadmark_vertex* v = track_treadmarks.vertices + size_t(treadmark_slot_of_age(&track_treadmarks, age)) * 4;
        float c[3] = {0, 0, 0};
        for (int k = 0; k < 4; k++) c[0] += v[k].x / 4, c[1] += v[k].y / 4, c[2] += v[k].z / 4;
        float d[3] = {c[0] - eye[0], c[1] - eye[1], c[2] - eye[2]};
        float cx = d[0] * m[0] + d[1] * m[3] + d[2] * m[6];
        float cy = d[0] * m[1] + d[1] * m[4] + d[2] * m[7];
        float cz = d[0] * m[2] + d[1] * m[5] + d[2] * m[8];
        if (cz > -1) continue;
        int x = int((0.5f + 0.5f * cx / -cz / view_extent_w) * float(with.width));
        int y = int((0.5f - 0.5f * cy / -cz / view_extent_h) * float(with.height));
        on_screen.push_back({x, y});
        if (age % 5 || age >= 200 || x < 4 || y < 4 || x >= with.width - 4 || y >= with.height - 4) continue;
        record.in_view++;
        // The print is dark (0.12) at alpha 0.3 to 0.55 over ground of about
        // 0.5: a change of 0.3 x 0.38 x 255 = 29 levels at the least.
        if (change_round(with, without, x, y) >= 25) record.changed++;
    }
    // Away from them nothing changes. A print is at most 8 inches long, and
    // the nearest ground is 8 ft below the eye: 0.67 ft over the 9.2 ft a
    // 60-degree view spans there, 46 of 640 pixels. 64 pixels is clear of it.
    for (int y = 4; y < with.height - 4; y += 16)
        for (int x = 4; x < with.width - 4; x += 16) {
            bool near = false;
            for (const auto& q : on_screen) near = near || std::hypot(float(q.first - x), float(q.second - y)) < 64;
            if (!near) record.off_trail_changed += change_round(with, without, x, y) > 0;
        }

    // For the eye: from ahead and to the side, the bike and its trail.
    const float ahead[3] = {float(p[0]) + 9 * fx - 4 * fz, float(p[1]) + 4, float(p[2]) + 9 * fz + 4 * fx};
    const float back[3] = {float(p[0]) - 10 * fx, float(p[1]) - 1, float(p[2]) - 10 * fz};
    dx = back[0] - ahead[0], dy = back[1] - ahead[1], dz = back[2] - ahead[2];
    camera_rotation(std::atan2(dx, dz), std::atan2(dy, std::hypot(dx, dz)), m);
    keep(draw_and_read(ahead, m), "treadmarks_ride.png");
}

void treadmark_hook(int frame)
{
    if (frame == 0) {
        reset_session(nullptr, 0, 0, 0, 1000, 0);
        start_place at = approach();
        ASSERT_NE(at.x, 0.0f) << "the generator writes the practice track's jumps";
        if (rider_table[0]) drop_onto_ground(rider_table[0], at);
    } else if (frame == throttle_frame) {
        push_key_event(SDL_SCANCODE_X, true);
    } else if (frame == steer_frame) {
        // A turn to the left at the end: the two wheels' trails part.
        push_key_event(SDL_SCANCODE_LEFT, true);
    } else if (frame == look_frame) {
        push_key_event(SDL_SCANCODE_LEFT, false);
        push_key_event(SDL_SCANCODE_X, false);
        look();
    } else if (frame == reset_frame) {
        reset_session(nullptr, 0, 0, 0, 1000, 0);
        record.after_reset = track_treadmarks.count;
    } else if (frame == quit_frame) {
        SDL_Event e{};
        e.type = SDL_QUIT;
        SDL_PushEvent(&e);
    }
}

TEST(treadmarks, a_ride_on_practice_leaves_prints_behind_the_wheels)
{
    zentrik_setup setup;
    setup.config = "video_mode=Windowed\nxres=640\nyres=480\n";
    zentrik_environment_here(setup);
    static bool held = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && SDL_GL_LoadLibrary(nullptr) == 0;
    ASSERT_TRUE(held) << SDL_GetError();
    record = look_record{};
    frame_hook = treadmark_hook;
    std::vector<std::string> words = {"zentrik", "--track", "practice", "--nosound", "--lock-fps", "32", "--console-commands", "/echo riding"};
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    ASSERT_EQ(game_main(int(argv.size()), argv.data()), 0) << read_whole_file(setup.log_path());
    frame_hook = nullptr;
    printf("%d prints laid; %d of %d sampled prints in view change the picture\n", record.prints, record.changed,
           record.in_view);
    // 2 s of riding on loam at two wheels and a print every 4 inches.
    EXPECT_GT(record.prints, 100);
    ASSERT_GE(record.in_view, 5) << "the camera looks at the trail";
    EXPECT_GE(record.changed * 10, record.in_view * 9) << "nearly every print in view shows";
    EXPECT_EQ(record.off_trail_changed, 0);
    EXPECT_EQ(record.after_reset, 0) << "a new race starts on clean ground";
}

} // namespace
