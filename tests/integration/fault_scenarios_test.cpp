// Faults on the line and in the host, with the plug-in loaded as a host
// loads it: noise and garbage on the line, a host that holds its mutex or clears its
// run flag at awkward moments, and receive calls on a stopped device.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "driver_fixture.h"
#include "fault_lines.h"
#include "tests/support/system_text.h"

namespace testing_support {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

const std::string kExampleFrame = "00FF000003FF03FF000001FF0200";
const std::string kRecvCalled = "HOST: DEBUG: CPallador: \"recvData\" called.";
const std::string kSendingError = "HOST: ERROR: CPallador: Sending error occured.";
const std::string kOutOfStep = "HOST: DEBUG: CPallador: Out of step, finding the frame again.";

// The example frame as published: buttons 1 to 8 pressed, valuators -1, 1,
// 1, -1, -0.000978 and 0.000978.
void expectExampleFrame(const ConData* entry) {
    const std::vector<std::int32_t> expected = {-1000, 1000, 1000, -1000, 0, 0};
    for (std::uint32_t n = 1; n <= 6; ++n) {
        EXPECT_EQ(storedValuator(entry, n), expected[n - 1]) << "valuator " << n;
    }
    for (std::uint32_t b = 1; b <= 12; ++b) {
        EXPECT_EQ(entry->getButton(b), b <= 8 ? 1 : 0) << "button " << b;
    }
}

class FaultScenarios : public DriverTest {
protected:
    // Detection without the first call's two silent reads: two bytes on
    // the line let its first word arrive at once, so it goes straight to
    // the probe (about two seconds instead of four).
    void detectQuickly() {
        ASSERT_TRUE(sim->send({0xFF, 0xFF}));
        detect();
    }

    std::string readingError(const std::string& text) const {
        return "HOST: ERROR: CRS232H: Reading from " + sim->portName() + ": " + text;
    }
    std::string writingError(const std::string& text) const {
        return "HOST: ERROR: CRS232H: Writing to " + sim->portName() + ": " + text;
    }

