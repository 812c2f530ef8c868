/* The sweep's and the preload's mixer (splitmix64's finaliser): each draw of
 * a run follows from its seed alone. */
#pragma once
#include <stdint.h>

static inline uint64_t mix(uint64_t x)
{
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}
