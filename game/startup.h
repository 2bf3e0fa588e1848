#pragma once
// The program's start-up, command line and shut-down. game_main runs the
// start-up steps, the main loop and the shut-down and returns the exit
// status; main() only sets the floating-point mode and calls it.
//
// The command line is parsed by a pure function into run_options, so the
// option table can be tested without a window.
#include <cstdint>

struct vesk_audio;

// Every value the command line sets, with its default. The start-up fills it
// from the settings first (the derived graphics values), then the options
// override.
struct run_options {
    // Pixel format and GL request (3.1 core unless "--glversion").
    int32_t colour_bits = 16;
    int32_t depth_bits = 16;
    int32_t gl_major = 3, gl_minor = 1, gl_dialect = 1;
    // Audio and capture.
    int32_t no_sound = 0;
    const char* record_audio = nullptr;  // file name, or null
    int32_t record_video = 0;
    // What is drawn.
    int32_t fugly = 0;
    int32_t hud_shown = 1;
    int32_t paused_text_shown = 1;
    int32_t scoreboard_shown = 1;
    int32_t gl_finish = 0;
    int32_t ground_texture_debug = 0;
    int32_t terrain_wireframe = 0;
    int32_t terrain_sub_mesh = 1;
    int32_t print_orientation = 0;
    int32_t draw_fps = 0, draw_time = 0, draw_ping = 0, draw_speed = 0, draw_render_stats = 0;
    // Pacing: warp runs 100 tics a frame; lock_fps > 0 steps exactly 1/F s.
    int32_t warp = 0;
    double lock_fps = 0;
    // The orbit camera's centre in the bike frame's coordinates, and its
    // angle, distance and height.
    float chase_centre[3] = {0.0f, 2.52f, 0.52f};
    float orbit_angle = 0.0f, orbit_distance = 10.0f, orbit_height = 5.0f;
    // Derived graphics values (the settings give them first).
    int32_t texture_reduction = 0;
    int32_t roost_frequency = 100;
    double ground_lod_step = 0.125;
    double lod_scale = 1.0;
    double lod_bias = 0.0;
    // Race and debugging.
    int32_t verbose = 0;
    int32_t learn_lines = 0;
    int32_t practice = 0;
    int32_t erosion = 0;          // 1/1024 units: floor(clamp(v, 0, 100) x 1024)
    int32_t rotate_lineup = 0;    // 0..159
    int32_t editor = 0;
    int32_t accurate_skip = 0;
    double fake_lag = 0;          // seconds, 0..1
    int32_t fake_loss = 0;        // percent, 0..100
    // Windowed size; 0 keeps the setting's.
    int32_t width = 0, height = 0;
    // Names given on the command line (pointers into argv), or null.
    const char* track = nullptr;
    const char* connect = nullptr;   // "zentrik:" already removed
    const char* password = nullptr;
    const char* console_commands = nullptr;
    const char* file = nullptr;      // the demo to play
};

// What the command line asks for.
enum command_line_result {
    command_line_run = 0,        // start the game
    command_line_error = 1,      // message for standard error; exit 1
    command_line_open_home = 2,  // open the player's folder; exit 0
};

// The graphics values the settings give before the options override them:
// ground LOD step 0.125 / ground detail; with m the model detail and
// s = 0.02 x clamp(100 - m, 0, 100), LOD scale s^3 above 1 else s and LOD
// bias 50 - 50 x clamp((m - 10) x 0.05, 0, 1); texture reduction
// clamp(10 - model texture detail, 0, 10); roost frequency the roost density.
void derive_graphics_values(double ground_detail, double model_detail, double model_texture_detail,
                            double roost_density, run_options* o);

// Parses the arguments after the program name into *o (which keeps its
// values for options not given). On an error, message holds the line for
// standard error, newline included.
int parse_command_line(int argc, char** argv, run_options* o, char* message, int message_size);

// The values of this run.
extern run_options options;
// The audio back end (null with "--nosound") and whether the generic shape
// files are the stock ones (online play needs them).
extern vesk_audio* main_audio;
extern int32_t stock_shapes;
// The digests of stock shape sets the race server accepts.
extern const char* const stock_shape_digests[];
extern const int stock_shape_digest_count;
// The digest of the shape files as read, 40 lower-case hex digits.
void stock_shape_digest(char out[41]);

// The video modes offered: "Default Fullscreen", "Windowed", then "%dx%d"
// for each display mode of the first mode's colour depth.
struct video_mode_entry {
    char text[24];
    int32_t width, height;
};
extern video_mode_entry* video_mode_list;
extern int32_t video_mode_count;
// Builds the list from a zero-terminated display-mode list.
void video_mode_list_build(const struct vesk_display_mode* modes);
void video_mode_list_free();

// The demo files of the file index ("demos/x.ztdemo", pointers into the
// index), for the Playback Race list.
extern const char** demo_names;
extern int32_t demo_count;

// Start-up steps 1..30, the main loop and the shut-down; the exit status.
int game_main(int argc, char** argv);

// Hooks for tests that run the whole program in their own process: called
// once a frame before the frame's events are taken (null: none).
extern void (*frame_hook)(int frame);

// Where start-up's time went: the clock (seconds) at the end of each named
// stage, in order, for the start-up benchmark and the log.
struct startup_mark {
    const char* stage;
    double seconds;
};
constexpr int startup_mark_max = 16;
extern startup_mark startup_marks[startup_mark_max];
extern int32_t startup_mark_count;
