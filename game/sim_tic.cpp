// The simulation tic, the replay seek, the visibility of a slot and the
// debug marker list.
#include "game/sim_tic.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "ai/autopilot.h"
#include "ai/line_recorder.h"
#include "ai/racing_lines.h"
#include "core/game_state.h"
#include "core/vfs.h"
#include "game/demo.h"
#include "game/race_reset.h"
#include "game/results.h"
#include "game/startup.h"
#include "game/state_history.h"
#include "game/track_objects.h"
#include "net/net_client.h"
#include "physics/lap_timing.h"
#include "physics/physics_ground.h"
#include "physics/physics_tic.h"
#include "physics/physics_world.h"
#include "physics/rider.h"
#include "physics/rider_access.h"
#include "physics/rider_collide.h"
#include "physics/rider_state.h"
#include "physics/wheel_effects.h"
#include "script/script_host.h"
#include "ui/console.h"

int32_t best_lap_tics;
int32_t last_lap_tics;
int32_t false_start_hold;
float false_start_position[3];
int32_t suspension_graph_on;
float suspension_rings[6][telemetry_length];
int32_t suspension_ring_index;
growable_array marker_list;
float start_gate_fall_speed[160];

namespace {

constexpr int32_t tics_per_second = 128;
// Start gates are collided and animated for 10 s past the drop.
constexpr int32_t gate_window_tics = 10 * tics_per_second;
// The online false start holds the player until 15 s past the drop.
constexpr int32_t false_start_tics = 15 * tics_per_second;
// Online, the results are looked at once every 512 tics.
constexpr int32_t online_results_period = 512;
// A rider pressing on its gate touches it every tic; were each touch to hold
// the gate, it would never fall and the rider, with those behind it, would
// stay at the start for good. Leaning holds a gate for at most as long as
// its whole fall takes.
constexpr int32_t gate_hold_limit = 32;
int32_t start_gate_held_tics[start_gate_limit];
// The gate's turn when up: 3 pi / 16.
constexpr double gate_up_angle = 0.5890486225480862;

bool online() { return net_server_open() != 0; }

bool spectating() { return online() && net_riding_slot() == rider_no_slot; }

// A network rider's state is fresh enough to be shown and to take part.
bool state_current(int slot) { return rider_state_current(slot) != 0; }

double frame_speed(const rider* r)
{
    const dReal* v = dBodyGetLinearVel(r->frame_body);
    return std::sqrt(double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2]);
}

// Fastest first; equal speeds keep slot order so a run repeats exactly.
void sort_fastest_first(rider** list, int n)
{
    double speed[rider_slot_count];
    int order[rider_slot_count];
    for (int i = 0; i < n; i++) speed[i] = frame_speed(list[i]), order[i] = i;
    std::sort(order, order + n, [&](int a, int b) {
        if (speed[a] != speed[b]) return speed[a] > speed[b];
        return list[a]->slot < list[b]->slot;
    });
    rider* sorted[rider_slot_count];
    for (int i = 0; i < n; i++) sorted[i] = list[order[i]];
    std::copy(sorted, sorted + n, list);
}

// The start gates push riders until 10 s after the drop, long after they
// lie flat: then they are part of the ground, and their shapes, a strip of
// spheres across the start lane, would only jolt every rider crossing it
// each lap. Riders replayed from a history are pushed by nothing else.
bool gates_still_collide() { return int64_t(tic_counter) <= int64_t(gate_drop_tic) + gate_window_tics; }

// Every simulated rider gets its tyre forces and meets the statues near it
// (the start gates among them while they still stand); then the riders
// collide in pairs.
void contacts_offline(const ride_world& w)
{
    rider* list[rider_slot_count];
    int n = 0;
    bool gates = gates_still_collide();
    for (int slot = 0; slot < rider_slot_count; slot++) {
        rider* r = rider_table[slot];
        if (!r) continue;
        if (slot_status[slot] == slot_driven_by_history) {
            if (gates) start_gates_collide(r);
            continue;
        }
        list[n++] = r;
        rider_statue_collide(w, r, gates);
    }
    sort_fastest_first(list, n);
    for (int a = 0; a < n; a++)
        for (int b = a + 1; b < n; b++) riders_collide(w, list[a], list[b], 0);
}

