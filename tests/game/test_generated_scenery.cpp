// The generated data root: both sample tracks are listed with their
// descriptions and read their lighting whole, and the sky, HUD and title
// images decode at the sizes the game draws them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/alloc.h"
#include "core/vfs.h"
#include "game/lighting.h"
#include "game/track_list.h"
#include "gfx/image_file.h"
#include "gfx/image_pnm.h"
#include "gfx/image_source.h"
#include "ui/console.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> requested;
int record_name(const char* name)
{
    requested.push_back(name);
    return int(requested.size());
}

struct generated_root : ::testing::Test {
    void SetUp() override
    {
        std::string root = fs::canonical(fs::read_symlink("/proc/self/exe").parent_path() / ".." / "data").string();
        setenv("ZT_HOME", root.c_str(), 1);
        home = fs::temp_directory_path() / ("zt_scenery_" + std::to_string(getpid()));
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        vfs_shutdown();
        console_clear();
    }
    void TearDown() override
    {
        track_list_free();
        lighting_free();
        vfs_shutdown();
        unsetenv("ZT_HOME");
        unsetenv("XDG_DATA_HOME");
        fs::remove_all(home);
    }
    fs::path home;
};

TEST_F(generated_root, both_tracks_are_listed_and_light_themselves)
{
    ASSERT_TRUE(track_list_build());
    ASSERT_EQ(track_list.count, 2);
    EXPECT_STREQ(track_list.descriptions[0], "Practice Ground");
    EXPECT_STREQ(track_list.descriptions[1], "Stadium Supercross");
    auto saved = lighting_texture_loader;
    lighting_texture_loader = record_name;
    for (const char* folder : {"tracks/practice", "tracks/stadium"}) {
        requested.clear();
        int written = message_log.write_index;
        EXPECT_TRUE(lighting_load((std::string("@") + folder + "/lighting").c_str())) << folder;
        for (int i = written; i < message_log.write_index; i++)
            EXPECT_EQ(std::string(message_log.lines[i]).find("Error"), std::string::npos) << message_log.lines[i];
        // Every texture the file and the sky ask for exists in the root.
        for (const std::string& name : requested) EXPECT_TRUE(vfs_exists(name.c_str() + 1)) << name;
        if (std::string(folder) == "tracks/practice") {
            EXPECT_GT(lighting.fog_density, 0);
            ASSERT_EQ(lens_flares.count, 1);
            EXPECT_EQ(array_items<lens_flare>(&lens_flares)[0].element_count, 3);
        } else {
            EXPECT_EQ(lighting.fog_density, 0);
            EXPECT_EQ(lighting.dynamic_lighting, 1);
        }
    }
    lighting_texture_loader = saved;
}

TEST_F(generated_root, images_decode_at_their_sizes)
{
    vfs_build_index();
    struct png_row {
        const char* name;
        int w, h;
    } pngs[] = {{"@tach.png", 128, 128}, {"@shifter.png", 128, 128}, {"@pitboard.png", 128, 128},
                {"@title.png", 512, 256}, {"@flare.png", 32, 32}};
    for (const png_row& p : pngs) {
        uint8_t* pixels = nullptr;
        char* text = nullptr;
        int w = 0, h = 0, bpp = 0;
        ASSERT_TRUE(png_read(p.name, &pixels, &w, &h, &bpp, &text)) << p.name;
        EXPECT_EQ(w, p.w) << p.name;
        EXPECT_EQ(h, p.h) << p.name;
        EXPECT_EQ(bpp, 4) << p.name;
        alloc_check_free(pixels);
        alloc_check_free(text);
    }
    for (const char* face : {"@sky-n.ppm", "@sky-e.ppm", "@sky-s.ppm", "@sky-w.ppm", "@sky-u.ppm", "@sky-env.ppm"}) {
        size_t size = 0;
        uint8_t* data = image_file_read(face, &size);
        ASSERT_NE(data, nullptr) << face;
        EXPECT_EQ(size, 13 + 64 * 64 * 3u) << "\"P6\\n64 64\\n255\\n\" and the pixels";
        image_source src = image_source_make(data, size, face);
        char magic[16] = "";
        image_source_token(&src, magic, sizeof magic);
        uint8_t* pixels = nullptr;
        int w = 0, h = 0;
        EXPECT_TRUE(ppm_read(magic, &src, &pixels, &w, &h)) << face;
        EXPECT_EQ(w, 64);
        EXPECT_EQ(h, 64);
        alloc_check_free(pixels);
        alloc_check_free(data);
    }
}

