#include "host/kit/config.h"

#include <cstring>
#include <sstream>

namespace hostkit {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

}  // namespace

ConfigLine splitConfigLine(const std::string& text) {
    ConfigLine line;
    std::size_t i = 0;
    while (i < text.size()) {
        if (isBlank(text[i])) {
            ++i;
            continue;
        }
        if (text[i] == '#') {
            line.commentAt = i;
            break;
        }
        std::size_t end = i;
        if (text[i] == '[') {
            end = text.find(']', i);
            line.bracketOpen = end == std::string::npos;
            end = line.bracketOpen ? text.size() : end + 1;
        }
        while (end < text.size() && !isBlank(text[end])) {
            ++end;
        }
        line.words.push_back(text.substr(i, end - i));
        i = end;
    }
    return line;
}

Config::Config(const std::string& deviceName)
    : block_(std::make_unique<GuardedBlock>("configuration record", sizeof(DeviceConfig))) {
    record()->deviceName = keep(deviceName);
}

Config Config::fromText(const std::string& text) {
    std::istringstream lines(text);
    std::string lineText;
    std::uint32_t number = 0;
    std::vector<std::pair<std::uint32_t, std::vector<std::string>>> options;
    std::string deviceName;
    bool named = false;
    while (std::getline(lines, lineText)) {
        ++number;
        std::vector<std::string> words = splitConfigLine(lineText).words;
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
    Config config(deviceName);
    for (const auto& [lineNumber, words] : options) {
        config.add(lineNumber, words.front(),
                   std::vector<std::string>(words.begin() + 1, words.end()));
    }
    return config;
}

bool Config::add(std::uint32_t lineNumber, const std::string& keyword,
                 const std::vector<std::string>& arguments) {
    if (added_ >= DeviceConfig::kMaxLines || arguments.size() > OptionLine::kMaxArgs) {
        return false;
    }
    OptionLine& slot = record()->lines[added_];
    slot.lineNumber = lineNumber;
    slot.name = keep(keyword);
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        slot.args[i] = keep(arguments[i]);
    }
    slot.argCount = static_cast<std::uint32_t>(arguments.size());
    slot.used = 0;
    ++added_;
    record()->lineCount = added_;
    return true;
}

std::string Config::usedFlags() const {
    std::string flags;
    for (std::uint32_t slot = 0; slot < added_; ++slot) {
        flags += used(slot) ? '1' : '0';
    }
    return flags;
}

const char* Config::keep(const std::string& text) {
    auto copy = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    strings_.push_back(std::move(copy));
    return strings_.back().get();
}

}  // namespace hostkit
