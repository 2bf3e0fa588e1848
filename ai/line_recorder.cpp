#include "ai/line_recorder.h"

#include <cmath>
#include <algorithm>
#include <cstring>

#include "ai/autopilot.h"
#include "ai/racing_lines.h"
#include "core/alloc.h"
#include "core/game_state.h"
#include "game/sim_tic.h"
#include "game/startup.h"
#include "physics/body_helpers.h"
#include "physics/lap_timing.h"
#include "platform/vesk_log.h"

namespace {

// One second of tics: a fall this soon after a gate spoils the section before
// it too.
constexpr int32_t recent_gate_tics = 128;

int32_t sequence_index(int32_t q)
{
    int32_t f = timing_gates.first_lap_entries, n = timing_gates.normal_lap_entries;
    if (q < f) return q;
    return f + (q - f) % n;
}

int32_t tic_at(const rider* r, int32_t p) { return p < 0 ? -1 : rider_gate_tic(r, p); }

// The last three real gates (numbers below 100000) at or before q, oldest
// first; -1 where the walk passes position 0.
void last_three_gates(int32_t q, int32_t p[3])
{
    p[0] = p[1] = p[2] = -1;
    int found = 0;
    for (int32_t k = q; k >= 0 && found < 3; k--)
        if (gate_number_at(k) < gate_no_section) p[2 - found++] = k;
}

// The tics at p0..p2 when every position from p0 (or 0) to p2 has one.
bool stretch_tics(const rider* r, const int32_t p[3], int32_t t[3])
{
    for (int32_t k = p[0] > 0 ? p[0] : 0; k <= p[2]; k++)
        if (tic_at(r, k) < 0) return false;
    for (int i = 0; i < 3; i++) t[i] = p[i] < 0 ? 0 : tic_at(r, p[i]);
    return true;
}

int32_t set_index(const line_set* set) { return int32_t(set - racing_line_sets.sets); }

line_point* run_points(rider* r, int parity) { return static_cast<line_point*>(r->line_runs[parity].items); }

void empty_run(rider* r, int parity)
{
    r->line_runs[parity].count = 0;
    r->line_run_canceled[parity] = 0;
}

double body_speed(dBodyID body)
{
    const dReal* v = dBodyGetLinearVel(body);
    return std::sqrt(double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2]);
}

void sample_point(rider* r, int32_t position)
{
    if (!r->frame_body) return;
    const dReal* p = dBodyGetPosition(r->frame_body);
    double speed = body_speed(r->frame_body);
    // Neither wheel on the ground: an airborne point.
    if (r->front_contact.depth <= 0.0f && r->rear_contact.depth <= 0.0f) speed = -speed;
    line_point point = {float(p[0]), float(p[1]), float(p[2]), float(speed), float(body_lean_angle(r->frame_body))};
    // A point that could not be written back must never be recorded.
    if (!std::isfinite(point.x) || !std::isfinite(point.y) || !std::isfinite(point.z) ||
        !std::isfinite(point.speed) || !std::isfinite(point.lean))
        return;
    array_push(&r->line_runs[gate_section_index(position) & 1], &point);
}

bool gate_passed(const rider* r, int32_t q)
{
    int32_t gate = gate_number_at(q);
    if (gate < 0) return false;
    if (gate >= gate_no_section) gate -= gate_no_section;
    if (gate >= timing_gates.checkpoint_count || !r->front_wheel_body) return false;
    const checkpoint& c = timing_gates.checkpoints[gate];
    const dReal* w = dBodyGetPosition(r->front_wheel_body);
    double d = double(w[0]) - c.x, e = double(w[2]) - c.z;
    // Within its reach of the gate's point, on the side its direction faces.
    return d * d + e * e <= double(c.width) * c.width && d * c.dx + e * c.dz >= 0.0;
}

bool is_last_of_lap(int32_t q)
{
    int32_t k = q - timing_gates.first_lap_entries + 1;
    return k >= 0 && k % timing_gates.normal_lap_entries == 0;
}

// Points match when within 1/16 ft/s in speed and 1/16 ft in position.
bool same_run(const racing_line& l, const line_point* run, int32_t count)
{
    if (l.point_count != count || !l.points) return false;
    for (int32_t i = 0; i < count; i++) {
        const line_point& a = l.points[i];
        const line_point& b = run[i];
        double dx = double(a.x) - b.x, dy = double(a.y) - b.y, dz = double(a.z) - b.z;
        if (std::fabs(double(a.speed) - b.speed) > 0.0625 || dx * dx + dy * dy + dz * dz > 0.00390625) return false;
    }
    return true;
}

