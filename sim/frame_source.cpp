#include "sim/frame_source.h"

#include <cmath>

namespace sim {

namespace {

Frame restFrame() {
    Valuators valuators;
    valuators.fill(kValuatorCentre);
    return encodeFrame(kAllReleased, valuators);
}

}  // namespace

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

Frame FrameSource::next(std::int64_t now) {
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
    for (int i = 0; i < kValuatorCount; ++i) {
        // Periods of 3 to 9.5 seconds, so the channels drift apart.
        const double period = 3.0 + 1.3 * i;
        const double swing = std::sin(twoPi * seconds / period + i * 0.7);
        valuators[static_cast<std::size_t>(i)] =
            static_cast<std::uint16_t>(std::lround(511.5 + 511.5 * swing));
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

}  // namespace sim
