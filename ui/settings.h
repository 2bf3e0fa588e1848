#pragma once
// The player's settings and "@config", the file in the player's folder that
// keeps them: one "key=value" line each, the bike setup's keys among them,
// then the control bindings. Start-up applies graphics preset 0, then reads
// the file, then the command line; shut-down writes the file back.
#include <cstdint>

#include "ui/widgets.h"

constexpr int gate_slot_count = 40;
constexpr int server_history_count = 16;
constexpr int server_name_size = 128;  // 127 characters and the terminator
constexpr int video_mode_max = 256;

// Every setting, named by its "@config" key; the label is in each record.
struct game_settings {
    int32_t xres, yres;  // windowed size
    int32_t draw_fps, draw_time, draw_ping, draw_speed;
    int32_t spy;
    char track[256];  // the folder of the selected track
    menu_choice record, skill;
    menu_slider minutes, laps;
    menu_choice slot[gate_slot_count];
    menu_slider ghost_fade_distance;
    menu_choice time_trial_abort;
    menu_choice video_mode;
    menu_text server_name;
    char server_history[server_history_count][server_name_size];
    int32_t server_history_selected;  // -1 for none
    menu_slider ground_detail, ground_texture_detail;
    menu_choice ground_mesh_dim, ground_texture_levels, ground_texture_dim, ground_texture_dim_new;
    menu_slider ground_texture_update_rate;
    menu_choice ground_mipmaps, texture_compress, render_texture, use_shader;
    menu_slider roost_density, treadmark_limit, reshade_delay, terrain_resync_rate;
    menu_choice lens_flare, reflections, hide_rider, rigid_camera;
    menu_slider model_detail, model_texture_detail, fov;
    menu_slider first_person_height, first_person_angle, first_person_gimbal;
    menu_slider third_person_height, third_person_distance;
    menu_slider volume, comp_volume;
    menu_choice playback_mode;
    int32_t billboard_optimize_lookahead;
    int32_t demo_backups;
    double map_scale;  // 0.125..8
    // "Use Framebuffer Objects": read from "use_fbo" only, never written.
    menu_choice use_fbo;
};
extern game_settings settings;

// Static defaults of every setting (the graphics ones as preset 0 leaves
// them), the server history emptied, the bindings at their default keys.
void settings_defaults();

// The "Video Mode" entries: "Default Fullscreen", "Windowed", then the
// display's modes. Start-up hands the list over before reading "@config";
// null restores the two fixed entries. The texts must outlive the settings.
void settings_set_video_modes(const char* const* texts, int count);

// Reads "@config" (or another name); 0 when it cannot be opened, leaving
// every setting as it was.
int read_config(const char* name = "@config");
// One "key=value" pair as read_config takes it; 1 when the key is known.
int config_apply_pair(const char* key, const char* value);
// Writes "@config" through "<name>.tmp" renamed over it, so a failed write
// keeps the old file; 0 (and "Can't write config" in the log) on failure.
int config_write(const char* name = "@config");
// The whole file's text into out (like snprintf: the length it needs).
int config_format(char* out, int size);

// Graphics presets, i = 0 Compatibility, 1 High FPS, 2 Normal, 3 High Detail.
constexpr int graphics_preset_count = 4;
void graphics_preset_apply(int i);
int graphics_preset_matches(int i);
// "Current Settings: <name>" of the first matching preset, else "Custom".
const char* graphics_preset_label();

// A connection to the server in "Server" starts: it becomes history entry 0.
void server_history_push();
