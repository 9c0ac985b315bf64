#include "tests/support/option_lines.h"

#include <cstring>
#include <stdexcept>

namespace testing_support {

OptionLines::OptionLines() : record(std::make_unique<DeviceConfig>()) {
    std::memset(record.get(), 0, sizeof(DeviceConfig));
    record->deviceName = keep("pallador");
}

const char* OptionLines::keep(const std::string& text) {
    strings.push_back(text);
    return strings.back().c_str();
}

std::uint32_t OptionLines::add(std::uint32_t lineNumber, const std::string& keyword,
                               std::initializer_list<std::string> args) {
    const std::uint32_t slot = record->lineCount;
    if (slot >= DeviceConfig::kMaxLines || args.size() > OptionLine::kMaxArgs) {
        throw std::length_error("option line does not fit the record");
    }
    OptionLine& line = record->lines[slot];
    line.lineNumber = lineNumber;
    line.name = keep(keyword);
    for (const std::string& arg : args) {
        line.args[line.argCount++] = keep(arg);
    }
    record->lineCount = slot + 1;
    return slot;
}

}  // namespace testing_support
