#include "sim/frame.h"

namespace sim {

Frame encodeFrame(std::uint16_t buttonWord, const Valuators& valuators) {
    Frame frame{};
    frame[0] = static_cast<std::uint8_t>(buttonWord >> 8);
    frame[1] = static_cast<std::uint8_t>(buttonWord & 0xFF);
    for (std::size_t i = 0; i < valuators.size(); ++i) {
        frame[2 + 2 * i] = static_cast<std::uint8_t>(valuators[i] >> 8);
        frame[3 + 2 * i] = static_cast<std::uint8_t>(valuators[i] & 0xFF);
    }
    return frame;
}

std::uint16_t pressButton(std::uint16_t buttonWord, int button) {
    if (button < 1 || button > kButtonCount) return buttonWord;
    // Buttons 1-8 live in the high byte (sent first), 9-12 in the low one.
    const int bit = button <= 8 ? button - 1 + 8 : button - 9;
    return static_cast<std::uint16_t>(buttonWord & ~(1u << bit));
}

std::uint16_t wordOf(const Frame& frame, std::size_t word) {
    return static_cast<std::uint16_t>(frame[2 * word] << 8 | frame[2 * word + 1]);
}

}  // namespace sim
