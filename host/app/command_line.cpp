#include "host/app/command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "host/kit/arguments.h"

namespace host {

const char* const kUsage =
    "usage: pallador-host CONFIG [--plugin PATH] [--debug LEVEL] [--frames N] [--seconds S]\n"
    "                     [--json] [--simulate]\n"
    "       pallador-host calibrate CONFIG [--write] [--rest-seconds S] [--travel-seconds S]\n"
    "       pallador-host --version\n"
    "  --plugin PATH   the plug-in library (default: the configuration's plugin line, or\n"
    "                  the one next to this program)\n"
    "  --debug LEVEL   hand the plug-in a log record with this debug level\n"
    "  --frames N      stop after N published controller records\n"
    "  --seconds S     stop after S seconds\n"
    "  --json          one JSON line per published record on standard output\n"
    "  --simulate      start the device simulator and read it instead of the configured port\n"
    "  --version       print the release version and end\n";

namespace {

bool readInteger(const std::string& text, long long low, long long& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && value >= low;
}

}  // namespace

bool readSeconds(const std::string& text, double& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return *end == '\0' && std::isfinite(value) && value > 0;
}

CommandLineResult parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLineResult result;
    CommandLine& line = result.line;
    const auto set = [](bool& flag) { return [&flag](const std::string&) { return flag = true; }; };
    const hostkit::ArgumentTable table{
        {{{"--help", "-h"}, "", set(line.help)},
         {{"--version"}, "", set(line.version)},
         {{"--json"}, "", set(line.json)},
         {{"--simulate"}, "", set(line.simulate)},
         {{"--plugin"}, "a path", readPath(line.pluginPath)},
         {{"--debug"},
          "a level (a whole number from 0)",
          [&line](const std::string& text) {
              long long level = 0;
              line.debugGiven = readInteger(text, 0, level) && level <= 0x7FFFFFFF;
              line.debugLevel = static_cast<std::int32_t>(level);
              return line.debugGiven;
          }},
         {{"--frames"},
          "a count (a whole number from 1)",
          [&line](const std::string& text) {
              long long frames = 0;
              const bool read = readInteger(text, 1, frames);
              line.frames = frames;
              return read;
          }},
         {{"--seconds"}, "a time in seconds (above 0)", readSecondsInto(line.seconds)}},
        takeConfigPath(line.configPath)};
    result.error = hostkit::walkArguments(arguments, table);
    if (result.error.empty() && line.configPath.empty() && !line.help && !line.version) {
        result.error = "a configuration file is needed";
    }
    return result;
}

std::function<bool(const std::string&)> readPath(std::string& path) {
    return [&path](const std::string& text) {
        path = text;
        return !text.empty();
    };
}

std::function<bool(const std::string&)> readSecondsInto(double& seconds) {
    return [&seconds](const std::string& text) { return readSeconds(text, seconds); };
}

std::function<std::string(const std::string&)> takeConfigPath(std::string& path) {
    return [&path](const std::string& word) -> std::string {
        if (!path.empty()) {
            return "only one configuration file, found " + path + " and " + word;
        }
        path = word;
        return {};
    };
}

}  // namespace host
