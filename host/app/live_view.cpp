#include "host/app/live_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "host/app/record_format.h"

namespace host {

namespace {

constexpr const char* kHome = "\x1b[H";
constexpr const char* kEndLine = "\x1b[K\n";
constexpr const char* kClearBelow = "\x1b[J";
constexpr const char* kBold = "\x1b[1m";
constexpr const char* kReverse = "\x1b[7m";
constexpr const char* kPlain = "\x1b[0m";

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

}  // namespace

std::string valuatorBar(float value, int width) {
    const int half = width / 2;
    const float clamped = std::isfinite(value) ? std::clamp(value, -1.0f, 1.0f) : 0.0f;
    const int cells = static_cast<int>(std::lround(std::fabs(clamped) * static_cast<float>(half)));
    std::string bar(static_cast<std::size_t>(width), ' ');
    bar[static_cast<std::size_t>(half)] = '|';
    for (int i = 1; i <= cells; ++i) {
        const int at = clamped < 0 ? half - i : half + i;
        if (at >= 0 && at < width) {
            bar[static_cast<std::size_t>(at)] = '#';
        }
    }
    return "[" + bar + "]";
}

namespace {

std::string controllerLines(const ViewState& state) {
    std::string lines;
    if (!state.controller) {
        lines += std::string("controller: no record yet") + kEndLine;
    } else {
        const ConData& record = *state.controller;
        lines += "controller " + std::to_string(record.getId()) + kEndLine;
        for (std::uint32_t n = 1; n <= std::min<std::uint32_t>(valuatorsOf(record), 6); ++n) {
            const float value = record.getValuator(n);
            lines += "  valuator " + std::to_string(n) + " " + valuatorBar(value, 40) +
                     format(" %+7.3f", value) + kEndLine;
        }
        std::string numbers = "  buttons ";
        std::string marks = "          ";
        for (std::uint32_t n = 1; n <= std::min<std::uint32_t>(buttonsOf(record), 12); ++n) {
            const std::string label = std::to_string(n);
            numbers += label + " ";
            const bool pressed = record.getButton(n) != 0;
            marks += pressed ? std::string(kReverse) + std::string(label.size(), '#') + kPlain
                             : std::string(label.size(), '.');
            marks += " ";
        }
        lines += numbers + kEndLine + marks + kEndLine;
    }
    return lines;
}

std::string trackerLines(const ViewState& state) {
    std::string lines;
    if (state.tracker) {
        const TraData& pose = *state.tracker;
        lines += "tracker " + std::to_string(pose.getId()) + ":" +
                 format("  x %+9.4f", pose.getX()) + format("  y %+9.4f", pose.getY()) +
                 format("  z %+9.4f", pose.getZ()) + kEndLine;
        lines += std::string("          ") + format("  azim %+9.3f", pose.getAzim()) +
                 format("  elev %+9.3f", pose.getElev()) + format("  roll %+9.3f", pose.getRoll()) +
                 kEndLine;
    } else if (state.trackerConfigured) {
        lines += std::string("tracker: no pose yet") + kEndLine;
    } else {
        lines += std::string("tracker: not emulated") + kEndLine;
    }
    return lines;
}

}  // namespace

std::string renderView(const ViewState& state) {
    std::string screen = kHome;
    screen += std::string(kBold) + "pallador-host" + kPlain + "  " + state.device + " on " +
              state.port + format("   %.1f s", state.elapsed) + kEndLine;
    screen += "state: " + state.state + kEndLine;
    screen += format("frames/s %6.1f", state.framesPerSecond) +
              format("   records/s %6.1f", state.recordsPerSecond) + "   published " +
              std::to_string(state.published) + kEndLine;
    screen += kEndLine;
    screen += controllerLines(state);
    screen += kEndLine;
    screen += trackerLines(state);
    screen += kEndLine;
    screen += "plug-in log (" + state.logPath + "):" + kEndLine;
    for (const std::string& line : state.logTail) {
        screen += "  " + line.substr(0, 110) + kEndLine;
    }
    screen += "Ctrl-C ends the run.";
    screen += kEndLine;
    screen += kClearBelow;
    return screen;
}

}  // namespace host
