#pragma once
// A small world for riding tests: an ODE world with gravity, a contact group,
// a flat (or shaped) ground of 65 x 65 samples and riders built from bike
// rows, stepped in the race step's order.
#include <cstdint>
#include <string>
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

double rider_forward_speed(const rider* r);

// Throttle held to a speed, clutch in, brakes off.
void cruise(rider* r, double speed);

// Holds a steer input at 30 ft/s for `seconds`; after the first three (the
// turn-in) each second's path, distance over the heading's change, gives a
// radius that widens [*lo, *hi]. *farthest gets the frame's greatest
// distance from (cx, cz) over the ride.
void ride_steady_circle(ride_test_world& world, rider* r, float steer, int seconds, double* lo, double* hi,
                        double cx = 0, double cz = 0, double* farthest = nullptr);

// A bike row's name as a test name ("crf250(2013)" -> "crf250_2013_").
std::string bike_test_name(const ::testing::TestParamInfo<const char*>& info);
