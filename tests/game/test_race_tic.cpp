// Races on a generated track: the track's terrain and timing gates loaded as
// the track load does, ten riders standing at the start gates, recorded
// inputs driving them and run_tic running the race. The same seed and inputs
// must give bit-identical riders. (The race reset itself loads textures, so
// it needs a GL context; these riders are placed here instead.)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <ode/ode.h>

#include "core/game_state.h"
#include "core/ripemd160.h"
#include "core/vfs.h"
#include "core/rng.h"
#include "game/race_reset.h"
#include "game/timing_gates.h"
#include "game/track_objects.h"
#include "game/results.h"
#include "game/sim_tic.h"
#include "game/track_list.h"
#include "physics/physics_ground.h"
#include "physics/physics_tic.h"
#include "physics/physics_world.h"
#include "physics/rider_build.h"
#include "physics/rider.h"
#include "physics/rider_access.h"
#include "physics/rider_state.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"
#include "terrain/terrain_load.h"

namespace fs = std::filesystem;

namespace {

constexpr int race_riders = 10;

struct race_tic : ::testing::Test {
    std::string tmp;
    void SetUp() override
    {
        char pattern[] = "/tmp/zt_race_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        tmp = pattern;
        fs::create_directories(tmp + "/home/Zentrik");
        setenv("XDG_DATA_HOME", (tmp + "/home").c_str(), 1);
        // Tests run in build/tests; the generator writes build/data.
        fs::path data = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "data";
        setenv("ZT_HOME", data.c_str(), 1);
        setenv("ZT_SEED", "20261210", 1);
        vfs_shutdown();
        vfs_build_index();
        track_object_services_reset();
        track_object_hooks.texture_load = [](const char*) { return 0; };
        track_object_hooks.model_load = [](const char*) -> mesh* { return nullptr; };
        physics_world_create();
    }
    void TearDown() override
    {
        for (int slot = 0; slot < rider_slot_count; slot++) {
            if (rider_table[slot]) rider_destroy(rider_table[slot]);
            rider_table[slot] = nullptr;
        }
        track_objects_free();
        timing_gates_clear();
        terrain_free(&track_terrain);
        physics_ground_flat();
        physics_world_destroy();
        track_object_services_reset();
        vfs_shutdown();
        unsetenv("ZT_SEED");
        unsetenv("ZT_HOME");
        unsetenv("XDG_DATA_HOME");
        fs::remove_all(tmp);
    }
};

// The recorded inputs: a rider's throttle, steering and brake at a tic, the
// same for every run (a function of slot and tic only).
void apply_inputs(int slot, rider* r, int32_t tic)
{
    double phase = slot * 0.7 + tic / 97.0;
    rider_set_clutch(r, 1.0f);
    rider_set_throttle(r, float(0.55 + 0.35 * std::sin(phase)));
    rider_set_steer(r, float(0.12 * std::sin(slot + tic / 53.0)));
    rider_set_front_brake(r, 0.0f);
    rider_set_rear_brake(r, tic % 640 < 32 ? 0.5f : 0.0f);
}

struct race_outcome {
    std::vector<uint8_t> state;  // every rider's packed state and raw frame position
    std::vector<double> travelled;
    std::string digest;
};

// A rider on the start grid: rider p stands at gate p mod G, (p div G +
// 0.0625) x 10 ft behind it, facing along it; lifted a quarter foot at a
// time while its tyres touch (as the race reset places riders).
rider* place_at_gate(int slot, const char* bike)
{
    int32_t gates = timing_gates.start_gate_count;
    const start_gate& g = timing_gates.start_gates[slot % gates];
    double back = (slot / gates + 0.0625) * 10.0;
    double x = g.x + back * std::sin(g.angle), z = g.z + back * std::cos(g.angle);
    rider* r = rider_create(bike, slot, 0, "1", nullptr, nullptr, nullptr, nullptr);
    if (!r) return nullptr;
    rider_table[slot] = r;
    slot_status[slot] = slot_driven_by_autopilot;
    double y = terrain_height_at(&track_terrain, float(x), float(z));
    for (int tries = 0; tries < 4096; tries++) {
        rider_reset_pose(r);
        rider_set_orientation(r, 0, 1, 0, g.angle);
        rider_translate(r, x, y, z);
        int touching = bike_tyre_forces(r);
        dJointGroupEmpty(contact_joint_group);
        if (!touching) break;
        y += 0.25;
    }
    rider_fall(r);  // simulated, not shown from a history
    rider_reset_controls(r);
    rider_set_gear(r, 1);
    return r;
}

// Ten riders on the stadium track for `tics` tics, from a fresh start.
race_outcome ride_race(int32_t tics)
{
    for (int slot = 0; slot < rider_slot_count; slot++) {
        if (rider_table[slot]) rider_destroy(rider_table[slot]);
        rider_table[slot] = nullptr;
    }
    track_objects_free();
    terrain_free(&track_terrain);
    EXPECT_EQ(terrain_load(&track_terrain, "@tracks/stadium"), 1);
    physics_ground_from_terrain(&track_terrain);
    track_objects_init();
    timing_gates_load("@tracks/stadium/timing_gates");
    EXPECT_GT(timing_gates.start_gate_count, 0);
    mt_seed(reset_seed());
    tic_counter = race_start_tic = 0;
    gate_drop_tic = 13 * 128;
    history_delay = 0;
    lap_mode = 0;
    results_final = 0;
    const char* bikes[4] = {"kx250f(2008)", "crf250(2008)", "cr125", "crf450(2011)"};
    race_outcome out;
    for (int slot = 0; slot < race_riders; slot++) place_at_gate(slot, bikes[slot % 4]);
    double start[race_riders][3] = {};
    for (int slot = 0; slot < race_riders; slot++) {
        EXPECT_NE(rider_table[slot], nullptr) << slot;
        if (!rider_table[slot]) return out;
        const dReal* p = dBodyGetPosition(rider_table[slot]->frame_body);
        for (int k = 0; k < 3; k++) start[slot][k] = p[k];
    }
    for (int32_t t = 0; t < tics; t++) {
        for (int slot = 0; slot < race_riders; slot++) apply_inputs(slot, rider_table[slot], tic_counter);
        run_tic();
        if (getenv("ZT_RACE_TRACE") && t % 32 == 0) printf("tic %d\n", t);
    }
    rider_state_ground ground = rider_state_track_ground();
    ripemd160_ctx digest;
    ripemd160_init(&digest);
    for (int slot = 0; slot < race_riders; slot++) {
        rider* r = rider_table[slot];
        rider_state_record record;
        rider_state_pack(r, ground, &record);
        out.state.insert(out.state.end(), record.bytes, record.bytes + rider_state_size);
        dBodyID bodies[7] = {r->frame_body, r->front_wheel_body, r->rear_wheel_body, r->fork_upper_body,
                             r->fork_lower_body, r->swingarm_body, r->rider_body};
        for (dBodyID b : bodies) {
            const auto* p = reinterpret_cast<const uint8_t*>(dBodyGetPosition(b));
            const auto* v = reinterpret_cast<const uint8_t*>(dBodyGetLinearVel(b));
            out.state.insert(out.state.end(), p, p + 3 * sizeof(dReal));
            out.state.insert(out.state.end(), v, v + 3 * sizeof(dReal));
        }
        const dReal* p = dBodyGetPosition(r->frame_body);
        out.travelled.push_back(std::hypot(p[0] - start[slot][0], p[2] - start[slot][2]));
    }
    ripemd160_update(&digest, out.state.data(), out.state.size());
    ripemd160_final(&digest);
    char hex[41];
    for (int i = 0; i < 20; i++) snprintf(hex + 2 * i, 3, "%02x", digest.digest[i]);
    out.digest = hex;
    return out;
}

// Run twice from the same seed and inputs, the riders end bit for bit the
// same. The digest is printed so that a normal and a sanitizer build of one
// compiler can be compared.
TEST_F(race_tic, the_same_seed_and_inputs_give_bit_identical_riders)
{
    const int32_t tics = 10 * 128;
    race_outcome a = ride_race(tics);
    ASSERT_EQ(a.travelled.size(), size_t(race_riders));
    EXPECT_EQ(tic_counter, tics);
    race_outcome b = ride_race(tics);
    ASSERT_EQ(a.state.size(), b.state.size());
    EXPECT_TRUE(a.state == b.state) << "the second race differs";
    double most = 0;
    for (double d : a.travelled) most = std::max(most, d);
    printf("race digest after %d tics: %s (farthest rider %.1f ft)\n", tics, a.digest.c_str(), most);
    // Half throttle on average for 10 s: even a bike that falls at once has
    // rolled some feet; one that rides has gone a long way (at the 2 ft/s^2 a
    // gentle start makes, 100 ft).
    double sum = 0;
    for (double d : a.travelled) sum += d;
    EXPECT_GT(sum / race_riders, 10.0);
}

// With riders on the track and nobody finished, the results are not final:
// offline the player and the computer riders hold them open.
TEST_F(race_tic, results_stay_open_while_the_riders_ride)
{
    ride_race(256);
    EXPECT_EQ(ensure_results_written(), 0);
    for (int slot = 0; slot < race_riders; slot++) EXPECT_EQ(slot_is_hidden(slot), 0) << slot;
    EXPECT_EQ(slot_is_hidden(race_riders), 1);
}

} // namespace
