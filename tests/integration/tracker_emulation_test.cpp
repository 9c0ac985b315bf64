// The device presented as a tracker as well: its entry behind the host's,
// the initial pose, the pose integrated from a valuator, the reset button,
// and publication only on change.
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "driver_fixture.h"

namespace testing_support {
namespace {

using std::chrono::duration;
using std::chrono::steady_clock;

const std::vector<std::string> kEmulation = {"1", "[0,0,1.5,0,0,0]", "1", "2", "3",
                                             "4", "5", "6", "12"};
constexpr std::uint16_t kReleased = 0xFFFF;
constexpr std::uint16_t kButton1 = 0xFEFF;   // active low, bit 8 of word 0
constexpr std::uint16_t kButton12 = 0xFFF7;  // bit 3 of word 0

std::string bytesOf(const TraData* entry, std::size_t offset, std::size_t count) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(entry) + offset;
    return toHex(std::vector<std::uint8_t>(bytes, bytes + count));
}

class TrackerEmulation : public DriverTest {
protected:
    // With two trackers of other devices already in the host's list.
    std::int32_t initWithEmulation() {
        trackers->setCount(2);
        return createAndInit({{"emulatetracker", kEmulation}}, true);
    }

    TraData* entry() { return trackers->tracker(3); }

    // Only the device's tracker id 3, or nothing at all, in the tracker mask.
    void expectTrackerMask(bool published) {
        for (std::uint32_t id = 1; id <= 32; ++id) {
            EXPECT_EQ(trackerMarked(id), published && id == 3) << "tracker id " << id;
        }
    }

    void expectInitialPose() {
        EXPECT_EQ(bytesOf(entry(), 0, 4), "00000003");
        EXPECT_EQ(bytesOf(entry(), 20, 24), "00000000" "00000000" "000249F0" "00000000" "00000000" "00000000");
    }
};

TEST_F(TrackerEmulation, InitReservesTheEntryBehindTheHostsAndWritesTheInitialPose) {
    std::memset(trackers->tracker(1), 0xA5, 2 * sizeof(TraData));
    const std::string others = bytesOf(trackers->tracker(1), 0, 2 * sizeof(TraData));
    ASSERT_EQ(initWithEmulation(), 1) << initOutput;
    EXPECT_EQ(device->configure(), 1);
    EXPECT_EQ(trackers->count(), 3u);
    EXPECT_EQ(controllers->count(), 1u);
    expectInitialPose();
    EXPECT_EQ(bytesOf(trackers->tracker(1), 0, 2 * sizeof(TraData)), others)
        << "the other devices' entries stay as they were";
    EXPECT_EQ(bytesOf(trackers->tracker(4), 0, sizeof(TraData)),
              std::string(2 * sizeof(TraData), '0'));
}

TEST_F(TrackerEmulation, ConstantValuatorMovesItsAxisAndTheResetButtonRestoresThePose) {
    // Valuator 1 at full scale: +1.0 per second on X; the others at rest.
    ASSERT_TRUE(sim->ok("frame " + frameHex(kReleased, {1023, 512, 512, 512, 512, 512})));
    ASSERT_EQ(initWithEmulation(), 1) << initOutput;
    detect();

    // The first step starts the clock at the initial pose.
    ASSERT_EQ(receive(), 1) << lastOutput;
    EXPECT_TRUE(controllerMarked(1));
    expectTrackerMask(true);
    expectInitialPose();
    const auto started = steady_clock::now();

    float lastX = entry()->getX();
    int moves = 0;
    while (steady_clock::now() - started < std::chrono::milliseconds(1000)) {
        ASSERT_EQ(receive(), 1) << lastOutput;
        const bool moved = entry()->getX() != lastX;
        expectTrackerMask(moved);
        moves += moved ? 1 : 0;
        lastX = entry()->getX();
    }
    const double elapsed = duration<double>(steady_clock::now() - started).count();
    EXPECT_GT(moves, 5);
    EXPECT_NEAR(lastX, elapsed, 0.1 + 0.1 * elapsed);
    EXPECT_EQ(bytesOf(entry(), 24, 8), "00000000000249F0") << "Y and Z are not driven";
    EXPECT_EQ(bytesOf(entry(), 0, 4), "00000003");

    // Button 12 held: back to the initial pose. The frame in flight is still
    // the old one.
    ASSERT_TRUE(sim->ok("frame " + frameHex(kButton12, {1023, 512, 512, 512, 512, 512})));
    for (int call = 0; call < 3 && entry()->getX() != 0.0f; ++call) {
        ASSERT_EQ(receive(), 1) << lastOutput;
    }
    expectInitialPose();
    expectTrackerMask(true);

    // While it is held, the pose stays put and nothing more is written.
    ASSERT_EQ(receive(), 1) << lastOutput;
    EXPECT_TRUE(masksClear());
    expectInitialPose();
}

TEST_F(TrackerEmulation, PoseAtRestWritesNoTrackerEntryWhileTheControllerRecordIsWritten) {
    // 512 reads +0.000978, published as 0 thousandths: no axis moves.
    ASSERT_TRUE(sim->ok("frame " + frameHex(kReleased, {512, 512, 512, 512, 512, 512})));
    ASSERT_EQ(initWithEmulation(), 1) << initOutput;
    detect();
    ASSERT_EQ(receive(), 1) << lastOutput;
    expectTrackerMask(true);
    entry()->reserved1 = 0x5A5A5A5A;  // a write would overwrite this

    ASSERT_TRUE(sim->ok("frame " + frameHex(kButton1, {512, 512, 512, 512, 512, 512})));
    bool written = false;
    for (int call = 0; call < 3 && !written; ++call) {
        ASSERT_EQ(receive(), 1) << lastOutput;
        written = controllerMarked(1);
        expectTrackerMask(false);
        EXPECT_EQ(lastOutput.find("TraData storage found"), std::string::npos) << lastOutput;
    }
    ASSERT_TRUE(written) << "the pressed button never reached the controller record";
    EXPECT_NE(lastOutput.find("HOST: DEBUG: CPallador: ConData storage found\n"),
              std::string::npos);
    EXPECT_EQ(controllers->controller(1)->getButton(1), 1);
    EXPECT_EQ(entry()->reserved1, 0x5A5A5A5Au);
    expectInitialPose();
}

TEST_F(TrackerEmulation, TrackerOptionsWithoutEmulationAreUnknown) {
    ASSERT_EQ(createAndInit({{"sensoroffset", {"1", "1", "2", "3"}},
                             {"cavecoordinates", {"1"}}},
                            true),
              -1);
    const std::vector<std::string> lines = splitLines(initOutput);
    ASSERT_GE(lines.size(), 2u) << initOutput;
    EXPECT_EQ(lines[lines.size() - 2],
              "HOST: ERROR: CConfigH: Unknown option \"sensoroffset\" found at line 11.");
    EXPECT_EQ(lines.back(),
              "HOST: ERROR: CConfigH: Unknown option \"cavecoordinates\" found at line 12.");
    EXPECT_EQ(trackers->count(), 0u);
    EXPECT_EQ(config->usedFlags(), "100");
    EXPECT_EQ(device->configure(), 3);
}

}  // namespace
}  // namespace testing_support
