#include "touch/position_lens.h"

#include <algorithm>

namespace position {

double PixelToAngle(const CameraModel& model, double pixel) {
    // The lens polynomial was fitted to single-precision pixel positions.
    const double u = static_cast<double>(static_cast<float>(pixel)) / kHalfLinePx - 1.0;
    double poly = model.c[7];
    for (int k = 6; k >= 0; --k) {
        poly = poly * u + model.c[k];
    }
    return kQuarterPi + poly;
}

AngleSpan SpanOfBlob(const CameraModel& model, const Blob& blob) {
    const double atStart = PixelToAngle(model, blob.start);
    const double atEnd = PixelToAngle(model, blob.end);
    AngleSpan span{};
    span.low = std::min(atStart, atEnd);
    span.high = std::max(atStart, atEnd);
    span.center = PixelToAngle(model, blob.center);
    span.width = span.high - span.low;
    return span;
}

}  // namespace position
