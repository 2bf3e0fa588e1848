#include "game/state_history.h"

#include <cstring>

#include "core/game_state.h"
#include "game/demo.h"
#include "game/race_reset.h"
#include "net/net_client.h"
#include "ui/console.h"

slot_history state_history[rider_slot_count];
int32_t history_verbose;

namespace {

constexpr int32_t ring_mask = history_length - 1;
static_assert((history_length & ring_mask) == 0, "the ring wraps by masking");

// Positions are carried past the newest entry for at most half a second.
constexpr int32_t carry_tics = 64;

const int history_cleared_at_start = [] {
    history_clear_all();
    return 1;
}();

bool slot_in_range(int slot) { return slot >= 0 && slot < rider_slot_count; }

int32_t before(int32_t i) { return (i + ring_mask) & ring_mask; }
int32_t after(int32_t i) { return (i + 1) & ring_mask; }

} // namespace

void history_clear_slot(int slot)
{
    if (!slot_in_range(slot)) return;
    slot_history& h = state_history[slot];
    h.head = 0;
    h.unwritten = 0;
    for (int32_t& s : h.stamp) s = -1;
    memset(h.record, 0, sizeof h.record);
}

void history_clear_all()
{
    for (int slot = 0; slot < rider_slot_count; slot++) history_clear_slot(slot);
}

void add_state_to_history(int slot, const rider_state_record& record, int32_t tic)
{
    if (!slot_in_range(slot)) {
        console_print("add_state_to_history: slot out of range");
        return;
    }
    slot_history& h = state_history[slot];
    // A negative stamp would read as an empty entry.
    if (tic < 0) {
        if (history_verbose) console_printf("add_state_to_history: negative tic %d for slot %d dropped", tic, slot);
        return;
    }
    int32_t newest = h.stamp[h.head];
    if (newest >= 0 && tic <= newest) {
        for (int32_t k = 0, i = h.head; k < history_length; k++, i = before(i)) {
            if (h.stamp[i] < 0 || h.stamp[i] < tic) break;
            if (h.stamp[i] == tic) return;  // the first state for a tic wins
        }
        // Fitting it in between would shift the ring; no producer sends one.
        if (history_verbose)
            console_printf("add_state_to_history: tic %d older than the newest (%d) for slot %d dropped", tic, newest,
                           slot);
        return;
    }
    h.head = after(h.head);
    h.stamp[h.head] = tic;
    h.record[h.head] = record;
    if (h.unwritten < history_length) h.unwritten++;
}

int history_lookup(int slot, int32_t tic, int32_t* lo, int32_t* hi)
{
    if (!slot_in_range(slot)) return 0;
    if (tic < 0) tic = 0;
    const slot_history& h = state_history[slot];
    int32_t head = h.head;
    if (h.stamp[head] < 0) return 0;
    if (h.stamp[head] < tic) {
        *hi = head;
        *lo = h.stamp[before(head)] < 0 ? head : before(head);
        return 1;
    }
    for (int32_t k = 1, i = before(head); k < history_length; k++, i = before(i)) {
        if (h.stamp[i] < 0) {
            *lo = after(i);
            *hi = *lo == head ? head : after(*lo);
            return 1;
        }
        if (h.stamp[i] < tic) {
            *lo = i;
            *hi = after(i);
            return 1;
        }
    }
    *lo = after(head);
    *hi = after(*lo);
    return 1;
}

int history_blend(int slot, int32_t target, int version, history_pose* out)
{
    if (target < 0) target = 0;
    int32_t lo, hi;
    if (!history_lookup(slot, target, &lo, &hi)) return 0;
    const slot_history& h = state_history[slot];
    int32_t tl = h.stamp[lo], th = h.stamp[hi];
    const rider_state_record& a = h.record[lo];
    const rider_state_record& b = h.record[hi];
    if (tl == th || tl >= target) {
        out->shown = out->older = out->newer = a;
        out->tics = 1;
        return 1;
    }
    out->older = a;
    out->newer = b;
    out->tics = th - tl;
    if (target == th) {
        out->shown = b;
        return 1;
    }
    // 64-bit: a replayed stamp may lie anywhere in the 32-bit range.
    int64_t reach = int64_t(th) + carry_tics;
    int64_t upto = target < reach ? int64_t(target) : reach;
    float f = float(double(upto - tl) / double(int64_t(th) - tl));
    if (f == 0.0f || version == 4)
        out->shown = a;
    else
        rider_state_blend(a, b, f, &out->shown);
    return 1;
}

int history_pose_rider(int slot)
{
    if (!slot_in_range(slot) || !rider_table[slot]) return 0;
    int64_t target = int64_t(tic_counter) - history_delay;
    int version = demo_record_version();
    history_pose pose;
    if (!history_blend(slot, target < 0 ? 0 : int32_t(target), version, &pose)) return 0;
    return rider_state_apply(rider_table[slot], rider_state_track_ground(), pose.shown, pose.older, pose.newer,
                             pose.tics, version);
}

int history_slot_in_demo(int slot)
{
    if (!slot_in_range(slot) || !rider_table[slot]) return 0;
    int32_t status = slot_status[slot];
    if (!net_server_open()) return status == slot_driven_by_player || status == slot_driven_by_autopilot;
    if (status == slot_driven_by_history || status == slot_driven_by_autopilot) return 1;
    return status == slot_driven_by_player && net_riding_slot() != rider_no_slot;
}

int32_t history_demo_payload(const int32_t rider_index[rider_slot_count], uint8_t* out, int32_t room)
{
    int32_t n = 0;
    for (int slot = 0; slot < rider_slot_count; slot++) {
        int32_t k = rider_index[slot];
        if (k < 0 || k > 255) continue;
        slot_history& h = state_history[slot];
        int32_t count = h.unwritten;
        if (int64_t(count) * history_entry_bytes > room - n) continue;
        for (int32_t j = count - 1; j >= 0; j--) {
            int32_t i = (h.head - j) & ring_mask;
            uint8_t* e = out + n;
            uint32_t stamp = uint32_t(h.stamp[i]);
            e[0] = uint8_t(k);
            for (int b = 0; b < 4; b++) e[1 + b] = uint8_t(stamp >> (8 * b));
            memcpy(e + 5, h.record[i].bytes, rider_state_size);
            n += history_entry_bytes;
        }
        h.unwritten = 0;
    }
    return n;
}

void history_record_tic(int forced)
{
    if (!demo_recording()) return;
    if (!forced && tic_counter % 4 != 0) return;
    rider_state_ground ground = rider_state_track_ground();
    for (int slot = 0; slot < rider_slot_count; slot++) {
        int32_t status = slot_status[slot];
        if (!rider_table[slot] || (status != slot_driven_by_player && status != slot_driven_by_autopilot)) continue;
        rider_state_record record;
        rider_state_pack(rider_table[slot], ground, &record);
        add_state_to_history(slot, record, tic_counter);
    }
    if (!forced && tic_counter % 16 != 0) return;
    // The demo's rider indices were fixed when it began, so a slot that
    // fills or empties later cannot shift the others' indices.
    int32_t rider_index[rider_slot_count];
    for (int slot = 0; slot < rider_slot_count; slot++)
        rider_index[slot] = rider_table[slot] ? demo_rider_index(slot) : -1;
    static uint8_t payload[rider_slot_count * history_length * history_entry_bytes];
    int32_t n = history_demo_payload(rider_index, payload, int32_t(sizeof payload));
    if (n == 0) return;
    demo_write_chunk(1, payload, n);
    demo_flush();
}
