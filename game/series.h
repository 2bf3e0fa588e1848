#pragma once
// Points series: a text file lists the entrants' race numbers and the events
// (track, length, points by place and round points by round rank); a
// standings file beside it holds one line of places per event raced. The
// tally turns places into round ranks, and the update records the race just
// run into the running series and rewrites its standings.
#include <cstdint>

#include "core/vfs.h"
#include "physics/rider.h"

constexpr int32_t series_text_size = 1024;       // 1023 characters and the end
constexpr int32_t series_event_limit = 1024;     // more events are refused
constexpr int32_t series_listed_points = 40;     // points a file gives per list
constexpr int32_t series_lineup_limit = rider_slot_count - 1;  // the player takes the last place

struct series_event {
    char name[series_text_size];
    char track[series_text_size];
    int32_t track_index;   // in the track list
    int32_t minutes, laps;
    int32_t points[rider_slot_count];        // by finishing place, place 1 first; 0 past the 40th
    int32_t round_points[rider_slot_count];  // by round rank; 0 past the 40th
    int32_t places[rider_slot_count];        // 0-based place of entrant 0..n-1, then the player at n
    int32_t round_ranks[rider_slot_count];   // rank in the round this event ends (159 when it ends none)
};

struct points_series {
    char title[series_text_size];
    char name[vfs_path_max];             // the series file, without the leading "@"
    char standings_name[vfs_path_max];   // "@" + name + "_standings"
    int32_t event_count;
    int32_t skill;         // 0 "Novice", 1 "Amateur", 2 "Expert"
    int32_t lineup_size;   // n: entrants besides the player
    int32_t numbers[series_lineup_limit];
    series_event* events;  // event_count records
    int32_t events_done;   // events with results
};

// The series found at start-up, and the one whose event is being raced
// (-1 when none) with that event's index (-1 when none).
extern points_series* series_table;
extern int32_t series_count;
extern int32_t running_series;
extern int32_t running_event;
// 1 or more: series and events read are logged.
extern int32_t series_verbose;

// Reads every "*.series" file of the file index into series_table (those
// that fail to read are left out, each with its message); 1 when any was read.
int series_list_build();
void series_list_free();

// Reads "@" + name and its standings ("@" + name + "_standings", missing
// means no results yet), then tallies. 1 on success; 0 with one message line
// naming the file when it can't be opened or is malformed (the series then
// holds no events).
int series_read(points_series* series, const char* name);
// Releases the events.
void series_free(points_series* series);

// Works out the round ranks of every event with results from the places.
void series_tally(points_series* series);
// Points of an entrant (the player is entrant n) for its place in an event,
// and for its rank in the round the event ends.
int32_t series_place_points(const series_event* event, int32_t entrant);
int32_t series_round_points(const series_event* event, int32_t entrant);

// Writes the standings of every event with results under a temporary name
// and renames it over the standings file, so a failure leaves the old one
// whole. 1 on success.
int series_write_standings(const points_series* series);

// Records the race just run as the running event when it is the series'
// next event without results, then forgets the running series and event.
void series_update();
