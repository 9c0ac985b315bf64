// Clock, thread id and sleep on Windows.
#include <sys/timeb.h>
#include <windows.h>

#include "platform/platform.h"

namespace platform {

ClockReading readClock() {
    __timeb64 now{};
    _ftime64(&now);
    ClockReading reading{};
    reading.seconds = static_cast<std::int32_t>(now.time);
    reading.milliseconds = now.millitm;
    reading.minutesWest = now.timezone;
    reading.daylight = now.dstflag;
    return reading;
}

std::int64_t monotonicMicroseconds() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<std::int64_t>(counter.QuadPart / frequency.QuadPart * 1000000 +
                                     counter.QuadPart % frequency.QuadPart * 1000000 /
                                         frequency.QuadPart);
}

std::uint32_t currentThreadId() {
    return GetCurrentThreadId();
}

void sleepMilliseconds(std::uint32_t milliseconds) {
    Sleep(milliseconds);
}

}  // namespace platform
