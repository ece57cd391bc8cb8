// The four-point histories that feed the spline and the second touch's step count.
#pragma once

#include "protocol/touch_point.h"
#include "touch/touch_data.h"

// E1..E3 move down to E0..E2; the new point becomes E3.
void PushPoint(PointHistory* history, const ots::TouchPoint& point);

// Marks all four entries not touching.
void ClearHistory(PointHistory* history);
