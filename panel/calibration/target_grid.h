// Where the calibration targets lie: an n x n grid 1/16 of the screen in from every edge, in
// 1/32768 of the client width and height, row by row from the top.
#pragma once

#include <vector>

#include "ce/types.h"

struct GridPoint {
    INT32 x;
    INT32 y;
};

inline constexpr INT32 kLogicalFullScale = 32768;  // logical units per client width or height

// n = trunc(sqrt(points - 1)) + 1 targets per side, 2048 + i * (28672 / (n - 1)) on each
// axis. Empty when fewer than 2 per side result.
std::vector<GridPoint> BuildTargetGrid(INT32 pointCount);

// The client pixel of a logical position along an extent of extentPx pixels, truncated.
INT32 LogicalToClient(INT32 logical, INT32 extentPx);
