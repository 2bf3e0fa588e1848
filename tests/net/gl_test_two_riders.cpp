// Two programs join one race through the test race server and ride it to
// the finish: this process runs the game's own main (its loop steps the
// server each frame, and this test reads its riders) and a second process
// is the built program itself, on a display of its own; both are pointed at
// the server with "--connect". The race is one lap of the stadium. Each
// program is played as a person plays it, by its keys, pressed and released
// through synthetic X input (xdotool) on its display by a player here that
// reads where its rider is from the states its program sends the server;
// each player also types a chat line from the chat key. This game shows the
// other rider created from the server's rider info, posed from the states
// the other program sent (which the relay keeps as the truth), moving; the
// other program records the race, and its demo holds this game's rider's
// states as this game sent them, carrying the rider round the lap; chat
// goes both ways; at the end both programs write "@results.txt" with the
// riders in the same order, the order in which the lap-time items through
// the server say they crossed the line.
#include <SDL.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <xmmintrin.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/game_state.h"
#include "game/main_loop.h"
#include "game/race_reset.h"
#include "game/results.h"
#include "game/startup.h"
#include "game/support_zentrik.h"
#include "game/state_history.h"
#include "net/client.h"
#include "physics/lap_timing.h"
#include "physics/physics_tic.h"
#include "physics/rider.h"
#include "physics/rider_state.h"
#include "race_relay.h"
#include "tools/linegen/tool_path.h"
#include "support/stadium_course.h"
#include "core/util.h"
#include "ui/console.h"
#include "ui/settings.h"

extern char** environ;

namespace {

// The race is one lap: the fewest laps a race by laps can have in which the
// finish is decided by riding (the finish gate is the first lap's last).
constexpr uint32_t race_laps = 1;
const char* const race_track = "tracks/stadium";
// Start-up of both programs under a software renderer, two track loads and
// the handshake: the run that only chatted and watched a few seconds of
// racing was given 170 s for all of it.
constexpr double join_seconds = 170.0;
// The relay drops the gate 15 s after the first contact.
constexpr double gate_seconds = 15.0;
// A rider averaging below 10 ft/s over a lap is not racing (the players'
// course asks for 7 to 20 ft/s), and a fall costs a rider a few seconds
// before the game stands it up again: 43 s more covers the later player's
// 3 s at the gate and several falls. The lap's length is measured from the
// track's centre line.
constexpr double slowest_racing_speed = 10.0;  // ft/s
constexpr double fall_allowance = 43.0;        // s
// The last lap-time item and the results: each reliable item goes out at
// once and is re-sent every 0.5 s, so a few seconds cover a lost datagram.
constexpr double results_seconds = 10.0;
constexpr double chat_after = 1.0;  // seconds of racing before the chat line
// Four seconds of racing at 32 state packets a second.
constexpr int states_wanted = 4 * 32;
// Poses checked against two states the other program sent around the tic:
// spread over half a lap of the course (some 30 s of the 60 s it takes), one
// every 1.5 s on average (10 to 30 ft of the course apart at its 7 to 20 ft/s).
// The frames that check them come at whatever rate the software renderer
// keeps up under the sanitizer on a shared machine (0.6 to 15 a second seen,
// the lowest with both programs on two cores), so the figures ask for
// coverage, not a rate.
constexpr double poses_span_wanted = 30.0;  // s of the race between the first and the last
constexpr int poses_wanted = 20;
// A rider leaves the gate on its throttle key; 10 ft is far beyond the
// settling of a bike standing at the gate and short of what a second of
// riding covers.
constexpr double moved_wanted = 10.0;
const char* const first_chat = "hello from the first rider";
const char* const second_chat = "hello from the second rider";
// The riders' race numbers, which name them in the results.
const char* const first_number = "11";
const char* const second_number = "22";

race_relay relay;
std::chrono::steady_clock::time_point started;
double deadline_seconds = 0;
double racing_since = -1;
bool quit_pushed = false;
std::string other_display;
std::atomic<bool> other_done{false};
std::string other_results_path;
bool other_quit_sent = false;
double other_done_at = -1;

// What this game showed of the other rider.
int poses_checked = 0, poses_outside = 0;
rider_state_ground race_ground{};  // the stadium's, kept for after the race
int64_t first_pose_tic = -1, last_pose_tic = -1;
double worst_outside = 0;
int poses_while_down = 0;
std::string worst_where;
double first_seen[3] = {0, 0, 0};
bool seen_other = false;
double other_moved = 0;
int other_slot = -1;
int32_t other_status = -1;
// This game's own rider and race, as last seen during the race.
int own_slot = -1;
int32_t first_lap_gates = 0;
bool own_finished = false, results_seen_final = false;

std::function<void()> launch_other;  // starts the second program
double wall_seconds() { return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(); }

// The length of the track's closed centre line, read as the line learner
// reads it; 0 when it does not read.
double centre_line_length(const std::string& path)
{
    std::string error;
    std::vector<tool_point> p = read_centre_line(read_whole_file(path), &error);
    double length = 0.0;
    for (size_t i = 0; i < p.size(); i++)
        length += std::hypot(p[(i + 1) % p.size()].x - p[i].x, p[(i + 1) % p.size()].z - p[i].z);
    return length;
}

// The race is over for this program: its own rider has finished and its
// results are final (written).
bool race_over_here()
{
    int own = net_own_slot();
    return net_client.state == client_racing && own >= 0 && own < net_no_slot && rider_table[own] &&
           rider_table[own]->finished && results_final;
}
// Starts xdotool on a display; its process, or -1.
pid_t xdotool_start(const std::string& display, const std::vector<std::string>& words)
{
    std::vector<std::string> env_text;
    for (char** e = environ; *e; e++)
        if (strncmp(*e, "DISPLAY=", 8) != 0) env_text.push_back(*e);
    env_text.push_back(std::string("DISPLAY=").append(display));
    std::vector<char*> env;
    for (std::string& t : env_text) env.push_back(t.data());
    env.push_back(nullptr);
    std::vector<std::string> all = {"xdotool"};
    all.insert(all.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& w : all) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, "xdotool", nullptr, nullptr, argv.data(), env.data()) != 0) return -1;
    return pid;
}

