#include <fstream>
#include <sstream>
#include "ride_fixture.h"

#include <algorithm>
#include <cmath>

#include "physics/physics_constants.h"
#include "physics/physics_ground.h"
#include "physics/rider_access.h"
#include "physics/physics_world.h"
#include "physics/rider_build.h"
#include "physics/rider_collide.h"
#include "physics/tyre.h"
#include "terrain/terrain_load.h"

ride_test_world::ride_test_world(float spacing)
{
    dInitODE2(0);
    w.world = dWorldCreate();
    physics_world_setup(w.world);
    w.group = dJointGroupCreate(0);
    heights.assign(65 * 65, 0.0f);
    for (int k = 0; k < 8; k++) {
        friction_keys[0][k] = friction_curve_end;
        friction_values[0][k] = 1.0f;
        roll_keys[0][k] = 0.0f;
        roll_pairs[0][k][0] = 5.0f;
        roll_pairs[0][k][1] = 15.0f;
    }
    ground_view& g = w.ground;
    g.heights = heights.data();
    g.size = 65;
    g.spacing = spacing;
    g.inv_spacing = 1.0f / spacing;
    g.slip_function = slip_function;
    g.friction_keys = friction_keys;
    g.friction_values = friction_values;
    g.roll_keys = roll_keys;
    g.roll_pairs = roll_pairs;
    w.tic = 0;
    w.start_tic = 0;
}

ride_test_world::~ride_test_world()
{
    for (rider* r : riders)
        rider_destroy(r);
    dJointGroupDestroy(w.group);
    dWorldDestroy(w.world);
    dCloseODE();
}

void ride_test_world::set_height(float (*height)(float x, float z))
{
    for (int j = 0; j < 65; j++)
        for (int i = 0; i < 65; i++)
            heights[i + 65 * j] = height(i * w.ground.spacing, j * w.ground.spacing);
}

void ride_test_world::drop(rider* r, double x, double z, double heading)
{
    double h = ground_sample(w.ground, (int32_t)std::floor(x * w.ground.inv_spacing),
                             (int32_t)std::floor(z * w.ground.inv_spacing));
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
    r->front_contact.depth = r->rear_contact.depth = 0.0f;
}

rider* ride_test_world::add_rider(const char* bike, int slot, double x, double z, double heading)
{
    rider* r = rider_create(bike, slot, 0, "1", nullptr, nullptr, nullptr, nullptr);
    // rider_create builds in the program's world when one exists; joints of
    // this world could not attach to those bodies.
    if (!rider_build(r, w.world)) {
        ADD_FAILURE() << "rider in slot " << slot << " was built before the test's world (program's world left alive?)";
        rider_destroy(r);
        return nullptr;
    }
    rider_fall(r);
    drop(r, x, z, heading);
    riders.push_back(r);
    return r;
}

void ride_test_world::tic()
{
    ride_step(w, riders.data(), int(riders.size()));
}

void ride_test_world::run(int tics)
{
    for (int i = 0; i < tics; i++)
        tic();
}

std::vector<track_jump> track_jumps(const char* track)
{
    std::vector<track_jump> out;
    std::ifstream in(std::string("../data/tracks/") + track + "/jumps");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream f(line);
        track_jump j;
        if (f >> j.name >> j.x >> j.z >> j.dx >> j.dz >> j.lip >> j.crest >> j.slope_end >> j.end >> j.lip_height >>
            j.lip_degrees >> j.design_speed)
            out.push_back(j);
    }
    return out;
}

bool track_jump_find(const char* track, const char* name, track_jump* out)
{
    for (const track_jump& j : track_jumps(track))
        if (j.name == name) {
            *out = j;
            return true;
        }
    return false;
}

double rider_forward_speed(const rider* r)
{
    const dReal* v = dBodyGetLinearVel(r->frame_body);
    const dReal* R = dBodyGetRotation(r->frame_body);
    return -(v[0] * R[2] + v[1] * R[6] + v[2] * R[10]);
}

void cruise(rider* r, double speed)
{
    r->throttle = (float)std::clamp((speed - rider_forward_speed(r)) * 0.3, 0.0, 1.0);
    r->clutch = 1.0f;
    r->front_brake = r->rear_brake = 0.0f;
    r->dab = 0.0f;
}

circle_measure ride_steady_circle(ride_test_world& world, rider* r, float steer, int seconds, int turn_in, double cx,
                                  double cz)
{
    circle_measure m;
    double heading0 = 0, distance = 0;
    for (int i = 0; i < 128 * seconds; i++) {
        cruise(r, 30.0);
        r->steer = steer;
        // The direction of travel, not the frame's heading: the frame yaws a
        // little about its path as the steering works.
        const dReal* v = dBodyGetLinearVel(r->frame_body);
        double heading = std::atan2(v[0], v[2]);
        if (i % 128 == 0) {
            if (i >= 128 * turn_in) {
                double radius = distance / std::fabs(std::remainder(heading - heading0, 2 * phys::pi));
                double speed = std::hypot(v[0], v[2]);
                m.radius_lo = std::min(m.radius_lo, radius);
                m.radius_hi = std::max(m.radius_hi, radius);
                m.speed_lo = std::min(m.speed_lo, speed);
                m.speed_hi = std::max(m.speed_hi, speed);
            }
            heading0 = heading;
            distance = 0;
        }
        world.tic();
        v = dBodyGetLinearVel(r->frame_body);
        distance += std::hypot(v[0], v[2]) * phys::tic_seconds;
        const dReal* p = dBodyGetPosition(r->frame_body);
        m.farthest = std::max(m.farthest, std::hypot(p[0] - cx, p[2] - cz));
    }
    return m;
}

bool ride_load_track(ride_test_world& world, const char* name)
{
    if (!terrain_load(&track_terrain, (std::string("../data/tracks/") + name).c_str()))
        return false;
    physics_ground_from_terrain(&track_terrain);
    world.w.ground = physics_ground;
    return true;
}

void ride_unload_track()
{
    terrain_free(&track_terrain);
    physics_ground_flat();
}

std::string bike_test_name(const ::testing::TestParamInfo<const char*>& info)
{
    std::string s = info.param;
    for (char& c : s)
        if (!isalnum((unsigned char)c))
            c = '_';
    return s;
}

std::string bike_model_test_name(const ::testing::TestParamInfo<std::tuple<const char*, int>>& info)
{
    ::testing::TestParamInfo<const char*> bike(std::get<0>(info.param), info.index);
    return bike_test_name(bike) + (std::get<1>(info.param) ? "_arcade" : "_realistic");
}
