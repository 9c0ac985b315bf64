// The controller mapping's option lines: emulated tracker, valuator and
// button orders, response curves, and the controller order.
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

std::uint32_t unsignedArgument(const OptionLine& line, std::uint32_t index) {
    return static_cast<std::uint32_t>(toInteger(argumentAt(line, index)));
}

}  // namespace

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
        bool accepted = false;
        if (keywordIs(line, "emulatetracker")) {
            accepted = parseEmulateTracker(line);
        } else if (keywordIs(line, "valuatororder")) {
            accepted = parseOrder(line, false);
        } else if (keywordIs(line, "buttonorder")) {
            accepted = parseOrder(line, true);
        } else if (keywordIs(line, "valuatorscale")) {
            accepted = parseScale(line);
        } else if (keywordIs(line, "controllerorder") || keywordIs(line, "unitorder") ||
                   keywordIs(line, "order")) {
            if (orderLocked) {
                continue;  // the tracker options or the unknown-option check take it
            }
            accepted = parseControllerOrder(line);
        } else {
            continue;
        }
        if (accepted) {
            line.used = 1;
        } else {
            failed = true;
        }
    }
    return !failed;
}

bool CConCommonH::parseEmulateTracker(const OptionLine& line) {
    const std::uint32_t args = argCountOf(line);
    auto reject = [&](const char* failure, const char* phrase, const char* ending = ".") {
        reportOptionError(*log, "", failure, phrase, line.lineNumber, ending);
        return false;
    };
    if (args == 0) {
        return reject(kIncomplete, "EmulateTracker at line ");
    }
    const std::uint32_t c = unsignedArgument(line, 0);
    if (c == 0 || c > count) {
        return reject(kInvalidController, "EmulateTracker option at line ");
    }
    if (args < 2) {
        return reject(kIncomplete, "EmulateTracker at line ");
    }
    float pose[6] = {};
    const char* poseText = argumentAt(line, 1);
    if (poseText[0] == '[') {
        readVector(poseText, pose, 6);
    }
    if (args < 8) {
        return reject(kIncomplete, "EmulateTracker at line ");
    }
    if (args > 9) {
        return reject(kTooMany, "EmulateTracker at line ");
    }
    const ControllerEntry& e = entry(c);
    std::uint32_t axes[6] = {};
    for (std::uint32_t axis = 0; axis < 6; ++axis) {
        axes[axis] = unsignedArgument(line, 2 + axis);
        if (axes[axis] > e.valuatorCount || axes[axis] > ControllerEntry::kMaxChannels) {
            return reject(kInvalidValuator, "EmulateTracker option at line ");
        }
    }
    std::uint32_t reset = 0;
    if (args == 9) {
        reset = unsignedArgument(line, 8);
        if (reset == 0 || reset > e.buttonCount || reset > ControllerEntry::kMaxChannels) {
            return reject(kInvalidButton, "EmulateTracker option at line ", ". Ignored.");
        }
    }
    return setEmulation(c, 0, pose, axes, reset);
}

bool CConCommonH::parseOrder(const OptionLine& line, bool buttons) {
    const std::uint32_t args = argCountOf(line);
    auto reject = [&](const char* failure, const char* phrase) {
        reportOptionError(*log, "", failure, phrase, line.lineNumber);
        return false;
    };
    if (args == 0) {
        return reject(kIncomplete, "Order at line ");
    }
    const std::uint32_t c = unsignedArgument(line, 0);
    if (c == 0 || c > count) {
        return reject(kInvalidController, "Order option at line ");
    }
    ControllerEntry& e = entry(c);
    const std::uint32_t current = buttons ? e.buttonCount : e.valuatorCount;
    const std::uint32_t limit = restrictIds ? current : ControllerEntry::kMaxChannels;
    std::uint32_t largest = 0;
    for (std::uint32_t k = 1; k < args; ++k) {
        const char* text = argumentAt(line, k);
        const std::uint32_t v = static_cast<std::uint32_t>(toInteger(text));
        if (v == 0 && isInvalidZero(0.0, text)) {
            return reject(kInvalidArg, "Order at line ");
        }
        if (v != 0) {
            for (std::uint32_t later = k + 1; later < args; ++later) {
                if (unsignedArgument(line, later) == v) {
                    return reject(kSameId, "Order option at line ");
                }
            }
        }
        if (v > largest) {
            largest = v;
        }
    }
    if (largest > limit) {
        return reject(kInvalidId, "Order option at line ");
    }
    std::uint32_t* order = buttons ? e.buttonOrder : e.valuatorOrder;
    (buttons ? e.buttonCount : e.valuatorCount) = largest;
    for (std::uint32_t k = 0; k < ControllerEntry::kMaxChannels; ++k) {
        order[k] = 0;
    }
    for (std::uint32_t k = 1; k < args; ++k) {
        const std::uint32_t v = unsignedArgument(line, k);
        if (v != 0) {
            // Real element v is published as output element k.
            order[v - 1] = k;
        }
    }
    return true;
}

