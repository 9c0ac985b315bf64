#include "sim/script.h"

#include <algorithm>
#include <cstdlib>

#include "sim/hex.h"

namespace sim {

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool parseRepeat(const std::string& text, std::uint32_t& repeat) {
    const std::string digits = trimmed(text);
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    repeat = static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 10));
    return repeat >= 1;
}

}  // namespace

bool parseFrame(const std::string& text, Frame& frame) {
    const auto bytes = fromHex(text);
    if (!bytes || bytes->size() != kFrameBytes) return false;
    std::copy(bytes->begin(), bytes->end(), frame.begin());
    return true;
}

ParsedScript parseScript(std::istream& text) {
    ParsedScript script;
    std::string line;
    for (int number = 1; std::getline(text, line); ++number) {
        const std::string content = trimmed(line);
        if (content.empty() || content[0] == '#') continue;
        ScriptEntry entry;
        const auto star = content.find('*');
        const bool framed = parseFrame(content.substr(0, star), entry.frame);
        const bool counted =
            star == std::string::npos || parseRepeat(content.substr(star + 1), entry.repeat);
        if (!framed || !counted) {
            script.error =
                "line " + std::to_string(number) + ": " +
                (framed ? "repeat count must be a number from 1" : "a frame is 14 bytes in hex");
            script.entries.clear();
            return script;
        }
        script.entries.push_back(entry);
    }
    if (script.entries.empty()) script.error = "no frames";
    return script;
}

}  // namespace sim
