// "@config": every key through a write and a read, damaged files, the
// special keys, the graphics presets and the server history.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/vfs_test_util.h"
#include "physics/setup.h"
#include "ui/bindings.h"
#include "ui/console.h"
#include "ui/settings.h"

namespace {

class settings_test : public vfs_test::roots_fixture {
protected:
    void SetUp() override
    {
        roots_fixture::SetUp();
        std::filesystem::create_directories(home);
        setup_defaults(&player_setup);
        settings_defaults();
    }
    void TearDown() override
    {
        settings_defaults();
        setup_defaults(&player_setup);
        roots_fixture::TearDown();
    }
    std::string config_text() { return vfs_test::read_all(home + "config"); }
    static std::map<std::string, std::string> lines_of(const std::string& text)
    {
        std::map<std::string, std::string> out;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            size_t eq = line.find('=');
            if (eq != std::string::npos) out[line.substr(0, eq)] = line.substr(eq + 1);
        }
        return out;
    }
};

// A value other than the default for every key the file holds, as it is
// written back. Slider values sit on their fine steps: 0.0703125 = 9/128 and
// 0.0078125 = 1/128 print with more than six decimals.
const std::vector<std::pair<std::string, std::string>> non_defaults = {
    {"xres", "1024"}, {"yres", "600"}, {"draw_fps", "1"}, {"draw_time", "1"}, {"draw_ping", "0"},
    {"draw_speed", "1"}, {"spy", "1"}, {"track", "tracks/stadium"}, {"record", "Yes"},
    {"skill", "Expert"}, {"minutes", "12.5"}, {"laps", "7"}, {"slot00", "Human"},
    {"slot17", "Robot (2 stroke)"}, {"slot39", "Robot (4 stroke)"}, {"ghost_fade_distance", "0.0078125"},
    {"time_trial_abort", "No"}, {"video_mode", "Windowed"}, {"server_name", "race.example.org"},
    {"server_name_hist00", "first.example.org"}, {"server_name_hist15", "last.example.org"},
    {"ground_detail", "33.25"}, {"ground_texture_detail", "3"}, {"ground_mesh_dim", "4x4"},
    {"ground_texture_levels", "ExtraLow+Low+Mid+High"}, {"ground_texture_dim", "1024x1024"},
    {"ground_texture_dim_new", "128x128"}, {"ground_texture_update_rate", "5"}, {"ground_mipmaps", "No"},
    {"texture_compress", "Always"}, {"render_texture", "Shaders/Copy"}, {"use_shader", "No"},
    {"roost_density", "250"}, {"treadmark_limit", "9999999"}, {"reshade_delay", "19.875"},
    {"terrain_resync_rate", "6"}, {"lens_flare", "No"}, {"reflections", "No"}, {"hide_rider", "Yes"},
    {"rigid_camera", "Yes"}, {"model_detail", "99"}, {"model_texture_detail", "1"}, {"fov", "75.5"},
    {"first_person_height", "0.0703125"}, {"first_person_angle", "39.5"}, {"first_person_gimbal", "12"},
    {"third_person_height", "0.125"}, {"third_person_distance", "39.875"}, {"volume", "0.0078125"},
    {"comp_volume", "2.5"}, {"playback_mode", "Race Against"}, {"billboard_optimize_lookahead", "3"},
    {"message_lines", "9"}, {"demo_backups", "4"}, {"map_scale", "0.140625"},
    // Setup keys share the file.
    {"land_damping_rampup", "0.0703125"}, {"name", "Test Rider"}, {"number", "42"},
    // Bindings: keys, an axis with a negative range, and one left unbound.
    {"throttle_key", "(0.0625,0.9375)pad axis 1"}, {"front_brake_key", "(k)q"},
    {"left_key", "(-0.0625,-0.9375)pad axis 0"}, {"screenshot_key", "(k)f12"},
};

