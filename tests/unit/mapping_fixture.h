// The mapping as the device sets it up, logging through a record without
// stamps so that every line is known to the byte.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "config/CConCommonH.h"
#include "tests/support/capture.h"

namespace mapping_testing {

inline CMessageH plainLog() {
    CMessageH log;
    log.dateStamp = 0;
    log.timeStamp = 0;
    log.threadStamp = 0;
    log.setName("CPallador");
    return log;
}

// One controller, 6 valuators, 12 buttons, identity orders, unit scale.
inline std::unique_ptr<CConCommonH> deviceMapping() {
    const CMessageH log = plainLog();
    auto mapping = std::make_unique<CConCommonH>(&log);
    mapping->numControllers = 1;
    mapping->allocate(1, true);
    mapping->setupController(1, 1, 6, 12);
    return mapping;
}

// What the action printed, line by line, without the log header.
template <typename Action>
std::vector<std::string> printedLines(Action action) {
    std::vector<std::string> lines;
    for (const std::string& line :
         testing_support::splitLines(testing_support::captureOutput(action))) {
        lines.push_back(testing_support::withoutHeader(line, "CPallador"));
    }
    return lines;
}

}  // namespace mapping_testing
