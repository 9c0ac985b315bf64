// Which frames the receive cycle may publish, when it reads one without the
// early request, and how long it waits for the line at each speed.
#include "device/step_check.h"

#include <gtest/gtest.h>

namespace {

using Verdict = StepCheck::Verdict;

constexpr std::int64_t kSecond = 1000000;
constexpr std::int64_t kFrame = 15000;  // one frame at 9600 baud
const frame::Words kRest = {0xFFFF, 512, 512, 512, 512, 512, 512};

frame::Words with(frame::Words words, int index, std::uint16_t value) {
    words[index] = value;
    return words;
}

TEST(StepCheck, AFrameIsPublishedOnlyOnceAQuietFrameAgreesWithIt) {
    StepCheck check;
    // The probe's answer stands for the device: a first frame far from it
    // waits for a quiet one.
    check.restartAfterDetection(with(kRest, 0, 0x00FF), 0);
    EXPECT_FALSE(check.wantsQuietFrame(1));
    EXPECT_EQ(check.judge(kRest, false, kFrame), Verdict::confirm);
    EXPECT_TRUE(check.wantsQuietFrame(kFrame + 1));
    EXPECT_EQ(check.judge(kRest, true, 2 * kFrame), Verdict::publish);
    // Frames that agree go straight through, a quiet one once a period.
    EXPECT_FALSE(check.wantsQuietFrame(3 * kFrame));
    EXPECT_EQ(check.judge(with(kRest, 1, 530), false, 3 * kFrame), Verdict::publish);
    EXPECT_FALSE(check.wantsQuietFrame(2 * kFrame + kSecond - 1));
    EXPECT_TRUE(check.wantsQuietFrame(2 * kFrame + kSecond));

    // A press is held and published with the quiet frame that shows it too.
    const frame::Words pressed = with(kRest, 0, 0xFEFF);
    EXPECT_EQ(check.judge(pressed, false, 4 * kFrame), Verdict::confirm);
    EXPECT_EQ(check.judge(pressed, true, 5 * kFrame), Verdict::publish);
    // A glitch is held, and the quiet frame that shows the device as it was
    // is published instead.
    EXPECT_EQ(check.judge(with(pressed, 3, 2), false, 6 * kFrame), Verdict::confirm);
    EXPECT_EQ(check.judge(pressed, true, 7 * kFrame), Verdict::publish);
    // A quiet frame that agrees with neither is held in its turn.
    EXPECT_EQ(check.judge(kRest, false, 8 * kFrame), Verdict::confirm);
    EXPECT_EQ(check.judge(with(kRest, 6, 0), true, 9 * kFrame), Verdict::confirm);
    EXPECT_EQ(check.judge(with(kRest, 6, 1), true, 10 * kFrame), Verdict::publish);

    // Out of range is out of step at once, and forgets what was held.
    EXPECT_EQ(check.judge(with(kRest, 0, 0x0F0F), false, 11 * kFrame), Verdict::confirm);
    EXPECT_EQ(check.judge(with(kRest, 2, 0x0F02), true, 12 * kFrame), Verdict::outOfStep);
    check.restartAfterResync(13 * kFrame);
    EXPECT_FALSE(check.wantsQuietFrame(14 * kFrame));
    // The frame taken before the fault still stands for the device.
    EXPECT_EQ(check.judge(with(kRest, 6, 2), false, 14 * kFrame), Verdict::publish);
}

TEST(StepCheck, FramesAgreeWithTheSameButtonsAndValuatorsNearByForTheTimeBetween) {
    struct Row {
        const char* what;
        frame::Words later;
        std::int64_t elapsed;
        bool agree;
    };
    const Row rows[] = {
        {"the same", kRest, kFrame, true},
        {"unused bits 4 to 7 changed", with(kRest, 0, 0xFF0F), kFrame, true},
        {"button 1 pressed", with(kRest, 0, 0xFEFF), kFrame, false},
        {"button 12 pressed", with(kRest, 0, 0xFFF7), kFrame, false},
        {"48 counts at once", with(kRest, 4, 560), 0, true},
        {"49 counts at once", with(kRest, 4, 561), 0, false},
        {"78 counts in one frame", with(kRest, 6, 434), kFrame, true},
        {"79 counts in one frame", with(kRest, 6, 433), kFrame, false},
        {"128 counts after a second", with(kRest, 1, 640), kSecond, true},
        {"129 counts after a second", with(kRest, 1, 641), kSecond, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(StepCheck::agree(row.later, kRest, row.elapsed), row.agree) << row.what;
    }
}

TEST(StepCheck, ValuatorWordsHaveTenBits) {
    for (const std::uint16_t word : {0, 1, 512, 1023}) {
        EXPECT_TRUE(StepCheck::fitsValuator(word)) << word;
    }
    for (const std::uint16_t word : {1024, 0x0400, 0x5600, 0x8000, 0xFFFF}) {
        EXPECT_FALSE(StepCheck::fitsValuator(word)) << word;
    }
}

TEST(LineTiming, WaitsCoverTheirBytesAndTheAnswerTimeAtTheLineSpeed) {
    struct Row {
        const char* what;
        std::int32_t baud;
        std::int64_t readFrom, wordIn;  // after the request, microseconds
        std::uint32_t quietRest, strayWait, drainGap;
    };
    const Row rows[] = {
        {"slowest", 1200, 0, 0, 284, 18, 45},
        {"9600", 9600, 0, 0, 80, 4, 24},
        {"fastest", 115200, 0, 0, 53, 2, 21},
        {"no speed set", 0, 0, 0, 80, 4, 24},
        // the word's own two characters are not answer time
        {"5 ms to answer", 9600, 0, 7082, 80, 9, 29},
        {"behind a 16 ms latency timer", 115200, 0, 16300, 53, 19, 38},
        // the word was in before the read began: its time tells nothing
        {"a host that called late", 9600, 40000, 40100, 80, 4, 24},
    };
    for (const Row& row : rows) {
        LineTiming timing(row.baud);
        timing.answerSeen(1000, 1000 + row.readFrom, 1000 + row.wordIn);
        EXPECT_EQ(timing.quietRestMilliseconds(), row.quietRest) << row.what;
        EXPECT_EQ(timing.strayWaitMilliseconds(), row.strayWait) << row.what;
        EXPECT_EQ(timing.drainGapMilliseconds(), row.drainGap) << row.what;
    }
    // One late answer (or a late wake-up of ours) wears off again.
    LineTiming timing(9600);
    timing.answerSeen(0, 0, 22082);
    EXPECT_EQ(timing.strayWaitMilliseconds(), 24u);
    for (int n = 0; n < 30; ++n) {
        timing.answerSeen(0, 0, 2082);
    }
    EXPECT_EQ(timing.strayWaitMilliseconds(), 5u);
}

}  // namespace
