#include "device/frame.h"

namespace frame {

namespace {

// Bit of word 0 (high byte first) that carries button n: buttons 1 to 8 are
// bits 0 to 7 of the first byte, buttons 9 to 12 bits 0 to 3 of the second.
constexpr int kButtonBit[kButtons] = {8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3};

// The single-precision value nearest 2/1023.
constexpr float kValuatorStep = 2.0f / 1023.0f;

}  // namespace

Words wordsOf(const Bytes& bytes) {
    Words words{};
    for (int n = 0; n < kWords; ++n) {
        words[n] = static_cast<std::uint16_t>(bytes[2 * n] << 8 | bytes[2 * n + 1]);
    }
    return words;
}

void decodeButtons(std::uint16_t word, std::int32_t (&states)[kButtons]) {
    for (int n = 0; n < kButtons; ++n) {
        states[n] = ((word >> kButtonBit[n]) & 1) == 0 ? 1 : 0;
    }
}

float decodeValuator(std::uint16_t word) {
    const auto reading = static_cast<std::int16_t>(word);
    return static_cast<float>(static_cast<double>(reading) * static_cast<double>(kValuatorStep) -
                              1.0);
}

}  // namespace frame