    // Runs recvData on another thread; join() waits for it.
    struct BackgroundCall {
        std::thread thread;
        std::atomic<bool> finished{false};
        std::int32_t result = 0;
        std::string output;
        steady_clock::time_point started;
        steady_clock::time_point ended;
        void join() { thread.join(); }
    };
    void startCall(BackgroundCall& call) {
        call.started = steady_clock::now();
        call.thread = std::thread([this, &call] {
            call.output =
                captureOutput([&] { call.result = device->recvData(initRecord->masks(), 0); });
            call.ended = steady_clock::now();
            call.finished = true;
        });
    }
};

// --- Noise and garbage ----------------------------------------------------

TEST_F(FaultScenarios, NoiseBeforeTheProbeAnswerKeepsTheDeviceUndetected) {
    ASSERT_TRUE(sim->ok("frame " + kExampleFrame));
    ASSERT_EQ(createAndInit(), 1) << initOutput;
    // Twelve stray bytes: the first word takes two, the probe counts the
    // other ten with the fourteen of its answer.
    ASSERT_TRUE(sim->send(fromHex("A53CFF00550D0A1113807F01")));
    ASSERT_EQ(receive(), 1) << lastOutput;
    EXPECT_TRUE(hasLine(lastOutput, "HOST: DEBUG: CPallador: Trying to detect."));
    EXPECT_FALSE(hasLine(lastOutput, "HOST: DEBUG: CPallador: AD-box detected.")) << lastOutput;
    EXPECT_EQ(problemLines(lastOutput), std::vector<std::string>{}) << lastOutput;
    EXPECT_TRUE(masksClear());
    EXPECT_EQ(controllers->controller(1)->getValuatorCount(), 0u) << "nothing was published";

    // A clean answer is detected, and the first frame is the device's own.
    detectQuickly();
    ASSERT_EQ(receive(), 1) << lastOutput;
    ASSERT_TRUE(controllerMarked(1));
    expectExampleFrame(controllers->controller(1));
}

TEST_F(FaultScenarios, AnswerWithWordsBeyondTenBitsIsNeverPublishedAndACleanOneIs) {
    // Words above 1023 or negative cannot come from the device's
    // converters: each such frame is dropped and the line found again.
    ASSERT_TRUE(sim->ok("frame A55AC33C96690FF0FF0080007FFF"));
    ASSERT_EQ(createAndInit(), 1) << initOutput;
    detectQuickly();
    for (int call = 0; call < 3; ++call) {
        ASSERT_EQ(receive(), 1) << lastOutput;
        EXPECT_TRUE(hasLine(lastOutput, kOutOfStep)) << lastOutput;
        EXPECT_EQ(problemLines(lastOutput), std::vector<std::string>{}) << lastOutput;
        EXPECT_TRUE(masksClear());
    }
    const ConData* entry = controllers->controller(1);
    EXPECT_EQ(entry->getValuatorCount(), 0u) << "nothing was published";

    // The frame asked for after the last drop is already a clean one.
    ASSERT_TRUE(sim->ok("frame " + kExampleFrame));
    bool published = false;
    for (int call = 0; call < 3 && !published; ++call) {
        ASSERT_EQ(receive(), 1) << lastOutput;
        published = controllerMarked(1);
    }
    ASSERT_TRUE(published);
    expectExampleFrame(entry);
}

TEST_F(FaultScenarios, NoiseBetweenFramesIsNoticedAndTheFrameFoundAgainAtOnce) {
    ASSERT_TRUE(sim->ok("frame " + kExampleFrame));
    ASSERT_EQ(createAndInit(), 1) << initOutput;
    detectQuickly();
    ASSERT_EQ(receive(), 1) << lastOutput;
    ASSERT_TRUE(controllerMarked(1));
    const ConData* entry = controllers->controller(1);
    // The next frame has arrived by now; three stray bytes follow it, and
    // the frame after them is read shifted by three bytes.
    std::this_thread::sleep_for(milliseconds(100));
    ASSERT_TRUE(sim->send({0x12, 0x34, 0x56}));
    bool noticed = false;
    for (int call = 0; call < 3 && !noticed; ++call) {
        EXPECT_EQ(receive(), 1) << lastOutput;
        EXPECT_EQ(problemLines(lastOutput), std::vector<std::string>{}) << lastOutput;
        EXPECT_FALSE(controllerMarked(1)) << "the example frame again, or a dropped one";
        noticed = hasLine(lastOutput, kOutOfStep);
    }
    ASSERT_TRUE(noticed);
    EXPECT_FALSE(hasLine(lastOutput, "HOST: DEBUG: CPallador: Trying to detect."));
    for (int call = 0; call < 3; ++call) {
        ASSERT_EQ(receive(), 1) << lastOutput;
        EXPECT_FALSE(hasLine(lastOutput, kOutOfStep)) << lastOutput;
        expectExampleFrame(entry);
    }
}

// The device played by hand from here: the frame asked for last has gone
// out before the simulator stopped answering, and the call that reads it
// leaves one request that nobody answers.
class HandPlayed : public FaultScenarios {
protected:
    void SetUp() override {
        FaultScenarios::SetUp();
        ASSERT_TRUE(sim->ok("mode rest"));
        ASSERT_EQ(createAndInit(lineOptions), 1) << initOutput;
        detectQuickly();
        ASSERT_EQ(receive(), 1) << lastOutput;
        ASSERT_TRUE(sim->ok("mode passive"));
        std::this_thread::sleep_for(milliseconds(100));
        ASSERT_EQ(receive(), 1) << lastOutput;
        sim->received();
    }

    // One call on a thread of its own, while the test plays the device.
    void callWhile(const std::function<void()>& play) {
        std::thread call([this] {
            result = receive();
            ended = steady_clock::now();
        });
        play();
        call.join();
    }

