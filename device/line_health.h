// How many of the frames read lately the line spoilt. A few dropped frames
// are the price of a line in the real world and cost the host nothing it
// sees; a steady share of them is a cable, a ground loop or a wrong speed,
// which the user should hear about once, not once per frame.
#pragma once

#include <cstdint>
#include <optional>

class LineHealth {
public:
    static constexpr std::int64_t kWindowMicroseconds = 10000000;

    // A frame out of step (bytes lost or gained), or read while the UART
    // reported an error.
    enum class Drop { outOfStep, lineError };

    // What a window that just closed says: the line became noisy, or clean
    // again. Nothing is said of a window like the one before it.
    struct Change {
        bool noisy;
        std::uint32_t frames;  // read whole or broken, dropped ones included
        std::uint32_t outOfStep;
        std::uint32_t lineErrors;
        std::int64_t microseconds;  // the window's length

        std::uint32_t dropped() const { return outOfStep + lineErrors; }
    };

    void frameTaken(std::int64_t now);
    void frameDropped(Drop kind, std::int64_t now);
    // Closes the window once it has lasted its time; at most one change per
    // window. A window without frames (a silent or absent line) says nothing.
    std::optional<Change> review(std::int64_t now);
    // A new line, or a device found again: the count starts over, and a
    // noisy line is still to be reported clean.
    void restart(std::int64_t now);

private:
    void open(std::int64_t now);

    std::optional<std::int64_t> windowStart_;
    std::uint32_t frames_ = 0;
    std::uint32_t outOfStep_ = 0;
    std::uint32_t lineErrors_ = 0;
    bool noisy_ = false;
};
