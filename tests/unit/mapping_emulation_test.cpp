#include <gtest/gtest.h>

#include <cstring>
#include <ctime>

#include "platform/platform.h"
#include "tests/unit/mapping_fixture.h"

namespace {

using mapping_testing::deviceMapping;

std::int32_t storedPose(const TraData& pose, int axis) {
    return static_cast<std::int32_t>(platform::netToHost(pose.pose[axis]));
}

void storePose(TraData& pose, int axis, std::int32_t value) {
    pose.pose[axis] = platform::hostToNet(static_cast<std::uint32_t>(value));
}

class TrackerEmulationSteps : public testing::Test {
protected:
    void SetUp() override {
        mapping = deviceMapping();
        controller.reset();
        controller.setValuatorCount(6);
        controller.setButtonCount(12);
        pose.clearPose();
    }

    void emulate(const std::array<float, 6>& init, const std::array<std::uint32_t, 6>& axes,
                 std::uint32_t reset) {
        ASSERT_TRUE(mapping->setEmulation(1, 1, init, axes, reset));
    }

    bool step(double now) { return mapping->emulateTrackerAt(1, &pose, &controller, now); }

    std::unique_ptr<CConCommonH> mapping;
    ConData controller{};
    TraData pose{};
};

void stampController(ConData& record, std::int32_t seconds, std::int32_t microseconds) {
    record.seconds = platform::hostToNet(static_cast<std::uint32_t>(seconds));
    record.microseconds = platform::hostToNet(static_cast<std::uint32_t>(microseconds));
}

TEST_F(TrackerEmulationSteps, FirstStepWritesTheInitialPoseWhateverTheValuatorsShow) {
    emulate({0.0f, 0.0f, 1.5f, 10.0f, -20.0f, 0.25f}, {1, 2, 3, 4, 5, 6}, 0);
    stampController(controller, 1234, 567000);
    controller.setValuator(3, 0.9f);
    ASSERT_TRUE(step(100.0));
    EXPECT_EQ(storedPose(pose, 2), 150000);
    EXPECT_EQ(storedPose(pose, 3), 1000000);
    EXPECT_EQ(storedPose(pose, 4), -2000000);
    EXPECT_EQ(storedPose(pose, 5), 25000);
    EXPECT_EQ(pose.getId(), 1u);
    EXPECT_EQ(pose.getSeconds(), 1234);
    EXPECT_EQ(pose.getMicroseconds(), 567000);
}

TEST_F(TrackerEmulationSteps, AxisMovesAtItsValuatorsSpeed) {
    emulate({}, {1, 0, 0, 0, 0, 0}, 0);
    controller.setValuator(1, 0.5f);
    step(100.0);
    ASSERT_TRUE(step(102.0));
    EXPECT_EQ(storedPose(pose, 0), 100000);
    EXPECT_EQ(storedPose(pose, 1), 0);
}

TEST_F(TrackerEmulationSteps, UndrivenAxesCreepToWhereTheReadBackSettles) {
    emulate({}, {0, 0, 0, 0, 0, 0}, 0);
    step(100.0);
    storePose(pose, 0, 12345);
    storePose(pose, 1, 3);
    storePose(pose, 2, 100000);
    for (int i = 1; i <= 3; ++i) {
        step(100.0 + i);
    }
    EXPECT_EQ(storedPose(pose, 0), 12342);
    EXPECT_EQ(storedPose(pose, 1), 0);
    EXPECT_EQ(storedPose(pose, 2), 100000);
    for (int i = 4; i <= 10; ++i) {
        step(100.0 + i);
    }
    EXPECT_EQ(storedPose(pose, 0), 12342);
    EXPECT_EQ(storedPose(pose, 2), 100000);
}

TEST_F(TrackerEmulationSteps, ChangeBelowTheRecordsResolutionIsLost) {
    emulate({}, {1, 0, 0, 0, 0, 0}, 0);
    controller.setValuator(1, 0.001f);
    step(100.0);
    step(100.005);
    step(100.010);
    EXPECT_EQ(storedPose(pose, 0), 0);
}

TEST_F(TrackerEmulationSteps, ReleasedResetButtonIntegratesOverTheWholeHold) {
    emulate({0.5f, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0}, 12);
    controller.setValuator(1, 1.0f);
    step(10.0);
    step(11.0);
    EXPECT_EQ(storedPose(pose, 0), 150000);

    controller.setButton(12, 1);
    for (double now : {12.0, 13.0, 14.0}) {
        ASSERT_TRUE(step(now));
        EXPECT_EQ(storedPose(pose, 0), 50000) << "held at " << now;
    }
    controller.setButton(12, 0);
    step(15.0);
    EXPECT_EQ(storedPose(pose, 0), 450000);
}

TEST_F(TrackerEmulationSteps, MissingRecordOrEmulationLeavesThePoseAlone) {
    storePose(pose, 0, 777);
    EXPECT_FALSE(step(100.0)) << "no emulation yet";
    emulate({1.0f, 0, 0, 0, 0, 0}, {}, 0);
    EXPECT_FALSE(mapping->emulateTrackerAt(1, nullptr, &controller, 100.0));
    EXPECT_FALSE(mapping->emulateTrackerAt(1, &pose, nullptr, 100.0));
    EXPECT_FALSE(mapping->emulateTrackerAt(0, &pose, &controller, 100.0));
    EXPECT_FALSE(mapping->emulateTrackerAt(2, &pose, &controller, 100.0));
    EXPECT_EQ(storedPose(pose, 0), 777);
    EXPECT_EQ(mapping->entry(1)->emulation->lastTime, 0.0);
}

TEST_F(TrackerEmulationSteps, RealClockStartsTheEmulationAtTheWallClockTime) {
    emulate({}, {}, 0);
    const auto before = static_cast<double>(std::time(nullptr));
    ASSERT_TRUE(mapping->emulateTracker(1, &pose, &controller));
    const double started = mapping->entry(1)->emulation->lastTime;
    EXPECT_GE(started, before);
    EXPECT_LT(started, before + 5.0);
    EXPECT_LE(started, platform::currentTime());
}

TEST_F(TrackerEmulationSteps, ResetWithoutSourceKeepsTheTimeStamp) {
    emulate({0, 2.0f, 0, 0, 0, 0}, {}, 0);
    pose.setTimeStamp(5, 6);
    mapping->numberTrackers(3);
    ASSERT_TRUE(mapping->resetEmulatedTracker(1, &pose, nullptr));
    EXPECT_EQ(pose.getSeconds(), 5);
    EXPECT_EQ(pose.getMicroseconds(), 6);
    EXPECT_EQ(pose.getId(), 3u);
    EXPECT_EQ(storedPose(pose, 1), 200000);
    EXPECT_FALSE(mapping->resetEmulatedTracker(1, nullptr, nullptr));
}

}  // namespace
