#pragma once
// The race clock and the shared game values that every layer reads as plain
// values: the physics and terrain read the clock and the gates, the views and
// the HUD read the race order and the view extents. They live here, below
// everything, so no lower layer reaches up into the race or the interface to
// read them. The race reset and the race step set the clock, the main loop
// sets the game clock and the control channels, the menus set the page.
#include <cstdint>

// Simulation tics since the race began; advanced once per tic by the race step.
extern int32_t tic_counter;
// The tic at which the current race started.
extern int32_t race_start_tic;
// Seconds per tic: 1/128.
extern double tic_length;
// Ground erosion: the "--erode" option or the server's "erode" command times
// 1024 (0..102400); -1 online until the server has sent it. The frame drains
// the erode queue while it is above 0, at rate erosion_amount / 1024.
extern int32_t erosion_amount;
// Set by the server's erode command (and "forcereload"): the next race reset
// loads the track again even when it is already loaded.
extern int32_t track_reload_forced;

// The track's timing gates: where the riders line up, the checkpoints they
// must pass and in which order. The race's track loader fills it (the
// "timing_gates" file); lap timing, the gate passage, the views and the
// editor read it.
constexpr int32_t start_gate_limit = 160;
constexpr int32_t checkpoint_limit = 1024;
constexpr int32_t lap_entry_limit = 1024;  // per lap sequence
// A lap entry of this plus c names checkpoint c without counting it as a gate
// (it is passed in order but starts no racing-line section).
constexpr int32_t lap_entry_marked = 100000;

struct start_gate {
    float x, y, z;   // y as the file gives it: above the terrain
    float angle;     // radians in [-pi, pi]; riders face (-sin, -cos)
    int32_t statue;  // the statue that draws it, -1 for none
    float drop;      // the start-gate animation: 1.0 and 0 after a reset
    int32_t drop_tic;
};

struct checkpoint {
    float x, y, z;     // centre
    float dx, dy, dz;  // the side it is passed toward
    float width;       // reach from the centre, feet
    int32_t flag;      // set by the view for a fallen rider's last checkpoint
};

struct timing_gates_record {
    int32_t checkpoint_count;    // 0: the track has no timing gates
    int32_t counted_first_lap;   // F: counted gates of the first lap
    int32_t counted_normal_lap;  // N: counted gates of every later lap
    int32_t first_lap_entries;   // entries of the first-lap sequence, counted or not
    int32_t normal_lap_entries;
    int32_t start_gate_count;
    // Racing-line sets the track needs: one per counted gate of the first lap
    // and one per counted gate of the normal lap.
    int32_t line_set_count;
    start_gate start_gates[start_gate_limit];
    checkpoint checkpoints[checkpoint_limit];
    // The first-lap entries, then the normal-lap entries.
    int32_t lap_entries[2 * lap_entry_limit];
};
extern timing_gates_record timing_gates;

// The tic at which the start gate drops (lap 1 is timed from it).
extern int32_t gate_drop_tic;
// The tic at which the start flagger's sequence begins (5 s into the race).
extern int32_t start_sequence_tic;
// The race's length in tics; 0 for a race of laps.
extern int32_t race_time_tics;
// Laps of the race as asked for.
extern int32_t race_laps;
// The halfway lap (the lap board shows it) and the final lap number; both
// 1000000 in a timed race until its time is up.
extern int32_t halfway_lap;
extern int32_t lap_limit;
// Tics by which history-driven riders are drawn behind (127 for a spectator).
extern int32_t history_delay;
// 1 when a lone player rides laps offline.
extern int32_t lap_mode;
// The slot the views follow.
extern int32_t watched_slot;
// The slot of the leading rider, 160 when none.
extern int32_t leader_slot;
// Racing-lines skill of the race (0..2), -1 for none.
extern int32_t lines_skill;

// Stepped seconds, advanced once a frame by the frame's step: the chat
// spacing, network timers, message fading and setup announce measure with it.
extern double game_clock;

// The nine control values of a tic, summed from the control bindings.
enum control_channel_index {
    channel_steer, channel_throttle, channel_front_brake, channel_rear_brake,
    channel_shift, channel_clutch, channel_dab, channel_back_up, channel_lean,
    control_channel_count
};
extern float control_channels[control_channel_count];

// The loaded track: its folder (files open as "@" + track_dir + "/" + name),
// its description, and the digest over its files that a race server compares.
constexpr int track_dir_size = 256;
extern char track_dir[track_dir_size];
extern char track_title[track_dir_size];
// The rider name of each slot ("" when none): the race reset and the network
// set it; demos, views and scripts read it.
extern char slot_rider_name[160][64];
extern uint8_t track_digest[20];

// The race order, best first: more gates passed, then the earlier tic of the
// last gate, then the lower slot. The results step rebuilds it.
struct race_order_entry {
    int32_t slot;
    int32_t gates_passed;
    int32_t last_gate_tic;
};
// One entry per rider slot at most (slots are 0..159).
extern race_order_entry race_order[160];
extern int32_t race_order_count;

// Half-width and half-height of the view at unit distance; 2-D overlays draw
// at depth -1 between these extents.
extern float view_extent_w;
extern float view_extent_h;

// The open menu page (-1 for none) and its selected line.
extern int32_t menu_page;
extern int32_t menu_line;

// The game's one window (null before it opens and after it closes): input
// names, axes and the loading screens use it.
struct vesk_window;
extern vesk_window* game_window;
// Set by the window's close request (also when a loading screen drains it)
// and by "/quit"; the main loop ends at its next pass.
extern int32_t quit_requested;
// Verbose output: 0 off, 1 "--debug", 2 "--super-debug".
extern int32_t debug_level;
