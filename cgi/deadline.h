// Deadlines of the waits on what is outside the process (IMI, imish): the
// monotonic clock, in milliseconds, which no change of the time of day moves.
#pragma once

#include <ctime>

inline long long monotonic_ms()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}
