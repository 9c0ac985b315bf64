// The plug-in as a host drives it, against the device simulator, at the
// line's own pace: frames published per second against the line's capacity
// (baud / 140, 14 bytes of 10 bits per frame), the latency from the frame's
// last byte leaving the device to the record lying in the host's entry, and
// the host's CPU time per frame. Built natively against libpallador.so and,
// in the Windows build, against pallador.dll under Wine; there the host's
// clock is not the simulator's, and the offset between the two is measured
// over the control channel before and after each run.
//
//   tests/with_sim.sh SIMULATOR -- line_rate [--seconds N] [--baud B]... [--burst N]
//                                            [--plugin PATH]
//
// --burst N has the simulator hand bytes over N at a time, as a receiver
// with a FIFO does, instead of one by one as they cross the line.
//
// One result line per baud rate on standard output, as key=value pairs. The
// plug-in's own output (its report at init) is discarded.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <streambuf>
#include <string>
#include <vector>

#include "bench/bench_host.h"
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
constexpr int kClockExchanges = 200;

using bench::CpuTime;
using bench::monotonicMicroseconds;

struct Options {
    double seconds = 10.0;
    std::vector<int> bauds;
    int burst = 1;
    std::string plugin = PALLADOR_PLUGIN_PATH;
};

CpuTime difference(const CpuTime& end, const CpuTime& start) {
    CpuTime d;
    d.user = end.user - start.user;
    d.system = end.system - start.system;
    d.voluntarySwitches = end.voluntarySwitches < 0 || start.voluntarySwitches < 0
                              ? -1
                              : end.voluntarySwitches - start.voluntarySwitches;
    return d;
}

struct Result {
    int baud = 0;
    std::size_t calls = 0;
    std::size_t failedCalls = 0;
    std::vector<FrameStamp> published;
    CpuTime cpu;
    bool hasServer = false;
    CpuTime server;
    double wallSeconds = 0.0;
    int burst = 1;
    ClockOffset offsetBefore;
    ClockOffset offsetAfter;
};

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
        } else if (arg == "--burst") {
            options.burst = std::atoi(argv[++i]);
        } else if (arg == "--plugin") {
            options.plugin = argv[++i];
        } else {
            return false;
        }
    }
    if (options.bauds.empty()) {
        options.bauds = {9600, 38400, 115200};
    }
    return options.seconds > 0.0 && options.burst >= 1;
}

