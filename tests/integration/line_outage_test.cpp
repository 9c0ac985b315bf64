// A line that goes away and comes back, with a host that does nothing but
// call recvData: an adapter pulled out in the middle of a frame or between
// frames, out for a while, and put back under the same name.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "bench/bench_host.h"
#include "device/CRS232H.h"
#include "driver_fixture.h"
#include "fault_lines.h"
#include "tests/support/heap_use.h"
#include "tests/support/system_text.h"

namespace testing_support {
namespace {

using std::chrono::duration;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

// Twenty unless PALLADOR_OUTAGES says otherwise: the runs under valgrind and
// the sanitizers take the same path with fewer, as each costs a probe.
int outageCount() {
    const char* given = std::getenv("PALLADOR_OUTAGES");
    const int count = given != nullptr ? std::atoi(given) : 0;
    return count > 0 ? count : 20;
}

// Processor seconds used so far by this process and, under Wine, by the
// server that waits on its behalf.
double cpuSeconds() {
    const bench::CpuTime own = bench::processCpuTime();
    bench::CpuTime server;
    const double serverSeconds = bench::serverCpuTime(server) ? server.user + server.system : 0;
    return own.user + own.system + serverSeconds;
}

double secondsSince(steady_clock::time_point start) {
    return duration<double>(steady_clock::now() - start).count();
}

// Handles that stay open: the fewest of a few looks. Wine opens and closes
// some of its own now and then, so that one look can count one too many.
std::int64_t steadyHandleCount() {
    std::int64_t fewest = openHandleCount();
    for (int look = 0; look < 10; ++look) {
        std::this_thread::sleep_for(milliseconds(10));
        fewest = std::min(fewest, openHandleCount());
    }
    return fewest;
}

// Times this process gave up the processor to wait, or -1 where the system
// does not say (under Wine the server's count would mix in every other
// program it serves).
long wakeups() {
    return bench::processCpuTime().voluntarySwitches;
}

// The device alternates between these after each outage, so the first
// record once it is back differs from the last one before: which buttons
// are held and which end each valuator stands at.
struct KnownFrame {
    std::uint16_t buttonWord;
    std::vector<int> readings;
    const char* pressed;  // buttons 1 to 12
    std::vector<std::int32_t> thousandths;
};
const KnownFrame kFrames[] = {
    {0x00FF, {0, 1023, 1023, 0, 511, 512}, "111111110000", {-1000, 1000, 1000, -1000, 0, 0}},
    {0xFFF0, {1023, 0, 0, 1023, 512, 511}, "000000001111", {1000, -1000, -1000, 1000, 0, 0}},
};

class LineOutage : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        ASSERT_TRUE(sim->ok("mode fresh"));
        ASSERT_EQ(createAndInit(), 1) << initOutput;
        // Two bytes let the first word in at once, so the probe comes
        // without two silent waits first.
        ASSERT_TRUE(sim->send({0xFF, 0xFF}));
        detect();
        ASSERT_EQ(receive(), 1) << lastOutput;
        ASSERT_TRUE(controllerMarked(1));
    }

    std::string lostLine() const {
        return "HOST: WARNING: CPallador: Line to " + sim->portName() +
               " lost; reopening it once a second.";
    }
    std::string backLine() const {
        return "HOST: INFO: CPallador: Line to " + sim->portName() +
               " is back; finding the device.";
    }

    // Calls until one fails; every call's output goes into `output`.
    void callUntilTheLossIsSeen(std::string& output) {
        for (int call = 0; call < 5; ++call) {
            const std::int32_t result = receive();
            output += lastOutput;
            if (result == -1) {
                EXPECT_TRUE(masksClear());
                return;
            }
            EXPECT_EQ(result, 1) << lastOutput;
        }
        FAIL() << "the line was never found gone: " << output;
    }

    // Calls while the line is out for `seconds`; each fails at once and
    // quietly with cleared masks. The number of calls made.
    int callWhileOut(double seconds, std::string& output) {
        int calls = 0;
        const auto start = steady_clock::now();
        while (secondsSince(start) < seconds) {
            EXPECT_EQ(receive(), -1) << lastOutput;
            EXPECT_TRUE(masksClear());
            output += lastOutput;
            ++calls;
        }
        return calls;
    }