bool CConCommonH::parseScale(const OptionLine& line) {
    const std::uint32_t args = argCountOf(line);
    auto reject = [&](const char* failure, const char* phrase) {
        reportOptionError(*log, "", failure, phrase, line.lineNumber);
        return false;
    };
    if (args == 0) {
        return reject(kIncomplete, "ValuatorScale at line ");
    }
    const std::uint32_t c = unsignedArgument(line, 0);
    if (c == 0 || c > count) {
        return reject(kInvalidController, "ValuatorScale option at line ");
    }
    if (args < 3) {
        return reject(kIncomplete, "ValuatorScale at line ");
    }
    float coefficients[4] = {};
    const char* text = argumentAt(line, 1);
    if (text[0] == '[') {
        readVector(text, coefficients, 4);
        if (coefficients[0] == 0.0f && coefficients[1] == 0.0f && coefficients[2] == 0.0f &&
            coefficients[3] == 0.0f) {
            return reject(kIncomplete, "ValuatorScale at line ");
        }
    } else {
        const double value = toReal(text);
        if (isInvalidZero(value, text)) {
            return reject(kInvalidArg, "ValuatorScale at line ");
        }
        coefficients[2] = static_cast<float>(value);
    }
    ControllerEntry& e = entry(c);
    bool selected[ControllerEntry::kMaxChannels] = {};
    for (std::uint32_t k = 2; k < args; ++k) {
        const char* word = argumentAt(line, k);
        if (compareNoCase(word, "all") == 0) {
            for (bool& s : selected) {
                s = true;
            }
            break;
        }
        const std::uint32_t v = static_cast<std::uint32_t>(toInteger(word));
        if (v == 0 || v > e.valuatorCount || v > ControllerEntry::kMaxChannels) {
            return reject(kInvalidValuator, "ValuatorScale option at line ");
        }
        selected[v - 1] = true;
    }
    for (std::uint32_t v = 0; v < ControllerEntry::kMaxChannels; ++v) {
        if (selected[v]) {
            for (int i = 0; i < 4; ++i) {
                e.valuatorScale[v][i] = coefficients[i];
            }
        }
    }
    return true;
}

bool CConCommonH::parseControllerOrder(const OptionLine& line) {
    const std::uint32_t args = argCountOf(line);
    const std::uint32_t n = args < numControllers ? args : numControllers;
    std::uint32_t ids[ControllerEntry::kMaxChannels + 1] = {};
    for (std::uint32_t k = 0; k < n; ++k) {
        const std::uint32_t v = unsignedArgument(line, k);
        if (v == 0 || v > count) {
            reportOptionError(*log, "", kInvalidController, "Order option at line ",
                              line.lineNumber);
            return false;
        }
        if (k < ControllerEntry::kMaxChannels + 1) {
            ids[k] = v;
        }
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        lookup[i].outputNumber = 0;
    }
    for (std::uint32_t k = 0; k < n && k < ControllerEntry::kMaxChannels + 1; ++k) {
        lookup[ids[k] - 1].outputNumber = k + 1;
    }
    return true;
}
