// The physics tic per rider, and 40 riders on the outdoor track (bumpy ground
// without the data root), against dWorldStep alone on the same bodies: with
// every joint of a tic (motors and contacts), with the motors only, and with
// the joints as built.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include <ode/ode.h>

#include "physics/physics_constants.h"
#include "physics/physics_ground.h"
#include "physics/physics_tic.h"
#include "physics/rider.h"
#include "physics/rider_access.h"
#include "physics/physics_world.h"
#include "physics/rider_build.h"
#include "physics/rider_collide.h"
#include "physics/tyre.h"
#include "terrain/terrain_load.h"

namespace {

struct bench_world {
    std::vector<float> heights;
    int32_t slip[1] = {1};
    float keys[1][8], values[1][8], roll_keys[1][8], roll_pairs[1][8][2];
    ride_world w{};
    std::vector<rider*> riders;

    bench_world(int count, bool bare)
    {
        dInitODE2(0);
        w.world = dWorldCreate();
        physics_world_setup(w.world);
        w.group = dJointGroupCreate(0);
        const int size = 257;
        heights.resize(size * size);
        for (int j = 0; j < size; j++)
            for (int i = 0; i < size; i++)  // rolling outdoor ground
                heights[i + size * j] = (float)(1.5 * std::sin(i * 0.11) * std::cos(j * 0.07) + 0.02 * ((i * 7 + j * 13) % 11));
        for (int k = 0; k < 8; k++) {
            keys[0][k] = friction_curve_end;
            values[0][k] = 1.0f;
            roll_keys[0][k] = 0.0f;
            roll_pairs[0][k][0] = 5.0f;
            roll_pairs[0][k][1] = 15.0f;
        }
        ground_view& g = w.ground;
        g.heights = heights.data();
        g.size = size;
        g.spacing = 2.0f;
        g.inv_spacing = 0.5f;
        g.slip_function = slip;
        g.friction_keys = keys;
        g.friction_values = values;
        g.roll_keys = roll_keys;
        g.roll_pairs = roll_pairs;
        // The generated outdoor track when the data root is at hand: the
        // riders line up on its start straight.
        bool outdoor = false;
        for (const char* folder : {"data/tracks/practice", "../data/tracks/practice", "build/data/tracks/practice"})
            if (!outdoor && terrain_load(&track_terrain, folder))
                outdoor = true;
        if (outdoor)
            g = ground_view_of(&track_terrain);
        const char* bikes[4] = {"crf250(2013)", "crf450(2011)", "cr125", "kx250f(2013)"};
        for (int n = 0; n < count; n++) {
            rider* r = rider_create(bikes[n % 4], n, 0, "1", nullptr, nullptr, nullptr, nullptr);
            rider_build(r, w.world);
            rider_fall(r);
            double x = 40.0 + (n % 8) * 50.0, z = 60.0 + (n / 8) * 80.0, heading = 0.0;
            if (outdoor)
                x = 140.0 + (n % 10) * 45.0, z = 108.0 + (n / 10) * 8.0, heading = -phys::pi / 2;
            double h = ground_height_at(g, x, z);
            for (;;) {
                rider_reset_pose(r);
                rider_set_orientation(r, 0, 1, 0, heading);
                rider_translate(r, x, h, z);
                int touching = bike_tyre_forces(w, r);
                dJointGroupEmpty(w.group);
                if (!touching)
                    break;
                h += 0.25;
            }
            rider_reset_controls(r);
            r->throttle = 0.6f;
            r->clutch = 1.0f;
            r->front_brake = r->rear_brake = 0.0f;
            r->steer = outdoor ? 0.0f : (n % 3 - 1) * 0.2f;  // a start: every rider straight on
            riders.push_back(r);
        }
        (void)bare;
    }
    ~bench_world()
    {
        for (rider* r : riders)
            rider_destroy(r);
        dJointGroupDestroy(w.group);
        dWorldDestroy(w.world);
        dCloseODE();
        terrain_free(&track_terrain);
    }
    void tic()
    {
        ride_step(w, riders.data(), int(riders.size()));
    }
};

// Every body's state as it stands before a step: put back before each timed
// bare step, so that every step starts from the tic's own state (stepping
// on from it would let the bodies fall freely, off what a tic steps).
struct body_snapshot {
    dBodyID body;
    dReal position[3], quaternion[4], linear[3], angular[3], force[3], torque[3];
};

std::vector<body_snapshot> take_snapshot(const bench_world& world)
{
    std::vector<body_snapshot> out;
    for (rider* r : world.riders) {
        dBodyID bodies[7];
        rider_bodies(r, bodies);
        for (dBodyID b : bodies) {
            body_snapshot s{};
            s.body = b;
            auto copy = [](dReal* to, const dReal* from, int n) {
                for (int k = 0; k < n; k++)
                    to[k] = from[k];
            };
            copy(s.position, dBodyGetPosition(b), 3);
            copy(s.quaternion, dBodyGetQuaternion(b), 4);
            copy(s.linear, dBodyGetLinearVel(b), 3);
            copy(s.angular, dBodyGetAngularVel(b), 3);
            copy(s.force, dBodyGetForce(b), 3);
            copy(s.torque, dBodyGetTorque(b), 3);
            out.push_back(s);
        }
    }
    return out;
}

void restore_snapshot(const std::vector<body_snapshot>& snapshot)
{
    for (const body_snapshot& s : snapshot) {
        dBodySetPosition(s.body, s.position[0], s.position[1], s.position[2]);
        dBodySetQuaternion(s.body, s.quaternion);
        dBodySetLinearVel(s.body, s.linear[0], s.linear[1], s.linear[2]);
        dBodySetAngularVel(s.body, s.angular[0], s.angular[1], s.angular[2]);
        dBodySetForce(s.body, s.force[0], s.force[1], s.force[2]);
        dBodySetTorque(s.body, s.torque[0], s.torque[1], s.torque[2]);
    }
}

// Times dWorldStep alone from the same state each time.
void time_bare_steps(benchmark::State& state, bench_world& world)
{
    std::vector<body_snapshot> snapshot = take_snapshot(world);
    for (auto _ : state) {
        state.PauseTiming();
        restore_snapshot(snapshot);
        state.ResumeTiming();
        dWorldStep(world.w.world, phys::tic_seconds);
    }
}

void BM_physics_tic_riders(benchmark::State& state)
{
    bench_world world((int)state.range(0), false);
    for (int i = 0; i < 128; i++)
        world.tic();  // settled and rolling
    for (auto _ : state)
        world.tic();
    state.counters["us_per_rider"] = benchmark::Counter(
        (double)state.iterations() * state.range(0), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_physics_tic_riders)->Arg(1)->Arg(40)->Unit(benchmark::kMicrosecond);

// The same bodies and joints, their motors as the tic last set them (the
// persistent joints' motors and the tic's lean motor), stepped by dWorldStep
// alone from the tic's state: no contacts, no per-rider work.
void BM_bare_world_step(benchmark::State& state)
{
    bench_world world((int)state.range(0), true);
    for (int i = 0; i < 128; i++)
        world.tic();
    time_bare_steps(state, world);
    state.counters["us_per_rider"] = benchmark::Counter(
        (double)state.iterations() * state.range(0), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_bare_world_step)->Arg(1)->Arg(40)->Unit(benchmark::kMicrosecond);

// dWorldStep alone on the same bodies and all the joints of a tic: the
// joints with their motors and this tic's contact joints (made, untimed, by
// the contact phase). The rest of the tic is our own work.
void BM_world_step_of_the_tic(benchmark::State& state)
{
    bench_world world((int)state.range(0), false);
    for (int i = 0; i < 128; i++)
        world.tic();
    for (auto _ : state) {
        state.PauseTiming();
        for (rider* r : world.riders)
            bike_tyre_forces(world.w, r);
        for (size_t i = 0; i < world.riders.size(); i++)
            for (size_t j = i + 1; j < world.riders.size(); j++)
                riders_collide(world.w, world.riders[i], world.riders[j], 0);
        state.ResumeTiming();
        dWorldStep(world.w.world, phys::tic_seconds);
        state.PauseTiming();
        dJointGroupEmpty(world.w.group);
        for (rider* r : world.riders)
            bike_physics_tic(world.w, r);
        world.w.tic++;
        state.ResumeTiming();
    }
    state.counters["us_per_rider"] = benchmark::Counter(
        (double)state.iterations() * state.range(0), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_world_step_of_the_tic)->Arg(1)->Arg(40)->Unit(benchmark::kMicrosecond);

// The joints as built: no motors, only the joint rows and their stops.
void BM_bare_world_as_built(benchmark::State& state)
{
    bench_world world((int)state.range(0), true);
    time_bare_steps(state, world);
    state.counters["us_per_rider"] = benchmark::Counter(
        (double)state.iterations() * state.range(0), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_bare_world_as_built)->Arg(1)->Arg(40)->Unit(benchmark::kMicrosecond);

}  // namespace
