// Viewing angles: a camera's lens polynomial turns a pixel position into the angle of its sight
// line, measured from the baseline normal at that camera.
#pragma once

#include <numbers>

#include "touch/optical_context.h"
#include "touch/position_blobs.h"

namespace position {

inline constexpr double kQuarterPi = std::numbers::pi / 4.0;
inline constexpr double kHalfLinePx = 320.0;  // u runs from -1 to 1 across the 640-pixel line

// The angles under which a camera sees one blob; low <= high.
struct AngleSpan {
    double low;
    double high;
    double center;
    double width;  // high - low
};

double PixelToAngle(const CameraModel& model, double pixel);
AngleSpan SpanOfBlob(const CameraModel& model, const Blob& blob);

}  // namespace position
