#include "tools/linegen/line_learner.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "ai/autopilot.h"
#include "ai/line_recorder.h"
#include "ai/racing_lines.h"
#include "core/array.h"
#include "core/game_state.h"
#include "core/vfs.h"
#include "game/race_reset.h"
#include "game/sim_tic.h"
#include "game/startup.h"
#include "game/timing_gates.h"
#include "physics/physics_world.h"
#include "physics/rider.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"
#include "ui/settings.h"

namespace {

// The learner rides the auto pilot's steering with a personality of its
// own pick for the length of one tic; between tics it is a person, so the
// gate passage records and offers its runs.
constexpr int32_t learner_steering_personality = 4;
// The main body rides about this high over the ground.
constexpr float body_height = 2.0f;
// Points kept ahead of the target so the auto pilot never asks for a line.
constexpr int32_t points_ahead = 40;
// Sideways offsets of the learner's riders (ft, left of the way): the
// centre and a line either side inside the track's width, so a set holds
// several ways through a section. The start gates run to the riders'
// right, so the riders' ways do not cross on the way from the gates.
const float ride_offsets[] = {2.0f, 0.0f, -2.0f};
// Seconds between one learner's start and the next one's, so they do not
// ride into each other.
constexpr double release_gap = 3.0;
// How far the learner's main body may stray from its way (ft) before its
// run is spoiled: the stadium's lanes lie 40 ft apart, so a rider 20 ft off
// its way has crossed the divider to the next lane.
constexpr double stray_limit = 20.0;
// A run that takes this much longer than its way's own timing (the loop's
// points are a quarter second apart) lost its way somewhere, even when it
// found the next gate in the end: the learner's rider, launching from the
// gate and easing through the bends, takes up to about twice its way's
// timing; three times as long and 5 s more is a detour, a stop or a
// recovery, not a line to learn.
constexpr double detour_factor = 3.0, detour_seconds = 5.0;

void hold_at_gate(rider* r)
{
    r->throttle = 0.0f;
    r->clutch = 0.0f;
    r->front_brake = r->rear_brake = 1.0f;
    r->steer = 0.0f;
    r->dab = r->crash_tics > 0 ? 0.0f : 1.0f;
}

std::string read_data_file(const std::string& name)
{
    std::string out;
    vfs_stream* f = vfs_open(name.c_str(), "rb");
    if (!f) return out;
    char block[4096];
    for (int n; (n = vfs_read(f, block, int(sizeof block))) > 0;) out.append(block, size_t(n));
    vfs_close(f);
    return out;
}

line_point path_point_of(const tool_point& p)
{
    float y = terrain_height_at(&track_terrain, p.x, p.z) + body_height;
    return {p.x, y, p.z, p.speed, 0.0f};
}

// The learner's rider on its loop: the path is kept filled from the loop
// (lap after lap) and trimmed behind the target.
struct loop_rider {
    rider* r;
    const std::vector<tool_point>* loop;
    size_t next;  // the loop point appended next
    size_t from = 0;            // the loop point where the current section began
    int32_t section_gates = 0;  // gate count at that point
    int32_t section_tic = 0;    // and its tic

