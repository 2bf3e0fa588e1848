#pragma once
// The process-wide Mersenne Twister MT19937, seeded from the calendar clock at
// every race reset, so races are not repeatable.
#include <cstdint>

struct rng_state {
    uint32_t words[624];
    uint32_t index;
};

extern rng_state rng;

void mt_seed(uint32_t seed);
uint32_t mt_next();
