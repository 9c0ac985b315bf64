#include <atomic>
#include <chrono>
#include <thread>

#include "driver_fixture.h"
#include "platform/platform.h"

namespace testing_support {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

const std::string kExampleFrame = "00FF000003FF03FF000001FF0200";

std::vector<std::uint8_t> entryBytes(const ConData* entry, std::size_t offset, std::size_t count) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(entry) + offset;
    return std::vector<std::uint8_t>(bytes, bytes + count);
}

std::string hexAt(const ConData* entry, std::size_t offset, std::size_t count) {
    return toHex(entryBytes(entry, offset, count));
}

TEST_F(DriverTest, TypicalStartDetectsThenPublishesTheFirstFrame) {
    ASSERT_TRUE(sim->ok("frame " + kExampleFrame));
    ASSERT_EQ(createAndInit(), 1) << initOutput;
    EXPECT_NE(initOutput.find("HOST: INFO: SERIAL PORT           : " + sim->portName()),
              std::string::npos)
        << initOutput;
    EXPECT_EQ(device->configure(), 3);

    const auto start = steady_clock::now();
    ASSERT_EQ(receive(), 1) << lastOutput;
    const auto took = steady_clock::now() - start;
    EXPECT_GE(took, milliseconds(3500)) << "two silent reads, the sleep and a silent read";
    const auto lines = splitLines(lastOutput);
    EXPECT_NE(lastOutput.find("HOST: DEBUG: CPallador: Trying to detect.\n"), std::string::npos);
    EXPECT_NE(lastOutput.find("HOST: DEBUG: CPallador: AD-box detected.\n"), std::string::npos);
    EXPECT_TRUE(masksClear());
    // The probe's request and the request for the first frame.
    EXPECT_EQ(toHex(sim->receivedAtLeast(2, 1000)), "5555");

    ASSERT_EQ(receive(), 1) << lastOutput;
    EXPECT_TRUE(controllerMarked(1));
    EXPECT_EQ(initRecord->masks()->controller.bytes[3], 1);
    const ConData* entry = controllers->controller(1);
    EXPECT_EQ(controllers->count(), 1u);
    EXPECT_EQ(hexAt(entry, 0, 4), "00000001");
    EXPECT_EQ(hexAt(entry, 20, 16), "000000060000000C000000240000003C");
    // -1, 1, 1, -1, -0.000978, 0.000978 in thousandths.
    EXPECT_EQ(hexAt(entry, 36, 24),
              "FFFFFC18000003E8000003E8FFFFFC1800000000"
              "00000000");
    EXPECT_EQ(hexAt(entry, 164, 4), "FF000000");
    EXPECT_EQ(hexAt(entry, 168, 4), "04000000");
    // The frame's head asked for the next frame at once, and the next
    // frame's head, read with the frame, for the one after.
    EXPECT_EQ(toHex(sim->receivedAtLeast(2, 1000)), "5555");
}

TEST_F(DriverTest, IdenticalFramesPublishNothingAndOneChangedButtonWritesOnce) {
    ASSERT_TRUE(sim->ok("frame " + frameHex(0xFFFF, {512, 512, 512, 512, 512, 512})));
    ASSERT_EQ(createAndInit(), 1) << initOutput;
    detect();
    ASSERT_EQ(receive(), 1);
    EXPECT_TRUE(controllerMarked(1));
    ConData* entry = controllers->controller(1);
    entry->reserved1 = 0x5A5A5A5A;  // a write would overwrite this

    ASSERT_EQ(receive(), 1);
    EXPECT_TRUE(masksClear());
    EXPECT_EQ(entry->reserved1, 0x5A5A5A5Au);
    EXPECT_EQ(lastOutput.find("ConData storage found"), std::string::npos);

    // Button 3 pressed (active low). The frame in flight is still the old
    // one; the next one carries the change.
    ASSERT_TRUE(sim->ok("frame " + frameHex(0xFBFF, {512, 512, 512, 512, 512, 512})));
    int writes = 0;
    for (int call = 0; call < 3; ++call) {
        ASSERT_EQ(receive(), 1);
        if (controllerMarked(1)) {
            ++writes;
            EXPECT_EQ(initRecord->masks()->controller.bytes[3], 1);
        }
    }
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(hexAt(entry, 164, 2), "0400");
}