// Runs xdotool on a display and waits for it; whether it ran and succeeded.
bool xdotool(const std::string& display, const std::vector<std::string>& words)
{
    pid_t pid = xdotool_start(display, words);
    if (pid < 0) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// xdotool runs for a display, one after another in the order given, on a
// thread of their own: a program waits for none of them (this game's frames
// go on while its keys are pressed).
struct xdotool_queue {
    std::string display;
    std::mutex m;
    std::condition_variable cv;
    std::deque<std::vector<std::string>> jobs;
    bool stop = false;
    std::thread worker;
};

void xdotool_queue_start(xdotool_queue* q, const std::string& display)
{
    q->display = display;
    q->stop = false;
    q->jobs.clear();
    q->worker = std::thread([q] {
        std::unique_lock<std::mutex> lock(q->m);
        for (;;) {
            q->cv.wait(lock, [q] { return q->stop || !q->jobs.empty(); });
            if (q->jobs.empty()) return;
            std::vector<std::string> words = std::move(q->jobs.front());
            q->jobs.pop_front();
            lock.unlock();
            xdotool(q->display, words);
            lock.lock();
        }
    });
}

void xdotool_queue_push(xdotool_queue* q, std::vector<std::string> words)
{
    if (words.empty()) return;
    std::lock_guard<std::mutex> lock(q->m);
    q->jobs.push_back(std::move(words));
    q->cv.notify_one();
}

// Runs what is queued, then ends the thread.
void xdotool_queue_finish(xdotool_queue* q)
{
    if (!q->worker.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(q->m);
        q->stop = true;
        q->cv.notify_one();
    }
    q->worker.join();
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

// A player at each program, pressing and letting go of its keys through
// synthetic X input on its display (xdotool). It rides by the throttle
// ("x"), both brakes ("c", "v") and the bars ("Left", "Right"), each held or
// let go from where its rider is in the states its program sends the
// server. It follows a slow course round the stadium (beside the jumps and
// the whoops, checkpoint to checkpoint, at 7 to 20 ft/s), steering for a
// point 12 ft on along it: a bar held while the point lies more than 4
// degrees off the way the bike goes, the throttle held below the course's
// speed there and the brakes beyond 4 ft/s over it. It also types a chat
// line from the chat key once the race is loaded.
struct key_player {
    xdotool_queue* keys = nullptr;
    std::vector<std::string> pending;  // key changes not yet queued
    const char* chat = "";
    double start_after = 0;  // seconds after the gate drop
    std::vector<stadium_course::course_point> way;  // 2 ft apart
    size_t at = 0;                                   // the nearest point, moving on only
    uint32_t last_tic = 0;
    double last[3] = {0, 0, 0};
    double heading = 0;
    bool heading_known = false;
    std::string held[3];  // the key held for the throttle, the brakes and the bars; "" none
    int key_changes = 0;
    int chat_attempts = 0;
    double chat_typed_at = -1;
    int chat_stage = 0;  // 0 none, 1 the chat key pressed, 2 the line typed
    bool done = false;  // its race is over: every key let go
};
// 0: this program's player, 1: the other program's.
key_player players[2];

void key_player_init(key_player* k, xdotool_queue* keys, const char* chat, double start_after)
{
    *k = key_player{};
    k->keys = keys;
    k->chat = chat;
    k->start_after = start_after;
    k->way = stadium_course::points_along(stadium_course::first_lap(), 2.0);
}

// Holds `key` in place of what `channel` held ("" lets go).
void hold_key(key_player* k, int channel, const std::string& key)
{
    std::string& was = k->held[channel];
    if (was == key) return;
    if (!was.empty()) k->pending.insert(k->pending.end(), {"keyup", was});
    if (!key.empty()) k->pending.insert(k->pending.end(), {"keydown", key});
    was = key;
    k->key_changes++;
}

// Queues the key changes made since the last time, as one run of xdotool.
void send_key_changes(key_player* k)
{
    xdotool_queue_push(k->keys, std::move(k->pending));
    k->pending.clear();
}

void let_go_of_every_key(key_player* k)
{
    for (int channel = 0; channel < 3; channel++) hold_key(k, channel, "");
    send_key_changes(k);
}

// One look at the rider's newest state and the keys it asks for.
void ride_by_keys(key_player* k, const relayed_state& newest, const rider_state_ground& g)
{
    if (newest.tic == k->last_tic || k->way.empty()) return;
    double p[3];
    record_position(newest.record, g, p);
    double speed = 0;
    if (k->last_tic != 0 && newest.tic > k->last_tic && newest.tic - k->last_tic <= 16) {
        double dt = (newest.tic - k->last_tic) * tic_length;
        double vx = (p[0] - k->last[0]) / dt, vz = (p[2] - k->last[2]) / dt;
        speed = std::hypot(vx, vz);
        if (speed > 3.0) {
            k->heading = std::atan2(vx, vz);
            k->heading_known = true;
        }
    }
    k->last_tic = newest.tic;
    memcpy(k->last, p, sizeof k->last);
    const std::vector<stadium_course::course_point>& w = k->way;
    auto distance = [&](size_t i) { return std::hypot(w[i].x - p[0], w[i].z - p[2]); };
    for (size_t i = k->at; i < std::min(w.size(), k->at + 40); i++)
        if (distance(i) < distance(k->at)) k->at = i;
    size_t aim = k->at;
    for (double along = 0; aim + 1 < w.size() && along < 12.0; aim++)
        along += std::hypot(w[aim + 1].x - w[aim].x, w[aim + 1].z - w[aim].z);
    double want = std::atan2(w[aim].x - p[0], w[aim].z - p[2]);
    double off = k->heading_known ? std::remainder(want - k->heading, 2 * M_PI) * 180 / M_PI : 0.0;
    hold_key(k, 2, off > 4.0 ? "Left" : off < -4.0 ? "Right" : "");
    double target = w[k->at].speed;
    hold_key(k, 0, speed < target ? "x" : "");
    hold_key(k, 1, speed > target + 4.0 ? "c+v" : "");
    send_key_changes(k);
}

// The chat line from the chat key, a step at a time so that each program
// has drawn its frames between them: the keys let go, the pointer on the
// window (the keyboard goes where it is) and the chat key; half a second
// later, with the page open, the line and Return; 1.5 s later, with the line
// out, Escape closes the page (it keeps the keyboard until then, and Escape
// acted on before the page's keys would lose the line). A line lost on the
// way is typed again 5 s on, at most four times in all.
bool chat_by_keys(key_player* k, double now)
{
    bool arrived = std::find(relay.chat.begin(), relay.chat.end(), k->chat) != relay.chat.end();
    double since = now - k->chat_typed_at;
    if (k->chat_stage == 1 && since > 0.5) {
        xdotool_queue_push(k->keys, {"type", "--delay", "40", k->chat});
        xdotool_queue_push(k->keys, {"key", "Return"});
        k->chat_stage = 2;
    } else if (k->chat_stage == 2 && since > 2.0) {
        xdotool_queue_push(k->keys, {"key", "Escape"});
        k->chat_stage = 0;
    } else if (k->chat_stage == 0 && !arrived && k->chat_attempts < 4 && (k->chat_typed_at < 0 || since > 5.0)) {
        let_go_of_every_key(k);
        xdotool_queue_push(k->keys, {"mousemove", "5", "5"});
        xdotool_queue_push(k->keys, {"key", "t"});
        k->chat_typed_at = now;
        k->chat_attempts++;
        k->chat_stage = 1;
    }
    return (arrived || k->chat_attempts >= 4) && k->chat_stage == 0;
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
    // A rider that is down is shown by its own fall, which the states only
    // follow loosely; the blend bounds hold for a rider on its bike.
    if (rider_is_down(rider_table[other_slot])) {
        poses_while_down++;
        return;
    }
    rider_state_ground g = rider_state_track_ground();
    race_ground = g;
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
    if (b >= gate_drop_tic) {
        if (first_pose_tic < 0) first_pose_tic = b;
        last_pose_tic = b;
    }
    if (outside > 0) {
        poses_outside++;
        if (outside > worst_outside) {
            char where[160];
            snprintf(where, sizeof where, "at tic %lld between states %u and %u, gate drop %d, the other %s",
                     (long long)b, lo->tic, hi->tic, gate_drop_tic,
                     rider_table[other_slot]->finished ? "finished" : "racing");
            worst_where = where;
        }
        worst_outside = std::max(worst_outside, outside);
    }
}

bool log_has(const char* text)
{
    for (int i = 0; i < console_line_count; i++)
        if (strstr(message_log.lines[i], text)) return true;
    return false;
}

int signal_children_named(const char* name, int signal);

void race_hook(int frame)
{
    if (frame == 0) {
        // The digest the server announces is the one the track's load gives:
        // load the stadium once offline and take it.
        copy_bounded(settings.track, race_track, int(sizeof settings.track));
        reset_session(nullptr, 0, 0, 0, 1000, 0);
        memcpy(relay.digest, track_digest, 20);
        // The other program starts once this one draws (its server, the
        // relay, answers only from this loop), and both programs'
        // allowances run from here: a slow start of this process must not
        // use up the other's time while it calls a server nobody steps.
        started = std::chrono::steady_clock::now();
        if (launch_other) launch_other();
    }
    double now = wall_seconds();
    relay_step(&relay, now);
    if (net_client.state == client_racing && racing_since < 0) racing_since = now;
    if (net_client.state == client_racing) {
        check_other_pose();
        own_slot = net_own_slot();
        first_lap_gates = timing_gates.counted_first_lap;
        own_finished = own_finished || (rider_table[own_slot] && rider_table[own_slot]->finished);
        results_seen_final = results_seen_final || race_over_here();
    }
    // Each player: its chat line once the race is loaded, then its ride from
    // its start after the gate drop (the chat page takes the keys while it
    // is open) until its rider is through the finish.
    for (int n = 0; n < 2; n++) {
        key_player* k = &players[n];
        if (racing_since < 0 || now - racing_since < chat_after || k->done || (n == 1 && other_done)) continue;
        const relay_client* client = nullptr;
        for (const relay_client& c : relay.clients)
            if ((c.slot == net_own_slot()) == (n == 0)) client = &c;
        bool finish_at_server = false;
        if (client && first_lap_gates > 0)
            for (const auto& [gate, tic] : client->gates) finish_at_server |= int(gate) == first_lap_gates - 1;
        if (finish_at_server) {
            let_go_of_every_key(k);
            k->done = true;
            continue;
        }
        if (!chat_by_keys(k, now)) continue;
        if (client && !client->states.empty() && tic_counter >= gate_drop_tic + int32_t(k->start_after * 128))
            ride_by_keys(k, client->states.back(), rider_state_track_ground());
    }
    // A player leaves once the race is over for them: once the other
    // program has written its results (with the server holding its finish),
    // it is asked to quit as a window's close would (SDL reads the signal as
    // that).
    if (!other_quit_sent && players[1].done && std::filesystem::exists(other_results_path))
        other_quit_sent = signal_children_named("zentrik", SIGTERM) > 0;
    // This game ends when its results are final too. A second program that
    // ended without finishing leaves nothing to wait for: its states
    // stopped, so its rider no longer holds the results open here.
    if (other_done && other_done_at < 0) other_done_at = now;
    bool over = other_done && (results_seen_final || now - other_done_at > results_seconds);
    if ((over || now > deadline_seconds) && !quit_pushed) {
        SDL_Event e{};
        e.type = SDL_QUIT;
        SDL_PushEvent(&e);
        quit_pushed = true;
    }
}

// This process's children (listed per thread of it).
std::vector<pid_t> children()
{
    std::vector<pid_t> out;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream list(task.path() / "children");
        for (pid_t pid; list >> pid;) out.push_back(pid);
    }
    return out;
}

// Sends `signal` to the children running the program `name`; how many.
int signal_children_named(const char* name, int signal)
{
    int n = 0;
    for (pid_t pid : children()) {
        std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
        std::string line;
        if (std::getline(comm, line) && line == name && kill(pid, signal) == 0) n++;
    }
    return n;
}


// Whether display n is taken: its lock file, or a socket of its name in
// use. An X server elsewhere on the machine's network (another container)
// may hold the abstract socket of a number whose lock file is free here, and
// a client of that number would reach it rather than ours.
bool display_taken(int n)
{
    if (access(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), F_OK) == 0) return true;
    std::ifstream unix_sockets("/proc/net/unix");
    const std::string name = "/tmp/.X11-unix/X" + std::to_string(n);
    for (std::string line; std::getline(unix_sockets, line);) {
        size_t at = line.find(name);
        if (at != std::string::npos && at + name.size() == line.size()) return true;
    }
    return false;
}

