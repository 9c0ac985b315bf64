// The plug-in as a host drives it, against the simulator in its fresh mode
// (valuator 1 counts 0..1023 frame by frame, the others at 512, every button
// released), or with --noise N at rest with noise (every valuator wandering
// within 512 +- N), with random line faults: how many faults the driver noticed,
// how many records it published out of step, and how long it took to be
// back in step. Native only: the fault times (the simulator's
// CLOCK_MONOTONIC) and the host's record times are on one clock.
//
//   tests/with_sim.sh SIMULATOR -- line_soak [--seconds N] [--baud B] [--rate R]
//                                            [--seed S] [--kinds K] [--noise N]
//                                            [--answer-delay MS] [--latency MS]
//                                            [--plugin PATH]
//
// --answer-delay has the device answer MS ms after each request; --latency
// puts a USB adapter's latency timer of MS ms behind the line. R 0: no
// faults at all, so every "Out of step" line is a false alarm. Otherwise
// R: one answer in R on average gets a fault, of a kind drawn from K (a
// comma list of lose,stray,corrupt; default lose,stray). One key=value line,
// then a summary for people, on standard output. The plug-in's output is
// read for its DEBUG line "Out of step, finding the frame again." and
// otherwise discarded.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "bench/bench_device.h"
#include "bench/bench_host.h"
#include "bench/latency.h"
#include "bench/sim_control.h"
#include "host/kit/arguments.h"
#include "storage/ConData.h"

namespace {

using bench::monotonicMicroseconds;

constexpr std::int64_t kWarmUpMicroseconds = 500000;
// After the faults stop, the last of them get this long to be recovered from.
constexpr std::int64_t kDrainMicroseconds = 3000000;
// The fault log is fetched now and then, well before the simulator's cap.
constexpr std::int64_t kLogEveryMicroseconds = 2000000;
const char kNoticed[] = "DEBUG: CPallador: Out of step, finding the frame again.";
const char kHeld[] = "DEBUG: CPallador: Frame held until a quiet frame proves it.";
const char kProbing[] = "DEBUG: CPallador: Trying to detect.";

struct Options {
    double seconds = 600.0;
    int baud = 9600;
    long rate = 100;
    long seed = 1;
    std::string kinds = "lose,stray";
    int noise = 0;
    int answerDelay = 0;
    int latency = 0;
    std::string plugin = PALLADOR_PLUGIN_PATH;
};

struct Fault {
    std::int64_t at;  // monotonic microseconds
    std::string kind;
    int position;
};

struct Record {
    std::int64_t at;  // monotonic microseconds, right after recvData returned
    int word;         // valuator 1's frame word, -1 when out of step
};

// The plug-in's output, line by line: counts the lines of note, keeps nothing.
class LineCounter : public std::streambuf {
public:
    long noticed = 0;
    long probes = 0;
    long held = 0;

protected:
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) take(static_cast<char>(c));
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* text, std::streamsize n) override {
        for (std::streamsize i = 0; i < n; ++i) take(text[i]);
        return n;
    }

private:
    void take(char c) {
        if (c != '\n') {
            if (line_.size() < 1024) line_ += c;
            return;
        }
        if (line_.find(kNoticed) != std::string::npos) ++noticed;
        if (line_.find(kProbing) != std::string::npos) ++probes;
        if (line_.find(kHeld) != std::string::npos) ++held;
        line_.clear();
    }
    std::string line_;
};

bool parseOptions(int argc, char** argv, Options& options) {
    const hostkit::ArgumentTable table{{
        {{"--seconds"}, "a time", bench::numberInto(options.seconds)},
        {{"--baud"}, "a rate", bench::numberInto(options.baud)},
        {{"--rate"}, "a rate", bench::numberInto(options.rate)},
        {{"--seed"}, "a seed", bench::numberInto(options.seed)},
        {{"--kinds"}, "kinds", bench::textInto(options.kinds)},
        {{"--answer-delay"}, "a time", bench::numberInto(options.answerDelay)},
        {{"--latency"}, "a time", bench::numberInto(options.latency)},
        {{"--noise"}, "a count", bench::numberInto(options.noise)},
        {{"--plugin"}, "a path", bench::textInto(options.plugin)},
    }};
    return hostkit::walkArguments(std::vector<std::string>(argv + 1, argv + argc), table).empty() &&
           options.seconds > 0.0 && options.baud > 0 && options.rate >= 0 && options.noise >= 0 &&
           options.noise <= 64;
}

