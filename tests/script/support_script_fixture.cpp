#include "script_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/game_state.h"
#include "core/vfs.h"
#include "game/startup.h"
#include "game/track_objects.h"
#include "platform/vesk_audio.h"
#include "script/script_host.h"
#include "script/script_sound.h"
#include "terrain/terrain.h"
#include "terrain/terrain_load.h"
#include "ui/console.h"

namespace {

int fake_texture(const char* name)
{
    return strstr(name, "missing") ? 0 : 100 + int(strlen(name));
}

void quiet(const char*) {}

}  // namespace

void script_fixture::SetUp()
{
    char pattern[] = "/tmp/zt_script_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    tmp = pattern;
    std::filesystem::create_directories(tmp + "/home");
    std::filesystem::create_directories(tmp + "/data/tracks/t");
    setenv("XDG_DATA_HOME", (tmp + "/home").c_str(), 1);
    setenv("ZT_HOME", (tmp + "/data").c_str(), 1);
    vfs_shutdown();
    console_clear();
    track_object_services_reset();
    track_object_hooks.texture_load = fake_texture;
    track_object_hooks.console_print = quiet;
    track_objects_free();
    track_objects_init();
    tic_counter = 0;
    history_delay = 0;
    gate_drop_tic = 1700;
}

void script_fixture::TearDown()
{
    script_unload();
    script_sounds_release();
    if (generated) {
        vesk_audio_close(main_audio);
        main_audio = nullptr;
        terrain_free(&track_terrain);
    }
    track_objects_free();
    track_object_services_reset();
    vfs_shutdown();
    unsetenv("ZT_HOME");
    unsetenv("XDG_DATA_HOME");
    std::filesystem::remove_all(tmp);
}

void script_fixture::write_data_file(const std::string& name, const std::string& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(tmp + "/data/" + name).parent_path());
    std::ofstream(tmp + "/data/" + name, std::ios::binary) << bytes;
}

int script_fixture::use_generated_track(const std::string& name)
{
    // Tests run in build/tests; the generator writes build/data.
    std::filesystem::path data = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "data";
    setenv("ZT_HOME", data.c_str(), 1);
    vfs_shutdown();
    track_object_services_reset();
    track_object_hooks.console_print = quiet;
    generated = true;
    track = "tracks/" + name;
    main_audio = vesk_audio_open_readback(22050);
    if (!terrain_load(&track_terrain, ("@" + track).c_str())) return 0;
    flying_pool_create();
    track_objects.first_file_billboard = track_objects.billboards.count;
    track_objects.first_file_statue = track_objects.statues.count;
    billboards_load(("@" + track + "/billboards").c_str());
    statues_load(("@" + track + "/statues").c_str());
    return 1;
}

int script_fixture::load(const std::string& source)
{
    script_unload();
    script_sounds_release();
    std::string file = generated ? tmp + "/home/Zentrik/" + track + "/nofrills.js" : tmp + "/data/" + track + "/frills.js";
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    std::ofstream(file, std::ios::binary) << source;
    vfs_shutdown();  // the file index is built again with the new file
    vfs_build_index();
    char path[256];
    script_path_for_track(track.c_str(), path, sizeof path);
    return script_load(path);
}

std::string script_fixture::js(const std::string& expression)
{
    if (!current_script) return "<no script>";
    std::string code = "zt.message('=' + String(" + expression + "))";
    if (!script_eval(current_script, code.c_str())) return std::string("<error ") + script_last_message(current_script) + ">";
    const char* line = console_recent_line(1, 0);
    return line && line[0] == '=' ? std::string(line + 1) : "<no line>";
}

int script_fixture::log_count(const std::string& text) const
{
    int n = 0;
    for (int k = 0; k < console_line_count; k++) {
        const char* line = console_recent_line(console_line_count, k);
        if (line && strstr(line, text.c_str())) n++;
    }
    return n;
}
