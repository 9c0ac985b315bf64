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
//                                            [--latency MS] [--plugin PATH]
//
// --burst N has the simulator hand bytes over N at a time, as a receiver
// with a FIFO does, instead of one by one as they cross the line. --latency
// MS puts a USB adapter's latency timer behind it: bytes wait until MS ms
// after the first of them came (or until a packet of 62 is full).
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

#include "bench/bench_device.h"
#include "bench/bench_host.h"
#include "bench/latency.h"
#include "bench/sim_control.h"
#include "device/frame.h"
#include "host/kit/arguments.h"
#include "storage/ConData.h"

namespace {

constexpr std::int64_t kWarmUpMicroseconds = 500000;
constexpr int kClockExchanges = 200;

using bench::CpuTime;
using bench::monotonicMicroseconds;

struct Options {
    double seconds = 10.0;
    std::vector<int> bauds;
    int burst = 1;
    int latency = 0;
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
    int latency = 0;
    ClockOffset offsetBefore;
    ClockOffset offsetAfter;
};

bool parseOptions(int argc, char** argv, Options& options) {
    const hostkit::ArgumentTable table{
        {{{"--seconds"}, "a time", bench::numberInto(options.seconds)},
         {{"--baud"},
          "a rate",
          [&options](const std::string& text) {
              options.bauds.push_back(std::atoi(text.c_str()));
              return true;
          }},
         {{"--burst"}, "a count", bench::numberInto(options.burst)},
         {{"--latency"}, "a time", bench::numberInto(options.latency)},
         {{"--plugin"}, "a path", bench::textInto(options.plugin)}}};
    if (!hostkit::walkArguments(std::vector<std::string>(argv + 1, argv + argc), table).empty()) {
        return false;
    }
    if (options.bauds.empty()) {
        options.bauds = {9600, 38400, 115200};
    }
    return options.seconds > 0.0 && options.burst >= 1 && options.latency >= 0 &&
           options.latency <= 255;
}

// recvData over and over for `seconds`, each published record stamped.
void receiveFor(host::DeviceReader& reader, double seconds, Result& result) {
    const std::map<std::uint32_t, int> words = bench::storedToWord();
    const std::int64_t start = monotonicMicroseconds();
    const auto end = start + static_cast<std::int64_t>(seconds * 1e6);
    for (;;) {
        const std::int32_t got = reader.receive();
        const std::int64_t now = monotonicMicroseconds();
        ++result.calls;
        if (got != 1) {
            ++result.failedCalls;
        }
        if (reader.masks().controller.isMarked(1)) {
            const auto word = words.find(reader.controllerWithId(1)->valuators[0]);
            result.published.push_back({now, word == words.end() ? -1 : word->second});
        }
        if (now >= end) {
            result.wallSeconds = static_cast<double>(now - start) * 1e-6;
            return;
        }
    }
}

// One run at one baud rate: create and initialise the device, wait for its
// detection, warm up, then measure for the given time.
bool measure(host::DeviceReader& reader, SimControl& sim, const std::string& port, int baud,
             const Options& options, Result& result) {
    const double seconds = options.seconds;
    if (sim.command("reset").rfind("ok", 0) != 0 || sim.command("mode fresh").rfind("ok", 0) != 0 ||
        sim.command("burst " + std::to_string(options.burst)).rfind("ok", 0) != 0 ||
        sim.command("latency " + std::to_string(options.latency)).rfind("ok", 0) != 0) {
        std::fprintf(stderr, "line_rate: the simulator refused its set-up\n");
        return false;
    }
    CMessageH hostLog;
    hostLog.setName("HOST");
    if (!bench::startDevice(reader, &hostLog, port, baud, "line_rate")) {
        return false;
    }
    const std::int64_t warmEnd = monotonicMicroseconds() + kWarmUpMicroseconds;
    while (monotonicMicroseconds() < warmEnd) {
        reader.receive();
    }

    result.baud = baud;
    result.burst = options.burst;
    result.latency = options.latency;
    result.published.reserve(static_cast<std::size_t>(seconds * baud / 140.0 * 1.2) + 16);
    result.offsetBefore = measureClockOffset(sim, kClockExchanges);
    sim.command("stamps on");
    CpuTime serverStart;
    result.hasServer = bench::serverCpuTime(serverStart);
    const CpuTime cpuStart = bench::processCpuTime();
    receiveFor(reader, seconds, result);
    result.cpu = difference(bench::processCpuTime(), cpuStart);
    CpuTime serverEnd;
    if (result.hasServer && bench::serverCpuTime(serverEnd)) {
        result.server = difference(serverEnd, serverStart);
    } else {
        result.hasServer = false;
    }
    reader.close();
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

// The host's stamps on the simulator's clock: natively it is the same
// clock; otherwise the mean of the offsets measured before and after.
void addLatency(const Result& result, const std::vector<FrameStamp>& deviceStamps,
                bench::Fields& fields) {
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
    fields.add("latency_median_us", format("%.1f", latency.medianMicroseconds));
    fields.add("latency_p99_us", format("%.1f", latency.p99Microseconds));
    fields.add("latency_max_us", format("%.1f", latency.maxMicroseconds));
    fields.add("matched", std::to_string(latency.matched));
    fields.add("unmatched", std::to_string(latency.unmatched));
    // The offset used, how far the timed exchanges put it from there, the
    // longest of their shortest round trips, and its change over the run.
    fields.add("clock", shared                                 ? "shared"
                        : !offsetKnown                         ? "unknown"
                        : result.offsetBefore.throughWallClock ? "wall"
                                                               : "timed");
    fields.add("clock_offset_us", std::to_string(offset));
    fields.add("clock_check_us", std::to_string(result.offsetBefore.timedMicroseconds -
                                                result.offsetBefore.microseconds));
    fields.add("clock_round_trip_us",
               std::to_string(std::max(result.offsetBefore.roundTripMicroseconds,
                                       result.offsetAfter.roundTripMicroseconds)));
    fields.add("clock_drift_us",
               std::to_string(result.offsetAfter.microseconds - result.offsetBefore.microseconds));
}

// What the frames cost this process and, under Wine, its server.
void addCosts(const Result& result, double frames, bench::Fields& fields) {
    const double cpuSeconds = result.cpu.user + result.cpu.system;
    const double serverSeconds = result.server.user + result.server.system;
    const double wall = result.wallSeconds > 0.0 ? result.wallSeconds : 1.0;
    fields.add("cpu_us_per_frame", format("%.2f", cpuSeconds / frames * 1e6));
    fields.add("user_us_per_frame", format("%.2f", result.cpu.user / frames * 1e6));
    fields.add("system_us_per_frame", format("%.2f", result.cpu.system / frames * 1e6));
    fields.add("wakeups_per_frame", perFrame(result.cpu.voluntarySwitches, frames));
    fields.add("cpu_percent", format("%.2f", cpuSeconds / wall * 100.0));
    fields.add("cpu_source", bench::cpuTimeSource());
    fields.add("server_cpu_us_per_frame",
               result.hasServer ? format("%.2f", serverSeconds / frames * 1e6) : "-");
    fields.add("server_wakeups_per_frame",
               result.hasServer ? perFrame(result.server.voluntarySwitches, frames) : "-");
    fields.add("server_cpu_percent",
               result.hasServer ? format("%.2f", serverSeconds / wall * 100.0) : "-");
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
    const double wall = result.wallSeconds > 0.0 ? result.wallSeconds : 1.0;
    bench::Fields fields;
    fields.add("baud", std::to_string(result.baud));
    fields.add("burst", std::to_string(result.burst));
    fields.add("latency", std::to_string(result.latency));
    fields.add("seconds", format("%.2f", result.wallSeconds));
    fields.add("calls", std::to_string(result.calls));
    fields.add("failed", std::to_string(result.failedCalls));
    fields.add("published", std::to_string(n));
    fields.add("device_frames", std::to_string(deviceStamps.size()));
    fields.add("rate", format("%.2f", rate));
    fields.add("capacity", format("%.2f", capacity));
    fields.add("ratio", format("%.4f", rate / capacity));
    fields.add("read_ratio", format("%.4f", static_cast<double>(result.calls) / wall / capacity));
    addLatency(result, deviceStamps, fields);
    addCosts(result, n == 0 ? 1.0 : static_cast<double>(n), fields);
    fields.add("sim_overruns", status);
    std::printf("%s\n", fields.line().c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string control;
    std::string port;
    if (!bench::startUp("line_rate", parseOptions(argc, argv, options),
                        "usage: line_rate [--seconds N] [--baud B]... [--burst N] [--latency MS]\n"
                        "                 [--plugin PATH]\n",
                        control, port)) {
        return 2;
    }
    SimControl sim(control);
    if (!sim.connected()) {
        std::fprintf(stderr, "line_rate: cannot reach the simulator at %s\n", control.c_str());
        return 2;
    }
    host::DeviceReader reader(options.plugin);
    if (!reader.loaded()) {
        std::fprintf(stderr, "line_rate: %s\n", reader.loadError().c_str());
        return 2;
    }
    // The plug-in writes its report to the one output stream; the results
    // go through stdio and stay readable.
    bench::Discard discard;
    std::streambuf* const saved = std::cout.rdbuf(&discard);
    int status = 0;
    for (const int baud : options.bauds) {
        Result result;
        if (!measure(reader, sim, port, baud, options, result)) {
            status = 1;
            continue;
        }
        const std::vector<FrameStamp> deviceStamps = parseStamps(sim.command("stamps"));
        sim.command("stamps off");
        report(result, deviceStamps, bench::simStatusField(sim, "overruns"));
    }
    std::cout.rdbuf(saved);
    return status;
}
