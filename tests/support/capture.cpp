#include "tests/support/capture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>

namespace testing_support {

std::string captureOutput(const std::function<void()>& action) {
    std::cout.flush();
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    action();
    std::cout.flush();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string withoutHeader(const std::string& line, const std::string& name) {
    const std::string head = name + ": ";
    if (line.compare(0, head.size(), head) == 0) {
        return line.substr(head.size());
    }
    return line;
}

}  // namespace testing_support
