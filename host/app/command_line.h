// The program's command line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace host {

struct CommandLine {
    std::string configPath;
    std::string pluginPath;  // empty: from the configuration, or the default
    std::int32_t debugLevel = 0;
    bool debugGiven = false;
    std::int64_t frames = 0;  // 0: no bound
    double seconds = 0;       // 0: no bound
    bool json = false;
    bool simulate = false;
    bool help = false;
    bool version = false;
};

struct CommandLineResult {
    CommandLine line;
    std::string error;
    bool ok() const { return error.empty(); }
};

CommandLineResult parseCommandLine(const std::vector<std::string>& arguments);

// A time in seconds above 0, the whole text of it.
bool readSeconds(const std::string& text, double& value);

// Takers of the values the host's two command lines share, for their
// argument tables: a path that is not empty, a time in seconds, and the
// one configuration file.
std::function<bool(const std::string&)> readPath(std::string& path);
std::function<bool(const std::string&)> readSecondsInto(double& seconds);
std::function<std::string(const std::string&)> takeConfigPath(std::string& path);

extern const char* const kUsage;

}  // namespace host
