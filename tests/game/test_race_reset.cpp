// The race reset: its tables (the AI riders, the pick order, the upgrade
// table, the slot kinds, the start places) as table cases, and whole resets
// of the generated tracks in this process: a 40-rider grid on the gates,
// 50 restarts without growth, and broken track folders that stop the reset
// with one line while the next track still loads.
#include <gtest/gtest.h>
#include <ode/ode.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "core/alloc.h"
#include "core/game_state.h"
#include "core/vfs.h"
#include "game/cameras.h"
#include "game/demo.h"
#include "game/flaggers.h"
#include "game/generated_race.h"
#include "game/lighting.h"
#include "game/race_reset.h"
#include "game/sim_tic.h"
#include "game/startup.h"
#include "game/track_cameras.h"
#include "game/track_list.h"
#include "game/track_objects.h"
#include "net/client.h"
#include "physics/lap_timing.h"
#include "physics/physics_tic.h"
#include "physics/physics_world.h"
#include "physics/rider.h"
#include "physics/rider_access.h"
#include "physics/rider_build.h"
#include "physics/rider_collide.h"
#include "support_zentrik.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"
#include "ui/console.h"
#include "ui/settings.h"

namespace fs = std::filesystem;

namespace {

// ---- the tables ------------------------------------------------------------

TEST(ai_rider_table, eighty_numbered_rows_in_their_classes)
{
    std::set<std::string> numbers;
    for (int32_t i = 0; i < ai_row_count; i++) {
        const ai_rider_row& r = ai_rider_rows[i];
        EXPECT_EQ(std::string(r.number), std::to_string(20 + i)) << i;
        numbers.insert(r.number);
        // Rows 0..19 are the 125 two-strokes, the rest 250 four-strokes.
        EXPECT_EQ(strstr(r.bike, i < 20 ? "125" : "250") != nullptr, true) << i << " " << r.bike;
        const char* personality = i < 20 || (i >= 40 && i < 60) ? "corwen" : i < 40 ? "pell" : "dorn";
        EXPECT_STREQ(r.personality, personality) << i;
        // Every paint is a game-data name, or none.
        for (const char* skin : {r.body_skin, r.head_skin, r.bike_skin, r.wheel_skin})
            EXPECT_TRUE(!skin || skin[0] == '@') << i;
        EXPECT_TRUE(i < 60 || (r.body_skin && r.head_skin && r.bike_skin && r.wheel_skin)) << i;
    }
    EXPECT_EQ(numbers.size(), 80u);
    // The paints are named after the bike as the row names it, before the
    // upgrade table.
    EXPECT_STREQ(ai_rider_rows[60].bike_skin, "@crf250-alt1.png");
    EXPECT_STREQ(ai_rider_rows[61].bike_skin, "@crf250-alt2.png");
    EXPECT_STREQ(ai_rider_rows[3].bike_skin, "@kx125-alt1.png");
    EXPECT_EQ(ai_rider_rows[4].bike_skin, nullptr);
    EXPECT_EQ(ai_rider_rows[19].body_skin, nullptr);
    EXPECT_EQ(ai_rider_rows[10].head_skin, nullptr);
}

// Every paint a computer rider wears is in the generated data root: a
// missing one falls back to the stock skin with a line on the screen.
TEST(ai_rider_table, every_named_paint_is_in_the_generated_data)
{
    const std::string data = zentrik_data_root();
    for (int32_t i = 0; i < ai_row_count; i++) {
        const ai_rider_row& r = ai_rider_rows[i];
        for (const char* skin : {r.body_skin, r.head_skin, r.bike_skin, r.wheel_skin})
            if (skin) {
                EXPECT_TRUE(fs::exists(data + "/" + (skin + 1))) << i << " " << skin;
            }
    }
}

TEST(ai_rider_table, upgrade_table_renames_only_the_four_250s)
{
    struct {
        const char *in, *out;
    } rows[] = {{"crf250", "crf250(2008)"}, {"kx250f", "kx250f(2008)"}, {"rmz250", "rmz250(2008)"},
                {"yz250f", "yz250f(2008)"}, {"yz250f_se(2006)", "yz250f_se(2006)"}, {"kx125", "kx125"},
                {"crf250(2008)", "crf250(2008)"}, {"", ""}};
    for (auto& r : rows) EXPECT_STREQ(bike_name_upgrade(r.in), r.out) << r.in;
}

TEST(gate_pick_order, is_one_cycle_through_all_rows_and_follows_the_seed)
{
    for (uint32_t seed : {0u, 1u, 7u, 1234567u, 0xFFFFFFFFu}) {
        gate_pick_shuffle(seed);
        // Following i -> order[i] from 0 comes back to 0 after exactly 80 steps.
        std::set<int32_t> seen;
        int32_t at = 0;
        for (int step = 0; step < ai_row_count; step++) {
            EXPECT_TRUE(seen.insert(at).second) << "seed " << seed << " revisits " << at;
            at = gate_pick_order[at];
            ASSERT_GE(at, 0);
            ASSERT_LT(at, ai_row_count);
        }
        EXPECT_EQ(at, 0) << seed;
    }
    gate_pick_shuffle(42);
    int32_t first[ai_row_count];
    memcpy(first, gate_pick_order, sizeof first);
    gate_pick_shuffle(42);
    EXPECT_EQ(memcmp(first, gate_pick_order, sizeof first), 0) << "same seed, same order";
    gate_pick_shuffle(43);
    EXPECT_NE(memcmp(first, gate_pick_order, sizeof first), 0);
}

// Pick order set to the identity, then some rows moved, per case.
TEST(gate_pick_order, kinds_take_their_rows)
{
    struct pick_case {
        const char* what;
        int32_t kind, m;
        int32_t expected_row;
    } cases[] = {
        {"kind 2 takes the row at m", 2, 7, 7},
        {"kind 3 at m = 30: the last 125 scanning from 79 down is none (rows 31..79 are 250s)", 3, 30, 30},
        {"kind 3 at m = 5: row 19 is the first 125 from the end", 3, 5, 19},
        {"kind 4 at m = 2: row 79 is a 250", 4, 2, 79},
        {"kind 1025 finds row \"25\"", 1025, 0, 5},
        {"kind 1005: no row \"5\", the row at m", 1005, 12, 12},
        {"kind 1099 at m = 79: no scan past the end, the row at m", 1099, 79, 79},
        {"an 81st AI rider wraps to position 1", 2, 81, 1},
        {"the 160th wraps to position 79", 2, 159, 79},
    };
    for (const pick_case& c : cases) {
        for (int32_t i = 0; i < ai_row_count; i++) gate_pick_order[i] = i;
        EXPECT_EQ(ai_row_take(c.kind, c.m), c.expected_row) << c.what;
        // The order stays a permutation.
        std::set<int32_t> rows(gate_pick_order, gate_pick_order + ai_row_count);
        EXPECT_EQ(rows.size(), 80u) << c.what;
    }
    // The swap: a second 125 rider after the first gets the next 125 down.
    for (int32_t i = 0; i < ai_row_count; i++) gate_pick_order[i] = i;
    EXPECT_EQ(ai_row_take(3, 2), 19);
    EXPECT_EQ(gate_pick_order[2], 19);
    EXPECT_EQ(gate_pick_order[19], 2);
    EXPECT_EQ(ai_row_take(3, 3), 2) << "the row swapped out is the first 125 from the end now";
    EXPECT_EQ(gate_pick_order[19], 3);
}

TEST(slot_kinds, prepared_for_the_reset)
{
    int32_t out[slot_total];
    // Lap mode: the player alone in slot 0.
    EXPECT_EQ(slot_kinds_prepare(nullptr, 0, 33, out), 0);
    EXPECT_EQ(out[0], 1);
    for (int k = 1; k < slot_total; k++) EXPECT_EQ(out[k], 0) << k;

    int32_t kinds[slot_total] = {};
    // All empty, no demo: an AI rider in slot 0, the watched slot stays.
    EXPECT_EQ(slot_kinds_prepare(kinds, 0, 33, out), 33);
    EXPECT_EQ(out[0], 2);
    // All empty with a demo open: its riders fill the slots, slot 0 watched.
    EXPECT_EQ(slot_kinds_prepare(kinds, 1, 33, out), 0);
    EXPECT_EQ(out[0], 0);
    // The first non-empty slot is watched; the first player wins over it and
    // a second player slot becomes empty.
    kinds[4] = 2, kinds[9] = 1, kinds[12] = 1, kinds[20] = 500;
    EXPECT_EQ(slot_kinds_prepare(kinds, 0, 0, out), 9);
    EXPECT_EQ(out[4], 2);
    EXPECT_EQ(out[9], 1);
    EXPECT_EQ(out[12], 0);
    EXPECT_EQ(out[20], 500) << "kinds 6..999 stay, as empty slots";
    kinds[9] = kinds[12] = 0;
    EXPECT_EQ(slot_kinds_prepare(kinds, 0, 0, out), 4);
}

TEST(names_from_outside, stay_inside_the_data_roots)
{
    struct {
        const char* name;
        int track, skin;
    } rows[] = {{"tracks/practice", 1, 0}, {"@rider_body-alt1.png", 1, 1}, {"../../etc", 0, 0},
                {"tracks/../../x", 0, 0},  {"/dev/zero", 0, 0},            {"\\\\server\\x", 0, 0},
                {"@../x.png", 0, 0},      {"@/dev/zero", 1, 0},           {"", 0, 0},
                {"@", 1, 0},              {"skin.png", 1, 0}};
    for (auto& r : rows) {
        EXPECT_EQ(track_name_safe(r.name), r.track) << r.name;
        EXPECT_EQ(skin_name_safe(r.name), r.skin) << r.name;
    }
    EXPECT_EQ(track_name_safe(nullptr), 0);
    EXPECT_EQ(skin_name_safe(nullptr), 0);
}

TEST(start_places, behind_the_gates_in_rows)
{
    timing_gates_record saved_gates = timing_gates;
    timing_gates = timing_gates_record{};
    // Without gates: a line along x from the terrain's centre, 5 ft apart.
    track_terrain.extent = 512;
    for (int32_t p : {0, 1, 39}) {
        start_place s = start_place_of(p);
        EXPECT_FLOAT_EQ(s.x, 256 + 5 * p);
        EXPECT_FLOAT_EQ(s.z, 256);
        EXPECT_FLOAT_EQ(s.angle, 0);
    }
    // 20 gates 4 ft apart along x, all at z 100 facing -z (angle 0): the
    // rows go back toward +z, (row + 1/16) x 10 ft from the gate.
    timing_gates.start_gate_count = 20;
    for (int g = 0; g < 20; g++) timing_gates.start_gates[g] = start_gate{float(g) * 4, 0, 100, 0, -1, 0, 0};
    struct {
        int32_t p;
        float x, z;
    } rows[] = {{0, 0, 100.625f}, {19, 76, 100.625f}, {20, 0, 110.625f}, {45, 20, 120.625f}, {159, 76, 170.625f}};
    for (auto& r : rows) {
        start_place s = start_place_of(r.p);
        EXPECT_NEAR(s.x, r.x, 1e-4) << r.p;
        EXPECT_NEAR(s.z, r.z, 1e-4) << r.p;
    }
    // A gate turned a quarter: riders face -x, rows go back toward +x.
    timing_gates.start_gates[5].angle = float(M_PI / 2);
    start_place s = start_place_of(45);
    EXPECT_NEAR(s.x, 20 + 20.625f, 1e-4);
    EXPECT_NEAR(s.z, 100, 1e-4);
    timing_gates = saved_gates;
    track_terrain.extent = 0;
}

// ---- whole resets ------------------------------------------------------------

long resident_kib()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct reset_fixture : generated_race {
    void SetUp() override
    {
        home_name = "zt_reset";
        seed = "7";
        console_clear();
        generated_race::SetUp();
        debug_level = 1;
        snprintf(settings.track, sizeof settings.track, "tracks/practice");
    }
    void TearDown() override
    {
        generated_race::TearDown();
        debug_level = 0;
    }
    // A race of n AI riders in slots 0..n-1 on the menu's track.
    void race(const char* folder, int n)
    {
        snprintf(settings.track, sizeof settings.track, "%s", folder);
        int32_t kinds[slot_total] = {};
        for (int k = 0; k < n; k++) kinds[k] = 2;
        reset_session(kinds, 0, 0, 0, 3, 0);
    }
    int rider_count() const
    {
        int n = 0;
        for (rider* r : rider_table) n += r != nullptr;
        return n;
    }
    std::vector<std::string> console_since(int from) const
    {
        std::vector<std::string> lines;
        for (int i = from; i < message_log.write_index; i++) lines.push_back(message_log.lines[i % console_line_count]);
        return lines;
    }
};

double horizontal_distance(const double* a, const double* b) { return std::hypot(a[0] - b[0], a[2] - b[2]); }

TEST_F(reset_fixture, forty_riders_stand_on_their_gates_on_the_ground_apart)
{
    for (const char* folder : {"tracks/practice", "tracks/stadium"}) {
        SCOPED_TRACE(folder);
        race(folder, 40);
        ASSERT_STREQ(track_dir, folder);
        const int32_t gates = timing_gates.start_gate_count;
        ASSERT_GE(gates, 6) << "the generated tracks have a start gate row";
        ASSERT_EQ(rider_count(), 40);
        for (int k = 0; k < slot_total; k++) EXPECT_EQ(slot_status[k], k < 40 ? 2 : 1) << k;
        EXPECT_EQ(watched_slot, 0);
        EXPECT_GE(gate_drop_tic, 13 * 128);
        EXPECT_LT(gate_drop_tic, 15 * 128);
        EXPECT_EQ(halfway_lap, 2);
        EXPECT_EQ(lap_limit, 3);

        for (int k = 0; k < 40; k++) {
            const rider* r = rider_table[k];
            const double* at = dBodyGetPosition(r->frame_body);
            // The same bike turned the same way: a rider one row back stands
            // exactly 10 ft behind along the gate's heading.
            if (k + gates < 40) {
                const double* behind = dBodyGetPosition(rider_table[k + gates]->frame_body);
                EXPECT_NEAR(horizontal_distance(at, behind), 10.0, 1e-3) << k;
                const start_gate& g = timing_gates.start_gates[k % gates];
                double back = (behind[0] - at[0]) * sin(g.angle) + (behind[2] - at[2]) * cos(g.angle);
                EXPECT_NEAR(back, 10.0, 1e-3) << "away from the way it faces, slot " << k;
            }
            // On the ground: the lowest wheel sphere is off the ground by less
            // than one lift step (1/4 ft), plus what the ground rises under a
            // wheel's footprint, and not in it.
            world_sphere spheres[rider_sphere_max];
            int n = rider_world_spheres(r, spheres);
            double gap = 1e9;
            for (int i = 0; i < n; i++) {
                if (spheres[i].part == 1) continue;
                const double* c = spheres[i].centre;
                gap = std::min(gap, c[1] - spheres[i].radius - terrain_height_at(&track_terrain, float(c[0]), float(c[2])));
            }
            EXPECT_GE(gap, 0.0) << "slot " << k;
            EXPECT_LT(gap, 0.3) << "slot " << k;
        }
        // Not inside another: no two riders' spheres overlap.
        static world_sphere a[rider_sphere_max], b[rider_sphere_max];
        for (int i = 0; i < 40; i++) {
            int na = rider_world_spheres(rider_table[i], a);
            for (int j = i + 1; j < 40; j++) {
                int nb = rider_world_spheres(rider_table[j], b);
                for (int p = 0; p < na; p++)
                    for (int q = 0; q < nb; q++) {
                        double d = std::sqrt((a[p].centre[0] - b[q].centre[0]) * (a[p].centre[0] - b[q].centre[0]) +
                                             (a[p].centre[1] - b[q].centre[1]) * (a[p].centre[1] - b[q].centre[1]) +
                                             (a[p].centre[2] - b[q].centre[2]) * (a[p].centre[2] - b[q].centre[2]));
                        ASSERT_GE(d, a[p].radius + b[q].radius) << "riders " << i << " and " << j;
                    }
            }
        }
    }
}

TEST_F(reset_fixture, the_grid_rolls_forward_when_the_gate_drops)
{
    race("tracks/practice", 40);
    ASSERT_EQ(rider_count(), 40);
    double start[40][3];
    for (int k = 0; k < 40; k++) {
        memcpy(start[k], dBodyGetPosition(rider_table[k]->frame_body), sizeof start[k]);
        // The gate is down: brakes and foot off, first gear, clutch out, a
        // little throttle.
        rider* r = rider_table[k];
        rider_set_front_brake(r, 0);
        rider_set_rear_brake(r, 0);
        rider_set_dab(r, 0);
        rider_set_gear(r, 1);
        rider_set_clutch(r, 1);
        rider_set_throttle(r, 0.4f);
    }
    ride_world w = physics_current();
    for (int tic = 0; tic < 2 * 128; tic++) ride_step(w, rider_table, 40);
    for (int k = 0; k < 40; k++) {
        const start_gate& g = timing_gates.start_gates[k % timing_gates.start_gate_count];
        const double* at = dBodyGetPosition(rider_table[k]->frame_body);
        // Forward is (-sin a, -cos a). Two seconds from rest at even 1 ft/s^2
        // is 2 ft; a bike in first gear does far more, one left standing none.
        double forward = -(at[0] - start[k][0]) * sin(g.angle) - (at[2] - start[k][2]) * cos(g.angle);
        EXPECT_GT(forward, 2.0) << "slot " << k;
        EXPECT_TRUE(std::isfinite(at[1])) << k;
    }
}

TEST_F(reset_fixture, a_rider_driven_into_the_gate_touches_its_statue)
{
    race("tracks/practice", 1);
    ASSERT_GE(timing_gates.start_gate_count, 1);
    const start_gate& g = timing_gates.start_gates[0];
    ASSERT_GE(g.statue, 0);
    ASSERT_NE(statue_at(g.statue)->shape, nullptr) << "the generated start gate has a shape";
    rider* r = rider_table[0];
    tic_counter = 1234;
    // Before the drop the tic holds the gates up: their flaps' lips raised.
    gate_drop_tic = tic_counter + 1;
    start_gates_animate();
    for (int k = 0; k < timing_gates.start_gate_count; k++) statue_at(timing_gates.start_gates[k].statue)->last_touch_tic = 0;
    // Where it waits, its front tyre is clear of the raised lip; ten feet
    // back nothing is near.
    start_gates_collide(r);
    dJointGroupEmpty(contact_joint_group);
    EXPECT_EQ(statue_at(g.statue)->last_touch_tic, 0);
    rider_translate(r, 10 * sin(g.angle), 0, 10 * cos(g.angle));
    start_gates_collide(r);
    dJointGroupEmpty(contact_joint_group);
    EXPECT_EQ(statue_at(g.statue)->last_touch_tic, 0);
    // Half a foot past where it waited: its front tyre (centre some 1.8 ft
    // past the gate line, 1.1 ft up, radius 1.07 ft) runs into the raised
    // lip (balls of 0.15 ft about 2.55 ft past the line, at the ground).
    double ahead = 10 + 0.5;
    rider_translate(r, -ahead * sin(g.angle), 0, -ahead * cos(g.angle));
    start_gates_collide(r);
    dJointGroupEmpty(contact_joint_group);
    EXPECT_EQ(statue_at(g.statue)->last_touch_tic, 1234);
    start_gates_collide(nullptr);
}

TEST_F(reset_fixture, a_timed_race_and_lap_mode_set_their_clocks)
{
    int32_t kinds[slot_total] = {2};
    reset_session(kinds, 0, 0, 128 * 60, 3, 0);
    EXPECT_EQ(halfway_lap, 1000000);
    EXPECT_EQ(lap_limit, 1000000);
    EXPECT_EQ(lap_mode, 0);
    EXPECT_EQ(tic_counter, 0);
    reset_session(nullptr, 0, 0, 0, 1000, 0);
    EXPECT_EQ(lap_mode, 1);
    EXPECT_EQ(tic_counter, 38400);
    EXPECT_EQ(slot_status[0], 0);
    // The free camera waits 5 ft above the watched rider.
    const double* at = dBodyGetPosition(rider_table[0]->frame_body);
    EXPECT_FLOAT_EQ(free_camera.x, float(at[0]));
    EXPECT_FLOAT_EQ(free_camera.y, float(at[1]) + 5.0f);
    EXPECT_FLOAT_EQ(free_camera.z, float(at[2]));
    EXPECT_EQ(rider_count(), 1);
    EXPECT_EQ(watched_slot, 0);
}

// Riders shown from history come with their records: a demo's rider lines
// fill kind-0 slots in header order, the server's rider infos fill kind-5
// slots. Paints from elsewhere are opened only when they are safe names.
TEST_F(reset_fixture, demo_and_network_riders_come_from_their_records)
{
    fs::create_directories(home / "Zentrik" / "demos");
    fs::path demo = home / "Zentrik" / "demos" / "three.ztdemo";
    {
        std::ofstream out(demo, std::ios::binary);
        out << "ZT06   2          0    2 1800\ntracks/stadium\n"
            << "crf250(2008)|@rider_body-alt1.png|../../etc/passwd|@wheels-alt1.png|\n41\nAnna Demo\n\n"
            << "kx125||||\n7\nBert Demo\n\n";
    }
    std::string file = demo.string();
    options.file = file.c_str();
    net_rider_info& info = net_rider_infos[9];
    info = net_rider_info{};
    snprintf(info.bike, sizeof info.bike, "%s", "yz250f");
    snprintf(info.number, sizeof info.number, "%s", "88");
    snprintf(info.name, sizeof info.name, "%s", "Net Rider");
    snprintf(info.rider_skin, sizeof info.rider_skin, "%s", "@rider_body-alt2.png");
    int32_t kinds[slot_total] = {};
    kinds[9] = 5;
    reset_session(kinds, 1, 0, 0, 1000, 0);
    options.file = nullptr;
    ASSERT_STREQ(track_dir, "tracks/stadium");
    // Slots 0 and 1 take the demo's two riders; slot 2 (kind 0, no rider
    // left) stays empty; slot 9 is the server's rider.
    ASSERT_NE(rider_table[0], nullptr);
    ASSERT_NE(rider_table[1], nullptr);
    EXPECT_EQ(rider_table[2], nullptr);
    ASSERT_NE(rider_table[9], nullptr);
    EXPECT_EQ(rider_count(), 3);
    for (int k : {0, 1, 9}) EXPECT_EQ(slot_status[k], slot_driven_by_history) << k;
    EXPECT_STREQ(rider_table[0]->number, "41");
    EXPECT_STREQ(rider_table[1]->number, "7");
    EXPECT_STREQ(rider_table[9]->number, "88");
    EXPECT_STREQ(slot_rider_name[0], "Anna Demo");
    EXPECT_STREQ(slot_rider_name[1], "Bert Demo");
    EXPECT_STREQ(slot_rider_name[9], "Net Rider");
    EXPECT_EQ(demo_slot_map[0], 0);
    EXPECT_EQ(demo_slot_map[1], 1);
    EXPECT_EQ(demo_slot_map[2], -1);
    EXPECT_STREQ(rider_table[0]->rider_texture.name, "@rider_body-alt1.png");
    EXPECT_STREQ(rider_table[9]->rider_texture.name, "@rider_body-alt2.png");
    // The path-like bike paint is never opened: the bike keeps its own.
    EXPECT_EQ(std::string(rider_table[0]->bike_texture.name).find(".."), std::string::npos);
    // The replay runs the recorded race's clock.
    EXPECT_EQ(gate_drop_tic, 1800);
    EXPECT_EQ(race_laps, 2);
    EXPECT_EQ(lap_limit, 2);
    // The first slot whose kind is not 0 is watched.
    EXPECT_EQ(watched_slot, 9);
    net_rider_infos[9] = net_rider_info{};
}

// The lap mode's restart puts the player at the gate of the lap sequence its
// counter picks, placed as the reset places riders: over the checkpoint,
// facing the side it is passed toward, on the ground.
TEST_F(reset_fixture, a_lap_mode_restart_stands_the_player_at_the_picked_gate)
{
    snprintf(settings.track, sizeof settings.track, "%s", "tracks/stadium");
    reset_session(nullptr, 0, 0, 0, 1000, 0);
    ASSERT_EQ(lap_mode, 1);
    const timing_gates_record& g = timing_gates;
    ASSERT_GT(g.normal_lap_entries, 2);
    for (int32_t restarts : {2, 3, 4}) {
        SCOPED_TRACE(restarts);
        lap_mode_restart_count = restarts;
        lap_mode_restart();
        int32_t c = lap_restart_index(g.first_lap_entries, g.normal_lap_entries, restarts);
        ASSERT_GT(c, 0);
        int32_t e = g.lap_entries[c - 1];
        if (e >= lap_entry_marked) e -= lap_entry_marked;
        const checkpoint& cp = g.checkpoints[e];
        const rider* r = rider_table[0];
        ASSERT_NE(r, nullptr);
        double at[3] = {cp.x, 0, cp.z};
        EXPECT_LT(horizontal_distance(dBodyGetPosition(r->frame_body), at), 3.0);
        // The frame faces its -z axis: that axis lies along the checkpoint's
        // direction.
        const double* m = dBodyGetRotation(r->frame_body);
        double forward[3] = {-m[2], -m[6], -m[10]};
        double along = (forward[0] * cp.dx + forward[2] * cp.dz) / std::hypot(cp.dx, cp.dz);
        EXPECT_GT(along, 0.95);
        EXPECT_EQ(rider_gate_count(r), std::max(g.first_lap_entries - 1, 0));
        EXPECT_EQ(tic_counter, 38400);
    }
}

TEST_F(reset_fixture, loads_repeat_under_a_fixed_seed)
{
    race("tracks/practice", 10);
    int32_t drop = gate_drop_tic;
    uint8_t digest[20];
    memcpy(digest, track_digest, sizeof digest);
    int32_t order[ai_row_count];
    memcpy(order, gate_pick_order, sizeof order);
    track_free();
    race("tracks/practice", 10);
    EXPECT_EQ(gate_drop_tic, drop);
    EXPECT_EQ(memcmp(digest, track_digest, sizeof digest), 0);
    EXPECT_EQ(memcmp(order, gate_pick_order, sizeof order), 0);
    // The other track has other files: another digest.
    race("tracks/stadium", 10);
    EXPECT_NE(memcmp(digest, track_digest, sizeof digest), 0);
}

TEST_F(reset_fixture, fifty_restarts_leave_tables_and_memory_where_the_first_load_did)
{
    race("tracks/practice", 40);
    int scanning_before = 0;
    for (const std::string& line : console_since(0)) scanning_before += line.find("cameras found") != std::string::npos;
    ASSERT_EQ(scanning_before, 1);
    const int32_t billboards = track_objects.billboards.count, statues = track_objects.statues.count;
    const int32_t draw = track_objects.draw_list.count, flagger_count = flaggers.count;
    const int32_t cameras = track_cameras.count;
    ASSERT_GT(statues, 0);
    // What the script of the last race added is cut back at the restart.
    create_billboard(10, 0, 10, 2, 1, "@banner.png", origin_script);
    create_statue(10, 0, 10, 0, "@cone.qm", "@cone.png", "@cone.shp", origin_script);
    race("tracks/practice", 40);
    const int live = alloc_live_count();
    [[maybe_unused]] const long resident = resident_kib();
    int from = message_log.write_index;
    for (int i = 0; i < 49; i++) race("tracks/practice", 40);
    EXPECT_EQ(track_objects.billboards.count, billboards);
    EXPECT_EQ(track_objects.statues.count, statues);
    EXPECT_EQ(track_objects.draw_list.count, draw);
    EXPECT_EQ(flaggers.count, flagger_count);
    EXPECT_EQ(track_cameras.count, cameras);
    EXPECT_EQ(rider_count(), 40);
    EXPECT_EQ(alloc_live_count(), live);
#ifndef __SANITIZE_ADDRESS__
    // A leaked rider set is tens of kilobytes a restart, over a megabyte in
    // 49; the allocator may keep a little more of what it was handed back.
    // The address sanitizer holds freed blocks in quarantine, so resident
    // memory means nothing there: its leak checker and the live count above
    // stand in.
    EXPECT_LT(resident_kib() - resident, 1024) << "KiB grown";
#endif
    // No file was read again: the load's own lines are absent.
    for (const std::string& line : console_since(from)) EXPECT_EQ(line.find("cameras found"), std::string::npos) << line;
}

// A data root holding the generated one's files and broken track folders.
struct broken_root : reset_fixture {
    fs::path broken;
    void SetUp() override
    {
        reset_fixture::SetUp();
        broken = home / "data";
        fs::path data = generated_data_root();
        fs::create_directories(broken / "tracks");
        for (const auto& e : fs::directory_iterator(data))
            if (e.path().filename() != "tracks") fs::create_directory_symlink(e.path(), broken / e.path().filename());
        // The file index does not follow links into folders: the track is copied.
        fs::copy(data / "tracks/practice", broken / "tracks/practice", fs::copy_options::recursive);
        auto copy_track = [&](const char* name) {
            fs::copy(data / "tracks/practice", broken / "tracks" / name, fs::copy_options::recursive);
            std::ofstream(broken / "tracks" / name / "desc") << name << "\n";
        };
        copy_track("notiles");
        fs::remove(broken / "tracks/notiles/tilemap");
        copy_track("junkgates");
        std::ofstream(broken / "tracks/junkgates/timing_gates") << "startinggate:\n[1 2 zz\n";
        copy_track("hugecounts");
        std::ofstream gates(broken / "tracks/hugecounts/timing_gates");
        gates << "startinggate:\n";
        for (int g = 0; g < 161; g++) gates << "[" << 100 + g * 3 << " 0 120] 1e30\n";
        gates << "checkpoints:\n1e38 [nan 0 0] [1 0 0]\n";
        gates.close();
        std::ofstream(broken / "tracks/hugecounts/cameras") << "gate 2000000000 -5\nfov 1e30\naddcamera 1e38 0 1\n";
        std::ofstream(broken / "tracks/hugecounts/statues") << "[1e38 0 -1e38] 1e30 @hay_bale.qm @hay_bale.png @hay_bale.shp\n";
        use_root(broken.string());
    }
};

TEST_F(broken_root, a_broken_track_stops_with_one_line_and_the_next_loads)
{
    race("tracks/practice", 8);
    ASSERT_STREQ(track_dir, "tracks/practice");
    ASSERT_EQ(rider_count(), 8);
    int from = message_log.write_index;
    race("tracks/notiles", 8);
    EXPECT_EQ(track_dir[0], 0) << "no track loaded";
    EXPECT_EQ(rider_count(), 0);
    EXPECT_EQ(track_objects.billboards.count, 0) << "the tables made before the terrain failed are freed";
    int failures = 0;
    for (const std::string& line : console_since(from)) failures += line.find("tracks/notiles") != std::string::npos;
    EXPECT_EQ(failures, 1) << testing::PrintToString(console_since(from));

    for (const char* damaged : {"tracks/junkgates", "tracks/hugecounts"}) {
        SCOPED_TRACE(damaged);
        from = message_log.write_index;
        race(damaged, 8);
        EXPECT_STREQ(track_dir, damaged) << "damaged furniture files do not stop the load";
        EXPECT_EQ(rider_count(), 8);
        int errors = 0;
        for (const std::string& line : console_since(from))
            errors += line.find("Error") != std::string::npos || line.find("error") != std::string::npos;
        // The gates file stops at its first damage with one line; the other
        // files go on past what they can't use.
        EXPECT_EQ(errors, 1) << testing::PrintToString(console_since(from));
        for (int k = 0; k < 8; k++) {
            const double* at = dBodyGetPosition(rider_table[k]->frame_body);
            EXPECT_TRUE(std::isfinite(at[0]) && std::isfinite(at[1]) && std::isfinite(at[2])) << k;
        }
    }
    from = message_log.write_index;
    race("tracks/practice", 8);
    EXPECT_STREQ(track_dir, "tracks/practice") << testing::PrintToString(console_since(from));
    EXPECT_EQ(rider_count(), 8);
    EXPECT_EQ(timing_gates.start_gate_count, 8);
}

}  // namespace
