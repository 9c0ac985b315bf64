// A host configuration record for tests, with the strings it points to kept
// alive beside it.
#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <memory>
#include <string>

#include "config/DeviceConfig.h"

namespace testing_support {

class OptionLines {
public:
    OptionLines();

    // Appends one option line; returns its slot.
    std::uint32_t add(std::uint32_t lineNumber, const std::string& keyword,
                      std::initializer_list<std::string> args = {});
    DeviceConfig& config() { return *record; }
    const OptionLine& line(std::uint32_t slot) const { return record->lines[slot]; }

private:
    const char* keep(const std::string& text);

    std::unique_ptr<DeviceConfig> record;
    std::deque<std::string> strings;  // a deque never moves its elements
};

}  // namespace testing_support
