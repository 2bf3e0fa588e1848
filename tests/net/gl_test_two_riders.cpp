// Two real programs join one race through the test race server: this
// process runs the game (its loop steps the server each frame) and a second
// process runs the built program, both pointed at the server with
// "--connect". Both get through the handshake on the stadium track, race,
// send their states, and this one's chat reaches the other.
#include <SDL.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/game_state.h"
#include "game/main_loop.h"
#include "game/race_reset.h"
#include "game/startup.h"
#include "game/support_zentrik.h"
#include "net/client.h"
#include "net/reliable.h"
#include "race_relay.h"
#include "core/util.h"
#include "ui/settings.h"

namespace {

// Start-up and two track loads under a software renderer can take long on a
// busy machine: the run ends when everything was seen, or at this deadline.
constexpr double deadline_seconds = 150.0;
constexpr double chat_after = 1.0;  // seconds of racing before the chat line
// Four seconds of racing at 32 state packets a second.
constexpr int states_wanted = 4 * 32;

race_relay relay;
std::chrono::steady_clock::time_point started;
double racing_since = -1;
bool chat_sent = false;
bool quit_pushed = false;

double wall_seconds() { return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(); }

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
    if (racing_since >= 0 && now - racing_since > chat_after && !chat_sent) {
        send_script_message(reliable_chat, "hello from the first rider", 26);
        chat_sent = true;
    }
    bool seen = chat_sent && relay.clients.size() == 2 && relay.clients[1].items.empty() && !relay.chat.empty();
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

TEST(two_riders, join_one_race_through_the_test_server)
{
    ASSERT_TRUE(relay_open(&relay));
    std::string server = fake_server_name(relay.server);
    zentrik_setup here;
    zentrik_environment_here(here);
    // The other program: its own player folder, killed once this game ends.
    zentrik_setup there;
    there.timeout_seconds = int(deadline_seconds) + 60;
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
    stop_children();
    other_run.join();
    relay_close(&relay);

    EXPECT_EQ(status, 0) << read_whole_file(here.log_path());
    ASSERT_EQ(relay.clients.size(), 2u);
    EXPECT_GE(racing_since, 0) << read_whole_file(here.log_path());
    for (const relay_client& c : relay.clients) {
        EXPECT_TRUE(c.loaded) << "slot " << c.slot;
            EXPECT_GT(c.states_received, states_wanted) << "slot " << c.slot;
    }
    EXPECT_NE(other.log.find("Contacting server"), std::string::npos) << other.log;
    EXPECT_NE(other.log.find("1 laps"), std::string::npos) << other.log;
    EXPECT_NE(other.log.find("hello from the first rider"), std::string::npos) << other.log;
    ASSERT_FALSE(relay.chat.empty());
    EXPECT_EQ(relay.chat[0], "hello from the first rider");
}

}  // namespace
