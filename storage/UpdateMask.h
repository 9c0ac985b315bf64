// One of the two 32-bit masks in which a receive cycle tells the host which
// record ids it wrote: network byte order, record n is bit n - 1.
#pragma once

#include <cstdint>

struct UpdateMask {
    std::uint8_t bytes[4];

    void clear();
    // False, and nothing set, for n = 0 or n > 32.
    bool mark(std::uint32_t n);
    bool isMarked(std::uint32_t n) const;
};

static_assert(sizeof(UpdateMask) == 4, "an update mask is 4 bytes");

// recvData's first argument: the tracker mask, then the controller mask.
struct UpdateMasks {
    UpdateMask tracker;
    UpdateMask controller;
};

static_assert(sizeof(UpdateMasks) == 8, "the mask pair is 8 bytes");
