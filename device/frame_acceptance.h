// Whether a frame read is the one the device sent. A frame carries no
// marker: after one byte lost or gained on the line, every later byte sits
// one place off, and how far a value moved says nothing (a hand moves fast, a
// fault can move a value a little). What a shift cannot hide is the frame's
// layout: a valuator word's high byte is 0 to 3, its low byte anything, and
// byte 1 carries the unused bits of word 0 (1111 on most devices).
//
// A frame is the device's when it starts where a frame starts and so does
// the frame after it: with one fault at most, nothing was lost or gained in
// between. Where a frame starts is told by its first bytes. A shift to the
// left puts a valuator's high byte (0..3) where byte 1 stands; a shift to the
// right puts byte 1 where the first high byte stands. So a frame starts in
// step when its byte 1 is above 3 and, on a device whose unused bits are
// 1111, its byte 2 is at most 3; or when one of its valuator words has a low
// byte above 3, where any shift would have put a high byte. The next frame's
// first three bytes (four on a device with the unused bits clear) are on the
// line one to four byte times after the frame's last, since the next frame
// was asked for early: they are what the judgement waits for.
//
// The unused bits themselves, as the probe's answer showed them (all set or
// all clear), must stand in byte 1 of the frame and of the next one: their
// absence is a shift shown at once, never left to a quiet frame that a
// second fault could cancel.
//
// A frame whose successor's start the look-ahead cannot tell (a device with
// the unused bits clear and valuator 1 at 0..3 mod 256, or buttons 11 and 12
// held together) is held: the next frame is read quiet, without the early
// request, so that nothing may follow it and nothing may be missing from it.
// A quiet frame that comes whole and alone proves every byte since the last
// proof, and the held frame is published; otherwise the frame is found again.
// A frame equal to the last one published changes nothing and is never held.
#pragma once

#include <cstdint>
#include <optional>

#include "device/frame.h"

class FrameAcceptance {
public:
    // The most bytes of the next frame a judgement waits for.
    static constexpr int kMaxLookAhead = 4;

    enum class Verdict {
        publish,    // the device's own frame
        hold,       // undecided: the next frame is read quiet and decides
        outOfStep,  // not where a frame lies: find the frame again
        lineError   // read while the UART reported an error: dropped, found again
    };

    // The device was found: its answer, whole and followed by silence, is
    // a frame in step, and it tells the device's unused bits.
    void restartAfterDetection(const frame::Bytes& answer);
    // The line was drained and a fresh frame asked for: it starts in step.
    void restartAfterResync();

    // Bytes of the next frame that a judgement needs.
    int lookAheadBytes() const { return unusedBitsSet_ ? 3 : 4; }

    // A whole frame and the first lookAheadBytes() bytes that followed it;
    // `lineError`: the UART reported a framing error, an overrun, a parity
    // error or a break while they were read.
    Verdict judge(const frame::Bytes& bytes, const std::uint8_t* next, bool lineError);
    // The held frame, and the quiet frame read after it, came whole and
    // were followed by silence: both are the device's.
    void quietFrameProved(const frame::Bytes& quiet);

    // Whether `bytes` (at least `count` of a frame's first) start where the
    // device's frames start; `unusedBitsSet`: the device's byte 1 always
    // has bits 4 to 7 set.
    static bool startsInStep(const std::uint8_t* bytes, int count, bool unusedBitsSet);
    // Every valuator word of a frame, and the first high byte of the next,
    // within ten bits.
    static bool fitsLayout(const frame::Bytes& bytes, const std::uint8_t* next);

private:
    // What was last published, or stood for the device at its detection.
    bool carriesUnusedBits(std::uint8_t buttonLowByte) const;

    std::optional<frame::Bytes> published_;
    bool startProved_ = false;
    bool unusedBitsSet_ = false;
    // Bits 4 to 7 of byte 1 as the probe's answer had them, when they were
    // all set or all clear.
    std::optional<std::uint8_t> unusedBits_;
};

// Waits of the framing at a given line speed, in milliseconds: each covers
// the bytes it waits for at that speed, plus a margin for the scheduler and,
// where it matters, the device's answer time as last seen: from a request
// to the first bytes handed over, which includes a USB adapter's latency
// timer.
class LineTiming {
public:
    explicit LineTiming(std::int32_t baudRate = 0) : baudRate_(baudRate) {}

    // A request that went out on its own (not early), when the read of its
    // answer's first word began, and when the word was in. A word that was
    // in before the read began tells nothing of the answer time.
    void answerSeen(std::int64_t requested, std::int64_t readFrom, std::int64_t firstWordIn);
    std::int64_t answerMicroseconds() const { return answerMicroseconds_; }

    // The rest of a quiet frame: its bytes come back to back.
    std::uint32_t quietRestMilliseconds() const;
    // How long the line must stay silent after a quiet frame. A byte gained
    // earlier follows within two characters of the frame's last, but an
    // adapter may hand it over a latency timer later.
    std::uint32_t strayWaitMilliseconds() const;
    // The silence that ends the old stream before a fresh request: longer
    // than an answer still on its way, and than an adapter's latency timer.
    std::uint32_t drainGapMilliseconds() const;
    // Whole milliseconds that `bytes` take on the line, rounded up.
    std::uint32_t lineMilliseconds(std::uint32_t bytes) const;

private:
    std::int32_t baudRate_;
    std::int64_t answerMicroseconds_ = 0;
};
