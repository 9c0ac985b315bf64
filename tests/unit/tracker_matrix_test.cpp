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

void expectOnly(const Matrix4& matrix, std::initializer_list<std::pair<int, float>> nonZero) {
    for (int index = 0; index < 16; ++index) {
        float expected = 0.0f;
        for (const auto& [position, value] : nonZero) {
            if (position == index) {
                expected = value;
            }
        }
        EXPECT_EQ(matrix[index], expected) << "element " << index;
    }
}

TEST(TrackerMatrix, FormsPutTheirValuesInTheirElements) {
    expectOnly(makeZeroMatrix(), {});
    expectOnly(makeIdentityMatrix(), {{0, 1.0f}, {5, 1.0f}, {10, 1.0f}, {15, 1.0f}});
    expectOnly(makeOffsetMatrix(1.0f, 2.0f, 3.0f), {{3, 1.0f}, {7, 2.0f}, {11, 3.0f}});
    expectOnly(makeMatrix3x3(1, 2, 3, 4, 5, 6, 7, 8, 9),
               {{0, 1}, {1, 2}, {2, 3}, {4, 4}, {5, 5}, {6, 6}, {8, 7}, {9, 8}, {10, 9}});
}

TEST(TrackerMatrix, TransformTakesRotationAndTranslation) {
    const Matrix4 rotation = makeMatrix3x3(1, 2, 3, 4, 5, 6, 7, 8, 9);
    expectOnly(composeTransform(rotation, makeOffsetMatrix(10.0f, 20.0f, 30.0f)), {{0, 1},
                                                                                   {1, 2},
                                                                                   {2, 3},
                                                                                   {4, 4},
                                                                                   {5, 5},
                                                                                   {6, 6},
                                                                                   {8, 7},
                                                                                   {9, 8},
                                                                                   {10, 9},
                                                                                   {12, 10},
                                                                                   {13, 20},
                                                                                   {14, 30},
                                                                                   {15, 1}});
}

TEST(TrackerMatrix, RightAngleAboutZKeepsTheSinglePrecisionResidue) {
    // The degree constant is one step below pi/180 in single precision.
    for (const float length : {1.0f, 2.0f}) {
        const Matrix4 matrix = makeAxisAngleMatrix(0.0f, 0.0f, length, 90.0f);
        EXPECT_EQ(shortest(matrix[0]), "1.798e-07");
        EXPECT_EQ(matrix[1], 1.0f);
        EXPECT_EQ(matrix[4], -1.0f);
        EXPECT_EQ(shortest(matrix[5]), "1.798e-07");
        EXPECT_EQ(matrix[10], 1.0f);
        EXPECT_EQ(matrix[2], 0.0f);
        EXPECT_EQ(matrix[15], 0.0f);
    }
}

TEST(TrackerMatrix, AxisAngleAboutXFollowsTheRotationColumns) {
    const Matrix4 matrix = makeAxisAngleMatrix(1.0f, 0.0f, 0.0f, 90.0f);
    EXPECT_EQ(matrix[0], 1.0f);
    EXPECT_EQ(matrix[6], 1.0f);   // y z t + x s
    EXPECT_EQ(matrix[9], -1.0f);  // y z t - x s
}

TEST(TrackerMatrix, ZeroAxisGivesTheIdentityPartWithoutElement15) {
    expectOnly(makeAxisAngleMatrix(0.0f, 0.0f, 0.0f, 45.0f), {{0, 1.0f}, {5, 1.0f}, {10, 1.0f}});
}

}  // namespace
