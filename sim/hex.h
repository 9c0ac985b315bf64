// Bytes as hexadecimal text, the form every byte takes on the control channel.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Upper-case digit pairs without separators.
std::string toHex(const std::uint8_t* bytes, std::size_t count);
std::string toHex(const std::vector<std::uint8_t>& bytes);

// Pairs of hex digits; blanks may stand between (not inside) pairs. Nothing
// when the text holds anything else or ends in half a byte.
std::optional<std::vector<std::uint8_t>> fromHex(std::string_view text);

}  // namespace sim
