#pragma once
// The race reset: the one way into a race. It tears down the last race's
// riders, loads the chosen track folder unless it is already loaded, places
// one rider per occupied gate slot on the start gates and sets the race clock.
// Beside it: the built-in AI rider table, the order AI riders are picked in,
// and the start gates' collision with the riders.
#include <cstdint>

struct rider;

constexpr int32_t slot_total = 160;
// What each gate slot holds at a reset. Kinds 6..999 come from no caller and
// leave the slot empty.
enum : int32_t {
    slot_kind_demo = 0,       // the next rider of the opened demo; else empty
    slot_kind_player = 1,     // the local player (the first such slot only)
    slot_kind_ai = 2,         // an AI rider in pick order
    slot_kind_ai_125 = 3,     // an AI rider on a 125
    slot_kind_ai_250 = 4,     // an AI rider on a 250
    slot_kind_network = 5,    // another player on the race server
    slot_kind_numbered = 1000,  // + n: the AI rider numbered n
};
extern int32_t slot_kind[slot_total];
// Who drives each slot.
enum : int32_t {
    slot_driven_by_player = 0,   // the local player's input
    slot_driven_by_history = 1,  // its state history: network riders, demo replays, empty slots
    slot_driven_by_autopilot = 2,
};
extern int32_t slot_status[slot_total];

// slot_kinds: 160 kinds offline (161 with the gate-drop tic online), or null
// for a lone player's lap practice. skill 0..2 picks the racing lines, -1 none.
void reset_session(const int32_t* slot_kinds, int track_from_demo, int record_demo, int32_t race_time,
                   int32_t laps, int32_t skill);
// Releases the loaded track ("Deallocating track"); nothing when none is loaded.
void track_free();
// Collides the rider with every start gate's statue; a touched statue
// records the tic.
void start_gates_collide(rider* r);
// The seed of a reset: ZT_SEED (decimal) when set, so runs repeat exactly;
// else the calendar clock.
uint32_t reset_seed();

// The HUD's track map ("map.png"), 0 when the track has none.
extern int32_t track_map_texture;

// ---- The AI riders ---------------------------------------------------------

struct ai_rider_row {
    const char* number;       // "20".."99"
    const char* personality;  // the auto pilot's
    const char* bike;         // before the upgrade table
    // Paints; null keeps the bike's own.
    const char* body_skin;
    const char* head_skin;
    const char* bike_skin;
    const char* wheel_skin;
};
constexpr int32_t ai_row_count = 80;
extern const ai_rider_row ai_rider_rows[ai_row_count];

// A permutation of the rows, reshuffled at every reset: the m-th AI rider of a
// race takes the row at position m mod 80.
extern int32_t gate_pick_order[ai_row_count];
// 0..79, then a Sattolo shuffle on the generator seeded with seed: one cycle
// through all 80 rows.
void gate_pick_shuffle(uint32_t seed);
// The row the m-th AI rider (m counted from 0) of a kind takes (2, 3, 4 or
// 1000 + n), swapping the row it wants into its pick position first.
int32_t ai_row_take(int32_t kind, int32_t m);
// The bike a name rides: the 250 four-strokes are upgraded to their 2008
// models; other names pass unchanged.
const char* bike_name_upgrade(const char* name);

// ---- Placement -------------------------------------------------------------

struct start_place {
    float x, z;
    float angle;  // riders face (-sin, -cos)
};
// The place of the p-th rider: behind gate p mod G in row p div G, (row +
// 1/16) x 10 ft back from it; in a line from the terrain's centre, 5 ft
// apart, without start gates.
start_place start_place_of(int32_t p);
// Puts the rider in its rest pose at the place, turned to its angle, on the
// height-grid sample under it, lifted a quarter foot at a time while the
// tyres or the frame touch anything (bounded: 1024 ft, then a log line).
// The reset's start places and the lap mode's restart gates both use it.
void drop_onto_ground(rider* r, const start_place& at);

// Demo rider `index` of the open replay as a rider in `slot`, shown from its
// history: the line's bike (upgraded), number, name and paints (a paint name
// that could leave the data roots gives the bike's own), damped steering, no
// crash under way; the demo slot map records the slot. The reset's demo
// slots and the lap mode's ghosts are both made by it. Null (slot left
// empty) for a rider the demo does not hold or a bike that cannot be built.
rider* demo_rider_create(int32_t index, int32_t slot);

// The kinds a reset works on, from the caller's (null: lap mode, the player
// alone in slot 0) with every later player slot made 0; all-0 kinds without
// demo riders get an AI rider in slot 0. Returns the slot the views follow
// (watched when nothing decides it).
int32_t slot_kinds_prepare(const int32_t* kinds, int demo_open, int32_t watched, int32_t out[slot_total]);

// A folder or skin name from a demo or the server is used only when it stays
// inside the data roots: no "..", no leading "/" or "\"; skins begin with "@".
int track_name_safe(const char* name);
int skin_name_safe(const char* name);


// What the loaded track's files made: the object counts a same-track restart
// cuts back to before the script makes its objects again.
extern int32_t track_file_billboards;
extern int32_t track_file_statues;