// A display of the other program's own, so that synthetic keys reach only
// it: a free number is picked and Xvfb tells on a pipe once it serves it (a
// server that cannot take the number ends and closes the pipe: the next one
// is tried). What Xvfb says goes to `log`, for a failure's message.
pid_t start_display(std::string* name, const std::string& log)
{
    int first = 200 + int(getpid() % 400);
    for (int n = first; n < first + 40; n++) {
        if (display_taken(n)) continue;
        int fds[2];
        if (pipe(fds) != 0) return -1;
        std::vector<std::string> words = {"Xvfb", ":" + std::to_string(n), "-displayfd", std::to_string(fds[1]),
                                          "-screen", "0", "640x480x24", "-nolisten", "tcp"};
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        pid_t pid;
        int spawned = posix_spawnp(&pid, "Xvfb", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (spawned != 0) {
            close(fds[0]);
            return -1;
        }
        char text[32] = {};
        size_t got = 0;
        while (got < sizeof text - 1 && !memchr(text, '\n', got)) {
            ssize_t k = read(fds[0], text + got, sizeof text - 1 - got);
            if (k <= 0) break;
            got += size_t(k);
        }
        close(fds[0]);
        // A client must reach it there: a server elsewhere holding the
        // number's abstract socket would take the connection instead.
        if (memchr(text, '\n', got) && atoi(text) == n && xdotool(":" + std::to_string(n), {"getmouselocation"})) {
            *name = ":" + std::to_string(n);
            return pid;
        }
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    return -1;
}

// A program's "@results.txt": the race numbers of its finishers in results
// order with the laps each completed, and whether any rider missed a gate
// ("-1" among the gate times, which a penalty may have moved in the order).
struct results_file {
    bool read = false;
    std::vector<std::string> numbers;
    std::vector<int> laps;
    bool gate_missed = false;
    std::string text;
};

results_file read_results(const std::string& path)
{
    results_file r;
    std::ifstream in(path, std::ios::binary);
    if (!in) return r;
    r.read = true;
    std::stringstream all;
    all << in.rdbuf();
    r.text = all.str();
    std::istringstream lines(r.text);
    std::string line;
    int n = 0;
    bool rows = true;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (n++ < 2) continue;  // the race line and the column titles
        if (line.empty()) {
            rows = false;
            continue;
        }
        if (!rows) {
            if (line.find(" -1") != std::string::npos || line.rfind("-1", 0) == 0) r.gate_missed = true;
            continue;
        }
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string f; std::getline(cells, f, '|');) {
            f.erase(0, f.find_first_not_of(' '));
            f.erase(f.find_last_not_of(' ') + 1);
            fields.push_back(f);
        }
        if (fields.size() < 3) continue;
        r.numbers.push_back(fields[0]);
        r.laps.push_back(atoi(fields[2].c_str()));
    }
    return r;
}