TEST_F(settings_test, every_key_survives_a_write_and_a_read)
{
    std::string history_127(127, 'h');
    for (const auto& [key, value] : non_defaults) ASSERT_TRUE(config_apply_pair(key.c_str(), value.c_str())) << key;
    ASSERT_TRUE(config_apply_pair("server_name_hist07", history_127.c_str()));
    binding_parse(binding_for_key("rear_brake_key"), "");  // unbound
    ASSERT_TRUE(config_write());
    EXPECT_FALSE(std::filesystem::exists(home + "config.tmp")) << "the temporary name is renamed away";

    settings_defaults();
    setup_defaults(&player_setup);
    ASSERT_TRUE(read_config());
    ASSERT_TRUE(config_write());
    std::map<std::string, std::string> written = lines_of(config_text());
    for (const auto& [key, value] : non_defaults) EXPECT_EQ(written[key], value) << key;
    EXPECT_EQ(written["server_name_hist07"], history_127) << "a 127-character entry is whole";
    EXPECT_EQ(written["rear_brake_key"], "") << "an unbound control writes an empty value";
    EXPECT_EQ(written.count("use_fbo"), 0u);

    // The values themselves, not only their text.
    EXPECT_EQ(settings.first_person_height.value, 0.0703125);
    EXPECT_EQ(player_setup.land_damping_rampup, 0.0703125);
    EXPECT_EQ(message_lines, 9);
    EXPECT_STREQ(settings.server_history[7], history_127.c_str());
    const menu_binding* left = binding_for_key("left_key");
    EXPECT_EQ(left->key_name, nullptr);
    EXPECT_STREQ(left->axis_name, "pad axis 0");
    EXPECT_EQ(left->range_end, -0.9375f);
    EXPECT_EQ(binding_for_key("rear_brake_key")->key_name, nullptr);
    EXPECT_EQ(binding_for_key("rear_brake_key")->axis_name, nullptr);

    // Every key written appears in the table (or belongs to the setup or is
    // a key left at its default), so no key escapes this test unseen.
    char setup_text[8192];
    setup_format(&player_setup, setup_text, sizeof setup_text);
    std::map<std::string, std::string> setup_keys = lines_of(setup_text);
    std::map<std::string, std::string> table(non_defaults.begin(), non_defaults.end());
    int written_keys = 0;
    for (const auto& [key, value] : written) {
        written_keys++;
        bool known = table.count(key) || setup_keys.count(key) || key.rfind("slot", 0) == 0 ||
                     key.rfind("server_name_hist", 0) == 0 || key.find("_key") != std::string::npos;
        EXPECT_TRUE(known) << key << " is written but not in the round-trip table";
    }
    // 50 settings + 58 setup keys + 40 slots + 16 history + 20 controls.
    EXPECT_EQ(written_keys, 50 + setup_key_count + 40 + 16 + 20);
}

TEST_F(settings_test, a_failed_write_keeps_the_old_file)
{
    vfs_test::write_all(home + "config", "fov=90\n");
    // The temporary name is taken by a folder, so the new text can't be written.
    std::filesystem::create_directories(home + "config.tmp");
    EXPECT_FALSE(config_write());
    EXPECT_EQ(config_text(), "fov=90\n");
    EXPECT_EQ(last_message(), "Can't write config");
}

TEST_F(settings_test, damaged_files_leave_the_defaults)
{
    std::string long_line = "fov=" + std::string(1100, '1');
    std::string junk_line = std::string(1030, 'x') + "fov=20";  // the tail of an overlong line
    const std::vector<std::string> files = {
        "",                                // empty
        "fov",                             // cut before the "="
        "fov=",                            // cut after it
        "xres=-5\nyres=0\nfov=abc\nlaps=1e999\nmap_scale=nan\n",
        "xres=99999999999\nmessage_lines=x\nvideo_mode=Windowed \nskill=novice\n",
        std::string("\x01\x02\xff\xfe=\x80\n\0\0fov=\n", 14),
        long_line + "\n",
        junk_line + "\n",
        "throttle_key=(0.5,0.5)pad axis 0\nclutch_key=(nan,1)pad axis 0\n",
    };
    settings_defaults();
    setup_defaults(&player_setup);
    ASSERT_TRUE(config_write());
    std::string defaults = config_text();
    for (const std::string& file : files) {
        vfs_test::write_all(home + "config", file);
        settings_defaults();
        EXPECT_TRUE(read_config());
        ASSERT_TRUE(config_write());
        std::map<std::string, std::string> got = lines_of(config_text()), want = lines_of(defaults);
        // A broken binding value leaves that control unbound; nothing else moves.
        got.erase("throttle_key"), want.erase("throttle_key");
        got.erase("clutch_key"), want.erase("clutch_key");
        EXPECT_EQ(got, want) << "file: " << file.substr(0, 60);
    }
    settings_defaults();
    vfs_test::write_all(home + "config", "throttle_key=(0.5,0.5)pad axis 0\n");
    read_config();
    EXPECT_EQ(binding_for_key("throttle_key")->axis_name, nullptr) << "an empty range stays unbound";
    EXPECT_EQ(binding_for_key("throttle_key")->key_name, nullptr);
}

TEST_F(settings_test, a_missing_file_reads_nothing)
{
    EXPECT_FALSE(read_config());
    EXPECT_EQ(settings.fov.value, 110);
}

