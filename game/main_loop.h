#pragma once
// The main loop: one frame drawn per pass, then as many fixed 1/128-s tics
// as the clock asks for, each taking the input events stamped up to its own
// time, mixing the control bindings into the control channels and stepping
// the race.
#include <cstdint>

#include "game/pacing.h"

// What the loop draws: 0 riding view, 2 track editor, 3 orbit camera, 4 track
// cameras, 5 menus without a track.
enum view_kind : int32_t { view_riding = 0, view_editor = 2, view_orbit = 3, view_track_cameras = 4, view_no_track = 5 };
extern int32_t view_state;
// The watched slot is the local player's (controls go to it).
extern int32_t own_rider;
// Lets the track cameras watch the own rider and the watched rider change online.
extern int32_t spy_mode;
extern int32_t paused;

extern pacing_state pacing;
// Wall-clock frame durations, up to frame_time_ring_max of them.
constexpr int32_t frame_time_ring_max = 1048576;
extern float* frame_time_ring;
extern int32_t frame_time_count;

// The "--console-commands" text still to run (null when empty).
extern const char* console_queue;

// Longest Tab lift of a rider out of the ground: 4096 steps of 1/4 ft.
constexpr int32_t lift_step_limit = 4096;

// Runs the loop until the quit flag is set or a frame can't be presented.
void main_loop();
// One pass: 0 when the loop ends.
int main_loop_frame();
// One tic pass taking the events stamped up to event_limit (clock seconds);
// now is the clock when the frame's tics began.
void tic_pass(double event_limit, double now);
// One input event through the dispatch rules.
void dispatch_event(uint32_t code, int pressed);
// Lifts a rider up until its bike no longer touches the ground: up 1/8 ft,
// then 1/4 ft at a time while in contact (at most lift_step_limit steps),
// then down 1/8 ft. Returns the steps taken.
int rider_lift_clear(struct rider* r);
// Laps the leader of the race order has completed, from its gate count.
int32_t leader_laps_done();
// With "--warp": the leader has completed the race's laps (at least one).
int warp_restart_due();
// The platform clock in seconds (64-bit milliseconds underneath).
double loop_clock_now();
