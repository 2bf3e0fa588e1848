#include "ai/line_planner.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/alloc.h"
#include "core/game_state.h"
#include "game/startup.h"
#include "platform/vesk_log.h"

namespace {
constexpr int N = line_set_size;

// The whole-lap plan tables of modes 0..2, one entry per section.
int32_t* plan_tables[3];
int32_t plan_table_sections;

const racing_line* slot_line(const line_set* set, int i) { return set ? &set->lines[i] : nullptr; }

double xz_distance(const double c[2], const line_point& p) { return std::hypot(p.x - c[0], p.z - c[1]); }
}  // namespace

void circle_through_points(const line_point& a, const line_point& b, const line_point& c, double centre[2])
{
    double m1x = (a.x + b.x) * 0.5, m1z = (a.z + b.z) * 0.5;
    double m2x = (b.x + c.x) * 0.5, m2z = (b.z + c.z) * 0.5;
    double n1x = -(b.z - a.z), n1z = b.x - a.x;
    double n2x = -(c.z - b.z), n2z = c.x - b.x;
    // Where the two perpendicular bisectors meet; parallel ones (a
    // straight) meet far away.
    double det = -n1x * n2z + n2x * n1z;
    double t = 1000000.0;
    if (std::fabs(det) > 1e-6) t = (-(m2x - m1x) * n2z + n2x * (m2z - m1z)) / det;
    centre[0] = m1x + t * n1x;
    centre[1] = m1z + t * n1z;
}

int64_t line_cost(const racing_line* line, int32_t mode)
{
    int64_t a = line->tested > 0 ? line->tested : 0, c = line->failures > 0 ? line->failures : 0;
    if (mode >= 3) {
        if (a + c > 5 && 4 * a < c) return 100000;
        int64_t v = a + 4 * c;
        if (v == 0) return 0;
        int bits = 0;
        while (v) bits++, v >>= 1;
        return 1000 * bits + 4000;
    }
    if (mode <= 1 ? a < 5 : a <= 0) return 1000000;
    double weight = mode == 0 ? 1.0 : mode == 1 ? 1.1428572 : 4.0;
    double r = double(c) * weight / double(a + c);
    r = r < 0.0 ? 0.0 : r > 1.0 ? 1.0 : r;
    double sum = line->sum_time_mid > 0 ? line->sum_time_mid : 0;
    return int64_t(r * float(5.0 / tic_length) + sum / double(a));
}

int line_reaches(const racing_line* j, const racing_line* k)
{
    if (!j || !k || !j->points || !k->points || j->point_count < 3 || k->point_count <= 1) return 0;
    const line_point* p = j->points + j->point_count - 3;
    double centre[2];
    circle_through_points(p[0], p[1], p[2], centre);
    double radius = xz_distance(centre, p[2]);
    if (std::fabs(p[2].speed) > std::fabs(k->points[0].speed) + 15.0) return 0;
    double dx = k->points[0].x - centre[0], dz = k->points[0].z - centre[1];
    double d2 = dx * dx + dz * dz;
    double lo = radius - 2.5 > 0.0 ? radius - 2.5 : 0.0, hi = radius + 2.5;
    if (d2 < lo * lo || d2 > hi * hi) return 0;
    return std::fabs(xz_distance(centre, k->points[1]) - std::sqrt(d2)) <= 2.0;
}

// The reachability of one step, section s to s + 1.
static void step_reach(uint8_t reach[N][N], int32_t s)
{
    const line_set* from = line_set_of_section(s);
    const line_set* to = line_set_of_section(s + 1);
    for (int j = 0; j < N; j++)
        for (int k = 0; k < N; k++) reach[j][k] = line_reaches(slot_line(from, j), slot_line(to, k)) ? 255 : 0;
}

void line_dp(uint8_t* back, int64_t cost[45][45], int32_t first, int32_t count, int32_t mode)
{
    uint8_t reach[N][N];
    int64_t own[N];
    const line_set* set = line_set_of_section(first);
    step_reach(reach, first);
    for (int j = 0; j < N; j++) {
        int64_t c = set && set->lines[j].point_count > 0 ? line_cost(&set->lines[j], mode) : plan_unreachable;
        for (int k = 0; k < N; k++) cost[j][k] = reach[j][k] ? c : plan_unreachable;
    }
    int64_t next[N][N];
    for (int32_t t = 1; t < count; t++) {
        int32_t s = first + t;
        set = line_set_of_section(s);
        step_reach(reach, s);
        for (int k = 0; k < N; k++)
            own[k] = set && set->lines[k].point_count > 0 ? line_cost(&set->lines[k], mode) : plan_unreachable;
        uint8_t* bp = back + size_t(t - 1) * N * N;
        for (int st = 0; st < N; st++)
            for (int k2 = 0; k2 < N; k2++) {
                int64_t best = plan_unreachable;
                int choice = N;
                for (int k = 0; k < N; k++) {
                    if (!reach[k][k2] || cost[st][k] >= plan_unreachable) continue;
                    int64_t c = own[k] + cost[st][k];
                    if (c < best) best = c, choice = k;
                }
                next[st][k2] = best;
                bp[st * N + k2] = uint8_t(choice);
            }
        memcpy(cost, next, sizeof next);
    }
}

