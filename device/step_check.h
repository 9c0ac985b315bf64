// Whether the frames read are the device's own. A frame carries no marker:
// after one byte lost or gained on the line, every later frame is made of
// the halves of two words, and a device that answers every request never
// falls silent to line them up again. Two tests together keep such frames
// from the host:
// - A quiet frame, read without the early request, proves the stream in
//   step: once it is complete nothing may follow it, and its last byte must
//   not be missing. Each lost or gained byte moves the count by one, so a
//   quiet frame sees any fault since the last one, wherever it fell.
// - A frame is only taken when it agrees with the last frame taken: the
//   same buttons, and no valuator further away than a hand moves it in the
//   time between. Halves of two words almost never agree with the device's
//   last frame, and a corrupted byte makes a jump. A frame that does not
//   agree is held, and the next frame is read quiet: it is taken when it
//   agrees with the held one (a real change, now proven in step) or with the
//   last frame taken (the held one was a glitch). So a press costs one frame
//   and a silent wait, never a wrong record.
// Quiet frames also come once a period, to catch a fault that happens to
// agree.
#pragma once

#include <cstdint>
#include <optional>

#include "device/frame.h"

class StepCheck {
public:
    // How often a frame is read without the early request when nothing
    // else asks for one. It costs the line its answer time once per
    // period, well under one per cent of it.
    static constexpr std::int64_t kQuietPeriodMicroseconds = 1000000;

    enum class Verdict {
        publish,   // in step and agreed: the host may see it
        confirm,   // held: the next frame is read quiet and decides
        outOfStep  // not the device's: find the frame again
    };

    // After the device was found: the probe's answer, whole and followed by
    // silence, is what stands for it.
    void restartAfterDetection(const frame::Words& answer, std::int64_t now);
    // After the line was found again: the last frame taken still stands.
    void restartAfterResync(std::int64_t now);

    // Asked before a frame is read: whether it goes without the early
    // request.
    bool wantsQuietFrame(std::int64_t now) const;

    // A whole frame; `quiet`: it was read without the early request and
    // nothing followed it.
    Verdict judge(const frame::Words& words, bool quiet, std::int64_t now);

    // The device's converters give ten bits; anything above is a word made
    // of two halves, or a byte that the line changed.
    static bool fitsValuator(std::uint16_t word) { return word <= kValuatorMax; }

    // Whether `later` can follow `earlier` from the same device after
    // `elapsed` microseconds.
    static bool agree(const frame::Words& later, const frame::Words& earlier, std::int64_t elapsed);

private:
    static constexpr std::uint16_t kValuatorMax = 1023;

    struct Taken {
        frame::Words words;
        std::int64_t at;
    };

    std::optional<Taken> reference_;
    std::optional<Taken> held_;
    std::int64_t nextQuietFrame_ = 0;
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
