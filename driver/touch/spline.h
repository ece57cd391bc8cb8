// Cubic interpolation between the last measured points of a touch, with a step count that grows
// with the speed of the movement.
#pragma once

#include "protocol/touch_point.h"
#include "touch/touch_data.h"

// Clamps n to 1..kMaxPoints and returns it. Writes output[0..n-1]: the Bezier curve from E1 to
// E2 (E0 and E3 shape the tangents), sampled at t = k/n; when E2 is not touching only the
// valid bytes are cleared, and when E1 is not touching every output is E2.
int InterpolateSpline(const PointHistory& history, int n, ots::TouchPoint* output);

// The same for two touches at one step count, as InterpolateSpline on each would give them;
// the curves' weights at each step are worked out once for both. A null secondOutput skips
// the second touch.
int InterpolateSplinePair(const PointHistory& first, const PointHistory& second, int n,
                          ots::TouchPoint* firstOutput, ots::TouchPoint* secondOutput);

// The length of the path around E1..E2 in controller units (0 unless E1 and E2 are touching),
// rounded to REAL4 and truncated.
int EstimateStepCount(const PointHistory& history);
