#include "calibration/target_grid.h"

#include <cmath>

namespace {

constexpr INT32 kGridInset = 2048;                    // 1/16 of the screen
constexpr INT32 kGridSpan = 28672;                    // from the first row or column to the last
constexpr double kPerLogicalUnit = 3.0517578125e-05;  // 1 / 32768

}  // namespace

std::vector<GridPoint> BuildTargetGrid(INT32 pointCount) {
    std::vector<GridPoint> grid;
    if (pointCount < 2) {
        return grid;
    }
    const auto n = static_cast<INT32>(std::sqrt(static_cast<double>(pointCount - 1))) + 1;
    const INT32 step = kGridSpan / (n - 1);
    for (INT32 row = 0; row < n; ++row) {
        for (INT32 col = 0; col < n; ++col) {
            grid.push_back({kGridInset + col * step, kGridInset + row * step});
        }
    }
    return grid;
}

INT32 LogicalToClient(INT32 logical, INT32 extentPx) {
    return static_cast<INT32>(logical * static_cast<double>(extentPx) * kPerLogicalUnit);
}
