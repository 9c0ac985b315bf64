// The plug-in as a host drives it, against the device simulator, at the
// line's own pace: frames published per second against the line's capacity
// (baud / 140, 14 bytes of 10 bits per frame), the latency from the frame's
// last byte leaving the device to the record lying in the host's entry, and
// the host's CPU time per frame.
//
//   tests/with_sim.sh SIMULATOR -- line_rate [--seconds N] [--baud B]... [--plugin PATH]
//
// One result line per baud rate on standard output, as key=value pairs. The
// plug-in's own output (its report at init) is discarded.
#include <sys/resource.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "bench/latency.h"
#include "bench/sim_control.h"
#include "device/frame.h"
#include "host/kit/config.h"
#include "host/kit/init_record.h"
#include "host/kit/plugin.h"
#include "host/kit/storage.h"
#include "storage/ConData.h"

namespace {

constexpr int kDetectionCalls = 8;
constexpr std::int64_t kWarmUpMicroseconds = 500000;

struct Options {
    double seconds = 10.0;
    std::vector<int> bauds;
    std::string plugin = PALLADOR_PLUGIN_PATH;
};

struct CpuTime {
    double user = 0.0;
    double system = 0.0;
    long voluntarySwitches = 0;
};

CpuTime cpuTime() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return {seconds(usage.ru_utime), seconds(usage.ru_stime), usage.ru_nvcsw};
}

struct Result {
    int baud = 0;
    std::size_t calls = 0;
    std::size_t failedCalls = 0;
    std::vector<FrameStamp> published;
    CpuTime cpu;
    double wallSeconds = 0.0;
};

std::int64_t monotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// The host sees valuator 1 as the stored fixed-point word of its entry;
// this gives back the frame word that produced it. The steps of 2/1023 are
// wider than the fixed point's, but storing truncates toward zero, so 511
// and 512 (about -0.001 and +0.001) both store 0: that value names no word
// (-1), and the second of two such frames publishes nothing at all.
std::map<std::uint32_t, int> storedToWord() {
    std::map<std::uint32_t, int> table;
    ConData scratch{};
    scratch.reset();
    scratch.setValuatorCount(frame::kValuators);
    for (int w = 0; w < 1024; ++w) {
        scratch.setValuator(1, frame::decodeValuator(static_cast<std::uint16_t>(w)));
        const auto [at, inserted] = table.emplace(scratch.valuators[0], w);
        if (!inserted) {
            at->second = -1;
        }
    }
    return table;
}

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) {
            return false;
        }
        if (arg == "--seconds") {
            options.seconds = std::atof(argv[++i]);
        } else if (arg == "--baud") {
            options.bauds.push_back(std::atoi(argv[++i]));
        } else if (arg == "--plugin") {
            options.plugin = argv[++i];
        } else {
            return false;
        }
    }
    if (options.bauds.empty()) {
        options.bauds = {9600, 38400, 115200};
    }
    return options.seconds > 0.0;
}

// One run at one baud rate: create and initialise the device, wait for its
// detection, warm up, then measure for the given time.
bool measure(const hostkit::Plugin& plugin, SimControl& sim, const std::string& port, int baud,
             double seconds, Result& result) {
    if (sim.command("reset").rfind("ok", 0) != 0 || sim.command("mode fresh").rfind("ok", 0) != 0) {
        std::fprintf(stderr, "line_rate: the simulator refused its set-up\n");
        return false;
    }
    hostkit::Storage controllers(hostkit::StorageKind::controller);
    hostkit::Config config("pallador0");
    config.add(1, "port", {port});
    config.add(2, "baud", {std::to_string(baud)});
    hostkit::InitRecord initRecord(nullptr, &controllers);
    CMessageH hostLog;
    hostLog.setName("HOST");

    CBase* device = plugin.createDev(config.get(), &hostLog);
    if (device == nullptr || device->init(initRecord.get()) != 1) {
        std::fprintf(stderr, "line_rate: the device did not initialise at %d baud\n", baud);
        if (device != nullptr) {
            plugin.deleteDev(device);
        }
        return false;
    }
    UpdateMasks* masks = initRecord.masks();
    bool detected = false;
    for (int call = 0; call < kDetectionCalls && !detected; ++call) {
        detected = device->recvData(masks, 0) == 1 && masks->controller.isMarked(1);
    }
    if (!detected) {
        std::fprintf(stderr, "line_rate: the device was not detected at %d baud\n", baud);
        device->stop();
        plugin.deleteDev(device);
        return false;
    }
    const std::int64_t warmEnd = monotonicMicroseconds() + kWarmUpMicroseconds;
    while (monotonicMicroseconds() < warmEnd) {
        device->recvData(masks, 0);
    }

    const std::map<std::uint32_t, int> words = storedToWord();
    const ConData* entry = controllers.controller(1);
    result.baud = baud;
    result.published.reserve(static_cast<std::size_t>(seconds * baud / 140.0 * 1.2) + 16);
    sim.command("stamps on");
    const CpuTime cpuStart = cpuTime();
    const std::int64_t start = monotonicMicroseconds();
    const auto end = start + static_cast<std::int64_t>(seconds * 1e6);
    for (;;) {
        const std::int32_t got = device->recvData(masks, 0);
        const std::int64_t now = monotonicMicroseconds();
        ++result.calls;
        if (got != 1) {
            ++result.failedCalls;
        }
        if (masks->controller.isMarked(1)) {
            const auto word = words.find(entry->valuators[0]);
            result.published.push_back({now, word == words.end() ? -1 : word->second});
        }
        if (now >= end) {
            result.wallSeconds = static_cast<double>(now - start) * 1e-6;
            break;
        }
    }
    const CpuTime cpuEnd = cpuTime();
    result.cpu = {cpuEnd.user - cpuStart.user, cpuEnd.system - cpuStart.system,
                  cpuEnd.voluntarySwitches - cpuStart.voluntarySwitches};
    device->stop();
    plugin.deleteDev(device);
    return true;
}

