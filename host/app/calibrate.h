// pallador-host calibrate: a guided run that measures each analogue
// channel's rest point, noise and travel through the plug-in and writes the
// response curves that make rest read 0 and the travel's ends -1 and +1.
#pragma once

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace host {

struct CalibrateSettings {
    std::string configPath;
    std::string pluginPath;  // empty: the configuration's plugin line, or the default
    bool write = false;
    bool deadBand = true;
    double restSeconds = 3;
    double travelSeconds = 0;  // 0: until Enter
    bool help = false;
};

struct CalibrateLineResult {
    CalibrateSettings settings;
    std::string error;
    bool ok() const { return error.empty(); }
};

// The words after "calibrate".
CalibrateLineResult parseCalibrateLine(const std::vector<std::string>& arguments);

extern const char* const kCalibrateUsage;

// Exit statuses beyond 0 (done) and 1 (the plug-in, the line or the device
// failed) and 2 (a faulty command line or configuration).
constexpr int kChannelLeftOut = 3;

struct CalibrateRun {
    CalibrateSettings settings;
    std::string pluginPath;     // when neither the settings nor the configuration name one
    std::FILE* out = stdout;    // prompts, bars and results
    bool terminal = false;      // live bars, and Enter ends the travel phase
    std::string pluginLogPath;  // where the plug-in writes, for its messages on a refusal
    // Told "rest" and "travel" as each phase begins.
    std::function<void(const std::string&)> onPhase;
};

// The whole guided run; its exit status. `stop` ends it early (Ctrl-C).
int runCalibration(const CalibrateRun& run, const std::atomic<bool>& stop);

}  // namespace host
