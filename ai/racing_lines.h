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

// Writes the racing-lines cache of a skill (0..2) and frees every line.
void lines_write(int skill);

// Once per tic per present rider after its physics step: the gate passage
// (timing position, gate tics, the finish), the recording of a human
// rider's run and its offer to the line sets.
struct rider;
void line_recorder_tic(rider* r);
