// The figure the finger draws, and how far the pointer trails it: measured and designed.
#pragma once

#include <vector>

#include "cectl/control_request.h"
#include "finger.h"

namespace calibdemo {

// A five-pointed star through the middle of the screen, closed.
std::vector<ots::control::Point> StarFigure(int widthPx, int heightPx);

// For each injected move near the finger's path: how long after the finger was at that spot
// the pointer got there (platform ms). The finger runs the path at constant speed, starting
// at startMs and taking drawMs.
std::vector<double> PointerLagMs(const std::vector<ots::control::Point>& path, double drawMs,
                                 double startMs, const std::vector<InjectedEvent>& events);

// The pointer's designed delay behind a moving finger, at the median (platform ms). A camera
// frame's position leaves the smoothing ring two frames after it was measured, the spline then
// runs one history step behind the newest point, and each frame's burst of interpolated points
// covers the step before it, from 1 frame late down to 0: 2 + 1 + 1/2 frames. A coordinate
// report is injected as it arrives.
double DesignedLagMs(ots::control::ControllerKind kind, double framePeriodMs);

}  // namespace calibdemo
