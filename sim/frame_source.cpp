#include "sim/frame_source.h"

#include <algorithm>
#include <cmath>

namespace sim {

void FrameSource::rest() {
    kind_ = Kind::Rest;
}

void FrameSource::sweep(std::int64_t now) {
    kind_ = Kind::Sweep;
    sweepStart_ = now;
}

void FrameSource::fresh() {
    kind_ = Kind::Fresh;
    counter_ = 0;
}

void FrameSource::fixed(const Frame& frame) {
    kind_ = Kind::Fixed;
    fixed_ = frame;
}

void FrameSource::script(std::vector<ScriptEntry> entries) {
    kind_ = Kind::Script;
    script_ = std::move(entries);
    scriptLine_ = 0;
    scriptRepeat_ = 0;
}

std::string FrameSource::name() const {
    switch (kind_) {
        case Kind::Rest:
            return "rest";
        case Kind::Sweep:
            return "sweep";
        case Kind::Fresh:
            return "fresh";
        case Kind::Fixed:
            return "frame";
        case Kind::Script:
            return "script";
    }
    return "rest";
}

void FrameSource::setRestPoints(const Valuators& rest) {
    for (std::size_t i = 0; i < channels_.size(); ++i) channels_[i].rest = rest[i];
}

void FrameSource::setTravel(const Valuators& low, const Valuators& high) {
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        channels_[i].low = low[i];
        channels_[i].high = high[i];
    }
}

void FrameSource::setNoise(const Valuators& counts, std::uint32_t seed) {
    for (std::size_t i = 0; i < channels_.size(); ++i) channels_[i].noise = counts[i];
    noiseOffset_.fill(0);
    noiseSeed_ = seed;
    noiseSource_.seed(seed);
}

void FrameSource::resetChannels() {
    channels_ = Channels{};
    setNoise({}, 1);
}

// A random walk of one count a frame, held within the channel's noise: the
// low bits wander about the reading as an analogue front end's do.
void FrameSource::stepNoise() {
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        const int limit = channels_[i].noise;
        if (limit == 0) continue;
        // The engine's raw output, not a distribution: the same seed gives
        // the same walk with any standard library.
        const int step = static_cast<int>(noiseSource_() % 3) - 1;
        noiseOffset_[i] = std::clamp(noiseOffset_[i] + step, -limit, limit);
    }
}

std::uint16_t FrameSource::reading(std::size_t channel, double value) const {
    const long withNoise = std::lround(value) + noiseOffset_[channel];
    return static_cast<std::uint16_t>(std::clamp<long>(withNoise, 0, kValuatorMax));
}

Frame FrameSource::restFrame() const {
    Valuators valuators;
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        valuators[i] = reading(i, channels_[i].rest);
    }
    return encodeFrame(kAllReleased, valuators);
}

Frame FrameSource::next(std::int64_t now) {
    stepNoise();
    switch (kind_) {
        case Kind::Rest:
            return restFrame();
        case Kind::Sweep:
            return sweepFrame(now);
        case Kind::Fresh: {
            Valuators valuators;
            valuators.fill(kValuatorCentre);
            valuators[0] = static_cast<std::uint16_t>(counter_ % (kValuatorMax + 1));
            ++counter_;
            return encodeFrame(kAllReleased, valuators);
        }
        case Kind::Fixed:
            return fixed_;
        case Kind::Script: {
            if (script_.empty()) return restFrame();
            const Frame frame = script_[scriptLine_].frame;
            if (++scriptRepeat_ >= script_[scriptLine_].repeat) {
                scriptRepeat_ = 0;
                scriptLine_ = (scriptLine_ + 1) % script_.size();
            }
            return frame;
        }
    }
    return restFrame();
}

Frame FrameSource::sweepFrame(std::int64_t now) const {
    const double seconds = static_cast<double>(now - sweepStart_) / 1e6;
    const double twoPi = 6.283185307179586;
    Valuators valuators;
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        // Periods of 3 to 9.5 seconds, so the channels drift apart.
        const double period = 3.0 + 1.3 * static_cast<double>(i);
        const double swing = std::sin(twoPi * seconds / period + static_cast<double>(i) * 0.7);
        // Through the rest point, each half of the swing to its own end, as
        // a control whose travel is not the same both ways.
        const Channel& channel = channels_[i];
        const double reach = swing >= 0 ? channel.high - channel.rest : channel.rest - channel.low;
        valuators[i] = reading(i, channel.rest + swing * reach);
    }
    // Each button in turn is held for half a second of a 12-second round;
    // button 12 comes together with button 1.
    std::uint16_t buttons = kAllReleased;
    const double phase = std::fmod(seconds, 12.0);
    const int slot = static_cast<int>(phase);
    if (phase - slot < 0.5) {
        buttons = pressButton(buttons, slot + 1);
        if (slot == 0) buttons = pressButton(buttons, kButtonCount);
    }
    return encodeFrame(buttons, valuators);
}

std::string describeChannels(const FrameSource& source) {
    std::string rest = "rest-point=";
    std::string travel = " travel=";
    std::string noise = " noise=";
    bool noisy = false;
    for (const Channel& channel : source.channels()) {
        const char* comma = &channel == &source.channels().front() ? "" : ",";
        // Appended piece by piece: GCC 12 warns falsely of overlapping
        // copies in `pointer + string` at -O3.
        rest.append(comma).append(std::to_string(channel.rest));
        travel.append(comma).append(std::to_string(channel.low)).append(1, '-');
        travel.append(std::to_string(channel.high));
        noise.append(comma).append(std::to_string(channel.noise));
        noisy = noisy || channel.noise != 0;
    }
    if (!noisy) return rest + travel + " noise=off";
    return rest + travel + noise + " noise-seed=" + std::to_string(source.noiseSeed());
}

}  // namespace sim
