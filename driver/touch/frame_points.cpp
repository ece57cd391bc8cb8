#include "touch/frame_points.h"

#include <algorithm>

#include "touch/truncate.h"

namespace {

ots::TouchPoint ToTouchPoint(const SolvedPoint& p, const OpticalContext& oc) {
    ots::TouchPoint t{};
    t.x = TruncateToInt32(oc.ScaleX * p.x + oc.OffsetX);
    t.y = TruncateToInt32(oc.ScaleY * p.y + oc.OffsetY);
    t.z = std::max(TruncateToInt32(oc.ScaleZ * p.size), 0);
    t.valid = p.valid;
    return t;
}

}  // namespace

void GetFramePoints(ots::TouchPoint* a, ots::TouchPoint* b, const OpticalContext& oc) {
    *a = ToTouchPoint(oc.PointA, oc);
    *b = ToTouchPoint(oc.PointB, oc);
}
