#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "gfx/image_message.h"
#include "gfx/mesh.h"

namespace {

const char* small_model = R"(QM1
# a comment line
lods 2 0 50
part body 0 lit -
colour 1 0.5 0.25 1
specular 0.3 0.3 0.3 24
vertices 3 1
0 0 0  0 0 1  1 0 0  0 0   0 1 0 0  0.5 0.5 0 0
1 0 0  0 0 1  1 0 0  1 0   2 0 0 0  1 0 0 0
0 1 0  0 0 1  1 0 0  0 1   3 0 0 0  1 0 0 0
triangles 1
0 1 2
part shine 0 glow @colors/white.png
colour 1 1 1 1
specular 1 1 1 100
vertices 3 0
0 0 0  0 0 0  1 0 0  0 0
2 0 0  0 0 1  1 0 0  1 0
0 2 0  0 0 1  1 0 0  0 1
triangles 1
0 1 2
part far 1 lit -
colour 1 1 1 1
specular 0 0 0 1
vertices 3 0
0 0 0  0 0 1  1 0 0  0 0
1 0 0  0 0 1  1 0 0  1 0
0 1 0  0 0 1  1 0 0  0 1
triangles 1
0 2 1
end
)";

mesh* parse(const std::string& text) { return mesh_parse("t.qm", text.data(), text.size()); }

TEST(Mesh, ParsesPartsMaterialsBonesAndLevels)
{
    mesh* m = parse(small_model);
    ASSERT_NE(m, nullptr) << image_last_error();
    EXPECT_STREQ(m->name, "t.qm");
    EXPECT_EQ(m->lod_count, 2);
    EXPECT_FLOAT_EQ(m->lod_distance[1], 50);
    ASSERT_EQ(m->part_count, 3);
    EXPECT_EQ(m->has_bones, 1);
    EXPECT_EQ(m->has_glow, 1);
    EXPECT_STREQ(m->parts[0].name, "body");
    EXPECT_EQ(m->parts[0].skin, nullptr);
    EXPECT_STREQ(m->parts[1].skin, "@colors/white.png");
    EXPECT_EQ(m->parts[1].kind, MESH_GLOW);
    EXPECT_EQ(m->parts[2].lod, 1);
    EXPECT_FLOAT_EQ(m->parts[0].colour[2], 0.25f);
    EXPECT_FLOAT_EQ(m->parts[0].vertices[0].weights[1], 0.5f);
    EXPECT_FLOAT_EQ(m->parts[0].vertices[1].bones[0], 2);
    EXPECT_FLOAT_EQ(m->parts[1].vertices[0].weights[0], 1);  // rigid parts weigh bone 0 fully
    EXPECT_EQ(m->parts[2].indices[1], 2u);
    EXPECT_FLOAT_EQ(m->radius, 2);
    mesh_free(m);
}

TEST(Mesh, LevelOfDetailByDistance)
{
    mesh* m = parse(small_model);  // levels from 0 and 50 feet
    struct {
        float distance, scale, bias;
        int lod;
    } cases[] = {{0, 1, 0, 0}, {49.9f, 1, 0, 0}, {50, 1, 0, 1}, {1000, 1, 0, 1},
                 {1000, 0, 0, 0}, {10, 8, 0, 1}, {0, 0, 50, 1}, {-5, 1, 0, 0}};
    for (auto c : cases)
        EXPECT_EQ(mesh_lod_for_distance(m, c.distance, c.scale, c.bias), c.lod) << c.distance << " " << c.scale;
    mesh_free(m);
}

TEST(Mesh, WriterRoundTrips)
{
    mesh* m = parse(small_model);
    ASSERT_NE(m, nullptr);
    std::string text;
    mesh_write_text(m, [](void* c, const char* t) { static_cast<std::string*>(c)->append(t); }, &text);
    mesh* again = parse(text);
    ASSERT_NE(again, nullptr) << image_last_error() << "\n" << text;
    ASSERT_EQ(again->part_count, m->part_count);
    for (int i = 0; i < m->part_count; i++) {
        EXPECT_EQ(again->parts[i].vertex_count, m->parts[i].vertex_count);
        EXPECT_EQ(0, memcmp(again->parts[i].indices, m->parts[i].indices, 12));
        EXPECT_FLOAT_EQ(again->parts[i].vertices[2].position[1], m->parts[i].vertices[2].position[1]);
    }
    mesh_free(again);
    mesh_free(m);
}

std::string replace(std::string s, const std::string& from, const std::string& to)
{
    size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return s.replace(at, from.size(), to);
}

