#include "fault_lines.h"

#include <algorithm>

#include "tests/support/capture.h"

namespace testing_support {

std::vector<std::string> outputLines(const std::string& output) {
    std::vector<std::string> lines;
    for (std::string line : splitLines(output)) {
        while (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::vector<std::string> linesStartingWith(const std::string& output, const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& line : outputLines(output)) {
        if (line.rfind(prefix, 0) == 0) {
            found.push_back(line);
        }
    }
    return found;
}

std::vector<std::string> problemLines(const std::string& output) {
    std::vector<std::string> found;
    for (const std::string& line : outputLines(output)) {
        if (line.rfind("HOST: ERROR: ", 0) == 0 || line.rfind("HOST: WARNING: ", 0) == 0) {
            found.push_back(line);
        }
    }
    return found;
}

bool hasLine(const std::string& output, const std::string& line) {
    const std::vector<std::string> lines = outputLines(output);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::vector<std::uint8_t> recordBytes(const ConData* entry) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(entry);
    return std::vector<std::uint8_t>(bytes, bytes + sizeof(ConData));
}

std::int32_t storedValuator(const ConData* entry, std::uint32_t index) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&entry->valuators[index - 1]);
    return static_cast<std::int32_t>(std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
                                     std::uint32_t{bytes[2]} << 8 | std::uint32_t{bytes[3]});
}

}  // namespace testing_support
