// The console's command table and the commands that have no subject of
// their own elsewhere.
#include "ui/console_commands.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/game_state.h"
#include "core/util.h"
#include "core/vfs.h"
#include "editor/editor_save.h"
#include "game/main_loop.h"
#include "game/race_reset.h"
#include "game/startup.h"
#include "game/track_list.h"
#include "game/demo.h"
#include "net/reliable.h"
#include "physics/physics_ground.h"
#include "physics/rider.h"
#include "physics/rider_access.h"
#include "physics/setup.h"
#include "terrain/decals.h"
#include "terrain/terrain.h"
#include "terrain/terrain_render.h"
#include "ui/console.h"
#include "ui/engine_sound.h"
#include "ui/keycam.h"
#include "ui/screenshot.h"
#include "ui/settings.h"

int32_t suspension_graph_shown;

namespace {

constexpr double degrees = 3.14159265358979323846 / 180.0;

const char* skip_blanks(const char* s)
{
    while (*s == ' ' || *s == '\t') s++;
    return s;
}

// The first blank-free word of text into out; 0 when there is none.
int first_word(const char* text, char* out, size_t size)
{
    text = skip_blanks(text);
    size_t n = strcspn(text, " \t\r\n");
    if (n == 0 || n >= size) return 0;
    memcpy(out, text, n);
    out[n] = 0;
    return 1;
}

rider* watched_rider()
{
    return watched_slot >= 0 && watched_slot < rider_slot_count ? rider_table[watched_slot] : nullptr;
}

void save_track_info(const char*)
{
    if (!track_dir[0]) return;
    char name[track_dir_size + 16];
    snprintf(name, sizeof name, "@%s.trackinfo", track_dir);
    vfs_stream* out = vfs_open(name, "w");
    if (!out) {
        console_print("Error writing track info");
        return;
    }
    int i = track_list_find(track_dir);
    const char* longname = i >= 0 && !strcmp(track_list.folders[i], track_dir) ? track_list.descriptions[i] : track_dir;
    char hex[41];
    for (int k = 0; k < 20; k++) snprintf(hex + 2 * k, 3, "%02x", track_digest[k]);
    int ok = vfs_printf(out, "dir=%s\nlongname=%s\nfirstlap=%d\nnormallap=%d\ngatecount=%d\nhash=%s\n", track_dir,
                        longname, timing_gates.counted_first_lap, timing_gates.counted_normal_lap,
                        timing_gates.checkpoint_count, hex) > 0;
    ok = vfs_flush(out) == 0 && ok;
    vfs_close(out);
    if (ok) console_printf("Track info saved to %.300s.trackinfo", track_dir);
    else console_print("Error writing track info");
}

void render_stats(const char*)
{
    options.draw_render_stats = 1;
}

void toggle_spy(const char*)
{
    console_toggle("Spy mode", &spy_mode);
    settings.spy = spy_mode;
}

void toggle_graph(const char*)
{
    console_toggle("Suspension graph", &suspension_graph_shown);
}

void billboard_window(const char* args)
{
    int v;
    if (sscanf(args, "%d", &v) == 1) settings.billboard_optimize_lookahead = v;
    console_printf("Billboard optimization window is now %d", settings.billboard_optimize_lookahead);
}

void pipe_command(const char* args)
{
    rider* r = watched_rider();
    if (!r) return;
    const char* cls = rider_get_bike_class(r);
    bool four = !strcmp(cls, "250f") || !strcmp(cls, "450f");
    float length = four ? 5.0f : 1.75f, spread = four ? pipe_default_spread : 0.3f, reflection = four ? -0.85f : -0.75f;
    int first = 0, last = engine_pipe_taps - 1;
    sscanf(args, "%f %f %f %d %d", &length, &spread, &reflection, &first, &last);
    set_pipe_shape(&engine_sounds[watched_slot].pipe, length, spread, reflection, first, last);
    console_print("Pipe updated");
}

void name_demo(const char* args)
{
    if (!demo_recording() || demo_replay_version() != 0) {
        console_print("Not currently recording a demo");
        return;
    }
    char word[2048], name[1024];
    if (!first_word(args, word, sizeof word) || !demo_name_with_extension(word, name, sizeof name)) {
        console_print("Name too long");
        return;
    }
    // The name becomes a file in the demos folder: a path is refused.
    if (!demo_request_save(name)) {
        console_print("Bad demo name");
        return;
    }
    console_print("Demo name updated");
}

void camera_angle(const char* args)
{
    if (!watched_rider()) return;
    float yaw, pitch;
    if (sscanf(args, "%f %f", &yaw, &pitch) != 2) {
        console_print("Usage: camangle <yaw> <pitch>");
        return;
    }
    free_camera.yaw = float(yaw * degrees);
    free_camera.pitch = float(pitch * degrees);
    free_camera.yaw_rate = free_camera.pitch_rate = 0;
    console_print("Camera aimed");
}

void camera_position(const char* args)
{
    if (!watched_rider()) return;
    float p[3];
    if (sscanf(args, "%f %f %f", &p[0], &p[1], &p[2]) != 3) {
        console_print("Usage: campos <x> <y> <z>");
        return;
    }
    free_camera.x = p[0];
    free_camera.y = p[1];
    free_camera.z = p[2];
    console_print("Camera positioned");
}

void field_of_view(const char* args)
{
    float v;
    if (sscanf(args, "%f", &v) != 1 || !std::isfinite(v)) {
        console_print("Usage: fov <degrees>");
        return;
    }
    settings.fov.value = v < 10 ? 10 : v > 170 ? 170 : v;
    console_print("fov set");
}

void frame_histogram(const char*)
{
    char line[256];
    int at = 0;
    for (int i = 0; i < 8; i++) {
        at += snprintf(line + at, sizeof line - size_t(at), "%d=%u ", 128 >> i, pacing.frame_histogram[i]);
        pacing.frame_histogram[i] = 0;
    }
    console_print(line);
}

void save_frame_times(const char*)
{
    vfs_stream* out = vfs_open("@frametimes.txt", "w");
    if (!out) {
        console_print("Error opening \"frametimes.txt\" for writing");
        return;
    }
    for (int32_t i = 0; frame_time_ring && i < frame_time_count; i++) vfs_printf(out, "%f\n", double(frame_time_ring[i]));
    vfs_close(out);
    frame_time_count = 0;
    console_print("Frame times saved to \"frametimes.txt\"");
}

void force_reload(const char*)
{
    track_reload_forced = 1;
    console_print("Track will be reloaded on next restart");
}

void read_setup(const char* args)
{
    char word[1024], name[1100];
    vfs_stream* in = nullptr;
    if (first_word(args, word, sizeof word)) {
        snprintf(name, sizeof name, "@setups/%s", word);
        in = vfs_open(name, "r");
    }
    if (!in) {
        console_print("Error reading setup");
    } else {
        char line[1024];
        while (vfs_gets(in, line, sizeof line)) {
            char* eq = strchr(line, '=');
            if (!eq) continue;
            *eq = 0;
            char* value = eq + 1;
            value[strcspn(value, "\r\n")] = 0;
            setup_parse_pair(&player_setup, line, value);
        }
        vfs_close(in);
        console_print("Setup updated");
    }
    rider* r = watched_rider();
    if (r && slot_status[watched_slot] == 0) setup_apply_if_stopped(r, &player_setup, game_clock);
}

void write_setup(const char* args)
{
    char word[1024], name[1100];
    vfs_stream* out = nullptr;
    if (first_word(args, word, sizeof word)) {
        snprintf(name, sizeof name, "@setups/%s", word);
        out = vfs_open(name, "w");
    }
    int ok = out && setup_write(out, &player_setup);
    if (out) vfs_close(out);
    console_print(ok ? "Setup written" : "Error writing setup");
}

void nothing(const char*) {}

void add_key(const char*)
{
    keyframe_add(&free_camera, float(settings.fov.value), tic_counter);
    console_print("Keyframe added");
}

void delete_key(const char*)
{
    keyframe_delete(tic_counter);
    console_print("Keyframe deleted");
}

void clear_keys(const char*)
{
    keyframe_list.count = 0;
    console_print("Keyframes cleared");
}

void list_keys(const char*)
{
    const camera_keyframe* k = array_items<camera_keyframe>(&keyframe_list);
    for (int32_t i = 0; i < keyframe_list.count; i++)
        console_printf("pos = { %.2f, %.2f, %.2f }, rot = { %.2f, %.2f, %.2f, %.2f }, time = %.2f",
                       double(k[i].position[0]), double(k[i].position[1]), double(k[i].position[2]),
                       double(k[i].q[0]), double(k[i].q[1]), double(k[i].q[2]),
                       double(k[i].q[3]), k[i].tic * tic_length);
}

void read_keys(const char* args)
{
    char word[1024];
    if (!first_word(args, word, sizeof word) || !keyframes_read(word)) {
        console_print("Error reading camera keys");
        return;
    }
    console_print("Camera keys updated");
}

void write_keys(const char* args)
{
    char word[1024];
    if (!first_word(args, word, sizeof word) || !keyframes_write(word)) {
        console_print("Error saving camera keys");
        return;
    }
    console_print("Camera keys saved");
}

void toggle_keycam(const char*) { console_toggle("Keycam mode", &keycam_mode); }
void toggle_fps(const char*) { console_toggle("FPS display", &settings.draw_fps); }
void toggle_time(const char*) { console_toggle("Time display", &settings.draw_time); }
void toggle_ping(const char*) { console_toggle("Ping display", &settings.draw_ping); }
void toggle_spam(const char*) { console_toggle("Hide spam", &hide_spam); }
void toggle_speed(const char*) { console_toggle("Speed display", &settings.draw_speed); }

// The upload itself (name rule, file, server item, parts) is the race
// client's: the command only hands it the trimmed name.
void send_file(const char* args)
{
    char name[1024];
    snprintf(name, sizeof name, "%s", args);
    trim_trailing_blanks(name);
    net_upload_start(name);
}

bool contains_ignoring_case(const char* text, const char* part)
{
    size_t n = strlen(part);
    for (; *text; text++)
        if (!strncasecmp(text, part, n)) return true;
    return n == 0;
}

void list_files(const char* args)
{
    char filter[256];
    snprintf(filter, sizeof filter, "%s", args);
    trim_trailing_blanks(filter);
    vfs_build_index();
    char text[2048];
    for (int i = 0; i < vfs_index_count(); i++)
        if (vfs_index_entry_text(i, text, sizeof text) && contains_ignoring_case(text, filter)) console_print(text);
}

void set_message_lines(const char* args)
{
    int v;
    if (sscanf(args, "%d", &v) == 1) console_set_message_lines(v);
    console_printf("Maximum showing messages is now %d", message_lines);
}

void demo_backups(const char* args)
{
    int v;
    if (sscanf(args, "%d", &v) == 1) settings.demo_backups = v;
    console_printf("Now keeping %d demo backups", settings.demo_backups);
}

void map_scale(const char* args)
{
    float v;
    if (sscanf(args, "%f", &v) == 1 && std::isfinite(v)) settings.map_scale = v < 0.125f ? 0.125 : v > 8 ? 8 : v;
    console_printf("Map scale set to %f", settings.map_scale);
}

void height_volume(const char*)
{
    double sum = 0;
    if (track_terrain.heights)
        for (int64_t i = 0; i < int64_t(track_terrain.size) * track_terrain.size; i++) sum += track_terrain.heights[i];
    console_printf("%f\n", sum);
}

void toggle_decals(const char*)
{
    console_toggle("Hide decals", &track_terrain.hide_decals);
    if (!track_terrain.heights) return;
    decal_rebuild_bins(&track_terrain);
    if (track_terrain.renderer) terrain_invalidate_levels(&track_terrain, 0, 0, track_terrain.size, track_terrain.size);
}

void clear_markers(const char*)
{
    // The markers the path log lays belong to the race's marker list.
}

void path_log(const char* args)
{
    int32_t flags = 0;
    float spacing = 10;
    const char* s = skip_blanks(args);
    size_t n = strcspn(s, " \t");
    for (size_t i = 0; i < n; i++)
        if (s[i] == 'e') flags |= 1;
    float v;
    if (n && sscanf(s + n, "%f", &v) == 1) spacing = v;
    debug_marker_flags = flags;
    debug_marker_spacing = spacing;
    console_printf("Logging 0x%x, spacing %f", unsigned(flags), double(spacing));
}

void report_stutter(const char* args)
{
    double v;
    if (sscanf(args, "%lf", &v) == 1 && std::isfinite(v)) stutter_threshold = v;
    console_printf("Stutter threshold set to %f", stutter_threshold);
}

void toggle_wireframe(const char*) { console_toggle("Terrain wireframe", &options.terrain_wireframe); }

void echo(const char* args)
{
    console_print(args);
}

void quit(const char*)
{
    quit_requested = 1;
}

void screenshot(const char* args)
{
    char name[1025];
    snprintf(name, sizeof name, "%s", args);
    trim_trailing_blanks(name);
    // A cut name would be another file.
    if (strlen(name) > 1023) console_printf("Error saving \"%.900s\"", name);
    else if (name[0]) screenshot_save_as(name);
    else screenshot_save();
}

void scene_export(const char*)
{
    if (track_dir[0]) export_pov_scene();
}

void view_mode(const char* args)
{
    if (view_state == view_no_track) return;
    char word[16];
    if (!first_word(args, word, sizeof word)) return;
    if (!strcmp(word, "first")) view_state = view_riding;
    else if (!strcmp(word, "third")) view_state = view_orbit;
    else if (!strcmp(word, "float")) view_state = view_track_cameras;
    else if (!strcmp(word, "editor")) view_state = options.editor ? view_editor : view_orbit;
}

}  // namespace

