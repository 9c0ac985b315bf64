// Option lines for the tracker options in tests: a DeviceConfig whose
// strings live as long as the builder, and a log record without stamps so
// that every line reads "TEST: LEVEL: text".
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "config/DeviceConfig.h"
#include "support/CMessageH.h"

namespace testing_support {

class TrackerOptionLines {
public:
    TrackerOptionLines();

    // Appends a line; at most 32 (the record's slots).
    TrackerOptionLines& add(std::uint32_t lineNumber, const std::string& keyword,
                            const std::vector<std::string>& args = {});

    DeviceConfig* config() { return &config_; }
    const OptionLine& line(std::uint32_t slot) const { return config_.lines[slot]; }

private:
    const char* keep(const std::string& text);

    std::deque<std::string> texts_;
    DeviceConfig config_;
};

// Named "TEST", no date, time or thread in the header.
CMessageH plainLog(std::int32_t debugLevel = 0);

}  // namespace testing_support
