#include "platform/vesk_clock.h"

#include <cerrno>
#include <ctime>

uint64_t vesk_time_ms()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000;
}

int vesk_get_time(int32_t* seconds, int32_t* microseconds)
{
    uint64_t ms = vesk_time_ms();
    *seconds = int32_t(ms / 1000);
    *microseconds = int32_t(ms % 1000) * 1000;
    return 1;
}

double vesk_sleep(int32_t seconds, int32_t microseconds)
{
    int64_t total_us = int64_t(seconds) * 1000000 + microseconds;
    if (total_us <= 0) return 0;
    timespec target;
    clock_gettime(CLOCK_MONOTONIC, &target);
    int64_t ns = int64_t(target.tv_nsec) + (total_us % 1000000) * 1000;
    target.tv_sec += time_t(total_us / 1000000 + ns / 1000000000);
    target.tv_nsec = long(ns % 1000000000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &target, nullptr) == EINTR) {
    }
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    double over = double(now.tv_sec - target.tv_sec) + double(now.tv_nsec - target.tv_nsec) * 1e-9;
    return over > 0 ? over : 0;
}
