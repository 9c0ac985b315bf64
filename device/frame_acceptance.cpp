#include "device/frame_acceptance.h"

#include <algorithm>

namespace {

// A valuator's high byte: the converters give ten bits.
constexpr std::uint8_t kHighByteMax = 3;
constexpr std::uint8_t kUnusedBits = 0xF0;
constexpr int kButtonLowByte = 1;
constexpr int kFirstHighByte = 2;

}  // namespace

void FrameAcceptance::restartAfterDetection(const frame::Bytes& answer) {
    published_ = answer;
    startProved_ = true;
    const auto unused = static_cast<std::uint8_t>(answer[kButtonLowByte] & kUnusedBits);
    unusedBitsSet_ = unused == kUnusedBits;
    unusedBits_ =
        unused == kUnusedBits || unused == 0 ? std::optional<std::uint8_t>(unused) : std::nullopt;
}

void FrameAcceptance::restartAfterResync() {
    startProved_ = true;
}

// A left shift puts a high byte at every odd place from byte 1 on, a right
// shift at every odd place from byte 3 on: a byte above 3 there rules the
// shift out. On a device whose byte 1 is never below 0xF0, a right shift
// would also put that byte where byte 2 stands.
bool FrameAcceptance::startsInStep(const std::uint8_t* bytes, int count, bool unusedBitsSet) {
    bool noLeftShift = count > kButtonLowByte && bytes[kButtonLowByte] > kHighByteMax;
    bool noRightShift =
        unusedBitsSet && count > kFirstHighByte && bytes[kFirstHighByte] <= kHighByteMax;
    for (int at = kFirstHighByte + 1; at < count; at += 2) {
        if (bytes[at] > kHighByteMax) {
            noLeftShift = true;
            noRightShift = true;
        }
    }
    return noLeftShift && noRightShift;
}

bool FrameAcceptance::fitsLayout(const frame::Bytes& bytes, const std::uint8_t* next) {
    for (int at = kFirstHighByte; at < frame::kBytes; at += 2) {
        if (bytes[at] > kHighByteMax) {
            return false;
        }
    }
    return next[kFirstHighByte] <= kHighByteMax;
}

// The device's unused bits are its own, the same in every frame: a byte 1
// without them shows a shift at once, where waiting for a quiet frame would
// let a second fault cancel the first.
bool FrameAcceptance::carriesUnusedBits(std::uint8_t buttonLowByte) const {
    return !unusedBits_ || (buttonLowByte & kUnusedBits) == *unusedBits_;
}

FrameAcceptance::Verdict FrameAcceptance::judge(const frame::Bytes& bytes, const std::uint8_t* next,
                                                bool lineError) {
    // An overrun loses bytes and a framing error may make or eat one: the
    // stream is found again, not only the frame dropped.
    if (lineError) {
        startProved_ = false;
        return Verdict::lineError;
    }
    if (!fitsLayout(bytes, next) || !carriesUnusedBits(bytes[kButtonLowByte]) ||
        !carriesUnusedBits(next[kButtonLowByte])) {
        startProved_ = false;
        return Verdict::outOfStep;
    }
    const bool started = startProved_ || startsInStep(bytes.data(), frame::kBytes, unusedBitsSet_);
    startProved_ = startsInStep(next, lookAheadBytes(), unusedBitsSet_);
    // What the device last said, read again, changes nothing whatever the
    // line did.
    if (published_ == bytes || (started && startProved_)) {
        published_ = bytes;
        return Verdict::publish;
    }
    return Verdict::hold;
}

void FrameAcceptance::quietFrameProved(const frame::Bytes& quiet) {
    published_ = quiet;
    startProved_ = true;
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
