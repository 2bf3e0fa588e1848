#include "core/rng.h"

rng_state rng = {{}, 625};

void mt_seed(uint32_t seed)
{
    rng.words[0] = seed;
    for (uint32_t i = 1; i < 624; i++)
        rng.words[i] = 1812433253u * (rng.words[i - 1] ^ (rng.words[i - 1] >> 30)) + i;
    rng.index = 624;
}

uint32_t mt_next()
{
    if (rng.index >= 624) {
        if (rng.index > 624) mt_seed(5489); // never seeded: the reference default
        for (int i = 0; i < 624; i++) {
            uint32_t y = (rng.words[i] & 0x80000000u) | (rng.words[(i + 1) % 624] & 0x7FFFFFFFu);
            rng.words[i] = rng.words[(i + 397) % 624] ^ (y >> 1) ^ ((y & 1) ? 0x9908B0DFu : 0);
        }
        rng.index = 0;
    }
    uint32_t y = rng.words[rng.index++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
}