// The finishing order the server saw: each client's lap-time item for the
// first lap's last gate, earlier tic first, then the lower slot (the race
// order's rule for equal tics).
std::vector<std::string> finish_order_at_server(int first_gates, int here_slot)
{
    std::vector<std::pair<uint32_t, int>> finishes;
    for (const relay_client& c : relay.clients)
        for (const auto& [gate, tic] : c.gates)
            if (int(gate) == first_gates - 1) finishes.push_back({tic, c.slot});
    std::sort(finishes.begin(), finishes.end());
    std::vector<std::string> order;
    for (const auto& f : finishes) order.push_back(f.second == here_slot ? first_number : second_number);
    return order;
}

// The states a demo file holds for the rider of one number, read from the
// format itself (text lines: the version line with the rider count, the
// track, four lines a rider; then chunks {u32 length ^ previous length,
// i32 tic, u8 channel, payload}, channel 1 carrying 44-byte entries: rider
// index, i32 tic, 39-byte record).
struct demo_states {
    bool read = false;
    std::string error;
    std::vector<relayed_state> states;
};

demo_states read_demo_states(const std::string& path, const std::string& number)
{
    demo_states out;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        out.error = "no file " + path;
        return out;
    }
    std::stringstream all;
    all << in.rdbuf();
    const std::string b = all.str();
    size_t at = 0;
    auto line = [&](std::string* l) {
        size_t end = b.find('\n', at);
        if (end == std::string::npos) return false;
        *l = b.substr(at, end - at);
        at = end + 1;
        return true;
    };
    std::string l;
    int riders = 0;
    if (!line(&l) || sscanf(l.c_str(), "ZT06 %d", &riders) != 1 || riders < 1 || riders > 160) {
        out.error = "header \"" + l + "\"";
        return out;
    }
    line(&l);  // the track
    int index = -1;
    for (int k = 0; k < riders; k++) {
        std::string fields, num, name, blank;
        if (!line(&fields) || !line(&num) || !line(&name) || !line(&blank)) {
            out.error = "rider lines cut short";
            return out;
        }
        if (num == number) index = k;
    }
    if (index < 0) {
        out.error = "no rider numbered " + number;
        return out;
    }
    auto u32 = [&](size_t i) {
        uint32_t v = 0;
        for (int k = 0; k < 4; k++) v |= uint32_t(uint8_t(b[i + k])) << (8 * k);
        return v;
    };
    uint32_t previous = 0;
    while (at + 9 <= b.size()) {
        uint32_t length = u32(at) ^ previous;
        uint8_t channel = uint8_t(b[at + 8]);
        at += 9;
        if (length > b.size() - at) break;  // a chunk the program was still writing
        if (channel == 1)
            for (uint32_t e = 0; e + 44 <= length; e += 44) {
                if (uint8_t(b[at + e]) != index) continue;
                relayed_state s;
                s.tic = u32(at + e + 1);
                memcpy(s.record, b.data() + at + e + 5, sizeof s.record);
                out.states.push_back(s);
            }
        at += length;
        previous = length;
    }
    out.read = true;
    return out;
}

