// Conversion of a computed coordinate to INT32, truncating toward zero. Values come from
// floating-point stages fed by controller blocks and stored coefficients, so a NaN or an
// out-of-range value must not become undefined behaviour: NaN gives 0 and anything beyond
// the INT32 range gives the nearest bound.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "ce/types.h"

inline INT32 TruncateToInt32(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    constexpr double kMax = static_cast<double>(std::numeric_limits<INT32>::max());
    constexpr double kMin = static_cast<double>(std::numeric_limits<INT32>::min());
    if (value >= kMax) {
        return std::numeric_limits<INT32>::max();
    }
    if (value <= kMin) {
        return std::numeric_limits<INT32>::min();
    }
    return static_cast<INT32>(value);  // in range: truncates toward zero
}
