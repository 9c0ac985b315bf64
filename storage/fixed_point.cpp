#include "storage/fixed_point.h"

#include <cmath>
#include <limits>

namespace fixed_point {

std::int32_t saturatingTruncate(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    constexpr double lowest = static_cast<double>(std::numeric_limits<std::int32_t>::min());
    constexpr double highest = static_cast<double>(std::numeric_limits<std::int32_t>::max());
    if (value <= lowest) {
        return std::numeric_limits<std::int32_t>::min();
    }
    if (value >= highest) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace fixed_point
