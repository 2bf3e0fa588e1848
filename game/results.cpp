#include "game/results.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "core/vfs.h"
#include "game/race_reset.h"
#include "game/series.h"
#include "game/state_history.h"
#include "net/client.h"
#include "physics/bike_info.h"
#include "physics/lap_timing.h"
#include "physics/rider_access.h"

race_order_entry race_results[rider_slot_count];
int32_t race_results_count;
int32_t results_final;
int32_t gate_lineup[rider_slot_count];

namespace {

constexpr int32_t tics_per_second = 128;
// With nobody to compare a stretch with, it is taken to last a minute.
constexpr int64_t unknown_stretch_tics = 60 * tics_per_second;
// A replayed rider whose newest state is 10 s old has stopped riding.
constexpr int32_t replay_stale_tics = 10 * tics_per_second;
constexpr int32_t timed_lap_unset = 1000000;

bool ahead(const race_order_entry& a, const race_order_entry& b)
{
    if (a.gates_passed != b.gates_passed) return a.gates_passed > b.gates_passed;
    if (a.last_gate_tic != b.last_gate_tic) return a.last_gate_tic < b.last_gate_tic;
    return a.slot < b.slot;
}

// The gate tic at index i, -1 when missed or outside the list; 64-bit index
// because lap arithmetic over a timed race's million laps overflows 32 bits.
int32_t gate_tic_at(const rider* r, int64_t i)
{
    if (i < 0 || i > rider_gate_index_limit) return -1;
    return rider_gate_tic(r, int32_t(i));
}

race_order_entry entry_of(int slot)
{
    const rider* r = rider_table[slot];
    int32_t gates = rider_gate_count(r);
    int32_t last = gates > 0 ? gate_tic_at(r, gates - 1) : 0;
    return {slot, gates, last < 0 ? 0 : last};
}

// Online, a spectator's own local rider takes no part in the race.
bool watching_own_rider(int slot)
{
    return net_server_open() && net_riding_slot() == rider_no_slot && slot_status[slot] == slot_driven_by_player;
}

// A rider's time from gate p (-1: from tic 0) to gate j, complete only when
// it passed every gate of the stretch, and never negative.
bool stretch_time(const rider* r, int64_t p, int64_t j, int64_t* t)
{
    int64_t start = 0;
    if (p >= 0) {
        int32_t a = gate_tic_at(r, p);
        if (a == -1) return false;
        start = a;
    }
    for (int64_t i = p + 1; i < j; i++)
        if (gate_tic_at(r, i) == -1) return false;
    int32_t b = gate_tic_at(r, j);
    if (b == -1) return false;
    *t = b - start;
    return *t >= 0;
}

// The field's expected time from gate p to gate j, plus a second.
int64_t expected_stretch(int64_t p, int64_t j)
{
    int64_t first = timing_gates.first_lap_entries, normal = timing_gates.normal_lap_entries;
    int64_t sum = 0, riders = 0;
    for (int32_t e = 0; e < race_order_count; e++) {
        int slot = race_order[e].slot;
        if (slot < 0 || slot >= rider_slot_count || !rider_table[slot] || watching_own_rider(slot)) continue;
        const rider* o = rider_table[slot];
        int64_t t;
        if (j < first || normal <= 0 || p < 0) {
            if (stretch_time(o, p, j, &t)) {
                sum += t;
                riders++;
            }
            continue;
        }
        // Later laps: the same stretch in every lap the rider rode it whole.
        int64_t j0 = first + (j - first) % normal, p0 = p - (j - j0);
        int64_t lap_sum = 0, laps = 0;
        for (int64_t m = 0; j0 + m * normal < o->gate_tics.count; m++) {
            if (p0 + m * normal < 0) continue;
            if (stretch_time(o, p0 + m * normal, j0 + m * normal, &t)) {
                lap_sum += t;
                laps++;
            }
        }
        if (laps > 0) {
            sum += lap_sum / laps;
            riders++;
        }
    }
    return (riders > 0 ? sum / riders : unknown_stretch_tics) + tics_per_second;
}

// The leader's lap count as the halfway and end of a timed race see it.
int64_t laps_past_first(int32_t gates)
{
    int32_t first = timing_gates.first_lap_entries, normal = timing_gates.normal_lap_entries;
    if (normal <= 0 || gates < first) return -1;
    return (gates - first) / normal;
}

// A timed race ends with the lap in which its time ran out: the first lap
// whose end the field reached only after the time is the last.
void settle_timed_laps()
{
    int64_t end_tic = int64_t(gate_drop_tic) + race_time_tics;
    int64_t first = timing_gates.first_lap_entries, normal = timing_gates.normal_lap_entries;
    int64_t done = laps_past_first(race_order[0].gates_passed);
    int64_t f = done < 0 ? 1 : std::max<int64_t>(1, std::min<int64_t>(lap_limit, done));
    for (;; f++) {
        int64_t end_gate = (f - 1) * normal + first - 1;
        int64_t h = -1;
        for (int32_t e = 0; e < race_order_count; e++) {
            int32_t t = gate_tic_at(rider_table[race_order[e].slot], end_gate);
            if (t != -1 && (h == -1 || t < h)) h = t;
        }
        if (h == -1) return;
        if (h >= end_tic) {
            lap_limit = int32_t(std::min<int64_t>(lap_limit, race_laps + f));
            return;
        }
        lap_limit = int32_t(std::max<int64_t>(lap_limit, std::min<int64_t>(INT32_MAX, race_laps + f + 1)));
        if (normal <= 0) return;  // every lap ends at the same gate
    }
}

// Whether the rider can no longer change the results.
bool rider_done(int slot)
{
    rider* r = rider_table[slot];
    if (rider_has_finished(r)) return true;
    if (!net_server_open()) {
        if (slot_status[slot] != slot_driven_by_history) return false;
        int32_t lo, hi;
        if (!history_lookup(slot, tic_counter, &lo, &hi)) return true;
        return int64_t(state_history[slot].stamp[hi]) < int64_t(tic_counter) - replay_stale_tics;
    }
    if (watching_own_rider(slot)) return true;
    if (slot == net_own_slot()) return false;
    // A network rider races on while its state is current; the network
    // client holds the one rule for that.
    return !rider_state_current(slot);
}

void put_time(vfs_stream* s, int64_t tics)
{
    if (tics < 0) tics = 0;
    int64_t ms = tics * 1000 / tics_per_second;
    vfs_printf(s, "%3d:%02d.%03d", int(ms / 60000), int(ms / 1000 % 60), int(ms % 1000));
}

} // namespace