TEST_F(settings_test, values_are_clamped_and_choices_match_exactly)
{
    struct case_row {
        const char* key;
        const char* value;
        const char* written;
    } rows[] = {
        {"fov", "500", "170"},
        {"fov", "-3", "10"},
        {"map_scale", "0", "0.125"},
        {"map_scale", "100", "8"},
        {"message_lines", "5000", "1000"},
        {"message_lines", "-4", "0"},
        {"skill", "Expert ", "Novice"},  // a trailing blank matches no entry
        {"render_texture", "hardware/direct", "Software"},
        {"xres", "800x", "640"},
    };
    for (const auto& r : rows) {
        settings_defaults();
        config_apply_pair(r.key, r.value);
        ASSERT_TRUE(config_write());
        EXPECT_EQ(lines_of(config_text())[r.key], r.written) << r.key << "=" << r.value;
    }
}

TEST_F(settings_test, use_fbo_picks_the_terrain_method_and_is_never_written)
{
    config_apply_pair("use_fbo", "Yes");
    EXPECT_STREQ(menu_choice_text(&settings.render_texture), "Hardware/Direct");
    config_apply_pair("use_fbo", "No");
    EXPECT_STREQ(menu_choice_text(&settings.render_texture), "Hardware/Copy");
    config_apply_pair("use_fbo", "maybe");
    EXPECT_STREQ(menu_choice_text(&settings.render_texture), "Hardware/Copy");
    EXPECT_TRUE(config_apply_pair("ground_texture_distance", "5")) << "accepted and ignored";
    EXPECT_FALSE(config_apply_pair("no_such_key", "5"));
    ASSERT_TRUE(config_write());
    EXPECT_EQ(config_text().find("use_fbo"), std::string::npos);
}

TEST_F(settings_test, a_line_keeps_blanks_and_loses_its_line_end)
{
    vfs_test::write_all(home + "config", "server_name= spaced name \r\ntrack=tracks/practice\r\n");
    ASSERT_TRUE(read_config());
    EXPECT_STREQ(settings.server_name.text, " spaced name ");
    EXPECT_STREQ(settings.track, "tracks/practice");
}

TEST_F(settings_test, video_modes_come_from_the_display)
{
    static const char* const modes[] = {"Default Fullscreen", "Windowed", "1920x1080", "800x600"};
    settings_set_video_modes(modes, 4);
    config_apply_pair("video_mode", "800x600");
    EXPECT_EQ(settings.video_mode.selected, 3);
    config_apply_pair("video_mode", "640x480");
    EXPECT_EQ(settings.video_mode.selected, 3) << "a mode the display lacks leaves the choice";
    settings_set_video_modes(nullptr, 0);
    EXPECT_STREQ(menu_choice_text(&settings.video_mode), "Default Fullscreen");
}

TEST_F(settings_test, presets_apply_and_match_their_own_column_only)
{
    const char* labels[] = {"Current Settings: Compatibility", "Current Settings: High FPS",
                            "Current Settings: Normal", "Current Settings: High Detail"};
    // Compatibility and Normal differ only in the terrain method, the sync
    // rate and the texture resolution, so each matches itself alone.
    for (int i = 0; i < graphics_preset_count; i++) {
        graphics_preset_apply(i);
        for (int j = 0; j < graphics_preset_count; j++) EXPECT_EQ(graphics_preset_matches(j), i == j) << i << " " << j;
        EXPECT_STREQ(graphics_preset_label(), labels[i]);
    }
    graphics_preset_apply(1);
    EXPECT_EQ(settings.model_detail.value, 25);
    EXPECT_STREQ(menu_choice_text(&settings.render_texture), "Hardware/Direct");
    EXPECT_STREQ(menu_choice_text(&settings.ground_texture_levels), "Mid");
    settings.ground_detail.value = 51;
    EXPECT_STREQ(graphics_preset_label(), "Current Settings: Custom");
    graphics_preset_apply(2);
    config_apply_pair("lens_flare", "No");
    EXPECT_FALSE(graphics_preset_matches(2)) << "lens flares are part of the column";
}

TEST_F(settings_test, server_history_keeps_sixteen_newest_first)
{
    for (int i = 0; i < 20; i++) {
        menu_text_set(&settings.server_name, ("server" + std::to_string(i)).c_str());
        server_history_push();
        server_history_push();  // the same server again adds nothing
    }
    EXPECT_STREQ(settings.server_history[0], "server19");
    EXPECT_STREQ(settings.server_history[15], "server4");
    menu_text_set(&settings.server_name, "");
    server_history_push();
    EXPECT_STREQ(settings.server_history[0], "server19");
    EXPECT_EQ(settings.server_history_selected, -1);
}

} // namespace
