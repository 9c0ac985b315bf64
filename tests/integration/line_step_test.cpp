// A byte lost or gained on a live line, at every place in a frame, with a
// device at rest and a moving one, at the slowest and the fastest speed in
// use: the driver notices each fault, publishes at most one record out of
// step, and reads the device's own frames again soon after.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ostream>
#include <string>
#include <thread>

#include "driver_fixture.h"
#include "fault_lines.h"

namespace testing_support {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

const std::string kOutOfStep = "HOST: DEBUG: CPallador: Out of step, finding the frame again.";

struct LineCase {
    const char* mode;  // "rest": nothing changes; "fresh": valuator 1 counts
    int baud;
    std::chrono::milliseconds backInStep;
};

std::string caseName(const ::testing::TestParamInfo<LineCase>& info) {
    return std::string(info.param.mode) + std::to_string(info.param.baud);
}

// Without it the test framework prints the case's bytes, padding included.
void PrintTo(const LineCase& line, std::ostream* out) {
    *out << line.mode << " at " << line.baud;
}

class LineStep : public DriverTest, public ::testing::WithParamInterface<LineCase> {
protected:
    // Both modes keep the buttons released and valuators 2 to 6 at 512
    // (stored as 0): a record made of shifted words breaks at least one.
    bool inStep() const {
        const ConData* entry = controllers->controller(1);
        for (std::uint32_t b = 1; b <= 12; ++b) {
            if (entry->getButton(b) != 0) return false;
        }
        for (std::uint32_t n = 2; n <= 6; ++n) {
            if (storedValuator(entry, n) != 0) return false;
        }
        return entry->getValuatorCount() == 6;
    }

    // Calls until the fault has been noticed and two whole frames have been
    // read after it, at most for `limit`.
    void followFault(const std::string& fault, steady_clock::duration limit) {
        SCOPED_TRACE(fault);
        ASSERT_TRUE(sim->ok(fault));
        const auto start = steady_clock::now();
        int outOfStepRecords = 0;
        int framesSince = -1;
        steady_clock::duration toFrames{};
        while (framesSince < 2 && steady_clock::now() - start < limit) {
            ASSERT_EQ(receive(), 1) << lastOutput;
            EXPECT_EQ(problemLines(lastOutput), std::vector<std::string>{}) << lastOutput;
            EXPECT_FALSE(hasLine(lastOutput, "HOST: DEBUG: CPallador: Trying to detect."))
                << "the line is found again without a probe";
            if (controllerMarked(1) && !inStep()) ++outOfStepRecords;
            if (hasLine(lastOutput, kOutOfStep)) {
                framesSince = 0;
            } else if (framesSince >= 0 && ++framesSince == 1) {
                toFrames = steady_clock::now() - start;
            }
        }
        ASSERT_EQ(framesSince, 2) << "fault not noticed";
        EXPECT_LE(toFrames, GetParam().backInStep);
        EXPECT_LE(outOfStepRecords, 1);
        EXPECT_TRUE(inStep());
        ++faults;
        longest = std::max(longest, toFrames);
        outOfStepTotal += outOfStepRecords;
    }

    int faults = 0;
    int outOfStepTotal = 0;
    steady_clock::duration longest{};
};

TEST_P(LineStep, EveryLostOrStrayByteIsNoticedAndTheFrameFoundAgain) {
    const LineCase& line = GetParam();
    ASSERT_TRUE(sim->ok(std::string("mode ") + line.mode));
    ASSERT_EQ(createAndInit({{"baud", {std::to_string(line.baud)}}}), 1) << initOutput;
    ASSERT_TRUE(sim->send({0xFF, 0xFF}));
    detect();
    // A second of clean frames: the first quiet frame has confirmed them.
    for (const auto start = steady_clock::now();
         steady_clock::now() - start < milliseconds(1300);) {
        ASSERT_EQ(receive(), 1) << lastOutput;
        ASSERT_FALSE(hasLine(lastOutput, kOutOfStep)) << lastOutput;
    }
    ASSERT_TRUE(inStep());
    for (int at = 0; at < 14; ++at) {
        followFault("lose " + std::to_string(at), std::chrono::seconds(3));
    }
    for (int at = 0; at <= 14; ++at) {
        followFault("stray " + std::to_string(at) + " 00", std::chrono::seconds(3));
    }
    std::printf(
        "%s at %d baud: %d faults noticed, %d records out of step, back in step "
        "within %lld ms\n",
        line.mode, line.baud, faults, outOfStepTotal,
        static_cast<long long>(std::chrono::duration_cast<milliseconds>(longest).count()));
}

INSTANTIATE_TEST_SUITE_P(Speeds, LineStep,
                         ::testing::Values(LineCase{"rest", 9600, milliseconds(2000)},
                                           LineCase{"fresh", 9600, milliseconds(2000)},
                                           LineCase{"rest", 115200, milliseconds(1500)},
                                           LineCase{"fresh", 115200, milliseconds(1500)}),
                         caseName);

}  // namespace
}  // namespace testing_support
