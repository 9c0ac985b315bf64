#include "host/app/command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

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
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        const auto needValue = [&](const char* what) {
            result.error = word + " needs " + what;
            return result;
        };
        if (word == "--help" || word == "-h") {
            line.help = true;
        } else if (word == "--version") {
            line.version = true;
        } else if (word == "--json") {
            line.json = true;
        } else if (word == "--simulate") {
            line.simulate = true;
        } else if (word == "--plugin") {
            if (!hasValue || arguments[i + 1].empty()) {
                return needValue("a path");
            }
            line.pluginPath = arguments[++i];
        } else if (word == "--debug") {
            long long level = 0;
            if (!hasValue || !readInteger(arguments[i + 1], 0, level) || level > 0x7FFFFFFF) {
                return needValue("a level (a whole number from 0)");
            }
            ++i;
            line.debugLevel = static_cast<std::int32_t>(level);
            line.debugGiven = true;
        } else if (word == "--frames") {
            long long frames = 0;
            if (!hasValue || !readInteger(arguments[i + 1], 1, frames)) {
                return needValue("a count (a whole number from 1)");
            }
            ++i;
            line.frames = frames;
        } else if (word == "--seconds") {
            if (!hasValue || !readSeconds(arguments[i + 1], line.seconds)) {
                return needValue("a time in seconds (above 0)");
            }
            ++i;
        } else if (word.size() > 1 && word[0] == '-') {
            result.error = "unknown option " + word;
            return result;
        } else if (line.configPath.empty()) {
            line.configPath = word;
        } else {
            result.error = "only one configuration file, found " + line.configPath + " and " + word;
            return result;
        }
    }
    if (line.configPath.empty() && !line.help && !line.version) {
        result.error = "a configuration file is needed";
    }
    return result;
}

}  // namespace host