    void start()
    {
        growable_array* path = &r->line_path;
        path->count = 0;
        const dReal* p = dBodyGetPosition(r->frame_body);
        // Join the loop at its point nearest ahead of the gate (riders face
        // along the first lane), from where the rider stands.
        size_t best = 0;
        double best_d = 1e30;
        const dReal* m = dBodyGetRotation(r->frame_body);
        double fx = -m[2], fz = -m[10];
        for (size_t i = 0; i < loop->size(); i++) {
            double dx = (*loop)[i].x - p[0], dz = (*loop)[i].z - p[2];
            if (dx * fx + dz * fz < 10.0) continue;
            double d = dx * dx + dz * dz;
            if (d < best_d) best_d = d, best = i;
        }
        line_point here = {float(p[0]), float(p[1]), float(p[2]), (*loop)[best].speed, 0.0f};
        array_push(path, &here);
        next = best;
        from = best;
        section_gates = r->gate_count;
        section_tic = -1;
        top_up();
        r->path_target = 1;
        r->progress_stamp = int32_t(30.0 / tic_length);
        r->recovery_counter = 0;
    }
    void top_up()
    {
        growable_array* path = &r->line_path;
        if (r->path_target > 60) {
            int32_t drop = r->path_target - 30;
            line_point* items = array_items<line_point>(path);
            memmove(items, items + drop, sizeof(line_point) * size_t(path->count - drop));
            path->count -= drop;
            r->path_target -= drop;
        }
        while (path->count - r->path_target < points_ahead) {
            line_point q = path_point_of((*loop)[next]);
            array_push(path, &q);
            next = (next + 1) % loop->size();
        }
    }
    void steer()
    {
        top_up();
        r->autopilot_personality = learner_steering_personality;
        autopilot_tic(r);
        r->autopilot_personality = 0;
        if (section_tic < 0) section_tic = tic_counter;  // let go from the gate
        if (r->gate_count != section_gates) {
            from = nearest_loop_point(from);
            section_gates = r->gate_count;
            section_tic = tic_counter;
        }
        // A run that left the way, or took far longer than its way's timing,
        // is not a line to learn: the gate passage turns it away.
        if (stray() > stray_limit || (tic_counter - section_tic) * tic_length > detour_limit())
            r->line_run_canceled[gate_section_index(r->gate_count) & 1] = 1;
    }
    // The loop point nearest the rider, searched forward from a point.
    size_t nearest_loop_point(size_t start) const
    {
        const dReal* b = dBodyGetPosition(r->frame_body);
        size_t best = start;
        double best_d = 1e30;
        for (size_t k = 0; k < loop->size() / 2; k++) {
            const tool_point& q = (*loop)[(start + k) % loop->size()];
            double d = std::hypot(q.x - b[0], q.z - b[2]);
            if (d < best_d) best_d = d, best = (start + k) % loop->size();
        }
        return best;
    }
    // Seconds the current section may take: the loop's timing from where it
    // began to the next gate's checkpoint, with the detour allowance.
    double detour_limit() const
    {
        int32_t gate = gate_number_at(r->gate_count);
        if (gate >= gate_no_section) gate -= gate_no_section;
        if (gate < 0 || gate >= timing_gates.checkpoint_count) return 1e30;
        const checkpoint& c = timing_gates.checkpoints[gate];
        size_t to = from;
        double best_d = 1e30;
        for (size_t k = 0; k < loop->size(); k++) {
            const tool_point& q = (*loop)[(from + k) % loop->size()];
            double d = std::hypot(q.x - c.x, q.z - c.z);
            if (d < best_d) best_d = d, to = k;
        }
        return double(to) * 0.25 * detour_factor + detour_seconds;
    }
    // The main body's distance from its way behind the target, in x-z (the
    // target runs up to 60 ft ahead: 24 points at 10 ft/s).
    double stray() const
    {
        const line_point* p = array_items<line_point>(&r->line_path);
        int32_t count = r->line_path.count;
        const dReal* b = dBodyGetPosition(r->frame_body);
        double best = 1e30;
        for (int32_t i = std::max(0, r->path_target - 40); i + 1 < count && i <= r->path_target; i++) {
            double ux = double(p[i + 1].x) - p[i].x, uz = double(p[i + 1].z) - p[i].z;
            double wx = b[0] - p[i].x, wz = b[2] - p[i].z;
            double uu = ux * ux + uz * uz;
            double t = uu > 0.0 ? std::clamp((wx * ux + wz * uz) / uu, 0.0, 1.0) : 0.0;
            best = std::min(best, std::hypot(wx - t * ux, wz - t * uz));
        }
        return best;
    }
};

int32_t bound_tics(int laps, double lap_seconds) { return int32_t((16.0 + laps * lap_seconds) / tic_length); }

// The slowest lap the learner's pace allows: the loop's length at a
// quarter of its top speed, or its points at a quarter second each, which
// ever is longer.
double slow_lap_seconds(const std::vector<tool_point>& loop, const tool_pace& pace)
{
    double length = 0.0;
    for (size_t i = 0; i < loop.size(); i++) {
        const tool_point &a = loop[i], &b = loop[(i + 1) % loop.size()];
        length += std::hypot(b.x - a.x, b.z - a.z);
    }
    return std::max(length / (0.25 * pace.top_speed), loop.size() * 0.25 * 4.0);
}

bool all_finished()
{
    for (int k = 0; k < slot_total; k++)
        if (rider_table[k] && !rider_table[k]->finished) return false;
    return true;
}

void count_sets(learn_report* report)
{
    report->sets = report->empty_sets = report->lines = 0;
    const racing_line_store& s = racing_line_sets;
    if (!s.sets) return;
    report->sets = s.first_lap_sections + s.normal_lap_sections;
    for (int32_t i = 0; i < report->sets; i++) {
        int n = 0;
        for (const racing_line& l : s.sets[i].lines) n += l.point_count > 0 && l.points;
        report->lines += n;
        report->empty_sets += n == 0;
    }
}

// One race of the learner's riders: each on its own start gate and offset
// (shifted by shift ft) and let go a little after the one before it, ridden
// until each has offered its second lap (at the first gate of the third).
bool learner_race(const std::string& folder, int skill, const learn_plan& plan, const std::vector<dense_point>& dense,
                  const std::vector<float>& speeds, float shift, double lap_bound, learn_report* report,
                  std::string* error)
{
    int riders = int(sizeof ride_offsets / sizeof ride_offsets[0]);
    std::vector<std::vector<tool_point>> loops;
    for (int v = 0; v < riders; v++) loops.push_back(timed_loop(dense, speeds, ride_offsets[v] + shift));
    int32_t kinds[slot_total] = {};
    for (int v = 0; v < riders; v++) kinds[2 * v] = slot_kind_ai;
    reset_session(kinds, 0, 0, 0, plan.seed_laps, skill);
    std::vector<loop_rider> learners;
    for (int v = 0; v < riders; v++) {
        rider* r = rider_table[2 * v];
        if (!track_dir[0] || !r) {
            *error = folder + ": the track does not load";
            return false;
        }
        // A person to the gate passage: its runs are offered.
        slot_status[2 * v] = slot_driven_by_player;
        r->autopilot_personality = 0;
        learners.push_back({r, &loops[v], 0});
        learners.back().start();
    }
    int32_t offered = timing_gates.first_lap_entries + timing_gates.normal_lap_entries + 1;
    int32_t end = bound_tics(plan.seed_laps, lap_bound) + gate_drop_tic;
    auto done = [&](const loop_rider& lr) { return lr.r->finished || lr.r->gate_count >= offered; };
    // A rider still out 30 s after the first is done has lost its way: what
    // it rides now would be turned away or canceled anyway.
    int32_t first_done = -1;
    while (tic_counter < end && !std::all_of(learners.begin(), learners.end(), done)) {
        if (first_done < 0 && std::any_of(learners.begin(), learners.end(), done)) first_done = tic_counter;
        if (first_done >= 0 && tic_counter > first_done + int32_t(30.0 / tic_length)) break;
        for (size_t v = 0; v < learners.size(); v++) {
            if (tic_counter < gate_drop_tic + int32_t(v * release_gap / tic_length)) hold_at_gate(learners[v].r);
            else learners[v].steer();
        }
        run_tic();
        if (plan.verbose > 1 && tic_counter % 512 == 0) {
            for (const loop_rider& lr : learners) {
                const dReal* p = dBodyGetPosition(lr.r->frame_body);
                const dReal* vel = dBodyGetLinearVel(lr.r->frame_body);
                fprintf(stderr, "  %.0f s (%.0f %.0f) v %.1f rec %d crashes %d gates %d\n", tic_counter * tic_length,
                        p[0], p[2], std::hypot(vel[0], vel[2]), lr.r->recovery_counter, lr.r->crash_count,
                        lr.r->gate_count);
            }
        }
    }
    for (const loop_rider& lr : learners) {
        report->rides++;
        report->rides_finished += done(lr);
        if (plan.verbose) {
            const dReal* p = dBodyGetPosition(lr.r->frame_body);
            fprintf(stderr, "ride: %s at %.1f s, gates %d, crashes %d, at (%.0f %.0f)\n",
                    done(lr) ? "done" : "not done", tic_counter * tic_length, int(lr.r->gate_count),
                    int(lr.r->crash_count), p[0], p[2]);
        }
    }
    report->seconds += tic_counter * tic_length * riders;
    return true;
}

}  // namespace

