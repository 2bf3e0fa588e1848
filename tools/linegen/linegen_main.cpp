// Writes every generated track's racing lines ("lines_novice",
// "lines_amateur", "lines_expert") into the data root, learned by riding
// the game's own race (tools/linegen/line_learner.h). The build runs it
// after the data generator. The same data gives the same bytes; a digest of
// the tracks' files (and of the learner's plan) is kept beside the data
// root, and while it matches and the files are there the tool does nothing.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ai/racing_lines.h"
#include "core/ripemd160.h"
#include "core/vfs.h"
#include "game/lighting.h"
#include "game/race_reset.h"
#include "game/track_list.h"
#include "physics/physics_world.h"
#include "physics/setup.h"
#include "tools/linegen/line_learner.h"
#include "ui/settings.h"

namespace fs = std::filesystem;

namespace {

// Changing how lines are learned changes this, so the next build learns
// them again.
constexpr const char* learner_version = "linegen 4";

learn_plan plan = {3, 12, 1, 6, 2, 0};

std::string file_bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool is_lines_file(const std::string& name) { return name.rfind("lines_", 0) == 0; }

// What the lines are learned from: every file of the learned track
// folders but their lines, by name, and the learner's version and plan.
std::string inputs_digest(const fs::path& root, const std::vector<std::string>& folders)
{
    ripemd160_ctx ctx;
    ripemd160_init(&ctx);
    char text[128];
    snprintf(text, sizeof text, "%s %d %d %d %d %d\n", learner_version, plan.seed_laps, plan.seed_rounds, plan.race_count,
             plan.race_riders, plan.race_laps);
    ripemd160_update(&ctx, text, strlen(text));
    // The learner's own code: the physics and the auto pilot are linked
    // into it, and lines learned with other physics ride another bike.
    std::string program = file_bytes("/proc/self/exe");
    ripemd160_update(&ctx, program.data(), program.size());
    for (const std::string& folder : folders) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(root / folder))
            if (e.is_regular_file() && !is_lines_file(e.path().filename().string()))
                names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            std::string bytes = file_bytes(root / folder / name);
            std::string head = folder + "/" + name + " " + std::to_string(bytes.size()) + "\n";
            ripemd160_update(&ctx, head.data(), head.size());
            ripemd160_update(&ctx, bytes.data(), bytes.size());
        }
    }
    ripemd160_final(&ctx);
    std::string hex;
    for (uint8_t b : ctx.digest) {
        snprintf(text, sizeof text, "%02x", b);
        hex += text;
    }
    return hex;
}

bool lines_present(const fs::path& root, const std::vector<std::string>& folders)
{
    for (const std::string& folder : folders)
        for (int skill = 0; skill < 3; skill++)
            if (!fs::exists(root / folder / lines_file_name(skill))) return false;
    return true;
}

// Learns one track folder at every skill into the data root; the exit
// status of its process.
int learn_folder(const fs::path& root, const char* scratch, const std::string& folder)
{
    vfs_shutdown();
    vfs_build_index();
    if (!track_list_build()) {
        fprintf(stderr, "zt_linegen: no tracks in '%s'\n", root.c_str());
        return 1;
    }
    // The program's defaults, as its start-up gives them before "@config":
    // the learner's riders ride the default setups.
    settings_defaults();
    setup_defaults(&player_setup);
    stability_apply(&player_setup, player_setup.stability);
    setup_applied_accept(&player_setup);
    physics_world_create();
    lighting_texture_loader = [](const char*) { return 0; };  // no GL: the sky gets no textures
    int status = 0;
    for (int skill = 0; skill < 3 && status == 0; skill++) {
        learn_report report;
        std::string error;
        if (!learn_track_lines(folder, skill, plan, &report, &error)) {
            fprintf(stderr, "zt_linegen: %s\n", error.c_str());
            status = 1;
            break;
        }
        const char* name = lines_file_name(skill);
        printf("zt_linegen: %s/%s: %d lines in %d sets (%d empty), %d of %d rides done, %d races, %.0f s ridden\n",
               folder.c_str(), name, report.lines, report.sets, report.empty_sets, report.rides_finished,
               report.rides, report.races, report.seconds);
        fflush(stdout);
        std::error_code ec;
        fs::copy_file(fs::path(scratch) / "Zentrik" / folder / name, root / folder / name,
                      fs::copy_options::overwrite_existing, ec);
        if (ec) {
            fprintf(stderr, "zt_linegen: %s/%s: not written\n", folder.c_str(), name);
            status = 1;
        } else if (report.empty_sets > 0) {
            // Computer riders stop where a section has no line; the file is
            // still good for every other section.
            fprintf(stderr, "zt_linegen: warning: %s/%s: %d sections without a line\n", folder.c_str(), name,
                    report.empty_sets);
        }
    }
    track_free();
    physics_world_destroy();
    track_list_free();
    vfs_shutdown();
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    while (argc >= 3 && !strcmp(argv[1], "--verbose")) {
        plan.verbose++;
        argv++, argc--;
    }
    if (argc != 2) {
        fprintf(stderr, "usage: zt_linegen [--verbose] DATA_ROOT\n");
        return 1;
    }
    std::error_code ec;
    fs::path root = fs::absolute(argv[1], ec);
    if (ec || !fs::is_directory(root)) {
        fprintf(stderr, "zt_linegen: no data root '%s'\n", argv[1]);
        return 1;
    }
    // The tracks that say how they are ridden.
    std::vector<std::string> folders;
    if (fs::is_directory(root / "tracks"))
        for (const auto& e : fs::directory_iterator(root / "tracks"))
            if (fs::exists(e.path() / "centre_line")) folders.push_back("tracks/" + e.path().filename().string());
    std::sort(folders.begin(), folders.end());
    fs::path stamp = root.string() + ".lines.stamp";
    std::string digest = inputs_digest(root, folders);
    if (lines_present(root, folders) && file_bytes(stamp) == digest + "\n") {
        printf("zt_linegen: racing lines up to date\n");
        return 0;
    }

    // The game writes its lines to the player's folder: a scratch one here,
    // copied into the data root at the end. Old lines must not be read back.
    char scratch[] = "/tmp/zt_linegen_XXXXXX";
    if (!mkdtemp(scratch)) {
        fprintf(stderr, "zt_linegen: can't make a scratch folder\n");
        return 1;
    }
    for (const std::string& folder : folders)
        for (int skill = 0; skill < 3; skill++) fs::remove(root / folder / lines_file_name(skill), ec);
    fs::remove(stamp, ec);
    setenv("ZT_HOME", root.c_str(), 1);
    setenv("XDG_DATA_HOME", scratch, 1);
    setenv("ZT_SEED", "1", 1);
    // One process a track: the tracks learn side by side on two cores and
    // each gives the bytes it would alone.
    std::vector<pid_t> children;
    for (const std::string& folder : folders) {
        fflush(stdout);
        pid_t pid = fork();
        if (pid == 0) _exit(learn_folder(root, scratch, folder));
        if (pid < 0) {
            fprintf(stderr, "zt_linegen: can't start a process for %s\n", folder.c_str());
            continue;
        }
        children.push_back(pid);
    }
    int status = children.size() == folders.size() ? 0 : 1;
    for (pid_t pid : children) {
        int child = 0;
        if (waitpid(pid, &child, 0) != pid || !WIFEXITED(child) || WEXITSTATUS(child) != 0) status = 1;
    }
    fs::remove_all(scratch, ec);
    if (status == 0) {
        std::ofstream out(stamp);
        out << digest << "\n";
    }
    return status;
}