const console_command_row console_command_table[] = {
    {"savetrackinfo", match_exact, save_track_info},
    {"renderstats", match_exact, render_stats},
    {"togglespy", match_exact, toggle_spy},
    {"togglegraph", match_exact, toggle_graph},
    {"bbopt", match_prefix, billboard_window},
    {"pipe", match_prefix, pipe_command},
    {"namedemo", match_prefix, name_demo},
    {"camangle", match_prefix, camera_angle},
    {"campos", match_prefix, camera_position},
    {"fov", match_prefix, field_of_view},
    {"fpshist", match_prefix, frame_histogram},
    {"saveframetimes", match_exact, save_frame_times},
    {"forcereload", match_exact, force_reload},
    {"readsetup", match_prefix, read_setup},
    {"writesetup", match_prefix, write_setup},
    {"randdump", match_exact, nothing},
    {"addkey", match_exact, add_key},
    {"deletekey", match_exact, delete_key},
    {"rmkey", match_exact, delete_key},
    {"clearkeys", match_exact, clear_keys},
    {"listkeys", match_exact, list_keys},
    {"readkeys", match_prefix, read_keys},
    {"writekeys", match_prefix, write_keys},
    {"togglekeycam", match_exact, toggle_keycam},
    {"togglefps", match_exact, toggle_fps},
    {"toggletime", match_exact, toggle_time},
    {"toggleping", match_exact, toggle_ping},
    {"togglespam", match_exact, toggle_spam},
    {"togglespeed", match_exact, toggle_speed},
    {"sendfile", match_word, send_file},
    {"listfiles", match_word, list_files},
    {"messagelines", match_word, set_message_lines},
    {"demobackups", match_word, demo_backups},
    {"mapscale", match_word, map_scale},
    {"hfvol", match_exact, height_volume},
    {"toggledecals", match_exact, toggle_decals},
    {"clearlog", match_word, clear_markers},
    {"log", match_word, path_log},
    {"reportstutter", match_word, report_stutter},
    {"toggleterrainwireframe", match_exact, toggle_wireframe},
    {"echo", match_word, echo},
    {"quit", match_word, quit},
    {"screenshot", match_word, screenshot},
    {"pov", match_word, scene_export},
    {"mode", match_word, view_mode},
};
const int console_command_count = int(sizeof console_command_table / sizeof console_command_table[0]);

