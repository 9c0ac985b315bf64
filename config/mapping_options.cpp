// The controller mapping options. A rejected line changes nothing: every
// check runs before the first field is written.
#include <algorithm>
#include <cstring>

#include "config/CConCommonH.h"
#include "config/options.h"

namespace {

constexpr const char* kIncomplete = "Incomplete option line found for ";
constexpr const char* kTooMany = "Too many args found for ";
constexpr const char* kInvalidArg = "Invalid arg found for ";
constexpr const char* kInvalidController = "Invalid controller ID found for ";
constexpr const char* kInvalidValuator = "Invalid valuator ID found for ";
constexpr const char* kInvalidButton = "Invalid button ID found for ";
constexpr const char* kInvalidId = "Invalid ID found in ";
constexpr const char* kSameId = "Same ID found more than once in ";

constexpr const char* kEmulateTracker = "EmulateTracker at line ";
constexpr const char* kEmulateTrackerOption = "EmulateTracker option at line ";
constexpr const char* kValuatorScale = "ValuatorScale at line ";
constexpr const char* kValuatorScaleOption = "ValuatorScale option at line ";
constexpr const char* kOrder = "Order at line ";
constexpr const char* kOrderOption = "Order option at line ";

constexpr std::uint32_t kMaxElements = ControllerEntry::kMaxElements;

// IDs are compared as unsigned values, so a negative one fails every bound.
std::uint32_t idAt(const OptionLine& line, std::uint32_t index) {
    return static_cast<std::uint32_t>(toInteger(argumentAt(line, index)));
}

}  // namespace

std::uint32_t CConCommonH::controllerArgument(const OptionLine& line) const {
    const std::uint32_t c = idAt(line, 0);
    return c == 0 || c > count ? 0 : c;
}

CConCommonH::LineResult CConCommonH::parseEmulateTracker(const OptionLine& line) {
    const std::uint32_t argc = argCountOf(line);
    const auto reject = [&](const char* phrase, const char* option, const char* ending = ".") {
        reportOptionError(*log, "", phrase, option, line.lineNumber, ending);
        return LineResult::rejected;
    };
    if (argc == 0) {
        return reject(kIncomplete, kEmulateTracker);
    }
    const std::uint32_t c = controllerArgument(line);
    if (c == 0) {
        return reject(kInvalidController, kEmulateTrackerOption);
    }
    if (argc < 2) {
        return reject(kIncomplete, kEmulateTracker);
    }
    std::array<float, TrackerEmulation::kAxes> pose{};
    const char* poseText = argumentAt(line, 1);
    if (poseText[0] == '[') {
        readVector(poseText, pose.data(), TrackerEmulation::kAxes);
    }
    if (argc < 8) {
        return reject(kIncomplete, kEmulateTracker);
    }
    if (argc > 9) {
        return reject(kTooMany, kEmulateTracker);
    }
    const ControllerEntry& e = lookup[c - 1];
    std::array<std::uint32_t, TrackerEmulation::kAxes> axes{};
    for (std::uint32_t axis = 0; axis < axes.size(); ++axis) {
        const std::uint32_t n = idAt(line, 2 + axis);
        if (n > e.valuatorCount || n > kMaxElements) {
            return reject(kInvalidValuator, kEmulateTrackerOption);
        }
        axes[axis] = n;
    }
    std::uint32_t resetButton = 0;
    if (argc == 9) {
        resetButton = idAt(line, 8);
        if (resetButton == 0 || resetButton > e.buttonCount || resetButton > kMaxElements) {
            return reject(kInvalidButton, kEmulateTrackerOption, ". Ignored.");
        }
    }
    setEmulation(c, 0, pose, axes, resetButton);
    return LineResult::accepted;
}

CConCommonH::LineResult CConCommonH::parseElementOrder(const OptionLine& line, bool buttons) {
    const std::uint32_t argc = argCountOf(line);
    const auto reject = [&](const char* phrase, const char* option) {
        reportOptionError(*log, "", phrase, option, line.lineNumber);
        return LineResult::rejected;
    };
    if (argc == 0) {
        return reject(kIncomplete, kOrder);
    }
    const std::uint32_t c = controllerArgument(line);
    if (c == 0) {
        return reject(kInvalidController, kOrderOption);
    }
    ControllerEntry& e = lookup[c - 1];
    std::uint32_t& elementCount = buttons ? e.buttonCount : e.valuatorCount;
    std::uint32_t* order = buttons ? e.buttonOrder : e.valuatorOrder;
    const std::uint32_t limit = restrictIds ? elementCount : kMaxElements;

    std::uint32_t largest = 0;
    for (std::uint32_t index = 1; index < argc; ++index) {
        const std::uint32_t v = idAt(line, index);
        if (isInvalidZero(v, argumentAt(line, index))) {
            return reject(kInvalidArg, kOrder);
        }
        if (v != 0) {
            for (std::uint32_t later = index + 1; later < argc; ++later) {
                if (idAt(line, later) == v) {
                    return reject(kSameId, kOrderOption);
                }
            }
        }
        largest = std::max(largest, v);
    }
    if (largest > limit) {
        return reject(kInvalidId, kOrderOption);
    }
    elementCount = largest;
    std::fill(order, order + kMaxElements, 0u);
    for (std::uint32_t index = 1; index < argc; ++index) {
        const std::uint32_t v = idAt(line, index);
        if (v != 0) {
            order[v - 1] = index;
        }
    }
    return LineResult::accepted;
}