void report(const Result& result, const std::vector<FrameStamp>& deviceStamps,
            const std::string& status) {
    const double capacity = result.baud / 140.0;
    const std::size_t n = result.published.size();
    double rate = 0.0;
    if (n >= 2) {
        const double span = static_cast<double>(result.published.back().microseconds -
                                                result.published.front().microseconds) *
                            1e-6;
        rate = static_cast<double>(n - 1) / span;
    }
    const LatencySummary latency = summariseLatency(deviceStamps, result.published);
    const double frames = n == 0 ? 1.0 : static_cast<double>(n);
    const double cpuSeconds = result.cpu.user + result.cpu.system;
    std::printf(
        "baud=%d seconds=%.2f calls=%zu failed=%zu published=%zu device_frames=%zu "
        "rate=%.2f capacity=%.2f ratio=%.4f read_ratio=%.4f latency_median_us=%.1f "
        "latency_p99_us=%.1f "
        "latency_max_us=%.1f matched=%zu unmatched=%zu cpu_us_per_frame=%.2f "
        "user_us_per_frame=%.2f system_us_per_frame=%.2f wakeups_per_frame=%.1f cpu_percent=%.2f "
        "sim_overruns=%s\n",
        result.baud, result.wallSeconds, result.calls, result.failedCalls, n, deviceStamps.size(),
        rate, capacity, rate / capacity,
        static_cast<double>(result.calls) / result.wallSeconds / capacity,
        latency.medianMicroseconds, latency.p99Microseconds, latency.maxMicroseconds,
        latency.matched, latency.unmatched, cpuSeconds / frames * 1e6,
        result.cpu.user / frames * 1e6, result.cpu.system / frames * 1e6,
        static_cast<double>(result.cpu.voluntarySwitches) / frames,
        result.wallSeconds > 0.0 ? cpuSeconds / result.wallSeconds * 100.0 : 0.0, status.c_str());
    std::fflush(stdout);
}

std::string overruns(SimControl& sim) {
    const std::string status = sim.command("status");
    const auto at = status.find("overruns=");
    if (at == std::string::npos) {
        return "?";
    }
    return status.substr(at + 9, status.find(' ', at) - at - 9);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: line_rate [--seconds N] [--baud B]... [--plugin PATH]\n"
                     "(run through tests/with_sim.sh, which starts the simulator)\n");
        return 2;
    }
    const char* control = std::getenv("PALLADOR_SIM_CONTROL");
    const char* port = std::getenv("PALLADOR_SIM_PORT");
    if (control == nullptr || port == nullptr) {
        std::fprintf(stderr,
                     "line_rate: PALLADOR_SIM_CONTROL and PALLADOR_SIM_PORT are not "
                     "set: run it through tests/with_sim.sh\n");
        return 2;
    }
    SimControl sim(control);
    if (!sim.connected()) {
        std::fprintf(stderr, "line_rate: cannot reach the simulator at %s\n", control);
        return 2;
    }
    hostkit::Plugin plugin(options.plugin);
    if (!plugin.loaded()) {
        std::fprintf(stderr, "line_rate: %s\n", plugin.error().c_str());
        return 2;
    }
    // The plug-in writes its report to the one output stream; the results
    // go through stdio and stay readable.
    std::ofstream discard("/dev/null");
    std::streambuf* const saved = std::cout.rdbuf(discard.rdbuf());
    int status = 0;
    for (const int baud : options.bauds) {
        Result result;
        if (!measure(plugin, sim, port, baud, options.seconds, result)) {
            status = 1;
            continue;
        }
        const std::vector<FrameStamp> deviceStamps = parseStamps(sim.command("stamps"));
        sim.command("stamps off");
        report(result, deviceStamps, overruns(sim));
    }
    std::cout.rdbuf(saved);
    return status;
}
