#pragma once
// The state history: for every rider slot the newest 128 tic-stamped rider
// state records, in tic order. Network riders and demo replays are shown from
// it (two entries around a delayed tic, blended); while a demo is written the
// local and computer riders are stamped into it every fourth tic and their
// new entries go to the demo. All storage is static: nothing is allocated in
// the tic.
#include <cstdint>

#include "physics/rider.h"
#include "physics/rider_state.h"

constexpr int history_length = 128;

struct slot_history {
    int32_t head;       // ring index of the newest entry
    int32_t unwritten;  // entries added since the slot last went to the demo, at most 128
    int32_t stamp[history_length];  // tic of each entry, -1 empty
    rider_state_record record[history_length];
};

extern slot_history state_history[rider_slot_count];
// 1 or more: the history logs what it drops.
extern int32_t history_verbose;

// Empties one slot (head 0, nothing unwritten, every stamp -1, records zero);
// a slot outside 0..159 is ignored.
void history_clear_slot(int slot);
void history_clear_all();

// Stores a copy of the record stamped with tic. The first state for a tic
// wins; a tic newer than the newest takes the oldest entry's place. A slot
// outside 0..159 is refused with a message; a negative tic, or one older than
// the newest that is not already stored, is dropped (with a line in verbose
// mode), which keeps the ring in tic order.
void add_state_to_history(int slot, const rider_state_record& record, int32_t tic);

// The ring indices of the two entries to blend for tic (raised to 0 when
// negative) into lo and hi; 0 when the slot's history is empty or the slot is
// outside 0..159.
int history_lookup(int slot, int32_t tic, int32_t* lo, int32_t* hi);

// What a history-driven rider is shown as at a target tic: the shown record
// with the older and newer records it lies between and the tics between them.
struct history_pose {
    rider_state_record shown, older, newer;
    int32_t tics;
};
// Works out the pose of a slot at target (raised to 0) for records of the
// given format version: one entry alone when both stamps are equal or the
// older is not before the target; the newer record exactly at its tic;
// otherwise the field-wise blend, whose positions run on up to 64 tics (half a
// second) past the newest entry. A version-4 record is never blended.
// 0 when the slot has no history.
int history_blend(int slot, int32_t target, int version, history_pose* out);

// Poses the slot's rider from its history at the current tic less the
// history delay (the replayed demo's format, else version 5); 0 when the slot
// has no rider or no history, and the rider keeps its pose.
int history_pose_rider(int slot);

// 1 when the slot's rider goes into the demo being written: offline the
// player and the computer riders; online the history-driven and computer
// riders, and the player when it rides in the race. The demo fixes its rider
// indices from this when recording begins.
int history_slot_in_demo(int slot);

// The rider-state payload of one demo chunk: for every slot whose index in
// rider_index (160 entries, -1 = not written) is 0..255, its unwritten entries
// from oldest to newest as a byte of rider index, the stamp (i32 little
// endian) and the 39-byte record; those slots' unwritten counts become 0.
// Returns the bytes written, at most room (a slot that does not fit whole
// stays unwritten).
constexpr int history_entry_bytes = 1 + 4 + rider_state_size;
int32_t history_demo_payload(const int32_t rider_index[rider_slot_count], uint8_t* out, int32_t room);

// Once per tic (forced 0), and forced by the race reset and when a demo
// starts or stops: while a demo is written, stamps the player's and the
// computer riders' states every fourth tic and writes the new entries to the
// demo every sixteenth.
void history_record_tic(int forced);
