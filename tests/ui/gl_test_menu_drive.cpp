// The menus driven as a player drives them: key presses, typed text and the
// mouse sent as SDL events into the running program, from a fresh player
// folder. The script walks New Race, the menu over a race, Bike Setup and
// Suspension (the mouse over a slider), Customize Controls, Time Trial, a
// series event and Exit; what each step left behind is recorded and checked
// once the program has ended. Two more runs: a race recorded from New Race
// and played from the demo list, and a series event raced to its end with
// its standings shown afterwards.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <ode/ode.h>

#include "core/game_state.h"
#include "game/race_reset.h"
#include "game/series.h"
#include "game/startup.h"
#include "physics/rider.h"
#include "physics/setup.h"
#include "support_zentrik.h"
#include "ui/bindings.h"
#include "ui/console.h"
#include "ui/menu.h"
#include "ui/menu_pages.h"
#include "ui/settings.h"

namespace {

// One scripted action and the frames to wait after it.
// A step with `until` waits for it to hold, at most `wait` frames, then acts.
struct step {
    std::function<void()> act;
    int wait;
    std::function<bool()> until;
};
std::vector<step> script;
size_t next_step;
int next_frame;
int until_since = -1;

struct drive_record {
    int first_page = -2;
    int new_race_page = -2;
    std::vector<int> occupied;  // slots holding a rider after New Race
    int player_status = -1;
    std::string track;
    int esc_opens = -2, esc_closes = -2;
    std::string bike_before, bike_after;
    float fork_before = 0, fork_after = 0;
    double fork_setting = 0;
    double stopped_speed = -1;  // the rider's speed when the change applied
    // The same step with the rider moving when the menu opened: kept in the
    // menu, not applied.
    double moving_speed = -1;
    float moving_fork_before = 0, moving_fork_after = 0;
    double moving_setting = 0;
    int refusal_messages = -1;  // printed over the two refused steps
    int hover_line = -1;
    double slow_compression = -1;
    std::string learned_key;
    double moved = 0;
    int lap_mode = -1;
    int series_page = -2, series_running = -2, series_riders = 0;
    int exit_page = -2;
} record;

void push_key(SDL_Scancode key, bool down)
{
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = key;
    SDL_PushEvent(&e);
}

void mouse_button(bool down)
{
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    SDL_PushEvent(&e);
}

void key(SDL_Scancode k, int times = 1)
{
    for (int i = 0; i < times; i++)
        script.push_back({[k] { push_key(k, true), push_key(k, false); }, 2, {}});
}

void type(const char* text)
{
    script.push_back({[text] {
                          SDL_Event e{};
                          e.type = SDL_TEXTINPUT;
                          snprintf(e.text.text, sizeof e.text.text, "%s", text);
                          SDL_PushEvent(&e);
                      },
                      2, {}});
}

void then(std::function<void()> act, int wait = 1)
{
    script.push_back({std::move(act), wait, {}});
}

void wait(int frames)
{
    script.push_back({[] {}, frames, {}});
}

// Waits for a condition, at most `frames` frames; then acts.
void wait_until(std::function<bool()> condition, int frames, std::function<void()> act)
{
    script.push_back({std::move(act), frames, std::move(condition)});
}

rider* player()
{
    return watched_slot >= 0 && watched_slot < rider_slot_count ? rider_table[watched_slot] : nullptr;
}

// Lines of the message log that read `text`.
int log_lines_reading(const char* text)
{
    int n = 0;
    for (const char* line : message_log.lines) n += strcmp(line, text) == 0;
    return n;
}

// Lines of the message log that tell of a refused setup change.
int refusal_lines()
{
    return log_lines_reading("Settings not applied.  Mechanic can't keep up error.");
}

double speed(const rider* r)
{
    const dReal* v = dBodyGetLinearVel(r->frame_body);
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

void drive_hook(int frame)
{
    if (frame < next_frame || next_step >= script.size()) return;
    const step& s = script[next_step];
    if (s.until) {
        if (until_since < 0) until_since = frame;
        if (!s.until() && frame - until_since < s.wait) return;
        until_since = -1;
        s.act();
        next_frame = frame + 1;
    } else {
        s.act();
        next_frame = frame + s.wait;
    }
    next_step++;
}

void build_script()
{
    script.clear();
    wait(8);
    then([] { record.first_page = menu_page; });
    // New Race: the stadium, and robots on gates 24..27 besides the default
    // two-strokes on 18, 19 and 21..23 around the player on 20.
    key(SDL_SCANCODE_RETURN);
    then([] { record.new_race_page = menu_page; });
    key(SDL_SCANCODE_DOWN, 2);
    type("s");
    key(SDL_SCANCODE_DOWN, 28);
    for (int gate = 24; gate <= 27; gate++) {
        key(SDL_SCANCODE_RIGHT, 2);
        if (gate < 27) key(SDL_SCANCODE_DOWN);
    }
    key(SDL_SCANCODE_UP, 40);
    key(SDL_SCANCODE_DOWN);
    key(SDL_SCANCODE_RETURN);
    wait(48);
    then([] {
        for (int slot = 0; slot < rider_slot_count; slot++)
            if (rider_table[slot]) record.occupied.push_back(slot);
        record.player_status = watched_slot >= 0 ? slot_status[watched_slot] : -1;
        record.track = track_dir;
    });
    // Esc opens the menu over the race and closes it.
    key(SDL_SCANCODE_ESCAPE);
    then([] { record.esc_opens = menu_page; });
    key(SDL_SCANCODE_ESCAPE);
    then([] { record.esc_closes = menu_page; });
    // Bike Setup: the next bike, a name, a number, then a suspension slider.
    key(SDL_SCANCODE_ESCAPE);
    key(SDL_SCANCODE_DOWN, 5);
    key(SDL_SCANCODE_RETURN);
    key(SDL_SCANCODE_DOWN, 3);
    then([] { record.bike_before = player_setup.bike; });
    key(SDL_SCANCODE_RIGHT);
    then([] { record.bike_after = player_setup.bike; });
    key(SDL_SCANCODE_DOWN);
    type("Z");
    key(SDL_SCANCODE_DOWN);
    type("4");
    key(SDL_SCANCODE_UP, 4);
    key(SDL_SCANCODE_RETURN);
    key(SDL_SCANCODE_DOWN);
    then([] {
        record.fork_before = player() ? player()->fork_compression : 0;
        record.stopped_speed = player() ? speed(player()) : -1;
    });
    key(SDL_SCANCODE_RIGHT);
    then([] {
        record.fork_after = player() ? player()->fork_compression : 0;
        record.fork_setting = player_setup.fork_compression_adjustment;
    });
    // The mouse: over the next slider it selects the line; a click a pixel
    // short of the line's right end, the bar's end, sets the maximum. The
    // warp goes round the X server and its motion comes back as an event,
    // some frames later on a busy machine: wait for the pointer to arrive
    // (at most 10 s of frames) before the click.
    then([] {
        const menu_rect* r = menu_page_for(page_suspension)->line_rect(2);
        SDL_WarpMouseInWindow(SDL_GL_GetCurrentWindow(), r->x1 - 1, (r->y0 + r->y1) / 2);
    });
    wait_until(
        [] {
            const menu_rect* r = menu_page_for(page_suspension)->line_rect(2);
            int x, y;
            SDL_GetMouseState(&x, &y);
            return x == r->x1 - 1 && y == (r->y0 + r->y1) / 2;
        },
        320, [] {});
    then([] {
        record.hover_line = menu_line;
        mouse_button(true);
        mouse_button(false);
    }, 3);
    then([] { record.slow_compression = player_setup.fork_slow_compression_adjustment; });
    key(SDL_SCANCODE_ESCAPE);
    // Customize Controls: Throttle learns the Q key, which then rides the bike.
    key(SDL_SCANCODE_ESCAPE);
    key(SDL_SCANCODE_DOWN, 7);
    key(SDL_SCANCODE_RETURN);
    key(SDL_SCANCODE_DOWN);
    key(SDL_SCANCODE_RETURN);
    then([] { push_key(SDL_SCANCODE_Q, true); }, 4);
    then([] { push_key(SDL_SCANCODE_Q, false); }, 24);
    then([] { record.learned_key = bindings[0].key_name ? bindings[0].key_name : ""; });
    key(SDL_SCANCODE_ESCAPE);
    static double start[3];
    then([] {
        const dReal* p = player() ? dBodyGetPosition(player()->frame_body) : nullptr;
        for (int i = 0; i < 3; i++) start[i] = p ? p[i] : 0;
        push_key(SDL_SCANCODE_Q, true);
    }, 128);
    then([] {
        push_key(SDL_SCANCODE_Q, false);
        const dReal* p = player() ? dBodyGetPosition(player()->frame_body) : nullptr;
        if (p) record.moved = std::hypot(p[0] - start[0], p[2] - start[2]);
    });
    // The menu opened while the bike still rolls stops the race with the bike
    // in motion: a suspension step (and its undoing) stays in the menu.
    key(SDL_SCANCODE_ESCAPE);
    key(SDL_SCANCODE_DOWN, 5);
    key(SDL_SCANCODE_RETURN);
    key(SDL_SCANCODE_DOWN);
    key(SDL_SCANCODE_RETURN);
    key(SDL_SCANCODE_DOWN);
    static int messages_before;
    then([] {
        record.moving_fork_before = player() ? player()->fork_compression : 0;
        record.moving_speed = player() ? speed(player()) : -1;
        messages_before = refusal_lines();
    });
    key(SDL_SCANCODE_RIGHT);
    then([] {
        record.moving_fork_after = player() ? player()->fork_compression : 0;
        record.moving_setting = player_setup.fork_compression_adjustment;
    });
    key(SDL_SCANCODE_LEFT);
    then([] { record.refusal_messages = refusal_lines() - messages_before; });
    key(SDL_SCANCODE_ESCAPE);
    // Time Trial: lap mode.
    key(SDL_SCANCODE_ESCAPE);
    key(SDL_SCANCODE_DOWN, 3);
    key(SDL_SCANCODE_RETURN);
    key(SDL_SCANCODE_DOWN);
    key(SDL_SCANCODE_RETURN);
    wait(32);
    then([] { record.lap_mode = lap_mode; });
    // A series event from the Points Series list.
    key(SDL_SCANCODE_ESCAPE);
    key(SDL_SCANCODE_DOWN, 2);
    key(SDL_SCANCODE_RETURN);
    key(SDL_SCANCODE_DOWN);
    key(SDL_SCANCODE_RETURN);
    then([] { record.series_page = menu_page; });
    key(SDL_SCANCODE_DOWN);
    key(SDL_SCANCODE_RETURN);
    wait(32);
    then([] {
        record.series_running = running_series;
        for (int slot = 0; slot < rider_slot_count; slot++) record.series_riders += rider_table[slot] != nullptr;
    });
    // Exit.
    key(SDL_SCANCODE_ESCAPE);
    key(SDL_SCANCODE_DOWN, 8);
    key(SDL_SCANCODE_RETURN);
    then([] { record.exit_page = menu_page; });
    type("x");
    wait(600);  // the program ends before this runs out
    then([] {
        SDL_Event e{};
        e.type = SDL_QUIT;
        SDL_PushEvent(&e);
    });
}

// Runs the program on the script from its start; its exit status. Frames
// of --lock-fps are a fixed number of tics whatever the machine's load.
const std::vector<std::string> locked = {"zentrik", "--nosound", "--lock-fps", "32"};
int run_script(zentrik_setup& setup, std::vector<std::string> words = locked);

// A fresh player folder with a 640 x 480 window, and SDL's video held
// across the program's runs in this process.
void drive_environment(zentrik_setup& setup)
{
    setup.config = "video_mode=Windowed\nxres=640\nyres=480\n";
    zentrik_environment_here(setup);
    static bool held = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && SDL_GL_LoadLibrary(nullptr) == 0;
    ASSERT_TRUE(held) << SDL_GetError();
}

TEST(menu_drive, a_player_walks_the_menus_with_keys_and_the_mouse)
{
    zentrik_setup setup;
    ASSERT_NO_FATAL_FAILURE(drive_environment(setup));
    record = drive_record{};
    build_script();
    run_script(setup);
    EXPECT_LT(next_step, script.size()) << "Exit ended the program before the script ran out";

    EXPECT_EQ(record.first_page, 0) << "the main menu appears";
    EXPECT_EQ(record.new_race_page, 1);
    // Gates 18..27 (slots 17..26): nine robots and the player on gate 20.
    std::vector<int> gates;
    for (int s = 17; s <= 26; s++) gates.push_back(s);
    EXPECT_EQ(record.occupied, gates);
    EXPECT_EQ(record.player_status, 0);
    EXPECT_NE(record.track.find("stadium"), std::string::npos) << record.track;
    EXPECT_EQ(record.esc_opens, 0);
    EXPECT_EQ(record.esc_closes, -1);

    EXPECT_NE(record.bike_before, record.bike_after);
    EXPECT_EQ(record.fork_setting, 51);
    // The fork's high-speed damping doubles every 25 steps of its slider.
    ASSERT_GT(record.fork_before, 0);
    EXPECT_NEAR(record.fork_after / record.fork_before, std::exp2(0.04), 1e-4) << "the change reached the stopped rider";
    // Standing on its gate the bike is still: under the 0.125 ft/s of the
    // rule.
    EXPECT_GE(record.stopped_speed, 0);
    EXPECT_LE(record.stopped_speed, 0.125);

    EXPECT_EQ(record.hover_line, 2) << "the line under the mouse is selected";
    EXPECT_EQ(record.slow_compression, 100) << "a click at the bar's end sets the maximum";
    EXPECT_EQ(record.learned_key, "Q");
    // Four seconds of throttle move a bike far more than a standing bike
    // settles on its tyres (inches).
    EXPECT_GT(record.moved, 10.0) << "the learned key rides the bike";
    // Ten feet in four seconds leave the bike rolling at far more than
    // 0.125 ft/s when the menu stops the race a frame after the release.
    EXPECT_GT(record.moving_speed, 1.0);
    EXPECT_EQ(record.moving_setting, 52) << "the menu keeps the step";
    EXPECT_EQ(record.moving_fork_after, record.moving_fork_before) << "the moving rider keeps its setup";
    EXPECT_EQ(record.lap_mode, 1);
    EXPECT_EQ(record.series_page, 5);
    EXPECT_EQ(record.series_running, 0);
    EXPECT_GE(record.series_riders, 2);
    EXPECT_EQ(record.exit_page, 18);

    printf("stopped at %.4f ft/s: applied; rolling at %.2f ft/s: kept in the menu\n", record.stopped_speed,
           record.moving_speed);
    // The second refusal within 10 s says so; the first is silent.
    EXPECT_EQ(record.refusal_messages, 1);

    std::string config = read_whole_file(setup.player_folder() + "/config");
    EXPECT_NE(config.find("name=ZKestrin Vale\n"), std::string::npos) << config;
    EXPECT_NE(config.find("number=499\n"), std::string::npos) << config;
    EXPECT_NE(config.find("fork_compression_adjustment=51\n"), std::string::npos) << config;
    EXPECT_NE(config.find("bike=" + record.bike_after + "\n"), std::string::npos) << config;
    EXPECT_NE(config.find("throttle_key=(k)Q\n"), std::string::npos) << config;
}


// ---- a recorded demo played from the demo list --------------------------------

// Where a rider's main body stood, one point a frame.
struct path_point {
    double x, z;
};
using rider_paths = std::map<std::string, std::vector<path_point>>;  // by race number

struct demo_record {
    int record_choice = -1;
    bool recording = false, replaying = false;
    rider_paths recorded, replayed;
    int32_t recorded_drop = -1, replayed_drop = -1;
    std::string player_number;
    int list_page = -2, playing_page = -2;
    int replayed_slots = 0;
    int playback_mode = -1, player_slot = -1, player_status = -1;
    int recording_refused = -1;  // lines saying so
} demo;

// Every rider of the running race (or those its history drives), while no
// menu stops it.
void add_positions(rider_paths* paths, bool history_only)
{
    if (menu_page != page_none) return;
    for (int slot = 0; slot < rider_slot_count; slot++)
        if (const rider* r = rider_table[slot]; r && (!history_only || slot_status[slot] == 1)) {
            const dReal* p = dBodyGetPosition(r->frame_body);
            (*paths)[r->number].push_back({p[0], p[2]});
        }
}

void demo_hook(int frame)
{
    if (demo.recording) add_positions(&demo.recorded, false);
    if (demo.replaying) add_positions(&demo.replayed, true);
    drive_hook(frame);
}

void exit_steps()
{
    key(SDL_SCANCODE_ESCAPE);
    key(SDL_SCANCODE_DOWN, 8);
    key(SDL_SCANCODE_RETURN);
    type("x");
    wait(600);
    then([] {
        SDL_Event e{};
        e.type = SDL_QUIT;
        SDL_PushEvent(&e);
    });
}

// The gate drops 13 to 15 s after the start (at most 480 frames of 1/32 s);
// then three seconds of full throttle. Frames of --lock-fps are tics of
// the race, whatever the load of the machine.
constexpr int before_drop = 500, ride_frames = 96;

void record_script()
{
    script.clear();
    wait(8);
    key(SDL_SCANCODE_RETURN);
    key(SDL_SCANCODE_DOWN, 3);
    key(SDL_SCANCODE_RIGHT);
    then([] { demo.record_choice = settings.record.selected; });
    key(SDL_SCANCODE_UP, 2);
    key(SDL_SCANCODE_RETURN);
    then([] { demo.recording = true; });
    wait(before_drop);
    then([] { push_key(SDL_SCANCODE_X, true); }, ride_frames);
    then([] {
        push_key(SDL_SCANCODE_X, false);
        demo.recorded_drop = gate_drop_tic;
        demo.player_number = player() ? player()->number : "";
    });
    exit_steps();
}

void playback_script()
{
    script.clear();
    wait(8);
    key(SDL_SCANCODE_DOWN);
    key(SDL_SCANCODE_RETURN);
    // Race Against: the player rides among the recorded riders.
    key(SDL_SCANCODE_DOWN);
    key(SDL_SCANCODE_RIGHT);
    then([] {
        demo.playback_mode = settings.playback_mode.selected;
        demo.list_page = menu_page;
        const menu_rect* r = menu_page_for(page_demos)->line_rect(3);
        if (r) SDL_WarpMouseInWindow(SDL_GL_GetCurrentWindow(), (r->x0 + r->x1) / 2, (r->y0 + r->y1) / 2);
    }, 6);
    then([] {
        mouse_button(true);
        mouse_button(false);
    }, 2);
    then([] {
        demo.playing_page = menu_page;
        demo.replayed_drop = gate_drop_tic;
        demo.player_slot = watched_slot;
        demo.player_status = watched_slot >= 0 ? slot_status[watched_slot] : -1;
        demo.recording_refused = log_lines_reading("Can't record and play from same file - recording disabled");
        for (int slot = 0; slot < rider_slot_count; slot++) demo.replayed_slots += rider_table[slot] && slot_status[slot] == 1;
        demo.replaying = true;
    }, before_drop + ride_frames + 32);
    exit_steps();
}

int run_script(zentrik_setup& setup, std::vector<std::string> words)
{
    next_step = 0;
    next_frame = 0;
    until_since = -1;
    frame_hook = demo_hook;
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    int status = game_main(int(argv.size()), argv.data());
    frame_hook = nullptr;
    EXPECT_EQ(status, 0) << read_whole_file(setup.log_path());
    return status;
}

// The distance from a point to the nearest segment of a path.
double distance_to_path(const path_point& q, const std::vector<path_point>& path)
{
    double best = 1e30;
    for (size_t i = 0; i + 1 < path.size(); i++) {
        double ax = path[i].x, az = path[i].z, dx = path[i + 1].x - ax, dz = path[i + 1].z - az;
        double len2 = dx * dx + dz * dz;
        double t = len2 > 0 ? std::clamp(((q.x - ax) * dx + (q.z - az) * dz) / len2, 0.0, 1.0) : 0;
        best = std::min(best, std::hypot(q.x - ax - t * dx, q.z - az - t * dz));
    }
    return best;
}

TEST(menu_drive, a_recorded_race_plays_from_the_demo_list)
{
    zentrik_setup setup;
    ASSERT_NO_FATAL_FAILURE(drive_environment(setup));
    demo = demo_record{};

    // The player records a race from the New Race page (the default field:
    // robots around the player), rides off, exits.
    record_script();
    ASSERT_EQ(run_script(setup), 0);
    EXPECT_EQ(demo.record_choice, 1);
    ASSERT_GE(demo.recorded.size(), size_t(2)) << "the player and the default robots";
    const std::vector<path_point>& own = demo.recorded[demo.player_number];
    ASSERT_GT(own.size(), size_t(before_drop));
    double ridden = std::hypot(own.back().x - own.front().x, own.back().z - own.front().z);
    ASSERT_GT(ridden, 20.0) << "three seconds of throttle";
    std::string file = setup.player_folder() + "/demos/default.ztdemo";
    ASSERT_FALSE(read_whole_file(file).empty()) << file;

    // Started again, the demo list offers it; a click races against it.
    // "Record Demo" stays on from the recording, but the file being played
    // is the one a recording writes: it is read, never written over.
    std::string recorded_bytes = read_whole_file(file);
    demo.recording = false;
    playback_script();
    ASSERT_EQ(run_script(setup), 0);
    EXPECT_EQ(demo.list_page, page_demos);
    EXPECT_EQ(demo.playback_mode, 1);
    EXPECT_EQ(demo.playing_page, -1);
    EXPECT_EQ(demo.recording_refused, 1);
    EXPECT_TRUE(read_whole_file(file) == recorded_bytes) << "the played demo was written over";
    EXPECT_EQ(demo.player_slot, 19) << "the player on the first Human gate, gate 20";
    EXPECT_EQ(demo.player_status, 0);
    EXPECT_EQ(demo.replayed_slots, int(demo.recorded.size())) << "every recorded rider is driven by its history";
    EXPECT_EQ(demo.replayed_drop, demo.recorded_drop) << "the replay keeps the recorded start";
    // Each replayed rider rides its own recorded path: the replayed path
    // passes through where the recording ended (the replay then coasts on,
    // as the recording did not), and up to there every point of its ride
    // lies within a quarter foot of the path recorded under its number (the
    // packed state keeps positions to far better). The two runs may sample
    // a frame's tics at other phases: the points are compared with the
    // other run's path between its points, never point with point.
    for (const auto& [number, path] : demo.recorded) {
        SCOPED_TRACE("rider " + number);
        auto found = demo.replayed.find(number);
        ASSERT_NE(found, demo.replayed.end()) << "the rider is in the replay";
        const std::vector<path_point>& replay = found->second;
        EXPECT_LT(distance_to_path(path.back(), replay), 0.25) << "the replay passes where the recording ended";
        size_t end = 0;
        double nearest_end = 1e30;
        for (size_t i = 0; i < replay.size(); i++) {
            double d = std::hypot(replay[i].x - path.back().x, replay[i].z - path.back().z);
            if (d < nearest_end) nearest_end = d, end = i;
        }
        // Up to the point before the one nearest the recorded end: that
        // one may lie a part of a frame's travel beyond it.
        double worst = 0, along = 0;
        for (size_t i = 0; i < end; i++) {
            worst = std::max(worst, distance_to_path(replay[i], path));
            along = std::max(along, std::hypot(replay[i].x - path.front().x, replay[i].z - path.front().z));
        }
        double travel = 0;
        for (const path_point& q : path) travel = std::max(travel, std::hypot(q.x - path.front().x, q.z - path.front().z));
        EXPECT_LT(worst, 0.25);
        // Short of the recorded travel by at most two frames: the point
        // left out and the step to it from a sample taken at another phase
        // of the frame's tics. 8 tics at the 60 ft/s no bike reaches in
        // these seconds: 3.75 ft.
        EXPECT_GE(along, travel - 3.75);
        printf("rider %s: recorded %.1f ft from its gate; replayed %.1f ft of it, at most %.3f ft off\n",
               number.c_str(), travel, along, worst);
    }
}

// ---- a series event raced to its end -------------------------------------------

// What a series file holds that the standings need: the entrants' race
// numbers and the first event's points by place, read here from the
// generated file with the format's own rules (quoted or single-word text
// fields, then numbers).
struct series_file {
    std::vector<int> numbers;
    std::vector<int> first_points;  // 40 values, place 1 first
    std::string first_track;
};

bool read_series_file(const std::string& path, series_file* out)
{
    std::string text = read_whole_file(path), word;
    std::vector<std::string> words;
    for (size_t i = 0; i < text.size();) {
        if (std::isspace(static_cast<unsigned char>(text[i]))) {
            i++;
        } else if (text[i] == '"') {
            size_t close = text.find('"', i + 1);
            if (close == std::string::npos) return false;
            words.push_back(text.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            size_t j = i;
            while (j < text.size() && !std::isspace(static_cast<unsigned char>(text[j]))) j++;
            words.push_back(text.substr(i, j - i));
            i = j;
        }
    }
    // title, n, skill, n numbers, event count, name, track, minutes, laps,
    // 40 points, 40 round points.
    if (words.size() < 3) return false;
    size_t n = std::stoul(words[1]), at = 3;
    if (words.size() < at + n + 5 + 80) return false;
    for (size_t k = 0; k < n; k++) out->numbers.push_back(std::stoi(words[at++]));
    at += 2;  // the event count and the first event's name
    out->first_track = words[at];
    at += 3;
    for (int k = 0; k < 40; k++) out->first_points.push_back(std::stoi(words[at++]));
    return true;
}

struct series_drive {
    int standings_page = -2, events_before = -1, events_reset = -1;
    int running_series = -2, running_event = -2, riders = 0;
    std::string track;
    bool ended = false;
    int after_page = -2, events_after = -1;
    std::vector<int32_t> order, totals;  // as the standings page shows them
} series_run;

// Main menu, Points Series, the first series: its standings page.
void open_first_series()
{
    key(SDL_SCANCODE_DOWN, 2);
    key(SDL_SCANCODE_RETURN);
    key(SDL_SCANCODE_DOWN);
    key(SDL_SCANCODE_RETURN);
}

// The race from start to end of a 3-lap event: the gate drops by 15 s; a
// rider averaging 10 ft/s is no rider racing (every class cruises well above
// 25 ft/s), and the leader's 3 laps at that pace bound the race from above.
// Each --warp frame is 100 tics whatever the machine's load.
int race_frames_bound(double lap_feet, int laps)
{
    return int((15.0 + laps * lap_feet / 10.0) * 128 / 100) + 1;
}

void series_script(int race_frames)
{
    script.clear();
    wait(8);
    open_first_series();
    then([] {
        series_run.standings_page = menu_page;
        if (series_count == 1) series_run.events_before = series_table[0].events_done;
    });
    // Reset Points: the next event is the series' first again.
    key(SDL_SCANCODE_DOWN, 3);
    key(SDL_SCANCODE_RETURN);
    then([] { series_run.events_reset = series_table[0].events_done; });
    // Enter Next Event.
    key(SDL_SCANCODE_UP, 2);
    key(SDL_SCANCODE_RETURN);
    then([] {
        series_run.running_series = running_series;
        series_run.running_event = running_event;
        series_run.track = track_dir;
        for (int slot = 0; slot < rider_slot_count; slot++) series_run.riders += rider_table[slot] != nullptr;
    });
    // The robots race it out; the player stays on its gate. When the leader
    // has its laps the warp restarts the race, which counts the event into
    // the series and ends it.
    wait_until([] { return running_series < 0; }, race_frames, [] { series_run.ended = running_series < 0; });
    // The menu stops the new race; the standings page shows the event.
    key(SDL_SCANCODE_ESCAPE);
    open_first_series();
    then([] {
        series_run.after_page = menu_page;
        series_run.events_after = series_table[0].events_done;
        int32_t order[rider_slot_count], totals[rider_slot_count];
        int rows = series_standings(&series_table[0], order, totals);
        series_run.order.assign(order, order + rows);
        series_run.totals.assign(totals, totals + series_table[0].lineup_size + 1);
    });
    exit_steps();
}

// The length of a closed "x z" loop file, worked out here from its points.
double loop_feet(const std::string& path)
{
    std::vector<path_point> p;
    std::string text = read_whole_file(path);
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        double x, z;
        if (!line.empty() && line[0] != '#' && sscanf(line.c_str(), "%lf %lf", &x, &z) == 2) p.push_back({x, z});
    }
    double length = 0;
    for (size_t i = 0; i < p.size(); i++)
        length += std::hypot(p[(i + 1) % p.size()].x - p[i].x, p[(i + 1) % p.size()].z - p[i].z);
    return length;
}

TEST(menu_drive, a_series_event_is_raced_and_its_standings_show)
{
    zentrik_setup setup;
    ASSERT_NO_FATAL_FAILURE(drive_environment(setup));
    series_file file;
    ASSERT_TRUE(read_series_file(setup.data_root + "/series/two_track_cup.series", &file));
    ASSERT_EQ(file.first_track, "tracks/practice") << "the computer riders finish their laps there";
    double lap = loop_feet(setup.data_root + "/tracks/practice/centre_line");
    ASSERT_GT(lap, 100.0);
    series_run = series_drive{};
    series_script(race_frames_bound(lap, 3));
    ASSERT_EQ(run_script(setup, {"zentrik", "--nosound", "--warp"}), 0);

    EXPECT_EQ(series_run.standings_page, page_standings);
    EXPECT_EQ(series_run.events_before, 2) << "the generated standings hold two events";
    EXPECT_EQ(series_run.events_reset, 0);
    EXPECT_EQ(series_run.running_series, 0);
    EXPECT_EQ(series_run.running_event, 0);
    EXPECT_EQ(series_run.track, "tracks/practice");
    EXPECT_EQ(series_run.riders, int(file.numbers.size()) + 1) << "the entrants and the player";
    ASSERT_TRUE(series_run.ended) << "the event ended within the bound";
    EXPECT_EQ(series_run.after_page, page_standings);
    EXPECT_EQ(series_run.events_after, 1) << "the event raced counts";

    // The standings in the player's folder: one line, written under a
    // temporary name and renamed (nothing else is left in the folder).
    std::string folder = setup.player_folder() + "/series";
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"two_track_cup.series_standings"});
    std::string standings = read_whole_file(folder + "/two_track_cup.series_standings");
    ASSERT_EQ(std::count(standings.begin(), standings.end(), '\n'), 1) << standings;
    std::vector<int> places;
    for (size_t at = 0; at < standings.size();) {
        char* end;
        long v = strtol(standings.c_str() + at, &end, 10);
        if (end == standings.c_str() + at) break;
        places.push_back(int(v));
        at = size_t(end - standings.c_str());
    }
    size_t n = file.numbers.size();
    ASSERT_EQ(places.size(), n + 1) << standings;
    // The robots took places 1..n in some order; the player, who never left
    // the gate, is last.
    std::vector<int> robots(places.begin(), places.end() - 1);
    std::sort(robots.begin(), robots.end());
    for (size_t k = 0; k < n; k++) EXPECT_EQ(robots[k], int(k) + 1) << standings;
    EXPECT_EQ(places[n], int(n) + 1) << standings;

    // The page's totals are the first event's points for those places, and
    // its rows run from the most points down.
    ASSERT_EQ(series_run.totals.size(), n + 1);
    for (size_t k = 0; k <= n; k++)
        EXPECT_EQ(series_run.totals[k], file.first_points[size_t(places[k] - 1)]) << "entrant " << k;
    ASSERT_EQ(series_run.order.size(), n + 1);
    for (size_t row = 0; row <= n; row++) EXPECT_EQ(places[size_t(series_run.order[row])], int(row) + 1) << row;
    printf("standings after the event: %s", standings.c_str());
}

}  // namespace
