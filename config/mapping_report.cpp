// The mapping's part of the device report.
#include <iostream>

#include "config/CConCommonH.h"

namespace {

constexpr const char* kContinuation = "                      :";
constexpr const char* kAxisNames[6] = {"X", "Y", "Z", "Azim", "Elev", "Roll"};

}  // namespace

void CConCommonH::printPolynomial(const float (&scale)[4]) const {
    static constexpr const char* kSuffix[4] = {"X^3", "X^2", "X", ""};
    bool written = false;
    for (int term = 0; term < 4; ++term) {
        if (scale[term] == 0.0f) {
            continue;
        }
        if (written && scale[term] > 0.0f) {
            std::cout << "+";
        }
        std::cout << scale[term] << kSuffix[term];
        written = true;
    }
}

bool CConCommonH::printMapping() const {
    log->info("CONTROLLER ORDER      : <Real con> -> <Output con>", true);
    log->info(kContinuation, false);
    for (std::uint32_t i = 1; i <= count; ++i) {
        if (entry(i).outputNumber != 0) {
            std::cout << " " << i << "->" << entry(i).outputNumber + controllerBase;
        }
    }
    std::cout << std::endl;

    for (std::uint32_t b = 1; b <= count; ++b) {
        const ControllerEntry& e = entry(b);
        if (e.outputNumber == 0) {
            continue;
        }
        auto prefix = [&] {
            if (count != 1) {
                std::cout << " " << b << ":";
            }
        };
        if (e.valuatorCount != 0) {
            log->info("VALUATOR ORDER(SCALE) : <Real val> -> <Output val>", true);
            log->info(kContinuation, false);
            prefix();
            for (std::uint32_t r = 1; r <= ControllerEntry::kMaxChannels; ++r) {
                if (e.valuatorOrder[r - 1] != 0) {
                    std::cout << " " << r << "->" << e.valuatorOrder[r - 1] << "(";
                    printPolynomial(e.valuatorScale[r - 1]);
                    std::cout << ")";
                }
            }
            std::cout << std::endl;
        }
        if (e.buttonCount != 0) {
            log->info("BUTTON ORDER          : <Real but> -> <Output but>", true);
            log->info(kContinuation, false);
            prefix();
            for (std::uint32_t r = 1; r <= ControllerEntry::kMaxChannels; ++r) {
                if (e.buttonOrder[r - 1] != 0) {
                    std::cout << " " << r << "->" << e.buttonOrder[r - 1];
                }
            }
            std::cout << std::endl;
        }
        if (e.emulation) {
            const TrackerEmulation& emulation = *e.emulation;
            log->info("TRACKER EMULATION     :", false);
            if (count != 1) {
                std::cout << " " << b << "->";
            } else {
                std::cout << " As ";
            }
            std::cout << "tracker[" << emulation.trackerNumber << "]" << std::endl;
            log->info(kContinuation, false);
            prefix();
            std::cout << " Init Values:" << " X=" << emulation.initValues[0]
                      << " Y=" << emulation.initValues[1] << " Z=" << emulation.initValues[2]
                      << std::endl;
            log->info(kContinuation, false);
            prefix();
            std::cout << " Init Values:" << " Azim=" << emulation.initValues[3]
                      << " Elev=" << emulation.initValues[4]
                      << " Roll=" << emulation.initValues[5] << std::endl;
            log->info(kContinuation, false);
            prefix();
            std::cout << " Val Assign :";
            for (int axis = 0; axis < 6; ++axis) {
                if (emulation.axisValuators[axis] != 0) {
                    std::cout << " " << emulation.axisValuators[axis] << "->" << kAxisNames[axis];
                }
            }
            std::cout << std::endl;
            if (emulation.resetButton != 0) {
                log->info(kContinuation, false);
                prefix();
                std::cout << " Reset But  : " << emulation.resetButton << std::endl;
            }
        }
    }
    return true;
}