// Online only the own rider is simulated: it meets the statues and the other
// riders; a rider it hits falls, and a fallen rider meets the statues too.
void contacts_online(const ride_world& w)
{
    rider* list[rider_slot_count];
    int n = 0;
    bool spectator = spectating(), gates = gates_still_collide();
    for (int slot = 0; slot < rider_slot_count; slot++)
        if (rider_table[slot] && slot_status[slot] == slot_driven_by_history && state_current(slot)) {
            list[n++] = rider_table[slot];
            if (spectator && gates) start_gates_collide(rider_table[slot]);
        }
    int own_slot = net_own_slot();
    if (own_slot < 0 || own_slot >= rider_slot_count || !rider_table[own_slot]) return;
    rider* own = rider_table[own_slot];
    rider_statue_collide(w, own, gates);
    if (spectator) return;
    sort_fastest_first(list, n);
    for (int i = 0; i < n; i++) {
        if (list[i] == own) continue;
        if (riders_collide(w, own, list[i], 1)) rider_start_fall(list[i]);
        if (rider_is_down(list[i])) rider_statue_collide(w, list[i], gates);
    }
}

void roost_and_treadmarks(const ride_world& w)
{
    int32_t order[rider_slot_count];
    int n = roost_serving_order(tic_counter, order);
    for (int k = 0; k < n; k++) {
        rider* r = rider_table[order[k]];
        roost_tic(w, r);
        treadmarks_tic(w, r);
    }
}

void wheel_effects(const ride_world& w)
{
    if (erosion_amount <= 0) return;
    if (online() && net_riding_slot() == rider_no_slot) return;
    for (int slot = 0; slot < rider_slot_count; slot++)
        if (rider_table[slot] && slot_status[slot] != slot_driven_by_history)
            wheel_effects_tic(w, rider_table[slot]);
}

// The online false-start rule for the local player.
void false_start_rule(rider* r)
{
    if (false_start_hold > 0) {
        false_start_hold--;
        rider_set_front_brake(r, 1);
        rider_set_rear_brake(r, 1);
        rider_set_control_b(r, 0);
        rider_set_clutch(r, 0);
        rider_set_throttle(r, 0);
        rider_set_dab(r, 1);
        return;
    }
    if (tic_counter > gate_drop_tic) return;
    rider_set_dab(r, 1);
    const dReal* p = dBodyGetPosition(r->frame_body);
    double dx = p[0] - false_start_position[0], dy = p[1] - false_start_position[1],
           dz = p[2] - false_start_position[2];
    if (dx * dx + dy * dy + dz * dz < 9.0) return;
    false_start_hold = int32_t(int64_t(gate_drop_tic) + false_start_tics - tic_counter);
    console_print("15 second false start penalty");
}

void drive_slots(const ride_world& w, bool physics)
{
    bool on = online();
    for (int slot = 0; slot < rider_slot_count; slot++) {
        rider* r = rider_table[slot];
        if (!r) continue;
        int32_t status = slot_status[slot];
        if (status == slot_driven_by_autopilot) autopilot_tic(r);
        if (on && status == slot_driven_by_history) rider_fall_step(r);
        if (on && status == slot_driven_by_player && physics) false_start_rule(r);
        if (physics) bike_physics_tic(w, r);
        // Online the gates of a rider driven here are timed here; a network
        // rider's come from its lap-time items.
        if (!on || status != slot_driven_by_history) line_recorder_tic(r);
    }
}

bool valid_statue(int32_t i) { return i >= 0 && i < track_objects.statues.count; }

// Turns a start gate's statue by a = p x 3 pi / 16 about its right axis.
void turn_gate_statue(statue* s, float p)
{
    double a = p * gate_up_angle;
    float c = float(std::cos(a)), sn = float(std::sin(a));
    float* m = s->orientation;
    if (s->angle >= statue_upright_angle) {
        const float rows[9] = {1, 0, 0, 0, c, sn, 0, -sn, c};
        memcpy(m, rows, sizeof rows);
        return;
    }
    place_statue_on_ground(s);  // the ground frame at its x, z and heading
    for (int i = 0; i < 3; i++) {
        float n = m[3 * i + 1], f = m[3 * i + 2];
        m[3 * i + 1] = n * c - f * sn;
        m[3 * i + 2] = f * c + n * sn;
    }
}

