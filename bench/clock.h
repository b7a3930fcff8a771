#pragma once

// One clock for the driver and its children: CLOCK_MONOTONIC is shared by
// every process on the machine, so a child can time itself from the moment
// the driver spawned it.

#include <cstdint>
#include <ctime>

namespace bench
{

inline std::int64_t nowNs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

inline double msBetween(std::int64_t fromNs, std::int64_t toNs) { return double(toNs - fromNs) / 1e6; }

} // namespace bench
