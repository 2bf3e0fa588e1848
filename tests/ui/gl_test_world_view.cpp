// The world view of a ten-rider race on each generated track, as the program
// draws it under the test display: from the rider view, the orbit (chase)
// camera and a track camera. Probes: sky above, terrain below, riders where
// the camera's projection puts them (the same view drawn with and without
// the riders differs there), the HUD over the view; every posed vertex of a
// crash-heavy ride stays finite. Screenshots go to ZT_SHOT_DIR when set.
#include <SDL.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <ode/ode.h>

#include "core/game_state.h"
#include "game/cameras.h"
#include "game/main_loop.h"
#include "game/flaggers.h"
#include "game/lighting.h"
#include "game/race_reset.h"
#include "game/results.h"
#include "game/sim_tic.h"
#include "game/startup.h"
#include "game/track_cameras.h"
#include "game/track_objects.h"
#include "gfx/ztgl.h"
#include "physics/physics_tic.h"
#include "physics/physics_world.h"
#include "physics/rider.h"
#include "platform/vesk_window.h"
#include "support_zentrik.h"
#include "ui/hud.h"
#include "ui/settings.h"
#include "ui/view.h"
#include "ui/engine_sound.h"
#include "ui/world_view.h"

namespace {

struct shot {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // top row first
    const uint8_t* at(int x, int y) const { return &rgb[size_t(3 * (y * width + x))]; }
};

// Draws one frame with draw and reads it back.
shot take(const std::function<void()>& draw)
{
    shot s;
    const vesk_rect* rect = vesk_gl_frame_begin(game_window);
    if (!rect) return s;
    s.width = rect->width, s.height = rect->height;
    set_perspective(s.width, s.height, float(settings.fov.value));
    draw();
    ztgl_flush();
    std::vector<uint8_t> rows(size_t(3 * s.width * s.height));
    ztglPixelStorei(GL_PACK_ALIGNMENT, 1);
    ztglReadPixels(0, 0, s.width, s.height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
    vesk_gl_frame_end(game_window);
    s.rgb.resize(rows.size());
    for (int y = 0; y < s.height; y++)
        std::copy_n(&rows[size_t(3 * s.width * (s.height - 1 - y))], 3 * s.width, &s.rgb[size_t(3 * s.width * y)]);
    return s;
}

void save(const shot& s, const std::string& name)
{
    const char* dir = getenv("ZT_SHOT_DIR");
    if (!dir || s.rgb.empty()) return;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(s.width);
    image.height = png_uint_32(s.height);
    image.format = PNG_FORMAT_RGB;
    std::string path = std::string(dir) + "/" + name + ".png";
    png_image_write_to_file(&image, path.c_str(), 0, s.rgb.data(), 0, nullptr);
}

// Where a world point lands on the screen of a camera, in pixels from the
// top left; false behind the camera.
bool project(const float position[3], const float m[9], float fov, const shot& s, const float p[3], int* px, int* py)
{
    float d[3] = {p[0] - position[0], p[1] - position[1], p[2] - position[2]};
    float cx = d[0] * m[0] + d[1] * m[3] + d[2] * m[6];
    float cy = d[0] * m[1] + d[1] * m[4] + d[2] * m[7];
    float cz = d[0] * m[2] + d[1] * m[5] + d[2] * m[8];
    if (cz > -0.5f) return false;
    set_perspective(s.width, s.height, fov);
    float sx = cx / -cz / view_extent_w, sy = cy / -cz / view_extent_h;
    *px = int((0.5f + 0.5f * sx) * float(s.width));
    *py = int((0.5f - 0.5f * sy) * float(s.height));
    return *px >= 0 && *px < s.width && *py >= 0 && *py < s.height;
}

int difference(const uint8_t* a, const uint8_t* b)
{
    return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
}

// The largest colour change in a 9 x 9 window round (x, y).
int change_near(const shot& a, const shot& b, int x, int y)
{
    int best = 0;
    for (int dy = -4; dy <= 4; dy++)
        for (int dx = -4; dx <= 4; dx++) {
            int u = std::clamp(x + dx, 0, a.width - 1), v = std::clamp(y + dy, 0, a.height - 1);
            best = std::max(best, difference(a.at(u, v), b.at(u, v)));
        }
    return best;
}

bool looks_like_sky(const uint8_t* p) { return p[2] > 150 && p[2] > p[0] + 30; }

struct race_record {
    std::string track;
    int riders = 0;
    bool done = false;
    int crash_frame = 0;
};
race_record record;

int hide_all(int) { return 1; }

// Turns every body of a rider by angle about axis through pivot.
void turn_rider(rider* r, const dReal pivot[3], dReal ax, dReal ay, dReal az, dReal angle)
{
    dMatrix3 turn;
    dRFromAxisAndAngle(turn, ax, ay, az, angle);
    dBodyID bodies[] = {r->frame_body,     r->front_wheel_body, r->rear_wheel_body, r->fork_upper_body,
                        r->fork_lower_body, r->swingarm_body,   r->rider_body};
    for (dBodyID b : bodies) {
        const dReal* p = dBodyGetPosition(b);
        dVector3 d = {p[0] - pivot[0], p[1] - pivot[1], p[2] - pivot[2], 0};
        dVector3 moved;
        dMultiply0_331(moved, turn, d);
        dMatrix3 R;
        dMultiply0_333(R, turn, dBodyGetRotation(b));
        dBodySetRotation(b, R);
        dBodySetPosition(b, pivot[0] + moved[0], pivot[1] + moved[1], pivot[2] + moved[2]);
    }
}

// A camera beside the rider's left, a little ahead, looking at its frame.
shot beside(const rider* r, const char* name)
{
    const dReal* fp = dBodyGetPosition(r->frame_body);
    const dReal* R = dBodyGetRotation(r->frame_body);
    const float eye[3] = {float(fp[0] - 9 * R[0] - 3 * R[2]), float(fp[1]) + 1.5f, float(fp[2] - 9 * R[8] - 3 * R[10])};
    float dx = float(fp[0]) - eye[0], dy = float(fp[1]) + 0.8f - eye[1], dz = float(fp[2]) - eye[2];
    float m[9];
    camera_rotation(std::atan2(dx, dz), std::atan2(dy, std::hypot(dx, dz)), m);
    shot s = take([&] { render_view(eye, m, 60, -1); });
    // The engines are heard from this camera, across its x axis.
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(sound_listener.position[i], eye[i]);
        EXPECT_EQ(sound_listener.right[i], m[3 * i]);
    }
    EXPECT_NE(doppler_factor_hook, nullptr);
    save(s, record.track + "_" + name);
    return s;
}


void frame_for_race(int frame)
{
    if (frame == 0) {
        // Ten AI riders on the start line.
        int32_t kinds[slot_total] = {};
        for (int i = 0; i < 10; i++) kinds[i] = 2;
        reset_session(kinds, 0, 0, 0, 3, 0);
        watched_slot = 0;
        // The track's furniture, until the race reset loads it; nothing of
        // an earlier run in this process (its models went with its context).
        track_objects_truncate(0, 0);
        std::string folder = std::string("@") + track_dir + "/";
        track_cameras_load((folder + "cameras").c_str());
        billboards_load((folder + "billboards").c_str());
        statues_load((folder + "statues").c_str());
        flaggers_load((folder + "flaggers").c_str());
        for (int i = 0; i < rider_slot_count; i++) record.riders += rider_table[i] != nullptr;
        return;
    }
    if (record.crash_frame && frame == record.crash_frame) {
        // Three quarters of a second after the crash.
        beside(rider_table[watched_slot], "crashed");
        record.crash_frame = 0;
        SDL_Event e{};
        e.type = SDL_QUIT;
        SDL_PushEvent(&e);
        return;
    }
    if (frame != 40) {
        if (frame > 40 && !record.crash_frame) {
            SDL_Event e{};
            e.type = SDL_QUIT;
            SDL_PushEvent(&e);
        }
        return;
    }
    record.done = true;
    const rider* r = rider_table[watched_slot];
    ASSERT_TRUE(r && r->frame_body);
    const dReal* fp = dBodyGetPosition(r->frame_body);
    const float frame_point[3] = {float(fp[0]), float(fp[1]), float(fp[2])};
    auto without_riders = [](const std::function<void()>& draw) {
        auto saved = slot_is_hidden_hook;
        slot_is_hidden_hook = hide_all;
        shot s = take(draw);
        slot_is_hidden_hook = saved;
        return s;
    };

    // The rider view: sky at the top, the bike's own front below.
    auto rider_view = [] {
        render_rider_view(rider_table[watched_slot]->rider_body, watched_slot);
        draw_hud(watched_slot);
    };
    shot ride = take(rider_view);
    save(ride, record.track + "_rider_view");
    ASSERT_GT(ride.width, 0);
    EXPECT_TRUE(looks_like_sky(ride.at(ride.width / 2, 2))) << "sky above the rider";
    // The HUD: the rev counter's dial at the bottom right and the pit board
    // at the bottom left change the picture there.
    shot bare = take([] { render_rider_view(rider_table[watched_slot]->rider_body, watched_slot); });
    float dial = 0.2334025f * float(ride.height) / 2;  // the dial's radius in pixels
    EXPECT_GT(change_near(ride, bare, ride.width - int(dial), ride.height - int(dial * 1.5f)), 60) << "rev counter";
    EXPECT_GT(change_near(ride, bare, int(0.3f * float(ride.height) / 2), ride.height - 10), 60) << "pit board";
    // The suspension graph, switched on: its frame and zero line left of
    // the dial, at the dial's height and scale.
    {
        suspension_graph_on = 1;
        shot graph = take(rider_view);
        suspension_graph_on = 0;
        save(graph, record.track + "_suspension_graph");
        float aspect = float(ride.width) / float(ride.height);
        float s = 0.2334025f / aspect;  // the graph's half-size over the view's half-width
        int gx = int((0.5f + 0.5f * (1 - 5.4f * s)) * float(ride.width));
        EXPECT_GT(change_near(graph, ride, gx, ride.height - int(dial)), 60) << "graph at x " << gx;
    }

    // The chase camera: the watched bike where the camera puts it.
    float position[3], rotation[9];
    own_rider = 1;  // the player's own bike: the camera trails it
    ASSERT_TRUE(orbit_camera_place(position, rotation));
    shot chase = take([] { orbit_view_draw(); });
    shot chase_empty = without_riders([] { orbit_view_draw(); });
    save(chase, record.track + "_chase_camera");
    int x, y;
    ASSERT_TRUE(project(position, rotation, float(settings.fov.value), chase, frame_point, &x, &y));
    EXPECT_GT(change_near(chase, chase_empty, x, y), 60) << "the bike at (" << x << ", " << y << ")";
    EXPECT_TRUE(looks_like_sky(chase.at(chase.width / 2, 2))) << "sky above the chase view";
    // The terrain fills the bottom row: not sky.
    EXPECT_FALSE(looks_like_sky(chase_empty.at(chase.width / 2, chase.height - 3))) << "ground below";

    // Close beside the watched rider: the rider sits on the bike, hands on
    // the bars, feet on the pegs.
    {
        shot side = beside(r, "beside_rider");
        EXPECT_FALSE(looks_like_sky(side.at(side.width / 2, side.height / 2))) << "the bike fills the middle";
    }

    // Looking at the sun: its flare's elements along the line through the
    // view's centre.
    {
        const float* sun = lighting.sun_vector;
        float m[9];
        camera_rotation(std::atan2(sun[0], sun[2]), std::asin(sun[1]), m);
        const float above[3] = {frame_point[0], frame_point[1] + 30, frame_point[2]};
        shot flare = take([&] { render_view(above, m, 90, -1); });
        save(flare, record.track + "_sun");
    }

    // Every rider finished: the results table over the view's top left.
    {
        race_order_build();
        ASSERT_EQ(race_order_count, 10);
        for (int i = 0; i < race_order_count; i++) rider_table[race_order[i].slot]->finished = 1;
        shot plain = take([] { orbit_view_draw(); });
        shot table = take([] {
            orbit_view_draw();
            results_overlay_draw(watched_slot);
        });
        save(table, record.track + "_results");
        for (int i = 0; i < race_order_count; i++) rider_table[race_order[i].slot]->finished = 0;
        // The title bar, 1.5 rows of a 50-row view down, dark over the sky.
        int bar_y = int(float(table.height) * 1.5f / 50), bar_x = table.width / 10;
        EXPECT_GT(change_near(table, plain, bar_x, bar_y), 60) << "results title bar";
    }

    // A solid magenta billboard 30 ft ahead of the watched bike stands
    // where the chase camera's projection puts it.
    {
        const dReal* R = dBodyGetRotation(r->frame_body);
        float bx = frame_point[0] - 30 * float(R[2]), bz = frame_point[2] - 30 * float(R[10]);
        int32_t b = create_billboard(bx, 0, bz, 6, 1, "#FF00FF#@colors/white.png");
        ASSERT_GE(b, 0);
        float mid[3] = {bx, billboard_at(b)->y + 3, bz};
        shot board = take([] { orbit_view_draw(); });
        save(board, record.track + "_billboard");
        int bxp, byp;
        ASSERT_TRUE(project(position, rotation, float(settings.fov.value), board, mid, &bxp, &byp));
        const uint8_t* p = board.at(bxp, byp);
        EXPECT_TRUE(p[0] > 200 && p[1] < 60 && p[2] > 200)
            << "billboard pixel " << int(p[0]) << "," << int(p[1]) << "," << int(p[2]);
        track_objects_truncate(b, track_objects.statues.count);
    }

    // A marker 8 ft ahead of the bike, 2 ft up: a white bubble with two
    // lines of black text above the point (half a foot per text line),
    // drawn over whatever stands in front of it.
    {
        const dReal* R = dBodyGetRotation(r->frame_body);
        float point[3] = {frame_point[0] - 8 * float(R[2]), frame_point[1] + 2, frame_point[2] - 8 * float(R[10])};
        marker_list_clear();
        shot plain = take([] { orbit_view_draw(); });
        ASSERT_NE(add_marker(point[0], point[1], point[2], "front:\nspeed=12.50"), nullptr);
        shot marked = take([] { orbit_view_draw(); });
        save(marked, record.track + "_marker");
        marker_list_clear();
        // The middle of the bubble's box: 1 ft above the point.
        float mid[3] = {point[0], point[1] + 1, point[2]};
        int mx, my;
        ASSERT_TRUE(project(position, rotation, float(settings.fov.value), marked, mid, &mx, &my));
        EXPECT_GT(change_near(marked, plain, mx, my), 60) << "marker at (" << mx << ", " << my << ")";
        // White round the box, and grey-to-black text strokes (smoothed
        // at this size) that the plain view has not there.
        auto count = [&](const shot& s, int* white, int* grey) {
            *white = *grey = 0;
            for (int dy = -12; dy <= 12; dy++)
                for (int dx = -24; dx <= 24; dx++) {
                    const uint8_t* p = s.at(std::clamp(mx + dx, 0, s.width - 1), std::clamp(my + dy, 0, s.height - 1));
                    int hi = std::max({p[0], p[1], p[2]}), lo = std::min({p[0], p[1], p[2]});
                    *white += lo > 235;
                    *grey += hi - lo < 16 && hi < 200;
                }
        };
        int white, grey, white_plain, grey_plain;
        count(marked, &white, &grey);
        count(plain, &white_plain, &grey_plain);
        EXPECT_GT(white, white_plain + 60) << "the bubble is white";
        EXPECT_GT(grey, grey_plain + 3) << "its text is dark";
        // Over the watched rider's head, seen from beside (the reference
        // picture).
        add_marker(frame_point[0], frame_point[1] + 2.6f, frame_point[2], "front:\nspeed=12.50");
        beside(r, "marker_beside");
        marker_list_clear();
    }

    // A track camera aimed at the watched rider.
    if (track_cameras.count > 0) {
        selected_track_camera = 0;
        auto_camera = 1;  // following the rider, not turned by hand
        track_cameras_step(1);
        shot cam = take([] { render_track_camera_view(); });
        shot cam_empty = without_riders([] { render_track_camera_view(); });
        save(cam, record.track + "_track_camera");
        const track_camera& t = array_items<track_camera>(&track_cameras)[selected_track_camera];
        float m[9];
        camera_rotation(t.yaw, t.pitch, m);
        const float at[3] = {t.x, t.y, t.z};
        ASSERT_TRUE(project(at, m, t.fov, cam, frame_point, &x, &y));
        // Aimed at the rider: it stands at the middle of the picture.
        EXPECT_NEAR(x, cam.width / 2, cam.width / 20);
        EXPECT_NEAR(y, cam.height / 2, cam.height / 20);
        EXPECT_GT(change_near(cam, cam_empty, x, y), 60) << "the bike at (" << x << ", " << y << ")";

        // The scoreboard ticker along the top: rider numbers on white boxes
        // in the strip, and the lap box at the right green on lap 1 of 3.
        options.scoreboard_shown = 0;
        shot no_ticker = take([] { render_track_camera_view(); });
        options.scoreboard_shown = 1;
        int strip = int(1.5f * float(cam.height) / 50);  // 1.5 rows of 50
        int white = 0, white_before = 0;
        for (int px = 0; px < cam.width; px++) {
            const uint8_t* p = cam.at(px, strip / 2);
            const uint8_t* q = no_ticker.at(px, strip / 2);
            white += p[0] > 235 && p[1] > 235 && p[2] > 235;
            white_before += q[0] > 235 && q[1] > 235 && q[2] > 235;
        }
        EXPECT_GT(white, cam.width / 10) << "white number and name boxes";
        EXPECT_LT(white_before, cam.width / 100) << "hardly any white at the top without the ticker";
        const uint8_t* lap = cam.at(cam.width - 3, 2);
        EXPECT_TRUE(lap[1] > 150 && lap[0] < 60 && lap[2] < 60)
            << "lap box " << int(lap[0]) << "," << int(lap[1]) << "," << int(lap[2]);
        EXPECT_GT(change_near(cam, no_ticker, cam.width - 6, 4), 60) << "the lap box covers the view";
    }

    // Leaning, wheeling and crashed: the limbs follow the bike (the pose
    // itself is checked for finite vertices over a long ride elsewhere).
    rider* w = rider_table[watched_slot];
    const dReal* rw = dBodyGetPosition(w->rear_wheel_body);
    const dReal* R = dBodyGetRotation(w->frame_body);
    const dReal ground[3] = {fp[0], fp[1] - 2.2, fp[2]};
    turn_rider(w, ground, -R[2], -R[6], -R[10], 0.5);  // lean 29 degrees about the forward axis
    beside(w, "leaning");
    turn_rider(w, ground, -R[2], -R[6], -R[10], -0.5);
    const dReal axle[3] = {rw[0], rw[1], rw[2]};
    turn_rider(w, axle, R[0], R[4], R[8], 0.45);  // front wheel up 26 degrees
    beside(w, "wheelie");
    turn_rider(w, axle, R[0], R[4], R[8], -0.45);
    record.crash_frame = frame + 24;
    rider_crash(w);
}

int run_race(zentrik_setup& setup, const std::string& track)
{
    zentrik_environment_here(setup);
    static bool held = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && SDL_GL_LoadLibrary(nullptr) == 0;
    EXPECT_TRUE(held) << SDL_GetError();
    record = race_record{};
    record.track = track;
    frame_hook = frame_for_race;
    std::vector<std::string> words = {"zentrik", "--track", track, "--nosound", "--lock-fps", "32",
                                      "--console-commands", "/echo race"};
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    int status = game_main(int(argv.size()), argv.data());
    frame_hook = nullptr;
    return status;
}

void race_on(const char* track)
{
    zentrik_setup setup;
    setup.config = "video_mode=Windowed\nxres=640\nyres=480\n";
    EXPECT_EQ(run_race(setup, track), 0);
    EXPECT_EQ(record.riders, 10);
    EXPECT_TRUE(record.done);
}

TEST(world_view, ten_rider_race_on_practice_from_the_rider_chase_and_track_cameras) { race_on("practice"); }
TEST(world_view, ten_rider_race_on_stadium_from_the_rider_chase_and_track_cameras) { race_on("stadium"); }

}  // namespace
