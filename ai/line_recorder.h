#pragma once
// The per-tic gate passage of every rider: which timing gate it crossed,
// the lap timing that follows, the recording of a person's runs that may
// become racing lines, and the statistics an auto-pilot rider leaves on the
// lines it rode.
#include <cstdint>

#include "physics/rider.h"

// Once per tic per present rider, after its physics step.
void line_recorder_tic(rider* r);

// The gate number at lap-sequence position q (first lap, then the normal
// lap repeating); -1 for a negative position or a track without gates.
int32_t gate_number_at(int32_t q);

// Offers the run of the section before position q's (the rider just passed
// q's gate) to that section's set: canceled, duplicate and too-slow runs
// are turned away, else the run takes an empty slot or the eviction victim.
// 1 when accepted.
int line_offer_run(rider* r, int32_t q);
