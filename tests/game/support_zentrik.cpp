// The headless harness: the program in a child process with pipes on its
// standard output and error, read until it exits.
#include "support_zentrik.h"

#include <SDL.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sstream>
#include <utility>

extern char** environ;

namespace {

std::string absolute(const std::string& path)
{
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) ? std::string(buffer) : path;
}

// The variables the program runs with; an empty value unsets.
std::vector<std::pair<std::string, std::string>> harness_variables(zentrik_setup& setup)
{
    mkdir(setup.player_folder().c_str(), 0777);
    if (!setup.config.empty()) write_whole_file(setup.player_folder() + "/config", setup.config);
    std::vector<std::pair<std::string, std::string>> v = {
        {"XDG_DATA_HOME", setup.scratch.path},
        {"HOME", setup.scratch.path},
        {"ZT_HOME", setup.data_root},
        {"VESK_LOGFILE", setup.log_path()},
        {"VESK_OPTIONS", "[msgbox:off]"},
        {"ZT_SEED", "1"},
        {"SDL_AUDIODRIVER", "dummy"},
        {"LIBGL_ALWAYS_SOFTWARE", "1"},
    };
    for (const auto& [name, value] : setup.env) v.emplace_back(name, value);
    return v;
}

}  // namespace

zentrik_setup::zentrik_setup() : data_root(zentrik_data_root()) {}

std::string zentrik_data_root()
{
    // Tests run in build/tests; the generator writes build/data.
    return absolute("../data");
}

std::string zentrik_program()
{
    return absolute("../data/zentrik");
}

void zentrik_environment_here(zentrik_setup& setup)
{
    for (const auto& [name, value] : harness_variables(setup)) {
        if (value.empty()) unsetenv(name.c_str());
        else setenv(name.c_str(), value.c_str(), 1);
    }
}

zentrik_result run_zentrik(zentrik_setup& setup, const std::vector<std::string>& args)
{
    zentrik_result result;
    // The child gets this process's variables with the harness's over them.
    std::map<std::string, std::string> variables;
    for (char** e = environ; *e; e++) {
        const char* eq = strchr(*e, '=');
        if (eq) variables[std::string(*e, size_t(eq - *e))] = eq + 1;
    }
    for (const auto& [name, value] : harness_variables(setup)) {
        if (value.empty()) variables.erase(name);
        else variables[name] = value;
    }
    // In a sanitizer build the program's own leak check would report the GL
    // driver's lasting blocks anonymously (the driver is unloaded with the
    // window before the check runs), so the child skips it; the riding tests
    // run the same start-up, loop and shut-down in their own process, with
    // the driver held and leaks checked.
    std::string& asan = variables["ASAN_OPTIONS"];
    asan += asan.empty() ? "detect_leaks=0" : ":detect_leaks=0";
    std::vector<std::string> env_text;
    for (const auto& [name, value] : variables) env_text.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);
    int out_pipe[2], err_pipe[2];
    // Close-on-exec: a process another thread spawns meanwhile must not hold
    // a write end, or this reader would see no end until that process did
    // (the child's own ends are the copies made onto its 1 and 2).
    if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, out_pipe[0]);
    posix_spawn_file_actions_addclose(&actions, err_pipe[0]);
    std::string program = setup.program.empty() ? zentrik_program() : setup.program;
    std::vector<char*> argv{program.data()};
    std::vector<std::string> words = args;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out_pipe[1]);
    close(err_pipe[1]);
    if (setup.stdout_reader_gone) {
        close(out_pipe[0]);
        out_pipe[0] = -1;
    }
    if (spawned != 0) {
        if (out_pipe[0] >= 0) close(out_pipe[0]);
        close(err_pipe[0]);
        return result;
    }
    // Both pipes are read as they fill: a child writing frames must never
    // block on a full pipe while we wait on the other.
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open_count = out_pipe[0] >= 0 ? 2 : 1;
    time_t deadline = time(nullptr) + setup.timeout_seconds;
    bool killed = false;
    char buffer[65536];
    while (open_count > 0) {
        if (time(nullptr) > deadline && !killed) {
            kill(pid, SIGKILL);
            killed = true;
        }
        if (poll(fds, 2, 1000) < 0) break;
        for (int i = 0; i < 2; i++) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, size_t(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                open_count--;
            }
        }
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    result.status = !killed && WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    result.log = read_whole_file(setup.log_path());
    return result;
}

bool parse_p6_frames(const std::string& bytes, std::vector<p6_frame>* frames)
{
    size_t at = 0;
    while (at < bytes.size()) {
        p6_frame f;
        int consumed = 0;
        if (sscanf(bytes.c_str() + at, "P6\n%d %d\n255\n%n", &f.width, &f.height, &consumed) != 2 || consumed == 0)
            return false;
        if (f.width <= 0 || f.height <= 0) return false;
        at += size_t(consumed);
        size_t size = size_t(f.width) * size_t(f.height) * 3;
        if (bytes.size() - at < size) return false;
        f.pixels = bytes.substr(at, size);
        at += size;
        frames->push_back(std::move(f));
    }
    return true;
}

std::vector<std::string> log_lines(const std::string& log)
{
    std::vector<std::string> lines;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        // "[h:mm:ss.hh] text"
        if (!line.empty() && line[0] == '[') {
            size_t close = line.find("] ");
            if (close != std::string::npos) line = line.substr(close + 2);
        }
        lines.push_back(line);
    }
    return lines;
}

int find_line(const std::vector<std::string>& lines, const std::string& text, int from)
{
    for (int i = std::max(from, 0); i < int(lines.size()); i++)
        if (lines[i].find(text) != std::string::npos) return i;
    return -1;
}

void push_key_event(int scancode, bool down)
{
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = SDL_Scancode(scancode);
    SDL_PushEvent(&e);
}
