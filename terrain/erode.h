#pragma once
// Wheel ruts and ground deformation. Each wheel's rut tracker turns its
// contact, tic by tic, into averaged rut points gathered into strips of up to
// 64; a strip travels packed as an erode_strip_message (to the server, into
// demos, or straight back offline) and every machine unpacks it into the one
// erode queue, which the frame drains into digs and deposits of the heights.
#include <cstddef>
#include <cstdint>

#include "terrain/terrain.h"

constexpr int32_t erode_strip_max_points = 64;
constexpr int32_t erode_strip_max_bytes = 269;  // 17 + 4 x 63
constexpr int32_t erode_queue_capacity = 131072;
// A point closes after this many samples, so its 4-bit weight never wraps.
constexpr int32_t erode_point_max_samples = 15;
constexpr int32_t erode_no_deadline = 2147483647;

struct erode_point {
    float x, z;          // ground position
    float rut_x, rut_z;  // rut vector, each component -1..1
    int32_t weight;      // samples that built it; 4 bits travel
};

struct rut_tracker {
    erode_point points[erode_strip_max_points];
    float step_x_min, step_z_min, step_x_max, step_z_max;
    int32_t last_point_tic;
    int32_t point_count;
    float last_x, last_z;
    float sum_x, sum_z, sum_px, sum_pz;
    float distance;
    int32_t sample_count;
};

// What a wheel's contact tells its tracker, copied from the wheel contact by
// the physics each tic.
struct wheel_rut_input {
    float depth;             // > 0 while touching
    float point[3];          // contact point
    float slip_velocity[3];
    float force[3];          // contact joint feedback on the wheel
    float body_velocity[3];  // linear velocity of the wheel body
};

struct erode_queue_state {
    erode_point points[erode_queue_capacity];
    int32_t head, count;
    int32_t defer_until;   // tic, or erode_no_deadline
    int32_t full_reported; // "Erode queue full!" logged once per run
};

extern erode_queue_state erode_queue;

void erode_wheel_step(rut_tracker* tracker, const wheel_rut_input* contact, int front);
void erode_wheel_reset(rut_tracker* tracker);
void erode_debug_text(char* buffer, int size);
void erode_strip_add_point(rut_tracker* tracker);
// Packs the strip and hands it to send_erode_message; nothing when empty.
void erode_strip_flush(rut_tracker* tracker);

// Packs count (1..64) points with the step bounds (x min, z min, x max,
// z max) over a terrain of side extent; returns the length, 17 + 4(count-1).
// The bounds must lie within +-1023.9375 ft: a tracker starts a new strip
// rather than take a longer step.
int32_t erode_strip_pack(const erode_point* points, int32_t count, const float bounds[4], float extent,
                         uint8_t message[erode_strip_max_bytes]);
// Unpacks a message into points; returns their number, 0 for a message that
// is short, longer than 269 bytes or not of format 1.
int32_t erode_strip_unpack(const uint8_t* message, int32_t length, float extent,
                           erode_point points[erode_strip_max_points]);

// Queues the points of a message; zero rut vectors are dropped.
void erode_message_receive(const uint8_t* message, int32_t length);
void erode_queue_reset();
// The frame's budgeted drain; viewer is (x, y, z) or null; rate 0..100.
void erode_queue_apply(const float* viewer, float rate);
// Points the drain takes this frame for a backlog of queued points.
int32_t erode_queue_budget(int32_t queued);

// Adds amount x (1 - 3t^2 + 2t^3) to every sample within radius of (x, z)
// and returns the sum of the changes, samples outside the grid included.
float terrain_dig(terrain* t, float x, float z, float radius, float amount);
// Spreads amount over the same disc so that the changes sum to amount.
void terrain_deposit(terrain* t, float x, float z, float radius, float amount);
