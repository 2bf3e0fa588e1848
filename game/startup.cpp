// Start-up, the main loop and the shut-down of the program. Every shut-down
// step checks what start-up reached, so any failure can leave through it.
#include "game/startup.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ai/racing_lines.h"
#include "core/alloc.h"
#include "core/game_state.h"
#include "core/ripemd160.h"
#include "core/util.h"
#include "core/vfs.h"
#include "game/capture.h"
#include "game/control_input.h"
#include "game/demo.h"
#include "game/lighting.h"
#include "game/main_loop.h"
#include "game/race_reset.h"
#include "game/results.h"
#include "game/series.h"
#include "game/track_list.h"
#include "game/version.h"
#include "gfx/model.h"
#include "gfx/text.h"
#include "gfx/texture.h"
#include "gfx/ztgl.h"
#include "net/client.h"
#include "physics/collision_shape.h"
#include "physics/paint_lists.h"
#include "physics/physics_world.h"
#include "physics/rider.h"
#include "physics/setup.h"
#include "physics/wheel_effects.h"
#include "platform/vesk.h"
#include "script/script_host.h"
#include "script/script_sound.h"
#include "terrain/terrain.h"
#include "terrain/treadmarks.h"
#include "ui/bindings.h"
#include "ui/console.h"
#include "ui/engine_sound.h"
#include "ui/keycam.h"
#include "ui/loading.h"
#include "ui/settings.h"

run_options options;
vesk_audio* main_audio;
int32_t stock_shapes;
video_mode_entry* video_mode_list;
int32_t video_mode_count;
void (*frame_hook)(int frame);
startup_mark startup_marks[startup_mark_max];
int32_t startup_mark_count;
const char** demo_names;
int32_t demo_count;

// The three digests of the stock shape sets, then the set the data
// generator writes, so online play is not refused with our own data.
const char* const stock_shape_digests[] = {
    "ee2bd2db0c54d7bd8fc462236101c0e504397245",
    "b415fe951efef9ad61196884906535c832dbc6f4",
    "c3a9426047a7a18c235dae0208b6f22a206890a3",
    "0fd8716943851e78d8ba5a826fb7afa5aa551dd0",
};
const int stock_shape_digest_count = 4;

