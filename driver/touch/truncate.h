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
    // Strictly inside these bounds (which a NaN is not) the conversion is defined and truncates.
    constexpr double kAboveMax = static_cast<double>(std::numeric_limits<INT32>::max()) + 1.0;
    constexpr double kBelowMin = static_cast<double>(std::numeric_limits<INT32>::min()) - 1.0;
    if (value > kBelowMin && value < kAboveMax) {
        return static_cast<INT32>(value);
    }
    if (std::isnan(value)) {
        return 0;
    }
    return value > 0.0 ? std::numeric_limits<INT32>::max() : std::numeric_limits<INT32>::min();
}
