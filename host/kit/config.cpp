#include "host/kit/config.h"

#include <cstring>

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