// One run at one baud rate: create and initialise the device, wait for its
// detection, warm up, then measure for the given time.
bool measure(const hostkit::Plugin& plugin, SimControl& sim, const std::string& port, int baud,
             const Options& options, Result& result) {
    const double seconds = options.seconds;
    if (sim.command("reset").rfind("ok", 0) != 0 || sim.command("mode fresh").rfind("ok", 0) != 0 ||
        sim.command("burst " + std::to_string(options.burst)).rfind("ok", 0) != 0) {
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
    result.burst = options.burst;
    result.published.reserve(static_cast<std::size_t>(seconds * baud / 140.0 * 1.2) + 16);
    result.offsetBefore = measureClockOffset(sim, kClockExchanges);
    sim.command("stamps on");
    CpuTime serverStart;
    result.hasServer = bench::serverCpuTime(serverStart);
    const CpuTime cpuStart = bench::processCpuTime();
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
    result.cpu = difference(bench::processCpuTime(), cpuStart);
    CpuTime serverEnd;
    if (result.hasServer && bench::serverCpuTime(serverEnd)) {
        result.server = difference(serverEnd, serverStart);
    } else {
        result.hasServer = false;
    }
    device->stop();
    plugin.deleteDev(device);
    result.offsetAfter = measureClockOffset(sim, kClockExchanges);
    return true;
}

std::string format(const char* pattern, double value) {
    char text[32];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

// Per frame, or "-" when not known.
std::string perFrame(long count, double frames) {
    if (count < 0) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(count) / frames);
    return text;
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
    // The host's stamps on the simulator's clock: natively it is the same
    // clock; otherwise the mean of the offsets measured before and after.
    const bool shared = bench::sharesSimulatorClock();
    const bool offsetKnown = result.offsetBefore.valid && result.offsetAfter.valid;
    const std::int64_t offset =
        offsetKnown ? (result.offsetBefore.microseconds + result.offsetAfter.microseconds) / 2 : 0;
    std::vector<FrameStamp> published = result.published;
    if (!shared) {
        for (FrameStamp& stamp : published) {
            stamp.microseconds += offset;
        }
    }
    const LatencySummary latency = shared || offsetKnown
                                       ? summariseLatency(deviceStamps, published)
                                       : LatencySummary{0, published.size(), 0.0, 0.0, 0.0};
    const double frames = n == 0 ? 1.0 : static_cast<double>(n);
    const double cpuSeconds = result.cpu.user + result.cpu.system;
    const double serverSeconds = result.server.user + result.server.system;
    const double wall = result.wallSeconds > 0.0 ? result.wallSeconds : 1.0;
    const char* clock = shared                                 ? "shared"
                        : !offsetKnown                         ? "unknown"
                        : result.offsetBefore.throughWallClock ? "wall"
                                                               : "timed";
    std::string line;
    const auto add = [&line](const char* key, const std::string& value) {
        if (!line.empty()) {
            line += ' ';
        }
        line.append(key).append("=").append(value);
    };
    const auto number = [](const char* pattern, double value) { return format(pattern, value); };
    add("baud", std::to_string(result.baud));
    add("burst", std::to_string(result.burst));
    add("seconds", number("%.2f", result.wallSeconds));
    add("calls", std::to_string(result.calls));
    add("failed", std::to_string(result.failedCalls));
    add("published", std::to_string(n));
    add("device_frames", std::to_string(deviceStamps.size()));
    add("rate", number("%.2f", rate));
    add("capacity", number("%.2f", capacity));
    add("ratio", number("%.4f", rate / capacity));
    add("read_ratio", number("%.4f", static_cast<double>(result.calls) / wall / capacity));
    add("latency_median_us", number("%.1f", latency.medianMicroseconds));
    add("latency_p99_us", number("%.1f", latency.p99Microseconds));
    add("latency_max_us", number("%.1f", latency.maxMicroseconds));
    add("matched", std::to_string(latency.matched));
    add("unmatched", std::to_string(latency.unmatched));
    // The offset used, how far the timed exchanges put it from there, the
    // longest of their shortest round trips, and its change over the run.
    add("clock", clock);
    add("clock_offset_us", std::to_string(offset));
    add("clock_check_us",
        std::to_string(result.offsetBefore.timedMicroseconds - result.offsetBefore.microseconds));
    add("clock_round_trip_us", std::to_string(std::max(result.offsetBefore.roundTripMicroseconds,
                                                       result.offsetAfter.roundTripMicroseconds)));
    add("clock_drift_us",
        std::to_string(result.offsetAfter.microseconds - result.offsetBefore.microseconds));
    add("cpu_us_per_frame", number("%.2f", cpuSeconds / frames * 1e6));
    add("user_us_per_frame", number("%.2f", result.cpu.user / frames * 1e6));
    add("system_us_per_frame", number("%.2f", result.cpu.system / frames * 1e6));
    add("wakeups_per_frame", perFrame(result.cpu.voluntarySwitches, frames));
    add("cpu_percent", number("%.2f", cpuSeconds / wall * 100.0));
    add("cpu_source", bench::cpuTimeSource());
    add("server_cpu_us_per_frame",
        result.hasServer ? number("%.2f", serverSeconds / frames * 1e6) : "-");
    add("server_wakeups_per_frame",
        result.hasServer ? perFrame(result.server.voluntarySwitches, frames) : "-");
    add("server_cpu_percent",
        result.hasServer ? number("%.2f", serverSeconds / wall * 100.0) : "-");
    add("sim_overruns", status);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// A stream buffer that takes everything and keeps nothing.
class Discard : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

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
                     "usage: line_rate [--seconds N] [--baud B]... [--burst N] [--plugin PATH]\n"
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
    Discard discard;
    std::streambuf* const saved = std::cout.rdbuf(&discard);
    int status = 0;
    for (const int baud : options.bauds) {
        Result result;
        if (!measure(plugin, sim, port, baud, options, result)) {
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
