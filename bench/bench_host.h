// What the benchmarks read from the system they run on: their clock, their
// CPU time, and the CPU time of the Wine server that does much of a Windows
// build's waiting for it. One file per platform (bench_host_linux.cpp,
// bench_host_windows.cpp); the Linux process files lie in proc_stat.cpp.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

// A monotonic clock in microseconds.
std::int64_t monotonicMicroseconds();

// The wall clock (CLOCK_REALTIME, which a program under Wine reads through
// GetSystemTimePreciseAsFileTime) in microseconds since 1970; false where
// it has no microsecond resolution.
bool wallClockMicroseconds(std::int64_t& microseconds);

// True when monotonicMicroseconds() is the simulator's own clock
// (CLOCK_MONOTONIC); otherwise the offset between the two is measured.
bool sharesSimulatorClock();

struct CpuTime {
    double user = 0.0;
    double system = 0.0;
    // Times the process gave up the processor to wait; -1 when unknown.
    long voluntarySwitches = -1;
};

// This process, all its threads.
CpuTime processCpuTime();
// Where processCpuTime() comes from, for the result line.
const char* cpuTimeSource();

// The Wine server, which waits and wakes on a Windows program's behalf
// under Wine; false where there is none (natively, on Windows itself).
bool serverCpuTime(CpuTime& time);

// The Linux process files, under a prefix that reaches the Linux root ("" or
// a Wine drive letter such as "Z:"). False when a file cannot be read.
bool readProcStat(const std::string& prefix, const std::string& pid, CpuTime& time);
bool readVoluntarySwitches(const std::string& prefix, const std::string& pid, long& switches);

}  // namespace bench
