#include "ai/racing_lines.h"

#include <algorithm>

#include <ode/ode.h>

#include "core/game_state.h"
#include "game/sim_tic.h"
#include "physics/lap_timing.h"
#include "physics/rider.h"

racing_line_store racing_line_sets;

namespace {

int32_t sections_before(const int32_t* gates, int64_t count)
{
    int32_t n = 0;
    for (int64_t i = 0; i < count; i++)
        n += gates[i] < gate_no_section;
    return n;
}

}  // namespace

int32_t gate_section_index(int32_t position)
{
    const racing_line_store& s = racing_line_sets;
    if (position <= 0 || !s.first_lap_gates)
        return 0;
    int32_t f = s.first_lap_gate_count;
    if (position <= f)
        return sections_before(s.first_lap_gates, position);
    int32_t n = s.normal_lap_gate_count;
    int32_t first = sections_before(s.first_lap_gates, f);
    if (n <= 0 || !s.normal_lap_gates)
        return first;
    int64_t into = (int64_t)position - f;
    int64_t index = first + (into / n) * (int64_t)sections_before(s.normal_lap_gates, n) +
                    sections_before(s.normal_lap_gates, into % n);
    return (int32_t)std::min<int64_t>(index, INT32_MAX);
}

line_set* line_set_of_section(int32_t section)
{
    const racing_line_store& s = racing_line_sets;
    if (!s.sets || section < 0)
        return nullptr;
    if (section < s.first_lap_sections)
        return &s.sets[section];
    if (s.normal_lap_sections <= 0)
        return nullptr;
    return &s.sets[s.first_lap_sections + (section - s.first_lap_sections) % s.normal_lap_sections];
}

const racing_line* racing_line_find(const line_set* set, int32_t id)
{
    if (!set || id == 0)
        return nullptr;
    for (const racing_line& l : set->lines)
        if (l.id == id && l.points && l.point_count > 0)
            return &l;
    return nullptr;
}

const line_point* racing_line_point_ahead(const racing_line* line, double x, double z, int ahead)
{
    if (!line || !line->points || line->point_count <= 0)
        return nullptr;
    int best = 0;
    double best_d = 0.0;
    for (int i = 0; i < line->point_count; i++) {
        double dx = line->points[i].x - x, dz = line->points[i].z - z;
        double d = dx * dx + dz * dz;
        if (i == 0 || d < best_d) {
            best = i;
            best_d = d;
        }
    }
    return &line->points[std::min(best + std::max(ahead, 0), line->point_count - 1)];
}

// Writing the lines cache belongs to the line learner, not built yet:
// there is nothing to write.
void lines_write(int skill)
{
    (void)skill;
}

namespace {

// The checkpoint that timing position q names: first-lap entries, then the
// normal-lap entries over and over; null without one.
const checkpoint* checkpoint_at_position(int64_t q)
{
    const timing_gates_record& g = timing_gates;
    int64_t f = g.first_lap_entries, n = g.normal_lap_entries;
    if (q < 0) return nullptr;
    int32_t entry;
    if (q < f)
        entry = g.lap_entries[q];
    else if (n > 0)
        entry = g.lap_entries[f + (q - f) % n];
    else
        return nullptr;
    if (entry >= lap_entry_marked) entry -= lap_entry_marked;
    if (entry < 0 || entry >= g.checkpoint_count) return nullptr;
    return &g.checkpoints[entry];
}

// The front wheel within the checkpoint's reach of its point, on the side
// its direction faces.
bool front_wheel_passed(const rider* r, const checkpoint* c)
{
    const dReal* p = dBodyGetPosition(r->front_wheel_body);
    double d = p[0] - c->x, e = p[2] - c->z;
    return d * d + e * e <= double(c->width) * c->width && d * c->dx + e * c->dz >= 0.0;
}

bool has_tic(const rider* r, int64_t q) { return q >= 0 && q <= INT32_MAX && rider_gate_tic(r, int32_t(q)) != -1; }

// The last position of a lap: q - F + 1 >= 0 and a whole number of laps.
bool lap_end(int64_t q)
{
    int64_t f = timing_gates.first_lap_entries, n = timing_gates.normal_lap_entries;
    return q - f + 1 >= 0 && n > 0 && (q - f + 1) % n == 0;
}

// The finish: a rider whose lap ends here is finished unless laps remain and
// the finish line lies at or ahead of the leader.
void finish_test(rider* r, int64_t next)
{
    int64_t f = timing_gates.first_lap_entries, n = timing_gates.normal_lap_entries;
    if (r->finished || n <= 0 || next - f < 0 || (next - f) % n != 0) return;
    int64_t laps = lap_limit;
    int64_t finish_position = f + n * (laps - 1) - 1;
    int64_t leader = race_order_count > 0 ? race_order[0].gates_passed : 0;
    int64_t done = (next - f) / n + 1;
    if (laps > 0 && finish_position >= leader && done < laps) return;
    r->finished = 1;
}

} // namespace

// The gate passage that lap timing rests on. The recording of a person's
// run, its offer to the line sets and the auto pilot's line statistics join
// it with the line learner.
void line_recorder_tic(rider* r)
{
    if (!r || r->finished || timing_gates.checkpoint_count <= 0 || !r->front_wheel_body) return;
    const int offsets[5] = {-3, -2, 0, 1, 2};
    int64_t position = r->gate_count;
    int64_t taken = -1;
    bool recorded_behind = false;
    for (int j : offsets) {
        int64_t q = position + j;
        const checkpoint* c = checkpoint_at_position(q);
        bool passed = c && front_wheel_passed(r, c);
        if (q < 0) continue;
        // A gate behind counts only while it and the candidates before it
        // have no tic yet.
        if (j < 0 && has_tic(r, q)) recorded_behind = true;
        if (passed && (j >= 0 || !recorded_behind)) {
            taken = q;
            break;
        }
        // An unpassed lap end blocks: no lap is counted round it.
        if (!passed && lap_end(q) && !has_tic(r, q)) return;
    }
    if (taken < 0 || taken >= rider_gate_index_limit) return;
    rider_record_gate(r, int32_t(taken), tic_counter);
    r->gate_count = int32_t(taken + 1);
    finish_test(r, taken + 1);
    ensure_results_written();
}
