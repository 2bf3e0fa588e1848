// Saving and the scene export with no window: the identifiers of file names,
// the scene's declarations (one per model, the matrix transposed), saves
// that repeat byte for byte and clear the modified flag, and saves killed at
// any point that leave every track file old or new.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/game_state.h"
#include "core/vfs.h"
#include "editor/editor_save.h"
#include "editor/editor_state.h"
#include "editor/object_tools.h"
#include "game/timing_gates.h"
#include "game/track_objects.h"
#include "gfx/mesh.h"
#include "support/temp_dir.h"
#include "terrain/terrain.h"
#include "track_fixture.h"
#include "ui/console.h"

namespace {

std::string identifier(const char* name)
{
    temp_dir dir;
    std::string path = dir.file("id");
    vfs_stream* f = vfs_open(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    pov_write_identifier(f, name);
    vfs_close(f);
    return read_whole_file(path);
}

TEST(pov_identifier, examples)
{
    const struct {
        const char* name;
        const char* id;
    } cases[] = {
        {"objects/tree.png", "_tree"},  // the '/' is kept and written as '_'
        {"big-rock.png", "big_rock"},
        {"2fast.png", "_2fast"},
        {"@2fast.png", "_2fast"},        // the '@' is skipped first
        {"@objects/2fast.png", "_2fast"},  // '/' is not a digit: one '_' only
        {"a.b.png", "a_b"},              // ends at the last '.'
        {"noext", "noext"},
        {"", "_"},                       // never empty
        {".png", "_"},
        {"x y+z.ppm", "x_y_z"},
    };
    for (const auto& c : cases) EXPECT_EQ(identifier(c.name), c.id) << c.name;
}

// One triangle, for statues that need a model to export.
struct triangle_model {
    mesh_vertex vertices[3] = {};
    uint32_t indices[3] = {0, 1, 2};
    mesh_part part = {};
    mesh m = {};
    explicit triangle_model(const char* name)
    {
        for (int k = 0; k < 3; k++) vertices[k].normal[1] = 1;
        vertices[1].position[0] = 1, vertices[2].position[2] = 1;
        strcpy(part.name, "body");
        part.vertex_count = 3, part.triangle_count = 1;
        part.vertices = vertices, part.indices = indices;
        part.colour[0] = part.colour[1] = part.colour[2] = part.colour[3] = 1;
        m.name = name, m.lod_count = 1, m.part_count = 1, m.parts = &part;
    }
};

struct scene_export : track_fixture {
    triangle_model rock{"@rock.qm"}, tree_a{"a/tree.qm"}, tree_b{"b/tree.qm"}, cone{"@cone.qm"};
    void SetUp() override
    {
        track_fixture::SetUp();
        make_terrain(3, 4, [](float x, float) { return x * 0.25f; });
        editor_state_begin(&track_terrain);
    }
    void TearDown() override
    {
        // The test's models are not the cache's: drop them before the free.
        for (int32_t i = 0; i < track_objects.statues.count; i++) statue_at(i)->model = nullptr;
        editor_state_end();
        track_fixture::TearDown();
    }
    int32_t statue_with(triangle_model& model, const char* texture)
    {
        int32_t i = create_statue(5, 0, 6, 0, model.m.name, texture, nullptr);
        statue_at(i)->model = &model.m;
        return i;
    }
    std::string exported()
    {
        export_pov_scene();
        return saved("track.pov");
    }
    static int count(const std::string& text, const std::string& what)
    {
        int n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
        return n;
    }
};

TEST_F(scene_export, a_track_without_statues_has_only_billboards_and_ground)
{
    create_billboard(0, 2, 3, 4, 1, "@objects/banner.png");  // ground height 0 at x = 0
    create_billboard(1, 2, 3, 4, 1, nullptr);  // no texture name: not written
    std::string pov = exported();
    EXPECT_EQ(pov.rfind("#declare billboards = union {\n", 0), 0u) << pov;
    EXPECT_EQ(count(pov, "statues"), 0);
    EXPECT_NE(pov.find("object {\n\t_banner()\n\ttranslate <0.000000,2.000000,3.000000>\n}\n"), std::string::npos)
        << pov;
    EXPECT_EQ(count(pov, "object {"), 1);
    // Ground: 64 ft across, heights 0..16 (x / 4).
    EXPECT_NE(pov.find("#declare ground = height_field {\n\tpng \"terrain.png\"\n\tscale <1, 1, -1>\n\ttranslate "
                       "<0, 0, 1>\n\tscale <64.000000,16.000000,64.000000>\n\ttranslate <0,0.000000,0>\n}\n"),
              std::string::npos)
        << pov;
}

TEST_F(scene_export, one_declaration_per_model_and_the_matrix_transposed)
{
    int32_t a = statue_with(rock, "@rock.ppm");
    statue_with(rock, nullptr);
    for (int k = 0; k < 9; k++) statue_at(a)->orientation[k] = float(k + 1);
    std::string pov = exported();
    EXPECT_EQ(count(pov, "#declare rock = "), 1) << pov;
    EXPECT_EQ(count(pov, "\tobject {\n\t\trock\n"), 2);
    // Only the first has a texture; a ".ppm" name is read as ppm, without its '@'.
    EXPECT_EQ(count(pov, "texture { uv_mapping"), 1);
    EXPECT_NE(pov.find("\t\ttexture { uv_mapping pigment { image_map { ppm \"rock.ppm\"} } scale <1,-1,1> }\n"),
              std::string::npos);
    // Stored e0..e8 = 1..9 written e0 e3 e6 e1 e4 e7 e2 e5 e8.
    EXPECT_NE(pov.find("\t\tmatrix <1.000000,4.000000,7.000000,2.000000,5.000000,8.000000,3.000000,6.000000,"
                       "9.000000,0,0,0>\n\t\ttranslate <5.000000,"),
              std::string::npos)
        << pov;
    EXPECT_LT(pov.find("#declare statues"), pov.find("#declare billboards"));
}

TEST_F(scene_export, names_that_read_alike_get_distinct_identifiers_and_strings_are_escaped)
{
    statue_with(tree_a, "@tex\"q.png");
    statue_with(tree_b, nullptr);
    statue_with(cone, nullptr);
    create_billboard(1, 0, 1, 1, 1, "@x.png");  // "x" is a predeclared vector
    std::string pov = exported();
    EXPECT_EQ(count(pov, "#declare cone_2 = "), 1) << "a reserved word is taken";
    EXPECT_EQ(count(pov, "\tx_2()"), 1);
    EXPECT_EQ(count(pov, "#declare _tree = "), 1) << pov;
    EXPECT_EQ(count(pov, "#declare _tree_2 = "), 1);
    EXPECT_EQ(count(pov, "\t\t_tree_2\n"), 1);
    EXPECT_NE(pov.find("png \"tex\\\"q.png\""), std::string::npos) << pov;
}

TEST_F(scene_export, the_console_command_pov_writes_the_scene)
{
    EXPECT_EQ(console_command("/pov"), 1);
    EXPECT_NE(saved("track.pov").find("#declare ground = height_field"), std::string::npos);
}

TEST_F(scene_export, an_unwritable_folder_is_skipped_silently)
{
    snprintf(track_dir, sizeof track_dir, "../outside");
    export_pov_scene();
    EXPECT_TRUE(console.empty());
}

// ---- Saving -----------------------------------------------------------------------

const char* const track_files[] = {"billboards", "timing_gates", "terrain.hf", "terrain.png", "decals",
                                   "shading.ppm", "shadingx2.ppm", "statues"};

struct track_save : track_fixture {
    void SetUp() override
    {
        track_fixture::SetUp();
        // 129 x 129 samples: the terrain files are tens to hundreds of KB, so a
        // kill can land inside one as well as between two.
        make_terrain(6, 4, [](float x, float z) { return 0.01f * x * z; });
        snprintf(track_terrain.folder, sizeof track_terrain.folder, "@tracks/t");
        editor_state_begin(&track_terrain);
        timing_gates.checkpoint_count = 3;
        for (int i = 0; i < 3; i++) timing_gates.checkpoints[i] = {10.0f * i, 0, 5, 1, 0, 0, 8, 0};
        for (int i = 0; i < 6; i++) timing_gates.lap_entries[i] = i % 3;
        timing_gates.first_lap_entries = timing_gates.normal_lap_entries = 3;
        create_billboard(3, 1, 4, 2, 1, "@banner.png");
        create_statue(7, 0, 8, 0.5f, "@rock.qm", "@rock.png", nullptr);
    }
    void TearDown() override
    {
        editor_state_end();
        track_fixture::TearDown();
    }
    std::map<std::string, std::string> files()
    {
        std::map<std::string, std::string> out;
        for (const char* f : track_files) out[f] = saved(f);
        return out;
    }
    void put(const std::map<std::string, std::string>& version)
    {
        for (const auto& [name, bytes] : version) write_whole_file(home + "tracks/t/" + name, bytes);
    }
    // A second version of everything the save writes.
    void change_everything()
    {
        // Bumps of 0..4 ft: samples, header, grey image and shading all change.
        for (int32_t k = 0; k < track_terrain.size * track_terrain.size; k++) track_terrain.heights[k] += float(k % 5);
        track_terrain.height_max += 4;
        create_billboard(9, 1, 9, 2, 1, "@banner2.png");
        create_statue(20, 0, 21, 1.5f, "@rock.qm", "@rock.png", nullptr);
        timing_gates.checkpoints[1].x = 12;
    }
};

TEST_F(track_save, writes_every_file_the_same_twice_and_clears_the_modified_flag)
{
    track_terrain.change_flags = 7;
    editor_save();
    EXPECT_STREQ(editor.status, "Saved!");
    EXPECT_EQ(track_terrain.change_flags, 5) << "only the modified bit goes";
    std::map<std::string, std::string> first = files();
    for (const auto& [name, bytes] : first) EXPECT_FALSE(bytes.empty()) << name;
    EXPECT_EQ(first["shadingx2.ppm"].substr(0, 15), "P6\n257 257\n255\n");
    editor_save();
    EXPECT_EQ(files(), first);
    // No temporaries are left behind.
    for (const auto& entry : std::filesystem::directory_iterator(home + "tracks/t"))
        EXPECT_NE(entry.path().extension(), ".new") << entry.path();
    EXPECT_EQ(editor.undo_count, 1) << "a save neither commits nor touches the undo ring";
}

TEST_F(track_save, shading_x2_halfway_points_are_the_mean_of_their_neighbours)
{
    // Flat ground shades every pixel alike; x2 has the same value as x1.
    make_terrain(3, 4, [](float, float) { return 3.0f; });
    snprintf(track_terrain.folder, sizeof track_terrain.folder, "@tracks/t");
    editor_state_begin(&track_terrain);
    editor_save();
    std::string x1 = saved("shading.ppm"), x2 = saved("shadingx2.ppm");
    ASSERT_EQ(x2.substr(0, 13), "P6\n33 33\n255\n");
    // 0.35 + 0.65 x (0.4 x 0 + 1 x 1 + ...) / |(0.4, 1, 0.3)|: n . l = 1 / 1.1180.
    unsigned char expected = static_cast<unsigned char>(int((0.35f + 0.65f / std::sqrt(1.25f)) * 255));
    for (size_t k = 13; k < x2.size(); k++) ASSERT_EQ(static_cast<unsigned char>(x2[k]), expected) << k;
    EXPECT_EQ(static_cast<unsigned char>(x1.back()), expected);
}

// Runs a save in a child process that dies at a given point; 1 when the child
// was killed rather than finishing.
int killed_save(int file_size_limit, int kill_after_us)
{
    pid_t child = fork();
    if (child == 0) {
        if (file_size_limit >= 0) {
            // Past this many bytes in one file the kernel kills the writer (SIGXFSZ).
            rlimit limit = {rlim_t(file_size_limit), rlim_t(file_size_limit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        editor_save();
        _exit(0);
    }
    if (kill_after_us >= 0) {
        usleep(useconds_t(kill_after_us));
        kill(child, SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFSIGNALED(status) ? 1 : 0;
}

TEST_F(track_save, a_save_killed_at_any_point_leaves_each_file_old_or_new)
{
    editor_save();
    std::map<std::string, std::string> old_files = files();
    change_everything();
    ASSERT_EQ(killed_save(-1, -1), 0);
    std::map<std::string, std::string> new_files = files();
    // Every file but "decals" (the track has none either time) differs.
    for (const char* f : track_files)
        if (strcmp(f, "decals")) {
            EXPECT_TRUE(old_files[f] != new_files[f]) << "unchanged: " << f;
        }
    auto check = [&](const char* how, int value) {
        for (const char* f : track_files) {
            std::string now = saved(f);
            EXPECT_TRUE(now == old_files[f] || now == new_files[f]) << f << " after " << how << " " << value
                                                                    << ": " << now.size() << " bytes";
        }
    };
    int killed = 0, mixed = 0;
    // Killed inside a file: the first file longer than the limit dies mid-write.
    for (int limit : {0, 1, 20, 100, 400, 2000, 20000, 40000, 60000, 100000, 150000}) {
        put(old_files);
        killed += killed_save(limit, -1);
        check("a file size limit of", limit);
        mixed += files() != old_files && files() != new_files;
    }
    // Killed from outside at moments spread over the save.
    for (int us = 0; us < 40000; us += 1000) {
        put(old_files);
        killed += killed_save(-1, us);
        check("a kill after microseconds", us);
        mixed += files() != old_files && files() != new_files;
    }
    EXPECT_GE(killed, 11) << "every size limit stops the save";
    EXPECT_GT(mixed, 0) << "some kills fell between two files";
}

TEST_F(track_save, a_file_that_cannot_be_written_keeps_its_old_version_and_the_save_goes_on)
{
    editor_save();
    std::map<std::string, std::string> old_files = files();
    change_everything();
    console.clear();
    // "statues.new" cannot be created (a folder is in the way), and
    // "timing_gates" cannot be replaced (it is a folder now).
    std::filesystem::create_directories(home + "tracks/t/statues.new");
    std::filesystem::remove(home + "tracks/t/timing_gates");
    std::filesystem::create_directories(home + "tracks/t/timing_gates/x");
    editor_save();
    std::string all;
    for (const std::string& line : console) all += line + "\n";
    EXPECT_EQ(count_containing("'statues'"), 1) << all;
    EXPECT_EQ(count_containing("Can't write 'timing_gates'"), 1);
    EXPECT_EQ(saved("statues"), old_files["statues"]);
    EXPECT_TRUE(std::filesystem::is_directory(home + "tracks/t/timing_gates"));
    EXPECT_FALSE(std::filesystem::exists(home + "tracks/t/timing_gates.new")) << "the temporary is removed";
    // The other files were written.
    EXPECT_NE(saved("billboards"), old_files["billboards"]);
    EXPECT_NE(saved("terrain.hf"), old_files["terrain.hf"]);
    EXPECT_STREQ(editor.status, "Saved!");
}

TEST_F(track_save, an_edit_after_saving_brings_the_modified_flag_back)
{
    editor_save();
    EXPECT_EQ(track_terrain.change_flags & 2, 0);
    editor.selected_billboard = 0;
    billboard_set_height(4);
    EXPECT_EQ(track_terrain.change_flags & 2, 2);
}

}  // namespace
