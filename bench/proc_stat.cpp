#include <cstdio>
#include <cstring>

#include "bench/bench_host.h"

namespace bench {

namespace {

// The kernel reports process times in clock ticks of USER_HZ, which is 100
// on every Linux architecture we run on.
constexpr double kTicksPerSecond = 100.0;

}  // namespace

bool readProcStat(const std::string& prefix, const std::string& pid, CpuTime& time) {
    const std::string path = prefix + "/proc/" + pid + "/stat";
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        return false;
    }
    char line[1024] = {};
    const bool got = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    // The command name may hold blanks and parentheses: the fields that
    // follow start after the last ')'. utime and stime are fields 14 and 15,
    // the 12th and 13th after it.
    const char* rest = got ? std::strrchr(line, ')') : nullptr;
    if (rest == nullptr) {
        return false;
    }
    unsigned long long user = 0;
    unsigned long long system = 0;
    if (std::sscanf(rest + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user,
                    &system) != 2) {
        return false;
    }
    time.user = static_cast<double>(user) / kTicksPerSecond;
    time.system = static_cast<double>(system) / kTicksPerSecond;
    return true;
}

bool readVoluntarySwitches(const std::string& prefix, const std::string& pid, long& switches) {
    const std::string path = prefix + "/proc/" + pid + "/status";
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        return false;
    }
    char line[256];
    bool found = false;
    while (!found && std::fgets(line, sizeof line, file) != nullptr) {
        found = std::sscanf(line, "voluntary_ctxt_switches: %ld", &switches) == 1;
    }
    std::fclose(file);
    return found;
}

}  // namespace bench
