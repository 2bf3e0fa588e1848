// The track's lighting file: values, clamps, flares, errors, and the fog
// that reaches the programs even for a track without the file.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "core/vfs_test_util.h"
#include "game/lighting.h"
#include "gfx/test_ztgl_fake_gl.h"

namespace {

std::vector<std::string> loaded_textures;
int fake_loader(const char* name)
{
    loaded_textures.push_back(name);
    return int(loaded_textures.size());
}

struct lighting_test : vfs_test::roots_fixture {
    void SetUp() override
    {
        roots_fixture::SetUp();
        loaded_textures.clear();
        saved_loader = lighting_texture_loader;
        lighting_texture_loader = fake_loader;
        lighting_defaults();
    }
    void TearDown() override
    {
        lighting_texture_loader = saved_loader;
        lighting_free();
        roots_fixture::TearDown();
    }
    static void parse(const std::string& text)
    {
        lighting_defaults();
        lighting_parse(text.c_str(), "test");
        lighting_finish();
    }
    int (*saved_loader)(const char*) = nullptr;
};

TEST_F(lighting_test, defaults_stand_without_a_file)
{
    parse("");
    EXPECT_FLOAT_EQ(lighting.sun_vector[0], 1 / std::sqrt(3.0f));
    EXPECT_FLOAT_EQ(lighting.ambient[1], 0.5f);
    EXPECT_FLOAT_EQ(lighting.global_ambient[2], 0.2f);
    EXPECT_EQ(lighting.fog_density, 0);
    EXPECT_EQ(lighting.near_plane, 0.25f);
    EXPECT_EQ(lighting.far_plane, 5000);
    EXPECT_EQ(lighting.dynamic_lighting, 0);
}

TEST_F(lighting_test, planes_are_clamped)
{
    struct row {
        const char* text;
        float near_plane, far_plane;
    } rows[] = {
        {"near_plane 2", 0.875f, 5000},
        {"near_plane 0", 0.0009765625f, 5000},
        {"near_plane -4", 0.0009765625f, 5000},
        // A far plane at or below the near plane would leave no depth: twice the near plane.
        {"far_plane 0.1", 0.25f, 0.5f},
        {"near_plane 0.5\nfar_plane 0.5", 0.5f, 1},
        {"far_plane 1e9", 0.25f, 1048576},
        {"far_plane nan", 0.25f, 5000},
        {"far_plane 800", 0.25f, 800},
    };
    for (const row& r : rows) {
        parse(r.text);
        EXPECT_EQ(lighting.near_plane, r.near_plane) << r.text;
        EXPECT_EQ(lighting.far_plane, r.far_plane) << r.text;
    }
}

TEST_F(lighting_test, the_sun_is_normalised_and_a_zero_sun_keeps_the_default)
{
    parse("sun_vector [ 0 2 0 ]");
    EXPECT_EQ(lighting.sun_vector[0], 0);
    EXPECT_EQ(lighting.sun_vector[1], 1);
    EXPECT_EQ(lighting.sun_vector[2], 0);
    parse("sun_vector [ 3 0 -4 ]");
    EXPECT_FLOAT_EQ(lighting.sun_vector[0], 0.6f);
    EXPECT_FLOAT_EQ(lighting.sun_vector[2], -0.8f);
    parse("sun_vector [ 0 0 0 ]");
    for (float c : lighting.sun_vector) {
        EXPECT_FALSE(std::isnan(c));
        EXPECT_FLOAT_EQ(c, 1 / std::sqrt(3.0f));
    }
}

TEST_F(lighting_test, values_scan_whole_or_not_at_all)
{
    parse("  \tsun_color\t[ 0.5 0.25 1 ]  \r\n"
          "ambient [ 1 2 ]\n"
          "\n"
          "fog [ 0.1 0.2 0.3 ] 0.004\n"
          "fog [ 1 1 1 ]\n"
          "dynamic_lighting 3\n"
          "global_ambient [ 0.3 0.3 0.3 ]\n");
    EXPECT_EQ(lighting.sun_color[1], 0.25f);
    EXPECT_EQ(lighting.ambient[0], 0.5f) << "two numbers of three leave the default";
    EXPECT_EQ(lighting.fog_density, 0.004f) << "a fog line without its density changes nothing";
    EXPECT_EQ(lighting.fog_color[2], 0.3f);
    EXPECT_EQ(lighting.dynamic_lighting, 1);
    EXPECT_EQ(lighting.global_ambient[0], 0.3f);
}

TEST_F(lighting_test, flares_take_eight_elements_and_sky_faces_load_by_name)
{
    std::string text;
    for (int i = 0; i < 9; i++)
        text += "flare_element [ " + std::to_string(i) + " 0.5 ] [ 1 0.5 0.25 ] 2 @flare" + std::to_string(i) + ".png\n";
    text += "flare_point [ 10 20 30 ]\n";
    text += "flare_element [ 1 2 ] [ 3 4 ] 5 @bad.png\n";  // colour short of a value
    text += "flare_element [ 1 2 ] [ 1 1 1 ] 1 @sun.png\n";
    text += "flare_vector [ 0 1 0 ]\n";
    text += "sky_u @night-up.ppm\n";
    parse(text);
    ASSERT_EQ(lens_flares.count, 2);
    const lens_flare* f = array_items<lens_flare>(&lens_flares);
    EXPECT_EQ(f[0].kind, 0);
    EXPECT_EQ(f[0].element_count, 8) << "a ninth element is ignored";
    EXPECT_EQ(f[0].where[2], 30);
    EXPECT_EQ(f[0].elements[7].placement[0], 7);
    EXPECT_EQ(f[0].elements[3].color[2], 0.25f);
    EXPECT_EQ(f[0].elements[3].scale, 2);
    EXPECT_EQ(f[1].kind, 1);
    EXPECT_EQ(f[1].element_count, 1);
    EXPECT_EQ(std::count(loaded_textures.begin(), loaded_textures.end(), "@flare8.png"), 0);
    EXPECT_EQ(std::count(loaded_textures.begin(), loaded_textures.end(), "@bad.png"), 0);
    EXPECT_EQ(loaded_textures.back(), "@night-up.ppm");
    lighting_load_sky();
    std::vector<std::string> sky(loaded_textures.end() - 5, loaded_textures.end());
    EXPECT_EQ(sky, (std::vector<std::string>{"@sky-n.ppm", "@sky-e.ppm", "@sky-s.ppm", "@sky-w.ppm", "@sky-env.ppm"}))
        << "the named face keeps its own texture";
}

TEST_F(lighting_test, an_unknown_key_stops_reading)
{
    parse("near_plane 0.5\nsun_glare [ 1 1 1 ]\nfar_plane 100\n");
    EXPECT_EQ(lighting.near_plane, 0.5f);
    EXPECT_EQ(lighting.far_plane, 5000) << "nothing after the unknown key is read";
    EXPECT_EQ(last_message(), "Error reading lighting: Unknown identifier 'sun_glare'\n");
}

TEST_F(lighting_test, hostile_files_leave_defaults_and_never_crash)
{
    std::string long_value = "near_plane " + std::string(3000, '9');
    std::string long_key(5000, 'k');
    std::string long_texture = "flare_element [ 1 1 ] [ 1 1 1 ] 1 " + std::string(4000, 't') + "\nflare_point [ 0 0 0 ]";
    const std::vector<std::string> files = {
        long_value,                                   // overflows to infinity: not finite, default kept
        long_key,                                     // an unknown key longer than a line
        std::string("\x01\xff\xfe [ 1 2 3 ]\0near_plane 0.5", 27),
        "sun_vector [ 1e39 0 0 ]",                    // beyond float: not finite
        "fog [ 1 1 1 ] -inf",
        "flare_point [ 1 2",                          // a flare with no elements and a short position
        long_texture,
    };
    for (const std::string& f : files) {
        parse(f);
        EXPECT_EQ(lighting.near_plane, 0.25f) << f.substr(0, 40);
        EXPECT_FLOAT_EQ(lighting.sun_vector[1], 1 / std::sqrt(3.0f)) << f.substr(0, 40);
        EXPECT_EQ(lighting.fog_density, 0) << f.substr(0, 40);
    }
    // The texture name ends with the line's 1024 bytes; the rest of the
    // line is dropped, and the next line still ends the flare.
    EXPECT_EQ(loaded_textures.back().size(), 1024u - 34u);
    EXPECT_EQ(lens_flares.count, 1);
}

// Fog uniforms as the programs received them: slot -> (density, red).
std::map<int, std::pair<float, float>> fog_sent;
std::vector<int> fog_order;

TEST_F(lighting_test, a_track_without_lighting_after_a_foggy_one_has_no_fog)
{
    fake_gl_layer_setup();
    ztgl_state.program[ZTGL_NORM_SPEC_LIT] = 3;
    ztgl_state.program[ZTGL_TERRAIN] = 5;
    ztgl_fn.GetUniformLocation = [](GLuint, const GLchar* name) -> GLint {
        return !strcmp(name, "u_fog_density") ? 40 : !strcmp(name, "u_fog_color") ? 41 : -1;
    };
    ztgl_fn.Uniform1f = [](GLint l, GLfloat v) {
        if (l == 40) {
            fog_sent[ztgl_state.slot].first = v;
            fog_order.push_back(ztgl_state.slot);
        }
    };
    ztgl_fn.Uniform3fv = [](GLint l, GLsizei, const GLfloat* v) {
        if (l == 41) fog_sent[ztgl_state.slot].second = v[0];
    };
    fog_sent.clear();
    fog_order.clear();

    vfs_test::write_all(data + "tracks/foggy/lighting", "fog [ 0.7 0.7 0.7 ] 0.01\n");
    EXPECT_TRUE(lighting_load("@tracks/foggy/lighting"));
    EXPECT_EQ(fog_order, (std::vector<int>{3, 5, 1}));
    EXPECT_EQ(fog_sent[5].first, 0.01f);
    EXPECT_EQ(fog_sent[1].second, 0.7f);

    fog_order.clear();
    loaded_textures.clear();
    EXPECT_FALSE(lighting_load("@tracks/clear/lighting"));
    EXPECT_EQ(fog_order, (std::vector<int>{3, 5, 1}));
    for (int slot : {3, 5, 1}) EXPECT_EQ(fog_sent[slot].first, 0) << slot;
    EXPECT_EQ(loaded_textures.size(), 6u) << "the default sky, not the last track's";
    ztgl_state.program[ZTGL_NORM_SPEC_LIT] = ztgl_state.program[ZTGL_TERRAIN] = ztgl_state.program[ZTGL_UNLIT] = 0;
    ztgl_state.slot = 0;
}

} // namespace
