#pragma once
// The learned racing lines of the loaded track: one set of 45 lines per
// track section, the sections cut at the timing gates. The race reset fills
// racing_line_sets (with the gate sequences it cut the sections at) when it
// reads a track's lines; with none loaded the record is empty and every
// lookup finds nothing. The physics tic's line assist reads the rider's
// picked line of its section here.
#include <cstdint>

// One recorded point: the rider's main body position (ft), its speed (ft/s,
// negative when neither wheel touched the ground) and its lean (rad).
struct line_point {
    float x, y, z, speed, lean;
};

// One recorded line with the auto pilot's statistics on it. An empty slot
// has no points, point_count 0 and id 0.
struct racing_line {
    line_point* points;
    int32_t point_count;
    int32_t recorded_time_mid, recorded_time;  // tics from the first gate to the middle and end gates
    int32_t tested;
    int32_t best_time_mid, best_time;
    int32_t sum_time_mid, sum_time;
    int32_t failures;
    int32_t last_picked;                       // tic
    int32_t id;                                // process-wide line number, 0 for none
};

constexpr int line_set_size = 45;

struct line_set {
    racing_line lines[line_set_size];
};

// A gate number of this or more names gate (number - this) and starts no
// section.
constexpr int32_t gate_no_section = 100000;

// The track's line sets: first-lap sections 0..S1-1, then the normal lap's
// S1..S1+S2-1, which every later lap reuses; and the gate sequences the
// sections were cut at (gate numbers, first lap then one normal lap).
struct racing_line_store {
    line_set* sets;  // S1 + S2 sets, null when no lines are loaded
    int32_t first_lap_sections, normal_lap_sections;
    const int32_t* first_lap_gates;
    int32_t first_lap_gate_count;
    const int32_t* normal_lap_gates;
    int32_t normal_lap_gate_count;
};
extern racing_line_store racing_line_sets;

// The section a rider is in after passing `position` gate entries: the
// entries below gate_no_section among the positions before it, the normal
// lap counted once per wrap. 0 for a position of 0 or less, or without
// gate sequences.
int32_t gate_section_index(int32_t position);
// The set holding a section's lines (later laps reuse the normal lap's), or
// null when none is loaded for it.
line_set* line_set_of_section(int32_t section);
// The line of that id in a set, or null (id 0 is no line).
const racing_line* racing_line_find(const line_set* set, int32_t id);
// The point `ahead` points past the line's point nearest to (x, z) on the
// ground, clamped to the last; null for an empty line.
const line_point* racing_line_point_ahead(const racing_line* line, double x, double z, int ahead);

// ---- Lines and their statistics ---------------------------------------------

// Times of an empty or never-run line, in tics.
constexpr int32_t line_empty_time = 1000000;
// Every line read or accepted takes the next number; ids are never reused.
extern int32_t line_id_counter;

// Frees the points and gives the empty line's values; last_picked stays.
void racing_line_empty(racing_line* line);
// The expected tics over a line: with K = 5 s of tics, K x failures /
// (tested + failures) + sum_time / tested once tested, else recorded_time x
// 5/4 (plus K after a failure). Integer arithmetic in 64 bits, clamped.
int64_t line_time_estimate(const racing_line* line);
// The slot a new run replaces in a full set (see racing_lines.cpp); -1 when
// no slot qualifies.
int line_eviction_victim(const line_set* set);
// Takes and clears the picked line id of the section at position (picked
// ids are kept by section mod 4) and charges that line a failure. The slot
// charged, or line_set_size when no line had the id.
int line_count_failure(int32_t picked_lines[4], int32_t position);

// ---- The racing-lines cache files ---------------------------------------------

// "lines_novice", "lines_amateur", "lines_expert" in the track folder.
const char* lines_file_name(int skill);
struct vfs_stream;
// Reads one entry (nine statistics, then its points) into line, or scans
// past it when line is null. 1 when read, 0 when fewer than nine numbers
// scanned (nothing stored), -1 for a malformed entry (a point that does not
// scan, a count outside 1..100000): the stream position is then unknown and
// reading must stop. Negative statistics read as 0; the statistics are
// halved until they fit (averages kept) and capped.
int lines_read_entry(vfs_stream* f, racing_line* line);
// Reads the loaded track's cache of a skill into racing_line_sets (which the
// race reset sized); the number of sets read. A header that does not match
// the set count reads nothing; a malformed entry leaves it and every later
// set empty.
int32_t lines_read(int skill);
// Writes the cache of a skill (only when line learning is on, a track is
// loaded and the skill is 0..2), then empties every line.
void lines_write(int skill);
// Empties every line of every set.
void line_sets_empty();
// Thins each first-lap set to at most 43 lines, dropping first the lines
// that cross the most others, then the eviction victim.
void lines_analyze();
// The planner's tables over each set (the line planner).
void line_sets_analyze();
