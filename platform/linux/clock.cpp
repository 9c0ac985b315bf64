// Clock, thread id and sleep on Linux.
#include <sys/syscall.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"

namespace platform {

ClockReading readClock() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    const time_t seconds = now.tv_sec;
    localtime_r(&seconds, &local);
    ClockReading reading{};
    reading.seconds = static_cast<std::int32_t>(now.tv_sec);
    reading.milliseconds = static_cast<std::uint16_t>(now.tv_nsec / 1000000);
    // tm_gmtoff is east of UTC and includes daylight saving; _ftime's
    // timezone is the standard offset west of UTC.
    const long standardEast = local.tm_gmtoff - (local.tm_isdst > 0 ? 3600 : 0);
    reading.minutesWest = static_cast<std::int16_t>(-standardEast / 60);
    reading.daylight = static_cast<std::int16_t>(local.tm_isdst > 0 ? 1 : 0);
    return reading;
}

std::int64_t monotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

std::uint32_t currentThreadId() {
    return static_cast<std::uint32_t>(syscall(SYS_gettid));
}

void sleepMilliseconds(std::uint32_t milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / 1000),
                       static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

}  // namespace platform