    std::vector<OptionText> lineOptions;
    // A frame at rest with button 1 pressed: held until a quiet one agrees.
    const std::vector<std::uint8_t> pressed = fromHex("FEFF020002000200020002000200");
    std::int32_t result = 0;
    steady_clock::time_point ended;
    steady_clock::time_point cleared;
};

TEST_F(HandPlayed, QuietFrameShortOfWholeWordsIsASilentDeviceForTheProbe) {
    callWhile([this] {
        ASSERT_TRUE(sim->send(pressed));
        // The request for the next frame left with word 0; the next frame
        // is read without one and stops after word 5.
        ASSERT_EQ(toHex(sim->receivedAtLeast(1, 1000)), "55");
        ASSERT_TRUE(sim->send({pressed.begin(), pressed.begin() + 12}));
    });
    EXPECT_EQ(result, 1) << lastOutput;
    EXPECT_TRUE(hasLine(lastOutput, "HOST: DEBUG: CPallador: Trying to detect.")) << lastOutput;
    EXPECT_FALSE(hasLine(lastOutput, kOutOfStep)) << lastOutput;
    EXPECT_FALSE(controllerMarked(1)) << "a held frame is never published unconfirmed";
}

// At 1200 baud a stream of frames with no gap between them gives the search
// most of a second before it takes the line for one that never falls quiet.
class HandPlayedSlowly : public HandPlayed {
protected:
    void SetUp() override {
        lineOptions = {{"baud", {"1200"}}};
        HandPlayed::SetUp();
    }
};

TEST_F(HandPlayedSlowly, RunFlagEndsTheSearchForTheFrameAndTheNextCallGoesOnWithoutAFault) {
    callWhile([this] {
        // Valuator 1 beyond ten bits, frame after frame: out of step, and
        // the line never falls quiet for the search until the host clears
        // its flag, however late the test is woken.
        ASSERT_TRUE(sim->ok("frame FFFF0F0002000200020002000200"));
        ASSERT_TRUE(sim->ok("stream on"));
        // The first frame is in after 117 ms; 48 bytes by the flag, 100
        // would end the search.
        std::this_thread::sleep_for(milliseconds(400));
        initRecord->setRunning(false);
        cleared = steady_clock::now();
    });
    ASSERT_TRUE(sim->ok("stream off"));
    ASSERT_TRUE(sim->ok("mode passive"));
    // The search looks at the run flag after each read of its drain gap
    // (about 45 ms here); more than doubled for a busy machine.
    EXPECT_LT(ended - cleared, milliseconds(200));
    std::printf("the search ended %.0f ms after the flag was cleared\n",
                std::chrono::duration<double, std::milli>(ended - cleared).count());
    EXPECT_EQ(result, -1) << lastOutput;
    EXPECT_TRUE(hasLine(lastOutput, kOutOfStep)) << lastOutput;
    EXPECT_EQ(problemLines(lastOutput), std::vector<std::string>{}) << lastOutput;

    // The search is finished without a word: a host's flag is no fault.
    initRecord->setRunning(true);
    ASSERT_EQ(receive(), 1) << lastOutput;
    EXPECT_FALSE(hasLine(lastOutput, kOutOfStep)) << lastOutput;
    EXPECT_EQ(toHex(sim->receivedAtLeast(2, 1000)), "5555") << "the early one, and a fresh one";
}

// --- The host's mutex and run flag ----------------------------------------

TEST_F(FaultScenarios, RunFlagClearedWhileTheMutexIsHeldStillPublishesTheFrameRead) {
    ASSERT_TRUE(sim->ok("mode fresh"));
    ASSERT_EQ(createAndInit(), 1) << initOutput;
    detectQuickly();
    ASSERT_EQ(receive(), 1) << lastOutput;
    ASSERT_TRUE(controllerMarked(1));
    ConData* entry = controllers->controller(1);
    const std::int32_t first = storedValuator(entry, 1);
    sim->receivedAtLeast(1, 500);

    ASSERT_TRUE(controllers->lock());
    BackgroundCall call;
    startCall(call);
    // The frame takes 15 ms; from then on the call waits for the mutex.
    std::this_thread::sleep_for(milliseconds(500));
    initRecord->setRunning(false);
    const std::vector<std::uint8_t> held = recordBytes(entry);
    std::this_thread::sleep_for(milliseconds(2500));
    EXPECT_FALSE(call.finished) << "the mutex is waited for without time-out";
    EXPECT_EQ(recordBytes(entry), held) << "nothing is written without the mutex";
    ASSERT_TRUE(controllers->unlock());
    call.join();
    // The flag is read before each word and when the frame is complete,
    // never again: the frame read is published.
    EXPECT_EQ(call.result, 1) << call.output;
    EXPECT_TRUE(controllerMarked(1));
    const std::int32_t second = storedValuator(entry, 1);
    EXPECT_GE(second - first, 1) << "the next frame, one step on";
    EXPECT_LE(second - first, 2) << "the next frame, one step on";

    // With the flag still clear, a call reads nothing and sends nothing.
    const std::vector<std::uint8_t> published = recordBytes(entry);
    const auto start = steady_clock::now();
    EXPECT_EQ(receive(), -1);
    EXPECT_LT(steady_clock::now() - start, milliseconds(200));
    EXPECT_EQ(outputLines(lastOutput), std::vector<std::string>{kRecvCalled});
    EXPECT_TRUE(masksClear());
    EXPECT_EQ(recordBytes(entry), published);
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(toHex(sim->received()), "55") << "only the request of the held call";

    // Running again, the frame that call asked for comes next: nothing lost.
    initRecord->setRunning(true);
    ASSERT_EQ(receive(), 1) << lastOutput;
    EXPECT_FALSE(hasLine(lastOutput, "HOST: DEBUG: CPallador: Trying to detect.")) << lastOutput;
    EXPECT_TRUE(controllerMarked(1));
    const std::int32_t third = storedValuator(entry, 1);
    EXPECT_GE(third - second, 1);
    EXPECT_LE(third - second, 2);
}

TEST_F(FaultScenarios, RunFlagClearedDuringTheProbesSleepLetsTheProbeFinish) {
    ASSERT_TRUE(sim->ok("frame " + kExampleFrame));
    ASSERT_EQ(createAndInit(), 1) << initOutput;
    ASSERT_TRUE(sim->send({0xFF, 0xFF}));
    BackgroundCall call;
    startCall(call);
    std::this_thread::sleep_for(milliseconds(400));
    initRecord->setRunning(false);
    call.join();
    // The probe does not look at the flag: it sleeps, counts the answer and
    // waits out the silence after it.
    EXPECT_EQ(call.result, 1) << call.output;
    EXPECT_GE(call.ended - call.started, milliseconds(1900));
    EXPECT_TRUE(hasLine(call.output, "HOST: DEBUG: CPallador: Trying to detect."));
    EXPECT_TRUE(hasLine(call.output, "HOST: DEBUG: CPallador: AD-box detected.")) << call.output;
    EXPECT_TRUE(masksClear());
    EXPECT_EQ(toHex(sim->receivedAtLeast(2, 1000)), "5555");

    EXPECT_EQ(receive(), -1);
    EXPECT_EQ(outputLines(lastOutput), std::vector<std::string>{kRecvCalled});
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(toHex(sim->received()), "");

    // The frame the probe asked for waited on the line.
    initRecord->setRunning(true);
    ASSERT_EQ(receive(), 1) << lastOutput;
    EXPECT_FALSE(hasLine(lastOutput, "HOST: DEBUG: CPallador: Trying to detect.")) << lastOutput;
    EXPECT_TRUE(controllerMarked(1));
    EXPECT_EQ(storedValuator(controllers->controller(1), 2), 1000);
}

TEST_F(FaultScenarios, CallWithTheRunFlagAlreadyClearedTouchesNeitherLineNorStorage) {
    ASSERT_TRUE(sim->ok("frame " + kExampleFrame));
    ASSERT_EQ(createAndInit(), 1) << initOutput;
    initRecord->setRunning(false);
    // Bits the host left in its masks: the controller mask is the device's
    // to clear; without tracker emulation the tracker mask is not touched.
    initRecord->masks()->controller.mark(5);
    initRecord->masks()->tracker.mark(7);
    const auto start = steady_clock::now();
    EXPECT_EQ(receive(), -1);
    EXPECT_LT(steady_clock::now() - start, milliseconds(200));
    EXPECT_EQ(outputLines(lastOutput), std::vector<std::string>{kRecvCalled});
    EXPECT_FALSE(controllerMarked(5));
    EXPECT_TRUE(trackerMarked(7));
    EXPECT_EQ(controllers->controller(1)->getValuatorCount(), 0u);
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(toHex(sim->received()), "");
}

// --- Calls after stop and after a failed init ------------------------------

TEST_F(FaultScenarios, ReceiveAfterStopReportsTheClosedLineAndFailsAtOnce) {
    ASSERT_TRUE(sim->ok("frame " + kExampleFrame));
    ASSERT_EQ(createAndInit(), 1) << initOutput;
    std::string output = captureOutput([&] { EXPECT_TRUE(device->stop()); });
    EXPECT_EQ(outputLines(output),
              std::vector<std::string>{"HOST: DEBUG: CPallador: \"stop\" called."});
    const std::string closed = closedLineText();
    const std::vector<std::string> expected = {
        kRecvCalled,          readingError(closed),
        readingError(closed), "HOST: DEBUG: CPallador: Trying to detect.",
        writingError(closed), kSendingError,
    };
    for (int call = 0; call < 2; ++call) {
        const auto start = steady_clock::now();
        EXPECT_EQ(receive(), -1);
        EXPECT_LT(steady_clock::now() - start, milliseconds(500)) << "no wait on a closed port";
        EXPECT_EQ(outputLines(lastOutput), expected) << lastOutput;
        EXPECT_TRUE(masksClear());
    }
    EXPECT_EQ(controllers->controller(1)->getValuatorCount(), 0u);
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(toHex(sim->received()), "") << "a closed port sends nothing";
    // A second stop has nothing left to close.
    output = captureOutput([&] { EXPECT_TRUE(device->stop()); });
    EXPECT_EQ(outputLines(output),
              std::vector<std::string>{"HOST: DEBUG: CPallador: \"stop\" called."});
}

}  // namespace
}  // namespace testing_support
