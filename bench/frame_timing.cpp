// The frame-processing benchmark without Google Benchmark, for builds that
// lack it (the Windows build): the same pieces on the same frames, timed in
// batches on the benchmarks' monotonic clock. Each figure is the median of
// the batches' mean times, so a batch that another program's load slowed
// down does not count. The output has the rows of Google Benchmark's CSV
// form ("name",iterations,real ns,cpu ns,ns), which scripts/bench.sh reads.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "bench/bench_host.h"
#include "bench/frame_cycle.h"

namespace {

using frame_cycle::Cycle;
using frame_cycle::frames;
using frame_cycle::kFrames;

constexpr int kBatches = 41;
constexpr std::int64_t kBatchMicroseconds = 10000;

// Keeps the compiler from dropping work whose result nobody reads.
template <typename T>
void keep(const T& value) {
    asm volatile("" : : "g"(&value) : "memory");
}

template <typename Body>
void time(const char* name, Body body) {
    // Iterations per batch: enough to fill one batch's time.
    long iterations = 1;
    for (;;) {
        const std::int64_t start = bench::monotonicMicroseconds();
        for (long i = 0; i < iterations; ++i) {
            body();
        }
        if (bench::monotonicMicroseconds() - start >= kBatchMicroseconds / 4) {
            break;
        }
        iterations *= 2;
    }
    iterations *= 4;
    std::vector<double> means;
    for (int b = 0; b < kBatches; ++b) {
        const std::int64_t start = bench::monotonicMicroseconds();
        for (long i = 0; i < iterations; ++i) {
            body();
        }
        const std::int64_t took = bench::monotonicMicroseconds() - start;
        means.push_back(static_cast<double>(took) * 1000.0 / static_cast<double>(iterations));
    }
    std::sort(means.begin(), means.end());
    const double median = means[means.size() / 2];
    std::printf("\"%s\",%ld,%.2f,%.2f,ns,,,,,\n", name, iterations * kBatches, median, median);
}

// The steps before anything reaches the host: decoding, the curves and the
// comparison with the last record published.
void timeSteps() {
    {
        Cycle cycle;
        int i = 0;
        time("Decode", [&] {
            cycle.decode(frames()[i++ % kFrames]);
            keep(cycle.valuators);
            keep(cycle.buttons);
        });
    }
    {
        Cycle cycle;
        cycle.decode(frames()[100]);
        time("MapThroughCubicCurves", [&] {
            cycle.map();
            keep(cycle.cur);
        });
    }
    {
        Cycle cycle;
        cycle.decode(frames()[100]);
        cycle.map();
        cycle.prev = cycle.cur;
        time("CompareWithPublished", [&] {
            const bool same = sameConData(cycle.prev, cycle.cur);
            keep(same);
        });
    }
}

// The publication, the tracker's step and the whole cycle.
void timePublication() {
    {
        Cycle cycle;
        cycle.decode(frames()[100]);
        cycle.map();
        time("PublishUnderMutex", [&] {
            cycle.publishController();
            keep(cycle.masks);
        });
    }
    {
        Cycle cycle;
        cycle.decode(frames()[900]);
        cycle.map();
        time("TrackerStep", [&] {
            cycle.trackerStep();
            keep(cycle.curTracker);
        });
    }
    {
        Cycle cycle;
        int i = 0;
        time("WholeFrameProcessing", [&] {
            cycle.process(frames()[i++ % kFrames]);
            keep(cycle.masks);
        });
    }
}

}  // namespace

int main() {
    std::printf(
        "name,iterations,real_time,cpu_time,time_unit,bytes_per_second,items_per_second,"
        "label,error_occurred,error_message\n");
    timeSteps();
    timePublication();
    return 0;
}
