// The Pallador's answer to one request byte: seven 16-bit words, high byte
// first. Word 0 holds the buttons, active low (bits 0-7 of byte 0 are buttons
// 1-8, bits 0-3 of byte 1 are buttons 9-12); words 1-6 are the valuators,
// nominally 0..1023.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace sim {

constexpr std::uint8_t kRequestByte = 0x55;
constexpr std::size_t kFrameBytes = 14;
constexpr std::size_t kFrameWords = 7;
constexpr int kButtonCount = 12;
constexpr int kValuatorCount = 6;
constexpr std::uint16_t kValuatorMax = 1023;
constexpr std::uint16_t kValuatorCentre = 512;
// Every button released, the unused bits set as well.
constexpr std::uint16_t kAllReleased = 0xFFFF;

using Frame = std::array<std::uint8_t, kFrameBytes>;
using Valuators = std::array<std::uint16_t, kValuatorCount>;

Frame encodeFrame(std::uint16_t buttonWord, const Valuators& valuators);

// Word 0 with button n (1..12) pressed, i.e. its bit cleared.
std::uint16_t pressButton(std::uint16_t buttonWord, int button);

std::uint16_t wordOf(const Frame& frame, std::size_t word);

}  // namespace sim
