#include "host/kit/guarded_block.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

namespace hostkit {

static_assert(GuardedBlock::kGuardSize % alignof(std::max_align_t) == 0,
              "the guard keeps the block aligned for any type");

GuardedBlock::GuardedBlock(std::string label, std::size_t size)
    : label_(std::move(label)), size_(size) {
    const std::size_t total = kGuardSize + size + kGuardSize;
    const std::size_t cells = (total + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t);
    memory_ = std::make_unique<std::max_align_t[]>(cells);
    std::uint8_t* all = bytes();
    std::memset(all, kPattern, cells * sizeof(std::max_align_t));
    std::memset(all + kGuardSize, 0, size_);
}

std::string GuardedBlock::checkGuard(const char* side, const std::uint8_t* guard) const {
    std::size_t changed = 0;
    std::size_t first = 0;
    for (std::size_t i = 0; i < kGuardSize; ++i) {
        if (guard[i] != kPattern) {
            if (changed == 0) {
                first = i;
            }
            ++changed;
        }
    }
    if (changed == 0) {
        return {};
    }
    // Before the block, count the distance back from its start, so -1 is the
    // byte just in front of it; after it, +0 is the byte just past its end.
    const long offset = side[0] == 'b' ? static_cast<long>(first) - static_cast<long>(kGuardSize)
                                       : static_cast<long>(first);
    char firstByte[3];
    std::snprintf(firstByte, sizeof firstByte, "%02X", guard[first]);
    return label_ + ": " + std::to_string(changed) + " guard byte(s) changed " + side +
           " the block, first at " + (offset >= 0 ? "+" : "") + std::to_string(offset) + " (" +
           firstByte + ")";
}

std::string GuardedBlock::checkGuards() const {
    std::string description;
    appendDescription(description, checkGuard("before", bytes()));
    appendDescription(description, checkGuard("after", bytes() + kGuardSize + size_));
    return description;
}

void appendDescription(std::string& into, const std::string& description) {
    if (description.empty()) {
        return;
    }
    if (!into.empty()) {
        into += "; ";
    }
    into += description;
}

}  // namespace hostkit
