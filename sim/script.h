// Frame scripts: a text file with one frame per line.
//
//   # comment lines and blank lines are skipped
//   FF FF 02 00 02 00 02 00 02 00 02 00 02 00        one frame (14 bytes in hex)
//   FFFE020002000200020002000200 * 25                 the same frame 25 times
//
// Bytes may be written with or without blanks between them; an optional
// "* N" (N >= 1) repeats the line's frame N times. After the last line the
// script starts over.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "sim/frame.h"

namespace sim {

struct ScriptEntry {
    Frame frame{};
    std::uint32_t repeat = 1;
};

struct ParsedScript {
    std::vector<ScriptEntry> entries;
    std::string error;  // empty when the whole script was read
};

ParsedScript parseScript(std::istream& text);

// The 14 bytes of a frame written in hex (blanks allowed between bytes).
bool parseFrame(const std::string& text, Frame& frame);

}  // namespace sim