bool laps_changed(int slot, int32_t before)
{
    return rider_table[slot] && rider_laps_done(rider_table[slot]) != before;
}

// The tics of a lap-mode lap: from the gate ending the first lap to the gate
// one normal lap later; 0 when either is missing. Positions count every lap
// entry, marked ones too, as the gate passage and the restart count them.
int32_t lap_mode_lap(const rider* r)
{
    int32_t f = timing_gates.first_lap_entries, l = timing_gates.normal_lap_entries;
    if (f < 1) return 0;
    int32_t a = rider_gate_tic(r, f - 1), b = rider_gate_tic(r, f + l - 1);
    if (a < 0 || b < 0) return 0;
    return int32_t(std::clamp<int64_t>(int64_t(b) - a, INT32_MIN, INT32_MAX));
}

void note_best(int32_t lap)
{
    if (lap > 0 && (best_lap_tics == 0 || lap < best_lap_tics)) best_lap_tics = lap;
}

int file_exists(const char* name)
{
    vfs_stream* s = vfs_open(name, "rb");
    if (!s) return 0;
    vfs_close(s);
    return 1;
}

// Copies one file over another through a temporary name, so a failure
// midway leaves the old copy whole. 1 on success.
int copy_file_safely(const char* from, const char* to)
{
    char temporary[vfs_path_max];
    if (snprintf(temporary, sizeof temporary, "%s.tmp", to) >= int(sizeof temporary)) return 0;
    vfs_stream* in = vfs_open(from, "rb");
    if (!in) return 0;
    vfs_stream* out = vfs_open(temporary, "wb");
    if (!out) {
        vfs_close(in);
        return 0;
    }
    char block[1024];
    int ok = 1, n;
    while ((n = vfs_read(in, block, int(sizeof block))) > 0)
        if (vfs_write(out, block, size_t(n)) != size_t(n)) ok = 0;
    if (vfs_error(in) || vfs_error(out)) ok = 0;
    vfs_close(in);
    vfs_close(out);
    return ok && vfs_rename(temporary, to);
}

void track_file_name(char* out, size_t size, const char* file)
{
    snprintf(out, size, "@%s/%s", track_dir, file);
}

// The ghosts of the fast-lap demo in slots 1 and up, cut back like the player.
void create_ghosts(int32_t cut)
{
    int32_t count = std::min(demo_header.rider_count, int32_t(rider_slot_count - 1));
    for (int32_t i = 0; i < count; i++) {
        rider* g = rider_table[i + 1] ? nullptr : demo_rider_create(i, i + 1);
        if (g) rider_truncate_gates(g, cut);
    }
}

void lap_mode_step(const int32_t laps_before[2])
{
    if (laps_changed(1, laps_before[1])) note_best(lap_mode_lap(rider_table[1]));
    if (!laps_changed(0, laps_before[0])) return;
    rider* player = rider_table[0];
    int32_t player_gates = rider_gate_count(player);
    int32_t ghost_gates = rider_table[1] ? rider_gate_count(rider_table[1]) : -1;
    demo_stop();
    if (timing_gates.checkpoint_count <= 0) return;
    char fast[vfs_path_max], last[vfs_path_max];
    track_file_name(fast, sizeof fast, "fastlap.ztdemo");
    track_file_name(last, sizeof last, "lastlap.ztdemo");
    int have_fast = file_exists(fast);
    last_lap_tics = lap_mode_lap(player);
    note_best(last_lap_tics);
    if (!have_fast || (last_lap_tics > 0 && player_gates > ghost_gates)) copy_file_safely(last, fast);
    int32_t cut = std::max(timing_gates.first_lap_entries - 1, 0);
    if (demo_open(fast)) create_ghosts(cut);
    rider_truncate_gates(player, cut);
    line_recorder_tic(player);
    demo_begin();
    history_record_tic(1);
    if (!results_final) results_finish();
}

