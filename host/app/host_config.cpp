#include "host/app/host_config.h"

#include <cerrno>
#include <cstring>
#include <sstream>

#include "host/kit/config.h"
#include "host/kit/whole_file.h"

namespace host {

namespace {

bool isPortKeyword(const std::string& keyword) {
    return isKeyword(keyword, "port") || isKeyword(keyword, "serialport");
}

}  // namespace

bool isKeyword(const std::string& a, const char* b) {
    const std::size_t n = std::strlen(b);
    if (a.size() != n) {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        if (x != b[i]) {
            return false;
        }
    }
    return true;
}

ConfigResult parseConfig(const std::string& text, const std::string& fileName) {
    ConfigResult result;
    std::istringstream lines(text);
    std::string line;
    std::uint32_t number = 0;
    const auto fail = [&](const std::string& what) {
        result.error = fileName + ":" + std::to_string(number) + ": " + what;
        return result;
    };
    while (std::getline(lines, line)) {
        ++number;
        const hostkit::ConfigLine split = hostkit::splitConfigLine(line);
        const std::vector<std::string>& words = split.words;
        if (split.bracketOpen) {
            return fail("unterminated bracket: a vector such as [0, 0, 1.5] needs its \"]\"");
        }
        if (words.empty()) {
            continue;
        }
        const std::string& keyword = words.front();
        if (isKeyword(keyword, "plugin") || isKeyword(keyword, "device")) {
            const bool plugin = isKeyword(keyword, "plugin");
            const char* what = plugin ? "a path" : "a name";
            if (words.size() != 2) {
                return fail(keyword + " takes exactly one argument, " + what + " (found " +
                            std::to_string(words.size() - 1) + ")");
            }
            (plugin ? result.config.pluginPath : result.config.deviceName) = words[1];
            continue;
        }
        if (words.size() - 1 > kMaxArguments) {
            return fail("more than " + std::to_string(kMaxArguments) + " arguments (" +
                        std::to_string(words.size() - 1) + ")");
        }
        if (result.config.options.size() == kMaxOptionLines) {
            return fail("more than " + std::to_string(kMaxOptionLines) +
                        " option lines for one device");
        }
        result.config.options.push_back(
            OptionText{number, keyword, std::vector<std::string>(words.begin() + 1, words.end())});
    }
    return result;
}

ConfigResult readConfigFile(const std::string& path) {
    const std::optional<std::string> text = hostkit::wholeFile(path);
    if (!text) {
        ConfigResult result;
        result.error = path + ": cannot read: " + std::strerror(errno);
        return result;
    }
    ConfigResult result = parseConfig(*text, path);
    result.text = *text;
    return result;
}

std::string choosePlugin(const std::string& given, const HostConfig& config,
                         const std::string& fallback) {
    return !given.empty() ? given : !config.pluginPath.empty() ? config.pluginPath : fallback;
}

bool overridePort(HostConfig& config, const std::string& port) {
    for (auto it = config.options.rbegin(); it != config.options.rend(); ++it) {
        if (isPortKeyword(it->keyword)) {
            it->arguments = {port};
            return true;
        }
    }
    if (config.options.size() == kMaxOptionLines) {
        return false;
    }
    config.options.push_back(OptionText{0, "port", {port}});
    return true;
}

std::string portOf(const HostConfig& config) {
    for (auto it = config.options.rbegin(); it != config.options.rend(); ++it) {
        if (isPortKeyword(it->keyword) && it->arguments.size() == 1) {
            return it->arguments.front();
        }
    }
    return "com2";
}

}  // namespace host