void race_order_sort(race_order_entry* entries, int32_t count)
{
    // The order is total (slots differ), so any sort gives the same table.
    std::sort(entries, entries + count, ahead);
}

void race_order_build()
{
    race_order_count = 0;
    for (int slot = 0; slot < rider_slot_count; slot++)
        if (rider_table[slot]) race_order[race_order_count++] = entry_of(slot);
    race_order_sort(race_order, race_order_count);
    // The finish of a rider whose gates come from elsewhere (a network
    // rider's lap-time items) is judged against the leader's finish.
    leader_slot = race_order_count > 0 ? race_order[0].slot : rider_no_slot;
}

int32_t rider_best_lap(const rider* r, float* seconds)
{
    int32_t laps = rider_laps_done(r);
    *seconds = 0;
    if (laps < 2) return 0;
    int32_t best = 2;
    float best_time = rider_lap_time(r, 2);
    for (int32_t n = 3; n <= laps; n++) {
        float t = rider_lap_time(r, n);
        // A lap without a time gives way to the next; ties keep the earlier.
        if (best_time == 0.0f || (t != 0.0f && t < best_time)) {
            best = n;
            best_time = t;
        }
    }
    *seconds = best_time;
    return best;
}

int32_t rider_penalty(const rider* r)
{
    int64_t penalty = 0, prev = -1, prev_tic = 0;
    int32_t gates = rider_gate_count(r);
    for (int32_t j = 0; j < gates; j++) {
        int32_t t = gate_tic_at(r, j);
        if (t == -1) continue;
        if (j > prev + 1) {
            int64_t expected = expected_stretch(prev, j);
            int64_t own = t - prev_tic;
            if (own < expected) penalty += expected - own;
        }
        prev = j;
        prev_tic = t;
    }
    return int32_t(std::min<int64_t>(penalty, INT32_MAX));
}

