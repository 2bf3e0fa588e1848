#include "track_fixture.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/game_state.h"
#include "core/util.h"
#include "core/vfs.h"
#include "game/flaggers.h"
#include "game/timing_gates.h"
#include "game/track_cameras.h"
#include "game/track_objects.h"
#include "physics/collision_shape.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"
#include "terrain/terrain_load.h"
#include "terrain/terrain_services.h"

namespace {

track_fixture* current;
alignas(16) unsigned char fake_model[64];

void capture(const char* text)
{
    std::string line = text;
    while (!line.empty() && line.back() == '\n') line.pop_back();
    current->console.push_back(line);
}

int fake_texture(const char* name) { return current->texture_id(name); }

int fake_suffix_lookup(const char* name, const char* old_suffix, const char* new_suffix)
{
    if (!ends_with(name, old_suffix)) return 0;
    std::string changed = std::string(name, strlen(name) - strlen(old_suffix)) + new_suffix;
    return current->texture_id(changed);
}

mesh* fake_model_load(const char* name)
{
    return strstr(name, "missing") ? nullptr : reinterpret_cast<mesh*>(fake_model);
}

} // namespace

void track_fixture::SetUp()
{
    char pattern[] = "/tmp/zt_track_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    tmp = pattern;
    home = tmp + "/home/Zentrik/";
    data = tmp + "/data/";
    std::filesystem::create_directories(home);
    std::filesystem::create_directories(data + "tracks/t");
    setenv("XDG_DATA_HOME", (tmp + "/home").c_str(), 1);
    setenv("ZT_HOME", (tmp + "/data").c_str(), 1);
    vfs_shutdown();
    current = this;
    track_object_services_reset();
    track_object_hooks.console_print = capture;
    track_object_hooks.texture_load = fake_texture;
    track_object_hooks.replace_suffix_lookup = fake_suffix_lookup;
    track_object_hooks.model_load = fake_model_load;
    terrain_free(&track_terrain);
    track_objects_free();
    track_objects_init();
    timing_gates_clear();
    snprintf(track_dir, sizeof track_dir, "tracks/t");
}

void track_fixture::TearDown()
{
    free_loaded_track();
    current = nullptr;
    vfs_shutdown();
    unsetenv("ZT_HOME");
    unsetenv("XDG_DATA_HOME");
    std::filesystem::remove_all(tmp);
}

void track_fixture::write_data_file(const std::string& name, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(data + name).parent_path());
    std::ofstream(data + name, std::ios::binary) << text;
}

void track_fixture::write_track_file(const std::string& name, const std::string& text)
{
    write_data_file("tracks/t/" + name, text);
}

std::string track_fixture::saved(const std::string& name)
{
    std::ifstream in(home + "tracks/t/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string track_fixture::track_path(const std::string& name) { return "@tracks/t/" + name; }

int track_fixture::count_containing(const std::string& text) const
{
    int n = 0;
    for (const auto& line : console) n += line.find(text) != std::string::npos;
    return n;
}

int track_fixture::texture_id(const std::string& name)
{
    textures_asked.push_back(name);
    auto it = texture_ids.find(name);
    if (it != texture_ids.end()) return it->second;
    if (!every_texture_exists || name.find("missing") != std::string::npos) return 0;
    int id = 100 + int(texture_ids.size());
    texture_ids[name] = id;
    return id;
}

void make_terrain(int exponent, float spacing, const std::function<float(float, float)>& height)
{
    int size = (1 << (exponent + 1)) + 1;
    float low = 1e30f, high = -1e30f;
    std::vector<float> h(size_t(size) * size);
    for (int j = 0; j < size; j++)
        for (int i = 0; i < size; i++) {
            float v = height(i * spacing, j * spacing);
            h[size_t(j) * size + i] = v;
            low = fminf(low, v), high = fmaxf(high, v);
        }
    if (high - low < 1) high = low + 1;
    char header[128];
    snprintf(header, sizeof header, "%d %.9g %.9g %.9g\n:", exponent, spacing, low, high);
    std::string bytes = header;
    for (float v : h) {
        long q = lroundf((v - low) / (high - low) * 65535.0f);
        bytes += char(q & 0xff);
        bytes += char(q >> 8);
    }
    terrain_free(&track_terrain);
    ASSERT_EQ(heightfield_read(&track_terrain, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), nullptr), 1);
}

int load_track_folder(const std::string& folder)
{
    snprintf(track_dir, sizeof track_dir, "%s", folder.c_str());
    std::string at = "@" + folder + "/";
    if (!terrain_load(&track_terrain, ("@" + folder).c_str())) return 0;
    track_objects_init();
    timing_gates_load((at + "timing_gates").c_str());
    flying_pool_create();
    flaggers_load((at + "flaggers").c_str());
    track_objects.first_file_billboard = track_objects.billboards.count;
    track_objects.first_file_statue = track_objects.statues.count;
    billboards_load((at + "billboards").c_str());
    statues_load((at + "statues").c_str());
    rebuild_statue_grid();
    track_cameras_load((at + "cameras").c_str());
    return 1;
}

void free_loaded_track()
{
    track_objects_free();
    terrain_free(&track_terrain);
    collision_shapes_free();
    track_object_services_reset();
    terrain_services_reset();
    track_dir[0] = 0;
}
