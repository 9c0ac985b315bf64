// The host's own configuration text: which plug-in to load, the device's
// name and the device's option lines, each with the number of the line it
// came from so that the plug-in's messages point into the user's file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

struct OptionText {
    std::uint32_t lineNumber = 0;
    std::string keyword;
    std::vector<std::string> arguments;
};

struct HostConfig {
    std::string pluginPath;  // empty: the plug-in next to the program
    std::string deviceName = "pallador";
    std::vector<OptionText> options;
};

// The outcome of reading a configuration: the record, or the first fault as
// "FILE:LINE: text".
struct ConfigResult {
    HostConfig config;
    std::string text;  // the file's, as read
    std::string error;
    bool ok() const { return error.empty(); }
};

// What a device configuration record has room for.
constexpr std::size_t kMaxOptionLines = 32;
constexpr std::size_t kMaxArguments = 64;

// Keywords are matched without regard to case; `lower` is in lower case.
bool isKeyword(const std::string& word, const char* lower);

// `fileName` only names the text in messages.
ConfigResult parseConfig(const std::string& text, const std::string& fileName);
ConfigResult readConfigFile(const std::string& path);

// The plug-in to load: the one the command line gives, else the
// configuration's plugin line, else `fallback`.
std::string choosePlugin(const std::string& given, const HostConfig& config,
                         const std::string& fallback);

// Points the device at `port`: the last port line takes it, or a port line
// is added. False when there is no room for another line.
bool overridePort(HostConfig& config, const std::string& port);

// The port the plug-in will open: the last port line's argument, or the
// plug-in's default.
std::string portOf(const HostConfig& config);

}  // namespace host