// Every image the game loads as a texture has sides that are powers of two:
// the texture loader warns on the screen of any other.
TEST_F(generated_root, every_image_is_a_power_of_two_each_way)
{
    int images = 0;
    for (const auto& entry : fs::recursive_directory_iterator(std::getenv("ZT_HOME"))) {
        std::string path = entry.path().string();
        if (!entry.is_regular_file() || path.size() < 4 || path.compare(path.size() - 4, 4, ".png") != 0) continue;
        std::ifstream in(path, std::ios::binary);
        unsigned char head[24] = {};
        in.read(reinterpret_cast<char*>(head), sizeof head);
        ASSERT_EQ(in.gcount(), 24) << path;
        // The IHDR chunk's width and height, big-endian, follow the
        // signature and the chunk's length and type.
        auto be32 = [&](int at) {
            return uint32_t(head[at]) << 24 | uint32_t(head[at + 1]) << 16 | uint32_t(head[at + 2]) << 8 | head[at + 3];
        };
        uint32_t w = be32(16), h = be32(20);
        EXPECT_TRUE(w > 0 && (w & (w - 1)) == 0 && h > 0 && (h & (h - 1)) == 0) << path << " " << w << " x " << h;
        images++;
    }
    EXPECT_GT(images, 20);
}

// The sky box's faces meet without a step: every side face's top row is one
// of the top face's four edges (either way round), and every side face's
// left and right columns are a column of another side face, whichever way
// the box is put together. The rows either side of an edge look half a
// texel apart, under half a degree, which moves the colour by about a level;
// a step of more than 3 levels in any channel shows across the sky as a
// line.
std::vector<uint8_t> sky_face(const char* name)
{
    size_t size = 0;
    uint8_t* data = image_file_read(name, &size);
    EXPECT_NE(data, nullptr) << name;
    if (!data) return {};
    image_source src = image_source_make(data, size, name);
    char magic[16] = "";
    image_source_token(&src, magic, sizeof magic);
    uint8_t* pixels = nullptr;
    int w = 0, h = 0;
    std::vector<uint8_t> out;
    if (ppm_read(magic, &src, &pixels, &w, &h) && w == 64 && h == 64) out.assign(pixels, pixels + 64 * 64 * 3);
    alloc_check_free(pixels);
    alloc_check_free(data);
    EXPECT_EQ(out.size(), 64 * 64 * 3u) << name;
    return out;
}

using texel_line = std::vector<int>;  // 64 texels, 3 channels each

// Row r or column c (r < 0) of a face, read forward or backward.
texel_line face_line(const std::vector<uint8_t>& f, int r, int c, bool backward)
{
    texel_line l;
    for (int i = 0; i < 64; i++) {
        int k = backward ? 63 - i : i;
        int x = r >= 0 ? k : c, y = r >= 0 ? r : k;
        for (int ch = 0; ch < 3; ch++) l.push_back(f[(size_t(y) * 64 + x) * 3 + ch]);
    }
    return l;
}

int largest_step(const texel_line& a, const texel_line& b)
{
    int worst = 0;
    for (size_t i = 0; i < a.size(); i++) worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

TEST_F(generated_root, the_sky_faces_meet_without_a_step)
{
    vfs_build_index();
    std::vector<uint8_t> up = sky_face("@sky-u.ppm");
    std::vector<std::vector<uint8_t>> sides;
    for (const char* name : {"@sky-n.ppm", "@sky-e.ppm", "@sky-s.ppm", "@sky-w.ppm"}) sides.push_back(sky_face(name));
    ASSERT_FALSE(HasFailure());
    std::vector<texel_line> up_edges;
    for (bool backward : {false, true})
        for (int edge : {0, 63}) {
            up_edges.push_back(face_line(up, edge, 0, backward));
            up_edges.push_back(face_line(up, -1, edge, backward));
        }
    for (int i = 0; i < 4; i++) {
        int best = 255;
        for (const texel_line& e : up_edges) best = std::min(best, largest_step(face_line(sides[i], 0, 0, false), e));
        EXPECT_LE(best, 3) << "side face " << i << "'s top row against the top face";
        for (int column : {0, 63}) {
            int best_side = 255;
            for (int j = 0; j < 4; j++)
                if (j != i)
                    for (int other : {0, 63})
                        best_side = std::min(best_side, largest_step(face_line(sides[i], -1, column, false),
                                                                     face_line(sides[j], -1, other, false)));
            EXPECT_LE(best_side, 3) << "side face " << i << "'s column " << column << " against its neighbour";
        }
    }
}

} // namespace