TEST_F(DriverTest, StorageHoldingOneEntryMovesTheDeviceToEntryTwo) {
    controllers->setCount(1);
    ConData* other = controllers->controller(1);
    other->reserved1 = 0x11223344;
    ASSERT_TRUE(sim->ok("mode rest"));
    ASSERT_EQ(createAndInit(), 1) << initOutput;
    EXPECT_EQ(controllers->count(), 2u);
    detect();
    ASSERT_EQ(receive(), 1);
    EXPECT_TRUE(controllerMarked(2));
    EXPECT_FALSE(controllerMarked(1));
    EXPECT_EQ(hexAt(controllers->controller(2), 0, 4), "00000002");
    EXPECT_EQ(other->reserved1, 0x11223344u);
}

TEST_F(DriverTest, RunFlagClearedFromAnotherThreadEndsTheCallAfterTheCurrentWord) {
    ASSERT_TRUE(sim->ok("mode fresh"));
    ASSERT_EQ(createAndInit({{"baud", {"1200"}}}), 1) << initOutput;
    detect();
    // This call's early request has the next frame follow its own at once.
    ASSERT_EQ(receive(), 1) << lastOutput;
    sim->receivedAtLeast(3, 1000);
    // A frame takes about 117 ms at 1200 baud. The call finds the head of its
    // frame read and waits for the rest and the next frame's head: the flag
    // is cleared within those words. A host slowed down enough (memcheck)
    // may see the whole frame first; then the call publishes it and the
    // next frame is tried.
    for (int attempt = 1; attempt <= 3; ++attempt) {
        std::int32_t result = 0;
        steady_clock::time_point ended;
        std::thread call([&] {
            result = device->recvData(initRecord->masks(), 0);
            ended = steady_clock::now();
        });
        std::this_thread::sleep_for(milliseconds(40));
        const auto cleared = steady_clock::now();
        initRecord->setRunning(false);
        call.join();
        if (result == 1 && attempt < 3) {
            initRecord->setRunning(true);
            continue;
        }
        EXPECT_EQ(result, -1);
        EXPECT_LT(ended - cleared, milliseconds(200)) << "one frame is about 117 ms at 1200 baud";
        EXPECT_TRUE(masksClear());
        break;
    }
}

TEST_F(DriverTest, HeldStorageMutexDelaysThePublicationUntilReleased) {
    ASSERT_TRUE(sim->ok("mode rest"));
    ASSERT_EQ(createAndInit(), 1) << initOutput;
    detect();
    ASSERT_TRUE(controllers->lock());
    std::atomic<bool> finished{false};
    std::int32_t result = 0;
    std::thread call([&] {
        result = device->recvData(initRecord->masks(), 0);
        finished = true;
    });
    std::this_thread::sleep_for(milliseconds(800));
    EXPECT_FALSE(finished) << "the publication must wait for the host's mutex";
    EXPECT_EQ(controllers->controller(1)->getValuatorCount(), 0u);
    ASSERT_TRUE(controllers->unlock());
    call.join();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(controllers->controller(1)->getValuatorCount(), 6u);
    EXPECT_TRUE(controllerMarked(1));
}

TEST_F(DriverTest, ProbeAnswersOfThirteenOrFifteenBytesAreNotDetected) {
    ASSERT_TRUE(sim->ok("mode rest"));
    ASSERT_EQ(createAndInit(), 1) << initOutput;
    for (const char* count : {"13", "15"}) {
        ASSERT_TRUE(sim->ok(std::string("probe-answer ") + count));
        ASSERT_EQ(receive(), 1) << lastOutput;
        EXPECT_NE(lastOutput.find("CPallador: Trying to detect."), std::string::npos);
        EXPECT_EQ(lastOutput.find("AD-box detected"), std::string::npos) << count << " bytes";
        EXPECT_TRUE(masksClear());
    }
    // A plain answer then detects it.
    detect();
}

