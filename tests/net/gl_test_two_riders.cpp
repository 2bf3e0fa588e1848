// Two real programs join one race through the test race server: this
// process runs the game (its loop steps the server each frame) and a second
// process runs the built program on a display of its own, both pointed at
// the server with "--connect". The second one is ridden and typed into by
// synthetic X input (xdotool): after the gate drops it opens the throttle,
// and it sends a chat line from its chat key. This one sees the other rider
// created from the server's rider info, posed from the states the other
// program sent (which the relay keeps as the truth), moving; chat goes both
// ways.
#include <SDL.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/game_state.h"
#include "game/main_loop.h"
#include "game/race_reset.h"
#include "game/startup.h"
#include "game/support_zentrik.h"
#include "game/state_history.h"
#include "net/client.h"
#include "net/reliable.h"
#include "physics/rider_state.h"
#include "race_relay.h"
#include "core/util.h"
#include "ui/console.h"
#include "ui/settings.h"

extern char** environ;

namespace {

// Start-up and two track loads under a software renderer can take long on a
// busy machine: the run ends when everything was seen, or at this deadline.
constexpr double deadline_seconds = 170.0;
constexpr double chat_after = 1.0;  // seconds of racing before the chat line
// Four seconds of racing at 32 state packets a second.
constexpr int states_wanted = 4 * 32;
// Poses checked against two states the other program sent around the tic.
constexpr int poses_wanted = 200;
// In first gear with the throttle open the bike gains several ft/s every
// second; 10 ft is far beyond the settling of a bike standing at the gate
// and short of what a second of riding covers.
constexpr double moved_wanted = 10.0;
const char* const first_chat = "hello from the first rider";
const char* const second_chat = "hello from the second rider";

race_relay relay;
std::chrono::steady_clock::time_point started;
double racing_since = -1;
bool chat_sent = false;
bool quit_pushed = false;
std::string other_display;
bool throttle_open = false, other_chat_typed = false;
double chat_typed_at = 0;
int chat_attempts = 0;

// What this game showed of the other rider.
int poses_checked = 0, poses_outside = 0;
double worst_outside = 0;
double first_seen[3] = {0, 0, 0};
bool seen_other = false;
double other_moved = 0;
int other_slot = -1;
int32_t other_status = -1;

double wall_seconds() { return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(); }

// Runs xdotool on the other program's display and waits for it.
void xdotool(const std::vector<std::string>& words)
{
    std::vector<std::string> env_text;
    for (char** e = environ; *e; e++)
        if (strncmp(*e, "DISPLAY=", 8) != 0) env_text.push_back(*e);
    env_text.push_back(std::string("DISPLAY=").append(other_display));
    std::vector<char*> env;
    for (std::string& t : env_text) env.push_back(t.data());
    env.push_back(nullptr);
    std::vector<std::string> all = {"xdotool"};
    all.insert(all.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& w : all) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, "xdotool", nullptr, nullptr, argv.data(), env.data()) != 0) return;
    int status;
    waitpid(pid, &status, 0);
}

// The frame position a packed record stands for, decoded from the record
// format (docs/rider_state.md): three u24 fractions of the terrain's side,
// y above its lowest height.
void record_position(const uint8_t* b, const rider_state_ground& g, double out[3])
{
    for (int i = 0; i < 3; i++) {
        uint32_t v = uint32_t(b[3 * i]) | uint32_t(b[3 * i + 1]) << 8 | uint32_t(b[3 * i + 2]) << 16;
        out[i] = double(v) / 16777215.0 * g.extent + (i == 1 ? g.height_min : 0.0);
    }
}

