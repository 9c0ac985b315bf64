#include <sys/resource.h>
#include <time.h>

#include "bench/bench_host.h"

namespace bench {

std::int64_t monotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

bool wallClockMicroseconds(std::int64_t& microseconds) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    microseconds = static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
    return true;
}

bool sharesSimulatorClock() {
    return true;
}

CpuTime processCpuTime() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return {seconds(usage.ru_utime), seconds(usage.ru_stime), usage.ru_nvcsw};
}

const char* cpuTimeSource() {
    return "getrusage";
}

bool serverCpuTime(CpuTime&) {
    return false;
}

}  // namespace bench
