#include "tests/support/tracker_option_lines.h"

#include <cstring>

namespace testing_support {

TrackerOptionLines::TrackerOptionLines() {
    std::memset(&config_, 0, sizeof config_);
}

const char* TrackerOptionLines::keep(const std::string& text) {
    texts_.push_back(text);
    return texts_.back().c_str();
}

TrackerOptionLines& TrackerOptionLines::add(std::uint32_t lineNumber, const std::string& keyword,
                                            const std::vector<std::string>& args) {
    OptionLine& line = config_.lines[config_.lineCount++];
    line.lineNumber = lineNumber;
    line.name = keep(keyword);
    for (const std::string& arg : args) {
        line.args[line.argCount++] = keep(arg);
    }
    return *this;
}

CMessageH plainLog(std::int32_t debugLevel) {
    CMessageH log;
    log.dateStamp = 0;
    log.timeStamp = 0;
    log.threadStamp = 0;
    log.setName("TEST");
    log.debugLevel = debugLevel;
    return log;
}

}  // namespace testing_support
