#include "device/step_check.h"

#include <algorithm>
#include <cstdlib>

namespace {

// The buttons of word 0; bits 4 to 7 of its low byte carry nothing.
constexpr std::uint16_t kButtonBits = 0xFF0F;
// How far a valuator may move between two frames: a floor for the frames
// that follow each other closely, growing with the time between (a whole
// travel in half a second), and a ceiling well under the smallest jump that
// the halves of two words make.
constexpr int kMoveFloor = 48;
constexpr std::int64_t kMovePerMillisecond = 2;
constexpr int kMoveCeiling = 128;

}  // namespace

void StepCheck::restartAfterDetection(const frame::Words& answer, std::int64_t now) {
    reference_ = Taken{answer, now};
    held_.reset();
    nextQuietFrame_ = now + kQuietPeriodMicroseconds;
}

void StepCheck::restartAfterResync(std::int64_t now) {
    held_.reset();
    nextQuietFrame_ = now + kQuietPeriodMicroseconds;
}

bool StepCheck::wantsQuietFrame(std::int64_t now) const {
    return held_.has_value() || now >= nextQuietFrame_;
}

bool StepCheck::agree(const frame::Words& later, const frame::Words& earlier,
                      std::int64_t elapsed) {
    if ((later[0] & kButtonBits) != (earlier[0] & kButtonBits)) {
        return false;
    }
    const std::int64_t limit = std::min<std::int64_t>(
        kMoveFloor + std::max<std::int64_t>(elapsed, 0) * kMovePerMillisecond / 1000, kMoveCeiling);
    for (int n = 1; n < frame::kWords; ++n) {
        if (std::abs(int{later[n]} - int{earlier[n]}) > limit) {
            return false;
        }
    }
    return true;
}

StepCheck::Verdict StepCheck::judge(const frame::Words& words, bool quiet, std::int64_t now) {
    for (int n = 1; n < frame::kWords; ++n) {
        if (!fitsValuator(words[n])) {
            held_.reset();
            return Verdict::outOfStep;
        }
    }
    if (quiet) {
        nextQuietFrame_ = now + kQuietPeriodMicroseconds;
    }
    const Taken frame{words, now};
    const auto agreesWith = [&frame](const std::optional<Taken>& other) {
        return other.has_value() && agree(frame.words, other->words, frame.at - other->at);
    };
    if (agreesWith(reference_) || (quiet && agreesWith(held_))) {
        reference_ = frame;
        held_.reset();
        return Verdict::publish;
    }
    held_ = frame;
    return Verdict::confirm;
}

namespace {

constexpr std::int32_t kFallbackBaudRate = 9600;
constexpr std::uint32_t kBitsPerByte = 10;
// Beyond this an answer is a device gone, not a slow one.
constexpr std::int64_t kLongestAnswerMicroseconds = 250000;
constexpr std::int64_t kAnswerWear = 8;

}  // namespace

void LineTiming::answerSeen(std::int64_t requested, std::int64_t readFrom,
                            std::int64_t firstWordIn) {
    const auto baud = std::int64_t{baudRate_ > 0 ? baudRate_ : kFallbackBaudRate};
    const std::int64_t character = kBitsPerByte * 1000000 / baud;
    if (firstWordIn - readFrom < character / 2) {
        return;
    }
    // The word's own two characters are line time, not answer time.
    const std::int64_t answer = std::clamp<std::int64_t>(firstWordIn - requested - 2 * character, 0,
                                                         kLongestAnswerMicroseconds);
    // A longer answer counts at once; a shorter one wears the estimate down
    // slowly, so that one late wake-up of ours does not lengthen every wait
    // for good, and a device whose answers vary is still waited for.
    answerMicroseconds_ = answer >= answerMicroseconds_
                              ? answer
                              : answerMicroseconds_ - (answerMicroseconds_ - answer) / kAnswerWear;
}

std::uint32_t LineTiming::lineMilliseconds(std::uint32_t bytes) const {
    const auto baud = static_cast<std::uint32_t>(baudRate_ > 0 ? baudRate_ : kFallbackBaudRate);
    return (bytes * kBitsPerByte * 1000 + baud - 1) / baud;
}

std::uint32_t LineTiming::quietRestMilliseconds() const {
    return 50 + lineMilliseconds(2 * frame::kBytes);
}

std::uint32_t LineTiming::strayWaitMilliseconds() const {
    return 1 + lineMilliseconds(2) + static_cast<std::uint32_t>((answerMicroseconds_ + 999) / 1000);
}

std::uint32_t LineTiming::drainGapMilliseconds() const {
    return 20 + lineMilliseconds(3) +
           static_cast<std::uint32_t>((answerMicroseconds_ + 999) / 1000);
}
