#include <gtest/gtest.h>

#include "device/frame.h"

namespace {

std::uint16_t word(std::uint8_t high, std::uint8_t low) {
    return static_cast<std::uint16_t>(high << 8 | low);
}

TEST(FrameDecoding, ExampleFrameGivesButtonsAndValuators) {
    const std::uint8_t bytes[frame::kBytes] = {0x00, 0xFF, 0x00, 0x00, 0x03, 0xFF, 0x03,
                                               0xFF, 0x00, 0x00, 0x01, 0xFF, 0x02, 0x00};
    std::int32_t buttons[frame::kButtons];
    frame::decodeButtons(word(bytes[0], bytes[1]), buttons);
    for (int n = 0; n < 8; ++n) {
        EXPECT_EQ(buttons[n], 1) << "button " << n + 1;
    }
    for (int n = 8; n < 12; ++n) {
        EXPECT_EQ(buttons[n], 0) << "button " << n + 1;
    }
    const float expected[6] = {-1.0f, 1.0f, 1.0f, -1.0f, -0.000978f, 0.000978f};
    for (int v = 0; v < 6; ++v) {
        const float value = frame::decodeValuator(word(bytes[2 + 2 * v], bytes[3 + 2 * v]));
        EXPECT_NEAR(value, expected[v], 0.000001f) << "valuator " << v + 1;
    }
}

TEST(FrameDecoding, ButtonsAreActiveLowAndUpperBitsIgnored) {
    std::int32_t buttons[frame::kButtons];
    frame::decodeButtons(0xFFFF, buttons);
    for (int n = 0; n < 12; ++n) {
        EXPECT_EQ(buttons[n], 0) << "button " << n + 1;
    }
    frame::decodeButtons(0xF0F0, buttons);
    const std::int32_t expected[12] = {1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1};
    for (int n = 0; n < 12; ++n) {
        EXPECT_EQ(buttons[n], expected[n]) << "button " << n + 1;
    }
}

TEST(FrameDecoding, ValuatorEndsAreExactAndWordsAreSigned) {
    EXPECT_EQ(frame::decodeValuator(0), -1.0f);
    EXPECT_EQ(frame::decodeValuator(1023), 1.0f);
    EXPECT_NEAR(frame::decodeValuator(0x8000), -65.06f, 0.01f);
    EXPECT_NEAR(frame::decodeValuator(0xFFFF), -1.002f, 0.0001f);
}

TEST(FrameDecoding, ValuatorRoundsOnceFromDoublePrecision) {
    // w x K - 1 in double precision, then one rounding to float.
    const double step = static_cast<double>(2.0f / 1023.0f);
    EXPECT_EQ(frame::decodeValuator(511), static_cast<float>(511 * step - 1.0));
    EXPECT_EQ(frame::decodeValuator(512), static_cast<float>(512 * step - 1.0));
    EXPECT_EQ(2.0f / 1023.0f, 0.0019550342f);
}

}  // namespace