void telemetry_store(const rider* r, int32_t at)
{
    fork_readout(r, &suspension_rings[0][at], &suspension_rings[1][at], &suspension_rings[2][at]);
    shock_readout(r, &suspension_rings[3][at], &suspension_rings[4][at], &suspension_rings[5][at]);
}

void telemetry_step()
{
    if (!suspension_graph_on) return;
    const rider* r = watched_slot >= 0 && watched_slot < rider_slot_count ? rider_table[watched_slot] : nullptr;
    if (suspension_ring_index >= telemetry_length) {
        suspension_ring_index = 0;
        for (int ring : {1, 2, 4, 5}) std::fill(suspension_rings[ring], suspension_rings[ring] + telemetry_length, 0.0f);
        if (r) {
            telemetry_store(r, 0);
            suspension_ring_index = 1;
        }
        return;
    }
    if (!r) return;
    telemetry_store(r, suspension_ring_index);
    suspension_ring_index = (suspension_ring_index + 1) % telemetry_length;
}

void wheel_marker(float x, float y, float z, const char* text) { add_marker(x, y, z, text); }

// The physics asks the race which slots are shown and keeps its debug
// markers in the race's list. Installed by the first tic of a race rather
// than at load time, so programs that link this file without racing (tools,
// the physics on its own) keep the physics' defaults.
void install_race_hooks()
{
    slot_is_hidden_hook = slot_is_hidden;
    add_marker_hook = wheel_marker;
    distance_to_last_marker_hook = distance_to_last_marker;
}

} // namespace

int roost_serving_order(int32_t tic, int32_t out[160])
{
    int32_t present[rider_slot_count];
    int n = 0;
    for (int slot = 0; slot < rider_slot_count; slot++)
        if (rider_table[slot]) present[n++] = slot;
    if (n == 0) return 0;
    // A negative tic (never in a race) still rotates within the list.
    int32_t first = int32_t(((int64_t(tic) % n) + n) % n);
    for (int k = 0; k < n; k++) out[k] = present[(first + k) % n];
    return n;
}

void start_gates_animate()
{
    int64_t drop = int64_t(gate_drop_tic) + history_delay;
    if (int64_t(tic_counter) > drop + gate_window_tics) return;
    int32_t count = std::clamp(timing_gates.start_gate_count, 0, start_gate_limit);
    for (int32_t g = 0; g < count; g++) {
        start_gate& gate = timing_gates.start_gates[g];
        if (tic_counter < drop) {
            gate.drop = 1.0f;
            start_gate_fall_speed[g] = 0.0f;
            start_gate_held_tics[g] = 0;
        }
        if (!valid_statue(gate.statue)) continue;
        statue* s = statue_at(gate.statue);
        if (gate.drop > 0.0f && tic_counter >= drop) {
            float& speed = start_gate_fall_speed[g];
            if (s->last_touch_tic == tic_counter && start_gate_held_tics[g] < gate_hold_limit) {
                speed = 0.0f;  // a rider leans on it: it stays this tic
                start_gate_held_tics[g]++;
            } else {
                speed = std::min(speed + 32.0f * float(tic_length), 8.0f);
                gate.drop = std::max(gate.drop - speed * float(tic_length), 0.0f);
            }
        }
        turn_gate_statue(s, gate.drop);
    }
}