namespace {

// How far start-up got, so the shut-down undoes only that.
struct startup_progress {
    int log_open;
    int window_open;
    int gl_ready;
    int physics_ready;
    int fonts_loaded;
    int file_index_built;
    int settings_taken;  // "@config" read and the command line accepted
} reached;

const char* const video_mode_texts_fixed[] = {"Default Fullscreen", "Windowed"};
const char** video_mode_texts;

void mark(const char* stage)
{
    if (startup_mark_count < startup_mark_max)
        startup_marks[startup_mark_count++] = {stage, double(vesk_time_ms()) * 0.001};
}

void stderr_and_log(const char* text)
{
    fputs(text, stderr);
    fflush(stderr);
    if (reached.log_open) vesk_log("%s", text);
}

void build_demo_list()
{
    const char* const* names = vfs_build_index();
    int n = 0;
    for (int i = 0; names && names[i]; i++)
        if (strncmp(names[i], "demos/", 6) == 0 && ends_with(names[i], ".ztdemo")) n++;
    demo_count = 0;
    if (n == 0) return;
    demo_names = static_cast<const char**>(alloc_check_malloc(sizeof(char*) * uint64_t(n)));
    if (!demo_names) return;
    for (int i = 0; names[i]; i++)
        if (strncmp(names[i], "demos/", 6) == 0 && ends_with(names[i], ".ztdemo")) {
            demo_names[demo_count++] = names[i];
            if (debug_level) {
                // The display name: between the last "/" and the last ".".
                const char* base = strrchr(names[i], '/') + 1;
                const char* dot = strrchr(base, '.');
                vesk_log("%s -> %.*s\n", names[i], int(dot ? dot - base : int(strlen(base))), base);
            }
        }
}

// Step 20: the track named by "--track" (a folder, the folder's last name,
// or a description), else the one "@config" named, when listed.
void select_start_track()
{
    const char* wanted = options.track ? options.track : settings.track;
    int i = track_list_find(wanted);
    if (i < 0 && wanted[0]) {
        char folder[track_dir_size + 8];
        snprintf(folder, sizeof folder, "tracks/%s", wanted);
        i = track_list_find(folder);
    }
    if (i >= 0) copy_bounded(settings.track, track_list.folders[i], sizeof settings.track);
}

int open_window()
{
    vesk_gl_request_version(options.gl_major, options.gl_minor, options.gl_dialect);
    int windowed = settings.video_mode.selected == 1;
    int width = 0, height = 0, flags = options.colour_bits & 0xFF;
    if (options.width > 0) settings.xres = options.width;
    if (options.height > 0) settings.yres = options.height;
    if (windowed) {
        width = settings.xres;
        height = settings.yres;
    } else {
        int m = settings.video_mode.selected;
        if (m >= 2 && m < video_mode_count) width = video_mode_list[m].width, height = video_mode_list[m].height;
        flags |= vesk_window_full_screen;
    }
    game_window = vesk_gl_window_open("Zentrik", width, height, flags, 0, options.depth_bits, 0, 0);
    return game_window != nullptr;
}

// Step 22: wait until the window can be drawn, keeping its input drained.
const vesk_rect* wait_for_frame()
{
    for (;;) {
        if (const vesk_rect* rect = vesk_gl_frame_begin(game_window)) return rect;
        uint32_t code;
        int pressed;
        while (vesk_get_event(game_window, &code, &pressed))
            if (code == vesk_code_close) quit_requested = 1;
        if (quit_requested) return nullptr;
        vesk_sleep(0, 62500);
    }
}

// Step 23: the first frame, with the fonts and HUD images loaded.
int first_frame()
{
    if (!wait_for_frame()) return 0;
    ztglClearColor(0.196078f, 0.6f, 0.8f, 0);
    ztglClear(GL_COLOR_BUFFER_BIT);
    ztglEnable(GL_CULL_FACE);
    ztglPixelStorei(GL_PACK_ALIGNMENT, 1);
    ztglPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    reached.fonts_loaded = load_fonts();
    texture_load("!@tach.png");
    texture_load("!@shifter.png");
    texture_load("!@pitboard.png");
    texture_load("!@title.png");
    ztgl_flush();
    return vesk_gl_frame_end(game_window);
}

void shut_down()
{
    // 1..3: the network, the series, the racing lines.
    if (net_connected()) net_send_disconnect();
    net_reset();
    series_update();
    if (lines_skill != -1 && track_dir[0]) lines_write(lines_skill);
    // 4: riders.
    if (reached.physics_ready) {
        vesk_log("Deallocating bikes\n");
        riders_destroy_all();
        race_order_count = 0;
        vesk_log("Finished deallocating bikes\n");
    }
    // 5: script, demos, track.
    script_unload();
    script_sounds_release();
    demo_close();
    demo_finish();
    track_free();
    // 6: the physics world and the physics library with it.
    if (reached.physics_ready) {
        physics_world_destroy();
        reached.physics_ready = 0;
    }
    show_status_logged("Freeing memory (1)");
    show_status_logged("Closing input devices");
    cursor_axes_close();
    bindings_close_axes();
    show_status_logged("Closing audio");
    if (main_audio) vesk_audio_close(main_audio);
    main_audio = nullptr;
    capture_audio_close();
    engine_sounds_free();
    keyframe_list_free();
    show_status_logged("Writing config files");
    // Settings never read (or a run refused at its command line) are not the
    // player's: writing them would replace the file with defaults.
    if (reached.settings_taken) config_write();
    show_status_logged("Freeing memory (2)");
    track_list_free();
    show_status_logged("Freeing memory (3)");
    paint_list_free(&rider_body_paints);
    paint_list_free(&rider_head_paints);
    paint_list_free(&bike_paints);
    paint_list_free(&wheel_paints);
    alloc_check_free(demo_names);
    series_list_free();
    demo_names = nullptr;
    demo_count = 0;
    video_mode_list_free();
    show_status_logged("Freeing file list");
    vfs_shutdown();
    show_status_logged("Freeing memory (4)");
    collision_shapes_free();
    capture_video_free();
    if (reached.gl_ready) {
        show_status_logged("Deleting textures");
        textures_purge(1);
        show_status_logged("Deleting models");
        models_purge(1);
        if (reached.fonts_loaded) free_fonts();
        lighting_free();
        ztgl_shutdown();
        reached.gl_ready = 0;
    }
    if (game_window) vesk_gl_window_close(game_window);
    game_window = nullptr;
    if (reached.log_open) vesk_log(nullptr);
    reached.log_open = 0;
    reached.settings_taken = 0;
    if (getenv("ZT_CHECK_ALLOC")) alloc_dump_live();
}

}  // namespace

