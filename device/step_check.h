// Whether the words read are still the device's own frames. A frame carries
// no marker: after one byte lost or gained on the line, every later word is
// made of the halves of two, and a device that answers every request never
// falls silent to line them up again. So now and then a frame is read
// without the early request: once it is complete nothing may be left on the
// line, and its last byte must not be missing. That quiet frame catches
// every byte lost or gained, wherever it fell. Two quicker signs send a
// frame to that test at once or drop it outright: the unused bits of word 0
// changing, and a valuator word outside the device's ten bits.
#pragma once

#include <cstdint>
#include <optional>

class StepCheck {
public:
    // How often a frame is read without the early request. It costs the
    // line its answer time once per period, well under one per cent of it.
    static constexpr std::int64_t kQuietPeriodMicroseconds = 1000000;

    // The frames from now on are known to be in step: after the device was
    // detected, or after the line was found again.
    void restart(std::int64_t now);

    // Asked when word 0 has come: whether this frame is read without the
    // early request.
    bool wantsQuietFrame(std::uint16_t buttonWord, std::int64_t now) const;

    // A quiet frame came whole and nothing followed it.
    void confirm(std::uint16_t buttonWord, std::int64_t now);

    // The device's converters give ten bits; anything above is a word made
    // of two halves, or a byte that the line changed.
    static bool fitsValuator(std::uint16_t word) { return word <= kValuatorMax; }

private:
    static constexpr std::uint16_t kValuatorMax = 1023;
    static constexpr std::uint16_t kUnusedBits = 0x00F0;

    std::int64_t nextQuietFrame_ = 0;
    // What the device sends in the unused bits, learnt from a confirmed
    // frame. A device whose bits change between confirmed frames tells
    // nothing by them, and they are no longer looked at.
    std::optional<std::uint16_t> unusedBits_;
    bool unusedBitsVary_ = false;
};

// Waits of the step check at a given line speed, in milliseconds: each
// covers the bytes it waits for at that speed plus a margin for the
// scheduler and for adapters that hand bytes over late.
namespace step_timing {

// The wait for each byte of a quiet frame: its bytes come back to back.
std::uint32_t quietByteMilliseconds(std::int32_t baudRate);
// How long the line must stay silent after a quiet frame. A byte gained
// earlier arrives within a byte time of the frame's last.
std::uint32_t strayWaitMilliseconds(std::int32_t baudRate);
// The silence that ends the old stream before a fresh request: long enough
// for an adapter's latency timer to give up what it holds.
std::uint32_t drainGapMilliseconds(std::int32_t baudRate);

}  // namespace step_timing