static int32_t plan_id(const racing_line& l) { return l.tested >= 5 ? l.id : 0; }

void line_trace(int32_t* table, const uint8_t* back, int32_t first, int32_t count, int32_t start, int32_t arrival)
{
    for (int32_t t = 0; t < count; t++) table[first + t] = 0;
    int32_t cur = arrival;
    for (int32_t t = count - 1; t >= 1; t--) {
        int32_t k = back[size_t(t - 1) * N * N + size_t(start) * N + size_t(cur)];
        if (k >= N) return;  // no predecessor: the earlier sections stay unsettled (0)
        const line_set* set = line_set_of_section(first + t);
        table[first + t] = set ? plan_id(set->lines[k]) : 0;
        cur = k;
    }
    const line_set* set = line_set_of_section(first);
    table[first] = set ? plan_id(set->lines[start]) : 0;
}

lap_estimate ai_estimate_laps(int32_t* table, int32_t mode)
{
    lap_estimate out{plan_unreachable, plan_unreachable};
    int32_t s1 = racing_line_sets.first_lap_sections, s2 = racing_line_sets.normal_lap_sections;
    if (!racing_line_sets.sets || s1 + s2 <= 0 || s2 <= 0) return out;
    int32_t widest = s1 > s2 ? s1 : s2;
    uint8_t* back = static_cast<uint8_t*>(xmalloc(size_t(widest) * N * N));
    static int64_t cost[N][N];
    // The normal lap closes on itself: the cheapest diagonal entry.
    line_dp(back, cost, s1, s2, mode);
    int d = 0;
    for (int i = 1; i < N; i++)
        if (cost[i][i] < cost[d][d]) d = i;
    out.normal_lap = cost[d][d];
    line_trace(table, back, s1, s2, d, d);
    if (s1 > 0) {
        // The first lap runs into the normal lap's chosen start line.
        line_dp(back, cost, 0, s1, mode);
        int h = 0;
        for (int i = 1; i < N; i++)
            if (cost[i][d] < cost[h][d]) h = i;
        out.first_lap = cost[h][d];
        line_trace(table, back, 0, s1, h, d);
    }
    free(back);
    if (options.verbose) {
        vesk_log("First lap: %f\n", double(out.first_lap) * tic_length);
        vesk_log("Normal lap: %f\n", double(out.normal_lap) * tic_length);
    }
    return out;
}

void plan_ahead(int32_t set_index, float scores[45], int32_t mode)
{
    uint8_t back[(plan_ahead_sections - 1) * N * N];
    int64_t cost[N][N];
    line_dp(back, cost, set_index, plan_ahead_sections, mode);
    int64_t best[N], e = plan_unreachable;
    for (int i = 0; i < N; i++) {
        best[i] = plan_unreachable;
        for (int k = 0; k < N; k++)
            if (cost[i][k] < best[i]) best[i] = cost[i][k];
        if (best[i] < e) e = best[i];
    }
    // In floating point: an integer ratio would score every line but the
    // best 0.
    for (int i = 0; i < N; i++) scores[i] = best[i] > 0 ? float(double(e) / double(best[i])) : 1.0f;
}

int32_t line_plan_entry(int32_t set_index, int32_t mode)
{
    if (mode < 0 || mode > 2 || !plan_tables[mode] || set_index < 0 || set_index >= plan_table_sections) return 0;
    return plan_tables[mode][set_index];
}

void line_sets_plan()
{
    int32_t sections = racing_line_sets.first_lap_sections + racing_line_sets.normal_lap_sections;
    for (int32_t*& t : plan_tables) {
        free(t);
        t = nullptr;
    }
    plan_table_sections = 0;
    if (!racing_line_sets.sets || sections <= 0) return;
    for (int m = 0; m < 3; m++) {
        plan_tables[m] = static_cast<int32_t*>(xmalloc(sizeof(int32_t) * size_t(sections)));
        memset(plan_tables[m], 0, sizeof(int32_t) * size_t(sections));
    }
    plan_table_sections = sections;
    for (int m = 0; m < 3; m++) ai_estimate_laps(plan_tables[m], m);
}