void run_tic()
{
    install_race_hooks();
    // 1. The track script's tic handler runs first.
    script_tic();
    // 2. History-driven riders take their poses.
    for (int slot = 0; slot < rider_slot_count; slot++)
        if (rider_table[slot] && slot_status[slot] == slot_driven_by_history) history_pose_rider(slot);
    // 3. The lap mode watches the player's and the ghost's laps.
    int32_t laps_before[2] = {-1, -1};
    if (lap_mode)
        for (int slot = 0; slot < 2; slot++)
            if (rider_table[slot]) laps_before[slot] = rider_laps_done(rider_table[slot]);

    bool physics = physics_world != nullptr;
    ride_world w = physics_current();
    if (physics) {
        // 4. Contacts, 5. roost and treadmarks, 6. the world step,
        // 7. wheel effects.
        if (online())
            contacts_online(w);
        else
            contacts_offline(w);
        roost_and_treadmarks(w);
        dWorldStep(physics_world, tic_length);
        dJointGroupEmpty(contact_joint_group);
        wheel_effects(w);
    }
    // 8. Per slot: auto pilot, false start, forces, gate passage.
    drive_slots(w, physics);
    // 9., 10.
    flying_billboards_step();
    start_gates_animate();
    // 11. The clock; online the results are looked at now and then.
    tic_counter++;
    if (online() && tic_counter % online_results_period == online_results_period - 1 && !results_final)
        results_finish();
    // 12.
    history_record_tic(0);
    demo_read_step();
    // 13., 14.
    if (lap_mode) lap_mode_step(laps_before);
    telemetry_step();
}

void seek_demo(float seconds)
{
    int version = demo_replay_version();
    if (version == 0 || demo_recording()) return;
    for (int slot = 0; slot < rider_slot_count; slot++)
        if (rider_table[slot] && slot_status[slot] != slot_driven_by_history) return;
    double step = double(seconds) / tic_length;
    int64_t target = std::max<int64_t>(0, int64_t(double(tic_counter) - 1 + step));
    target = std::min<int64_t>(target, INT32_MAX);
    int32_t t = int32_t(target);
    if (seconds > 0 && (version >= 6 || options.accurate_skip)) {
        int64_t until = std::min<int64_t>(int64_t(double(tic_counter) + step), INT32_MAX);
        int32_t frequency = roost_frequency;
        roost_frequency = 0;
        while (tic_counter < until) run_tic();
        roost_frequency = frequency;
        return;
    }
    // Versions 4 and 5 go straight to the frame; version 6 walks back and
    // replays from the chunk found.
    if (!demo_position(t) && version < 6) return;
    if (t < tic_counter) {
        bool removed = false;
        for (int slot = 0; slot < rider_slot_count; slot++) {
            rider* r = rider_table[slot];
            if (!r) continue;
            int32_t n;
            while ((n = rider_gate_count(r)) > 0 && rider_gate_tic(r, n - 1) > t) {
                rider_truncate_gates(r, n - 1);
                removed = true;
            }
        }
        if (removed) results_final = 0;
        if (!results_final) results_finish();
    }
    tic_counter = t;
    history_clear_all();
    demo_read_step();
    run_tic();
}

int slot_is_hidden(int slot)
{
    if (slot < 0 || slot >= rider_slot_count || !rider_table[slot]) return 1;
    int32_t status = slot_status[slot];
    if (spectating() && status == slot_driven_by_player && slot != watched_slot) return 1;
    if (status != slot_driven_by_history) return 0;
    int32_t lo, hi;
    if (!history_lookup(slot, tic_counter, &lo, &hi)) return 1;
    const slot_history& h = state_history[slot];
    int64_t now = tic_counter;
    if (now >= int64_t(h.stamp[lo]) - tics_per_second && now <= int64_t(h.stamp[hi]) + tics_per_second)
        return state_current(slot) ? 0 : 1;
    return 1;
}

int ensure_results_written()
{
    if (!results_final) results_finish();
    return results_final;
}

marker* add_marker(float x, float y, float z, const char* text)
{
    if (!marker_list.element_size) array_init(&marker_list, sizeof(marker));
    if (!array_push(&marker_list, nullptr)) return nullptr;
    marker* m = array_items<marker>(&marker_list) + marker_list.count - 1;
    m->x = x, m->y = y, m->z = z;
    m->sort_key = 0;
    snprintf(m->text, sizeof m->text, "%s", text ? text : "");
    return m;
}

float distance_to_last_marker(float x, float y, float z)
{
    if (marker_list.count <= 0) return 1000000.0f;
    const marker& m = array_items<marker>(&marker_list)[marker_list.count - 1];
    double dx = x - m.x, dy = y - m.y, dz = z - m.z;
    return float(std::sqrt(dx * dx + dy * dy + dz * dz));
}

void marker_list_clear() { marker_list.count = 0; }
