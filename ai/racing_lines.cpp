#include "ai/racing_lines.h"

#include <algorithm>

#include "ai/line_planner.h"
#include "core/alloc.h"
#include "core/game_state.h"

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

// ---- Lines and their statistics ---------------------------------------------

int32_t line_id_counter;

void racing_line_empty(racing_line* line)
{
    alloc_check_free(line->points);
    int32_t last_picked = line->last_picked;
    *line = {};
    line->recorded_time_mid = line->recorded_time = line_empty_time;
    line->best_time_mid = line->best_time = line_empty_time;
    line->last_picked = last_picked;
}

int64_t line_time_estimate(const racing_line* line)
{
    // Five seconds of tics: what a failure costs on average.
    const int64_t k = int64_t(5.0 / tic_length);
    int64_t tested = line->tested, failures = line->failures;
    if (tested > 0) return k * failures / (tested + failures) + int64_t(line->sum_time) / tested;
    return int64_t(line->recorded_time) * 5 / 4 + (failures > 0 ? k : 0);
}

namespace {

bool is_empty(const racing_line& l) { return l.point_count <= 0 || !l.points; }

// 1 when another line of the set starts within 2 ft of this one's start.
bool shares_its_start(const line_set* set, int j)
{
    const line_point& a = set->lines[j].points[0];
    for (int l = 0; l < line_set_size; l++) {
        if (l == j || is_empty(set->lines[l])) continue;
        const line_point& b = set->lines[l].points[0];
        double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
        if (dx * dx + dy * dy + dz * dz < 4.0) return true;
    }
    return false;
}

}  // namespace

int line_eviction_victim(const line_set* set)
{
    int64_t score[line_set_size];
    int well_tested = 0;
    for (int j = 0; j < line_set_size; j++) {
        const racing_line& l = set->lines[j];
        score[j] = line_time_estimate(&l);
        // A line alone where it starts is worth keeping: it scores lower.
        if (is_empty(l) || !shares_its_start(set, j)) score[j] = score[j] * 3 / 4;
        well_tested += l.failures < l.tested;
    }
    int victim = -1;
    for (int j = 0; j < line_set_size; j++) {
        const racing_line& l = set->lines[j];
        if (is_empty(l)) continue;
        if (well_tested <= 22 && l.failures < l.tested) continue;
        if (victim < 0 || score[j] > score[victim]) victim = j;
    }
    return victim;
}

int line_count_failure(int32_t picked_lines[4], int32_t position)
{
    int32_t section = gate_section_index(position);
    int32_t id = picked_lines[section & 3];
    picked_lines[section & 3] = 0;
    line_set* set = line_set_of_section(section);
    if (id == 0 || !set) return line_set_size;
    for (int j = 0; j < line_set_size; j++) {
        racing_line& l = set->lines[j];
        if (l.id != id || is_empty(l)) continue;
        if (l.failures < INT32_MAX) l.failures++;
        return j;
    }
    return line_set_size;
}

// ---- Thinning the first-lap sets -----------------------------------------------

namespace {

// Orientation of c against the line a-b in the ground plane.
double side(const line_point& a, const line_point& b, const line_point& c)
{
    return (double(b.x) - a.x) * (double(c.z) - a.z) - (double(b.z) - a.z) * (double(c.x) - a.x);
}

bool segments_cross(const line_point& a, const line_point& b, const line_point& c, const line_point& d)
{
    return side(a, b, c) * side(a, b, d) < 0.0 && side(c, d, a) * side(c, d, b) < 0.0;
}

bool lines_cross(const racing_line& p, const racing_line& q)
{
    for (int i = 0; i + 1 < p.point_count; i++)
        for (int k = 0; k + 1 < q.point_count; k++)
            if (segments_cross(p.points[i], p.points[i + 1], q.points[k], q.points[k + 1])) return true;
    return false;
}

// Whether challenger c is the better line to drop than the held line h on an
// equal crossing count: faster on average, or faster as recorded, or tested
// where h is not.
bool drop_instead(const racing_line& c, const racing_line& h)
{
    if (c.tested > 0 && h.tested > 0) return int64_t(c.sum_time) / c.tested < int64_t(h.sum_time) / h.tested;
    if (c.tested == 0 && h.tested == 0) return c.recorded_time < h.recorded_time;
    return c.tested > 0 && h.tested == 0;
}

void thin_set(line_set* set)
{
    for (;;) {
        int n = 0;
        for (const racing_line& l : set->lines) n += !is_empty(l);
        if (n <= 43) return;
        int crossings[line_set_size] = {};
        for (int j = 0; j < line_set_size; j++) {
            const racing_line& a = set->lines[j];
            if (is_empty(a) || a.point_count < 2) continue;
            for (int l = 0; l < line_set_size; l++) {
                const racing_line& b = set->lines[l];
                if (l != j && !is_empty(b) && b.point_count >= 2 && lines_cross(a, b)) crossings[j]++;
            }
        }
        int held = -1;
        for (int j = 0; j < line_set_size; j++) {
            if (crossings[j] == 0) continue;
            if (held < 0 || crossings[j] > crossings[held] ||
                (crossings[j] == crossings[held] && drop_instead(set->lines[j], set->lines[held])))
                held = j;
        }
        if (held >= 0) racing_line_empty(&set->lines[held]);
        int victim = line_eviction_victim(set);
        if (victim >= 0) racing_line_empty(&set->lines[victim]);
        // Nothing left to drop: the set stays as it is.
        if (held < 0 && victim < 0) return;
    }
}

}  // namespace

void lines_analyze()
{
    racing_line_store& s = racing_line_sets;
    if (!s.sets) return;
    for (int32_t i = 0; i < s.first_lap_sections; i++) thin_set(&s.sets[i]);
}

void line_sets_empty()
{
    racing_line_store& s = racing_line_sets;
    if (!s.sets) return;
    for (int32_t i = 0; i < s.first_lap_sections + s.normal_lap_sections; i++)
        for (racing_line& l : s.sets[i].lines) racing_line_empty(&l);
}

void line_sets_analyze() { line_sets_plan(); }
