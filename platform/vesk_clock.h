#pragma once
// The platform clock: a 64-bit monotonic millisecond count since the system
// started, so it neither goes negative nor wraps.
#include <cstdint>

// Whole seconds and microseconds (a multiple of 1000). Returns 1.
int vesk_get_time(int32_t* seconds, int32_t* microseconds);
uint64_t vesk_time_ms();
// Sleeps for the duration; a total at or below zero returns at once. Returns
// the overshoot: seconds slept beyond the duration (0 when none).
double vesk_sleep(int32_t seconds, int32_t microseconds);