TEST_F(DriverTest, StreamingDeviceKeepsProbingUntilTheLineFallsSilent) {
    ASSERT_TRUE(sim->ok("mode rest"));
    ASSERT_EQ(createAndInit(), 1) << initOutput;
    ASSERT_TRUE(sim->ok("stream on"));
    std::atomic<bool> finished{false};
    std::int32_t result = 0;
    std::string output;
    std::thread call([&] {
        output = captureOutput([&] { result = device->recvData(initRecord->masks(), 0); });
        finished = true;
    });
    std::this_thread::sleep_for(milliseconds(1500));
    EXPECT_FALSE(finished) << "a streaming device never ends a probe";
    ASSERT_TRUE(sim->ok("stream off"));
    call.join();
    // Once the stream stops, the last probe may see a clean answer and
    // detect the device: both end the call with 1.
    EXPECT_EQ(result, 1);
    std::size_t probes = 0;
    for (auto at = output.find("Trying to detect."); at != std::string::npos;
         at = output.find("Trying to detect.", at + 1)) {
        ++probes;
    }
    EXPECT_GE(probes, 2u) << "after 100 bytes the loop starts a new probe";
}

TEST_F(DriverTest, HalfAWordSendsTheCycleBackToProbing) {
    ASSERT_TRUE(sim->ok("frame " + kExampleFrame));
    ASSERT_EQ(createAndInit(), 1) << initOutput;
    detect();
    ASSERT_EQ(receive(), 1);
    ASSERT_TRUE(controllerMarked(1));
    // The frame after the one now in flight stops after one byte of word 3,
    // and the device drops the request that follows, as after a glitch.
    ASSERT_TRUE(sim->ok("half-word 3 1500"));
    bool probed = false;
    for (int call = 0; call < 3 && !probed; ++call) {
        ASSERT_EQ(receive(), 1) << lastOutput;
        probed = lastOutput.find("Trying to detect.") != std::string::npos;
        EXPECT_FALSE(controllerMarked(1)) << "a broken frame is never published";
    }
    EXPECT_TRUE(probed);
    // Frames line up again afterwards: the example frame is unchanged, so
    // nothing is written, and the entry still holds the right values.
    detect();
    ASSERT_EQ(receive(), 1);
    EXPECT_TRUE(masksClear()) << lastOutput;
    EXPECT_EQ(hexAt(controllers->controller(1), 36, 8), "FFFFFC18000003E8");
}

TEST_F(DriverTest, SilentDeviceIsProbedUntilItAnswersAgain) {
    ASSERT_TRUE(sim->ok("mode fresh"));
    ASSERT_EQ(createAndInit(), 1) << initOutput;
    detect();
    ASSERT_EQ(receive(), 1);
    ASSERT_TRUE(sim->ok("silent 3000"));
    bool probedWithoutData = false;
    for (int call = 0; call < 6; ++call) {
        ASSERT_EQ(receive(), 1) << lastOutput;
        if (lastOutput.find("Trying to detect.") != std::string::npos) {
            probedWithoutData = masksClear();
        }
        if (lastOutput.find("AD-box detected.") != std::string::npos) {
            break;
        }
    }
    EXPECT_TRUE(probedWithoutData);
    ASSERT_EQ(receive(), 1) << lastOutput;
    EXPECT_TRUE(controllerMarked(1)) << "frames flow again after the device answers";
}

TEST_F(DriverTest, StopClosesTheLineAndLaterCallsFail) {
    ASSERT_TRUE(sim->ok("mode rest"));
    ASSERT_EQ(createAndInit(), 1) << initOutput;
    std::string output = captureOutput([&] { EXPECT_TRUE(device->stop()); });
    EXPECT_EQ(receive(), -1);
    EXPECT_NE(lastOutput.find("HOST: ERROR: CPallador: Sending error occured."), std::string::npos)
        << lastOutput;
}

}  // namespace
}  // namespace testing_support
