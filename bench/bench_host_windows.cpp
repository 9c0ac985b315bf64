#include <windows.h>

#include "bench/bench_host.h"

namespace bench {

namespace {

bool underWine() {
    static const bool wine = [] {
        const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}

double seconds(const FILETIME& t) {
    ULARGE_INTEGER value;
    value.LowPart = t.dwLowDateTime;
    value.HighPart = t.dwHighDateTime;
    return static_cast<double>(value.QuadPart) * 1e-7;
}

}  // namespace

std::int64_t monotonicMicroseconds() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<std::int64_t>(now.QuadPart / frequency * 1000000 +
                                     now.QuadPart % frequency * 1000000 / frequency);
}

bool wallClockMicroseconds(std::int64_t& microseconds) {
    using Precise = void(WINAPI*)(LPFILETIME);
    static const Precise precise = [] {
        const HMODULE kernel = GetModuleHandleA("kernel32.dll");
        return kernel == nullptr ? nullptr
                                 : reinterpret_cast<Precise>(reinterpret_cast<void*>(
                                       GetProcAddress(kernel, "GetSystemTimePreciseAsFileTime")));
    }();
    if (precise == nullptr) {
        return false;
    }
    FILETIME now;
    precise(&now);
    ULARGE_INTEGER value;
    value.LowPart = now.dwLowDateTime;
    value.HighPart = now.dwHighDateTime;
    // 100-ns steps since 1601; 11644473600 s from there to 1970.
    microseconds = static_cast<std::int64_t>(value.QuadPart / 10) - 11644473600LL * 1000000;
    return true;
}

bool sharesSimulatorClock() {
    return false;
}

// Under Wine these are the Linux process's times (every thread, Wine's own
// included), in clock ticks of 10 ms.
CpuTime processCpuTime() {
    CpuTime time;
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        time.user = seconds(user);
        time.system = seconds(kernel);
    }
    return time;
}

const char* cpuTimeSource() {
    return "GetProcessTimes";
}

// Wine's drive Z: is the Linux root, and the Wine server opens every file
// for its clients: /proc/self, opened through it, is the server's own.
bool serverCpuTime(CpuTime& time) {
    return underWine() && readProcStat("Z:", "self", time) &&
           readVoluntarySwitches("Z:", "self", time.voluntarySwitches);
}

}  // namespace bench
