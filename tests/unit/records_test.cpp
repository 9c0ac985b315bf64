#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "storage/ConData.h"
#include "storage/TraData.h"

namespace {

std::string bytesAt(const void* record, std::size_t offset, std::size_t count) {
    const auto* bytes = static_cast<const unsigned char*>(record) + offset;
    std::string text;
    char cell[4];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(cell, sizeof cell, i == 0 ? "%02X" : " %02X", bytes[i]);
        text += cell;
    }
    return text;
}

TraData freshTracker() {
    TraData record;
    std::memset(&record, 0xAB, sizeof record);
    record.clearPose();
    return record;
}

ConData freshController() {
    ConData record;
    std::memset(&record, 0xAB, sizeof record);
    record.reset();
    return record;
}

TEST(TrackerRecord, StoresPoseInNetworkOrderFixedPoint) {
    TraData record = freshTracker();
    record.setX(1.5f);
    EXPECT_EQ(bytesAt(&record, 20, 4), "00 02 49 F0");
    EXPECT_FLOAT_EQ(record.getX(), 1.5f);
    record.setY(-0.000019f);
    EXPECT_EQ(bytesAt(&record, 24, 4), "FF FF FF FF");
    record.setRoll(-2.0f);
    EXPECT_EQ(bytesAt(&record, 40, 4), "FF FC F2 C0");
}

TEST(TrackerRecord, NewRecordHasFirst44BytesZeroAndTailUntouched) {
    TraData record = freshTracker();
    EXPECT_EQ(bytesAt(&record, 0, 4), "00 00 00 00");
    EXPECT_EQ(bytesAt(&record, 40, 4), "00 00 00 00");
    EXPECT_EQ(bytesAt(&record, 44, 4), "AB AB AB AB");
}

