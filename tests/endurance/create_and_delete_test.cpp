// A host that creates, starts, stops and deletes the device again and again
// (each configuration reload does) must not lose memory on the way. Most
// cycles call recvData with the run flag cleared, so they cost no line time;
// every few hundredth cycle detects the device and publishes a frame, which
// takes about four seconds of time-outs at the device's pace.
#include <cstdio>
#include <string>

#include "driver_fixture.h"
#include "tests/support/heap_use.h"

namespace testing_support {
namespace {

constexpr int kCycles = 1000;
constexpr int kFullCycleEvery = 250;
// Warm-up cycles before the first figure: the C runtime and the test's
// own buffers settle during the first ones.
constexpr int kWarmUpCycles = 20;
// A leak of a single byte per cycle would show as a kilobyte; this leaves
// room only for the runtime's own bookkeeping.
constexpr std::int64_t kAllowedGrowthBytes = 16 * 1024;

class Endurance : public DriverTest {
protected:
    // One whole life of a device; returns false with a reason in `failure`.
    bool cycle(bool full, std::string& failure) {
        // A host starts every device life with storages of its own: init
        // reserves the device's entry behind the ones the storage holds.
        controllers = std::make_unique<hostkit::Storage>(hostkit::StorageKind::controller);
        if (createAndInit() != 1) {
            failure = "init failed: " + initOutput;
            return false;
        }
        if (full) {
            initRecord->setRunning(true);
            detect();
            if (HasFatalFailure()) {
                failure = "not detected";
                return false;
            }
            if (receive() != 1 || !controllerMarked(1)) {
                failure = "no frame published: " + lastOutput;
                return false;
            }
        } else {
            initRecord->setRunning(false);
            for (int call = 0; call < 3; ++call) {
                if (receive() != -1) {
                    failure = "a call with the run flag cleared did not fail";
                    return false;
                }
            }
        }
        bool deleted = false;
        lastOutput = captureOutput([&] {
            device->stop();
            deleted = plugin->deleteDev(device);
        });
        device = nullptr;
        if (!deleted) {
            failure = "deleteDev failed: " + lastOutput;
            return false;
        }
        const std::string damage =
            controllers->checkGuards() + config->checkGuards() + initRecord->checkGuards();
        if (!damage.empty()) {
            failure = "guard bytes damaged: " + damage;
            return false;
        }
        config.reset();
        initRecord.reset();
        return true;
    }
};

TEST_F(Endurance, ThousandDeviceLivesLeaveTheHeapAsTheyFoundIt) {
    ASSERT_TRUE(sim->ok("mode sweep"));
    std::int64_t heapAtStart = 0;
    std::int64_t processAtStart = 0;
    int fullCycles = 0;
    for (int n = 1; n <= kCycles; ++n) {
        const bool full = n % kFullCycleEvery == 1;
        std::string failure;
        ASSERT_TRUE(cycle(full, failure)) << "cycle " << n << ": " << failure;
        fullCycles += full ? 1 : 0;
        if (n == kWarmUpCycles) {
            heapAtStart = heapBytesInUse();
            processAtStart = processMemoryBytes();
        }
    }
    const std::int64_t heapAtEnd = heapBytesInUse();
    const std::int64_t processAtEnd = processMemoryBytes();
    std::printf(
        "endurance: %d cycles (%d with detection and a frame); heap in use %lld -> %lld bytes "
        "(growth %lld); process memory %lld -> %lld kB\n",
        kCycles, fullCycles, static_cast<long long>(heapAtStart), static_cast<long long>(heapAtEnd),
        static_cast<long long>(heapAtEnd - heapAtStart),
        static_cast<long long>(processAtStart / 1024), static_cast<long long>(processAtEnd / 1024));
    ASSERT_GE(heapAtStart, 0) << "the heap cannot be measured here";
    EXPECT_LE(heapAtEnd - heapAtStart, kAllowedGrowthBytes);
}

}  // namespace
}  // namespace testing_support