    // Calls until the device's own frame is published again; the seconds
    // that took.
    double callUntilPublished(std::string& output) {
        const auto start = steady_clock::now();
        while (secondsSince(start) < 10) {
            const std::int32_t result = receive();
            output += lastOutput;
            if (result == 1 && controllerMarked(1)) {
                return secondsSince(start);
            }
        }
        ADD_FAILURE() << "no frame within 10 s of the line coming back: " << output;
        return 10;
    }

    void expectEntryHolds(const KnownFrame& frame) {
        const ConData* entry = controllers->controller(1);
        ASSERT_NE(entry, nullptr);
        std::string pressed;
        for (std::uint32_t button = 1; button <= 12; ++button) {
            pressed += entry->getButton(button) != 0 ? '1' : '0';
        }
        EXPECT_EQ(pressed, frame.pressed);
        for (std::uint32_t valuator = 1; valuator <= 6; ++valuator) {
            EXPECT_EQ(storedValuator(entry, valuator), frame.thousandths[valuator - 1])
                << "valuator " << valuator;
        }
    }
};

// Outages alternate between a pull in the middle of a frame and one between
// frames. The first two stay out for 3 s; the others are put back as soon as
// the loss is seen. Each must be told in two lines, answered with a reopen
// and one line when back, and leave nothing open behind.
TEST_F(LineOutage, PulledOutAndPutBackIsReopenedByItselfTwentyTimesOver) {
    const std::int64_t handlesBefore = steadyHandleCount();
    ASSERT_GT(handlesBefore, 0) << "the system tells how many are open";
    std::int64_t handlesAfterFirst = -1;
    double backLongest = 0;
    double roundLongest = 0;
    const int outages = outageCount();
    for (int outage = 0; outage < outages && !HasFailure(); ++outage) {
        SCOPED_TRACE("outage " + std::to_string(outage));
        const bool midFrame = outage % 2 == 0;
        // The frame in flight arrives whole; the one after it stops in the
        // middle of word 3, and the adapter goes with it.
        ASSERT_TRUE(sim->ok(midFrame ? "hangup-after 7" : "hangup"));
        std::string output;
        callUntilTheLossIsSeen(output);
        const auto lostAt = steady_clock::now();
        if (outage < 2) {
            const double cpuBefore = cpuSeconds();
            const long wakeupsBefore = wakeups();
            const int calls = callWhileOut(3.0, output);
            const double out = secondsSince(lostAt);
            const double cpu = (cpuSeconds() - cpuBefore) / out;
            EXPECT_LE(calls, 2 * 3 + 1) << "a call while out waits for the next attempt";
            EXPECT_GE(calls, 2);
            EXPECT_LT(cpu, 0.25) << "a call while out sleeps, it does not spin";
            // Twenty looks at the run flag a second; a loop that polls
            // every millisecond or so wakes hundreds of times.
            const double perSecond = wakeupsBefore < 0 ? -1 : (wakeups() - wakeupsBefore) / out;
            EXPECT_LT(perSecond, 60) << "a call while out sleeps between looks, it does not poll";
            std::printf("%s: %.1f calls, %.0f wake-ups a second and %.2f%% of a core while out\n",
                        midFrame ? "mid-frame" : "between frames", calls / out, perSecond,
                        cpu * 100);
        }
        const KnownFrame& frame = kFrames[outage % 2];
        ASSERT_TRUE(sim->ok("frame " + frameHex(frame.buttonWord, frame.readings)));
        ASSERT_TRUE(sim->ok("replug"));
        const double back = callUntilPublished(output);
        expectEntryHolds(frame);
        // One attempt a second, then one detection: a probe of a second and
        // the read of its answer. 3.0 s at most on two loaded cores; doubled.
        EXPECT_LT(back, 6.5) << output;
        backLongest = std::max(backLongest, back);

        const std::vector<std::string> problems = problemLines(output);
        ASSERT_EQ(problems.size(), 2u) << output;
        const std::string failure = problems[0].substr(0, problems[0].find(sim->portName()));
        EXPECT_TRUE(failure == "HOST: ERROR: CRS232H: Reading from " ||
                    failure == "HOST: ERROR: CRS232H: Writing to ")
            << problems[0];
        EXPECT_EQ(problems[0].substr(problems[0].find(sim->portName())),
                  sim->portName() + ": " + unpluggedLineText());
        EXPECT_EQ(problems[1], lostLine());
        EXPECT_EQ(linesStartingWith(output, "HOST: INFO: "), std::vector<std::string>{backLine()});
        const double round = secondsSince(lostAt) - (outage < 2 ? 3.0 : 0.0);
        EXPECT_LE(round, 7.0);
        roundLongest = std::max(roundLongest, round);
        if (outage == 0) {
            handlesAfterFirst = steadyHandleCount();
            EXPECT_LE(handlesAfterFirst, handlesBefore + handlesOpenedOnceByTheSystem())
                << "the first reopen closed the line it replaced";
        }
    }
    EXPECT_EQ(steadyHandleCount(), handlesAfterFirst) << "each reopen closed the line it replaced";
    std::printf(
        "%d outages: first record within %.2f s of the line's return, back in %.2f s "
        "at most, %lld handles open\n",
        outages, backLongest, roundLongest, static_cast<long long>(openHandleCount()));
}

