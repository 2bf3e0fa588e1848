#include "ui/settings.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cstdarg>

#include <unistd.h>

#include "core/alloc.h"
#include "core/util.h"
#include "core/vfs.h"
#include "physics/setup.h"
#include "platform/vesk_log.h"
#include "ui/bindings.h"
#include "ui/console.h"

game_settings settings;

namespace {

// ---- Choice entry lists ------------------------------------------------------

const char* const no_yes[] = {"No", "Yes"};
const char* const skills[] = {"Novice", "Amateur", "Expert"};
const char* const slot_kinds[] = {"Empty", "Human", "Robot", "Robot (2 stroke)", "Robot (4 stroke)"};
const char* const fixed_video_modes[] = {"Default Fullscreen", "Windowed"};
const char* const mesh_dims[] = {"1x1", "2x2", "4x4", "8x8", "16x16"};
const char* const texture_levels[] = {
    "None",         "High",              "Mid",              "Mid+High",
    "Low",          "Low+High",          "Low+Mid",          "Low+Mid+High",
    "ExtraLow",     "ExtraLow+High",     "ExtraLow+Mid",     "ExtraLow+Mid+High",
    "ExtraLow+Low", "ExtraLow+Low+High", "ExtraLow+Low+Mid", "ExtraLow+Low+Mid+High"};
const char* const texture_dims[] = {"32x32", "64x64", "128x128", "256x256", "512x512", "1024x1024"};
const char* const texture_dims_new[] = {"128x128", "256x256", "512x512", "1024x1024", "2048x2048", "4096x4096"};
const char* const compress_modes[] = {"No", "Yes", "Always"};
const char* const render_methods[] = {"Software", "Hardware/Copy", "Hardware/Direct", "Shaders/Copy",
                                      "Shaders/Direct"};
const char* const playback_modes[] = {"Playback Only", "Race Against"};

const char* const gate_labels[gate_slot_count] = {
    "Gate 1",  "Gate 2",  "Gate 3",  "Gate 4",  "Gate 5",  "Gate 6",  "Gate 7",  "Gate 8",
    "Gate 9",  "Gate 10", "Gate 11", "Gate 12", "Gate 13", "Gate 14", "Gate 15", "Gate 16",
    "Gate 17", "Gate 18", "Gate 19", "Gate 20", "Gate 21", "Gate 22", "Gate 23", "Gate 24",
    "Gate 25", "Gate 26", "Gate 27", "Gate 28", "Gate 29", "Gate 30", "Gate 31", "Gate 32",
    "Gate 33", "Gate 34", "Gate 35", "Gate 36", "Gate 37", "Gate 38", "Gate 39", "Gate 40"};

template <int N> menu_choice choice(const char* label, const char* const (&entries)[N], int selected)
{
    return menu_choice{label, entries, N, selected, {-1, -1, -1, -1}};
}
menu_slider slider(const char* label, double value, double step, double min, double max)
{
    return menu_slider{label, value, step, min, max, {-1, -1, -1, -1}, 0, 0};
}

char server_name_buffer[server_name_size];

// ---- The key table -------------------------------------------------------------

enum key_kind {
    key_int,
    key_slider,
    key_choice,
    key_track,
    key_server,
    key_message_lines,
    key_map_scale,
    // Groups written at their place in the order.
    key_slots,
    key_setup,
    key_history,
    key_bindings,
};

struct config_key {
    const char* key;
    key_kind kind;
    void* item;
    int32_t min, max;  // integer keys: values outside leave the setting unchanged
};

constexpr int32_t int_any = 0x7FFFFFFF;

// "@config" in the order it is written.
const config_key config_keys[] = {
    {"xres", key_int, &settings.xres, 1, 32767},
    {"yres", key_int, &settings.yres, 1, 32767},
    {"draw_fps", key_int, &settings.draw_fps, -int_any, int_any},
    {"draw_time", key_int, &settings.draw_time, -int_any, int_any},
    {"draw_ping", key_int, &settings.draw_ping, -int_any, int_any},
    {"draw_speed", key_int, &settings.draw_speed, -int_any, int_any},
    {"spy", key_int, &settings.spy, -int_any, int_any},
    {"track", key_track, settings.track, 0, 0},
    {"record", key_choice, &settings.record, 0, 0},
    {"skill", key_choice, &settings.skill, 0, 0},
    {"minutes", key_slider, &settings.minutes, 0, 0},
    {"laps", key_slider, &settings.laps, 0, 0},
    {"slot", key_slots, nullptr, 0, 0},
    {"ghost_fade_distance", key_slider, &settings.ghost_fade_distance, 0, 0},
    {"time_trial_abort", key_choice, &settings.time_trial_abort, 0, 0},
    {"", key_setup, nullptr, 0, 0},
    {"video_mode", key_choice, &settings.video_mode, 0, 0},
    {"server_name", key_server, &settings.server_name, 0, 0},
    {"server_name_hist", key_history, nullptr, 0, 0},
    {"ground_detail", key_slider, &settings.ground_detail, 0, 0},
    {"ground_texture_detail", key_slider, &settings.ground_texture_detail, 0, 0},
    {"ground_mesh_dim", key_choice, &settings.ground_mesh_dim, 0, 0},
    {"ground_texture_levels", key_choice, &settings.ground_texture_levels, 0, 0},
    {"ground_texture_dim", key_choice, &settings.ground_texture_dim, 0, 0},
    {"ground_texture_dim_new", key_choice, &settings.ground_texture_dim_new, 0, 0},
    {"ground_texture_update_rate", key_slider, &settings.ground_texture_update_rate, 0, 0},
    {"ground_mipmaps", key_choice, &settings.ground_mipmaps, 0, 0},
    {"texture_compress", key_choice, &settings.texture_compress, 0, 0},
    {"render_texture", key_choice, &settings.render_texture, 0, 0},
    {"use_shader", key_choice, &settings.use_shader, 0, 0},
    {"roost_density", key_slider, &settings.roost_density, 0, 0},
    {"treadmark_limit", key_slider, &settings.treadmark_limit, 0, 0},
    {"reshade_delay", key_slider, &settings.reshade_delay, 0, 0},
    {"terrain_resync_rate", key_slider, &settings.terrain_resync_rate, 0, 0},
    {"lens_flare", key_choice, &settings.lens_flare, 0, 0},
    {"reflections", key_choice, &settings.reflections, 0, 0},
    {"hide_rider", key_choice, &settings.hide_rider, 0, 0},
    {"rigid_camera", key_choice, &settings.rigid_camera, 0, 0},
    {"model_detail", key_slider, &settings.model_detail, 0, 0},
    {"model_texture_detail", key_slider, &settings.model_texture_detail, 0, 0},
    {"fov", key_slider, &settings.fov, 0, 0},
    {"first_person_height", key_slider, &settings.first_person_height, 0, 0},
    {"first_person_angle", key_slider, &settings.first_person_angle, 0, 0},
    {"first_person_gimbal", key_slider, &settings.first_person_gimbal, 0, 0},
    {"third_person_height", key_slider, &settings.third_person_height, 0, 0},
    {"third_person_distance", key_slider, &settings.third_person_distance, 0, 0},
    {"volume", key_slider, &settings.volume, 0, 0},
    {"comp_volume", key_slider, &settings.comp_volume, 0, 0},
    {"playback_mode", key_choice, &settings.playback_mode, 0, 0},
    {"billboard_optimize_lookahead", key_int, &settings.billboard_optimize_lookahead, 0, int_any},
    {"message_lines", key_message_lines, nullptr, 0, 0},
    {"demo_backups", key_int, &settings.demo_backups, 0, int_any},
    {"map_scale", key_map_scale, &settings.map_scale, 0, 0},
    {"", key_bindings, nullptr, 0, 0},
};

// One integer and nothing else but blanks; 0 for anything else.
int parse_int(const char* text, int32_t* out)
{
    char* end;
    errno = 0;
    long v = strtol(text, &end, 10);
    if (end == text || errno == ERANGE || v < -2147483647L || v > 2147483647L) return 0;
    while (*end == ' ' || *end == '\t') end++;
    if (*end) return 0;
    *out = int32_t(v);
    return 1;
}

int parse_double(const char* text, double* out)
{
    double v;
    char rest;
    if (sscanf(text, "%lf %c", &v, &rest) != 1 || !std::isfinite(v)) return 0;
    *out = v;
    return 1;
}

// A text written as a value must stay on its line.
void clean_text(char* out, const char* text, int size)
{
    copy_bounded(out, text, size);
    for (char* c = out; *c; c++)
        if (static_cast<unsigned char>(*c) < 32 || *c == 127) *c = ' ';
}

// The two-digit number after prefix ("slot07" -> 7), -1 when key is not one.
int numbered_key(const char* key, const char* prefix, int count)
{
    size_t n = strlen(prefix);
    if (strncmp(key, prefix, n) || strlen(key) != n + 2) return -1;
    char a = key[n], b = key[n + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9') return -1;
    int i = (a - '0') * 10 + (b - '0');
    return i < count ? i : -1;
}

struct text_out {
    char* out;
    int size;
    int used;
    void put(const char* format, ...) __attribute__((format(printf, 2, 3)))
    {
        int room = used < size ? size - used : 0;
        va_list args;
        va_start(args, format);
        int n = vsnprintf(room ? out + used : nullptr, size_t(room), format, args);
        va_end(args);
        if (n > 0) used += n;
    }
};

struct preset_row {
    const char* key;
    int is_choice;
    double numbers[graphics_preset_count];
    const char* texts[graphics_preset_count];
};

const preset_row preset_rows[] = {
    {"terrain_resync_rate", 0, {0, 0, 4, 8}, {}},
    {"treadmark_limit", 0, {100000, 0, 100000, 1000000}, {}},
    {"roost_density", 0, {1000, 0, 1000, 1000}, {}},
    {"model_texture_detail", 0, {9, 7, 9, 10}, {}},
    {"model_detail", 0, {50, 25, 50, 75}, {}},
    {"use_shader", 1, {}, {"Yes", "No", "Yes", "Yes"}},
    {"lens_flare", 1, {}, {"Yes", "No", "Yes", "Yes"}},
    {"reflections", 1, {}, {"Yes", "No", "Yes", "Yes"}},
    {"render_texture", 1, {}, {"Software", "Hardware/Direct", "Shaders/Direct", "Shaders/Direct"}},
    {"texture_compress", 1, {}, {"No", "Yes", "Yes", "No"}},
    {"ground_mipmaps", 1, {}, {"Yes", "Yes", "Yes", "Yes"}},
    {"ground_texture_update_rate", 0, {1, 1, 1, 16}, {}},
    {"ground_texture_dim_new", 1, {}, {"1024x1024", "1024x1024", "2048x2048", "4096x4096"}},
    {"ground_texture_levels", 1, {}, {"Low+High", "Mid", "Low+High", "Low+Mid+High"}},
    {"ground_mesh_dim", 1, {}, {"16x16", "16x16", "16x16", "16x16"}},
    {"ground_detail", 0, {70, 50, 70, 90}, {}},
};

// The settings hold their defaults from the start, before start-up applies
// anything.
struct settings_initialiser {
    settings_initialiser() { settings_defaults(); }
} settings_initialised;

const config_key* find_key(const char* key)
{
    for (const auto& k : config_keys)
        if (k.key[0] && !strcmp(k.key, key)) return &k;
    return nullptr;
}

} // namespace

void settings_set_video_modes(const char* const* texts, int count)
{
    const char* keep = menu_choice_text(&settings.video_mode);
    char kept[64];
    copy_bounded(kept, keep, sizeof kept);
    if (texts && count >= 2) {
        settings.video_mode.choices = texts;
        settings.video_mode.count = count > video_mode_max ? video_mode_max : count;
    } else {
        settings.video_mode.choices = fixed_video_modes;
        settings.video_mode.count = 2;
    }
    settings.video_mode.selected = 0;
    menu_choice_select(&settings.video_mode, kept);
}

void settings_defaults()
{
    game_settings& s = settings;
    s.xres = 640;
    s.yres = 480;
    s.draw_fps = 0;
    s.draw_time = 0;
    s.draw_ping = 1;
    s.draw_speed = 0;
    s.spy = 0;
    s.track[0] = 0;
    s.record = choice("Record Demo", no_yes, 0);
    s.skill = choice("Robot Skill", skills, 0);
    s.minutes = slider("Minutes", 0, 1, 0, 60);
    s.laps = slider("Laps", 5, 1, 0, 50);
    for (int i = 0; i < gate_slot_count; i++) s.slot[i] = choice(gate_labels[i], slot_kinds, 0);
    // The player at gate 20 between five two-stroke robots.
    const int robot_gates[] = {18, 19, 21, 22, 23};
    for (int gate : robot_gates) s.slot[gate - 1].selected = 3;
    s.slot[20 - 1].selected = 1;
    s.ghost_fade_distance = slider("Ghost Fade Distance", 10, 1, 0, 40);
    s.time_trial_abort = choice("Backing Up Aborts Attempt", no_yes, 1);
    s.video_mode = choice("Video Mode", fixed_video_modes, 0);
    s.server_name = menu_text{"Server", server_name_size - 1, server_name_buffer, 0, 1, {-1, -1, -1, -1}};
    menu_text_set(&s.server_name, "localhost");
    memset(s.server_history, 0, sizeof s.server_history);
    s.server_history_selected = -1;
    s.ground_detail = slider("Ground Geometric Detail", 70, 1, 0, 100);
    s.ground_texture_detail = slider("Ground Texture Levels", 9, 1, 0, 10);
    s.ground_mesh_dim = choice("Ground Sub-Mesh Resolution", mesh_dims, 4);
    s.ground_texture_levels = choice("Ground Texture Levels", texture_levels, 5);
    s.ground_texture_dim = choice("Ground Texture Resolution", texture_dims, 2);
    s.ground_texture_dim_new = choice("Ground Texture Resolution", texture_dims_new, 3);
    s.ground_texture_update_rate = slider("Ground Texture Update Rate", 1, 1, 1, 16);
    s.ground_mipmaps = choice("Enable Ground Mipmaps", no_yes, 1);
    s.texture_compress = choice("Compress Textures", compress_modes, 0);
    s.render_texture = choice("Terrain Rendering Method", render_methods, 0);
    s.use_shader = choice("Use Shader Programs", no_yes, 1);
    s.roost_density = slider("Roost Density", 1000, 10, 0, 1000);
    s.treadmark_limit = slider("Treadmark Limit", 100000, 10000, 0, 10000000);
    s.reshade_delay = slider("Reshade Delay", 0, 0.125, 0, 20);
    s.terrain_resync_rate = slider("Terrain Sync Rate", 0, 1, 0, 10);
    s.lens_flare = choice("Enable Lens Flares", no_yes, 1);
    s.reflections = choice("Enable Reflections", no_yes, 1);
    s.hide_rider = choice("Hide 1st Person Rider", no_yes, 0);
    s.rigid_camera = choice("Rigid 3rd person camera", no_yes, 0);
    s.model_detail = slider("Model Geometric Detail", 50, 1, 0, 100);
    s.model_texture_detail = slider("Model Texture Detail", 9, 1, 0, 10);
    s.fov = slider("Field Of View", 110, 1, 10, 170);
    s.first_person_height = slider("1st Person Height", 0, 0.0078125, 0, 1);
    s.first_person_angle = slider("1st Person Angle", 0, 0.5, 0, 40);
    s.first_person_gimbal = slider("1st Person Gimbal", 0, 1, 0, 100);
    s.third_person_height = slider("3rd Person Height", 5, 0.125, 0, 20);
    s.third_person_distance = slider("3rd Person Distance", 10, 0.125, 5, 40);
    s.volume = slider("Volume", 10, 0.125, 0, 10);
    s.comp_volume = slider("Competitor Volume", 8, 0.125, 0, 10);
    s.playback_mode = choice("Playback Mode", playback_modes, 0);
    s.billboard_optimize_lookahead = 8;
    s.demo_backups = 0;
    s.map_scale = 1;
    s.use_fbo = choice("Use Framebuffer Objects", no_yes, 0);
    message_lines = 5;
    bindings_defaults();
    graphics_preset_apply(0);
}

int config_apply_pair(const char* key, const char* value)
{
    if (setup_parse_pair(&player_setup, key, value)) return 1;
    if (const config_key* k = find_key(key)) {
        switch (k->kind) {
        case key_int: {
            int32_t v;
            if (parse_int(value, &v) && v >= k->min && v <= k->max) *static_cast<int32_t*>(k->item) = v;
            break;
        }
        case key_slider: menu_slider_parse(static_cast<menu_slider*>(k->item), value); break;
        case key_choice: menu_choice_select(static_cast<menu_choice*>(k->item), value); break;
        case key_track: copy_bounded(settings.track, value, sizeof settings.track); break;
        case key_server: menu_text_set(&settings.server_name, value); break;
        case key_message_lines: {
            int32_t v;
            if (parse_int(value, &v)) console_set_message_lines(v);
            break;
        }
        case key_map_scale: {
            double v;
            if (parse_double(value, &v)) settings.map_scale = v < 0.125 ? 0.125 : v > 8 ? 8 : v;
            break;
        }
        default: break;
        }
        return 1;
    }
    int i = numbered_key(key, "slot", gate_slot_count);
    if (i >= 0) {
        menu_choice_select(&settings.slot[i], value);
        return 1;
    }
    i = numbered_key(key, "server_name_hist", server_history_count);
    if (i >= 0) {
        // A server name holds up to 127 characters, so an entry of 127 is whole.
        if (strlen(value) < size_t(server_name_size)) copy_bounded(settings.server_history[i], value, server_name_size);
        return 1;
    }
    if (menu_binding* b = binding_for_key(key)) {
        binding_parse(b, value);
        return 1;
    }
    if (!strcmp(key, "use_fbo")) {
        if (menu_choice_select(&settings.use_fbo, value))
            settings.render_texture.selected = settings.use_fbo.selected ? 2 : 1;
        return 1;
    }
    return !strcmp(key, "ground_texture_distance");
}

int read_config(const char* name)
{
    vfs_stream* s = vfs_open(name, "r");
    if (!s) return 0;
    char line[1024];
    int cut = 0;  // the rest of an overlong line is not a line of its own
    while (vfs_gets(s, line, sizeof line)) {
        size_t n = strlen(line);
        int whole = n > 0 && line[n - 1] == '\n';
        int skip = cut;
        cut = !whole && n == sizeof line - 1;
        if (skip) continue;
        while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = 0;
        char* equals = strchr(line, '=');
        if (!equals) continue;
        *equals = 0;
        config_apply_pair(line, equals + 1);
    }
    vfs_close(s);
    return 1;
}

int config_format(char* out, int size)
{
    text_out t{out, size, 0};
    if (size > 0) out[0] = 0;
    char clean[256];
    for (const auto& k : config_keys) {
        switch (k.kind) {
        case key_int: t.put("%s=%d\n", k.key, *static_cast<const int32_t*>(k.item)); break;
        // "%.9g" gives back every slider step exactly; "%f" would cut fine
        // steps at six decimals.
        case key_slider: t.put("%s=%.9g\n", k.key, static_cast<const menu_slider*>(k.item)->value); break;
        case key_choice: t.put("%s=%s\n", k.key, menu_choice_text(static_cast<const menu_choice*>(k.item))); break;
        case key_track:
            clean_text(clean, settings.track, sizeof clean);
            t.put("%s=%s\n", k.key, clean);
            break;
        case key_server:
            clean_text(clean, settings.server_name.text, sizeof clean);
            t.put("%s=%s\n", k.key, clean);
            break;
        case key_message_lines: t.put("%s=%d\n", k.key, message_lines); break;
        case key_map_scale: t.put("%s=%.9g\n", k.key, settings.map_scale); break;
        case key_slots:
            for (int i = 0; i < gate_slot_count; i++) t.put("slot%02d=%s\n", i, menu_choice_text(&settings.slot[i]));
            break;
        case key_setup: {
            int room = t.used < size ? size - t.used : 0;
            int n = setup_format(&player_setup, room ? out + t.used : nullptr, room);
            if (n > 0) t.used += n;
            break;
        }
        case key_history:
            for (int i = 0; i < server_history_count; i++) {
                clean_text(clean, settings.server_history[i], sizeof clean);
                t.put("server_name_hist%02d=%s\n", i, clean);
            }
            break;
        case key_bindings:
            for (int i = 0; i < binding_count; i++) {
                int room = t.used < size ? size - t.used : 0;
                int n = binding_format(room ? out + t.used : nullptr, room, binding_config_keys[i], &bindings[i]);
                if (n > 0) t.used += n;
            }
            break;
        }
    }
    return t.used;
}

int config_write(const char* name)
{
    int length = config_format(nullptr, 0);
    char* text = static_cast<char*>(alloc_check_malloc(uint64_t(length) + 1));
    if (!text) return 0;
    config_format(text, length + 1);
    char temporary[vfs_path_max];
    snprintf(temporary, sizeof temporary, "%s.tmp", name);
    // The old file stays until the new one is whole: a full disk or a crash
    // halfway through loses nothing.
    int ok = 0;
    if (vfs_stream* s = vfs_open(temporary, "w")) {
        ok = vfs_write(s, text, size_t(length)) == size_t(length);
        ok = vfs_flush(s) == 0 && ok;
        ok = fsync(fileno(s->host)) == 0 && ok;
        vfs_close(s);
        if (ok) ok = vfs_rename(temporary, name);
        if (!ok) {
            char path[vfs_path_max];
            if (vfs_resolve_for_write(temporary, path, sizeof path)) remove(path);
        }
    }
    alloc_check_free(text);
    if (!ok) console_print("Can't write config");
    return ok;
}

namespace {

void* preset_item(const preset_row& row)
{
    const config_key* k = find_key(row.key);
    return k ? k->item : nullptr;
}

} // namespace

void graphics_preset_apply(int i)
{
    if (i < 0 || i >= graphics_preset_count) return;
    for (const auto& row : preset_rows) {
        void* item = preset_item(row);
        if (row.is_choice)
            menu_choice_select(static_cast<menu_choice*>(item), row.texts[i]);
        else
            static_cast<menu_slider*>(item)->value = row.numbers[i];
    }
}

int graphics_preset_matches(int i)
{
    if (i < 0 || i >= graphics_preset_count) return 0;
    for (const auto& row : preset_rows) {
        const void* item = preset_item(row);
        if (row.is_choice) {
            if (strcmp(menu_choice_text(static_cast<const menu_choice*>(item)), row.texts[i])) return 0;
        } else if (static_cast<const menu_slider*>(item)->value != row.numbers[i]) {
            return 0;
        }
    }
    return 1;
}

const char* graphics_preset_label()
{
    static const char* const labels[graphics_preset_count + 1] = {
        "Current Settings: Compatibility", "Current Settings: High FPS", "Current Settings: Normal",
        "Current Settings: High Detail", "Current Settings: Custom"};
    for (int i = 0; i < graphics_preset_count; i++)
        if (graphics_preset_matches(i)) return labels[i];
    return labels[graphics_preset_count];
}

void server_history_push()
{
    const char* text = settings.server_name.text;
    if (!text[0] || !strcmp(text, settings.server_history[0])) return;
    memmove(settings.server_history[1], settings.server_history[0],
            sizeof settings.server_history[0] * (server_history_count - 1));
    copy_bounded(settings.server_history[0], text, server_name_size);
    settings.server_history_selected = -1;
}