tool_pace learner_pace(int skill)
{
    // Novices ride a sixth slower than experts everywhere.
    static const float scale[3] = {0.8f, 0.88f, 0.96f};
    float k = scale[std::clamp(skill, 0, 2)];
    tool_pace p;
    p.top_speed = 60.0f * k;
    p.side_accel = 14.0f * k * k;
    p.braking = 12.0f;
    p.corner_margin = 7.0f;
    p.rough_speed = 12.0f * k;
    return p;
}

bool learn_track_lines(const std::string& folder, int skill, const learn_plan& plan, learn_report* report,
                       std::string* error)
{
    std::string why;
    std::vector<tool_point> corners = read_centre_line(read_data_file("@" + folder + "/centre_line"), &why);
    if (corners.empty()) {
        *error = folder + ": " + why;
        return false;
    }
    std::vector<tool_jump> jumps = read_jumps(read_data_file("@" + folder + "/jumps"), &why);
    if (!why.empty()) {
        *error = folder + ": " + why;
        return false;
    }
    tool_pace pace = learner_pace(skill);
    std::vector<dense_point> dense = round_corners(corners, pace.corner_margin);
    snprintf(settings.track, sizeof settings.track, "%s", folder.c_str());
    // The track's ground, for the bumpy stretches: a race without riders
    // loads it.
    int32_t none[slot_total] = {};
    none[0] = slot_kind_ai;
    reset_session(none, 0, 0, 0, plan.seed_laps, -1);
    if (!track_dir[0]) {
        *error = folder + ": the track does not load";
        return false;
    }
    auto ground = [](float x, float z) { return terrain_height_at(&track_terrain, x, z); };
    // A section the skill's pace keeps failing is learned at the novices'
    // in the later rounds.
    std::vector<float> speeds[2] = {loop_speeds(dense, jumps, pace, ground),
                                    loop_speeds(dense, jumps, learner_pace(0), ground)};
    options.learn_lines = 1;
    if (plan.verbose > 2) options.verbose = 1;
    double lap_bound = slow_lap_seconds(timed_loop(dense, speeds[0], 0.0f), pace);
    if (plan.verbose > 1) {
        int rough = 0;
        for (float v : speeds[0]) rough += v == pace.rough_speed;
        fprintf(stderr, "%s: %d points, %d at the rough-ground speed\n", folder.c_str(), int(dense.size()), rough);
    }

    // The learner's riders, a race of them at a time, until every section
    // holds a line (or the rounds run out). Each round moves the offsets.
    for (int round = 0; round < plan.seed_rounds; round++) {
        if (round > 0) {
            count_sets(report);
            if (report->empty_sets == 0) break;
        }
        float shift = float(round % 2 ? -1 : 1) * 0.75f * float((round + 1) / 2);
        const std::vector<float>& pace_speeds = speeds[round >= plan.seed_rounds / 2];
        if (!learner_race(folder, skill, plan, dense, pace_speeds, shift, lap_bound, report, error)) return false;
        if (plan.verbose) {
            count_sets(report);
            fprintf(stderr, "after round %d: %d lines, %d of %d sets empty:", round, report->lines,
                    report->empty_sets, report->sets);
            for (int32_t i = 0; i < report->sets; i++) {
                int n = 0;
                for (const racing_line& l : racing_line_sets.sets[i].lines) n += l.point_count > 0;
                if (!n) fprintf(stderr, " %d", int(i));
            }
            fprintf(stderr, "\n");
        }
    }

    // Learning races: the computer riders ride the lines and leave their
    // statistics on them; each reset writes what the last race learned.
    for (int k = 0; k < plan.race_count; k++) {
        int32_t kinds[slot_total] = {};
        for (int i = 0; i < plan.race_riders; i++) kinds[i] = slot_kind_ai;
        reset_session(kinds, 0, 0, 0, plan.race_laps, skill);
        int32_t end = bound_tics(plan.race_laps, lap_bound) + gate_drop_tic;
        while (tic_counter < end && !all_finished()) run_tic();
        report->races++;
        report->seconds += tic_counter * tic_length * plan.race_riders;
        if (plan.verbose) {
            int finished = 0, riders = 0, crashes = 0;
            for (rider* r : rider_table) {
                if (!r) continue;
                riders++;
                finished += r->finished != 0;
                crashes += r->crash_count;
            }
            fprintf(stderr, "race %d: %d of %d finished at %.1f s, %d crashes\n", k, finished, riders,
                    tic_counter * tic_length, crashes);
        }
    }
    count_sets(report);
    // As the program's shut-down does: write, then no more writes.
    lines_write(skill);
    lines_skill = -1;
    return true;
}
