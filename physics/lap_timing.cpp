#include "physics/lap_timing.h"

#include "core/alloc.h"
#include "core/game_state.h"

namespace {
bool has_gates() { return timing_gates.checkpoint_count > 0; }

// Gate index a lap boundary falls on, kept in 64 bits: lap numbers in a
// timed race run up to a million.
int32_t gate_tic_at(const rider* r, int64_t i)
{
    if (i < 0 || i > rider_gate_index_limit) return -1;
    return rider_gate_tic(r, int32_t(i));
}
} // namespace

void rider_gates_init(rider* r)
{
    array_init(&r->gate_tics, sizeof(int32_t));
    while (r->gate_tics.capacity < rider_gate_room)
        if (!array_push(&r->gate_tics, nullptr)) fatal_out_of_memory();
    r->gate_tics.count = 0;
}

void rider_record_gate(rider* r, int32_t i, int32_t tic)
{
    if (i < 0 || i > rider_gate_index_limit) return;
    growable_array* list = &r->gate_tics;
    if (list->element_size == 0) list->element_size = sizeof(int32_t);  // a record never built
    const int32_t skipped = -1;
    while (list->count <= i)
        if (!array_push(list, &skipped)) return;
    array_items<int32_t>(list)[i] = tic;
}

int32_t rider_gate_tic(const rider* r, int32_t i)
{
    if (i < 0 || i >= r->gate_tics.count) return -1;
    return static_cast<const int32_t*>(r->gate_tics.items)[i];
}

int32_t rider_gate_count(const rider* r) { return r->gate_count; }

void rider_truncate_gates(rider* r, int32_t i)
{
    if (i < 0) i = 0;
    if (i < r->gate_count) r->finished = 0;
    if (r->gate_tics.count > i) r->gate_tics.count = i;
    r->gate_count = i;
    r->is_down = 0;
}

int32_t rider_laps_done(const rider* r)
{
    int32_t f = timing_gates.first_lap_entries, n = timing_gates.normal_lap_entries;
    if (!has_gates() || n <= 0 || r->gate_count < f) return 0;
    return (r->gate_count - f) / n + 1;
}

int32_t rider_lap_gate(const rider* r)
{
    int32_t f = timing_gates.first_lap_entries, n = timing_gates.normal_lap_entries;
    if (n <= 0 || r->gate_count < f) return r->gate_count;
    return (r->gate_count - f) % n + 1;
}

float rider_lap_time(const rider* r, int32_t lap)
{
    if (!has_gates()) return 0;
    int32_t done = rider_laps_done(r);
    if (lap < 0) lap = done;
    if (lap < 1 || lap > done) return 0;
    int64_t f = timing_gates.first_lap_entries, n = timing_gates.normal_lap_entries;
    int32_t end = gate_tic_at(r, f + n * (lap - 1) - 1);
    int32_t start = lap == 1 ? gate_drop_tic : gate_tic_at(r, f + n * (lap - 2) - 1);
    if (end == -1 || start == -1) return 0;
    return float(double(end - start) * tic_length);
}

int rider_has_finished(rider* r)
{
    if (!has_gates()) return 0;
    if (r->finished) return 1;
    int64_t f = timing_gates.first_lap_entries, n = timing_gates.normal_lap_entries;
    if (n <= 0) return 0;  // a first lap only: the race decides the finish
    if (leader_slot < 0 || leader_slot >= rider_slot_count || !rider_table[leader_slot]) return 0;
    int32_t leader_tic = gate_tic_at(rider_table[leader_slot], f + n * (int64_t(lap_limit) - 1) - 1);
    if (leader_tic == -1) return 0;
    int32_t own_tic = gate_tic_at(r, f + n * ((r->gate_count - f) / n) - 1);
    if (own_tic == -1 || own_tic < leader_tic) return 0;
    r->finished = 1;
    return 1;
}
