// Clock, thread id, sleep, byte order and error text on Windows.
#include <windows.h>
#include <sys/timeb.h>

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

std::uint32_t currentThreadId() { return GetCurrentThreadId(); }

void sleepMilliseconds(std::uint32_t milliseconds) { Sleep(milliseconds); }

// Byte order by hand rather than through ws2_32, so the DLL imports nothing
// but KERNEL32 and msvcrt.
std::uint32_t hostToNet(std::uint32_t value) {
    return ((value & 0xFFu) << 24) | ((value & 0xFF00u) << 8) | ((value >> 8) & 0xFF00u) |
           (value >> 24);
}
std::uint32_t netToHost(std::uint32_t value) { return hostToNet(value); }

std::string lastErrorText() {
    const DWORD code = GetLastError();
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0,
        nullptr);
    std::string result;
    if (length != 0 && text != nullptr) {
        result.assign(text, length);
    }
    if (text != nullptr) {
        LocalFree(text);
    }
    return result;
}

}  // namespace platform