// "ok T:KIND:POS ..." appended to `faults`.
void readFaultLog(SimControl& sim, std::vector<Fault>& faults) {
    const std::string reply = sim.command("fault-log");
    std::istringstream in(reply.rfind("ok", 0) == 0 ? reply.substr(2) : std::string());
    std::string entry;
    while (in >> entry) {
        const auto first = entry.find(':');
        const auto second = entry.find(':', first + 1);
        if (second == std::string::npos) continue;
        faults.push_back({std::strtoll(entry.c_str(), nullptr, 10),
                          entry.substr(first + 1, second - first - 1),
                          std::atoi(entry.c_str() + second + 1)});
    }
}

// Whether each published record is the device's own frame read in step: all
// buttons released, valuators 2 to 6 at 512, valuator 1 a count that can
// follow the last one in step (frames may have been dropped meanwhile, about
// one per frame time, so the gap allowed grows with the time since). A noisy
// device at rest: every valuator within its noise of 512.
class InStepJudge {
public:
    InStepJudge(int baud, int noise)
        : words_(bench::storedToWord()),
          centre_(bench::storedValuator(512)),
          frameMicroseconds_(140'000'000 / baud),
          noise_(noise) {}

    // The frame word of valuator 1 (0 for a noisy device at rest), or -1
    // when the record is out of step.
    int judge(const ConData& entry, std::int64_t at) {
        for (const std::uint8_t byte : entry.buttons) {
            if (byte != 0) return -1;
        }
        if (noise_ > 0) return withinNoise(entry) ? 0 : -1;
        for (int v = 1; v < 6; ++v) {
            if (entry.valuators[v] != centre_) return -1;
        }
        const auto found = words_.find(entry.valuators[0]);
        if (found == words_.end()) return -1;
        // 511 and 512 store alike; only 511 can be published after 510.
        int word = found->second < 0 ? 511 : found->second;
        if (lastWord_ >= 0) {
            const int ahead = (word - lastWord_ + 1024) % 1024;
            // After a long gap the count may have gone round: only the other
            // checks are left then.
            const std::int64_t allowed = 2 + 2 * (at - lastAt_) / frameMicroseconds_;
            if (allowed < 1024 && (ahead == 0 || ahead > allowed)) return -1;
        } else if (found->second < 0) {
            return -1;
        }
        lastWord_ = word;
        lastAt_ = at;
        return word;
    }

    std::int64_t frameMicroseconds() const { return frameMicroseconds_; }
    bool noisy() const { return noise_ > 0; }

private:
    bool withinNoise(const ConData& entry) const {
        for (int v = 0; v < 6; ++v) {
            const auto found = words_.find(entry.valuators[v]);
            if (found == words_.end()) return false;
            // 511 and 512 store alike: either is within the noise.
            const int word = found->second < 0 ? 512 : found->second;
            if (word < 512 - noise_ || word > 512 + noise_) return false;
        }
        return true;
    }

    std::map<std::uint32_t, int> words_;
    std::uint32_t centre_;
    std::int64_t frameMicroseconds_;
    int noise_;
    int lastWord_ = -1;
    std::int64_t lastAt_ = 0;
};

struct Recovery {
    std::vector<double> milliseconds;  // per fault recovered from, ascending
    std::size_t unrecovered = 0;
    double longestOutOfStepMs = 0.0;
    bool longestReachesTheEnd = false;
};

// The first in-step record after the fault from a frame at least two counts
// past the last in-step one before it: the frame after the faulty answer or
// later, so neither the frame before the fault nor an answer that the fault
// left whole (a stray after its last byte) counts as recovery. Null when
// none came.
// A noisy device at rest names no frame: there the first record in step two
// frame times after the fault counts.
const Record* recoveredBy(const std::vector<Record>& records, const Fault& fault,
                          const InStepJudge& judge) {
    const std::int64_t from = fault.at + (judge.noisy() ? 2 * judge.frameMicroseconds() : 0);
    const auto after = std::upper_bound(records.begin(), records.end(), from,
                                        [](std::int64_t t, const Record& r) { return t < r.at; });
    if (judge.noisy()) {
        const auto found =
            std::find_if(after, records.end(), [](const Record& r) { return r.word >= 0; });
        return found == records.end() ? nullptr : &*found;
    }
    int before = -1;
    for (auto it = after; it != records.begin() && before < 0;) {
        --it;
        before = it->word;
    }
    for (auto it = after; it != records.end(); ++it) {
        if (it->word < 0) continue;
        const int ahead = before < 0 ? 2 : (it->word - before + 1024) % 1024;
        if (ahead >= 2) return &*it;
    }
    return nullptr;
}

