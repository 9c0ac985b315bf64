#include "tests/support/config_text.h"

#include <sstream>
#include <utility>
#include <vector>

namespace testing_support {

hostkit::Config configFromText(const std::string& text) {
    std::istringstream lines(text);
    std::string lineText;
    std::uint32_t number = 0;
    std::vector<std::pair<std::uint32_t, std::vector<std::string>>> options;
    std::string deviceName;
    bool named = false;
    while (std::getline(lines, lineText)) {
        ++number;
        std::vector<std::string> words = hostkit::splitConfigLine(lineText).words;
        if (words.empty()) {
            continue;
        }
        if (!named) {
            deviceName = words.front();
            named = true;
            continue;
        }
        options.emplace_back(number, std::move(words));
    }
    hostkit::Config config(deviceName);
    for (const auto& [lineNumber, words] : options) {
        config.add(lineNumber, words.front(),
                   std::vector<std::string>(words.begin() + 1, words.end()));
    }
    return config;
}

}  // namespace testing_support