int32_t saturating_add(int32_t a, int64_t b)
{
    int64_t s = int64_t(a) + b;
    return s > INT32_MAX ? INT32_MAX : s < INT32_MIN ? INT32_MIN : int32_t(s);
}

// Distance from the main body to the line through path points l and l + 1.
double distance_to_segment_line(const rider* r, const line_point& a, const line_point& b)
{
    const dReal* p = dBodyGetPosition(r->frame_body);
    double u[3] = {double(b.x) - a.x, double(b.y) - a.y, double(b.z) - a.z};
    double w[3] = {p[0] - a.x, p[1] - a.y, p[2] - a.z};
    double uu = u[0] * u[0] + u[1] * u[1] + u[2] * u[2];
    double ww = w[0] * w[0] + w[1] * w[1] + w[2] * w[2];
    if (uu <= 0.0) return std::sqrt(ww);
    double along = (w[0] * u[0] + w[1] * u[1] + w[2] * u[2]);
    double d2 = ww - along * along / uu;
    return std::sqrt(d2 > 0.0 ? d2 : 0.0);
}

void autopilot_statistics(rider* r, int32_t q)
{
    int32_t g = gate_section_index(q);
    if (g <= 0 || !racing_line_sets.sets || !r->frame_body) return;
    const line_point* path = static_cast<const line_point*>(r->line_path.items);
    int32_t count = r->line_path.count;
    int32_t l = int32_t(std::floor(path_progress(r)));
    bool on_path = path && l >= 0 && l + 1 < count;
    if (on_path) {
        double speed = body_speed(r->frame_body) * 0.9375;
        on_path = distance_to_segment_line(r, path[l], path[l + 1]) <= 4.0 &&
                  !(speed > std::fabs(path[l].speed) && speed > std::fabs(path[l + 1].speed));
    }
    if (!on_path) {
        line_count_failure(r->picked_lines, q);
        memset(r->picked_lines, 0, sizeof r->picked_lines);
        return;
    }
    int32_t p[3], t[3];
    last_three_gates(q, p);
    if (!stretch_tics(r, p, t)) return;
    line_set* set = line_set_of_section(g - 1);
    int32_t id = r->picked_lines[(g - 1) & 3];
    for (int j = 0; set && id != 0 && j < line_set_size; j++) {
        racing_line& line = set->lines[j];
        if (line.id != id || line.point_count <= 0) continue;
        line.tested = saturating_add(line.tested, 1);
        line.best_time_mid = std::min(line.best_time_mid, t[1] - t[0]);
        line.best_time = std::min(line.best_time, t[2] - t[0]);
        line.sum_time_mid = saturating_add(line.sum_time_mid, int64_t(t[1]) - t[0]);
        line.sum_time = saturating_add(line.sum_time, int64_t(t[2]) - t[0]);
        break;
    }
    empty_run(r, 0);
    empty_run(r, 1);
}

// Points a finished computer rider rolls on past the line: 3 s at the
// path's quarter-second spacing. The rest of its path is cut, so it comes
// to rest just past the finish rather than riding the way back to the
// first gate at a crawl among the riders still racing there.
constexpr int32_t finish_roll_points = 12;

// Slows a finished computer rider down along the rest of its path.
void slow_down_after_finish(rider* r)
{
    line_point* path = static_cast<line_point*>(r->line_path.items);
    int32_t k0 = int32_t(std::floor(path_progress(r)));
    if (path && k0 >= 0 && r->line_path.count > k0 + 1 + finish_roll_points)
        r->line_path.count = k0 + 1 + finish_roll_points;
    int32_t e = r->line_path.count - 1;
    if (!path || e <= k0 || k0 < 0) return;
    for (int32_t k = k0; k <= e; k++) path[k].speed *= float(0.25 + 0.75 * double(e - k) / double(e - k0));
}

void finish_check(rider* r, int32_t q)
{
    int32_t f = timing_gates.first_lap_entries, n = timing_gates.normal_lap_entries;
    int32_t into = q + 1 - f;
    if (into < 0 || into % n != 0 || r->finished) return;
    int64_t laps = lap_limit;
    int64_t finish_position = int64_t(f) + int64_t(n) * (laps - 1) - 1;
    int64_t leader_position = race_order_count > 0 ? race_order[0].gates_passed : 0;
    int64_t laps_done = into / n + 1;
    if (laps > 0 && finish_position >= leader_position && laps_done < laps) return;
    r->finished = 1;
    if (r->autopilot_personality) slow_down_after_finish(r);
}

}  // namespace

int32_t gate_number_at(int32_t q)
{
    const timing_gates_record& g = timing_gates;
    if (q < 0 || g.checkpoint_count == 0 || g.normal_lap_entries <= 0) return -1;
    int32_t i = sequence_index(q);
    // The normal lap's entries follow the first lap's.
    return g.lap_entries[i];
}

