#include "script_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/game_state.h"
#include "core/vfs.h"
#include "game/track_objects.h"
#include "script/script_host.h"
#include "script/script_sound.h"
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

int script_fixture::load(const std::string& source)
{
    script_unload();
    write_data_file("tracks/t/frills.js", source);
    vfs_shutdown();  // the file index is built again with the new file
    return script_load("@tracks/t/frills.js");
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
