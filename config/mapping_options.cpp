// The controller mapping options. A rejected line changes nothing: every
// check runs before the first field is written.
#include <algorithm>
#include <cstring>

#include "config/CConCommonH.h"
#include "config/options.h"

namespace {

using namespace phrase;

constexpr std::uint32_t kMaxElements = ControllerEntry::kMaxElements;

// IDs are compared as unsigned values, so a negative one fails every bound.
std::uint32_t idAt(const OptionLineView& line, std::uint32_t index) {
    return static_cast<std::uint32_t>(toInteger(line.arg(index)));
}

}  // namespace

LineVerdict CConCommonH::readController(const OptionLineView& line, std::uint32_t minArgs,
                                        std::uint32_t& c) const {
    if (line.argCount() == 0) {
        return line.reject(kIncomplete);
    }
    c = idAt(line, 0);
    if (c == 0 || c > count) {
        return line.rejectOption(kInvalidController);
    }
    if (line.argCount() < minArgs) {
        return line.reject(kIncomplete);
    }
    return std::nullopt;
}

LineResult CConCommonH::parseEmulateTracker(const OptionLineView& line) {
    const std::uint32_t argc = line.argCount();
    std::uint32_t c = 0;
    if (const LineVerdict verdict = readController(line, 2, c)) {
        return *verdict;
    }
    std::array<float, TrackerEmulation::kAxes> pose{};
    const char* poseText = line.arg(1);
    if (poseText[0] == '[') {
        readVector(poseText, pose.data(), TrackerEmulation::kAxes);
    }
    if (argc < 8) {
        return line.reject(kIncomplete);
    }
    if (argc > 9) {
        return line.reject(kTooMany);
    }
    const ControllerEntry& e = lookup[c - 1];
    std::array<std::uint32_t, TrackerEmulation::kAxes> axes{};
    for (std::uint32_t axis = 0; axis < axes.size(); ++axis) {
        const std::uint32_t n = idAt(line, 2 + axis);
        if (n > e.valuatorCount || n > kMaxElements) {
            return line.rejectOption(kInvalidValuator);
        }
        axes[axis] = n;
    }
    std::uint32_t resetButton = 0;
    if (argc == 9) {
        resetButton = idAt(line, 8);
        if (resetButton == 0 || resetButton > e.buttonCount || resetButton > kMaxElements) {
            // The one message with another ending; the line is refused all
            // the same.
            return line.rejectOption(kInvalidButton, ". Ignored.");
        }
    }
    setEmulation(c, 0, pose, axes, resetButton);
    return LineResult::accepted;
}

LineResult CConCommonH::parseValuatorOrder(const OptionLineView& line) {
    return parseElementOrder(line, false);
}

LineResult CConCommonH::parseButtonOrder(const OptionLineView& line) {
    return parseElementOrder(line, true);
}

LineResult CConCommonH::parseElementOrder(const OptionLineView& line, bool buttons) {
    const std::uint32_t argc = line.argCount();
    std::uint32_t c = 0;
    if (const LineVerdict verdict = readController(line, 1, c)) {
        return *verdict;
    }
    ControllerEntry& e = lookup[c - 1];
    std::uint32_t& elementCount = buttons ? e.buttonCount : e.valuatorCount;
    std::uint32_t* order = buttons ? e.buttonOrder : e.valuatorOrder;
    const std::uint32_t limit = restrictIds ? elementCount : kMaxElements;

    std::uint32_t largest = 0;
    for (std::uint32_t index = 1; index < argc; ++index) {
        const std::uint32_t v = idAt(line, index);
        if (isInvalidZero(v, line.arg(index))) {
            return line.reject(kInvalidArg);
        }
        if (v != 0) {
            for (std::uint32_t later = index + 1; later < argc; ++later) {
                if (idAt(line, later) == v) {
                    return line.rejectOption(kSameId);
                }
            }
        }
        largest = std::max(largest, v);
    }
    if (largest > limit) {
        return line.rejectOption(kInvalidId);
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

LineResult CConCommonH::parseValuatorScale(const OptionLineView& line) {
    std::uint32_t c = 0;
    if (const LineVerdict verdict = readController(line, 3, c)) {
        return *verdict;
    }
    float coefficients[4] = {};
    const char* coefficientText = line.arg(1);
    if (coefficientText[0] == '[') {
        readVector(coefficientText, coefficients, 4);
        if (std::all_of(coefficients, coefficients + 4, [](float a) { return a == 0.0f; })) {
            return line.reject(kIncomplete);
        }
    } else if (!readReal(coefficientText, coefficients[2])) {
        return line.reject(kInvalidArg);
    }

    ControllerEntry& e = lookup[c - 1];
    std::uint32_t selected = 0;  // bit r-1 for real valuator r
    for (std::uint32_t index = 2; index < line.argCount(); ++index) {
        const char* text = line.arg(index);
        if (compareNoCase(text, "all") == 0) {
            selected = 0xFFFFFFFFu;
            break;
        }
        const std::uint32_t v = idAt(line, index);
        if (v == 0 || v > e.valuatorCount || v > kMaxElements) {
            return line.rejectOption(kInvalidValuator);
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

LineResult CConCommonH::parseControllerOrder(const OptionLineView& line) {
    // While locked the line belongs to whoever else knows the keyword, or to
    // the unknown-option check.
    if (orderLocked) {
        return LineResult::leftAlone;
    }
    const std::uint32_t n = std::min(line.argCount(), numControllers);
    for (std::uint32_t k = 0; k < n; ++k) {
        const std::uint32_t v = idAt(line, k);
        if (v == 0 || v > count) {
            return line.rejectOption(kInvalidController);
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
    if (!readyToParse(lookup != nullptr, config, *log, "CConCommonH: lookup Null",
                      "CConCommonH: config empty")) {
        return false;
    }
    // The names are the options' as messages call them ("Order at line ",
    // "Order option at line ").
    static constexpr OptionKeyword<CConCommonH> kKeywords[] = {
        {{"emulatetracker"}, "EmulateTracker", &CConCommonH::parseEmulateTracker},
        {{"valuatororder"}, "Order", &CConCommonH::parseValuatorOrder},
        {{"buttonorder"}, "Order", &CConCommonH::parseButtonOrder},
        {{"valuatorscale"}, "ValuatorScale", &CConCommonH::parseValuatorScale},
        {{"controllerorder", "unitorder", "order"}, "Order", &CConCommonH::parseControllerOrder},
    };
    return parseOptionLines(*this, *config, kKeywords, *log, "");
}