int line_offer_run(rider* r, int32_t q)
{
    int32_t o = gate_section_index(q);
    line_set* set = line_set_of_section(o - 1);
    if (o <= 0 || !set) return 0;
    int32_t p[3], t[3];
    last_three_gates(q, p);
    if (!stretch_tics(r, p, t)) return 0;
    int parity = (o - 1) & 1;
    const line_point* run = run_points(r, parity);
    int32_t count = r->line_runs[parity].count;
    if (count == 0 || r->line_run_canceled[parity]) {
        if (options.verbose) vesk_log("auto pilot: %d canceled\n", int(set_index(set)));
        return 0;
    }
    for (const racing_line& l : set->lines)
        if (same_run(l, run, count)) {
            if (options.verbose) vesk_log("auto pilot: %d rejected (duplicate)\n", int(set_index(set)));
            return 0;
        }
    int slot = -1;
    for (int j = 0; j < line_set_size && slot < 0; j++)
        if (set->lines[j].point_count == 0) slot = j;
    if (slot < 0) slot = line_eviction_victim(set);
    if (slot < 0) return 0;
    racing_line& line = set->lines[slot];
    int64_t time = int64_t(t[2]) - t[0];
    // Any run fills an empty slot.
    if (line.point_count > 0 && line_time_estimate(&line) < time * 5 / 4) {
        if (options.verbose) vesk_log("auto pilot: %d rejected (too slow)\n", int(set_index(set)));
        return 0;
    }
    if (options.verbose) {
        double s = tic_length;
        vesk_log("auto pilot: evicting %d (times: %.2f %.2f tested (%d %d): %.2f %.2f repl: %f %f)\n",
                 int(set_index(set)), line.recorded_time_mid * s, line.recorded_time * s, int(line.tested),
                 int(line.failures), line.tested ? double(line.sum_time_mid) / line.tested * s : 0.0,
                 line.tested ? double(line.sum_time) / line.tested * s : 0.0, (t[1] - t[0]) * s, time * s);
    }
    racing_line_empty(&line);
    line.points = static_cast<line_point*>(xmalloc(sizeof(line_point) * size_t(count)));
    memcpy(line.points, run, sizeof(line_point) * size_t(count));
    line.point_count = count;
    line.recorded_time_mid = t[1] - t[0];
    line.recorded_time = int32_t(time);
    line.id = ++line_id_counter;
    return 1;
}

void line_recorder_tic(rider* r)
{
    const timing_gates_record& g = timing_gates;
    // A track without a normal lap has no lap boundary to test: no passage.
    if (!r || r->finished || g.checkpoint_count == 0 || g.normal_lap_entries <= 0) return;
    int32_t position = r->gate_count;
    if (tic_counter % 32 == 0 && r->autopilot_personality == 0) sample_point(r, position);
    if (r->is_down == 1) {
        r->is_down = 2;
        if (r->autopilot_personality) {
            line_count_failure(r->picked_lines, position);
            int32_t previous = tic_at(r, position - 1);
            if (previous >= 0 && tic_counter - previous < recent_gate_tics)
                line_count_failure(r->picked_lines, position - 1);
            memset(r->picked_lines, 0, sizeof r->picked_lines);
        }
    }
    static const int32_t offsets[5] = {-3, -2, 0, 1, 2};
    int32_t q = -1, taken_offset = 0;
    bool unrecorded_before = false;
    for (int32_t j : offsets) {
        int32_t c = position + j;
        // Nothing lies before the first gate.
        if (c < 0) continue;
        bool unrecorded = tic_at(r, c) < 0;
        if (gate_passed(r, c)) {
            if (j >= 0 || unrecorded || unrecorded_before) {
                q = c;
                taken_offset = j;
                break;
            }
        } else if (is_last_of_lap(c) && unrecorded) {
            return;
        }
        unrecorded_before = unrecorded_before || unrecorded;
    }
    if (q < 0) return;
    if (r->is_down) r->line_run_canceled[gate_section_index(position) & 1] = 1;
    r->gate_count = q;
    rider_record_gate(r, q, tic_counter);
    if (gate_number_at(q) < gate_no_section) {
        if (r->autopilot_personality)
            autopilot_statistics(r, q);
        else if (taken_offset == 0)
            line_offer_run(r, q);
        empty_run(r, gate_section_index(q + 1) & 1);
    } else {
        empty_run(r, 0);
        empty_run(r, 1);
    }
    r->gate_count = q + 1;
    finish_check(r, q);
    ensure_results_written();
    r->is_down = 0;
}