std::string config_with_number(const char* number)
{
    return zentrik_setup().config + "number=" + number + "\n";
}

TEST(two_riders, race_one_lap_of_the_stadium_through_the_test_server)
{
    std::string data = zentrik_data_root();
    double lap = centre_line_length(data + "/" + race_track + "/centre_line");
    ASSERT_GT(lap, 500.0) << "the stadium's centre line";
    deadline_seconds = join_seconds + gate_seconds + lap / slowest_racing_speed + fall_allowance + results_seconds;
    std::string display_log = std::filesystem::temp_directory_path().string() + "/zt_two_riders_xvfb_" +
                              std::to_string(getpid()) + ".txt";
    std::filesystem::remove(display_log);
    // Each program on a display of its own, so that the keys pressed for
    // it reach it alone (other tests may share the display this one runs
    // under).
    std::string here_display;
    pid_t displays[2] = {start_display(&here_display, display_log), -1};
    if (displays[0] > 0) displays[1] = start_display(&other_display, display_log);
    // A server resets when its last client leaves, and turns connections
    // away meanwhile: the built program opens its display twice (once to
    // read the mode, once for its window) and could meet that. A client that
    // only waits stays on each display for the whole test.
    pid_t holders[2] = {-1, -1};
    for (int k = 0; k < 2; k++)
        if (displays[k] > 0) holders[k] = xdotool_start(k == 0 ? here_display : other_display, {"sleep", "100000"});
    auto stop_displays = [&] {
        for (pid_t p : holders)
            if (p > 0) kill(p, SIGTERM), waitpid(p, nullptr, 0);
        for (pid_t d : displays)
            if (d > 0) kill(d, SIGTERM), waitpid(d, nullptr, 0);
    };
    if (displays[0] <= 0 || displays[1] <= 0) {
        stop_displays();
        FAIL() << "Xvfb did not start: " << read_whole_file(display_log);
    }
    setenv("DISPLAY", here_display.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    relay.laps = race_laps;
    relay.track = race_track;
    if (!relay_open(&relay)) {
        stop_displays();
        FAIL() << "the test server did not open";
    }
    std::string server = fake_server_name(relay.server);
    zentrik_setup here;
    here.config = config_with_number(first_number);
    zentrik_environment_here(here);
    // The other program: the built one, with its own player folder and
    // display; asked to quit once its results are written, and killed if
    // this game ends first.
    zentrik_setup there;
    // It records the race: its demo holds the states it posed the other
    // rider from.
    there.config = config_with_number(second_number) + "record=Yes\n";
    other_results_path = there.player_folder() + "/results.txt";
    there.timeout_seconds = int(deadline_seconds) + 60;
    there.env["DISPLAY"] = other_display;
    // Its keys come through its X display: a program that could not open
    // it must fail, not fall back to a driver without a window.
    there.env["SDL_VIDEODRIVER"] = "x11";
    zentrik_result other;
    // The players: this program's starts 3 s after the other's, which
    // leaves the gate at the drop: some 40 ft apart on the course, they do
    // not meet.
    static xdotool_queue keys[2];
    xdotool_queue_start(&keys[0], here_display);
    xdotool_queue_start(&keys[1], other_display);
    key_player_init(&players[0], &keys[0], first_chat, 3.0);
    key_player_init(&players[1], &keys[1], second_chat, 0.0);
    started = std::chrono::steady_clock::now();
    std::thread other_run;
    launch_other = [&] {
        other_run = std::thread([&] {
            other = run_zentrik(there, {"--connect", server, "--nosound"});
            other_done = true;
        });
    };

    static bool held = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && SDL_GL_LoadLibrary(nullptr) == 0;
    EXPECT_TRUE(held) << SDL_GetError();
    frame_hook = race_hook;
    std::vector<std::string> words = {"zentrik", "--connect", server, "--nosound"};
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    int status = game_main(int(argv.size()), argv.data());
    frame_hook = nullptr;
    for (xdotool_queue& q : keys) xdotool_queue_finish(&q);
    double ended = wall_seconds();
    // The other program, if this game ended first (its displays are
    // stopped below, by the signal that lets them clean up).
    signal_children_named("zentrik", SIGKILL);
    if (other_run.joinable()) other_run.join();
    launch_other = nullptr;
    relay_close(&relay);
    stop_displays();

    EXPECT_EQ(status, 0) << read_whole_file(here.log_path());
    ASSERT_EQ(relay.clients.size(), 2u) << "the relay took " << relay.datagrams << " datagrams, "
                                        << relay.contacts << " of them contacts; this program:\n"
                                        << read_whole_file(here.log_path()) << "the second program on "
                                        << other_display << ":\n"
                                        << other.out << other.err << other.log << "its Xvfb:\n"
                                        << read_whole_file(display_log);
    std::filesystem::remove(display_log);
    EXPECT_GE(racing_since, 0) << read_whole_file(here.log_path());
    for (const relay_client& c : relay.clients) {
        EXPECT_TRUE(c.loaded) << "slot " << c.slot;
        EXPECT_GT(c.states_received, states_wanted) << "slot " << c.slot;
    }
    // The other rider: made from the server's rider info, driven by its
    // history, following what the other program sent, and moving.
    EXPECT_EQ(other_status, slot_driven_by_history);
    EXPECT_GE(poses_checked, poses_wanted);
    EXPECT_GE((last_pose_tic - first_pose_tic) * tic_length, poses_span_wanted)
        << "poses checked from tic " << first_pose_tic << " to " << last_pose_tic;
    EXPECT_EQ(poses_outside, 0) << "worst " << worst_outside << " ft outside " << worst_where;
    EXPECT_GT(other_moved, moved_wanted) << other.log;
    // The same the other way: the second program poses this game's rider
    // from the states its history holds, which its demo records as they
    // arrived. Each must be one this game sent, at the tic it was sent for,
    // and together they must carry the rider over the race.
    const relay_client* mine_sent = nullptr;
    for (const relay_client& c : relay.clients)
        if (c.slot == own_slot) mine_sent = &c;
    ASSERT_NE(mine_sent, nullptr);
    demo_states seen = read_demo_states(there.player_folder() + "/demos/default.ztdemo", first_number);
    ASSERT_TRUE(seen.read) << seen.error << "\n" << other.log;
    int unsent = 0;
    int64_t seen_first = -1, seen_last = -1;  // tics after the drop
    double seen_moved = 0;
    const rider_state_ground& g = race_ground;
    ASSERT_GT(g.extent, 0.0f) << "no pose was checked to take the track's ground from";
    double seen_start[3] = {0, 0, 0};
    if (!seen.states.empty()) record_position(seen.states.front().record, g, seen_start);
    for (const relayed_state& s : seen.states) {
        bool sent = false;
        for (const relayed_state& t : mine_sent->states)
            if (t.tic == s.tic && !memcmp(t.record, s.record, sizeof s.record)) sent = true;
        unsent += !sent;
        double p[3];
        record_position(s.record, g, p);
        seen_moved = std::max(seen_moved, std::hypot(p[0] - seen_start[0], p[2] - seen_start[2]));
        if (int64_t(s.tic) < gate_drop_tic) continue;
        if (seen_first < 0) seen_first = s.tic;
        seen_last = std::max<int64_t>(seen_last, s.tic);
    }
    EXPECT_GE(int(seen.states.size()), poses_wanted);
    EXPECT_EQ(unsent, 0) << "of " << seen.states.size() << " states the second program recorded";
    EXPECT_GE((seen_last - seen_first) * tic_length, poses_span_wanted);
    EXPECT_GT(seen_moved, moved_wanted);
    // Chat both ways.
    EXPECT_NE(other.log.find("Contacting server"), std::string::npos) << other.log;
    EXPECT_NE(other.log.find(std::to_string(race_laps) + " laps"), std::string::npos) << other.log;
    EXPECT_NE(other.log.find(first_chat), std::string::npos) << other.log;
    EXPECT_GE(relay.chat.size(), 2u);
    EXPECT_NE(std::find(relay.chat.begin(), relay.chat.end(), first_chat), relay.chat.end());
    EXPECT_NE(std::find(relay.chat.begin(), relay.chat.end(), second_chat), relay.chat.end());
    EXPECT_TRUE(log_has(second_chat));

    // The finish: both riders crossed the line, both programs wrote their
    // results, and the results name the same riders in the same order, the
    // order of the finishing gate's tics that the server passed on.
    EXPECT_TRUE(own_finished) << "this game's rider did not finish";
    EXPECT_TRUE(results_seen_final) << "this game's results did not become final";
    // Both riders went round on their keys alone (that they finished, the
    // results below say), and the other program quit as asked.
    for (const key_player& k : players) EXPECT_GT(k.key_changes, 10) << k.keys->display;
    EXPECT_TRUE(other_quit_sent) << "the second program's results or finish never came";
    EXPECT_EQ(other.status, 0) << "the second program did not quit cleanly\n" << other.out << other.err << other.log;
    results_file mine = read_results(here.player_folder() + "/results.txt");
    results_file theirs = read_results(there.player_folder() + "/results.txt");
    ASSERT_TRUE(mine.read) << "no results here";
    ASSERT_TRUE(theirs.read) << "no results from the second program\n" << other.log;
    std::vector<std::string> both = {first_number, second_number};
    for (const results_file* r : {&mine, &theirs}) {
        std::vector<std::string> sorted = r->numbers;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(sorted, both) << r->text;
        for (int laps : r->laps) {
            EXPECT_EQ(laps, int(race_laps)) << r->text;
        }
    }
    EXPECT_EQ(mine.numbers, theirs.numbers) << "here:\n" << mine.text << "\nthere:\n" << theirs.text;
    ASSERT_GT(first_lap_gates, 0);
    std::vector<std::string> at_server = finish_order_at_server(first_lap_gates, own_slot);
    EXPECT_EQ(at_server.size(), 2u) << "finishing lap-time items through the server";
    // A missed gate costs a penalty that can move a rider behind one who
    // crossed the line later; then only the two programs' agreement counts.
    if (!mine.gate_missed && !theirs.gate_missed) {
        EXPECT_EQ(mine.numbers, at_server) << mine.text;
    }
    printf("keys changed %d and %d times; chat typed %d and %d times; poses checked %d over %.0f s (%d more while "
           "down), outside %d (worst %.3f ft), other moved %.1f ft; lap %.0f ft, racing from %.0f s, ended after %.0f s "
           "of %.0f s allowed; order %s %s; the second program recorded %zu of this rider's states over %.0f s, "
           "%.0f ft from its first\n",
           players[0].key_changes, players[1].key_changes, players[0].chat_attempts, players[1].chat_attempts,
           poses_checked, (last_pose_tic - first_pose_tic) * tic_length, poses_while_down, poses_outside,
           worst_outside, other_moved, lap, racing_since, ended,
           deadline_seconds,
           mine.numbers.empty() ? "-" : mine.numbers[0].c_str(), mine.numbers.size() < 2 ? "-" : mine.numbers[1].c_str(),
           seen.states.size(), (seen_last - seen_first) * tic_length, seen_moved);
}

}  // namespace

int main(int argc, char** argv)
{
    _mm_setcsr(_mm_getcsr() | 0x8040);  // the built program's floating-point mode
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