void stock_shape_digest(char out[41])
{
    static const char* const files[] = {"@generic_frame.shp", "@generic_fork_upper.shp", "@generic_fork_lower.shp",
                                        "@generic_swingarm.shp", "@front_wheel.shp", "@rear_wheel.shp",
                                        "@generic_rider.shp"};
    ripemd160_ctx ctx;
    ripemd160_init(&ctx);
    for (const char* name : files) {
        vfs_stream* s = vfs_open(name, "rb");
        if (!s) continue;
        uint8_t piece[1024];
        int n;
        while ((n = vfs_read(s, piece, sizeof piece)) > 0) ripemd160_update(&ctx, piece, size_t(n));
        vfs_close(s);
    }
    ripemd160_final(&ctx);
    for (int i = 0; i < 20; i++) snprintf(out + 2 * i, 3, "%02x", ctx.digest[i]);
}

void video_mode_list_build(const vesk_display_mode* modes)
{
    video_mode_list_free();
    int n = 0;
    while (modes && modes[n].width) n++;
    video_mode_list = static_cast<video_mode_entry*>(alloc_check_malloc(sizeof(video_mode_entry) * uint64_t(n + 2)));
    video_mode_texts = static_cast<const char**>(alloc_check_malloc(sizeof(char*) * uint64_t(n + 2)));
    if (!video_mode_list || !video_mode_texts) {
        video_mode_list_free();
        return;
    }
    video_mode_count = 0;
    for (const char* fixed : video_mode_texts_fixed) {
        video_mode_entry& e = video_mode_list[video_mode_count++];
        copy_bounded(e.text, fixed, sizeof e.text);
        e.width = e.height = 0;
    }
    for (int i = 0; i < n; i++) {
        if (modes[i].bits != modes[0].bits) continue;
        video_mode_entry& e = video_mode_list[video_mode_count++];
        snprintf(e.text, sizeof e.text, "%dx%d", modes[i].width, modes[i].height);
        e.width = modes[i].width;
        e.height = modes[i].height;
    }
    for (int i = 0; i < video_mode_count; i++) video_mode_texts[i] = video_mode_list[i].text;
    settings_set_video_modes(video_mode_texts, video_mode_count);
}

void video_mode_list_free()
{
    settings_set_video_modes(nullptr, 0);
    alloc_check_free(video_mode_list);
    alloc_check_free(video_mode_texts);
    video_mode_list = nullptr;
    video_mode_texts = nullptr;
    video_mode_count = 0;
}

void derive_graphics_values(double ground_detail, double model_detail, double model_texture_detail,
                            double roost_density, run_options* o)
{
    o->ground_lod_step = ground_detail > 0 ? 0.125 / ground_detail : 0.125;
    double s = 0.02 * std::clamp(100.0 - model_detail, 0.0, 100.0);
    o->lod_scale = s > 1 ? s * s * s : s;
    o->lod_bias = 50.0 - 50.0 * std::clamp((model_detail - 10.0) * 0.05, 0.0, 1.0);
    o->texture_reduction = int32_t(std::clamp(10.0 - model_texture_detail, 0.0, 10.0));
    o->roost_frequency = int32_t(roost_density);
}

