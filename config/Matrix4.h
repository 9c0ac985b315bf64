// The 4x4 single-precision matrices of the tracker options. Element 4*r + c
// is printed as row r, column c; a transform keeps its translation in
// elements 12 to 14.
#pragma once

#include <cstddef>

struct Matrix4 {
    float element[16];

    float& operator[](std::size_t index) { return element[index]; }
    float operator[](std::size_t index) const { return element[index]; }
};

static_assert(sizeof(Matrix4) == 16 * sizeof(float), "Matrix4 is 16 floats");

Matrix4 makeZeroMatrix();
Matrix4 makeIdentityMatrix();
// x, y, z in elements 3, 7, 11; everything else 0, element 0 included.
Matrix4 makeOffsetMatrix(float x, float y, float z);
// Rows a b c, d e f, g h i in the 3x3 part; everything else 0.
Matrix4 makeMatrix3x3(float a, float b, float c, float d, float e, float f, float g, float h,
                      float i);
// Rotation by `degrees` about the axis; a zero axis gives the identity 3x3
// part (element 15 stays 0).
Matrix4 makeAxisAngleMatrix(float ax, float ay, float az, float degrees);
// The rotation's elements 0-11, the offset's 3, 7, 11 in 12-14, and 1 in 15.
Matrix4 composeTransform(const Matrix4& rotation, const Matrix4& offset);
