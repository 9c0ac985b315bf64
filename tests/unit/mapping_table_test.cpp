#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "platform/platform.h"
#include "tests/unit/mapping_fixture.h"

namespace {

using mapping_testing::deviceMapping;

constexpr std::array<float, 6> kRaw = {0.1f, -0.2f, 0.3f, -0.4f, 0.5f, -1.0f};

ConData publishedRecord() {
    ConData record{};
    record.reset();
    record.setValuatorCount(6);
    record.setButtonCount(12);
    return record;
}

std::int32_t stored(const ConData& record, std::uint32_t valuator) {
    return static_cast<std::int32_t>(platform::netToHost(record.valuators[valuator - 1]));
}

std::array<std::int32_t, 12> pressed(std::initializer_list<int> buttons) {
    std::array<std::int32_t, 12> states{};
    for (int b : buttons) {
        states[static_cast<std::size_t>(b - 1)] = 1;
    }
    return states;
}

TEST(ControllerMapping, DefaultsPublishEveryElementUnderItsOwnNumber) {
    auto mapping = deviceMapping();
    ConData record = publishedRecord();
    const auto buttons = pressed({1, 9, 12});
    ASSERT_TRUE(mapping->applyMapping(kRaw, buttons, record));
    EXPECT_EQ(stored(record, 1), 100);
    EXPECT_EQ(stored(record, 2), -200);
    EXPECT_EQ(stored(record, 3), 300);
    EXPECT_EQ(stored(record, 4), -400);
    EXPECT_EQ(stored(record, 5), 500);
    EXPECT_EQ(stored(record, 6), -1000);
    EXPECT_EQ(record.buttons[0], 0x01);
    EXPECT_EQ(record.buttons[1], 0x09);
    EXPECT_EQ(record.getId(), 1u);
}

TEST(ControllerMapping, ResponseCurvesShapeThePublishedValue) {
    auto mapping = deviceMapping();
    ControllerEntry& e = *mapping->entry(1);
    const float linear[4] = {0.0f, 0.0f, 2.5f, 0.0f};
    const float cubic[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    const float silent[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    std::copy(linear, linear + 4, e.valuatorScale[0]);
    std::copy(cubic, cubic + 4, e.valuatorScale[1]);
    std::copy(silent, silent + 4, e.valuatorScale[2]);

    ConData record = publishedRecord();
    const std::array<float, 6> raw = {0.4f, -0.5f, 0.9f, 0, 0, 0};
    mapping->applyMapping(raw, {}, record);
    EXPECT_EQ(stored(record, 1), 1000);
    EXPECT_EQ(stored(record, 2), -125);
    EXPECT_EQ(stored(record, 3), 0);
}

TEST(ControllerMapping, ScaleEvaluatesTheCubicInDoublePrecision) {
    auto mapping = deviceMapping();
    const float curve[4] = {0.5f, -1.0f, 2.0f, -1.0f};
    std::copy(curve, curve + 4, mapping->entry(1)->valuatorScale[3]);
    const double x = 0.3f;
    EXPECT_EQ(mapping->scaleValue(1, 4, 0.3f),
              (0.5 * (x * (x * x)) + -1.0 * (x * x)) + 2.0 * x - 1.0);
    EXPECT_EQ(mapping->scaleValue(0, 4, 0.3f), 0.0);
    EXPECT_EQ(mapping->scaleValue(2, 4, 0.3f), 0.0);
    EXPECT_EQ(mapping->scaleValue(1, 0, 0.3f), 0.0);
    EXPECT_EQ(mapping->scaleValue(1, 33, 0.3f), 0.0);
}

TEST(ControllerMapping, UnpublishedAndOutOfRangeOutputsAreDropped) {
    auto mapping = deviceMapping();
    ControllerEntry& e = *mapping->entry(1);
    e.valuatorOrder[0] = 0;  // real 1: not published
    e.valuatorOrder[1] = 7;  // beyond the record's 6 valuators
    e.buttonOrder[0] = 0;
    e.buttonOrder[1] = 13;  // beyond the record's 12 buttons
    ConData record = publishedRecord();
    const auto buttons = pressed({1, 2});
    mapping->applyMapping(kRaw, buttons, record);
    EXPECT_EQ(stored(record, 1), 0);
    EXPECT_EQ(stored(record, 3), 300);
    EXPECT_EQ(record.buttons[0], 0);
    EXPECT_EQ(record.buttons[1], 0);
    EXPECT_EQ(stored(record, 7), 0) << "nothing is written past the record's count";
}

TEST(ControllerMapping, RealElementsBeyondTheReadingsAreNotRead) {
    auto mapping = deviceMapping();
    ASSERT_TRUE(mapping->setupController(1, 1, 8, 14));
    ConData record{};
    record.reset();
    record.setValuatorCount(8);
    record.setButtonCount(14);
    record.setValuator(7, 5.0f);
    const auto buttons = pressed({12});
    mapping->applyMapping(kRaw, buttons, record);
    EXPECT_EQ(stored(record, 6), -1000);
    EXPECT_EQ(stored(record, 7), 5000);
    EXPECT_EQ(record.getButton(12), 1);
}

TEST(ControllerMapping, IdIsTheOutputNumberAfterTheBaseWithinTheList) {
    auto mapping = deviceMapping();
    mapping->controllerBase = 4;
    ConData record = publishedRecord();
    mapping->applyMapping(kRaw, {}, record);
    EXPECT_EQ(record.getId(), 5u);

    mapping->controllerBase = 32;
    ConData beyond = publishedRecord();
    beyond.setId(3);
    mapping->applyMapping(kRaw, {}, beyond);
    EXPECT_EQ(beyond.getId(), 3u);
}

TEST(ControllerMapping, NumberTrackersCountsEmulationsInTableOrder) {
    const CMessageH log = mapping_testing::plainLog();
    CConCommonH mapping(&log);
    ASSERT_TRUE(mapping.allocate(3, true));
    EXPECT_EQ(mapping.numberTrackers(1), 0);
    mapping.setEmulation(2, 0, {}, {}, 0);
    mapping.setEmulation(3, 0, {}, {}, 0);
    EXPECT_EQ(mapping.numberTrackers(0), 0);
    EXPECT_EQ(mapping.entry(2)->emulation->trackerNumber, 0u);
    EXPECT_EQ(mapping.numberTrackers(1), 2);
    EXPECT_EQ(mapping.entry(2)->emulation->trackerNumber, 1u);
    EXPECT_EQ(mapping.entry(3)->emulation->trackerNumber, 2u);
    EXPECT_EQ(mapping.entry(1)->emulation, nullptr);
}

TEST(ControllerMapping, UndefinedNumbersAreRefusedAndChangeNothing) {
    auto mapping = deviceMapping();
    EXPECT_FALSE(mapping->allocate(0, false));
    EXPECT_FALSE(mapping->allocate(33, false));
    EXPECT_EQ(mapping->entry(2), nullptr) << "still one controller";
    EXPECT_EQ(mapping->entry(1)->valuatorCount, 6u);

    EXPECT_FALSE(mapping->setupController(0, 1, 6, 12));
    EXPECT_FALSE(mapping->setupController(2, 1, 6, 12));
    EXPECT_FALSE(mapping->setupController(1, 1, 33, 12));
    EXPECT_FALSE(mapping->setupController(1, 1, 6, 33));
    EXPECT_EQ(mapping->entry(1)->buttonCount, 12u);

    EXPECT_FALSE(mapping->setEmulation(0, 1, {}, {}, 0));
    EXPECT_FALSE(mapping->setEmulation(2, 1, {}, {}, 0));
    TraData pose{};
    EXPECT_FALSE(mapping->resetEmulatedTracker(1, &pose, nullptr)) << "no emulation";
    EXPECT_FALSE(mapping->resetEmulatedTracker(0, &pose, nullptr));
    EXPECT_FALSE(mapping->resetEmulatedTracker(-1, &pose, nullptr));

    EXPECT_TRUE(mapping->clear());
    EXPECT_FALSE(mapping->clear());
    EXPECT_EQ(mapping->entry(1), nullptr);
    ConData record = publishedRecord();
    EXPECT_FALSE(mapping->applyMapping(kRaw, {}, record));
}

}  // namespace
