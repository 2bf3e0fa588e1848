// The generated data root: both sample tracks are listed with their
// descriptions and read their lighting whole, and the sky, HUD and title
// images decode at the sizes the game draws them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
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
    } pngs[] = {{"@tach.png", 128, 128}, {"@shifter.png", 96, 96}, {"@pitboard.png", 128, 128},
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

} // namespace