// A host that clears its flag is answered within 100 ms even while a call
// waits for the line; after the host's stop nothing is reopened, and the
// calls fail as on any stopped device.
TEST_F(LineOutage, RunFlagEndsTheWaitAndStopEndsTheOutageForGood) {
    ASSERT_TRUE(sim->ok("hangup"));
    std::string output;
    callUntilTheLossIsSeen(output);

    std::atomic<bool> called{false};
    std::atomic<bool> returned{false};
    steady_clock::time_point returnedAt;
    std::thread host([&] {
        called = true;
        EXPECT_EQ(receive(), -1);
        returnedAt = steady_clock::now();
        returned = true;
    });
    while (!called) {
        std::this_thread::yield();
    }
    // The call waits about a second for its attempt; the flag goes well
    // before that.
    std::this_thread::sleep_for(milliseconds(200));
    const bool returnedEarly = returned;
    const auto clearedAt = steady_clock::now();
    initRecord->setRunning(false);
    host.join();
    EXPECT_FALSE(returnedEarly) << "the call did not wait for the line";
    // One look at the flag every 50 ms, doubled for a busy machine.
    EXPECT_LT(returnedAt - clearedAt, milliseconds(200));
    std::printf("returned %.0f ms after the flag was cleared\n",
                duration<double, std::milli>(returnedAt - clearedAt).count());
    EXPECT_EQ(problemLines(lastOutput), std::vector<std::string>{}) << lastOutput;
    initRecord->setRunning(true);

    bool stopped = false;
    const std::string stopOutput = captureOutput([&] { stopped = device->stop(); });
    EXPECT_TRUE(stopped);
    EXPECT_EQ(problemLines(stopOutput), std::vector<std::string>{}) << stopOutput;

    ASSERT_TRUE(sim->ok("replug"));
    std::this_thread::sleep_for(milliseconds(1100));
    for (int call = 0; call < 2; ++call) {
        EXPECT_EQ(receive(), -1);
        EXPECT_FALSE(hasLine(lastOutput, backLine())) << lastOutput;
        EXPECT_TRUE(hasLine(lastOutput, "HOST: ERROR: CPallador: Sending error occured."))
            << lastOutput;
    }
}

// Another program that takes the port while it is out keeps it away: the
// user hears of it once, however long it lasts, and once more when the line
// is back.
TEST_F(LineOutage, PortHeldByAnotherProgramIsToldOnceUntilItOpens) {
    ASSERT_TRUE(sim->ok("hangup"));
    std::string output;
    callUntilTheLossIsSeen(output);
    ASSERT_TRUE(sim->ok("replug"));
    CMessageH quiet = hostLog;
    auto other = std::make_unique<CRS232H>(&quiet);
    ASSERT_TRUE(other->openPort(sim->portName().c_str()));
    {
        // Windows keeps a COM port to one handle; Wine's serial device does
        // not, and there a port cannot be held.
        CRS232H third(&quiet);
        if (third.openPort(sim->portName().c_str())) {
            third.closePort();
            other.reset();
            GTEST_SKIP() << "this system lets a second handle open " << sim->portName();
        }
    }
    callWhileOut(2.5, output);
    other.reset();
    callUntilPublished(output);
    const std::vector<std::string> problems = problemLines(output);
    ASSERT_EQ(problems.size(), 3u) << output;
    EXPECT_EQ(problems[1], lostLine());
    EXPECT_EQ(problems[2], "HOST: WARNING: CRS232H: Another program holds " + sim->portName() +
                               "; waiting for it.");
    EXPECT_EQ(linesStartingWith(output, "HOST: INFO: "), std::vector<std::string>{backLine()});
}

}  // namespace
}  // namespace testing_support
