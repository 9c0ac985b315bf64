// What one receive cycle costs without its serial I/O: decoding the frame,
// the mapping through cubic response curves, the comparison with the last
// published record, the publication under the storage mutex and the tracker
// emulation step. The receive cycle interleaves these with its one-byte
// reads, so each piece is measured on its own and then all of them in the
// order of one cycle, on frames that differ every time as a moving device's
// do.
#include <benchmark/benchmark.h>

#include "bench/frame_cycle.h"

namespace {

using frame_cycle::Cycle;
using frame_cycle::frames;
using frame_cycle::kFrames;

void Decode(benchmark::State& state) {
    Cycle cycle;
    int i = 0;
    for (auto _ : state) {
        cycle.decode(frames()[i++ % kFrames]);
        benchmark::DoNotOptimize(cycle.valuators);
        benchmark::DoNotOptimize(cycle.buttons);
    }
}
BENCHMARK(Decode);

void MapThroughCubicCurves(benchmark::State& state) {
    Cycle cycle;
    cycle.decode(frames()[100]);
    for (auto _ : state) {
        cycle.map();
        benchmark::DoNotOptimize(cycle.cur);
    }
}
BENCHMARK(MapThroughCubicCurves);

void CompareWithPublished(benchmark::State& state) {
    Cycle cycle;
    cycle.decode(frames()[100]);
    cycle.map();
    cycle.prev = cycle.cur;
    for (auto _ : state) {
        benchmark::DoNotOptimize(sameConData(cycle.prev, cycle.cur));
    }
}
BENCHMARK(CompareWithPublished);

void PublishUnderMutex(benchmark::State& state) {
    Cycle cycle;
    cycle.decode(frames()[100]);
    cycle.map();
    for (auto _ : state) {
        cycle.publishController();
        benchmark::DoNotOptimize(cycle.masks);
    }
}
BENCHMARK(PublishUnderMutex);

void TrackerStep(benchmark::State& state) {
    Cycle cycle;
    cycle.decode(frames()[900]);
    cycle.map();
    for (auto _ : state) {
        cycle.trackerStep();
        benchmark::DoNotOptimize(cycle.curTracker);
    }
}
BENCHMARK(TrackerStep);

void WholeFrameProcessing(benchmark::State& state) {
    Cycle cycle;
    int i = 0;
    for (auto _ : state) {
        cycle.process(frames()[i++ % kFrames]);
        benchmark::DoNotOptimize(cycle.masks);
    }
}
BENCHMARK(WholeFrameProcessing);

}  // namespace

BENCHMARK_MAIN();
