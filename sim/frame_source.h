// Where the simulated device's readings come from: a generator or a script.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "sim/frame.h"
#include "sim/script.h"

namespace sim {

// One analogue channel of a real, imperfect device: where it rests, how far
// it reaches each way, and how many counts its reading wanders about.
struct Channel {
    std::uint16_t rest = kValuatorCentre;
    std::uint16_t low = 0;
    std::uint16_t high = kValuatorMax;
    std::uint16_t noise = 0;
};
using Channels = std::array<Channel, kValuatorCount>;

inline bool operator==(const Channel& a, const Channel& b) {
    return a.rest == b.rest && a.low == b.low && a.high == b.high && a.noise == b.noise;
}
inline bool operator!=(const Channel& a, const Channel& b) {
    return !(a == b);
}

class FrameSource {
public:
    enum class Kind { Rest, Sweep, Fresh, Fixed, Script };

    // All released, every valuator at its rest point.
    void rest();
    // Valuators swinging smoothly from one end of their travel to the other,
    // a button pressed now and then.
    void sweep(std::int64_t now);
    // Valuator 1 counts up (0..1023, wrapping), so no two frames in a row match.
    void fresh();
    void fixed(const Frame& frame);
    void script(std::vector<ScriptEntry> entries);

    Frame next(std::int64_t now);
    Kind kind() const { return kind_; }
    std::string name() const;

    // Rest and sweep frames follow the channels; fixed frames, scripts and
    // fresh counting stay exactly as given.
    const Channels& channels() const { return channels_; }
    void setRestPoints(const Valuators& rest);
    void setTravel(const Valuators& low, const Valuators& high);
    // The noise restarts from the rest point, so one seed always gives the
    // same readings.
    void setNoise(const Valuators& counts, std::uint32_t seed);
    std::uint32_t noiseSeed() const { return noiseSeed_; }
    // Rest points 512, whole travel, no noise.
    void resetChannels();

private:
    Frame sweepFrame(std::int64_t now) const;
    Frame restFrame() const;
    // A channel's reading with its noise, kept within the word's ten bits.
    std::uint16_t reading(std::size_t channel, double value) const;
    void stepNoise();

    Kind kind_ = Kind::Rest;
    Frame fixed_{};
    std::int64_t sweepStart_ = 0;
    std::uint32_t counter_ = 0;
    std::vector<ScriptEntry> script_;
    std::size_t scriptLine_ = 0;
    std::uint32_t scriptRepeat_ = 0;
    Channels channels_{};
    std::array<int, kValuatorCount> noiseOffset_{};
    std::uint32_t noiseSeed_ = 1;
    std::mt19937 noiseSource_{1};
};

// "rest-point=530,490,... travel=40-990,... noise=2,... noise-seed=S" (the
// noise as "noise=off" when every channel is quiet).
std::string describeChannels(const FrameSource& source);

}  // namespace sim