// Recovery per fault, and the longest stretch from a fault to its recovery
// with overlapping stretches joined.
Recovery summariseRecovery(const std::vector<Record>& records, const std::vector<Fault>& faults,
                           std::int64_t end, const InStepJudge& judge) {
    Recovery summary;
    std::vector<std::pair<std::int64_t, std::int64_t>> stretches;
    for (const Fault& fault : faults) {
        const Record* record = recoveredBy(records, fault, judge);
        if (record == nullptr) {
            ++summary.unrecovered;
            stretches.emplace_back(fault.at, end);
            continue;
        }
        summary.milliseconds.push_back(static_cast<double>(record->at - fault.at) / 1000.0);
        stretches.emplace_back(fault.at, record->at);
    }
    std::sort(summary.milliseconds.begin(), summary.milliseconds.end());
    std::sort(stretches.begin(), stretches.end());
    std::int64_t from = 0;
    std::int64_t to = -1;
    for (std::size_t i = 0; i <= stretches.size(); ++i) {
        if (i < stretches.size() && stretches[i].first <= to) {
            to = std::max(to, stretches[i].second);
            continue;
        }
        if (to >= from && static_cast<double>(to - from) / 1000.0 >= summary.longestOutOfStepMs) {
            summary.longestOutOfStepMs = static_cast<double>(to - from) / 1000.0;
            summary.longestReachesTheEnd = to == end;
        }
        if (i < stretches.size()) std::tie(from, to) = stretches[i];
    }
    return summary;
}

struct Run {
    std::vector<Record> records;
    std::vector<Fault> faults;
    std::size_t calls = 0;
    std::size_t failedCalls = 0;
    double seconds = 0.0;
    std::int64_t end = 0;
    std::string counts;  // the simulator's "faults" reply
};

bool ok(SimControl& sim, const std::string& command) {
    return sim.command(command).rfind("ok", 0) == 0;
}

// recvData over and over until `until`, judging each record published.
void receive(host::DeviceReader& reader, InStepJudge& judge, SimControl& sim, std::int64_t until,
             Run& run) {
    std::int64_t nextLog = monotonicMicroseconds() + kLogEveryMicroseconds;
    for (;;) {
        const std::int32_t got = reader.receive();
        const std::int64_t now = monotonicMicroseconds();
        ++run.calls;
        if (got != 1) ++run.failedCalls;
        if (reader.masks().controller.isMarked(1)) {
            run.records.push_back({now, judge.judge(*reader.controllerWithId(1), now)});
        }
        if (now >= nextLog) {
            readFaultLog(sim, run.faults);
            nextLog = now + kLogEveryMicroseconds;
        }
        if (now >= until) return;
    }
}

bool soak(host::DeviceReader& reader, SimControl& sim, const std::string& port,
          const Options& options, Run& run) {
    const std::string played =
        options.noise > 0 ? "noise " + std::to_string(options.noise) : std::string("mode fresh");
    if (!ok(sim, "reset") || !ok(sim, played) ||
        !ok(sim, "answer-delay " + std::to_string(options.answerDelay)) ||
        !ok(sim, "latency " + std::to_string(options.latency))) {
        std::fprintf(stderr, "line_soak: the simulator refused its set-up\n");
        return false;
    }
    CMessageH hostLog;
    hostLog.setName("HOST");
    hostLog.debugLevel = 1;
    if (!bench::startDevice(reader, &hostLog, port, options.baud, "line_soak")) return false;
    InStepJudge judge(options.baud, options.noise);
    const std::int64_t warmEnd = monotonicMicroseconds() + kWarmUpMicroseconds;
    while (monotonicMicroseconds() < warmEnd) reader.receive();

    const std::string faults = options.rate == 0
                                   ? std::string("faults off")
                                   : "faults " + std::to_string(options.rate) + ' ' +
                                         std::to_string(options.seed) + ' ' + options.kinds;
    if (!ok(sim, faults)) {
        std::fprintf(stderr, "line_soak: the simulator refused \"%s\"\n", faults.c_str());
        reader.close();
        return false;
    }
    run.records.reserve(static_cast<std::size_t>(options.seconds * options.baud / 140.0) + 1024);
    const std::int64_t start = monotonicMicroseconds();
    receive(reader, judge, sim, start + static_cast<std::int64_t>(options.seconds * 1e6), run);
    ok(sim, "faults off");
    receive(reader, judge, sim, monotonicMicroseconds() + kDrainMicroseconds, run);
    run.end = monotonicMicroseconds();
    run.seconds = static_cast<double>(run.end - start) * 1e-6;
    readFaultLog(sim, run.faults);
    run.counts = sim.command("faults");
    reader.close();
    return true;
}

std::string fieldOf(const std::string& text, const std::string& key) {
    const auto at = text.find(key + '=');
    if (at == std::string::npos) return "?";
    const auto from = at + key.size() + 1;
    return text.substr(from, text.find(' ', from) - from);
}