CConCommonH::LineResult CConCommonH::parseValuatorScale(const OptionLine& line) {
    const std::uint32_t argc = argCountOf(line);
    const auto reject = [&](const char* phrase, const char* option) {
        reportOptionError(*log, "", phrase, option, line.lineNumber);
        return LineResult::rejected;
    };
    if (argc == 0) {
        return reject(kIncomplete, kValuatorScale);
    }
    const std::uint32_t c = controllerArgument(line);
    if (c == 0) {
        return reject(kInvalidController, kValuatorScaleOption);
    }
    if (argc < 3) {
        return reject(kIncomplete, kValuatorScale);
    }
    float coefficients[4] = {};
    const char* coefficientText = argumentAt(line, 1);
    if (coefficientText[0] == '[') {
        readVector(coefficientText, coefficients, 4);
        if (std::all_of(coefficients, coefficients + 4, [](float a) { return a == 0.0f; })) {
            return reject(kIncomplete, kValuatorScale);
        }
    } else {
        const double slope = toReal(coefficientText);
        if (isInvalidZero(slope, coefficientText)) {
            return reject(kInvalidArg, kValuatorScale);
        }
        coefficients[2] = static_cast<float>(slope);
    }

    ControllerEntry& e = lookup[c - 1];
    std::uint32_t selected = 0;  // bit r-1 for real valuator r
    for (std::uint32_t index = 2; index < argc; ++index) {
        const char* text = argumentAt(line, index);
        if (compareNoCase(text, "all") == 0) {
            selected = 0xFFFFFFFFu;
            break;
        }
        const std::uint32_t v = idAt(line, index);
        if (v == 0 || v > e.valuatorCount || v > kMaxElements) {
            return reject(kInvalidValuator, kValuatorScaleOption);
        }
        selected |= 1u << (v - 1);
    }
    for (std::uint32_t r = 1; r <= kMaxElements; ++r) {
        if ((selected & (1u << (r - 1))) != 0) {
            std::memcpy(e.valuatorScale[r - 1], coefficients, sizeof coefficients);
        }
    }
    return LineResult::accepted;
}

CConCommonH::LineResult CConCommonH::parseControllerOrder(const OptionLine& line) {
    // While locked the line belongs to whoever else knows the keyword, or to
    // the unknown-option check.
    if (orderLocked) {
        return LineResult::notMine;
    }
    const std::uint32_t n = std::min(argCountOf(line), numControllers);
    for (std::uint32_t k = 0; k < n; ++k) {
        const std::uint32_t v = idAt(line, k);
        if (v == 0 || v > count) {
            reportOptionError(*log, "", kInvalidController, kOrderOption, line.lineNumber);
            return LineResult::rejected;
        }
    }
    for (std::uint32_t c = 1; c <= count; ++c) {
        lookup[c - 1].outputNumber = 0;
    }
    for (std::uint32_t k = 0; k < n; ++k) {
        lookup[idAt(line, k) - 1].outputNumber = k + 1;
    }
    return LineResult::accepted;
}

bool CConCommonH::parseOptions(DeviceConfig* config) {
    if (!lookup) {
        log->error("CConCommonH: lookup Null", true);
        return false;
    }
    if (config == nullptr) {
        log->error("CConCommonH: config empty", true);
        return false;
    }
    bool failed = false;
    const std::uint32_t lines = lineCountOf(*config);
    for (std::uint32_t slot = 0; slot < lines; ++slot) {
        OptionLine& line = config->lines[slot];
        LineResult result = LineResult::notMine;
        if (keywordIs(line, "emulatetracker")) {
            result = parseEmulateTracker(line);
        } else if (keywordIs(line, "valuatororder")) {
            result = parseElementOrder(line, false);
        } else if (keywordIs(line, "buttonorder")) {
            result = parseElementOrder(line, true);
        } else if (keywordIs(line, "valuatorscale")) {
            result = parseValuatorScale(line);
        } else if (keywordIs(line, "controllerorder") || keywordIs(line, "unitorder") ||
                   keywordIs(line, "order")) {
            result = parseControllerOrder(line);
        }
        if (result == LineResult::accepted) {
            line.used = 1;
        } else if (result == LineResult::rejected) {
            failed = true;
        }
    }
    return !failed;
}