int console_command_match(const char* text, const char** arguments)
{
    for (int i = 0; i < console_command_count; i++) {
        const console_command_row& row = console_command_table[i];
        size_t n = strlen(row.word);
        switch (row.kind) {
        case match_exact:
            if (!strcmp(text, row.word)) {
                *arguments = text + n;
                return i;
            }
            break;
        case match_prefix:
            if (!strncmp(text, row.word, n)) {
                *arguments = text + n;
                return i;
            }
            break;
        case match_word: {
            const char* s = skip_blanks(text);
            if (!strncmp(s, row.word, n) && (s[n] == 0 || s[n] == ' ' || s[n] == '\t')) {
                *arguments = skip_blanks(s + n);
                return i;
            }
            break;
        }
        }
    }
    return -1;
}

int console_command(const char* line)
{
    if (line[0] != '/' && line[0] != '\\') return 0;
    const char* arguments = nullptr;
    int row = console_command_match(line + 1, &arguments);
    if (row < 0) return 0;
    console_command_table[row].run(arguments);
    return 1;
}

int demo_name_with_extension(const char* word, char* out, int size)
{
    static const char extension[] = ".ztdemo";
    size_t n = strlen(word), e = sizeof extension - 1;
    if (n + 8 > 1024) return 0;
    bool has = n >= e && !strcmp(word + n - e, extension);
    int written = snprintf(out, size_t(size), has ? "%s" : "%s.ztdemo", word);
    return written > 0 && written < size;
}
