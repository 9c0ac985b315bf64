// Bytes on their way out, each with the moment it has fully crossed a real
// line: a pseudo-terminal moves bytes at once, a UART takes ten bit times per
// byte (start, eight data, stop).
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace sim {

struct ScheduledByte {
    std::uint8_t value = 0;
    std::int64_t due = 0;  // monotonic microseconds
    // The last byte of a complete frame, stamped when written.
    bool endsFrame = false;
    std::uint16_t valuator1 = 0;
    // The last byte before the adapter is pulled out.
    bool unplugsLine = false;
};

class Pacer {
public:
    static std::int64_t byteMicroseconds(unsigned baud);

    // How many bytes the line hands over at once. 1: each byte the moment it
    // has crossed, as the wire delivers them. More: a receiver that collects
    // bytes (a UART's FIFO, a USB adapter's packet) and hands them over in
    // groups of that many, each when its last byte has crossed; the last
    // byte of what one schedule() queues always closes a group.
    void setBurst(std::size_t bytes) { burst_ = bytes == 0 ? 1 : bytes; }
    std::size_t burst() const { return burst_; }

    // A USB adapter's latency timer (0: none): what has reached it waits
    // until `milliseconds` after the first waiting byte came, or until
    // kAdapterPacket bytes are waiting, and is then handed over together.
    // It works on what the receiver hands over, so with a burst the groups
    // are what reaches the adapter.
    static constexpr std::size_t kAdapterPacket = 62;
    void setLatency(unsigned milliseconds) { latency_ = milliseconds; }
    unsigned latency() const { return latency_; }

    // Queues the bytes behind what is queued. A line that has just finished
    // its last byte carries on from that instant, so back-to-back frames do
    // not drift with the wake-up latency; an idle line starts now.
    // endsFrameAt: index of the byte that completes a frame, or -1;
    // unplugsAt: index of the byte after which the line goes down, or -1.
    // Returns the moment the first byte starts to cross.
    std::int64_t schedule(const std::vector<std::uint8_t>& bytes, unsigned baud, std::int64_t now,
                          int endsFrameAt, std::uint16_t valuator1, int unplugsAt = -1);

    // When the `count`-th byte of a run started at `start` has fully
    // crossed the line, whatever the receiver then does with it.
    static std::int64_t crossedAt(std::int64_t start, unsigned baud, std::size_t count);

    std::optional<std::int64_t> nextDue() const;
    std::vector<ScheduledByte> takeDue(std::int64_t now);
    bool empty() const { return queue_.empty(); }
    std::size_t queued() const { return queue_.size(); }
    void clear();

private:
    // When the adapter hands over what waits at the front of the queue.
    std::int64_t releaseAt() const;

    std::deque<ScheduledByte> queue_;
    std::int64_t lineFreeAt_ = 0;
    std::size_t burst_ = 1;
    unsigned latency_ = 0;
};

}  // namespace sim
