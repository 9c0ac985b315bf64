#include "storage/UpdateMask.h"

void UpdateMask::clear() {
    for (auto& byte : bytes) {
        byte = 0;
    }
}

bool UpdateMask::mark(std::uint32_t n) {
    if (n == 0 || n > 32) {
        return false;
    }
    bytes[3 - (n - 1) / 8] |= static_cast<std::uint8_t>(1u << ((n - 1) % 8));
    return true;
}

bool UpdateMask::isMarked(std::uint32_t n) const {
    if (n == 0 || n > 32) {
        return false;
    }
    return ((bytes[3 - (n - 1) / 8] >> ((n - 1) % 8)) & 1) != 0;
}
