// When the receive cycle reads a frame without the early request, and how
// long it waits for the line at each speed.
#include "device/step_check.h"

#include <gtest/gtest.h>

namespace {

constexpr std::int64_t kSecond = 1000000;
constexpr std::uint16_t kReleased = 0xFFFF;

TEST(StepCheck, QuietFrameOncePerPeriodAfterTheLastConfirmedOne) {
    StepCheck check;
    check.restart(0);
    EXPECT_FALSE(check.wantsQuietFrame(kReleased, kSecond - 1));
    EXPECT_TRUE(check.wantsQuietFrame(kReleased, kSecond));
    check.confirm(kReleased, kSecond + 5);
    EXPECT_FALSE(check.wantsQuietFrame(kReleased, 2 * kSecond));
    EXPECT_TRUE(check.wantsQuietFrame(kReleased, 2 * kSecond + 5));
}

TEST(StepCheck, UnusedBitsLearntFromAConfirmedFrameCallForAQuietOneWhenTheyChange) {
    StepCheck check;
    check.restart(0);
    // Nothing learnt yet: any word 0 is taken.
    EXPECT_FALSE(check.wantsQuietFrame(0x0002, 1));
    check.confirm(0xFFFF, 10);
    // Button bits change freely; the unused bits 4 to 7 of the low byte may not.
    for (const std::uint16_t word : {0xFFFF, 0x00F0, 0xA5FA}) {
        EXPECT_FALSE(check.wantsQuietFrame(word, 20)) << std::hex << word;
    }
    for (const std::uint16_t word : {0xFF02, 0x00EF, 0xFF7F}) {
        EXPECT_TRUE(check.wantsQuietFrame(word, 20)) << std::hex << word;
    }
    // A quiet frame that confirms other bits: this device's bits tell nothing.
    check.confirm(0xFF0F, 30);
    EXPECT_FALSE(check.wantsQuietFrame(0xFF02, 40));
    check.confirm(0xFFFF, 50);
    EXPECT_FALSE(check.wantsQuietFrame(0xFF02, 60));
}

TEST(StepCheck, ValuatorWordsHaveTenBits) {
    for (const std::uint16_t word : {0, 1, 512, 1023}) {
        EXPECT_TRUE(StepCheck::fitsValuator(word)) << word;
    }
    for (const std::uint16_t word : {1024, 0x0400, 0x5600, 0x8000, 0xFFFF}) {
        EXPECT_FALSE(StepCheck::fitsValuator(word)) << word;
    }
}

TEST(StepCheck, WaitsCoverTheirBytesAtTheLineSpeedWithAMargin) {
    struct Row {
        std::int32_t baud;
        std::uint32_t quietByte, strayWait, drainGap;
    };
    const Row rows[] = {
        {1200, 284, 18, 45}, {9600, 80, 4, 24}, {115200, 53, 2, 21}, {0, 80, 4, 24}};
    for (const Row& row : rows) {
        EXPECT_EQ(step_timing::quietByteMilliseconds(row.baud), row.quietByte) << row.baud;
        EXPECT_EQ(step_timing::strayWaitMilliseconds(row.baud), row.strayWait) << row.baud;
        EXPECT_EQ(step_timing::drainGapMilliseconds(row.baud), row.drainGap) << row.baud;
    }
}

}  // namespace