TEST(TrackerRecord, SaturatesOutsideTheFixedPointRange) {
    TraData record = freshTracker();
    record.setX(30000.0f);
    EXPECT_EQ(bytesAt(&record, 20, 4), "7F FF FF FF");
    record.setY(-30000.0f);
    EXPECT_EQ(bytesAt(&record, 24, 4), "80 00 00 00");
    record.setZ(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(bytesAt(&record, 28, 4), "00 00 00 00");
    record.setAzim(std::numeric_limits<float>::infinity());
    EXPECT_EQ(bytesAt(&record, 32, 4), "7F FF FF FF");
}

TEST(TrackerRecord, IdAcceptsOneToThirtyTwo) {
    TraData record = freshTracker();
    EXPECT_TRUE(record.setId(7));
    EXPECT_FALSE(record.setId(0));
    EXPECT_FALSE(record.setId(33));
    EXPECT_EQ(bytesAt(&record, 0, 4), "00 00 00 07");
    EXPECT_TRUE(record.setId(32));
    EXPECT_EQ(record.getId(), 32u);
}

TEST(TrackerRecord, TimeStampInNetworkOrder) {
    TraData record = freshTracker();
    record.setTimeStamp(0x01020304, 250000);
    EXPECT_EQ(bytesAt(&record, 8, 4), "01 02 03 04");
    EXPECT_EQ(bytesAt(&record, 12, 4), "00 03 D0 90");
}

TEST(TrackerRecord, SameComparesOnlyThePose) {
    TraData a = freshTracker();
    TraData b = freshTracker();
    a.setX(1.0f);
    b.setX(1.0f);
    a.setId(1);
    b.setId(2);
    a.setTimeStamp(1, 2);
    EXPECT_EQ(sameTraData(a, b), 1);
    b.setElev(0.5f);
    EXPECT_EQ(sameTraData(a, b), 0);
}

TEST(ControllerRecord, ResetLeavesFourNativeButtonBytesAndZeros) {
    ConData record = freshController();
    EXPECT_EQ(bytesAt(&record, 168, 4), "04 00 00 00");
    EXPECT_EQ(bytesAt(&record, 164, 4), "00 00 00 00");
    for (std::size_t offset : {0u, 4u, 8u, 12u, 16u, 20u, 24u}) {
        EXPECT_EQ(bytesAt(&record, offset, 4), "00 00 00 00") << "offset " << offset;
    }
    // Offsets and the clock reading are left as they were.
    EXPECT_EQ(bytesAt(&record, 28, 4), "AB AB AB AB");
    EXPECT_EQ(bytesAt(&record, 172, 4), "AB AB AB AB");
}

TEST(ControllerRecord, CountsSetTheirOffsets) {
    ConData record = freshController();
    EXPECT_TRUE(record.setValuatorCount(6));
    EXPECT_TRUE(record.setButtonCount(12));
    EXPECT_EQ(bytesAt(&record, 20, 16), "00 00 00 06 00 00 00 0C 00 00 00 24 00 00 00 3C");
    EXPECT_FALSE(record.setValuatorCount(40));
    EXPECT_EQ(record.getValuatorCount(), 6u);
    EXPECT_FALSE(record.setButtonCount(33));
    EXPECT_EQ(record.getButtonCount(), 12u);
}

TEST(ControllerRecord, ValuatorCountTooLargeStillWritesValuatorOffset) {
    ConData record = freshController();
    EXPECT_FALSE(record.setValuatorCount(40));
    EXPECT_EQ(bytesAt(&record, 28, 4), "00 00 00 24");
    EXPECT_EQ(record.getValuatorCount(), 0u);
}

TEST(ControllerRecord, ValuatorsInFixedPointWithinTheCount) {
    ConData record = freshController();
    record.setValuatorCount(6);
    record.setValuator(1, 1.0f);
    record.setValuator(2, -0.5f);
    record.setValuator(6, 0.0009f);
    record.setValuator(7, 1.0f);
    EXPECT_EQ(bytesAt(&record, 36, 4), "00 00 03 E8");
    EXPECT_EQ(bytesAt(&record, 40, 4), "FF FF FE 0C");
    EXPECT_EQ(bytesAt(&record, 56, 4), "00 00 00 00");
    EXPECT_EQ(bytesAt(&record, 60, 4), "00 00 00 00");
    EXPECT_FLOAT_EQ(record.getValuator(1), 1.0f);
    EXPECT_FLOAT_EQ(record.getValuator(2), -0.5f);
    EXPECT_EQ(record.getValuator(0), 0.0f);
    EXPECT_EQ(record.getValuator(7), 0.0f);
}

TEST(ControllerRecord, ValuatorSaturatesAndNanStoresZero) {
    ConData record = freshController();
    record.setValuatorCount(3);
    record.setValuator(1, 3.0e6f);
    record.setValuator(2, -3.0e6f);
    record.setValuator(3, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(bytesAt(&record, 36, 12), "7F FF FF FF 80 00 00 00 00 00 00 00");
}

TEST(ControllerRecord, ButtonsAreBitsOfFourBytes) {
    ConData record = freshController();
    record.setValuatorCount(6);
    record.setButtonCount(12);
    EXPECT_TRUE(record.setButton(9, 1));
    EXPECT_EQ(bytesAt(&record, 164, 4), "00 01 00 00");
    EXPECT_TRUE(record.setButton(1, 1));
    EXPECT_TRUE(record.setButton(3, 7));
    EXPECT_EQ(bytesAt(&record, 164, 4), "05 01 00 00");
    EXPECT_TRUE(record.setButton(3, -5));
    EXPECT_EQ(bytesAt(&record, 164, 1), "01");
    EXPECT_FALSE(record.setButton(13, 1));
    EXPECT_FALSE(record.setButton(0, 1));
    EXPECT_EQ(record.getButton(9), 1);
    EXPECT_EQ(record.getButton(3), 0);
    EXPECT_EQ(record.getButton(13), 0);
}

TEST(ControllerRecord, StampNowTakesMillisecondsTimesThousand) {
    ConData record = freshController();
    record.stampNow();
    EXPECT_EQ(record.getSeconds(), record.clock.seconds);
    EXPECT_EQ(record.getMicroseconds(), record.clock.milliseconds * 1000);
    EXPECT_LT(record.clock.milliseconds, 1000);
}

TEST(ControllerRecord, SameIgnoresIdAndTimeButNotCounts) {
    ConData a = freshController();
    ConData b = freshController();
    for (ConData* record : {&a, &b}) {
        record->setValuatorCount(6);
        record->setButtonCount(12);
        record->setValuator(2, 0.25f);
        record->setButton(5, 1);
    }
    a.setId(1);
    b.setId(3);
    a.stampNow();
    EXPECT_TRUE(sameConData(a, b));
    b.setButtonCount(11);
    EXPECT_FALSE(sameConData(a, b));
    b.setButtonCount(12);
    b.setButton(12, 1);
    EXPECT_FALSE(sameConData(a, b));
    b.setButton(12, 0);
    b.setValuator(6, 0.001f);
    EXPECT_FALSE(sameConData(a, b));
}

TEST(ControllerRecord, SameNeverReadsPastTheButtonBytes) {
    ConData a = freshController();
    ConData b = freshController();
    a.buttonByteCount = 0xFFFFFFFFu;  // a foreign record with a wild count
    EXPECT_TRUE(sameConData(a, b));
}

}  // namespace
