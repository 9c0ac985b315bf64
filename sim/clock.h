#pragma once

#include <time.h>

#include <cstdint>

namespace sim {

// CLOCK_MONOTONIC in microseconds: the clock of every deadline and of the
// frame stamps, so a native benchmark can compare them with its own readings.
inline std::int64_t monotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

}  // namespace sim
