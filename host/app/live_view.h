// The live terminal view: the controller's six valuators as bars, its
// twelve buttons, the emulated tracker's pose, the rates, the detection
// state and the plug-in's latest log lines, drawn with ANSI escapes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "storage/ConData.h"
#include "storage/TraData.h"

namespace host {

struct ViewState {
    std::string device;
    std::string port;
    std::string state;  // "waiting for the device on ...", "receiving from ..."
    double elapsed = 0;
    double framesPerSecond = 0;
    double recordsPerSecond = 0;
    long long published = 0;
    std::optional<ConData> controller;
    std::optional<TraData> tracker;
    bool trackerConfigured = false;
    std::vector<std::string> logTail;
    std::string logPath;
};

// A bar of `width` cells for a value of -1 to +1, filled from the middle.
std::string valuatorBar(float value, int width);

// The whole screen: cursor home first, every line cleared to its end.
std::string renderView(const ViewState& state);

}  // namespace host