// Checks the other rider's pose against the two states it sent around the
// tic it is shown at: inside the box they span, widened by twice the way
// one state interval covers (the shown bike is simulated and pulled toward
// the blend, so it may run up to one interval ahead or behind, and the two
// clients' tics agree only to the server clock's estimate), plus 1/4 ft
// for the record's packing and the follow's settling.
void check_other_pose()
{
    other_slot = -1;
    for (const relay_client& c : relay.clients)
        if (c.slot != net_own_slot()) other_slot = c.slot;
    if (other_slot < 0 || other_slot >= slot_total || !rider_table[other_slot]) return;
    other_status = slot_status[other_slot];
    const relay_client* from = nullptr;
    for (const relay_client& c : relay.clients)
        if (c.slot == other_slot) from = &c;
    if (!from || from->states.empty()) return;
    const double* at = dBodyGetPosition(rider_table[other_slot]->frame_body);
    if (!seen_other && net_last_state_tic(other_slot) >= 0) {
        memcpy(first_seen, at, sizeof first_seen);
        seen_other = true;
    }
    if (seen_other)
        other_moved = std::max(other_moved, std::hypot(at[0] - first_seen[0], at[2] - first_seen[2]));
    // The tic the pose was made for: the last tic run, less the delay.
    int64_t b = int64_t(tic_counter) - 1 - history_delay;
    int64_t newest = net_last_state_tic(other_slot);
    const relayed_state *lo = nullptr, *hi = nullptr;
    for (const relayed_state& s : from->states) {
        if (int64_t(s.tic) > newest) continue;
        if (int64_t(s.tic) <= b && (!lo || s.tic > lo->tic)) lo = &s;
        if (int64_t(s.tic) >= b && (!hi || s.tic < hi->tic)) hi = &s;
    }
    if (!lo || !hi) return;
    rider_state_ground g = rider_state_track_ground();
    double p[3], q[3];
    record_position(lo->record, g, p);
    record_position(hi->record, g, q);
    auto distance = [](const double* a, const double* c) {
        return std::sqrt((a[0] - c[0]) * (a[0] - c[0]) + (a[1] - c[1]) * (a[1] - c[1]) + (a[2] - c[2]) * (a[2] - c[2]));
    };
    double span = distance(p, q);
    // The rider's travel per tic from the states on either side: a pose made
    // a tic early or late (the frame and the tic do not share a clock) lies
    // that far beyond the pair, which a fast rider makes more than 0.25 ft.
    double per_tic = 0;
    for (size_t k = 1; k < from->states.size(); k++) {
        const relayed_state &s0 = from->states[k - 1], &s1 = from->states[k];
        if (s1.tic <= s0.tic || int64_t(s1.tic) > newest) continue;
        if (int64_t(s1.tic) < b - 8 || int64_t(s0.tic) > b + 8) continue;
        double a0[3], a1[3];
        record_position(s0.record, g, a0);
        record_position(s1.record, g, a1);
        per_tic = std::max(per_tic, distance(a0, a1) / double(s1.tic - s0.tic));
    }
    double widen = 0.25 + 2 * span + 2 * per_tic;
    double outside = 0;
    for (int i = 0; i < 3; i++) {
        double low = std::min(p[i], q[i]) - widen, high = std::max(p[i], q[i]) + widen;
        outside = std::max({outside, low - at[i], at[i] - high});
    }
    poses_checked++;
    if (outside > 0) {
        poses_outside++;
        worst_outside = std::max(worst_outside, outside);
    }
}

bool log_has(const char* text)
{
    for (int i = 0; i < console_line_count; i++)
        if (strstr(message_log.lines[i], text)) return true;
    return false;
}

void race_hook(int frame)
{
    double now = wall_seconds();
    if (frame == 0) {
        // The digest the server announces is the one the track's load gives:
        // load the stadium once offline and take it.
        copy_bounded(settings.track, "tracks/stadium", int(sizeof settings.track));
        reset_session(nullptr, 0, 0, 0, 1000, 0);
        memcpy(relay.digest, track_digest, 20);
    }
    relay_step(&relay, now);
    if (net_client.state == client_racing && racing_since < 0) racing_since = now;
    if (net_client.state == client_racing) check_other_pose();
    if (racing_since >= 0 && now - racing_since > chat_after && !chat_sent) {
        send_script_message(reliable_chat, first_chat, int32_t(strlen(first_chat)));
        chat_sent = true;
    }
    // The other program: chat from its chat key once it races, the
    // throttle once the gate is down (a bike held at the gate goes nowhere).
    bool second_arrived = std::find(relay.chat.begin(), relay.chat.end(), second_chat) != relay.chat.end();
    // A key that reaches the window before its page is ready is lost: the
    // line is typed again every 5 s until the server has it.
    if (other_chat_typed && !second_arrived && now - chat_typed_at > 5.0 && chat_attempts < 4) other_chat_typed = false;
    if (racing_since >= 0 && now - racing_since > chat_after && !other_chat_typed) {
        chat_typed_at = now;
        chat_attempts++;
        xdotool({"mousemove", "5", "5"});
        xdotool({"key", "t"});
        xdotool({"type", "--delay", "40", second_chat});
        xdotool({"key", "Return"});
        // The page the chat key opened keeps the keyboard until it closes;
        // "esc" is acted on before the page's keys, so it waits for the
        // line to go out.
        xdotool({"sleep", "1", "key", "Escape"});
        other_chat_typed = true;
    }
    if (second_arrived && !throttle_open && tic_counter > gate_drop_tic + 128) {
        xdotool({"keydown", "x"});
        throttle_open = true;
    }
    bool seen = chat_sent && relay.clients.size() == 2 && relay.clients[1].items.empty() && relay.chat.size() >= 2 &&
                log_has(second_chat) && poses_checked >= poses_wanted && other_moved > moved_wanted;
    for (const relay_client& c : relay.clients) seen = seen && c.states_received > states_wanted;
    if ((seen || now > deadline_seconds) && !quit_pushed) {
        SDL_Event e{};
        e.type = SDL_QUIT;
        SDL_PushEvent(&e);
        quit_pushed = true;
    }
}

