// Network byte order, the same on every platform: written out byte by byte
// rather than through the sockets library, so the DLL imports nothing but
// KERNEL32 and msvcrt, and whatever the host's own byte order.
#include <cstring>

#include "platform/platform.h"

namespace platform {

std::uint32_t hostToNet(std::uint32_t value) {
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(value >> 24), static_cast<unsigned char>(value >> 16),
        static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)};
    std::uint32_t stored = 0;
    std::memcpy(&stored, bytes, sizeof stored);
    return stored;
}

std::uint32_t netToHost(std::uint32_t value) {
    unsigned char bytes[4] = {};
    std::memcpy(bytes, &value, sizeof bytes);
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

}  // namespace platform