std::string fixed(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// The run's settings and counts as result fields.
bench::Fields resultFields(const Options& options, const Run& run, const LineCounter& lines,
                           std::size_t outOfStep) {
    bench::Fields fields;
    fields.add("seconds", fixed(run.seconds));
    fields.add("baud", std::to_string(options.baud));
    fields.add("rate", std::to_string(options.rate));
    fields.add("seed", std::to_string(options.seed));
    fields.add("kinds", options.kinds);
    fields.add("noise", std::to_string(options.noise));
    fields.add("answer_delay", std::to_string(options.answerDelay));
    fields.add("latency", std::to_string(options.latency));
    fields.add("calls", std::to_string(run.calls));
    fields.add("failed", std::to_string(run.failedCalls));
    fields.add("published", std::to_string(run.records.size()));
    fields.add("faults_made", fieldOf(run.counts, "made"));
    fields.add("lose", fieldOf(run.counts, "lose"));
    fields.add("stray", fieldOf(run.counts, "stray"));
    fields.add("corrupt", fieldOf(run.counts, "corrupt"));
    fields.add("faults_logged", std::to_string(run.faults.size()));
    fields.add("faults_noticed", std::to_string(lines.noticed));
    fields.add("probes", std::to_string(lines.probes));
    fields.add("frames_held", std::to_string(lines.held));
    fields.add("out_of_step_records", std::to_string(outOfStep));
    return fields;
}

// The result line and the sentences that say it.
void report(const Options& options, const Run& run, const LineCounter& lines) {
    const Recovery recovery = summariseRecovery(run.records, run.faults, run.end,
                                                InStepJudge(options.baud, options.noise));
    const auto outOfStep = static_cast<std::size_t>(std::count_if(
        run.records.begin(), run.records.end(), [](const Record& r) { return r.word < 0; }));
    const double median = quantile(recovery.milliseconds, 0.5);
    const double longest = recovery.milliseconds.empty() ? 0.0 : recovery.milliseconds.back();
    bench::Fields fields = resultFields(options, run, lines, outOfStep);
    fields.add("recovered", std::to_string(recovery.milliseconds.size()));
    fields.add("unrecovered", std::to_string(recovery.unrecovered));
    fields.add("recovery_median_ms", fixed(median));
    fields.add("recovery_max_ms", fixed(longest));
    fields.add("longest_out_of_step_ms", fixed(recovery.longestOutOfStepMs));
    fields.add("longest_reaches_end", recovery.longestReachesTheEnd ? "yes" : "no");
    std::printf("%s\n", fields.line().c_str());
    if (options.rate == 0) {
        std::printf("line_soak: %.0f s at %d baud, no faults\n", run.seconds, options.baud);
    } else {
        std::printf(
            "line_soak: %.0f s at %d baud, a fault in about 1 of %ld answers (%s, seed %ld)\n",
            run.seconds, options.baud, options.rate, options.kinds.c_str(), options.seed);
    }
    std::printf(
        "line_soak: faults made %s, noticed by the driver %ld, probes %ld, frames held %ld\n",
        fieldOf(run.counts, "made").c_str(), lines.noticed, lines.probes, lines.held);
    std::printf("line_soak: records published %zu, out of step %zu\n", run.records.size(),
                outOfStep);
    std::printf(
        "line_soak: back in step after %zu faults (median %.1f ms, max %.1f ms), not "
        "after %zu; longest time out of step %.1f ms%s\n",
        recovery.milliseconds.size(), median, longest, recovery.unrecovered,
        recovery.longestOutOfStepMs,
        recovery.longestReachesTheEnd ? " (to the end of the run)" : "");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string control;
    std::string port;
    if (!bench::startUp(
            "line_soak", parseOptions(argc, argv, options),
            "usage: line_soak [--seconds N] [--baud B] [--rate R] [--seed S] [--kinds K]\n"
            "                 [--noise N] [--answer-delay MS] [--latency MS]\n"
            "                 [--plugin PATH]\n",
            control, port)) {
        return 2;
    }
    SimControl sim(control);
    host::DeviceReader reader(options.plugin);
    if (!sim.connected() || !reader.loaded()) {
        std::fprintf(stderr, "line_soak: no simulator at %s, or %s\n", control.c_str(),
                     reader.loadError().c_str());
        return 2;
    }
    // The plug-in writes its log to the one output stream; the results go
    // through stdio.
    LineCounter lines;
    std::streambuf* const saved = std::cout.rdbuf(&lines);
    Run run;
    const bool done = soak(reader, sim, port, options, run);
    std::cout.flush();
    std::cout.rdbuf(saved);
    if (!done) return 1;
    report(options, run, lines);
    return 0;
}
