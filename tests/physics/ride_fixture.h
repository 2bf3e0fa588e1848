#pragma once
// A small world for riding tests: an ODE world with gravity, a contact group,
// a flat (or shaped) ground of 65 x 65 samples and riders built from bike
// rows, stepped in the race step's order.
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include <ode/ode.h>

#include "physics/physics_tic.h"
#include "physics/rider.h"

struct ride_test_world {
    std::vector<float> heights;
    int32_t slip_function[1] = {1};
    float friction_keys[1][8];
    float friction_values[1][8];
    float roll_keys[1][8];
    float roll_pairs[1][8][2];
    ride_world w{};
    std::vector<rider*> riders;

    explicit ride_test_world(float spacing = 2.0f);
    ~ride_test_world();
    void set_height(float (*height)(float x, float z));
    // A rider of the row at (x, z) heading along -z, dropped onto the ground.
    rider* add_rider(const char* bike, int slot, double x, double z, double heading = 0.0);
    void drop(rider* r, double x, double z, double heading);
    // One tic: contacts, world step, group emptied, forces for the next step.
    void tic();
    void run(int tics);
};

// Loads a generated track (the generator writes build/data/tracks/<name>;
// the tests run in build/tests) and, as the track load does, makes its
// terrain the program's ground and the world's. False when it can't be read.
bool ride_load_track(ride_test_world& world, const char* name);
// Frees the loaded track and puts the program's ground back to flat.
void ride_unload_track();

// One jump of a generated track as its "jumps" file lists it: where its
// face starts and the way it is ridden, the lip, the landing's crest, the
// straight downslope's end and the run-out's foot along that way (ft), the
// lip's height and angle and the design speed (ft/s).
struct track_jump {
    std::string name;
    double x, z, dx, dz;
    double lip, crest, slope_end, end;
    double lip_height, lip_degrees, design_speed;
};
// The track's jumps (build/data/tracks/<track>/jumps); empty when unread.
std::vector<track_jump> track_jumps(const char* track);
bool track_jump_find(const char* track, const char* name, track_jump* out);

double rider_forward_speed(const rider* r);

// Throttle held to a speed, clutch in, brakes off.
void cruise(rider* r, double speed);

// What a held circle measured: each second's path radius (distance over
// the turn of the direction of travel) after the turn-in
// and the speed at each second's end over the same seconds; the frame's
// greatest distance from a given point over the whole ride.
struct circle_measure {
    double radius_lo = 1e9, radius_hi = -1e9;
    double speed_lo = 1e9, speed_hi = -1e9;
    double farthest = 0;
};
// Holds a steer input at 30 ft/s for `seconds`, the first `turn_in` of them
// not measured.
circle_measure ride_steady_circle(ride_test_world& world, rider* r, float steer, int seconds, int turn_in,
                                  double cx = 0, double cz = 0);

// A bike row's name as a test name ("crf250(2013)" -> "crf250_2013_").
std::string bike_test_name(const ::testing::TestParamInfo<const char*>& info);
// A row and a model (1 arcade) as a test name ("cr125_arcade").
std::string bike_model_test_name(const ::testing::TestParamInfo<std::tuple<const char*, int>>& info);
