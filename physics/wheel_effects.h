#pragma once
// What the wheels leave and tell: the once-per-tic contact refresh, the
// script queries on the contacts, roost particles and treadmarks. The
// particle emitter and the treadmark layer belong to the renderer; until it
// installs them they are not called.
#include <cstdint>

#include "physics/physics_tic.h"
#include "physics/rider.h"
#include "physics/wheel_contact.h"

// Roost particles per tic in hundredths (0..1000; "--roostfrequency").
extern int32_t roost_frequency;

// The renderer's roost emitter: throws count particles from a contact with a
// spread angle. Null: no particles.
extern void (*roost_emitter)(const wheel_contact* contact, int count, float spread);

// The renderer's treadmark layer: lays a mark when the wheel moved far enough
// and the surface allows, and moves the tracker (last x, state, last z).
extern void (*treadmark_place)(float tracker[3], const float point[3], float slip_speed, float wheel_speed,
                               int front);

// Roost particles per wheel this tic at frequency f: f / 100, plus one with
// probability (f mod 100) / 100 drawn from the random word.
int roost_count(int32_t frequency, uint32_t random_word);

void roost_tic(const ride_world& w, rider* r);
void treadmarks_tic(const ride_world& w, rider* r);

// Script queries: each refreshes the contacts first (once per tic).
float rider_front_contact_depth(const ride_world& w, rider* r);
float rider_rear_contact_depth(const ride_world& w, rider* r);
int rider_front_contact_position(const ride_world& w, rider* r, float out[3]);
int rider_rear_contact_position(const ride_world& w, rider* r, float out[3]);
int rider_front_contact_slip(const ride_world& w, rider* r, float out[3]);
int rider_rear_contact_slip(const ride_world& w, rider* r, float out[3]);
int rider_front_contact_velocity(const ride_world& w, rider* r, float out[3]);
int rider_rear_contact_velocity(const ride_world& w, rider* r, float out[3]);
