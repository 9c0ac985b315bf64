// Where the simulated device's readings come from: a generator or a script.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/frame.h"
#include "sim/script.h"

namespace sim {

class FrameSource {
public:
    enum class Kind { Rest, Sweep, Fresh, Fixed, Script };

    // All released, every valuator at its centre.
    void rest();
    // Valuators swinging smoothly, a button pressed now and then.
    void sweep(std::int64_t now);
    // Valuator 1 counts up (0..1023, wrapping), so no two frames in a row match.
    void fresh();
    void fixed(const Frame& frame);
    void script(std::vector<ScriptEntry> entries);

    Frame next(std::int64_t now);
    Kind kind() const { return kind_; }
    std::string name() const;

private:
    Frame sweepFrame(std::int64_t now) const;

    Kind kind_ = Kind::Rest;
    Frame fixed_{};
    std::int64_t sweepStart_ = 0;
    std::uint32_t counter_ = 0;
    std::vector<ScriptEntry> script_;
    std::size_t scriptLine_ = 0;
    std::uint32_t scriptRepeat_ = 0;
};

}  // namespace sim
