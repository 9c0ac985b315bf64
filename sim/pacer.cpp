#include "sim/pacer.h"

#include <algorithm>

namespace sim {

std::int64_t Pacer::byteMicroseconds(unsigned baud) {
    // A line without a speed (B0) still has to move bytes: take the
    // device's usual rate.
    const unsigned rate = baud == 0 ? 9600 : baud;
    return std::max<std::int64_t>(1, (10'000'000 + rate / 2) / rate);
}

std::int64_t Pacer::crossedAt(std::int64_t start, unsigned baud, std::size_t count) {
    const double exact = 10'000'000.0 / (baud == 0 ? 9600 : baud);
    return start + static_cast<std::int64_t>(exact * static_cast<double>(count) + 0.5);
}

std::int64_t Pacer::schedule(const std::vector<std::uint8_t>& bytes, unsigned baud,
                             std::int64_t now, int endsFrameAt, std::uint16_t valuator1,
                             int unplugsAt) {
    const std::int64_t perByte = byteMicroseconds(baud);
    // Bytes an adapter still holds have crossed already: they keep nothing busy.
    const bool carriesOn = (!queue_.empty() && latency_ == 0) || now - lineFreeAt_ < perByte;
    const std::int64_t start = carriesOn ? lineFreeAt_ : now;
    // Due times from the start of the run, not byte by byte, so rounding
    // does not add up over a frame.
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        // A byte is handed over with the last byte of its group.
        const std::size_t groupEnd = std::min(bytes.size(), (i / burst_ + 1) * burst_);
        ScheduledByte byte;
        byte.value = bytes[i];
        byte.due = crossedAt(start, baud, groupEnd);
        byte.endsFrame = static_cast<int>(i) == endsFrameAt;
        byte.valuator1 = valuator1;
        byte.unplugsLine = static_cast<int>(i) == unplugsAt;
        queue_.push_back(byte);
    }
    if (!bytes.empty()) lineFreeAt_ = queue_.back().due;
    return start;
}

std::int64_t Pacer::releaseAt() const {
    const std::int64_t first = queue_.front().due;
    if (latency_ == 0) return first;
    std::int64_t release = first + static_cast<std::int64_t>(latency_) * 1000;
    if (queue_.size() >= kAdapterPacket)
        release = std::min(release, queue_[kAdapterPacket - 1].due);
    return release;
}

std::optional<std::int64_t> Pacer::nextDue() const {
    if (queue_.empty()) return std::nullopt;
    return releaseAt();
}

// Hand-overs are worked out from the due times, not from when the loop woke,
// so a late wake-up delays them but never merges two of them into one.
std::vector<ScheduledByte> Pacer::takeDue(std::int64_t now) {
    std::vector<ScheduledByte> due;
    while (!queue_.empty()) {
        const std::int64_t release = releaseAt();
        if (release > now) break;
        const std::size_t limit = latency_ == 0 ? queue_.size() : kAdapterPacket;
        for (std::size_t taken = 0;
             taken < limit && !queue_.empty() && queue_.front().due <= release; ++taken) {
            due.push_back(queue_.front());
            queue_.pop_front();
        }
    }
    return due;
}

void Pacer::clear() {
    queue_.clear();
    lineFreeAt_ = 0;
}

}  // namespace sim
