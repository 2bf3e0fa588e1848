#include "ai/autopilot.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ai/line_planner.h"
#include "ai/racing_lines.h"
#include "core/game_state.h"
#include "core/rng.h"
#include "game/startup.h"
#include "physics/bike_info.h"
#include "physics/body_helpers.h"
#include "physics/physics_tic.h"
#include "physics/rider_access.h"
#include "physics/physics_constants.h"
#include "physics/tyre.h"
#include "platform/vesk_log.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"

namespace {
constexpr double pi = 3.14159265358979323846;
double clampd(double v, double lo, double hi) { return v < lo ? lo : v > hi ? hi : v; }
// Path indexes are kept inside the path: a short path (a finished rider, a
// failed pick) must never be read past its end.
int32_t clamp_index(int32_t i, int32_t count) { return i < 0 ? 0 : i >= count ? (count > 0 ? count - 1 : 0) : i; }
double dot3(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double dot3f(const float a[3], const float b[3]) { return double(a[0]) * b[0] + double(a[1]) * b[1] + double(a[2]) * b[2]; }
}  // namespace

const autopilot_personality_row autopilot_personalities[autopilot_personality_count] = {
    {"empty", 0, 0, 0.0f, 0.0f, 0.0f},    {"pell", 0, 0, 1.0f, 0.2f, 0.4f},
    {"corwen", 2, 1, 10.0f, 0.2f, 0.4f},  {"dorn", 1, 0, 10.0f, 0.0f, 0.1f},
    {"tester", 3, 3, 1.0f, 0.2f, 0.4f},
};

int32_t rider_set_autopilot_personality(rider* r, const char* name)
{
    int32_t row = 0;
    for (int32_t i = 1; i < autopilot_personality_count && !row; i++)
        if (name && !strcmp(name, autopilot_personalities[i].name)) row = i;
    if (!row) {
        vesk_log("auto pilot personality '%s' not found\n", name ? name : "");
        row = 1;
    }
    r->autopilot_personality = row;
    // The path gets its working room now, not in the tic.
    growable_array* path = &r->line_path;
    if (path->element_size != int32_t(sizeof(line_point))) array_init(path, sizeof(line_point));
    array_reserve(path, autopilot_path_capacity());
    return row;
}

int32_t autopilot_path_capacity()
{
    int32_t longest = 256;  // a section of a minute and more, for runs accepted during the race
    const racing_line_store& s = racing_line_sets;
    for (int32_t i = 0; s.sets && i < s.first_lap_sections + s.normal_lap_sections; i++)
        for (const racing_line& l : s.sets[i].lines) longest = std::max(longest, l.point_count);
    // Up to 30 points behind the target and 10 before it when a line is
    // picked, 5 seed copies, then the line.
    return 30 + 11 + 5 + longest;
}

double path_progress(const rider* r)
{
    const line_point* path = static_cast<const line_point*>(r->line_path.items);
    int32_t count = r->line_path.count;
    int32_t target = r->path_target < count ? r->path_target : count;
    if (target <= 0 || !path || !r->frame_body) return target > 0 ? target : 0;
    const dReal* p = dBodyGetPosition(r->frame_body);
    const dReal* m = dBodyGetRotation(r->frame_body);
    // The body's z axis points backward: a positive offset is behind.
    double axis[3] = {m[2], m[6], m[10]};
    auto behind = [&](int32_t k) {
        return (path[k].x - p[0]) * axis[0] + (path[k].y - p[1]) * axis[1] + (path[k].z - p[2]) * axis[2];
    };
    for (int32_t k = target - 1; k >= 0; k--) {
        double b = behind(k);
        if (b <= 0.0) continue;
        int32_t i = k + 1;
        if (i >= count) return count - 1;
        double a = -behind(i);
        double f = b + a > 0.0 ? b / (b + a) : 0.0;
        return i + (f < 0.0 ? 0.0 : f > 1.0 ? 1.0 : f);
    }
    return 0.0;
}

// ---- Pedals -------------------------------------------------------------------

pedal_inputs autopilot_pedal_rule(const pedal_state& s, double speed, double target)
{
    pedal_inputs o{};
    if (s.airborne) {
        // In the air the throttle and brake only pitch the bike: throttle
        // lifts a dropping front, the rear brake drops a rising one.
        o.clutch = 1.0f;
        if ((s.front_height < s.rear_height && s.pitch_rate < 0.0) || s.pitch_rate < -pi / 4) {
            o.throttle = s.crashed ? 0.0f : 1.0f;
            o.clutch = 0.125f;
        } else {
            o.clutch = 0.125f;
            if (s.front_height > s.rear_height + 1.0 && s.pitch_rate >= -pi / 8) {
                o.clutch = 0.0f;
                o.rear_brake = 1.0f;
                o.rear_brake_set = 1;
            }
        }
        return o;
    }
    if (speed < target - 1.0) {
        o.throttle = 1.0f;
    } else if (speed < target) {
        o.throttle = float(target - speed);
    } else {
        float b = float(clampd(speed - target, 0.0, 1.0));
        o.front_brake = o.rear_brake = b;
    }
    if (s.crashed) o.throttle = 0.0f;
    o.clutch = s.gear > 0 ? 1.0f : float(clampd((s.engine_rpm - (s.clutch_engage_rpm - 1000.0)) / 1000.0, 0.0, 1.0));
    return o;
}

void autopilot_pedals(rider* r, double speed, double target)
{
    pedal_state s{};
    s.airborne = r->rear_contact.depth <= 0.0f;
    s.crashed = r->crash_tics > 0;
    if (r->frame_body) {
        const dReal* w = dBodyGetAngularVel(r->frame_body);
        dVector3 local;
        dBodyVectorFromWorld(r->frame_body, w[0], w[1], w[2], local);
        s.pitch_rate = local[0];
    }
    if (r->front_wheel_body) s.front_height = dBodyGetPosition(r->front_wheel_body)[1];
    if (r->rear_wheel_body) s.rear_height = dBodyGetPosition(r->rear_wheel_body)[1];
    s.gear = r->gear;
    s.engine_rpm = r->engine_speed * 60.0 / (2.0 * pi);
    const bike_info* info = rider_get_bike_info(r);
    s.clutch_engage_rpm = info ? info->tuning.clutch_engage_rpm : 0.0;
    pedal_inputs o = autopilot_pedal_rule(s, speed, target);
    r->throttle = o.throttle;
    r->clutch = o.clutch;
    r->front_brake = o.front_brake;
    r->rear_brake = o.rear_brake;
}

// ---- The start --------------------------------------------------------------

int autopilot_start_step(float* start_time, double now, double sequence_time, double drop_time,
                         const autopilot_personality_row& p, double (*unit_random)(), start_controls* out)
{
    if (now >= drop_time + 5.0) return 0;
    *out = start_controls{};
    if (*start_time == 0.0f) *start_time = float(2.0 * unit_random());
    if (now < sequence_time) {
        // Engine blips while waiting: a negative start time is the end of
        // the blip running, a positive one the next blip's time.
        if (*start_time < 0.0f) {
            if (now < -*start_time) {
                out->throttle = 1.0f;
            } else {
                *start_time = float(std::min(now + 2.0 + 0.5 * unit_random(), sequence_time));
            }
        } else if (now >= *start_time) {
            *start_time = float(-(now + 0.25 + 0.5 * unit_random()));
            out->throttle = 1.0f;
        }
        return 1;
    }
    if (*start_time <= sequence_time) *start_time = float(sequence_time + 0.125 + 0.375 * unit_random());
    if (drop_time > *start_time) {
        if (now < *start_time) return 1;
        *start_time = float(drop_time + p.start_delay_min + (p.start_delay_max - p.start_delay_min) * unit_random());
    }
    if (now < *start_time) {
        out->throttle = 1.0f;  // revving at the gate
        return 1;
    }
    if (now >= *start_time + 2.0) return 0;
    out->launching = 1;
    out->throttle = 1.0f;
    out->ramp = float(clampd((now - *start_time) * 4.0, 0.0, 1.0));
    return 1;
}

static double unit_random_mt() { return double(mt_next() & 0x7fffffffu) / 2147483648.0; }

static void apply_start(rider* r, const start_controls& c)
{
    int crashed = r->crash_tics > 0;
    if (!c.launching) {
        rider_reset_controls(r);
        r->throttle = crashed ? 0.0f : c.throttle;
        return;
    }
    const bike_info* info = rider_get_bike_info(r);
    r->gear = info && info->main.gear_ratio[1] > 0.0f ? 1 : 0;
    r->launch = c.ramp >= 0.75f;
    r->throttle = crashed ? 0.0f : c.throttle;
    r->dab = crashed ? 0.0f : 1.0f - c.ramp;
    r->clutch = c.ramp;
    r->front_brake = r->rear_brake = 0.0f;
    r->steer = 0.0f;
}

// ---- Turning ----------------------------------------------------------------

double turn_offset(double speed, double lean, double load, int* straight)
{
    double t = std::tan(lean);
    // Upright the turning circle is a straight line: its centre is at
    // infinity, which the radius rule treats as no push.
    *straight = std::fabs(t) < 1e-6 || !(load > 0.0);
    if (*straight) return 0.0;
    return -speed * speed * 0.03125 / (t * load);
}

double turn_radius_rule(double p, double f0, double m, int straight)
{
    if (!(f0 > 0.0)) return p < 0.0 ? -10.0 : 10.0;
    double k = 0.0;
    if (!straight) {
        double rho = std::sqrt((p - m) * (p - m) + f0 * f0);
        k = 2.0 * (1.0 - std::fabs(m) / rho);
    }
    double y = p + k * (p - m);
    double f = f0 * (1.0 + k);
    double y2 = y * y;
    if (std::fabs(y) < 1e-6) {
        y = y < 0.0 ? -1e-6 : 1e-6;
        y2 = 1e-12;
    }
    return (y2 + f * f) / (2.0 * y);
}

static line_point path_point_at(const line_point* path, int32_t count, int32_t index, double fraction)
{
    int32_t a = clamp_index(index, count), b = clamp_index(index + 1, count);
    const line_point &p = path[a], &q = path[b];
    double f = clampd(fraction, 0.0, 1.0);
    return {float(p.x + (q.x - p.x) * f), float(p.y + (q.y - p.y) * f), float(p.z + (q.z - p.z) * f),
            float(std::fabs(p.speed) + (std::fabs(q.speed) - std::fabs(p.speed)) * f), p.lean};
}

static double radius_toward(const double aim[3], const steer_frame& frame)
{
    double p = dot3(aim, frame.side), f0 = dot3(aim, frame.forward);
    return turn_radius_rule(p, f0, frame.turn_offset, frame.straight);
}

double turn_radius_to_point(const rider* r, int32_t path_index, double fraction, const steer_frame& frame)
{
    const line_point* path = static_cast<const line_point*>(r->line_path.items);
    int32_t count = r->line_path.count;
    if (count <= 0 || !path) return 10.0;
    line_point q = path_point_at(path, count, path_index, fraction);
    double aim[3] = {q.x - frame.position[0], q.y - frame.position[1], q.z - frame.position[2]};
    return radius_toward(aim, frame);
}

// ---- Lines and the path -----------------------------------------------------------

double line_match_score(const line_point* path, int32_t count, const double body[3], const racing_line* line)
{
    if (!line || line->point_count < 1 || !line->points) return 0.0;
    const line_point& first = line->points[0];
    if (count < 3 || !path) {
        // Near the start of a path: lines starting close to the rider.
        double dx = first.x - body[0], dy = first.y - body[1], dz = first.z - body[2];
        double c = clampd((100.0 - std::sqrt(dx * dx + dy * dy + dz * dz)) / 96.0, 0.0, 1.0);
        return 10.0 * c * c * c;
    }
    if (line->point_count < 2) return 0.0;
    const line_point &p0 = path[count - 3], &p1 = path[count - 2], &p2 = path[count - 1];
    double centre[2];
    circle_through_points(p0, p1, p2, centre);
    double r = std::hypot(p2.x - centre[0], p2.z - centre[1]);
    auto dist = [&](const line_point& q) { return std::hypot(q.x - centre[0], q.z - centre[1]); };
    double d = dist(first);
    double aa = clampd((3.0 - std::fabs(dist(line->points[1]) - d)) / 2.0, 0.0, 1.0) *
                clampd((5.0 - std::fabs(r - d)) / 3.5, 0.0, 1.0);
    double bb = clampd((15.0 + std::fabs(first.speed) - std::fabs(p2.speed)) / 5.0, 0.0, 1.0);
    return aa * aa * aa * bb;
}

int32_t autopilot_plan_mode(const rider* r)
{
    const autopilot_personality_row& p = autopilot_personalities[clamp_index(r->autopilot_personality, 5)];
    if (race_order_count < 2 || race_order[0].slot != r->slot) return p.mode_normal;
    const rider* second = race_order[1].slot >= 0 && race_order[1].slot < rider_slot_count
                              ? rider_table[race_order[1].slot]
                              : nullptr;
    double lead = 0.0;
    if (second && second->gate_count > 0 && second->gate_count <= r->gate_count) {
        int32_t k = second->gate_count - 1;
        int32_t mine = static_cast<const int32_t*>(r->gate_tics.items)[k];
        int32_t theirs = static_cast<const int32_t*>(second->gate_tics.items)[k];
        if (mine > 0 && theirs > 0 && mine < theirs) lead = theirs - mine;
    }
    return lead * tic_length > p.lead_threshold ? p.mode_when_leading : p.mode_normal;
}

const racing_line* line_pick(rider* r, line_set* set)
{
    if (!set || r->finished) return nullptr;
    int any = 0;
    for (const racing_line& l : set->lines) any |= l.point_count > 0 && l.points;
    if (!any) return nullptr;
    int32_t mode = autopilot_plan_mode(r);
    int32_t set_index = racing_line_sets.sets ? int32_t(set - racing_line_sets.sets) : 0;
    float scores[line_set_size];
    plan_ahead(set_index, scores, mode);
    if (mode >= 0 && mode <= 2) {
        int32_t planned = line_plan_entry(set_index, mode);
        double w = clampd((tic_counter * tic_length - 40.0) * 0.05, 0.0, 1.0);
        for (int i = 0; i < line_set_size; i++)
            if (planned && set->lines[i].id == planned) scores[i] = float(scores[i] + (1.0 - scores[i]) * w);
    }
    if (set_index == 0)
        for (float& s : scores) s = 0.8f + 0.2f * s;
    const line_point* path = static_cast<const line_point*>(r->line_path.items);
    double body[3] = {0, 0, 0};
    if (r->frame_body) {
        const dReal* q = dBodyGetPosition(r->frame_body);
        body[0] = q[0], body[1] = q[1], body[2] = q[2];
    }
    int best = -1, first_filled = -1;
    double best_total = 0.0, best_plan = 0.0, best_match = 0.0;
    for (int i = 0; i < line_set_size; i++) {
        const racing_line& l = set->lines[i];
        if (l.point_count <= 0 || !l.points) continue;
        if (first_filled < 0) first_filled = i;
        double since = (double(tic_counter) - double(l.last_picked)) * tic_length;
        double match = line_match_score(path, r->line_path.count, body, &l);
        double total = clampd(since / 3.0, 0.0, 1.0) * scores[i] + match;
        if (total > best_total) best = i, best_total = total, best_plan = scores[i], best_match = match;
    }
    // Nothing scored: the first line that has points, never an empty slot.
    if (best < 0) best = first_filled;
    racing_line* chosen = &set->lines[best];
    if (options.verbose)
        vesk_log("auto pilot: picking %d score = %f match = %f last_picked = %f\n", best, best_plan, best_match,
                 (double(tic_counter) - double(chosen->last_picked)) * tic_length);
    const line_point& end = chosen->points[chosen->point_count - 1];
    for (racing_line& l : set->lines) {
        if (l.point_count <= 0 || !l.points || &l == chosen) continue;
        const line_point& e = l.points[l.point_count - 1];
        double dx = e.x - end.x, dy = e.y - end.y, dz = e.z - end.z;
        // Lines ending together are the same way through: keep others off them too.
        if (dx * dx + dy * dy + dz * dz <= 9.0) l.last_picked = tic_counter;
    }
    chosen->last_picked = tic_counter;
    return chosen;
}

void path_append_line(growable_array* path, int32_t* target, const racing_line* line, const double body[3],
                      const double forward[3])
{
    if (!line || line->point_count < 1 || !line->points) return;
    line_point* items = static_cast<line_point*>(path->items);
    if (*target > 30 && path->count > 0) {
        int32_t drop = std::min(*target - 30, path->count);
        memmove(items, items + drop, sizeof(line_point) * size_t(path->count - drop));
        path->count -= drop;
        *target -= drop;
    }
    if (path->count == 0)
        for (int k = 0; k < 5; k++) array_push(path, &line->points[0]);
    int32_t old_count = path->count;
    for (int32_t k = 0; k < line->point_count; k++) array_push(path, &line->points[k]);
    items = static_cast<line_point*>(path->items);
    if (line->point_count < 2) return;  // no tangent at the far end
    int32_t i = std::max(old_count - 5, std::max(*target, 0));
    if (i >= old_count) return;
    int32_t span = old_count - i;
    line_point start = items[i];
    const line_point& end = items[old_count];
    const line_point& after = items[old_count + 1];
    if (start.speed < 0.0f || end.speed < 0.0f) return;  // never bend a flight
    double p0[3] = {start.x, start.y, start.z}, m0[3];
    if (i == 0) {
        p0[0] = body[0], p0[1] = body[1], p0[2] = body[2];
        for (int c = 0; c < 3; c++) m0[c] = 7.5 * span * forward[c];
    } else {
        const line_point& before = items[i - 1];
        m0[0] = span * (start.x - before.x), m0[1] = span * (start.y - before.y), m0[2] = span * (start.z - before.z);
    }
    double p1[3] = {end.x, end.y, end.z};
    double m1[3] = {span * (after.x - end.x), span * (after.y - end.y), span * (after.z - end.z)};
    for (int32_t k = 1; k < span; k++) {
        double t = double(k) / span, t2 = t * t, t3 = t2 * t;
        double h00 = 2 * t3 - 3 * t2 + 1, h10 = t3 - 2 * t2 + t, h01 = -2 * t3 + 3 * t2, h11 = t3 - t2;
        line_point& q = items[i + k];
        double c[3];
        for (int a = 0; a < 3; a++) c[a] = h00 * p0[a] + h10 * m0[a] + h01 * p1[a] + h11 * m1[a];
        q.x = float(c[0]), q.y = float(c[1]), q.z = float(c[2]);
        double s = start.speed + (end.speed - start.speed) * t;
        q.speed = float(std::min(s, double(q.speed)));
        q.lean = float(start.lean + (end.lean - start.lean) * t);
    }
}

int path_target_advances(const line_point* path, int32_t count, int32_t target, const double position[3],
                         const double back[3], double reach_sq)
{
    if (!path || target < 0 || target >= count) return 0;
    double dx = path[target].x - position[0], dz = path[target].z - position[2];
    double d2 = dx * dx + dz * dz;
    if (!(d2 < reach_sq)) return 0;
    if (d2 > 16.0 && target > 0) {
        double sx = path[target].x - path[target - 1].x, sz = path[target].z - path[target - 1].z;
        // A segment pointing back at the rider: the point is still to come
        // round a hairpin, not passed.
        if (sx * sx + sz * sz > 1.0 && sx * back[0] + sz * back[2] > 0.0) return 0;
    }
    return 1;
}

int32_t path_next_jump(const rider* r, int32_t from)
{
    const line_point* path = static_cast<const line_point*>(r->line_path.items);
    int32_t count = r->line_path.count;
    if (!path || from < 0) from = 0;
    for (int32_t j = from; j < from + 20 && j + 1 < count; j++)
        if (path[j].speed < 0.0f && path[j + 1].speed < 0.0f) return j;
    return -1;
}

// ---- The tic ----------------------------------------------------------------

static void idle_controls(rider* r)
{
    int crashed = r->crash_tics > 0;
    r->throttle = 0.0f;
    r->clutch = 0.0f;
    r->front_brake = r->rear_brake = 1.0f;
    r->steer = 0.0f;
    r->dab = crashed ? 0.0f : 1.0f;
}

static void body_position(dBodyID b, double out[3])
{
    const dReal* p = dBodyGetPosition(b);
    out[0] = p[0], out[1] = p[1], out[2] = p[2];
}

// The body's axis c (0 x, 1 y, 2 z) in world coordinates.
static void body_axis(dBodyID b, int c, double out[3])
{
    const dReal* m = dBodyGetRotation(b);
    out[0] = m[c], out[1] = m[4 + c], out[2] = m[8 + c];
}

static double body_local_rate(dBodyID b, int c)
{
    const dReal* w = dBodyGetAngularVel(b);
    dVector3 local;
    dBodyVectorFromWorld(b, w[0], w[1], w[2], local);
    return local[c];
}

static double horizontal_speed_of(dBodyID b)
{
    const dReal* v = dBodyGetLinearVel(b);
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// Lean limit of slow riding: 1/6 rad below 10 ft/s, opening to 0.5 at 20.
static double recovery_lean_limit(double speed)
{
    if (speed < 10.0) return 1.0 / 6.0;
    if (speed < 20.0) return 0.5 * (1.0 / 3.0 + (speed - 10.0) * 0.1 * 2.0 / 3.0);
    return 0.5;
}

static void autopilot_recover(rider* r, const line_point* path, int32_t count, double now)
{
    double since = now - r->progress_stamp * tic_length;
    if (since > 40.0) {
        r->progress_stamp = tic_counter;
        r->recovery_counter = 3;
        r->path_target = tic_counter % count;
    }
    int crashed = r->crash_tics > 0;
    const line_point& t = path[clamp_index(r->path_target, count)];
    if (since > 19.0 && !crashed) {
        // Stuck for long: drag the bike toward its target and take half its
        // weight off the ground. Never while the rider is down: the physics
        // ends a crash only once the bike lies still, and a dragged bike
        // never does.
        double w[3];
        body_position(r->front_wheel_body, w);
        double d[3] = {t.x - w[0], t.y - w[1], t.z - w[2]};
        double len = std::sqrt(dot3(d, d));
        float desired[3] = {0, 0, 0};
        if (len > 0.0)
            for (int c = 0; c < 3; c++) desired[c] = float(5.0 * d[c] / len);
        body_pull_toward(r->front_wheel_body, 2000.0, desired);
        dBodyAddForce(r->frame_body, 0.0, 16.0 * r->total_mass, 0.0);
        double fork = dJointGetHingeAngle(r->steering_joint) + dJointGetHingeAngleRate(r->steering_joint);
        r->steer = float(clampd(-fork / 4.0, -1.0, 1.0));
        r->dab = crashed ? 0.0f : 1.0f;
        r->throttle = r->clutch = r->front_brake = r->rear_brake = 0.0f;
        return;
    }
    double speed = horizontal_speed_of(r->frame_body);
    double lean = body_lean_angle(r->frame_body);
    double target_speed = speed < 10.0 && std::fabs(lean) > 1.0 / 6.0 ? 5.0 : 15.0;
    double limit = recovery_lean_limit(speed);
    double pos[3], off[3], local[3];
    body_position(r->frame_body, pos);
    off[0] = t.x - pos[0], off[1] = t.y - pos[1], off[2] = t.z - pos[2];
    dVector3 l;
    dBodyVectorFromWorld(r->frame_body, off[0], off[1], off[2], l);
    local[0] = l[0], local[2] = l[2];
    double want;
    if (std::fabs(local[0]) > -local[2])
        want = local[0] >= 0.0 ? -limit : limit;
    else
        want = clampd(local[0] * 0.5 / local[2], -limit, limit);
    int32_t jump = path_next_jump(r, r->path_target);
    int jump_near = jump >= 0 && jump < r->path_target + 8;
    if (-local[2] < 4.0 * std::fabs(local[0]) || jump_near) r->recovery_counter = 3;
    // Squarely on the way to a jump's face: its take-off speed. A rider that
    // reaches the face at the recovery's walking pace comes down short, in
    // a double's or step-down's gap, and sticks there.
    if (jump_near && target_speed > 5.0 && -local[2] >= 4.0 * std::fabs(local[0]))
        target_speed = std::max(target_speed, double(std::fabs(path[clamp_index(jump - 1, count)].speed)));
    r->dab = speed < 10.0 && !crashed ? 1.0f : 0.0f;
    double roll_rate = body_local_rate(r->frame_body, 2);
    r->steer = float(clampd(2.0 * (roll_rate - clampd(4.0 * (want - lean), -4.0, 4.0)), -1.0, 1.0));
    autopilot_pedals(r, speed, target_speed);
}

void autopilot_tic(rider* r)
{
    if (!r || r->autopilot_personality <= 0 || r->autopilot_personality >= autopilot_personality_count) return;
    r->option_flags |= 0x3E;  // no wheelies, both anti-locks, automatic shifting
    if (!r->frame_body) {
        idle_controls(r);
        return;
    }
    growable_array* pa = &r->line_path;
    if (pa->element_size != int32_t(sizeof(line_point))) array_init(pa, sizeof(line_point));
    double now = tic_counter * tic_length;
    double pos[3], back[3];
    body_position(r->frame_body, pos);
    body_axis(r->frame_body, 2, back);

    // 1. The target moves on once the rider is near it.
    double reach = r->recovery_counter == 3 ? 900.0 : 3600.0;
    if (path_target_advances(static_cast<line_point*>(pa->items), pa->count, r->path_target, pos, back, reach)) {
        r->path_target++;
        r->progress_stamp = tic_counter;
        if (r->recovery_counter > 0) {
            r->recovery_counter--;
            if (r->path_target >= pa->count - 10) {
                // Recovered near the end of the path: start afresh from here.
                pa->count = 0;
                r->path_target = 0;
            }
        }
    }

    // 2. The next line once the target nears the path's end.
    if (r->path_target >= pa->count - 10) {
        line_set* set = line_set_of_section(r->next_section);
        const racing_line* line = set ? line_pick(r, set) : nullptr;
        if (line) {
            int first_pick = pa->count == 0;
            r->picked_lines[r->next_section & 3] = line->id;
            r->next_section++;
            double forward[3] = {-back[0], -back[1], -back[2]};
            path_append_line(pa, &r->path_target, line, pos, forward);
            if (first_pick) {
                const line_point* p = static_cast<line_point*>(pa->items);
                int32_t k = 0;
                auto far = [&](int32_t i) {
                    double dx = p[i].x - p[0].x, dy = p[i].y - p[0].y, dz = p[i].z - p[0].z;
                    return dx * dx + dy * dy + dz * dz > 100.0;
                };
                while (k < pa->count - 1 && !far(k)) k++;
                r->path_target = k;
                // Not stuck before 30 s of race time (the wait behind the
                // gate), nor at once when the first pick comes later.
                r->progress_stamp = std::max(tic_counter, int32_t(30.0 / tic_length));
            }
        }
    }

    // 3. Nothing to ride.
    if (pa->count == 0) {
        idle_controls(r);
        return;
    }
    r->path_target = clamp_index(r->path_target, pa->count);

    // 4. Behind the gate.
    start_controls start;
    const autopilot_personality_row& p = autopilot_personalities[r->autopilot_personality];
    if (autopilot_start_step(&r->start_time, now, start_sequence_tic * tic_length, gate_drop_tic * tic_length, p,
                             unit_random_mt, &start)) {
        apply_start(r, start);
        return;
    }

    // A finished rider at its path's end, or stopped, stands where it is:
    // no recovery drags it back onto the track among those still racing.
    if (r->finished && (r->recovery_counter != 0 || path_progress(r) >= pa->count - 1)) {
        idle_controls(r);
        return;
    }

    // 5. Recovery, 6. riding the path.
    if (r->recovery_counter != 0)
        autopilot_recover(r, static_cast<line_point*>(pa->items), pa->count, now);
    else
        autopilot_steer(r);
}

// ---- Traffic ----------------------------------------------------------------

// A rider's box in x-z: 4 ft wide round its way, from 4 ft behind it to its
// speed + 4 ft ahead. Below 0.5 ft/s the velocity of a standing bike only
// jitters, so its heading (the frame's forward axis) is used instead.
static void traffic_box(const rider* o, double corners[4][2], double fwd[2])
{
    const dReal* p = dBodyGetPosition(o->frame_body);
    const dReal* v = dBodyGetLinearVel(o->frame_body);
    double speed = std::hypot(v[0], v[2]);
    if (speed > 0.5) {
        fwd[0] = v[0] / speed, fwd[1] = v[2] / speed;
    } else {
        const dReal* m = dBodyGetRotation(o->frame_body);
        double hx = -m[2], hz = -m[10], hl = std::hypot(hx, hz);
        fwd[0] = hl > 1e-9 ? hx / hl : 0.0, fwd[1] = hl > 1e-9 ? hz / hl : -1.0;
    }
    double sx = -fwd[1] * 2.0, sz = fwd[0] * 2.0;
    double bx = p[0] - 4.0 * fwd[0], bz = p[2] - 4.0 * fwd[1];
    double ax = p[0] + (speed + 4.0) * fwd[0], az = p[2] + (speed + 4.0) * fwd[1];
    corners[0][0] = bx - sx, corners[0][1] = bz - sz;
    corners[1][0] = ax - sx, corners[1][1] = az - sz;
    corners[2][0] = ax + sx, corners[2][1] = az + sz;
    corners[3][0] = bx + sx, corners[3][1] = bz + sz;
}

static int segments_cross(const double a[2], const double b[2], const double c[2], const double d[2])
{
    auto side = [](const double p[2], const double q[2], const double r[2]) {
        return (q[0] - p[0]) * (r[1] - p[1]) - (q[1] - p[1]) * (r[0] - p[0]);
    };
    double d1 = side(c, d, a), d2 = side(c, d, b), d3 = side(a, b, c), d4 = side(a, b, d);
    return ((d1 > 0) != (d2 > 0)) && ((d3 > 0) != (d4 > 0));
}

// Inside or on the edge of a box whose corners run round it.
static int point_in_box(const double b[4][2], const double p[2])
{
    int pos = 0, neg = 0;
    for (int i = 0; i < 4; i++) {
        const double* c = b[i];
        const double* n = b[(i + 1) & 3];
        double side = (n[0] - c[0]) * (p[1] - c[1]) - (n[1] - c[1]) * (p[0] - c[0]);
        pos |= side > 1e-9, neg |= side < -1e-9;
    }
    return !(pos && neg);
}

// Edges crossing, or one box holding a corner of the other: two riders in
// the same lane have boxes of the same width whose edges only touch.
static int boxes_cross(const double a[4][2], const double b[4][2])
{
    for (int i = 0; i < 4; i++) {
        if (point_in_box(a, b[i]) || point_in_box(b, a[i])) return 1;
        for (int j = 0; j < 4; j++)
            if (segments_cross(a[i], a[(i + 1) & 3], b[j], b[(j + 1) & 3])) return 1;
    }
    return 0;
}

// Slows for the nearest rider ahead whose box crosses this one's; gives
// the new speed limit. Early in the race (and late) the riders keep a
// longer gap.
static double traffic_limit(rider* r, double speed, double d, double now)
{
    double mine[4][2], my_fwd[2];
    traffic_box(r, mine, my_fwd);
    const dReal* p = dBodyGetPosition(r->frame_body);
    const rider* obstacle = nullptr;
    double nearest = 1e30;
    for (int slot = 0; slot < rider_slot_count; slot++) {
        const rider* o = rider_table[slot];
        if (!o || o == r || !o->frame_body) continue;
        double theirs[4][2], their_fwd[2];
        traffic_box(o, theirs, their_fwd);
        const dReal* q = dBodyGetPosition(o->frame_body);
        double ox = q[0] - p[0], oz = q[2] - p[2];
        if (ox * (my_fwd[0] + their_fwd[0]) + oz * (my_fwd[1] + their_fwd[1]) <= 0.0) continue;
        if (!boxes_cross(mine, theirs)) continue;
        double dist = std::hypot(ox, oz);
        if (dist < nearest) nearest = dist, obstacle = o;
    }
    if (!obstacle) return d;
    double t = std::min(now - gate_drop_tic * tic_length, 100.0);
    double rr = clampd((t - 3.0) * 0.5, 0.0, 1.0) * clampd((120.0 - t) * 0.01, 0.0, 1.0);
    double gap = 8.0 * rr + 12.0;
    const dReal* q = dBodyGetPosition(obstacle->frame_body);
    const dReal* v = dBodyGetLinearVel(obstacle->frame_body);
    double ox = q[0] - p[0], oz = q[2] - p[2], len = std::hypot(ox, oz);
    // How fast the obstacle draws away from this rider.
    double g = len > 0.0 ? (v[0] * ox + v[2] * oz) / len : 0.0;
    if (g < 0.0) g = 0.0;
    if (nearest < gap) return std::min(d, g * (1.0 - rr / 4.0));
    if (d > g) {
        double tau = (speed - g) / 5.0;
        double overlap = speed * tau - 2.5 * tau * tau - g * tau - nearest;
        if (overlap > -gap) {
            // Held up by traffic: this run says nothing about the lines.
            for (int32_t& id : r->picked_lines) id = 0;
            d += (g - d) * clampd((gap + overlap) / 3.0, 0.0, 1.0);
        }
    }
    return d;
}

// ---- Riding the path ----------------------------------------------------------

// The ground under (x, z) as the rider sees it: the roll of the terrain's
// normal in the rider's frame (the lean itself on level ground), and the
// grip angle of its surface, atan of the tile's best friction, at most
// 3 pi / 8. Without terrain: level ground of friction 1.
double ground_grip_angle(float x, float z)
{
    const terrain* t = &track_terrain;
    double mu = 1.0;
    if (t->heights && t->tile_count > 0) {
        int32_t tile = std::clamp(terrain_tile_at(t, x, z), 0, t->tile_count - 1);
        const float* keys = t->friction_keys[tile];
        const float* values = t->friction_values[tile];
        mu = values[0];
        for (int k = 1; k < 8 && keys[k] != friction_curve_end; k++) mu = std::max(mu, double(values[k]));
    }
    mu *= phys::grip_factor;
    return std::min(std::atan(std::max(mu, 0.0)), 3.0 * pi / 8.0);
}

double ground_bank_seen(dBodyID frame, float x, float z)
{
    float n[3] = {0.0f, 1.0f, 0.0f};
    if (track_terrain.heights) terrain_normal_at(&track_terrain, x, z, n);
    double len = std::sqrt(double(n[0]) * n[0] + double(n[1]) * n[1] + double(n[2]) * n[2]);
    if (!(len > 0.0)) return body_lean_angle(frame);
    dVector3 local;
    dBodyVectorFromWorld(frame, n[0] / len, n[1] / len, n[2] / len, local);
    return std::asin(clampd(local[0], -1.0, 1.0));
}

double lean_within_ground(dBodyID frame, double lean, float x, float z, double target)
{
    double ground = lean - ground_bank_seen(frame, x, z), grip = ground_grip_angle(x, z);
    return clampd(target, ground - grip, ground + grip);
}

static double dead_band(double v, double band) { return v > band ? v - band : v < -band ? v + band : 0.0; }

void autopilot_steer(rider* r)
{
    const line_point* path = static_cast<const line_point*>(r->line_path.items);
    int32_t count = r->line_path.count;
    double now = tic_counter * tic_length;
    if (now - r->progress_stamp * tic_length > 3.0) {
        r->recovery_counter = 3;
        return;
    }
    int crashed = r->crash_tics > 0;
    r->dab = 0.0f;

    // Where along the path, and how fast it may be ridden there.
    double x = path_progress(r);
    int32_t l = clamp_index(int32_t(std::floor(x)), count);
    double frac = clampd(x - l, 0.0, 1.0);
    double d = path_point_at(path, count, l, frac).speed;

    steer_frame fr{};
    body_position(r->frame_body, fr.position);
    const dReal* v = dBodyGetLinearVel(r->frame_body);
    double speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (speed > 1e-3) {
        for (int c = 0; c < 3; c++) fr.forward[c] = v[c] / speed;
    } else {
        double back[3];
        body_axis(r->frame_body, 2, back);
        for (int c = 0; c < 3; c++) fr.forward[c] = -back[c];
    }
    double hl = std::hypot(fr.forward[0], fr.forward[2]);
    if (hl > 1e-9) {
        fr.side[0] = -fr.forward[2] / hl, fr.side[2] = fr.forward[0] / hl;
    } else {
        fr.side[0] = 1.0;
    }

    // Time to the next jump (path points are a quarter second apart).
    int32_t j = path_next_jump(r, l);
    double h = 1000000.0;
    if (j >= 0) {
        const line_point& q = path[l];
        double dist = std::sqrt((q.x - fr.position[0]) * (q.x - fr.position[0]) +
                                (q.y - fr.position[1]) * (q.y - fr.position[1]) +
                                (q.z - fr.position[2]) * (q.z - fr.position[2]));
        h = dist / std::max(speed, 1e-3) + (j - l) * 0.25;
    }

    // Load in units of the weight, the lean-rate limit and the current turn.
    double load = r->front_contact.feedback.f1[1] + r->rear_contact.feedback.f1[1];
    double mass = r->total_mass > 0.0f ? r->total_mass : 1.0;
    double a = std::max(1.0, load * 0.03125 / mass - 1.0);
    double rate_limit = pi / a;
    double lean = body_lean_angle(r->frame_body);
    fr.turn_offset = turn_offset(speed, lean, a, &fr.straight);
    d = traffic_limit(r, speed, d, now);

    // Look ahead: further on a straight, closer in a bend.
    double gain = 4.0;
    double look = x + 4.0;
    if (r->gate_count > 0) {
        int32_t in_cone = 0;
        for (int32_t k = l + 1; k <= l + 7 && k < count; k++) {
            double off[3] = {path[k].x - fr.position[0], path[k].y - fr.position[1], path[k].z - fr.position[2]};
            double f = dot3(off, fr.forward), s = dot3(off, fr.side);
            if (!(f > 0.0) || std::fabs(s) > f / 8.0) break;
            in_cone++;
        }
        double scale = clampd((20.0 - in_cone) / 17.0, 0.0, 1.0);
        gain = 4.0 * scale;
        rate_limit *= scale;
        look = x + (in_cone > 4 && std::fabs(lean) < pi / 8 ? 3.0 : 2.0);
    }
    double radius;
    if (j >= 0 && h < 2.0) {
        // Before a jump aim along the path across it.
        double n = clampd(4.0 - 2.0 * h, 0.0, 1.0);
        const line_point& a3 = path[clamp_index(l + 3, count)];
        const line_point& j0 = path[clamp_index(j, count)];
        const line_point& j3 = path[clamp_index(j + 3, count)];
        double aim[3] = {(1 - n) * (a3.x - fr.position[0]) + n * (j3.x - j0.x),
                         (1 - n) * (a3.y - fr.position[1]) + n * (j3.y - j0.y),
                         (1 - n) * (a3.z - fr.position[2]) + n * (j3.z - j0.z)};
        radius = radius_toward(aim, fr);
    } else {
        int32_t li = int32_t(std::floor(look));
        radius = turn_radius_to_point(r, li, look - li, fr);
    }

    // Lean into the radius, as far as the ground allows: under the next
    // points and just ahead of the front wheel, the lean may differ from the
    // ground's bank by no more than the surface's grip angle.
    double target = std::atan2(-speed * speed / radius, 32.0 * a);
    double limited = target;
    for (int32_t k = l + 4; k >= l; k--) {
        const line_point& q = path[clamp_index(k, count)];
        limited = lean_within_ground(r->frame_body, lean, q.x, q.z, limited);
    }
    const dReal* wheel = dBodyGetPosition(r->front_wheel_body);
    const dReal* wheel_v = dBodyGetLinearVel(r->front_wheel_body);
    limited = lean_within_ground(r->frame_body, lean, wheel[0] + 0.25 * wheel_v[0], wheel[2] + 0.25 * wheel_v[2],
                                 limited);
    if (limited != target) {
        r->grip_limit_stamp = tic_counter;
        d = std::min(d, std::sqrt(32.0 * a * std::fabs(radius) * std::tan(std::fabs(limited))));
        target = limited;
    }

    // Throttle scale: ease off while the front tyre slides.
    double slide = std::sqrt(dot3f(r->front_contact.slip_velocity, r->front_contact.slip_velocity));
    double e = r->front_contact.depth < 0.0f ? 1.0 : clampd((16.0 - slide) / 16.0, 0.0, 1.0);
    if (speed < 10.0) {
        double fade = clampd(0.4 * (speed - 7.5), 0.0, 1.0);
        e = 1.0 + (e - 1.0) * fade;
        target *= fade;
    }
    if (j >= 0 && h < 3.0) {
        double k = clampd((3.0 - h) / 2.0, 0.0, 1.0);
        e += (1.0 - e) * k;
        double here = std::fabs(path[l].speed) + 2.0;
        d = std::max(d, d + (here - d) * k);
        double cap = pi / 2 - 7.0 * pi / 16.0 * k;
        target = clampd(target, -cap, cap);
        double m = clampd((3.0 - h) / 3.0, 0.0, 1.0);
        rate_limit += (pi / 8 - rate_limit) * m;
    }

    // Lean rate, faster back toward upright.
    double rate = gain * (target - lean);
    double lim = std::fabs(target) < std::fabs(lean) ? 2.0 * rate_limit : rate_limit;
    rate = clampd(rate, -lim, lim);
    r->full_lock_speed = 1.0f;
    r->restricted_lock_speed = 50.0f;
    r->restricted_lock = float(std::min((1.0 + 4.0 * clampd(std::fabs(rate) / pi, 0.0, 1.0)) * pi / 180.0, pi / 4));

    // Steering: keep the fork with the front wheel's travel, and on the
    // ground steer the roll rate toward the lean rate.
    double hinge = dJointGetHingeAngle(r->steering_joint), hinge_rate = dJointGetHingeAngleRate(r->steering_joint);
    double pf = dead_band(clampd(front_wheel_spin_angle(r) - hinge, -0.25, 0.25), 0.03125);
    double q = dead_band(8.0 * pf - hinge_rate, 1.0 / 2400.0);
    double fork = q > 4.0 / 3.0 ? 2.0 / 3.0 : q < -4.0 / 3.0 ? -2.0 / 3.0 : q * 0.5;
    // A steering input turns the head the other way (+1 is a right turn, a
    // negative head angle), so the bars go toward the wheel's travel with
    // the fork term's sign turned over. On the ground it enters the roll
    // steering that way; alone (in the air, or with the front tyre sliding)
    // it was added as it stands, which turned the bars away from the travel:
    // a sliding front was steered further into its slide until the bike spun.
    double steer = -fork;
    if (r->front_contact.depth > 0.0f) {
        double err = dead_band(body_local_rate(r->frame_body, 2) - rate, 0.125);
        double w = clampd((4.0 - slide) / 4.0, 0.0, 1.0);
        steer = w * (4.0 * err - fork) + (1.0 - w) * -fork;
    }
    r->steer = float(clampd(steer, -1.0, 1.0));

    autopilot_pedals(r, speed, d);

    // The throttle cap: held down after the grip ran out, then let back up;
    // it falls no faster than 1/32 a tic so a slide does not snap the drive.
    double want = std::min(e, 1.0);
    double cap = r->throttle_cap;
    if ((tic_counter - r->grip_limit_stamp) * tic_length < 0.125)
        cap = e < 0.0 ? 0.0 : std::min(cap + 1.0 / 32.0, e);
    else
        cap = want > cap ? want : std::max(want, cap - 1.0 / 32.0);
    if (!std::isfinite(cap)) cap = 0.0;
    r->throttle_cap = float(cap);
    double drive = std::min(e * rider_get_throttle(r), cap);
    r->throttle = crashed || cap <= 0.0 || !(drive > 0.0) ? 0.0f : float(std::min(drive, 1.0));
}
