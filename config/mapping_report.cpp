// The mapping's share of the device report. Coefficients and initial values
// follow the stream's current float format, which a tracker report may have
// switched to fixed notation.
#include <iostream>

#include "config/CConCommonH.h"

namespace {

constexpr const char* kContinuation = "                      :";
constexpr const char* kAxisNames[TrackerEmulation::kAxes] = {"X", "Y", "Z", "Azim", "Elev", "Roll"};

void printPolynomial(const float (&coefficients)[4]) {
    constexpr const char* kSuffixes[4] = {"X^3", "X^2", "X", ""};
    bool written = false;
    for (int term = 0; term < 4; ++term) {
        const float a = coefficients[term];
        if (a == 0.0f) {
            continue;
        }
        if (written && a > 0.0f) {
            std::cout << "+";
        }
        std::cout << a << kSuffixes[term];
        written = true;
    }
}

}  // namespace

void CConCommonH::printPrefix(std::uint32_t c) const {
    if (count != 1) {
        std::cout << " " << c << ":";
    }
}

void CConCommonH::printValuators(std::uint32_t c, const ControllerEntry& e) const {
    log->info("VALUATOR ORDER(SCALE) : <Real val> -> <Output val>", true);
    log->info(kContinuation, false);
    printPrefix(c);
    for (std::uint32_t r = 1; r <= ControllerEntry::kMaxElements; ++r) {
        const std::uint32_t o = e.valuatorOrder[r - 1];
        if (o == 0) {
            continue;
        }
        std::cout << " " << r << "->" << o << "(";
        printPolynomial(e.valuatorScale[r - 1]);
        std::cout << ")";
    }
    std::cout << std::endl;
}

void CConCommonH::printButtons(std::uint32_t c, const ControllerEntry& e) const {
    log->info("BUTTON ORDER          : <Real but> -> <Output but>", true);
    log->info(kContinuation, false);
    printPrefix(c);
    for (std::uint32_t r = 1; r <= ControllerEntry::kMaxElements; ++r) {
        if (e.buttonOrder[r - 1] != 0) {
            std::cout << " " << r << "->" << e.buttonOrder[r - 1];
        }
    }
    std::cout << std::endl;
}

void CConCommonH::printEmulation(std::uint32_t c, const TrackerEmulation& emulation) const {
    const auto& init = emulation.initValues;
    log->info("TRACKER EMULATION     :", false);
    if (count != 1) {
        std::cout << " " << c << "->";
    } else {
        std::cout << " As ";
    }
    std::cout << "tracker[" << emulation.trackerNumber << "]" << std::endl;

    log->info(kContinuation, false);
    printPrefix(c);
    std::cout << " Init Values:"
              << " X=" << init[0] << " Y=" << init[1] << " Z=" << init[2] << std::endl;

    log->info(kContinuation, false);
    printPrefix(c);
    std::cout << " Init Values:"
              << " Azim=" << init[3] << " Elev=" << init[4] << " Roll=" << init[5] << std::endl;

    log->info(kContinuation, false);
    printPrefix(c);
    std::cout << " Val Assign :";
    for (int axis = 0; axis < TrackerEmulation::kAxes; ++axis) {
        const std::uint32_t n = emulation.axisValuators[static_cast<std::size_t>(axis)];
        if (n != 0) {
            std::cout << " " << n << "->" << kAxisNames[axis];
        }
    }
    std::cout << std::endl;

    if (emulation.resetButton != 0) {
        log->info(kContinuation, false);
        printPrefix(c);
        std::cout << " Reset But  : " << emulation.resetButton << std::endl;
    }
}

bool CConCommonH::printMapping() const {
    log->info("CONTROLLER ORDER      : <Real con> -> <Output con>", true);
    log->info(kContinuation, false);
    for (std::uint32_t i = 1; i <= count; ++i) {
        const std::uint32_t output = lookup[i - 1].outputNumber;
        if (output != 0) {
            std::cout << " " << i << "->" << std::uint64_t{output} + controllerBase;
        }
    }
    std::cout << std::endl;

    for (std::uint32_t b = 1; b <= count; ++b) {
        const ControllerEntry& e = lookup[b - 1];
        if (e.outputNumber == 0) {
            continue;
        }
        if (e.valuatorCount != 0) {
            printValuators(b, e);
        }
        if (e.buttonCount != 0) {
            printButtons(b, e);
        }
        if (e.emulation) {
            printEmulation(b, *e.emulation);
        }
    }
    return true;
}