int game_main(int argc, char** argv)
{
    // 1..2: the tic, and "--open-home" alone.
    tic_length = 1.0 / 128.0;
    paused = 0;
    quit_requested = 0;
    spy_mode = 0;
    startup_mark_count = 0;
    mark("begin");
    if (argc == 2 && strcmp(argv[1], "--open-home") == 0) {
        vfs_open_home_folder();
        return 0;
    }
    // 3: an empty message log; a video reader that goes away must not kill us.
    console_clear();
    signal(SIGPIPE, SIG_IGN);
    // 4: the player's folder, the log and the data root.
    int found = open_startup_log();
    reached.log_open = 1;
    if (!found) {
        vesk_message_box("Problem starting Zentrik", "Can't find game data\n");
        shut_down();
        return 1;
    }
    mark("log and data root");
    // 5..8: version, settings and the defaults "@config" overrides.
    vesk_log("Zentrik version %s\n", zentrik_version);
    video_mode_list_build(vesk_display_modes());
    settings_defaults();
    setup_defaults(&player_setup);
    stability_apply(&player_setup, player_setup.stability);
    graphics_preset_apply(0);
    lighting_defaults();
    read_config();
    setup_applied_accept(&player_setup);
    // 9..10: the command line overrides the settings.
    options = run_options{};
    derive_graphics_values(settings.ground_detail.value, settings.model_detail.value,
                           settings.model_texture_detail.value, settings.roost_density.value, &options);
    char message[256];
    int parsed = parse_command_line(argc - 1, argv + 1, &options, message, sizeof message);
    if (parsed == command_line_open_home) {
        vfs_open_home_folder();
        shut_down();
        return 0;
    }
    if (parsed == command_line_error) {
        stderr_and_log(message);
        shut_down();
        return 1;
    }
    reached.settings_taken = 1;
    debug_level = options.verbose;
    model_lod_scale = float(options.lod_scale);
    model_lod_bias = float(options.lod_bias);
    roost_frequency = options.roost_frequency;
    treadmark_limit = int32_t(settings.treadmark_limit.value);
    treadmark_place = treadmark_place_on_track;
    if (options.connect) {
        copy_bounded(settings.server_name.text, options.connect, settings.server_name.max_length + 1);
        server_history_push();
        net_set_server(settings.server_name.text);
        options.track = nullptr;
    }
    video_capture_on = options.record_video;
    console_queue = options.console_commands;
    mark("settings and command line");
    // 11..12: window, GL entry points and the version GL gives.
    if (!open_window()) {
        stderr_and_log("Can't open window\n");
        shut_down();
        return 1;
    }
    int gl_loaded = ztgl_init(game_window);
    vesk_log("GL_VENDOR: %s\n", ztgl_state.vendor ? ztgl_state.vendor : "NULL");
    vesk_log("GL_RENDERER: %s\n", ztgl_state.renderer ? ztgl_state.renderer : "NULL");
    vesk_log("GL_VERSION: %s\n", ztgl_state.version ? ztgl_state.version : "NULL");
    vesk_log("GL_EXTENSIONS: %s\n", ztgl_state.extensions ? ztgl_state.extensions : "NULL");
    reached.gl_ready = gl_loaded;
    // Desktop GL 3.1 or GL ES 3.0 runs the built-in programs.
    if (!gl_loaded || !ztgl_version_supported()) {
        stderr_and_log("OpenGL version too old\n");
        shut_down();
        return 1;
    }
    mark("window and GL");
    // 13..14: shaders, then the file index behind a loading tick.
    if (!ztgl_build_programs()) {
        stderr_and_log("Can't initialize shaders\n");
        shut_down();
        return 1;
    }
    mark("shaders");
    loading_tick();
    vfs_build_index();
    mark("file index");
    reached.file_index_built = 1;
    // 15: are the generic shapes the stock ones?
    char digest[41];
    stock_shape_digest(digest);
    stock_shapes = 0;
    for (int i = 0; i < stock_shape_digest_count; i++)
        if (strcmp(digest, stock_shape_digests[i]) == 0) stock_shapes = 1;
    // 16..20: the lists the menus offer.
    paint_list_collect(&rider_body_paints, "rider_body");
    paint_list_collect(&rider_head_paints, "rider_head");
    graphics_lists_build(player_setup.bike);
    if (!track_list_build()) {
        stderr_and_log("No tracks found\n");
        shut_down();
        return 1;
    }
    build_demo_list();
    series_list_build();
    select_start_track();
    mark("shapes and lists");
    // 21: audio.
    if (options.record_audio) main_audio = capture_audio_open(options.record_audio);
    else if (!options.no_sound) main_audio = vesk_audio_open();
    mark("audio");
    // 22..23: the first frame.
    if (!first_frame()) {
        shut_down();
        return 0;
    }
    mark("fonts, images and first frame");
    // 24..26: axes and bindings, the physics world.
    cursor_axes_open();
    bindings_apply_all();
    menu_keys_resolve();
    physics_world_create();
    reached.physics_ready = 1;
    // 27..29: the first race when a track is known.
    const char* start_track = options.track;
    if (options.file && demo_open(options.file)) {
        start_track = demo_track;
        demo_close();
    }
    riders_init_all();
    for (int slot = 0; slot < slot_total; slot++) {
        rider_table[slot] = nullptr;
        slot_status[slot] = 1;
        slot_kind[slot] = 0;
    }
    race_order_count = 0;
    if (!options.file) slot_kind[0] = 2;
    if (start_track) reset_session(slot_kind, options.file ? 1 : 0, 0, 0, 1000, settings.skill.selected);
    mark("bindings, physics and race reset");
    // 30: into the loop.
    view_state = view_riding;
    menu_page = options.connect || options.console_commands ? -1 : 0;
    main_loop();
    shut_down();
    // The window and the log are closed; a second lets the desktop settle
    // before a new instance opens a window in its place.
    vesk_sleep(1, 0);
    return 0;
}