int results_write()
{
    vfs_stream* s = vfs_open("@results.txt", "wb");
    if (!s) return 0;
    int32_t first = timing_gates.first_lap_entries, normal = timing_gates.normal_lap_entries;
    vfs_printf(s, "Time=%.2f|Laps=%d|Track=%s|Date=%ld\r\n", race_time_tics * tic_length, race_laps, track_dir,
               long(time(nullptr)));
    vfs_printf(s, "%4s | %12s | %4s | %10s | %4s | %10s\r\n", "No.", "Bike", "Laps", "Total Time", "BLap", "Best Time");
    for (int32_t e = 0; e < race_results_count; e++) {
        const race_order_entry& x = race_results[e];
        rider* r = rider_table[x.slot];
        if (!r || !rider_has_finished(r)) continue;
        int32_t laps = normal > 0 && x.gates_passed >= first ? (x.gates_passed - first) / normal + 1 : 0;
        vfs_printf(s, "%4s | %12s | %4d | ", rider_get_number(r), rider_get_bike_info(r)->name, laps);
        put_time(s, int64_t(x.last_gate_tic) - gate_drop_tic);
        float best_seconds;
        int32_t best = rider_best_lap(r, &best_seconds);
        vfs_printf(s, " | %4d | ", best);
        put_time(s, std::lround(double(best_seconds) / tic_length));
        vfs_printf(s, "\r\n");
    }
    for (int32_t e = 0; e < race_results_count; e++) {
        rider* r = rider_table[race_results[e].slot];
        if (!r || !rider_has_finished(r)) continue;
        int32_t gates = rider_gate_count(r);
        vfs_printf(s, "\r\n%d\r\n", gates);
        // Gates stand a lap to a line: the first lap's, then the later laps'.
        int32_t in_line = 0, line_length = normal > 0 ? first : gates;
        for (int32_t i = 0; i < gates; i++) {
            if (in_line > 0) vfs_printf(s, " ");
            int32_t t = gate_tic_at(r, i);
            if (t == -1)
                vfs_printf(s, "%8d", -1);
            else
                vfs_printf(s, "%8.3f", (int64_t(t) - gate_drop_tic) * tic_length);
            if (++in_line >= line_length) {
                vfs_printf(s, "\r\n");
                in_line = 0;
                line_length = normal > 0 ? normal : gates;
            }
        }
        if (in_line > 0) vfs_printf(s, "\r\n");
    }
    vfs_close(s);
    return 1;
}

void results_finish()
{
    race_order_build();
    if (race_order_count > 0) {
        int64_t drop = gate_drop_tic;
        if (halfway_lap == timed_lap_unset && tic_counter >= drop + race_time_tics / 2) {
            int64_t past = laps_past_first(race_order[0].gates_passed);
            halfway_lap = past < 0 ? 1 : int32_t(std::min<int64_t>(past + 2, timed_lap_unset));
        }
        if (race_time_tics > 0 && tic_counter >= drop + race_time_tics) settle_timed_laps();
    }
    for (int32_t e = 0; e < race_order_count; e++)
        if (!rider_done(race_order[e].slot)) return;

    int32_t first = timing_gates.first_lap_entries, normal = timing_gates.normal_lap_entries;
    race_results_count = 0;
    for (int slot = 0; slot < rider_slot_count; slot++) {
        const rider* r = rider_table[slot];
        if (!r) continue;
        race_order_entry x = entry_of(slot);
        int64_t penalty = rider_penalty(r);
        if (rider_laps_done(r) > 1) {
            float best_seconds;
            rider_best_lap(r, &best_seconds);
            int64_t lap = std::lround(double(best_seconds) / tic_length);
            // A penalty longer than a lap costs the lap; without a timed lap
            // there is nothing to take a lap's worth by.
            if (lap > 0 && normal > 0)
                while (penalty > lap && x.gates_passed > first) {
                    x.gates_passed -= normal;
                    penalty -= lap;
                }
        }
        x.last_gate_tic = int32_t(std::min<int64_t>(INT32_MAX, x.last_gate_tic + penalty));
        race_results[race_results_count++] = x;
    }
    race_order_sort(race_results, race_results_count);
    if (race_order_count > 0 && rider_has_finished(rider_table[race_results[0].slot])) results_write();
    results_final = 1;
    series_update();
}

void lineup_rotate(int32_t n)
{
    // C's % keeps the sign of n: fold it into 0..159 first.
    int32_t shift = ((n % rider_slot_count) + rider_slot_count) % rider_slot_count;
    int32_t before[rider_slot_count];
    std::copy(gate_lineup, gate_lineup + rider_slot_count, before);
    for (int32_t i = 0; i < rider_slot_count; i++) gate_lineup[(i + shift) % rider_slot_count] = before[i];
}