// Ends the other program, which runs until killed: our children are listed
// per thread of this process.
void stop_children()
{
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream list(task.path() / "children");
        for (pid_t pid; list >> pid;) kill(pid, SIGKILL);
    }
}

// A display of the other program's own, so that synthetic keys reach only
// it: Xvfb tells the number it took on a pipe.
pid_t start_display(std::string* name)
{
    int fds[2];
    if (pipe(fds) != 0) return -1;
    std::string fd = std::to_string(fds[1]);
    std::vector<std::string> words = {"Xvfb", "-displayfd", fd, "-screen", "0", "640x480x24", "-nolisten", "tcp"};
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, "Xvfb", nullptr, nullptr, argv.data(), environ) != 0) return -1;
    close(fds[1]);
    char text[32] = {};
    ssize_t n = read(fds[0], text, sizeof text - 1);
    close(fds[0]);
    if (n <= 0) return -1;
    char display[32];
    snprintf(display, sizeof display, ":%d", atoi(text));
    *name = display;
    return pid;
}

TEST(two_riders, join_one_race_through_the_test_server)
{
    pid_t display = start_display(&other_display);
    ASSERT_GT(display, 0) << "Xvfb did not start";
    if (!relay_open(&relay)) {
        kill(display, SIGTERM);
        waitpid(display, nullptr, 0);
        FAIL() << "the test server did not open";
    }
    std::string server = fake_server_name(relay.server);
    zentrik_setup here;
    zentrik_environment_here(here);
    // The other program: its own player folder and display, killed once
    // this game ends.
    zentrik_setup there;
    there.timeout_seconds = int(deadline_seconds) + 60;
    there.env["DISPLAY"] = other_display;
    zentrik_result other;
    std::thread other_run([&] { other = run_zentrik(there, {"--connect", server, "--nosound"}); });

    static bool held = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && SDL_GL_LoadLibrary(nullptr) == 0;
    EXPECT_TRUE(held) << SDL_GetError();
    started = std::chrono::steady_clock::now();
    frame_hook = race_hook;
    std::vector<std::string> words = {"zentrik", "--connect", server, "--nosound"};
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    int status = game_main(int(argv.size()), argv.data());
    frame_hook = nullptr;
    if (throttle_open) xdotool({"keyup", "x"});
    stop_children();
    other_run.join();
    relay_close(&relay);
    kill(display, SIGTERM);
    waitpid(display, nullptr, 0);

    EXPECT_EQ(status, 0) << read_whole_file(here.log_path());
    ASSERT_EQ(relay.clients.size(), 2u);
    EXPECT_GE(racing_since, 0) << read_whole_file(here.log_path());
    for (const relay_client& c : relay.clients) {
        EXPECT_TRUE(c.loaded) << "slot " << c.slot;
        EXPECT_GT(c.states_received, states_wanted) << "slot " << c.slot;
    }
    // The other rider: made from the server's rider info, driven by its
    // history, following what the other program sent, and moving.
    EXPECT_EQ(other_status, slot_driven_by_history);
    EXPECT_GE(poses_checked, poses_wanted);
    EXPECT_EQ(poses_outside, 0) << "worst " << worst_outside << " ft outside";
    EXPECT_GT(other_moved, moved_wanted) << "throttle " << throttle_open << "\n" << other.log;
    // Chat both ways.
    EXPECT_NE(other.log.find("Contacting server"), std::string::npos) << other.log;
    EXPECT_NE(other.log.find("1 laps"), std::string::npos) << other.log;
    EXPECT_NE(other.log.find(first_chat), std::string::npos) << other.log;
    ASSERT_GE(relay.chat.size(), 2u);
    EXPECT_NE(std::find(relay.chat.begin(), relay.chat.end(), first_chat), relay.chat.end());
    EXPECT_NE(std::find(relay.chat.begin(), relay.chat.end(), second_chat), relay.chat.end());
    EXPECT_TRUE(log_has(second_chat));
    printf("chat typed %d times; poses checked %d, outside %d (worst %.3f ft), other moved %.1f ft\n",
           chat_attempts, poses_checked, poses_outside, worst_outside, other_moved);
}

}  // namespace
