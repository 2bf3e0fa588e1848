// The scene export of both generated tracks, read by POV-Ray itself: a scene
// that supplies the billboard macros and a camera includes the exported file,
// and a small render of it must parse and show the lit ground, statues and
// billboards (not one flat colour).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/alloc.h"
#include "core/game_state.h"
#include "core/vfs.h"
#include "editor/editor_save.h"
#include "game/track_objects.h"
#include "gfx/mesh.h"
#include "support/temp_dir.h"
#include "terrain/terrain.h"
#include "terrain/terrain_load.h"
#include "terrain/terrain_services.h"
#include "track_fixture.h"

namespace fs = std::filesystem;

namespace {

std::vector<mesh*> parsed_models;

// Models parsed from the data root without a GL context.
mesh* parse_model(const char* name)
{
    char* text = file_to_string(name);
    if (!text) return nullptr;
    mesh* m = mesh_parse(name, text, strlen(text));
    alloc_check_free(text);
    if (m) parsed_models.push_back(m);
    return m;
}
int no_texture(const char*) { return 0; }
int no_suffix(const char*, const char*, const char*) { return 0; }
void quiet(const char*) {}

std::string data_root() { return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "data").string(); }

struct pov_render : ::testing::TestWithParam<const char*> {
    temp_dir home;
    void SetUp() override
    {
        if (std::system("povray --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "povray is not installed";
        setenv("ZT_HOME", data_root().c_str(), 1);
        setenv("XDG_DATA_HOME", home.path.c_str(), 1);
        vfs_shutdown();
        track_object_services_reset();
        track_object_hooks.console_print = quiet;
        track_object_hooks.texture_load = no_texture;
        track_object_hooks.replace_suffix_lookup = no_suffix;
        track_object_hooks.model_load = parse_model;
        terrain_services_reset();
        terrain_hooks.console_print = quiet;
        track_objects_free();
    }
    void TearDown() override
    {
        for (int32_t i = 0; i < track_objects.statues.count; i++) statue_at(i)->model = nullptr;
        free_loaded_track();
        for (mesh* m : parsed_models) mesh_free(m);
        parsed_models.clear();
        vfs_shutdown();
        unsetenv("ZT_HOME");
        unsetenv("XDG_DATA_HOME");
    }
};

TEST_P(pov_render, the_exported_scene_parses_and_renders)
{
    std::string folder = std::string("tracks/") + GetParam();
    ASSERT_EQ(load_track_folder(folder), 1);
    ASSERT_GT(track_objects.statues.count, 0);
    // The ground refers to the terrain.png the save writes beside the scene.
    ASSERT_EQ(terrain_save(&track_terrain), 1);
    export_pov_scene();
    std::string dir = home.path + "/Zentrik/" + folder;
    std::string pov = read_whole_file(dir + "/track.pov");
    ASSERT_FALSE(pov.empty());
    ASSERT_NE(pov.find("#declare statues = union {"), std::string::npos);

    // Every billboard is a macro named after its texture: the including
    // scene gives each a small upright panel.
    std::set<std::string> macros;
    std::regex call("object \\{\\n\\t([A-Za-z0-9_]+)\\(\\)");
    for (std::sregex_iterator it(pov.begin(), pov.end(), call), end; it != end; ++it) macros.insert((*it)[1]);
    ASSERT_FALSE(macros.empty());
    float e = track_terrain.extent, top = track_terrain.height_max;
    std::ostringstream scene;
    scene << "#version 3.7;\nglobal_settings { assumed_gamma 1.0 }\n";
    for (const std::string& m : macros)
        scene << "#macro " << m << "() box { <-2, 0, -0.2>, <2, 4, 0.2> pigment { rgb <1, 0.2, 0.1> } } #end\n";
    scene << "#include \"track.pov\"\n"
          << "background { rgb <0.2, 0.6, 0.8> }\n"
          << "camera { location <" << e * 0.5f << ", " << top + e * 0.9f << ", " << e * 0.1f << "> look_at <"
          << e * 0.5f << ", " << top * 0.5f << ", " << e * 0.5f << "> angle 60 }\n"
          << "light_source { <" << e * 0.2f << ", " << top + e << ", " << e * 0.3f << "> rgb 1 }\n"
          << "object { ground pigment { rgb <0.55, 0.42, 0.3> } }\n"
          << "object { statues }\nobject { billboards }\n";
    std::ofstream(dir + "/scene.pov") << scene.str();

    std::string out = dir + "/render.ppm", log = dir + "/povray.log";
    std::string command = "cd '" + dir + "' && HOME='" + home.path + "' povray -D +W160 +H120 +FP +Iscene.pov +O'" +
                          out + "' +L'" + data_root() + "' > '" + log + "' 2>&1";
    int status = std::system(command.c_str());
    std::string messages = read_whole_file(log);
    ASSERT_EQ(status, 0) << messages;
    // With ZT_EDITOR_SCREENSHOTS naming a folder, the render is kept there.
    if (const char* keep = getenv("ZT_EDITOR_SCREENSHOTS"))
        fs::copy_file(out, std::string(keep) + "/pov_" + GetParam() + ".ppm", fs::copy_options::overwrite_existing);
    EXPECT_EQ(messages.find("Parse Error"), std::string::npos) << messages;

    // The ray tracer's PPM carries a comment line in its header.
    std::istringstream ppm(read_whole_file(out));
    std::string magic, comment;
    int width = 0, height = 0, depth = 0;
    ppm >> magic >> std::ws;
    while (ppm.peek() == '#') std::getline(ppm, comment);
    ppm >> width >> height >> depth;
    ppm.get();
    ASSERT_EQ(magic, "P6");
    ASSERT_EQ(width, 160);
    ASSERT_EQ(height, 120);
    ASSERT_EQ(depth, 255);
    std::string image((std::istreambuf_iterator<char>(ppm)), std::istreambuf_iterator<char>());
    ASSERT_EQ(image.size(), 160u * 120 * 3);
    std::set<int> colours;
    for (size_t k = 0; k + 2 < image.size(); k += 3)
        colours.insert((uint8_t(image[k]) << 16) | (uint8_t(image[k + 1]) << 8) | uint8_t(image[k + 2]));
    // A lit height field over hills and jumps shades by slope, beside the
    // sky and the red billboard panels: far more than a handful of colours.
    EXPECT_GE(colours.size(), 50u);
}

INSTANTIATE_TEST_SUITE_P(generated, pov_render, ::testing::Values("practice", "stadium"));

}  // namespace
