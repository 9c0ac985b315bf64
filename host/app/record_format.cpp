#include "host/app/record_format.h"

#include <algorithm>
#include <cstdio>

namespace host {

namespace {

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

const char* const kAxes[6] = {"x", "y", "z", "azim", "elev", "roll"};

}  // namespace

std::uint32_t valuatorsOf(const ConData& record) {
    return std::min(record.getValuatorCount(), ConData::kMaxValuators);
}

std::uint32_t buttonsOf(const ConData& record) {
    return std::min(record.getButtonCount(), ConData::kMaxButtons);
}

std::string plainLine(double t, const ConData& record) {
    std::string line = fixed(t, 3) + " controller " + std::to_string(record.getId()) + " valuators";
    for (std::uint32_t n = 1; n <= valuatorsOf(record); ++n) {
        // Appended piece by piece here and below: gcc 12 at -O3 warns
        // falsely of an overlap in `"," + std::string`.
        line += ' ';
        line += fixed(record.getValuator(n), 3);
    }
    line += " buttons ";
    for (std::uint32_t n = 1; n <= buttonsOf(record); ++n) {
        line += record.getButton(n) != 0 ? '1' : '0';
    }
    return line;
}

std::string plainLine(double t, const TraData& record) {
    std::string line = fixed(t, 3) + " tracker " + std::to_string(record.getId());
    for (int axis = 0; axis < 6; ++axis) {
        line += std::string(" ") + kAxes[axis] + " " + fixed(record.getPose(axis), 5);
    }
    return line;
}

std::string jsonLine(double t, const ConData& record) {
    std::string line = "{\"t\":" + fixed(t, 3) +
                       ",\"kind\":\"controller\",\"id\":" + std::to_string(record.getId()) +
                       ",\"valuators\":[";
    for (std::uint32_t n = 1; n <= valuatorsOf(record); ++n) {
        line += n > 1 ? "," : "";
        line += fixed(record.getValuator(n), 3);
    }
    line += "],\"buttons\":[";
    for (std::uint32_t n = 1; n <= buttonsOf(record); ++n) {
        line += n > 1 ? "," : "";
        line += record.getButton(n) != 0 ? '1' : '0';
    }
    return line + "]}";
}

std::string jsonLine(double t, const TraData& record) {
    std::string line = "{\"t\":" + fixed(t, 3) +
                       ",\"kind\":\"tracker\",\"id\":" + std::to_string(record.getId()) +
                       ",\"pose\":[";
    for (int axis = 0; axis < 6; ++axis) {
        line += axis > 0 ? "," : "";
        line += fixed(record.getPose(axis), 5);
    }
    return line + "]}";
}

}  // namespace host
