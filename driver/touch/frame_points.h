// The solved points of a frame as TouchPoints in 1/32768 panel units.
#pragma once

#include "protocol/touch_point.h"
#include "touch/optical_context.h"

// x = trunc(ScaleX * px + OffsetX), y = trunc(ScaleY * py + OffsetY), z = trunc(ScaleZ * size)
// raised to 0 when negative; valid as solved.
void GetFramePoints(ots::TouchPoint* a, ots::TouchPoint* b, const OpticalContext& oc);
