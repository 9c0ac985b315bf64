// Fixed-point storage of real values in the records. Storing truncates toward
// zero; a value beyond the 32-bit range saturates at its nearest end and NaN
// stores 0, so no input is undefined behaviour.
#pragma once

#include <cstdint>

namespace fixed_point {

std::int32_t saturatingTruncate(double value);

}  // namespace fixed_point
