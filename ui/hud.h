#pragma once
// The HUD over the riding views and the results overlay over every view:
// rev counter and gear, pit board (position, lap, gap, lap times, lapping
// warning), lean ring, track map, race intro, and the status lines. The
// arithmetic is in plain functions so it can be checked without drawing.
#include <cstdint>

struct race_order_entry;

// Rev, gear, pit board, lean ring, map and intro of the rider in slot.
void draw_hud(int slot);
// A network rider's name over the top of the view (nothing for other slots).
void rider_name_draw(int slot);
// Results table, status lines and the shown message-log lines.
void results_overlay_draw(int slot);
// The strip of the running order that scrolls along the top of a track
// camera's view, with the leader's lap box at its right.
void scoreboard_ticker_draw();

// The ticker moves on by one entry every 2 s of clock: the entry first at
// the left edge (of entries) and how far it has slid out (0..21.5 units).
void ticker_scroll(double clock, int entries, int* first, float* offset);
// The ticker's lap box after the leader's laps of a race of lap_limit laps:
// the lap shown, and 0 while laps remain, 1 on the last lap, 2 when done
// (a lap_limit of 0 or less has no end).
int ticker_lap_box(int32_t laps, int32_t lap_limit, int32_t* lap);

// The tic at which the rider in slot passed gate index gate, -1 when it has
// not (the race's lap timing; tests put their own here).
extern int32_t (*hud_gate_tic)(int slot, int gate);

// Tics between two rows of the race order, other minus row, at the last
// gate both have passed; 0 with fewer than 2 riders or an unknown tic.
int32_t race_gap_tics(const race_order_entry* order, int count, int row, int other);

// Laps completed after passing gates gates with first_lap gates on the
// first lap and per_lap on every later one; 0 without laps.
int32_t laps_done(int32_t gates, int32_t first_lap, int32_t per_lap);

// The pit board's lapping warning for the watched rider at row of the order:
// riders ahead that pass the same point of the track less than 3 s before
// it. Writes " number (seconds) " per rider into text (size bytes) and
// returns how many there are; 0 without laps (per_lap <= 0).
int lapping_warning(const race_order_entry* order, int count, int row, int32_t first_lap, int32_t per_lap,
                    char* text, int size);

// Rev-counter needle, degrees clockwise from straight up: -135 at 0 rpm,
// 0 at 8000, +135 at 16000.
float needle_degrees(float rpm);

// The last and the best lap of a rider (tics; 0 for none) and the best
// lap's number: laps end at gate tics end_tics[0..laps-1], the first began
// at start_tic; the best is the shortest positive lap from lap 2 on.
struct lap_times {
    int32_t last, best, best_lap;
};
lap_times rider_lap_times(int32_t start_tic, const int32_t* end_tics, int laps);

// Frames per second shown for the longest frame since the last drawing
// (seconds); 0 for a frame of no length.
int frames_per_second(double longest_frame);
// Records a frame's length for the status line.
void hud_frame_time(double seconds);
