#include <unistd.h>

#include <cstdlib>

#include "core/game_state.h"
#include "core/vfs.h"
#include "game/generated_race.h"
#include "game/race_reset.h"
#include "game/startup.h"
#include "game/track_list.h"
#include "physics/physics_world.h"
#include "physics/rider.h"

namespace fs = std::filesystem;

std::string generated_data_root()
{
    return fs::canonical(fs::read_symlink("/proc/self/exe").parent_path() / ".." / "data").string();
}

void generated_race::use_root(const std::string& data_root)
{
    setenv("ZT_HOME", data_root.c_str(), 1);
    vfs_shutdown();
    vfs_build_index();
    track_list_free();
    ASSERT_TRUE(track_list_build());
}

void generated_race::SetUp()
{
    home = fs::temp_directory_path() / (std::string(home_name) + "_" + std::to_string(getpid()));
    fs::create_directories(home);
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    setenv("ZT_SEED", seed, 1);
    use_root(generated_data_root());
    physics_world_create();
    lighting_texture_loader = [](const char*) { return 0; };  // no GL: no sky textures
    options.learn_lines = 0;
}

void generated_race::TearDown()
{
    riders_destroy_all();
    track_free();
    lighting_texture_loader = saved_loader;
    physics_world_destroy();
    track_list_free();
    vfs_shutdown();
    unsetenv("ZT_SEED");
    unsetenv("ZT_HOME");
    unsetenv("XDG_DATA_HOME");
    fs::remove_all(home);
}
