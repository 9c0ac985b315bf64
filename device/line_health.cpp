#include "device/line_health.h"

namespace {

// More than one frame in a hundred dropped is a line worth a look.
constexpr std::uint32_t kNoisyPerHundred = 1;

}  // namespace

void LineHealth::open(std::int64_t now) {
    if (!windowStart_) {
        windowStart_ = now;
    }
}

void LineHealth::frameTaken(std::int64_t now) {
    open(now);
    ++frames_;
}

void LineHealth::frameDropped(Drop kind, std::int64_t now) {
    open(now);
    ++frames_;
    ++(kind == Drop::outOfStep ? outOfStep_ : lineErrors_);
}

void LineHealth::restart(std::int64_t now) {
    windowStart_ = now;
    frames_ = 0;
    outOfStep_ = 0;
    lineErrors_ = 0;
}

std::optional<LineHealth::Change> LineHealth::review(std::int64_t now) {
    if (!windowStart_ || now - *windowStart_ < kWindowMicroseconds) {
        return std::nullopt;
    }
    const Change window{false, frames_, outOfStep_, lineErrors_, now - *windowStart_};
    restart(now);
    if (window.frames == 0) {
        return std::nullopt;
    }
    const bool noisy = window.dropped() * 100 > window.frames * kNoisyPerHundred;
    if (noisy == noisy_) {
        return std::nullopt;
    }
    noisy_ = noisy;
    Change change = window;
    change.noisy = noisy;
    return change;
}