TEST(Mesh, BadFilesAreRefusedWithOneLine)
{
    const std::string m = small_model;
    struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"wrong magic", replace(m, "QM1", "QM2")},
        {"no end", m.substr(0, m.size() - 4)},
        {"truncated", m.substr(0, m.size() / 2)},
        {"index out of range", replace(m, "0 1 2\npart shine", "0 1 3\npart shine")},
        {"negative index", replace(m, "0 1 2\npart shine", "0 -1 2\npart shine")},
        {"huge vertex count", replace(m, "vertices 3 1", "vertices 99999999 1")},
        {"zero triangles", replace(m, "triangles 1\n0 1 2\npart shine", "triangles 0\npart shine")},
        {"bone out of range", replace(m, "2 0 0 0  1 0 0 0", "32 0 0 0  1 0 0 0")},
        {"weights not summing to 1", replace(m, "3 0 0 0  1 0 0 0", "3 0 0 0  0.5 0 0 0")},
        {"nan coordinate", replace(m, "1 0 0  0 0 1  1 0 0  1 0   2", "nan 0 0  0 0 1  1 0 0  1 0   2")},
        {"unknown kind", replace(m, "0 glow", "0 shiny")},
        {"level beyond lods", replace(m, "part far 1", "part far 2")},
        {"missing level", replace(m, "part far 1", "part far 0")},
        {"falling distances", replace(m, "lods 2 0 50", "lods 2 0 0")},
        {"too many lods", replace(m, "lods 2 0 50", "lods 5 0 50 60 70 80")},
        {"long name", replace(m, "part body", "part " + std::string(40, 'b'))},
        {"long token", replace(m, "part body", "part " + std::string(100, 'b'))},
    };
    for (const auto& c : cases) {
        image_clear_error();
        mesh* bad = mesh_parse("bad.qm", c.text.data(), c.text.size());
        EXPECT_EQ(bad, nullptr) << c.what;
        mesh_free(bad);
        std::string e = image_last_error();
        EXPECT_NE(e.find("'bad.qm'"), std::string::npos) << c.what << ": " << e;
        EXPECT_EQ(e.find('\n'), std::string::npos);
    }
}

// Counts of the characters POV-Ray's parser pairs up.
bool balanced(const std::string& s)
{
    int braces = 0, angles = 0;
    for (char c : s) {
        braces += (c == '{') - (c == '}');
        angles += (c == '<') - (c == '>');
        if (braces < 0 || angles < 0) return false;
    }
    return braces == 0 && angles == 0;
}

std::string pov_of(const mesh* m)
{
    std::string s;
    mesh_write_pov(m, [](void* c, const char* t) { static_cast<std::string*>(c)->append(t); }, &s);
    return s;
}

TEST(Mesh, PovExportHoldsTheFinestLevel)
{
    mesh* m = parse(small_model);
    std::string pov = pov_of(m);
    EXPECT_TRUE(balanced(pov));
    EXPECT_EQ(pov.find("union {"), pov.find("\nunion {") + 1);
    size_t count = 0;
    for (size_t at = pov.find("mesh2"); at != std::string::npos; at = pov.find("mesh2", at + 1)) count++;
    EXPECT_EQ(count, 2u);  // the level-1 part is left out
    EXPECT_NE(pov.find("normal_vectors { 3,\n    <0, 1, 0>"), std::string::npos);  // zero normal pointed up
    mesh_free(m);
}

// Every model the generator wrote loads and exports.
TEST(Mesh, GeneratedModelsLoad)
{
    std::filesystem::path root = "../data";
    ASSERT_TRUE(std::filesystem::is_directory(root)) << "the data root is built with the tests";
    int models = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.path().extension() != ".qm") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        std::string text = ss.str();
        mesh* m = mesh_parse(entry.path().c_str(), text.data(), text.size());
        ASSERT_NE(m, nullptr) << image_last_error();
        EXPECT_TRUE(balanced(pov_of(m))) << entry.path();
        mesh_free(m);
        models++;
    }
    EXPECT_GE(models, 10 + 24 * 6);
}

} // namespace

namespace {

std::string log_of(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The scene export of every generated model, declared in one scene that
// POV-Ray parses and renders at a tiny size without an error.
TEST(Mesh, PovRayParsesTheExport)
{
    if (system("povray --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "povray is not installed";
    std::string scene = "camera { location <6, 4, -8> look_at <0, 1, 0> }\n"
                        "light_source { <20, 30, -20> color rgb 1 }\n";
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("../data")) {
        if (entry.path().extension() != ".qm") continue;
        std::string text = log_of(entry.path().string());
        mesh* m = mesh_parse(entry.path().c_str(), text.data(), text.size());
        ASSERT_NE(m, nullptr) << image_last_error();
        // One model placed, the others declared: all of them are parsed.
        scene += count == 0 ? "object { " : "#declare model_" + std::to_string(count) + " = object { ";
        scene += pov_of(m) + "}\n";
        mesh_free(m);
        count++;
    }
    EXPECT_GE(count, 10 + 24 * 6);
    char folder[] = "/tmp/zt_pov_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::ofstream(std::string(folder) + "/scene.pov") << scene;
    std::string command =
        "cd " + std::string(folder) + " && povray +Iscene.pov +Oscene.png +W16 +H12 -D -V +FN >pov.log 2>&1";
    EXPECT_EQ(system(command.c_str()), 0) << log_of(std::string(folder) + "/pov.log");
    std::filesystem::remove_all(folder);
}

} // namespace
