// The Pallador's frame: seven 16-bit words, high byte first. Word 0 carries
// the twelve buttons (active low), words 1 to 6 the valuators (0 to 1023).
#pragma once

#include <array>
#include <cstdint>

namespace frame {

constexpr std::uint8_t kRequestByte = 0x55;  // "U": asks for one frame
constexpr int kWords = 7;
constexpr int kBytes = 2 * kWords;
constexpr int kButtons = 12;
constexpr int kValuators = 6;

using Bytes = std::array<std::uint8_t, kBytes>;
using Words = std::array<std::uint16_t, kWords>;

// The frame's words as they came, high byte first.
Words wordsOf(const Bytes& bytes);

// Button n (1..12) goes to states[n - 1]: 1 pressed (bit 0), 0 released.
void decodeButtons(std::uint16_t word, std::int32_t (&states)[kButtons]);

// The valuator word as a signed reading, scaled so that 0 is -1.0 and 1023
// is +1.0.
float decodeValuator(std::uint16_t word);

}  // namespace frame
