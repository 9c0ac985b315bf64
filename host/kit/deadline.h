// The end of a wait, on the steady clock: the one way the wait loops of the
// host, its tools, the simulator's starter and the benchmarks tell how long
// they may go on. The plug-in's port keeps its own, in platform/.
#pragma once

#include <chrono>

namespace hostkit {

class Deadline {
public:
    explicit Deadline(double seconds)
        : end_(Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(seconds))) {}

    bool passed() const { return Clock::now() >= end_; }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point end_;
};

}  // namespace hostkit
