#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "config/Matrix4.h"

namespace {

std::string shortest(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", static_cast<double>(value));
    return text;
}

TEST(TrackerMatrix, RightAngleAboutZKeepsTheSinglePrecisionResidue) {
    // The degree constant is one step below pi/180 in single precision; the
    // axis is normalised first.
    for (const float length : {1.0f, 2.0f}) {
        const Matrix4 matrix = makeAxisAngleMatrix(0.0f, 0.0f, length, 90.0f);
        EXPECT_EQ(shortest(matrix[0]), "1.798e-07");
        EXPECT_EQ(matrix[1], 1.0f);
        EXPECT_EQ(matrix[4], -1.0f);
        EXPECT_EQ(matrix[10], 1.0f);
        EXPECT_EQ(matrix[15], 0.0f);
    }
    const Matrix4 aboutX = makeAxisAngleMatrix(1.0f, 0.0f, 0.0f, 90.0f);
    EXPECT_EQ(aboutX[6], 1.0f);
    EXPECT_EQ(aboutX[9], -1.0f);
}

TEST(TrackerMatrix, ZeroAxisGivesTheIdentityPartWithoutElement15) {
    const Matrix4 matrix = makeAxisAngleMatrix(0.0f, 0.0f, 0.0f, 45.0f);
    for (int index = 0; index < 16; ++index) {
        EXPECT_EQ(matrix[index], index == 0 || index == 5 || index == 10 ? 1.0f : 0.0f) << index;
    }
}

TEST(TrackerMatrix, TransformTakesTheRotationAndMovesTheOffsetToElements12To14) {
    const Matrix4 transform = composeTransform(makeMatrix3x3(1, 2, 3, 4, 5, 6, 7, 8, 9),
                                               makeOffsetMatrix(10.0f, 20.0f, 30.0f));
    const float expected[16] = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 20, 30, 1};
    for (int index = 0; index < 16; ++index) {
        EXPECT_EQ(transform[index], expected[index]) << index;
    }
}

}  // namespace
