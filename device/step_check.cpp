#include "device/step_check.h"

void StepCheck::restart(std::int64_t now) {
    nextQuietFrame_ = now + kQuietPeriodMicroseconds;
}

bool StepCheck::wantsQuietFrame(std::uint16_t buttonWord, std::int64_t now) const {
    if (now >= nextQuietFrame_) {
        return true;
    }
    return unusedBits_.has_value() && !unusedBitsVary_ &&
           (buttonWord & kUnusedBits) != *unusedBits_;
}

void StepCheck::confirm(std::uint16_t buttonWord, std::int64_t now) {
    const auto unused = static_cast<std::uint16_t>(buttonWord & kUnusedBits);
    if (unusedBits_.has_value() && *unusedBits_ != unused) {
        unusedBitsVary_ = true;
    }
    unusedBits_ = unused;
    nextQuietFrame_ = now + kQuietPeriodMicroseconds;
}

namespace step_timing {

namespace {

constexpr std::int32_t kFallbackBaudRate = 9600;
constexpr std::uint32_t kBitsPerByte = 10;

// Whole milliseconds that `bytes` take on the line, rounded up.
std::uint32_t lineMilliseconds(std::int32_t baudRate, std::uint32_t bytes) {
    const auto baud = static_cast<std::uint32_t>(baudRate > 0 ? baudRate : kFallbackBaudRate);
    return (bytes * kBitsPerByte * 1000 + baud - 1) / baud;
}

}  // namespace

std::uint32_t quietByteMilliseconds(std::int32_t baudRate) {
    return 50 + lineMilliseconds(baudRate, 28);
}

std::uint32_t strayWaitMilliseconds(std::int32_t baudRate) {
    return 1 + lineMilliseconds(baudRate, 2);
}

std::uint32_t drainGapMilliseconds(std::int32_t baudRate) {
    return 20 + lineMilliseconds(baudRate, 3);
}

}  // namespace step_timing
